// Fixed, fictional sample data for the preview pages. Nothing here runs outside preview mode.
#include "app/model/AppModel.h"

#include "app/model/SamplingService.h"
#include "core/ai/AIServicePreset.h"
#include "core/monitoring/MutedProcess.h"

#include <algorithm>
#include <cmath>

namespace lunorvale {
namespace {

constexpr uint64_t gibibyte = 1024ull * 1024 * 1024;
constexpr uint64_t mebibyte = 1024ull * 1024;

const QString shortReason = QStringLiteral(
    "后台任务可能仍在处理工作。先查看所属应用的进度；若持续没有变化且任务已不需要，再考虑正常退出。");
const QString longReason = QStringLiteral("当前只能确认资源占用偏高，还没有检查任务进度或日志。先回到所属应用"
                                          "查看是否正在导出、同步或处理文件；如果进度仍在变化，"
                                          "就继续等待。只有确认任务长期没有进展、工作已经保存且不再需要它时，"
                                          "才考虑正常退出。暂时不要使用强制结束，以免中断未保存的工作。");

ProcessSample sampleProcess(int32_t pid, uint64_t startTime, const QString& name, const QString& executable,
                            const QString& command, int32_t parent, uint32_t uid, double cpu,
                            uint64_t resident, double elapsed, double cpuTotal, const QString& source) {
    ProcessSample sample;
    sample.identity = {pid, startTime};
    sample.name = name;
    sample.executable = executable;
    sample.command = command;
    sample.parentPID = parent;
    sample.uid = uid;
    sample.cpuPercent = cpu;
    sample.residentBytes = resident;
    sample.elapsedSeconds = elapsed;
    sample.cpuTotalSeconds = cpuTotal;
    sample.source = source;
    return sample;
}

QList<ProcessSample> previewProcesses(uint32_t user) {
    return {
        sampleProcess(7421, 1, QStringLiteral("task-worker"),
                      QStringLiteral("/Applications/Example Utility.app/Contents/Helpers/task-worker"),
                      QStringLiteral("task-worker --mode background"), 7310, user, 98.6, 187000000, 162000,
                      104400, QStringLiteral("示例应用 · 后台任务")),
        sampleProcess(3842, 2, QStringLiteral("document-worker"), {}, {}, 0, 0, 4.2, 412000000, 7200, 0,
                      QStringLiteral("示例应用 · 文稿处理")),
        sampleProcess(3910, 3, QStringLiteral("sync-helper"), {}, {}, 0, 0, 0.8, 94000000, 3600, 0,
                      QStringLiteral("示例应用 · 文件同步")),
        sampleProcess(444, 4, QStringLiteral("Lunorvale"), {}, {}, 0, 0, 0.3, 68157440, 5400, 0,
                      QStringLiteral("岚栖")),
    };
}

ProcessSample resourceProcess(int k, uint32_t user) {
    return sampleProcess(
        8100 + k, static_cast<uint64_t>(20 + k),
        k == 0 ? QStringLiteral("Orbit Browser") : QStringLiteral("Orbit Helper ") + QString::number(k),
        QStringLiteral("/Applications/Orbit Browser.app/Contents/MacOS/helper-") + QString::number(k),
        QStringLiteral("example-helper"), 0, user, 60.0, 440401920 + static_cast<uint64_t>(k) * 62914560,
        1800, 0, QStringLiteral("示例浏览器"));
}

ActivityEvent previewEvent(const QDateTime& now, qint64 secondsAgo, const QString& title,
                           const QString& detail, const QString& category) {
    return ActivityEvent{QUuid::createUuid(), StoredDate::from(now.addSecs(-secondsAgo)), title, detail,
                         category};
}

} // namespace

void AppModel::loadPreview() {
    const QDateTime current = now();
    const QList<ProcessSample> processes = previewProcesses(m_services.processPlatform->currentUser());
    setProcesses(processes);
    setFindings({Finding{processes.first(), 780, QStringLiteral("后台任务持续高占用"),
                         QStringLiteral("最近 13 分钟的采样区间均值持续超过 90%。该任务已运行约 45 "
                                        "小时，建议核对任务是否仍在推进。仅凭 CPU 数据无法确认卡死。")}});
    setSelectedID(processes.first().identity);
    setSample(&SampleState::systemCPU, std::optional(22.1));
    setSample(&SampleState::lastUpdate, std::optional(current));
    setStatusMessage(QStringLiteral("界面预览 · 演示数据 · 不会操作真实进程"));
    setHistory(
        QList<ActivityEvent>{
            previewEvent(current, 120, QStringLiteral("发现持续高占用"),
                         QStringLiteral("后台任务 · PID 7421 · 已观察 13 分钟"), QStringLiteral("finding")),
            previewEvent(current, 1800, QStringLiteral("已确认退出"),
                         QStringLiteral("图像处理任务 · PID 5830"), QStringLiteral("action")),
            previewEvent(current, 1802, QStringLiteral("已请求停止"),
                         QStringLiteral("图像处理任务 · PID 5830"), QStringLiteral("action")),
            previewEvent(current, 3600, QStringLiteral("暂时忽略"),
                         QStringLiteral("文件同步任务 · PID 6154 · 本次进程 1 小时内不提醒"),
                         QStringLiteral("muted")),
            previewEvent(current, 5400, QStringLiteral("已恢复观察"), QStringLiteral("重新建立采样基线"),
                         QStringLiteral("monitoring")),
        },
        current);
    setSavedHistoryCount(m_storedHistory.size());
}

void AppModel::configurePreview(const QString& page) {
    if (!m_preview)
        return;
    const SampleChange change(*this);
    clearAnalysis();
    loadPreview();

    publish(m_isMonitoring, true, &AppModel::isMonitoringChanged);
    publish(m_isSampling, false, &AppModel::isSamplingChanged);
    setSample(&SampleState::collectionError, std::nullopt);
    publish(m_hasCompletedOnboarding, true, &AppModel::hasCompletedOnboardingChanged);
    publish(m_notificationStatus, QStringLiteral("系统已允许"), &AppModel::notificationStatusChanged);
    publish(m_loginState, LoginItemStatus::notRegistered, &AppModel::loginStatusChanged);
    publish(m_historyStorageError, std::nullopt, &AppModel::historyStorageErrorChanged);
    setOperationMessage(std::nullopt);
    publish(m_stoppingIDs, QSet<ProcessIdentity>(), &AppModel::stoppingIDsChanged);
    m_ignoredUntil.clear();
    publish(m_openedNotificationID, std::nullopt, &AppModel::openedNotificationIDChanged);

    const auto noProcesses = [this] {
        setProcesses({});
        setFindings({});
        setSelectedID(std::nullopt);
    };
    if (page == u"empty" || page == u"healthy") {
        setFindings({});
        setSelectedID(std::nullopt);
        setStatusMessage(QStringLiteral("当前没有持续异常，岚栖正在后台观察。"));
    } else if (page == u"paused" || page == u"menu-paused") {
        publish(m_isMonitoring, false, &AppModel::isMonitoringChanged);
        setFindings({});
        setStatusMessage(QStringLiteral("观察已暂停，点击恢复后继续。"));
    } else if (page == u"error" || page == u"collection-error") {
        setSample(&SampleState::collectionError,
                  std::optional(QStringLiteral("暂时无法读取进程，请稍后重试。")));
        noProcesses();
        setSample(&SampleState::systemCPU, std::nullopt);
    } else if (page == u"loading" || page == u"sampling") {
        noProcesses();
        setSample(&SampleState::systemCPU, std::nullopt);
        setSample(&SampleState::lastUpdate, std::nullopt);
        publish(m_isSampling, true, &AppModel::isSamplingChanged);
    } else if (page == u"history-empty") {
        setHistory({}, now());
        setSavedHistoryCount(0);
    } else if (page == u"history-error") {
        publish(m_historyStorageError,
                std::optional(QStringLiteral("无法读写本地历史记录，请检查磁盘空间及文件访问权限。")),
                &AppModel::historyStorageErrorChanged);
    } else if (page == u"notification-recovered") {
        setFindings({});
        publish(m_openedNotificationID, m_selectedID, &AppModel::openedNotificationIDChanged);
        if (!m_sample.processes.isEmpty()) {
            QList<ProcessSample> processes = m_sample.processes;
            processes.first().cpuPercent = 4.2;
            setProcesses(std::move(processes));
        }
    } else if (page == u"notification-missing") {
        publish(m_openedNotificationID, m_selectedID, &AppModel::openedNotificationIDChanged);
        setProcesses({});
        setFindings({});
    } else if (page == u"ai-loading") {
        publish(m_aiBusy, true, &AppModel::aiBusyChanged);
    } else if (page == u"ai-error") {
        publish(m_aiError, std::optional(QStringLiteral("无法连接 AI 服务，请检查服务地址和网络后重试。")),
                &AppModel::aiErrorChanged);
    } else if (page == u"ai-result") {
        publish(m_aiDecision,
                std::optional(ProcessDecisionAdvice{
                    ProcessDecisionAdvice::Decision::checkProgress,
                    QStringLiteral("先查看所属应用的任务进度。有进展就继续等待；不再需要时，再正常退出。")}),
                &AppModel::aiDecisionChanged);
    } else if (page == u"process-protected") {
        // The first listed process this program may not stop (in the sample data, the one of
        // another user with no readable executable).
        const auto protectedProcess =
            std::find_if(m_sample.processes.cbegin(), m_sample.processes.cend(),
                         [this](const ProcessSample& sample) { return !m_controller->canStop(sample); });
        if (protectedProcess != m_sample.processes.cend())
            setSelectedID(protectedProcess->identity);
    } else if (page == u"onboarding") {
        publish(m_hasCompletedOnboarding, false, &AppModel::hasCompletedOnboardingChanged);
    } else if (page == u"stopping") {
        if (m_selectedID)
            publish(m_stoppingIDs, QSet<ProcessIdentity>{*m_selectedID}, &AppModel::stoppingIDsChanged);
        setStatusAndOperation(QStringLiteral("已发送停止请求，正在复查…"));
    } else if (page == u"ignored") {
        if (m_selectedID)
            m_ignoredUntil.insert(*m_selectedID, now().addSecs(MutedProcess::durationSeconds));
        setFindings({});
    } else if (page == u"permissions-denied") {
        publish(m_notificationStatus, QStringLiteral("系统已关闭"), &AppModel::notificationStatusChanged);
        publish(m_loginState, LoginItemStatus::requiresApproval, &AppModel::loginStatusChanged);
    }
    configureResourcePreview(page);
}

void AppModel::configureResourcePreview(const QString& page) {
    if (!m_preview)
        return;
    const SampleChange change(*this);
    editResourceHistory([](ResourceHistory& history) { return history.reset(); });
    resetResourceObservation();

    if (page == u"resources-empty" || page == u"loading" || page == u"sampling") {
        if (page == u"resources-empty") {
            setProcesses({});
            setFindings({});
            setSample(&SampleState::systemCPU, std::nullopt);
            setSample(&SampleState::lastUpdate, std::nullopt);
        }
        setSample(&SampleState::resourceGroups, QList<ApplicationResourceGroup>());
        return;
    }
    if (page == u"error" || page == u"collection-error")
        return;

    const uint32_t user = m_services.processPlatform->currentUser();
    if (page.startsWith(u"resources") && page != u"resources-unknown") {
        for (int k = 0; k < 4; ++k) {
            QList<ProcessSample> processes = m_sample.processes;
            processes.append(resourceProcess(k, user));
            setProcesses(std::move(processes));
        }
    }

    const bool pressure = page == u"resources-pressure" || page == u"menu-memory";
    const QDateTime current = now();
    for (int i = 0; i <= 20; ++i) {
        const double x = i;
        MonitorSnapshot snapshot;
        snapshot.processes = m_sample.processes;
        snapshot.systemCPU = 0.8 * x + 10 * std::sin(x / 3) + 20;
        snapshot.timestamp = current.addSecs(static_cast<qint64>(i - 20) * 30);
        snapshot.monotonicTime = 1000 + 30 * x;
        if (page != u"resources-unknown") {
            const auto step = static_cast<uint64_t>(i);
            snapshot.systemMemory = SystemMemorySnapshot{
                17179869184ull,
                (8 + step / 8) * gibibyte,
                700 * mebibyte + step * (pressure ? 65 * mebibyte : 9 * mebibyte),
                200 * mebibyte + step * (pressure ? 40 * mebibyte : 3 * mebibyte),
                pressure && i >= 11 ? SystemMemoryPressure::warning : SystemMemoryPressure::normal,
            };
        }
        QList<ApplicationResourceGroup> groups = m_previewAnalyzer->groups(snapshot.processes);
        QList<MemoryObservation> memory;
        QList<ApplicationCPUFinding> applications;
        if (m_isMonitoring) {
            memory = m_previewAnalyzer->observeMemory(snapshot, m_settings);
            applications = m_previewAnalyzer->observeApplications(groups, snapshot.monotonicTime, m_settings);
        } else {
            m_previewAnalyzer->resetResources();
        }
        updateResources(snapshot, std::move(groups), std::move(memory), std::move(applications));
        setSample(&SampleState::systemCPU, snapshot.systemCPU);
    }

    if (page == u"resources-paused") {
        publish(m_isMonitoring, false, &AppModel::isMonitoringChanged);
        QList<ProcessSample> processes = m_sample.processes;
        for (ProcessSample& process : processes)
            process.cpuPercent.reset();
        setProcesses(std::move(processes));
        resetResourceObservation();
        setSample(&SampleState::systemCPU, std::nullopt);
    }
}

void AppModel::configureAdvicePreview(const QString& page) {
    if (!m_preview)
        return;
    static const QStringList pages{QStringLiteral("advice-ready"),       QStringLiteral("advice-pending"),
                                   QStringLiteral("advice-unavailable"), QStringLiteral("advice-detail"),
                                   QStringLiteral("menu-advice"),        QStringLiteral("menu-advice-long"),
                                   QStringLiteral("settings-ai-auto")};
    if (!pages.contains(page))
        return;
    publish(m_automaticAdviceAuthorization, std::optional(m_aiConfiguration),
            &AppModel::automaticAdviceAuthorizationChanged);
    if (m_sample.findings.isEmpty())
        return;
    std::optional<ProcessDecisionAdvice> advice;
    if (page == u"menu-advice-long")
        advice = ProcessDecisionAdvice{ProcessDecisionAdvice::Decision::considerQuitting, longReason};
    else if (page != u"advice-pending" && page != u"advice-unavailable")
        advice = ProcessDecisionAdvice{ProcessDecisionAdvice::Decision::checkProgress, shortReason};
    m_automaticAdvice->setPreview(m_sample.findings.first().sample, advice, page == u"advice-pending");
}

void AppModel::configureAIStatusPreview(const QString& page) {
    if (!m_preview)
        return;
    m_previewAIKeyStatus = AIKeyStatus::missing;
    if (page == u"settings-ai-unconfigured") {
        publish(m_aiConfiguration,
                AIConfiguration{AIServicePreset(AIServicePreset::Kind::openAI).baseURL(), QString()},
                &AppModel::aiConfigurationChanged);
        publish(m_automaticAdviceAuthorization, std::nullopt, &AppModel::automaticAdviceAuthorizationChanged);
        return;
    }
    static const QStringList pages{
        QStringLiteral("settings-ai"),           QStringLiteral("settings-ai-auto"),
        QStringLiteral("settings-ai-authorize"), QStringLiteral("settings-ai-manual"),
        QStringLiteral("settings-ai-missing"),   QStringLiteral("settings-ai-saved"),
        QStringLiteral("settings-ai-aliyun"),    QStringLiteral("settings-ai-custom")};
    if (!pages.contains(page))
        return;
    if (page == u"settings-ai-authorize")
        m_previewAIKeyStatus = AIKeyStatus::authorizationRequired;
    else if (page == u"settings-ai-missing")
        m_previewAIKeyStatus = AIKeyStatus::missing;
    else if (page == u"settings-ai-saved")
        m_previewAIKeyStatus = AIKeyStatus::saved;
    else
        m_previewAIKeyStatus = AIKeyStatus::available;
    const bool preference = page != u"settings-ai-manual";
    publish(m_automaticAdvicePreference, preference, &AppModel::automaticAdvicePreferenceChanged);
    publish(m_automaticAdviceAuthorization, preference ? std::optional(m_aiConfiguration) : std::nullopt,
            &AppModel::automaticAdviceAuthorizationChanged);
}

void AppModel::setPreviewAIConfiguration(const AIConfiguration& configuration) {
    if (m_preview)
        publish(m_aiConfiguration, configuration, &AppModel::aiConfigurationChanged);
}

void AppModel::clearPreviewProcesses() {
    if (!m_preview)
        return;
    const SampleChange change(*this);
    setProcesses({});
    setFindings({});
    setSelectedID(std::nullopt);
}

} // namespace lunorvale
