#include "app/library/ApplicationLibraryModel.h"

#include "app/library/ApplicationLibraryErrors.h"
#include "app/library/BackgroundWork.h"
#include "core/applications/ApplicationInventory.h"
#include "core/applications/RunningBundles.h"
#include "core/common/SafeText.h"
#include "core/common/ThreadExecutors.h"
#include "core/monitoring/ProcessPlatform.h"

#include <QDir>
#include <QTimer>
#include <chrono>
#include <stdexcept>

namespace lunorvale {
namespace {

constexpr double quitDeadlineSeconds = 15.0;
constexpr int quitPollMilliseconds = 250;

// A bundle location as both sides of a match see it: no ".", "..", doubled or trailing separators.
QString standardizedPath(const QUrl& url) {
    return QDir::cleanPath(url.toLocalFile());
}

// The bundles are listed on the look's thread; their quit requests go out from the interface thread
// through a second RunningBundles, since each is used from one thread at a time.
QList<ApplicationRunningTarget> runningBundleTargets(QList<RunningBundle> bundles,
                                                     const std::shared_ptr<RunningBundles>& quitter) {
    QList<ApplicationRunningTarget> targets;
    for (RunningBundle& bundle : bundles) {
        QUrl url = QUrl::fromLocalFile(bundle.path);
        if (bundle.quitByHand) {
            targets.append(ApplicationRunningTarget{std::move(url), std::nullopt, {}, bundle.quitByHand});
            continue;
        }
        targets.append(ApplicationRunningTarget{
            std::move(url), std::nullopt,
            [quitter, bundle = std::move(bundle)] { return quitter->requestQuit(bundle); }, std::nullopt});
    }
    return targets;
}

// A model given no removal service checks and removes nothing; the page says that the operation could
// not be completed.
[[noreturn]] void refuseRemoval() {
    throw std::runtime_error("no removal service was given");
}

ApplicationManagementGuidance requiresQuit(const QString& reason, const QString& nextStep) {
    return ApplicationManagementGuidance{ApplicationManagementGuidance::Kind::requiresQuit, reason, nextStep,
                                         std::nullopt};
}

} // namespace

std::function<QList<ApplicationRunningTarget>(const CancellationToken&)>
ApplicationLibraryServices::runningBundles(ProcessPlatform& processes) {
    auto lister = std::make_shared<RunningBundles>(processes);
    auto quitter = std::make_shared<RunningBundles>(processes);
    return [lister, quitter](const CancellationToken& cancellation) {
        return runningBundleTargets(lister->list(cancellation), quitter);
    };
}

ApplicationLibraryModel::ApplicationLibraryModel(bool preview, ApplicationLibraryServices services,
                                                 QObject* parent)
    : QObject(parent), m_preview(preview), m_services(std::move(services)),
      m_delivery(std::make_shared<Delivery>(this)) {
    // What was not given reaches nothing: whatever a test or a screenshot run leaves out stays in the
    // process.
    if (!m_services.work || !m_services.looks) {
        m_ownWork = std::make_unique<LaterExecutor>(this);
        if (!m_services.work)
            m_services.work = m_ownWork.get();
        if (!m_services.looks)
            m_services.looks = m_ownWork.get();
    }
    if (!m_services.runningApplications) {
        m_services.runningApplications = [](const CancellationToken&) {
            return QList<ApplicationRunningTarget>();
        };
    }
    if (!m_services.scan) {
        m_services.scan = [](const CancellationToken&) {
            return ApplicationScan{};
        };
    }
    if (!m_services.bundleSize) {
        m_services.bundleSize = [](const InstalledApplication&, const CancellationToken&) {
            return int64_t(0);
        };
    }
    if (!m_services.prepare) {
        m_services.prepare = [](const InstalledApplication&, const ApplicationLibraryServices::PhaseCallback&,
                                const CancellationToken&) -> ApplicationRemovalPlan {
            refuseRemoval();
        };
    }
    if (!m_services.execute) {
        m_services.execute = [](const ApplicationRemovalPlan&,
                                const ApplicationLibraryServices::PhaseCallback&,
                                const CancellationToken&) -> ApplicationRemovalResult {
            refuseRemoval();
        };
    }
    if (!m_services.removeUnfinishedTrashRecords) {
        m_services.removeUnfinishedTrashRecords = [](const QList<ApplicationRemovalReceipt>&,
                                                     const QDateTime&) {
        };
    }
    if (!m_services.removalLog) {
        m_services.removalLog = [log = ApplicationRemovalLog::inMemory()] {
            return log;
        };
    }
    if (!m_services.analyze)
        m_services.analyze = AIRequests::unreachable(this);
    if (preview)
        loadPreview();
}

ApplicationLibraryModel::~ApplicationLibraryModel() {
    for (const std::shared_ptr<Task>& task : {m_scanTask, m_preparationTask, m_removalTask, m_lookTask}) {
        if (task)
            task->source.cancel();
    }
    // A cancelled request completes at once; the changed token makes that completion touch nothing.
    m_aiGeneration = QUuid::createUuid();
    m_aiTask.cancel();
    m_delivery->close();
}

QDateTime ApplicationLibraryModel::now() const {
    return m_services.now ? m_services.now() : QDateTime::currentDateTimeUtc();
}

double ApplicationLibraryModel::uptime() const {
    if (m_services.uptime)
        return m_services.uptime();
    if (m_services.processes)
        return m_services.processes->uptime();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ApplicationRemovalLog ApplicationLibraryModel::removalLog() const {
    return m_services.removalLog();
}

// --- Written by the page ---

void ApplicationLibraryModel::setChecked(const QSet<QString>& checked) {
    publish(m_checked, checked, &ApplicationLibraryModel::checkedChanged);
}

void ApplicationLibraryModel::setSelectedID(const std::optional<QString>& selectedID) {
    publish(m_selectedID, selectedID, &ApplicationLibraryModel::selectedIDChanged);
}

void ApplicationLibraryModel::setMessage(const std::optional<QString>& message) {
    publish(m_message, message, &ApplicationLibraryModel::messageChanged);
}

void ApplicationLibraryModel::clearRemovalPlan() {
    setRemovalPlan(std::nullopt);
}

void ApplicationLibraryModel::setRemovalPlan(std::optional<ApplicationRemovalPlan> plan) {
    const auto id = [](const std::optional<ApplicationRemovalPlan>& p) {
        return p ? std::optional(p->id) : std::nullopt;
    };
    if (id(m_removalPlan) == id(plan))
        return;
    m_removalPlan = std::move(plan);
    emit removalPlanChanged();
}

// --- Scanning ---

void ApplicationLibraryModel::scan() {
    // A screenshot lists its scenario's applications.
    if (m_preview || m_removing || m_checkingRemoval || m_quittingApplicationID)
        return;
    stopScanning();
    cancelAI();
    publish(m_aiResult, QString(), &ApplicationLibraryModel::aiResultChanged);
    publish(m_aiError, std::nullopt, &ApplicationLibraryModel::aiErrorChanged);
    const QUuid token = QUuid::createUuid();
    m_generation = token;
    publish(m_scanning, true, &ApplicationLibraryModel::scanningChanged);
    publish(m_message, std::nullopt, &ApplicationLibraryModel::messageChanged);
    setRemovalPlan(std::nullopt);
    publish(m_removalFeedback, std::nullopt, &ApplicationLibraryModel::removalFeedbackChanged);
    publish(m_removalFeedbackID, std::nullopt, &ApplicationLibraryModel::removalFeedbackIDChanged);

    auto task = std::make_shared<Task>();
    m_scanTask = task;
    BackgroundWork<ApplicationScan>::start(
        m_delivery, *m_services.work,
        [scan = m_services.scan, cancellation = task->source.token()](const auto&) {
            return scan(cancellation);
        },
        {},
        [this, token, task](std::optional<ApplicationScan> result, std::exception_ptr error) {
            scanned(token, task, std::move(result), error);
        });
}

void ApplicationLibraryModel::scanned(const QUuid& token, const std::shared_ptr<Task>& task,
                                      std::optional<ApplicationScan> result,
                                      const std::exception_ptr& error) {
    if (error) {
        if (!isCancellation(error) && m_generation == token)
            publish(m_message, std::optional(QStringLiteral("应用扫描失败，请重试。")),
                    &ApplicationLibraryModel::messageChanged);
        finishScan(token, task);
        return;
    }
    if (m_generation != token || task->source.isCancelled()) {
        finishScan(token, task);
        return;
    }

    publish(m_sizes, QHash<QString, qint64>(), &ApplicationLibraryModel::sizesChanged);
    publish(m_sizeErrors, QSet<QString>(), &ApplicationLibraryModel::sizeErrorsChanged);
    publish(m_applications, result->applications, &ApplicationLibraryModel::applicationsChanged);
    publish(m_issues, result->issues, &ApplicationLibraryModel::issuesChanged);
    publish(m_scannedAt, std::optional(now()), &ApplicationLibraryModel::scannedAtChanged);

    QSet<QString> listed;
    listed.reserve(m_applications.size());
    for (const InstalledApplication& application : std::as_const(m_applications))
        listed.insert(application.id());
    QSet<QString> checked = m_checked;
    checked.intersect(listed);
    publish(m_checked, std::move(checked), &ApplicationLibraryModel::checkedChanged);
    if (!m_selectedID || !listed.contains(*m_selectedID)) {
        publish(m_selectedID,
                m_applications.isEmpty() ? std::nullopt : std::optional(m_applications.first().id()),
                &ApplicationLibraryModel::selectedIDChanged);
    }

    // The new list is matched against the last look at once, and against a fresh one soon after; the sizes
    // follow that look, so that a finished scan shows both.
    applyLook(m_runningTargets);
    publish(m_scanning, false, &ApplicationLibraryModel::scanningChanged);
    publish(m_sizing, true, &ApplicationLibraryModel::sizingChanged);
    refreshRunning([this, token, task,
                    applications = std::make_shared<const QList<InstalledApplication>>(
                        std::move(result->applications))] { sizeNext(token, task, applications, 0); });
}

void ApplicationLibraryModel::sizeNext(const QUuid& token, const std::shared_ptr<Task>& task,
                                       std::shared_ptr<const QList<InstalledApplication>> applications,
                                       qsizetype index) {
    // Sequential on purpose: one scan never walks more than one bundle at a time.
    if (index >= applications->size() || task->source.isCancelled()) {
        finishScan(token, task);
        return;
    }
    const InstalledApplication& application = applications->at(index);
    BackgroundWork<int64_t>::start(
        m_delivery, *m_services.work,
        [size = m_services.bundleSize, application, cancellation = task->source.token()](const auto&) {
            return size(application, cancellation);
        },
        {},
        [this, token, task, applications, index](std::optional<int64_t> bytes, std::exception_ptr error) {
            const QString path = applications->at(index).id();
            if (bytes) {
                if (m_generation != token || task->source.isCancelled()) {
                    finishScan(token, task);
                    return;
                }
                m_sizes.insert(path, *bytes);
                emit sizesChanged();
            } else if (isCancellation(error)) {
                finishScan(token, task);
                return;
            } else if (m_generation == token && !m_sizeErrors.contains(path)) {
                m_sizeErrors.insert(path);
                emit sizeErrorsChanged();
            }
            sizeNext(token, task, applications, index + 1);
        });
}

void ApplicationLibraryModel::finishScan(const QUuid& token, const std::shared_ptr<Task>& task) {
    if (m_generation != token)
        return;
    if (m_scanTask == task)
        m_scanTask.reset();
    publish(m_scanning, false, &ApplicationLibraryModel::scanningChanged);
    publish(m_sizing, false, &ApplicationLibraryModel::sizingChanged);
}

void ApplicationLibraryModel::stopScanning() {
    m_generation = QUuid::createUuid();
    if (m_scanTask) {
        m_scanTask->source.cancel();
        m_scanTask.reset();
    }
    publish(m_scanning, false, &ApplicationLibraryModel::scanningChanged);
    publish(m_sizing, false, &ApplicationLibraryModel::sizingChanged);
}

void ApplicationLibraryModel::leave() {
    stopScanning();
    cancelAI();
    cancelRemovalCheck(false);
    m_quitID = QUuid::createUuid();
    m_quitTask.reset();
    publish(m_quittingApplicationID, std::nullopt, &ApplicationLibraryModel::quittingApplicationIDChanged);
}

ApplicationManagementGuidance
ApplicationLibraryModel::guidance(const InstalledApplication& application) const {
    const QString path = application.id();
    if (m_removalFeedback && m_removalFeedbackID == path)
        return *m_removalFeedback;
    if (!application.restriction() && m_runningIDs.contains(path))
        return stillRunning(application,
                            QStringLiteral("先保存工作，再请求正常退出并重新检查。应用可能会弹出保存提示。"));
    return application.management();
}

ApplicationManagementGuidance ApplicationLibraryModel::stillRunning(const InstalledApplication& application,
                                                                    const QString& nextStep) const {
    const auto process = m_quitByHand.constFind(application.id());
    return requiresQuit(QStringLiteral("此应用仍在运行。"),
                        process == m_quitByHand.cend()
                            ? nextStep
                            : QStringLiteral("请先保存工作并退出") + process->inSentence() +
                                  QStringLiteral("，再重新检查；岚栖无法向它发送退出请求。"));
}

void ApplicationLibraryModel::refreshRunning(std::function<void()> then) {
    // A screenshot shows what its scenario runs.
    if (m_preview) {
        if (then)
            then();
        return;
    }
    // A look on its way began before this request: one more follows it.
    if (m_lookTask) {
        m_lookAgain = true;
        if (then)
            m_nextLookWaiters.append(std::move(then));
        return;
    }
    if (then)
        m_lookWaiters.append(std::move(then));
    startLook();
}

void ApplicationLibraryModel::startLook() {
    auto task = std::make_shared<Task>();
    m_lookTask = task;
    BackgroundWork<QList<ApplicationRunningTarget>>::start(
        m_delivery, *m_services.looks,
        [look = m_services.runningApplications, cancellation = task->source.token()](const auto&) {
            return look(cancellation);
        },
        {},
        [this, task](std::optional<QList<ApplicationRunningTarget>> targets, std::exception_ptr) {
            if (m_lookTask != task)
                return;
            m_lookTask.reset();
            // A look that failed leaves the last one standing.
            if (targets)
                applyLook(*targets);
            const QList<std::function<void()>> waiters = std::exchange(m_lookWaiters, {});
            if (m_lookAgain) {
                m_lookAgain = false;
                m_lookWaiters = std::exchange(m_nextLookWaiters, {});
                startLook();
            }
            for (const std::function<void()>& waiter : waiters)
                waiter();
        });
}

void ApplicationLibraryModel::applyLook(const QList<ApplicationRunningTarget>& targets) {
    m_runningTargets = targets;
    QSet<QString> locations;
    QSet<QString> identifiers;
    QSet<QString> askable; // locations a quit request reaches
    QHash<QString, NamedProcess> byHand;
    for (const ApplicationRunningTarget& target : targets) {
        if (target.bundleURL) {
            const QString location = standardizedPath(*target.bundleURL);
            locations.insert(location);
            if (target.requestQuit)
                askable.insert(location);
            else if (target.quitByHand && !byHand.contains(location))
                byHand.insert(location, *target.quitByHand);
        } else if (target.bundleID) {
            identifiers.insert(*target.bundleID);
        }
    }
    QSet<QString> running;
    QHash<QString, NamedProcess> quitByHand;
    if (!locations.isEmpty() || !identifiers.isEmpty()) {
        for (const InstalledApplication& application : std::as_const(m_applications)) {
            const QString location = standardizedPath(application.url());
            if (locations.contains(location) ||
                (!application.bundleID().isEmpty() && identifiers.contains(application.bundleID())))
                running.insert(application.id());
            if (const auto process = byHand.constFind(location);
                process != byHand.cend() && !askable.contains(location))
                quitByHand.insert(application.id(), *process);
        }
    }
    publish(m_runningIDs, std::move(running), &ApplicationLibraryModel::runningIDsChanged);
    publish(m_quitByHand, std::move(quitByHand), &ApplicationLibraryModel::quitByHandChanged);
}

// --- Quitting ---

bool ApplicationLibraryModel::canRequestQuit(const InstalledApplication& application) const {
    if (application.restriction())
        return false;
    // A screenshot offers it for what its scenario runs.
    if (m_preview)
        return m_runningIDs.contains(application.id());
    const QString location = standardizedPath(application.url());
    return std::any_of(m_runningTargets.cbegin(), m_runningTargets.cend(),
                       [&location](const ApplicationRunningTarget& target) {
                           return target.bundleURL && target.requestQuit &&
                                  standardizedPath(*target.bundleURL) == location;
                       });
}

void ApplicationLibraryModel::requestQuitAndRecheck(const InstalledApplication& application) {
    if (application.restriction() || m_checkingRemoval || m_removing || m_quittingApplicationID)
        return;
    // Asked of what the last look found, as the page offered it; the wait then looks afresh. What cannot
    // be asked is left to the check, which says what the user must quit.
    const QString location = standardizedPath(application.url());
    QList<ApplicationRunningTarget> targets = m_runningTargets;
    targets.removeIf([&location](const ApplicationRunningTarget& target) {
        return !target.bundleURL || !target.requestQuit || standardizedPath(*target.bundleURL) != location;
    });
    if (targets.isEmpty()) {
        prepareRemoval(application);
        return;
    }
    stopScanning();
    publish(m_message, std::nullopt, &ApplicationLibraryModel::messageChanged);
    setRemovalPlan(std::nullopt);

    bool accepted = true;
    for (const ApplicationRunningTarget& target : std::as_const(targets)) {
        if (!target.requestQuit())
            accepted = false;
    }
    if (!accepted) {
        setRemovalGuidance(requiresQuit(QStringLiteral("应用未接受正常退出请求。"),
                                        QStringLiteral("请打开原应用，完成保存或手动退出，再重新检查。")),
                           application);
        return;
    }

    const QUuid token = QUuid::createUuid();
    m_quitID = token;
    publish(m_quittingApplicationID, std::optional(application.id()),
            &ApplicationLibraryModel::quittingApplicationIDChanged);
    m_quitTask = QuitWait{token, uptime()};
    QTimer::singleShot(0, this, [this, token, application] { pollQuit(token, application); });
}

void ApplicationLibraryModel::pollQuit(const QUuid& token, const InstalledApplication& application) {
    if (m_quitID != token || !m_quitTask || m_quitTask->token != token) {
        endQuitWait(token);
        return;
    }
    refreshRunning([this, token, application] {
        if (m_quitID != token || !m_quitTask || m_quitTask->token != token) {
            endQuitWait(token);
            return;
        }
        const QString path = application.id();
        if (!m_runningIDs.contains(path)) {
            // The check refuses to start while a quit wait is published.
            publish(m_quittingApplicationID, std::nullopt,
                    &ApplicationLibraryModel::quittingApplicationIDChanged);
            if (m_selectedID == path)
                prepareRemoval(application);
            endQuitWait(token);
            return;
        }
        // Those that could be asked have quit; what is left, the user must quit.
        if (m_quitByHand.contains(path)) {
            setRemovalGuidance(stillRunning(application, {}), application);
            endQuitWait(token);
            return;
        }
        if (uptime() >= m_quitTask->start + quitDeadlineSeconds) {
            setRemovalGuidance(
                requiresQuit(
                    QStringLiteral("尚未确认应用退出。"),
                    QStringLiteral("请回到原应用完成保存提示；关闭登录启动或后台运行后，再重新检查。岚栖不会"
                                   "强制结束它。")),
                application);
            endQuitWait(token);
            return;
        }
        QTimer::singleShot(quitPollMilliseconds, this,
                           [this, token, application] { pollQuit(token, application); });
    });
}

void ApplicationLibraryModel::endQuitWait(const QUuid& token) {
    if (m_quitID != token)
        return;
    publish(m_quittingApplicationID, std::nullopt, &ApplicationLibraryModel::quittingApplicationIDChanged);
    m_quitTask.reset();
}

void ApplicationLibraryModel::stopWaitingForQuit() {
    m_quitID = QUuid::createUuid();
    m_quitTask.reset();
    publish(m_quittingApplicationID, std::nullopt, &ApplicationLibraryModel::quittingApplicationIDChanged);
    publish(m_message,
            std::optional(QStringLiteral("已停止等待退出。已经发出的正常退出请求不能撤回；没有移除应用。")),
            &ApplicationLibraryModel::messageChanged);
}

// --- Failures shown on an application's row ---

void ApplicationLibraryModel::setRemovalFailure(const std::exception_ptr& error,
                                                const InstalledApplication& application) {
    const ApplicationFailure failure = describeFailure(error);
    publish(m_removalFeedback,
            std::optional(failure.guidance.value_or(ApplicationManagementGuidance{
                ApplicationManagementGuidance::Kind::unverified, failure.sentence,
                QStringLiteral("请核对应用与操作清单后重新检查；也可以在文件管理器中查看原位置。"),
                std::nullopt})),
            &ApplicationLibraryModel::removalFeedbackChanged);
    publish(m_removalFeedbackID, std::optional(application.id()),
            &ApplicationLibraryModel::removalFeedbackIDChanged);
    publish(
        m_message,
        std::optional(SafeText::isolated(application.shownName()) + QStringLiteral("：") + failure.sentence),
        &ApplicationLibraryModel::messageChanged);
}

void ApplicationLibraryModel::setRemovalGuidance(const ApplicationManagementGuidance& guidance,
                                                 const InstalledApplication& application) {
    setRemovalFailure(std::make_exception_ptr(ApplicationManagementError::guidance(guidance)), application);
}

} // namespace lunorvale
