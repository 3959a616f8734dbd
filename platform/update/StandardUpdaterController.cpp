#include "platform/update/StandardUpdaterController.h"

#include "platform/Paths.h"
#include "platform/files/AtomicFile.h"
#include "platform/update/Appcast.h"
#include "platform/update/Ed25519Signature.h"
#include "platform/update/ProgramInstaller.h"
#include "platform/update/UpdateFailureText.h"
#include "platform/update/UpdateTransfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <cmath>
#include <utility>

namespace lunorvale {
namespace {

using namespace std::chrono_literals;

// The first scheduled check waits this long after start-up; a timer never waits longer than a day at a
// time, so a changed clock is noticed.
constexpr auto firstCheckDelay = 60s;
constexpr auto longestWait = std::chrono::milliseconds(std::chrono::hours(24));

const QString downloadPattern = QStringLiteral("lunorvale-update-");

QString lines(const UpdateError& error) {
    QStringList parts{error.description};
    for (const QString& part : {error.failureReason, error.recoverySuggestion}) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts.join(u'\n');
}

// The update window is made the first time there is something to show: most runs never show it,
// and a program that waits in the tray should not carry a window's widgets and fonts for it.
class DeferredPrompt final : public UpdatePrompt {
public:
    explicit DeferredPrompt(std::function<std::unique_ptr<UpdatePrompt>()> make) : m_make(std::move(make)) {}

    void showUpdate(const UpdateOffer& offer, std::function<void(UpdateChoice)> choose) override {
        if (UpdatePrompt* prompt = made())
            prompt->showUpdate(offer, std::move(choose));
    }
    void showProgress(const AppcastItem& item, qint64 received, qint64 total,
                      std::function<void()> cancel) override {
        if (UpdatePrompt* prompt = made())
            prompt->showProgress(item, received, total, std::move(cancel));
    }
    void showMessage(const QString& title, const QString& text) override {
        if (UpdatePrompt* prompt = made())
            prompt->showMessage(title, text);
    }
    void withdraw() override {
        // A window never made shows nothing to withdraw.
        if (m_prompt)
            m_prompt->withdraw();
    }

private:
    UpdatePrompt* made() {
        if (!m_prompt && m_make)
            m_prompt = std::exchange(m_make, {})();
        return m_prompt.get();
    }

    std::function<std::unique_ptr<UpdatePrompt>()> m_make;
    std::unique_ptr<UpdatePrompt> m_prompt;
};

} // namespace

UpdateEnvironment UpdateEnvironment::standard(SettingsStore settings) {
    UpdateEnvironment environment;
    environment.programPath = ProgramInstaller::installedProgramPath();
    // The configuration ships with the program itself (inside an AppImage, beside its executable).
    environment.configurationPath = UpdateConfiguration::pathBeside(QCoreApplication::applicationFilePath());
    environment.settings = std::move(settings);
    environment.downloadDirectory = Paths::applicationSupportDirectory() + QStringLiteral("/Updates");
    environment.packageDatabase = QStringLiteral("/var/lib/dpkg/info");
    environment.currentVersion = QStringLiteral(LUNORVALE_VERSION);
    environment.now = [] {
        return QDateTime::currentDateTimeUtc();
    };
    environment.quitToInstall = [] {
        QCoreApplication::quit();
        return true;
    };
    environment.relaunch = [](const QString& programPath) {
        ProgramInstaller::relaunchAfterExit(programPath, QCoreApplication::applicationPid());
    };
    return environment;
}

StandardUpdaterController::StandardUpdaterController(UpdaterDelegate& delegate,
                                                     std::unique_ptr<UpdatePrompt> prompt,
                                                     UpdateEnvironment environment, QObject* parent)
    : UpdaterController(parent), m_delegate(delegate), m_prompt(std::move(prompt)),
      m_environment(std::move(environment)), m_store(m_environment.settings) {
    m_schedule.setSingleShot(true);
    connect(&m_schedule, &QTimer::timeout, this, [this] {
        const QDateTime last = lastUpdateCheckDate();
        if (last.isValid() && m_environment.now() < last.addSecs(m_configuration->checkInterval.count()))
            scheduleNextCheck();
        else
            checkInBackground();
    });
}

StandardUpdaterController::~StandardUpdaterController() {
    if (m_transfer)
        m_transfer->cancel();
}

UpdaterFactory StandardUpdaterController::factory(std::function<std::unique_ptr<UpdatePrompt>()> makePrompt,
                                                  UpdateEnvironment environment) {
    return [makePrompt = std::move(makePrompt),
            environment = std::move(environment)](UpdaterDelegate& delegate) {
        return std::unique_ptr<UpdaterController>(new StandardUpdaterController(
            delegate, makePrompt ? std::make_unique<DeferredPrompt>(makePrompt) : nullptr, environment));
    };
}

std::optional<UpdateError> StandardUpdaterController::startUpdater() {
    if (m_started)
        return std::nullopt;
    try {
        m_configuration = UpdateConfiguration::read(m_environment.configurationPath);
    } catch (const UpdateError& error) {
        return error;
    }
    // Downloads of an earlier run were verified for that run only.
    const QDir downloads(m_environment.downloadDirectory);
    for (const QString& name : downloads.entryList({downloadPattern + u'*'}, QDir::Files | QDir::Hidden))
        QFile::remove(downloads.filePath(name));
    if (auto* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, [this] { installPendingUpdate(); });
    m_started = true;
    setPhase(m_phase);
    scheduleNextCheck();
    return std::nullopt;
}

bool StandardUpdaterController::canCheckForUpdates() const {
    return m_canCheck;
}

bool StandardUpdaterController::automaticallyChecksForUpdates() const {
    return m_store.boolValue(QLatin1String(automaticChecksKey)).value_or(true);
}

void StandardUpdaterController::setAutomaticallyChecksForUpdates(bool on) {
    if (on == automaticallyChecksForUpdates())
        return;
    m_store.setValue(QLatin1String(automaticChecksKey), on);
    emit automaticallyChecksForUpdatesChanged(on);
    scheduleNextCheck();
}

bool StandardUpdaterController::automaticallyDownloadsUpdates() const {
    return m_store.boolValue(QLatin1String(automaticDownloadsKey)).value_or(false);
}

void StandardUpdaterController::setAutomaticallyDownloadsUpdates(bool on) {
    if (on == automaticallyDownloadsUpdates())
        return;
    m_store.setValue(QLatin1String(automaticDownloadsKey), on);
    emit automaticallyDownloadsUpdatesChanged(on);
}

QDateTime StandardUpdaterController::lastUpdateCheckDate() const {
    const std::optional<double> seconds = m_store.doubleValue(QLatin1String(lastCheckDateKey));
    if (!seconds || !std::isfinite(*seconds) || std::abs(*seconds) > 1e12)
        return {};
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(*seconds * 1000), Qt::UTC);
}

std::optional<QString> StandardUpdaterController::skippedVersion() const {
    return m_store.stringValue(QLatin1String(skippedVersionKey));
}

void StandardUpdaterController::setPhase(Phase phase) {
    m_phase = phase;
    const bool canCheck = m_started && phase != Phase::checking && phase != Phase::downloading;
    if (canCheck == m_canCheck)
        return;
    m_canCheck = canCheck;
    emit canCheckForUpdatesChanged(canCheck);
}

void StandardUpdaterController::scheduleNextCheck() {
    m_schedule.stop();
    if (!m_started || m_phase != Phase::idle || !automaticallyChecksForUpdates())
        return;
    const QDateTime now = m_environment.now();
    QDateTime last = lastUpdateCheckDate();
    if (last.isValid() && last > now)
        last = now; // the clock went back
    const QDateTime due = last.isValid() ? last.addSecs(m_configuration->checkInterval.count())
                                         : now.addSecs(std::chrono::seconds(firstCheckDelay).count());
    const qint64 wait = std::clamp<qint64>(now.msecsTo(due), 0, longestWait.count());
    m_schedule.start(std::chrono::milliseconds(wait));
}

void StandardUpdaterController::checkForUpdates() {
    if (!canCheckForUpdates())
        return;
    m_userInitiated = true;
    if (m_phase == Phase::awaitingChoice)
        return present(UpdateStage::notDownloaded);
    if (m_phase == Phase::readyToInstall)
        return present(UpdateStage::downloaded);
    beginCheck(true);
}

void StandardUpdaterController::checkInBackground() {
    if (!m_started || m_phase != Phase::idle || !automaticallyChecksForUpdates())
        return;
    beginCheck(false);
}

void StandardUpdaterController::beginCheck(bool userInitiated) {
    ++m_session;
    m_userInitiated = userInitiated;
    m_visible = false;
    setPhase(Phase::checking);
    const QDateTime now = m_environment.now();
    m_store.setValue(QLatin1String(lastCheckDateKey), double(now.toMSecsSinceEpoch()) / 1000.0);
    emit lastUpdateCheckDateChanged(lastUpdateCheckDate());

    auto feed = std::make_shared<QByteArray>();
    UpdateTransfer::Request request{m_configuration->feedURL,
                                    Appcast::maximumBytes,
                                    std::nullopt,
                                    m_environment.feedDeadline,
                                    UpdateTransfer::Redirects::refuse,
                                    UpdateError::feedUnavailable};
    m_transfer = new UpdateTransfer(
        manager(), request,
        [feed](QByteArrayView piece) {
            feed->append(piece);
            return true;
        },
        {}, [this, feed](std::optional<UpdateError> error) { onFeed(std::move(error), *feed); }, this);
    m_transfer->start();
}

void StandardUpdaterController::onFeed(std::optional<UpdateError> error, const QByteArray& feed) {
    m_transfer->deleteLater();
    m_transfer = nullptr;
    if (error)
        return abortSession(*error);
    QList<AppcastItem> items;
    try {
        items = Appcast::parse(feed);
    } catch (const UpdateError& parseError) {
        return abortSession(parseError);
    }
    // The user asked: a skipped version is shown again, as the skip message promised.
    const auto best = Appcast::bestItem(items, m_environment.currentVersion,
                                        m_userInitiated ? std::nullopt : skippedVersion());
    if (!best) {
        setPhase(Phase::idle);
        const QString upToDate = QStringLiteral("岚栖 %1 已是最新版本。").arg(m_environment.currentVersion);
        m_delegate.didNotFindUpdate();
        m_delegate.didAbortWithError(UpdateError::make(UpdateError::noUpdate, upToDate));
        if (m_userInitiated && m_prompt)
            m_prompt->showMessage(QStringLiteral("已是最新版本"), upToDate);
        return endSession();
    }
    m_item = *best;
    m_installKind = ProgramInstaller::classify(m_environment.programPath, m_environment.packageDatabase);
    setPhase(Phase::awaitingChoice);
    m_delegate.didFindValidUpdate(m_item);
    if (!m_userInitiated && automaticallyDownloadsUpdates() && m_installKind == InstallKind::selfContained)
        return startDownload();
    const bool inWindow = m_userInitiated || !m_delegate.supportsGentleScheduledUpdateReminders() ||
                          m_delegate.shouldHandleShowingScheduledUpdate(m_item, false);
    m_delegate.willHandleShowingUpdate(inWindow, m_item, UpdateStage::notDownloaded);
    if (inWindow)
        show(UpdateStage::notDownloaded);
}

void StandardUpdaterController::present(UpdateStage stage) {
    m_delegate.willHandleShowingUpdate(true, m_item, stage);
    show(stage);
}

void StandardUpdaterController::show(UpdateStage stage) {
    m_visible = true;
    if (!m_prompt)
        return;
    const QPointer<StandardUpdaterController> self(this);
    m_prompt->showUpdate({m_item, m_environment.currentVersion, stage, m_installKind},
                         [self, session = m_session](UpdateChoice choice) {
                             if (self)
                                 self->onChoice(session, choice);
                         });
}

void StandardUpdaterController::onChoice(quint64 session, UpdateChoice choice) {
    if (session != m_session || (m_phase != Phase::awaitingChoice && m_phase != Phase::readyToInstall))
        return;
    const UpdateStage stage =
        m_phase == Phase::readyToInstall ? UpdateStage::downloaded : UpdateStage::notDownloaded;
    if (choice == UpdateChoice::install && m_installKind != InstallKind::selfContained)
        choice = UpdateChoice::dismiss; // the window offers no installation then
    if (choice == UpdateChoice::skip)
        m_store.setValue(QLatin1String(skippedVersionKey), m_item.version);
    m_delegate.userDidMakeChoice(choice, m_item, stage);
    if (choice == UpdateChoice::install)
        return stage == UpdateStage::downloaded ? installNow() : startDownload();
    if (choice == UpdateChoice::dismiss && stage == UpdateStage::downloaded) {
        // The window closes; the update still goes in when the application quits.
        m_delegate.willFinishUpdateSession();
        return;
    }
    endSession();
}

void StandardUpdaterController::startDownload() {
    const QByteArray signature = Ed25519Signature::decodeSignature(m_item.edSignature);
    if (signature.isEmpty())
        return abortSession(UpdateError::make(UpdateError::signatureInvalid,
                                              QStringLiteral("更新文件的签名格式不正确，未下载。"),
                                              QStringLiteral("签名必须是 64 字节的 Ed25519 签名。")));
    if (m_item.length <= 0 || m_item.length > m_environment.maximumDownloadBytes)
        return abortSession(UpdateError::make(UpdateError::downloadFailed,
                                              QStringLiteral("更新信息中的文件大小无效，未下载。")));
    try {
        AtomicFile::createDirectories(m_environment.downloadDirectory);
    } catch (const FileWriteError& error) {
        return abortSession(UpdateError::make(UpdateError::downloadFailed,
                                              QStringLiteral("无法保存下载的更新。"),
                                              UpdateFailureText::system(error.errorNumber())));
    }
    m_download = std::make_unique<QTemporaryFile>(m_environment.downloadDirectory + u'/' + downloadPattern +
                                                  QStringLiteral("XXXXXX"));
    if (!m_download->open())
        return abortSession(UpdateError::make(UpdateError::downloadFailed,
                                              QStringLiteral("无法保存下载的更新。"),
                                              UpdateFailureText::file(m_download->error())));
    setPhase(Phase::downloading);

    const QPointer<StandardUpdaterController> self(this);
    const auto cancel = [self, session = m_session] {
        if (self && self->m_session == session && self->m_phase == Phase::downloading)
            self->abortSession(
                UpdateError::make(UpdateError::installationCanceled, QStringLiteral("已取消下载更新。")));
    };
    UpdateTransfer::Progress progress;
    if (m_visible && m_prompt) {
        m_prompt->showProgress(m_item, 0, m_item.length, cancel);
        progress = [this, cancel](qint64 received) {
            m_prompt->showProgress(m_item, received, m_item.length, cancel);
        };
    }
    QFile* file = m_download.get();
    UpdateTransfer::Request request{m_item.url,
                                    m_environment.maximumDownloadBytes,
                                    m_item.length,
                                    m_environment.downloadDeadline,
                                    UpdateTransfer::Redirects::sameScheme,
                                    UpdateError::downloadFailed};
    m_transfer = new UpdateTransfer(
        manager(), request,
        [file](QByteArrayView piece) { return file->write(piece.data(), piece.size()) == piece.size(); },
        progress, [this](std::optional<UpdateError> error) { onDownloaded(std::move(error)); }, this);
    m_transfer->start();
}

void StandardUpdaterController::onDownloaded(std::optional<UpdateError> error) {
    m_transfer->deleteLater();
    m_transfer = nullptr;
    if (error)
        return abortSession(*error);
    if (!m_download->flush())
        return abortSession(UpdateError::make(UpdateError::downloadFailed,
                                              QStringLiteral("无法保存下载的更新。"),
                                              UpdateFailureText::file(m_download->error())));
    if (!downloadVerifies())
        return abortSession(UpdateError::make(UpdateError::signatureInvalid,
                                              QStringLiteral("更新文件的签名无法验证，已丢弃。"),
                                              QStringLiteral("下载的文件可能已损坏或被篡改。")));
    setPhase(Phase::readyToInstall);
    const QPointer<StandardUpdaterController> self(this);
    const bool delegateOffers = m_delegate.willInstallUpdateOnQuit(m_item, [self] {
        if (self)
            self->installNow();
    });
    if (m_visible && !delegateOffers)
        show(UpdateStage::downloaded);
}

bool StandardUpdaterController::downloadVerifies() const {
    if (!m_download || m_download->size() != m_item.length)
        return false;
    uchar* data = m_download->map(0, m_item.length);
    if (!data)
        return false;
    const bool valid = Ed25519Signature::verify(
        m_configuration->publicKey, Ed25519Signature::decodeSignature(m_item.edSignature),
        QByteArrayView(reinterpret_cast<const char*>(data), m_item.length));
    m_download->unmap(data);
    return valid;
}

void StandardUpdaterController::installNow() {
    if (m_phase != Phase::readyToInstall)
        return;
    m_relaunch = true;
    if (m_environment.quitToInstall && m_environment.quitToInstall())
        return; // installed while the application quits
    m_relaunch = false;
    abortSession(UpdateError::make(UpdateError::installationCanceled, QStringLiteral("已取消安装更新。")));
}

std::optional<UpdateError> StandardUpdaterController::installPendingUpdate() {
    if (m_phase != Phase::readyToInstall || !m_download)
        return std::nullopt;
    const auto refused = [](QString reason) {
        return UpdateError::make(UpdateError::installationFailed, QStringLiteral("更新没有安装。"),
                                 std::move(reason));
    };
    if (m_installKind != InstallKind::selfContained)
        return refused(QStringLiteral("岚栖不是可由应用内更新替换的安装。"));
    // Checked again: the file waited on disk since it was verified.
    if (!downloadVerifies())
        return refused(QStringLiteral("下载的文件已无法通过签名验证。"));
    uchar* data = m_download->map(0, m_item.length);
    if (!data)
        return refused(UpdateFailureText::file(m_download->error()));
    std::optional<UpdateError> failure;
    try {
        ProgramInstaller::install(QByteArray::fromRawData(reinterpret_cast<const char*>(data), m_item.length),
                                  m_environment.programPath);
    } catch (const UpdateError& error) {
        failure = error;
    }
    m_download->unmap(data);
    if (failure)
        return failure;
    if (m_relaunch && m_environment.relaunch)
        m_environment.relaunch(m_environment.programPath);
    m_download.reset();
    m_item = {};
    m_relaunch = false;
    setPhase(Phase::idle);
    return std::nullopt;
}

QNetworkAccessManager& StandardUpdaterController::manager() {
    if (!m_manager)
        m_manager = UpdateTransfer::makeManager(this);
    return *m_manager;
}

void StandardUpdaterController::endSession() {
    // The network layer (its thread and connection cache) is made for a check or download and let go
    // after it: the next scheduled check is usually a day away.
    if (m_manager && !m_transfer) {
        m_manager->deleteLater();
        m_manager = nullptr;
    }
    m_download.reset();
    m_item = {};
    m_relaunch = false;
    setPhase(Phase::idle);
    m_delegate.willFinishUpdateSession();
    scheduleNextCheck();
}

void StandardUpdaterController::abortSession(const UpdateError& error) {
    if (m_transfer) {
        m_transfer->cancel();
        m_transfer->deleteLater();
        m_transfer = nullptr;
    }
    m_download.reset();
    setPhase(Phase::idle);
    m_delegate.didAbortWithError(error);
    if (m_prompt && (m_userInitiated || m_visible)) {
        if (error.code == UpdateError::installationCanceled)
            m_prompt->withdraw();
        else
            m_prompt->showMessage(QStringLiteral("更新未完成"), lines(error));
    }
    endSession();
}

} // namespace lunorvale
