// What the user does with one process: show, mute, stop, ask the AI service, inspect; and the
// reminders that lead back to a process.
#include "app/model/AppModel.h"

#include "app/model/ProcessInspection.h"
#include "app/ports/UserNotificationCenter.h"
#include "core/ai/DiagnosticSummary.h"
#include "core/ai/KeychainStore.h"
#include "core/common/SafeText.h"
#include "core/monitoring/DisplayFormat.h"
#include "core/monitoring/MonitorError.h"
#include "core/monitoring/MutedProcess.h"
#include "core/monitoring/SourceResolver.h"

#include <QPointer>
#include <QTimer>

namespace lunorvale {
namespace {

const QString changedTaskSentence = QStringLiteral("任务已退出或发生变化，请刷新后重新确认。");
const QString unavailableReminderSentence =
    QStringLiteral("这条提醒的任务信息已不可用。可在全部进程中查看当前状态。");

QString label(const ProcessSample& sample) {
    return SafeText::isolated(sample.name) + QStringLiteral("（PID ") + QString::number(sample.identity.pid) +
           u'）';
}

// "pid:start", pieces split at ":" with empty ones dropped.
std::optional<ProcessIdentity> identityFromKey(const std::optional<QString>& key) {
    if (!key)
        return std::nullopt;
    const QStringList pieces = key->split(u':', Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return std::nullopt;
    bool pidRead = false;
    bool startRead = false;
    const int pid = pieces[0].toInt(&pidRead);
    const qulonglong start = pieces[1].toULongLong(&startRead);
    const auto digitsOnly = [](const QString& piece) {
        return std::all_of(piece.cbegin(), piece.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (!pidRead || !startRead || pid < 1 || !digitsOnly(pieces[0]) || !digitsOnly(pieces[1]))
        return std::nullopt;
    return ProcessIdentity{pid, start};
}

} // namespace

QString AppModel::actionDetail(const ProcessSample& sample, const QString& suffix) const {
    return SourceResolver::taskType(sample.command) + QStringLiteral(" · PID ") +
           QString::number(sample.identity.pid) + suffix;
}

// --- Reminders ---

void AppModel::notify(const Finding& finding) {
    if (!m_isMonitoring || !m_settings.notificationsEnabled || m_suspended ||
        m_stoppingIDs.contains(finding.sample.identity) || !m_services.notifications)
        return;
    const std::optional<NotificationDeliveryState::Request> request =
        m_notificationDelivery.begin(finding.sample, sinceBoot());
    if (!request)
        return;
    if (request->replacingIdentifier)
        withdraw({*request->replacingIdentifier});

    UserNotification notification;
    notification.identifier = request->identifier;
    notification.title = QStringLiteral("岚栖：持续高占用，请查看进度");
    notification.body = SafeText::isolated(finding.sample.displaySource()) +
                        QStringLiteral(" 已持续高占用 ") + DisplayFormat::duration(finding.sustainedSeconds) +
                        QStringLiteral("。点此查看当前状态；若任务仍有进展，可以继续等待。");
    notification.userInfo = {{QStringLiteral("processIdentity"), finding.sample.identity.key()},
                             {QStringLiteral("observation"), request->identifier}};
    const QPointer<AppModel> self(this);
    const auto answered = [self, request = *request](const std::optional<QString>& error) {
        if (!self)
            return;
        const bool expected = self->m_notificationDelivery.complete(request, !error, self->sinceBoot());
        if (!expected || error)
            self->withdraw({request.identifier});
        if (expected && error)
            self->setStatusMessage(QStringLiteral("系统通知发送失败，将稍后重试：") + *error);
    };
    m_services.notifications->add(notification, answered);
}

void AppModel::withdraw(const QStringList& identifiers) {
    if (identifiers.isEmpty() || !m_services.notifications)
        return;
    m_services.notifications->remove(identifiers);
}

void AppModel::clearDeliveredProcessNotifications() {
    withdraw(m_notificationDelivery.reset());
}

void AppModel::openNotification(const std::optional<QString>& processKey) {
    const std::optional<ProcessIdentity> identity = identityFromKey(processKey);
    if (identity) {
        setSelectedID(identity);
        publish(m_openedNotificationID, identity, &AppModel::openedNotificationIDChanged);
    } else {
        setOperationMessage(unavailableReminderSentence);
        setSelectedID(std::nullopt);
        publish(m_openedNotificationID, std::nullopt, &AppModel::openedNotificationIDChanged);
    }
    publish(m_navigationRequest, QUuid::createUuid(), &AppModel::navigationRequestChanged);
}

// --- Process actions ---

void AppModel::showProcess(const ProcessIdentity& identity) {
    publish(m_openedNotificationID, std::nullopt, &AppModel::openedNotificationIDChanged);
    setSelectedID(identity);
    publish(m_navigationRequest, QUuid::createUuid(), &AppModel::navigationRequestChanged);
}

bool AppModel::isIgnored(const ProcessSample& sample) const {
    const auto it = m_ignoredUntil.constFind(sample.identity);
    return it != m_ignoredUntil.cend() && *it > now();
}

void AppModel::ignore(ProcessSample sample) {
    const ProcessIdentity& identity = sample.identity;
    if (std::none_of(m_sample.processes.cbegin(), m_sample.processes.cend(),
                     [&](const ProcessSample& listed) { return listed.identity == identity; }))
        return;
    if (m_selectedID == identity)
        clearAnalysis();
    m_ignoredUntil.insert(identity, now().addSecs(MutedProcess::durationSeconds));
    QList<Finding> findings = m_sample.findings;
    findings.removeIf([&](const Finding& finding) { return finding.sample.identity == identity; });
    setFindings(std::move(findings));
    withdraw(m_notificationDelivery.cancel(identity));
    refreshAutomaticAdvice(m_sample.findings);
    persistMutedProcesses();
    record(QStringLiteral("暂时忽略"), actionDetail(sample, QStringLiteral(" · 本次进程 1 小时内不提醒")),
           QStringLiteral("muted"));
}

void AppModel::unignore(ProcessSample sample) {
    m_ignoredUntil.remove(sample.identity);
    persistMutedProcesses();
    setStatusMessage(QStringLiteral("已恢复该进程的提醒。"));
    record(QStringLiteral("已恢复提醒"), actionDetail(sample), QStringLiteral("muted"));
}

bool AppModel::canStop(const ProcessSample& sample) const {
    return m_controller->canStop(sample);
}

void AppModel::stop(ProcessSample sample, bool force) {
    if (m_stoppingIDs.contains(sample.identity))
        return;
    const auto listed =
        std::find_if(m_sample.processes.cbegin(), m_sample.processes.cend(),
                     [&](const ProcessSample& process) { return process.identity == sample.identity; });
    if (listed == m_sample.processes.cend() || listed->executable != sample.executable ||
        listed->command != sample.command) {
        setStatusAndOperation(changedTaskSentence);
        return;
    }

    QSet<ProcessIdentity> stopping = m_stoppingIDs;
    stopping.insert(sample.identity);
    publish(m_stoppingIDs, std::move(stopping), &AppModel::stoppingIDsChanged);
    try {
        m_controller->stop(sample, force);
    } catch (const MonitorError& error) {
        QSet<ProcessIdentity> remaining = m_stoppingIDs;
        remaining.remove(sample.identity);
        publish(m_stoppingIDs, std::move(remaining), &AppModel::stoppingIDsChanged);
        setStatusAndOperation(QStringLiteral("未能停止 ") + label(sample) + u'：' + error.errorDescription());
        record(QStringLiteral("未能停止"),
               actionDetail(sample, QStringLiteral(" · 停止请求未成功，请刷新后核对")),
               QStringLiteral("action"));
        return;
    }

    QList<Finding> others = m_sample.findings;
    others.removeIf([&](const Finding& finding) { return finding.sample.identity == sample.identity; });
    refreshAutomaticAdvice(others);
    withdraw(m_notificationDelivery.cancel(sample.identity));
    if (m_selectedID == sample.identity)
        clearAnalysis();
    record(force ? QStringLiteral("已发送强制停止") : QStringLiteral("已请求停止"), actionDetail(sample),
           QStringLiteral("action"));
    setStatusAndOperation(QStringLiteral("已向 ") + label(sample) + QStringLiteral("发送") +
                          (force ? QStringLiteral("强制停止") : QStringLiteral("退出")) +
                          QStringLiteral("请求，正在复查…"));
    QTimer::singleShot(m_services.stopRecheckDelay, this, [this, sample] { recheckStop(sample); });
}

void AppModel::recheckStop(const ProcessSample& sample) {
    const ProcessIdentity& identity = sample.identity;
    switch (m_controller->liveness(identity)) {
    case ProcessLiveness::running:
        setOperationMessage(label(sample) + QStringLiteral("仍在运行。可继续等待，或在详情中选择强制停止。"));
        record(QStringLiteral("停止后仍在运行"), actionDetail(sample, QStringLiteral(" · 尚未退出")),
               QStringLiteral("action"));
        break;
    case ProcessLiveness::exited: {
        const SampleChange change(*this);
        setOperationMessage(QStringLiteral("已确认 ") + label(sample) + QStringLiteral("退出。"));
        QList<ProcessSample> processes = m_sample.processes;
        processes.removeIf([&](const ProcessSample& process) { return process.identity == identity; });
        setProcesses(std::move(processes));
        QList<Finding> findings = m_sample.findings;
        findings.removeIf([&](const Finding& finding) { return finding.sample.identity == identity; });
        setFindings(std::move(findings));
        m_ignoredUntil.remove(identity);
        persistMutedProcesses();
        if (m_selectedID == identity)
            setSelectedID(std::nullopt);
        record(QStringLiteral("已确认退出"), actionDetail(sample), QStringLiteral("action"));
        break;
    }
    case ProcessLiveness::unverifiable:
        setOperationMessage(QStringLiteral("暂时无法确认 ") + label(sample) +
                            QStringLiteral("是否退出。请重新采样，或在系统监视器中核对。"));
        record(QStringLiteral("暂时无法确认退出"),
               actionDetail(sample, QStringLiteral(" · 进程信息暂不可读取")), QStringLiteral("action"));
        break;
    }
    setStatusMessage(m_operationMessage.value_or(QString()));
    sampleNow();
    QSet<ProcessIdentity> remaining = m_stoppingIDs;
    remaining.remove(identity);
    publish(m_stoppingIDs, std::move(remaining), &AppModel::stoppingIDsChanged);
}

LocalProcessAdvice AppModel::localAdvice(const std::optional<ProcessSample>& sample) const {
    std::optional<Finding> finding;
    if (sample) {
        for (const Finding& candidate : m_sample.findings) {
            if (candidate.sample.identity == sample->identity) {
                finding = candidate;
                break;
            }
        }
    }
    const std::optional<ProcessIdentity> identity = sample ? std::optional(sample->identity) : std::nullopt;
    const LocalProcessAdvice::Context context{.wasNotified = m_openedNotificationID == identity,
                                              .isMonitoring = m_isMonitoring,
                                              .collectionFailed = m_sample.collectionError.has_value(),
                                              .isIgnored = sample && isIgnored(*sample)};
    return LocalProcessAdvice::make(sample, finding, context, m_settings);
}

// --- Manual AI analysis ---

void AppModel::analyze(ProcessSample sample, const std::optional<QString>& approvedSummary,
                       const std::optional<AIConfiguration>& configuration) {
    if (m_aiBusy)
        return;
    const LocalProcessAdvice::State state = localAdvice(sample).state;
    if (state != LocalProcessAdvice::State::sustainedHigh &&
        state != LocalProcessAdvice::State::transientHigh)
        return;
    const ProcessSample* selected = nullptr;
    if (m_selectedID) {
        for (const ProcessSample& process : m_sample.processes) {
            if (process.identity == *m_selectedID) {
                selected = &process;
                break;
            }
        }
    }
    if (!selected || selected->identity != sample.identity || selected->executable != sample.executable ||
        selected->command != sample.command) {
        publish(m_aiError, std::optional(QStringLiteral("所选任务已变化，请重新选择进程并预览摘要。")),
                &AppModel::aiErrorChanged);
        return;
    }

    m_aiTask.cancel();
    publish(m_aiBusy, true, &AppModel::aiBusyChanged);
    publish(m_aiError, std::nullopt, &AppModel::aiErrorChanged);
    publish(m_aiDecision, std::nullopt, &AppModel::aiDecisionChanged);
    const AIConfiguration service = configuration.value_or(m_aiConfiguration);
    QString summary;
    if (approvedSummary) {
        summary = *approvedSummary;
    } else {
        std::optional<Finding> finding;
        for (const Finding& candidate : m_sample.findings) {
            if (candidate.sample.identity == sample.identity) {
                finding = candidate;
                break;
            }
        }
        summary = DiagnosticSummary::make(sample, finding);
    }
    const QUuid request = QUuid::createUuid();
    m_aiRequestID = request;
    const std::optional<ProcessIdentity> selection = m_selectedID;

    // Applies an outcome only while it still belongs to the current request and selection; the busy
    // flag is the request's own as long as no newer request or clear replaced it.
    const QPointer<AppModel> self(this);
    const auto apply = [self, request, selection](const std::optional<ProcessDecisionAdvice>& decision,
                                                  const std::optional<QString>& error) {
        if (!self || self->m_aiRequestID != request)
            return;
        if (self->m_selectedID == selection) {
            if (decision)
                self->publish(self->m_aiDecision, decision, &AppModel::aiDecisionChanged);
            else
                self->publish(self->m_aiError, error, &AppModel::aiErrorChanged);
        }
        self->m_aiTask = AIRequestHandle();
        self->publish(self->m_aiBusy, false, &AppModel::aiBusyChanged);
    };

    std::optional<QString> key;
    try {
        key = requestKey(m_services.keychain.get(), service);
    } catch (const AIServiceError& error) {
        apply(std::nullopt, error.errorDescription());
        return;
    }
    m_aiTask = m_services.analyze(
        summary, service, key.value_or(QString()), AIAnalysisPurpose::processDecision,
        [apply](const AIAnalysisOutcome& outcome) {
            if (outcome.cancelled)
                return;
            if (outcome.error) {
                apply(std::nullopt, outcome.error->errorDescription());
                return;
            }
            try {
                apply(ProcessDecisionAdvice::parse(outcome.text.value_or(QString())), std::nullopt);
            } catch (const AIServiceError& error) {
                apply(std::nullopt, error.errorDescription());
            }
        });
}

void AppModel::analyzeAutomatically(const QString& summary, const AIConfiguration& configuration,
                                    AutomaticProcessAdvice::AnalysisDone done, std::stop_token stop) {
    // Never asks the user: a key that needs unlocking ends this request with its sentence.
    const std::optional<QString> key = requestKey(m_services.keychain.get(), configuration);

    // The stop request reaches the exchange through the handle, which exists only once the request
    // has started; both live until the answer has been handed over.
    struct Running {
        AIRequestHandle handle;
        std::optional<std::stop_callback<std::function<void()>>> onStop;
    };
    auto running = std::make_shared<Running>();
    running->handle = m_services.analyze(
        summary, configuration, key.value_or(QString()), AIAnalysisPurpose::processDecision,
        [running, done = std::move(done)](const AIAnalysisOutcome& outcome) {
            if (outcome.cancelled)
                return;
            if (outcome.error) {
                done(outcome.error->errorDescription());
                return;
            }
            try {
                done(ProcessDecisionAdvice::parse(outcome.text.value_or(QString())));
            } catch (const AIServiceError& error) {
                done(error.errorDescription());
            }
        });
    Running* raw = running.get();
    running->onStop.emplace(std::move(stop), std::function<void()>([raw] { raw->handle.cancel(); }));
}

// --- Process inspection ---

std::optional<InspectionApplication> AppModel::inspectionApplication(const ProcessSample& sample) const {
    if (!m_services.desktopApplications)
        return std::nullopt;
    const QList<RunningApplication> applications = m_services.desktopApplications->runningApplications();
    QSet<int32_t> pids;
    for (const RunningApplication& application : applications)
        pids.insert(application.pid);
    const std::optional<ProcessIdentity> owner =
        ProcessInspection::applicationProcess(sample, m_sample.processes, pids);
    if (!owner)
        return std::nullopt;
    for (const RunningApplication& application : applications) {
        if (application.pid == owner->pid)
            return InspectionApplication{*owner, application};
    }
    return std::nullopt;
}

void AppModel::inspectProcess(const ProcessSample& sample) {
    const std::optional<ProcessSample> current =
        ProcessInspection::matchingSample(sample, m_sample.processes);
    const QString goneSentence = QStringLiteral("任务已退出或发生变化，请刷新后重新选择。");
    if (!current) {
        setStatusAndOperation(goneSentence);
        sampleNow();
        return;
    }
    switch (m_controller->liveness(current->identity)) {
    case ProcessLiveness::exited:
        setStatusAndOperation(goneSentence);
        sampleNow();
        return;
    case ProcessLiveness::unverifiable:
        setStatusAndOperation(QStringLiteral("暂时无法确认任务状态，请刷新后重试。"));
        sampleNow();
        return;
    case ProcessLiveness::running:
        break;
    }

    if (const auto owner = inspectionApplication(*current);
        owner && m_controller->liveness(owner->identity) == ProcessLiveness::running &&
        m_services.desktopApplications->activate(owner->application)) {
        const QString name = owner->application.name.isEmpty() ? QStringLiteral("所属应用")
                                                               : SafeText::isolated(owner->application.name);
        setStatusAndOperation(QStringLiteral("已打开") + name +
                              QStringLiteral("。请查看任务进度；有进展就继续等待。"));
        return;
    }

    const QString guide = QStringLiteral("请在系统监视器中查找进程“") + SafeText::isolated(current->name) +
                          QStringLiteral("”，核对 PID ") + QString::number(current->identity.pid) +
                          QStringLiteral("。");
    const QString unopened = QStringLiteral("未能打开系统监视器。请从应用菜单打开。");
    const std::optional<QString> monitor =
        m_services.desktopApplications ? m_services.desktopApplications->systemMonitor() : std::nullopt;
    if (!monitor) {
        setStatusAndOperation(unopened + guide);
        return;
    }
    setStatusAndOperation(guide);
    if (!m_services.desktopApplications->openSystemMonitor(*monitor))
        setStatusAndOperation(unopened + guide);
}

} // namespace lunorvale
