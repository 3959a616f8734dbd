#pragma once

#include "app/library/ApplicationLibraryModel.h"
#include "app/model/AppModel.h"
#include "app/ports/ApplicationLauncher.h"
#include "app/ports/DesktopApplications.h"
#include "app/ports/DesktopOpener.h"
#include "app/ports/FileRevealer.h"
#include "app/ports/FileWriter.h"
#include "app/ports/LoginItem.h"
#include "app/ports/SleepWatcher.h"
#include "app/ports/UrlOpener.h"
#include "app/ports/UserNotificationCenter.h"
#include "core/common/ThreadExecutors.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "platform/files/SettingsStore.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <memory>

namespace lunorvale {

class CachedKeychainStore;

// The desktop of a screenshot run, in one object: it reminds, opens, reveals, starts, activates,
// writes and registers nothing outside the process. It has no settings program, no running
// application, no system monitor and no file manager; reminders are allowed and go nowhere; the
// login item is a state in memory; written files stay here. Every request is noted in `asked()`.
class PreviewDesktop final : public UserNotificationCenter,
                             public DesktopApplications,
                             public DesktopOpener,
                             public UrlOpener,
                             public FileRevealer,
                             public ApplicationLauncher,
                             public FileWriter,
                             public LoginItem {
    Q_OBJECT

public:
    // One line per request, in order ("reveal:/path", "settings:notifications", …).
    const QStringList& asked() const { return m_asked; }
    // The files written, by path.
    const QHash<QString, QByteArray>& files() const { return m_files; }

    // UserNotificationCenter: answers arrive later, as the desktop's do.
    void authorizationStatus(AuthorizationAnswer answer) override;
    void requestAuthorization(PermissionAnswer answer) override;
    void add(const UserNotification& notification, Posted posted) override;
    void remove(const QStringList& identifiers) override;
    // DesktopApplications
    QList<RunningApplication> runningApplications() override;
    bool activate(const RunningApplication& application) override;
    std::optional<QString> systemMonitor() override;
    bool openSystemMonitor(const QString& program) override;
    // DesktopOpener
    bool openNotificationSettings() override;
    void openLoginItemSettings() override;
    void revealLoginItems() override;
    bool openURL(const QUrl& url) override;
    // UrlOpener, FileRevealer
    bool open(const QUrl& url) override;
    void reveal(const QUrl& item) override;
    // ApplicationLauncher
    bool open(const QUrl& bundle, const QString& executable) override;
    // FileWriter
    void write(const QString& path, const QByteArray& data) override;
    // LoginItem
    LoginItemStatus status() override;
    void registerItem() override;
    void unregisterItem() override;

private:
    QStringList m_asked;
    QHash<QString, QByteArray> m_files;
    LoginItemStatus m_loginItem = LoginItemStatus::notRegistered;
};

// Everything a screenshot run works with, chosen once by the composition root: stores that start
// empty and keep every change in memory, a process table of its own with no process in it (its
// checked signal reaches no process of the system), a key store in memory, the desktop above, a sleep
// that never comes, no update layer, an application library that lists nothing and refuses every
// removal, and an AI service that answers every request with "network unavailable". Nothing here
// reaches outside the process, whatever the models and screens over it do. A screenshot takes no
// sample, so the model is given no sampling thread.
//
// Lives longer than the models made over it.
class PreviewServices final {
public:
    PreviewServices();
    ~PreviewServices();
    PreviewServices(const PreviewServices&) = delete;
    PreviewServices& operator=(const PreviewServices&) = delete;

    AppModelServices modelServices();
    ApplicationLibraryServices libraryServices();
    // The shell's own settings (the window frame).
    SettingsStore settingsStore() const { return SettingsStore::inMemory(); }

    InMemoryProcessPlatform& processes() { return m_processes; }
    const std::shared_ptr<PreviewDesktop>& desktop() const { return m_desktop; }

private:
    InMemoryProcessPlatform m_processes;
    std::shared_ptr<PreviewDesktop> m_desktop = std::make_shared<PreviewDesktop>();
    SleepWatcher m_sleep;
    std::shared_ptr<CachedKeychainStore> m_keychain;
    LocalHistoryStore m_history = LocalHistoryStore::inMemory();
    ApplicationRemovalLog m_removalLog = ApplicationRemovalLog::inMemory();
    // The library's work and looks, as the program's; they wait for their jobs when they go.
    PoolExecutor m_work{2, QThread::LowPriority};
    PoolExecutor m_looks{1};
};

} // namespace lunorvale
