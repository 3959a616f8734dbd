#pragma once

#include "app/ports/UpdatePrompt.h"
#include "app/ports/UpdaterController.h"
#include "platform/files/SettingsStore.h"
#include "platform/update/UpdateConfiguration.h"

#include <QPointer>
#include <QTemporaryFile>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace lunorvale {

class UpdateTransfer;

// Where the update layer reads, writes and reaches. `standard()` is the running program's; tests give
// temporary paths, a loopback feed, their own clock and quit hooks.
struct UpdateEnvironment {
    QString programPath;       // the installed program, replaced by an update
    QString configurationPath; // the update configuration installed with it
    // The preferences, a copy of the store the rest of the program keeps them in.
    SettingsStore settings = SettingsStore::inMemory();
    QString downloadDirectory; // private (0700) folder for downloads
    QString packageDatabase;   // dpkg's package file lists
    QString currentVersion;
    std::function<QDateTime()> now;
    // Ends the application because the user chose to install now (the choice is not asked again);
    // false when it stays (a removal runs). The update is installed while it quits.
    std::function<bool()> quitToInstall;
    // Starts the given program once this process has ended.
    std::function<void(const QString& programPath)> relaunch;
    std::chrono::milliseconds feedDeadline{std::chrono::seconds(30)};
    std::chrono::milliseconds downloadDeadline{std::chrono::minutes(15)};
    qint64 maximumDownloadBytes = qint64(512) * 1024 * 1024;

    // The running program's, over its settings store.
    static UpdateEnvironment standard(SettingsStore settings);
};

// The program's update controller: checks the configured appcast feed on its schedule or when asked,
// shows a release in the update window, downloads it into a private folder, verifies its Ed25519
// signature before anything else, and replaces the installed program when the application quits (or
// quits at once and starts the new program when the user agrees). A program installed by the
// package manager, or one the user cannot write, is never downloaded for or replaced.
//
// Its own preferences live in the settings file under the keys below; nothing else writes them.
class StandardUpdaterController final : public UpdaterController {
public:
    static constexpr const char* automaticChecksKey = "updateAutomaticChecks";
    static constexpr const char* automaticDownloadsKey = "updateAutomaticDownloads";
    static constexpr const char* skippedVersionKey = "updateSkippedVersion";
    static constexpr const char* lastCheckDateKey = "updateLastCheckDate"; // seconds since 1970

    // `prompt` may be null: releases are then only announced to the delegate.
    StandardUpdaterController(UpdaterDelegate& delegate, std::unique_ptr<UpdatePrompt> prompt,
                              UpdateEnvironment environment, QObject* parent = nullptr);
    ~StandardUpdaterController() override;

    // The program's factory: this controller over `environment`, showing `makePrompt()`'s window.
    static UpdaterFactory factory(std::function<std::unique_ptr<UpdatePrompt>()> makePrompt,
                                  UpdateEnvironment environment);

    std::optional<UpdateError> startUpdater() override;
    void checkForUpdates() override;
    bool canCheckForUpdates() const override;
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool on) override;
    bool automaticallyDownloadsUpdates() const override;
    void setAutomaticallyDownloadsUpdates(bool on) override;
    QDateTime lastUpdateCheckDate() const override;

    // The scheduled check: runs when automatic checks are on and nothing else is under way; skips the
    // version the user skipped, downloads by itself when automatic downloads are on.
    void checkInBackground();
    // Installs a downloaded, verified update now; done while the application quits. Returns why nothing
    // was installed, or nothing when the program was replaced (or no update was waiting).
    std::optional<UpdateError> installPendingUpdate();

private:
    enum class Phase { idle, checking, awaitingChoice, downloading, readyToInstall };

    void setPhase(Phase phase);
    void scheduleNextCheck();
    void beginCheck(bool userInitiated);
    void onFeed(std::optional<UpdateError> error, const QByteArray& feed);
    void present(UpdateStage stage);
    void show(UpdateStage stage);
    void onChoice(quint64 session, UpdateChoice choice);
    void startDownload();
    void onDownloaded(std::optional<UpdateError> error);
    void installNow();
    QNetworkAccessManager& manager();
    void endSession();
    void abortSession(const UpdateError& error);
    bool downloadVerifies() const;
    std::optional<QString> skippedVersion() const;

    UpdaterDelegate& m_delegate;
    std::unique_ptr<UpdatePrompt> m_prompt;
    UpdateEnvironment m_environment;
    SettingsStore m_store;
    std::optional<UpdateConfiguration> m_configuration;
    QNetworkAccessManager* m_manager = nullptr; // only while a check or download needs it
    QTimer m_schedule;
    bool m_started = false;
    bool m_canCheck = false;

    Phase m_phase = Phase::idle;
    quint64 m_session = 0; // raised by every session, so a late choice from the window is dropped
    bool m_userInitiated = false;
    bool m_visible = false; // the release was shown in the window during this session
    AppcastItem m_item;
    InstallKind m_installKind = InstallKind::selfContained;
    QPointer<UpdateTransfer> m_transfer;
    std::unique_ptr<QTemporaryFile> m_download;
    bool m_relaunch = false;
};

} // namespace lunorvale
