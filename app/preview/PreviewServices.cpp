#include "app/preview/PreviewServices.h"

#include "core/ai/KeychainStore.h"

#include <QMetaObject>
#include <mutex>

namespace lunorvale {
namespace {

// Keys kept for the life of the run, one per account.
class MemoryKeychain final : public KeychainBackend {
public:
    qint32 probe(const QString& account) override {
        const std::lock_guard lock(m_lock);
        return m_secrets.contains(account) ? KeychainStore::Status::success
                                           : KeychainStore::Status::itemNotFound;
    }
    ReadResult read(const QString& account, bool) override {
        const std::lock_guard lock(m_lock);
        const auto found = m_secrets.constFind(account);
        if (found == m_secrets.cend())
            return {KeychainStore::Status::itemNotFound, std::nullopt};
        return {KeychainStore::Status::success, *found};
    }
    qint32 update(const QString& account, const QByteArray& secret) override {
        const std::lock_guard lock(m_lock);
        if (!m_secrets.contains(account))
            return KeychainStore::Status::itemNotFound;
        m_secrets.insert(account, secret);
        return KeychainStore::Status::success;
    }
    qint32 add(const QString& account, const QByteArray& secret) override {
        const std::lock_guard lock(m_lock);
        m_secrets.insert(account, secret);
        return KeychainStore::Status::success;
    }
    qint32 remove(const QString& account) override {
        const std::lock_guard lock(m_lock);
        return m_secrets.remove(account) > 0 ? KeychainStore::Status::success
                                             : KeychainStore::Status::itemNotFound;
    }

private:
    std::mutex m_lock; // the key store calls from worker threads too
    QHash<QString, QByteArray> m_secrets;
};

// The refusal of every removal check and removal.
[[noreturn]] void refuseRemoval() {
    throw ApplicationManagementError::blocked(QStringLiteral("演示模式中的操作不会执行。"));
}

} // namespace

// --- PreviewDesktop ---

void PreviewDesktop::authorizationStatus(AuthorizationAnswer answer) {
    QMetaObject::invokeMethod(
        this, [answer = std::move(answer)] { answer(NotificationAuthorization::authorized); },
        Qt::QueuedConnection);
}

void PreviewDesktop::requestAuthorization(PermissionAnswer answer) {
    m_asked.append(QStringLiteral("notifications:authorize"));
    QMetaObject::invokeMethod(
        this, [answer = std::move(answer)] { answer(true, std::nullopt); }, Qt::QueuedConnection);
}

void PreviewDesktop::add(const UserNotification& notification, Posted posted) {
    m_asked.append(QStringLiteral("notify:") + notification.identifier);
    QMetaObject::invokeMethod(
        this, [posted = std::move(posted)] { posted(std::nullopt); }, Qt::QueuedConnection);
}

void PreviewDesktop::remove(const QStringList& identifiers) {
    m_asked.append(QStringLiteral("withdraw:") + identifiers.join(u','));
}

QList<RunningApplication> PreviewDesktop::runningApplications() {
    return {};
}

bool PreviewDesktop::activate(const RunningApplication& application) {
    m_asked.append(QStringLiteral("activate:") + QString::number(application.pid));
    return false;
}

std::optional<QString> PreviewDesktop::systemMonitor() {
    return std::nullopt;
}

bool PreviewDesktop::openSystemMonitor(const QString& program) {
    m_asked.append(QStringLiteral("monitor:") + program);
    return false;
}

bool PreviewDesktop::openNotificationSettings() {
    m_asked.append(QStringLiteral("settings:notifications"));
    return false;
}

void PreviewDesktop::openLoginItemSettings() {
    m_asked.append(QStringLiteral("settings:login"));
}

void PreviewDesktop::revealLoginItems() {
    m_asked.append(QStringLiteral("settings:login-items"));
}

bool PreviewDesktop::openURL(const QUrl& url) {
    return open(url);
}

bool PreviewDesktop::open(const QUrl& url) {
    m_asked.append(QStringLiteral("url:") + url.toString());
    return false;
}

void PreviewDesktop::reveal(const QUrl& item) {
    m_asked.append(QStringLiteral("reveal:") + item.toLocalFile());
}

bool PreviewDesktop::open(const QUrl& bundle, const QString&) {
    m_asked.append(QStringLiteral("launch:") + bundle.toLocalFile());
    return false;
}

void PreviewDesktop::write(const QString& path, const QByteArray& data) {
    m_asked.append(QStringLiteral("write:") + path);
    m_files.insert(path, data);
}

LoginItemStatus PreviewDesktop::status() {
    return m_loginItem;
}

void PreviewDesktop::registerItem() {
    m_asked.append(QStringLiteral("login:register"));
    m_loginItem = LoginItemStatus::enabled;
}

void PreviewDesktop::unregisterItem() {
    m_asked.append(QStringLiteral("login:unregister"));
    m_loginItem = LoginItemStatus::notRegistered;
}

// --- PreviewServices ---

PreviewServices::PreviewServices()
    : m_keychain(std::make_shared<CachedKeychainStore>(std::make_shared<MemoryKeychain>())) {}

PreviewServices::~PreviewServices() = default;

AppModelServices PreviewServices::modelServices() {
    AppModelServices services;
    services.processPlatform = &m_processes;
    services.settingsStore = SettingsStore::inMemory();
    services.keychain = m_keychain;
    services.notifications = m_desktop.get();
    services.loginItem = m_desktop.get();
    services.desktopApplications = m_desktop.get();
    services.sleepWatcher = &m_sleep;
    services.historyStore = [history = m_history] {
        return history;
    };
    services.now = [] {
        return QDateTime::currentDateTimeUtc();
    };
    services.analyze = AIRequests::unreachable(m_desktop.get());
    return services;
}

ApplicationLibraryServices PreviewServices::libraryServices() {
    ApplicationLibraryServices services;
    services.processes = &m_processes;
    services.runningApplications = ApplicationLibraryServices::runningBundles(m_processes);
    services.scan = [](const CancellationToken&) {
        return ApplicationScan{};
    };
    services.bundleSize = [](const InstalledApplication&, const CancellationToken&) {
        return int64_t(0);
    };
    services.prepare = [](const InstalledApplication&, const ApplicationLibraryServices::PhaseCallback&,
                          const CancellationToken&) -> ApplicationRemovalPlan {
        refuseRemoval();
    };
    services.execute = [](const ApplicationRemovalPlan&, const ApplicationLibraryServices::PhaseCallback&,
                          const CancellationToken&) -> ApplicationRemovalResult {
        refuseRemoval();
    };
    services.removeUnfinishedTrashRecords = [](const QList<ApplicationRemovalReceipt>&, const QDateTime&) {
    };
    services.removalLog = [log = m_removalLog] {
        return log;
    };
    services.revealer = m_desktop.get();
    services.launcher = m_desktop.get();
    services.keychain = m_keychain;
    services.analyze = AIRequests::unreachable(m_desktop.get());
    services.uptime = [this] {
        return m_processes.uptime();
    };
    services.now = [] {
        return QDateTime::currentDateTimeUtc();
    };
    services.work = &m_work;
    services.looks = &m_looks;
    return services;
}

} // namespace lunorvale
