#include "app/model/SoftwareUpdater.h"

namespace lunorvale {
namespace {

const QString startFailure = QStringLiteral("更新服务暂时无法启动。请重新打开岚栖，或从官网下载新版。");
const QString abortFailure = QStringLiteral("更新未完成，请稍后重试，或从官网下载新版。本地观察仍可继续。");
const QString foundPrefix = QStringLiteral("发现新版本 ");
const QString previewVersion = QStringLiteral("1.1.1");

} // namespace

SoftwareUpdater::SoftwareUpdater(bool preview, UpdaterFactory factory, QObject* parent)
    : QObject(parent), m_preview(preview), m_factory(std::move(factory)) {}

SoftwareUpdater::~SoftwareUpdater() = default;

QString SoftwareUpdater::buttonTitle() const {
    if (m_readyToInstall)
        return QStringLiteral("安装更新…");
    if (!m_availableVersion)
        return QStringLiteral("检查更新…");
    return QStringLiteral("查看 ") + *m_availableVersion + QStringLiteral(" 更新…");
}

void SoftwareUpdater::start() {
    // A screenshot shows its scene's state, which a started controller would replace.
    if (m_preview || m_startAttempted)
        return;
    m_startAttempted = true;
    if (m_factory)
        m_controller = m_factory(*this);
    if (!m_controller) {
        setFailure(startFailure + u'\n' + QStringLiteral("没有可用的更新组件。"));
        return;
    }
    UpdaterController* controller = m_controller.get();
    // Each mirror takes the current value now and every change after.
    connect(controller, &UpdaterController::canCheckForUpdatesChanged, this,
            [this, controller] { setCanCheckForUpdates(controller->canCheckForUpdates()); });
    connect(controller, &UpdaterController::automaticallyChecksForUpdatesChanged, this,
            [this, controller] { setAutomaticallyChecks(controller->automaticallyChecksForUpdates()); });
    connect(controller, &UpdaterController::automaticallyDownloadsUpdatesChanged, this,
            [this, controller] { setAutomaticallyInstalls(controller->automaticallyDownloadsUpdates()); });
    connect(controller, &UpdaterController::lastUpdateCheckDateChanged, this,
            [this, controller] { setLastCheckDate(controller->lastUpdateCheckDate()); });
    setCanCheckForUpdates(controller->canCheckForUpdates());
    setAutomaticallyChecks(controller->automaticallyChecksForUpdates());
    setAutomaticallyInstalls(controller->automaticallyDownloadsUpdates());
    setLastCheckDate(controller->lastUpdateCheckDate());
    emit controllerChanged();

    if (const std::optional<UpdateError> error = controller->startUpdater())
        setFailure(startFailure + u'\n' + error->description);
    else
        setIsStarted(true);
}

void SoftwareUpdater::checkForUpdates() {
    if (!m_canCheckForUpdates)
        return;
    setFailure(std::nullopt);
    // With an update on offer the status keeps naming it.
    if (!m_availableVersion)
        setStatus(QStringLiteral("正在检查更新…"));
    // The update window brings itself to the front when it opens.
    if (m_controller)
        m_controller->checkForUpdates();
}

void SoftwareUpdater::configurePreview(const QString& sceneName) {
    if (!m_preview)
        return;
    const bool ready = sceneName.contains(QLatin1String("update-ready"));
    if (!ready && !sceneName.contains(QLatin1String("update-available")))
        return;
    setAvailableVersion(previewVersion);
    setReadyToInstall(ready);
    setStatus(ready ? QStringLiteral("新版已下载，将在退出岚栖时安装。") : foundPrefix + previewVersion);
}

void SoftwareUpdater::didFindValidUpdate(const AppcastItem& item) {
    setAvailableVersion(item.displayVersion);
    setFailure(std::nullopt);
    setStatus(foundPrefix + item.displayVersion);
}

void SoftwareUpdater::didNotFindUpdate() {
    setAvailableVersion(std::nullopt);
    setReadyToInstall(false);
    setFailure(std::nullopt);
    setStatus(QStringLiteral("没有适用于这台电脑的新版本。"));
}

void SoftwareUpdater::willHandleShowingUpdate(bool, const AppcastItem& item, UpdateStage stage) {
    const bool ready = stage != UpdateStage::notDownloaded;
    setAvailableVersion(item.displayVersion);
    setReadyToInstall(ready);
    setStatus(ready ? QStringLiteral("新版已准备好，安装时会重启岚栖。") : foundPrefix + item.displayVersion);
}

void SoftwareUpdater::userDidMakeChoice(UpdateChoice choice, const AppcastItem&, UpdateStage) {
    if (choice == UpdateChoice::skip) {
        setAvailableVersion(std::nullopt);
        setReadyToInstall(false);
        setStatus(QStringLiteral("已跳过这个版本，仍可手动检查更新。"));
    } else if (choice == UpdateChoice::dismiss && !m_readyToInstall) {
        setStatus(QStringLiteral("已推迟更新，下次检查时会再次提醒。"));
    }
}

bool SoftwareUpdater::willInstallUpdateOnQuit(const AppcastItem& item, std::function<void()>) {
    setAvailableVersion(item.displayVersion);
    setReadyToInstall(true);
    setStatus(QStringLiteral("新版已下载，将在退出岚栖时安装；也可现在安装并重启。"));
    // The update window offers installing now; the controller keeps that and the installation.
    return false;
}

void SoftwareUpdater::willFinishUpdateSession() {
    if (!m_readyToInstall)
        setAvailableVersion(std::nullopt);
}

void SoftwareUpdater::didAbortWithError(const UpdateError& error) {
    const bool ours = error.domain == QLatin1String(UpdateError::updaterDomain);
    if (ours && error.code == UpdateError::noUpdate)
        return; // the status of the finished check stays
    if (ours && error.code == UpdateError::installationAuthorizationLater) {
        setStatus(QStringLiteral("更新等待系统授权，可稍后从更新入口继续。"));
        return;
    }
    setAvailableVersion(std::nullopt);
    setReadyToInstall(false);
    if (ours && error.code == UpdateError::installationCanceled) {
        setStatus(QStringLiteral("已取消安装，可稍后重新检查更新。"));
        return;
    }
    QStringList lines{abortFailure, error.description};
    for (const QString& line : {error.failureReason, error.recoverySuggestion}) {
        if (!line.isEmpty())
            lines.append(line);
    }
    setFailure(lines.join(u'\n'));
    setStatus(QStringLiteral("更新未完成"));
}

bool SoftwareUpdater::shouldHandleShowingScheduledUpdate(const AppcastItem& item, bool) {
    // Only a critical release interrupts; any other waits for the tray arrow, the banner and the popover.
    return item.critical;
}

void SoftwareUpdater::setCanCheckForUpdates(bool value) {
    if (value == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = value;
    emit canCheckForUpdatesChanged();
}

void SoftwareUpdater::setAutomaticallyChecks(bool value) {
    if (value == m_automaticallyChecks)
        return;
    m_automaticallyChecks = value;
    emit automaticallyChecksChanged();
}

void SoftwareUpdater::setAutomaticallyInstalls(bool value) {
    if (value == m_automaticallyInstalls)
        return;
    m_automaticallyInstalls = value;
    emit automaticallyInstallsChanged();
}

void SoftwareUpdater::setLastCheckDate(const QDateTime& value) {
    const std::optional<QDateTime> date = value.isValid() ? std::optional(value) : std::nullopt;
    if (date == m_lastCheckDate)
        return;
    m_lastCheckDate = date;
    emit lastCheckDateChanged();
}

void SoftwareUpdater::setAvailableVersion(const std::optional<QString>& value) {
    if (value == m_availableVersion)
        return;
    m_availableVersion = value;
    emit availableVersionChanged();
    emit buttonTitleChanged();
}

void SoftwareUpdater::setReadyToInstall(bool value) {
    if (value == m_readyToInstall)
        return;
    m_readyToInstall = value;
    emit readyToInstallChanged();
    emit buttonTitleChanged();
}

void SoftwareUpdater::setStatus(const QString& value) {
    if (value == m_status)
        return;
    m_status = value;
    emit statusChanged();
}

void SoftwareUpdater::setFailure(const std::optional<QString>& value) {
    if (value == m_failure)
        return;
    m_failure = value;
    emit failureChanged();
}

void SoftwareUpdater::setIsStarted(bool value) {
    if (value == m_isStarted)
        return;
    m_isStarted = value;
    emit isStartedChanged();
}

} // namespace lunorvale
