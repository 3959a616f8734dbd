#pragma once

#include "app/ports/UpdateTypes.h"

#include <QDateTime>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace lunorvale {

// What the update controller tells its owner while it works. Every call arrives on the main thread,
// in the order of one update session:
//   didFindValidUpdate → willHandleShowingUpdate (when shown, or about to be) → userDidMakeChoice
//   → willFinishUpdateSession; or didNotFindUpdate → didAbortWithError(noUpdate)
//   → willFinishUpdateSession; a downloaded update is announced by willInstallUpdateOnQuit; any failure
//   by didAbortWithError and then willFinishUpdateSession.
class UpdaterDelegate {
public:
    virtual ~UpdaterDelegate() = default;

    virtual void didFindValidUpdate(const AppcastItem& item) = 0;
    virtual void didNotFindUpdate() = 0;
    virtual void userDidMakeChoice(UpdateChoice choice, const AppcastItem& item, UpdateStage stage) = 0;
    // The update is downloaded, verified and will be installed when the application quits. Answering true
    // means the delegate offers "install now" itself (by calling `installNow`); false leaves that offer
    // to the update window.
    virtual bool willInstallUpdateOnQuit(const AppcastItem& item, std::function<void()> installNow) = 0;
    virtual void didAbortWithError(const UpdateError& error) = 0;

    // Gentle reminders: a release found by a scheduled check is shown in the update window only when
    // `shouldHandleShowingScheduledUpdate` says so; otherwise the application reminds the user its own way
    // and the window opens on the user's next check.
    virtual bool supportsGentleScheduledUpdateReminders() const = 0;
    virtual bool shouldHandleShowingScheduledUpdate(const AppcastItem& item, bool immediateFocus) = 0;
    // A release is about to be shown (`handleShowingUpdate` true: in the update window) or left to the
    // application's reminders (false).
    virtual void willHandleShowingUpdate(bool handleShowingUpdate, const AppcastItem& item,
                                         UpdateStage stage) = 0;
    virtual void willFinishUpdateSession() = 0;
};

// The update controller: checks a feed, shows releases, downloads, verifies and installs them.
// Designed for inheritance: the program's controller is StandardUpdaterController; tests put their own
// under the application's update model. The four properties notify every change.
class UpdaterController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(bool automaticallyDownloadsUpdates READ automaticallyDownloadsUpdates WRITE
                   setAutomaticallyDownloadsUpdates NOTIFY automaticallyDownloadsUpdatesChanged)
    Q_PROPERTY(QDateTime lastUpdateCheckDate READ lastUpdateCheckDate NOTIFY lastUpdateCheckDateChanged)

public:
    using QObject::QObject;

    // Starts the controller: reads its configuration and arms the scheduled checks. Returns the reason
    // when it cannot start; it then never checks.
    virtual std::optional<UpdateError> startUpdater() = 0;
    // A check the user asked for; while a release waits for the user's choice, shows it again.
    virtual void checkForUpdates() = 0;

    // A check may be started now (started, and no check or download running).
    virtual bool canCheckForUpdates() const = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool on) = 0;
    virtual bool automaticallyDownloadsUpdates() const = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool on) = 0;
    // Invalid when no check was ever made.
    virtual QDateTime lastUpdateCheckDate() const = 0;

signals:
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool on);
    void automaticallyDownloadsUpdatesChanged(bool on);
    void lastUpdateCheckDateChanged(const QDateTime& date);
};

// Creates a controller that reports to `delegate`, which outlives it.
using UpdaterFactory = std::function<std::unique_ptr<UpdaterController>(UpdaterDelegate& delegate)>;

} // namespace lunorvale
