#pragma once

#include "app/ports/UpdaterController.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace lunorvale {

// The application's update model: starts the update controller once at launch, mirrors its four
// settings, turns its callbacks into one status line, an optional failure text, the version on offer
// and whether an update is ready to install, and starts the checks the user asks for. The update
// views, the tray and the quit confirmation read its properties; the settings page writes the two
// automatic-update switches through `controller()` while `isStarted()`. Main thread only.
//
// In preview mode no controller is ever created, so no check can be made: `start()` does nothing and
// `configurePreview` gives the screenshots their fixed state.
class SoftwareUpdater final : public QObject, public UpdaterDelegate {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecks READ automaticallyChecks NOTIFY automaticallyChecksChanged)
    Q_PROPERTY(bool automaticallyInstalls READ automaticallyInstalls NOTIFY automaticallyInstallsChanged)
    Q_PROPERTY(std::optional<QDateTime> lastCheckDate READ lastCheckDate NOTIFY lastCheckDateChanged)
    Q_PROPERTY(std::optional<QString> availableVersion READ availableVersion NOTIFY availableVersionChanged)
    Q_PROPERTY(bool readyToInstall READ readyToInstall NOTIFY readyToInstallChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(std::optional<QString> failure READ failure NOTIFY failureChanged)
    Q_PROPERTY(bool isStarted READ isStarted NOTIFY isStartedChanged)
    Q_PROPERTY(QString buttonTitle READ buttonTitle NOTIFY buttonTitleChanged)
    Q_PROPERTY(lunorvale::UpdaterController* controller READ controller NOTIFY controllerChanged)
    Q_PROPERTY(bool preview READ preview CONSTANT)

public:
    static inline const QString initialStatus = QStringLiteral("尚未检查更新");

    // `factory` makes the controller when `start()` runs (the shell passes
    // StandardUpdaterController::factory with the update window; tests their own). Without one, starting
    // fails with the start failure text.
    explicit SoftwareUpdater(bool preview, UpdaterFactory factory = {}, QObject* parent = nullptr);
    ~SoftwareUpdater() override;

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    bool automaticallyChecks() const { return m_automaticallyChecks; }
    bool automaticallyInstalls() const { return m_automaticallyInstalls; }
    std::optional<QDateTime> lastCheckDate() const { return m_lastCheckDate; }
    // The display version of the update on offer.
    std::optional<QString> availableVersion() const { return m_availableVersion; }
    // An update is downloaded and goes in when the application quits (or at once, if the user agrees).
    bool readyToInstall() const { return m_readyToInstall; }
    const QString& status() const { return m_status; }
    // Shown instead of `status` while present; several lines.
    std::optional<QString> failure() const { return m_failure; }
    bool isStarted() const { return m_isStarted; }
    // "安装更新…", "检查更新…" or "查看 <version> 更新…".
    QString buttonTitle() const;
    // Absent until `start()`, and always in preview mode.
    UpdaterController* controller() const { return m_controller.get(); }
    bool preview() const { return m_preview; }

    // Creates and starts the controller; once per process (a failed start is not retried).
    void start();
    // A check the user asked for; nothing while no check can be made.
    void checkForUpdates();
    // Preview mode only: the fixed state of the screenshot scenes "…update-available…" and
    // "…update-ready…"; other names change nothing.
    void configurePreview(const QString& sceneName);

    // UpdaterDelegate
    void didFindValidUpdate(const AppcastItem& item) override;
    void didNotFindUpdate() override;
    void userDidMakeChoice(UpdateChoice choice, const AppcastItem& item, UpdateStage stage) override;
    bool willInstallUpdateOnQuit(const AppcastItem& item, std::function<void()> installNow) override;
    void didAbortWithError(const UpdateError& error) override;
    bool supportsGentleScheduledUpdateReminders() const override { return true; }
    bool shouldHandleShowingScheduledUpdate(const AppcastItem& item, bool immediateFocus) override;
    void willHandleShowingUpdate(bool handleShowingUpdate, const AppcastItem& item,
                                 UpdateStage stage) override;
    void willFinishUpdateSession() override;

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksChanged();
    void automaticallyInstallsChanged();
    void lastCheckDateChanged();
    void availableVersionChanged();
    void readyToInstallChanged();
    void statusChanged();
    void failureChanged();
    void isStartedChanged();
    void buttonTitleChanged();
    void controllerChanged();

private:
    void setCanCheckForUpdates(bool value);
    void setAutomaticallyChecks(bool value);
    void setAutomaticallyInstalls(bool value);
    void setLastCheckDate(const QDateTime& value);
    void setAvailableVersion(const std::optional<QString>& value);
    void setReadyToInstall(bool value);
    void setStatus(const QString& value);
    void setFailure(const std::optional<QString>& value);
    void setIsStarted(bool value);

    const bool m_preview;
    UpdaterFactory m_factory;
    bool m_startAttempted = false;
    std::unique_ptr<UpdaterController> m_controller;

    bool m_canCheckForUpdates = false;
    bool m_automaticallyChecks = true;
    bool m_automaticallyInstalls = false;
    std::optional<QDateTime> m_lastCheckDate;
    std::optional<QString> m_availableVersion;
    bool m_readyToInstall = false;
    QString m_status = initialStatus;
    std::optional<QString> m_failure;
    bool m_isStarted = false;
};

} // namespace lunorvale
