#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

namespace lunorvale {

// One release offered by the update feed.
struct AppcastItem {
    QString title;
    QString version;        // compared with the running program's version, run by run
    QString displayVersion; // shown to the user; the version when the feed gives none
    bool critical = false;
    QString releaseNotes; // plain text
    QUrl url;             // the new program file itself
    qint64 length = 0;    // its exact size in bytes
    QString edSignature;  // base64 Ed25519 signature of the file, as the feed gives it

    bool operator==(const AppcastItem&) const = default;
};

// How far an update has come. The values are the ones the update views and tests compare.
enum class UpdateStage { notDownloaded = 0, downloaded = 1, installing = 2 };

// What the user chose in the update window.
enum class UpdateChoice { skip = 0, install = 1, dismiss = 2 };

// Whether this copy of the program may be replaced by an update.
enum class InstallKind {
    selfContained,  // a program file the user owns: replaced when the application quits
    packageManaged, // installed by the system's package manager: only the package manager updates it
    notWritable,    // a program in a folder the user cannot write to: never replaced from here
};

// Why an update check, download or installation stopped. Texts are for the user; `domain` and `code`
// tell callers which case it is.
struct UpdateError {
    static constexpr const char* updaterDomain = "app.lunorvale.update";

    enum Code : int {
        appcastInvalid = 1000,
        noUpdate = 1001,
        feedUnavailable = 1002,
        configurationInvalid = 1100,
        downloadFailed = 2001,
        signatureInvalid = 3001,
        installationFailed = 4005,
        installationCanceled = 4007,
        installationAuthorizationLater = 4008,
    };

    QString domain = QString::fromLatin1(updaterDomain);
    int code = 0;
    QString description;
    QString failureReason;      // empty when there is none
    QString recoverySuggestion; // empty when there is none

    static UpdateError make(int code, QString description, QString failureReason = {},
                            QString recoverySuggestion = {}) {
        return {QString::fromLatin1(updaterDomain), code, std::move(description), std::move(failureReason),
                std::move(recoverySuggestion)};
    }
    bool operator==(const UpdateError&) const = default;
};

// What the update window shows for one release.
struct UpdateOffer {
    AppcastItem item;
    QString currentVersion;
    UpdateStage stage = UpdateStage::notDownloaded;
    InstallKind installKind = InstallKind::selfContained;
};

} // namespace lunorvale
