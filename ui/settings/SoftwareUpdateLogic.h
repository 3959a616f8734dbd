#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <optional>

namespace lunorvale {

// The program's version as an application bundle would carry it: the short version is the release
// (the build's project version) and the build its build number, which developer builds lack.
struct BundleVersion {
    std::optional<QString> shortVersion;
    std::optional<QString> build;

    // This program's: every view that names the version (onboarding, privacy, help, updates) shows it.
    static BundleVersion current();

    // "1.2（7）", or "1.2" without a build number; a missing release reads "—".
    QString text() const;

    friend bool operator==(const BundleVersion&, const BundleVersion&) = default;
};

// What the update views show, as plain functions of the updater's published values.
namespace SoftwareUpdateTexts {

// The product's download page.
QUrl downloadPage();

// The update button's symbol: a filled down arrow once a version is known.
QString buttonSymbol(const std::optional<QString>& availableVersion);
// The main window's banner ("" while no version is known).
QString bannerText(const std::optional<QString>& availableVersion, bool readyToInstall);
// The popover row's text and accessible name ("" while no version is known).
QString reminderText(const std::optional<QString>& availableVersion, bool readyToInstall);
QString reminderAccessibleName(bool readyToInstall);

// The state line of the updates section: the failure while there is one, else the status.
struct StateLine {
    QString text;
    bool isFailure = false;
    friend bool operator==(const StateLine&, const StateLine&) = default;
};
StateLine stateLine(const QString& status, const std::optional<QString>& failure);
// "上次检查：2026年3月4日 09:05", in local time.
QString lastCheckText(const QDateTime& date);
// The automatic-download switch follows the automatic-check one.
bool automaticInstallEnabled(bool isStarted, bool automaticallyChecks);

} // namespace SoftwareUpdateTexts
} // namespace lunorvale
