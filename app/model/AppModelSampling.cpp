// The sampling cycle: asking the worker, applying its result on the interface thread, and the
// resets of observation around pause, resume, sleep and wake.
#include "app/model/AppModel.h"

#include "app/model/SamplingService.h"
#include "core/monitoring/DisplayFormat.h"
#include "core/monitoring/MutedProcess.h"
#include "core/monitoring/SourceResolver.h"

#include <QSet>
#include <cmath>

namespace lunorvale {
namespace {

QList<ProcessSample> withoutCPU(QList<ProcessSample> processes) {
    for (ProcessSample& sample : processes)
        sample.cpuPercent.reset();
    return processes;
}

QList<MutedProcess> mutesOf(const QHash<ProcessIdentity, QDateTime>& table) {
    QList<MutedProcess> list;
    list.reserve(table.size());
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        list.append(MutedProcess{it.key(), it.value()});
    return list;
}

QHash<ProcessIdentity, QDateTime> tableOf(const QList<MutedProcess>& mutes) {
    QHash<ProcessIdentity, QDateTime> table;
    for (const MutedProcess& mute : mutes)
        table.insert(mute.identity, mute.expiresAt);
    return table;
}

const ProcessSample* findSample(const QList<ProcessSample>& list, const ProcessIdentity& identity) {
    for (const ProcessSample& sample : list) {
        if (sample.identity == identity)
            return &sample;
    }
    return nullptr;
}

} // namespace

void AppModel::sampleNow() {
    // A screenshot's processes are its scenario's.
    if (m_isSampling || m_suspended || m_preview)
        return;
    publish(m_isSampling, true, &AppModel::isSamplingChanged);

    SampleRequest request;
    request.reset = m_needsReset;
    request.monitoring = m_isMonitoring;
    request.settings = m_settings;
    for (const MutedProcess& mute : MutedProcess::active(mutesOf(m_ignoredUntil), now(), std::nullopt))
        request.ignored.insert(mute.identity);

    const int64_t generation = m_generation;
    m_sampler->sample(std::move(request), [this, generation](SamplingService::Result result) {
        if (generation != m_generation) {
            // Taken before a reset of observation: nothing of it may show.
            publish(m_isSampling, false, &AppModel::isSamplingChanged);
            return;
        }
        if (auto* sample = std::get_if<AnalyzedSample>(&result))
            applySample(std::move(*sample));
        else
            applyFailure(std::get<QString>(result));
    });
}

void AppModel::applySample(AnalyzedSample sample) {
    const MonitorSnapshot& snapshot = sample.snapshot;
    m_needsReset = false;
    publish(m_collectionError, std::nullopt, &AppModel::collectionErrorChanged);

    // Keep the selection honest: a changed process loses its analysis, a vanished one its selection
    // too, unless the user came to it from a reminder.
    if (m_selectedID) {
        if (const ProcessSample* previous = findSample(m_processes, *m_selectedID)) {
            const ProcessSample* current = findSample(snapshot.processes, *m_selectedID);
            if (!current) {
                clearAnalysis();
                if (m_openedNotificationID != m_selectedID)
                    setSelectedID(std::nullopt);
            } else if (current->executable != previous->executable || current->command != previous->command) {
                clearAnalysis();
            }
        }
    }

    setProcesses(snapshot.processes);
    publish(m_systemCPU, snapshot.systemCPU, &AppModel::systemCPUChanged);
    publish(m_lastUpdate, std::optional(snapshot.timestamp), &AppModel::lastUpdateChanged);
    updateResources(snapshot, std::move(sample.groups), std::move(sample.memoryObservations),
                    std::move(sample.applicationCPUFindings));

    if (m_selectedID) {
        if (const ProcessSample* selected = findSample(m_processes, *m_selectedID)) {
            const double cpu = selected->cpuPercent.value_or(NAN);
            if (!std::isfinite(cpu) || cpu < m_settings.safeThreshold())
                clearAnalysis();
        }
    }

    const QDateTime current = now();
    QSet<ProcessIdentity> live;
    live.reserve(m_processes.size());
    for (const ProcessSample& process : m_processes)
        live.insert(process.identity);
    const auto mutes = tableOf(MutedProcess::active(mutesOf(m_ignoredUntil), current, live));
    if (mutes != m_ignoredUntil) {
        m_ignoredUntil = mutes;
        persistMutedProcesses();
    }
    pruneHistory();
    m_lastFindingRecorded.removeIf([&live](const auto& entry) { return !live.contains(entry.key()); });

    std::optional<ProcessIdentity> selectedFinding;
    if (m_selectedID) {
        for (const Finding& finding : m_findings) {
            if (finding.sample.identity == *m_selectedID) {
                selectedFinding = finding.sample.identity;
                break;
            }
        }
    }
    QList<Finding> findings;
    if (m_isMonitoring) {
        // A mute made while this sample was being taken still counts.
        findings.reserve(sample.findings.size());
        for (Finding& finding : sample.findings) {
            if (!m_ignoredUntil.contains(finding.sample.identity))
                findings.append(std::move(finding));
        }
    }
    setFindings(std::move(findings));
    if (selectedFinding && std::none_of(m_findings.cbegin(), m_findings.cend(), [&](const Finding& finding) {
            return finding.sample.identity == *selectedFinding;
        }))
        clearAnalysis();

    refreshAutomaticAdvice(m_findings);
    withdraw(m_notificationDelivery.reconcile(m_processes, m_findings));

    const bool measured =
        std::any_of(m_processes.cbegin(), m_processes.cend(),
                    [](const ProcessSample& process) { return process.cpuPercent.has_value(); });
    const QString count = QString::number(m_processes.size());
    if (!measured)
        setStatusMessage(QStringLiteral("已读取 ") + count +
                         QStringLiteral(" 个当前用户进程；下一次采样后显示 CPU。"));
    else if (m_isMonitoring)
        setStatusMessage(QStringLiteral("每 ") +
                         QString::number(static_cast<qint64>(std::trunc(m_settings.safeInterval()))) +
                         QStringLiteral(" 秒观察一次 · ") + count + QStringLiteral(" 个当前用户进程"));
    else
        setStatusMessage(QStringLiteral("观察已暂停 · 当前为手动采样"));

    for (const Finding& finding : std::as_const(m_findings)) {
        const ProcessIdentity& identity = finding.sample.identity;
        const auto recorded = m_lastFindingRecorded.constFind(identity);
        if (recorded == m_lastFindingRecorded.cend() ||
            recorded->msecsTo(current) >= NotificationDeliveryState::cooldownSeconds * 1000) {
            m_lastFindingRecorded.insert(identity, current);
            record(QStringLiteral("发现持续高占用"),
                   SourceResolver::taskType(finding.sample.command) + QStringLiteral(" · PID ") +
                       QString::number(identity.pid) + QStringLiteral(" · 已观察 ") +
                       DisplayFormat::duration(finding.sustainedSeconds),
                   QStringLiteral("finding"));
        }
        if (m_settings.notificationsEnabled)
            notify(finding);
    }
    publish(m_isSampling, false, &AppModel::isSamplingChanged);
}

void AppModel::applyFailure(const QString& sentence) {
    clearAnalysis();
    m_automaticAdvice->refresh({}, std::nullopt);
    clearDeliveredProcessNotifications();
    setStatusMessage(sentence);
    publish(m_collectionError, std::optional(sentence), &AppModel::collectionErrorChanged);
    m_needsReset = true;
    clearMeasurements();
    resetResourceObservation();
    publish(m_isSampling, false, &AppModel::isSamplingChanged);
}

// What a failed sample and a reset of observation both drop: findings and every CPU figure. The
// detectors on the worker start again with the next sample, which `m_needsReset` resets.
void AppModel::clearMeasurements() {
    setFindings({});
    publish(m_systemCPU, std::nullopt, &AppModel::systemCPUChanged);
    setProcesses(withoutCPU(m_processes));
}

void AppModel::updateResources(const MonitorSnapshot& snapshot, QList<ApplicationResourceGroup> groups,
                               QList<MemoryObservation> memory, QList<ApplicationCPUFinding> applications) {
    publish(m_systemMemory, snapshot.systemMemory, &AppModel::systemMemoryChanged);
    publish(m_skippedProcessCount, snapshot.skippedCount, &AppModel::skippedProcessCountChanged);
    publish(m_resourceGroups, std::move(groups), &AppModel::resourceGroupsChanged);
    m_resourceHistory.record(snapshot, m_settings.longestContinuousGap());
    if (!m_isMonitoring)
        m_resourceHistory.breakContinuity();
    emit resourceHistoryChanged();
    publish(m_memoryObservations, m_isMonitoring ? std::move(memory) : QList<MemoryObservation>(),
            &AppModel::memoryObservationsChanged);
    publish(m_applicationCPUFindings,
            m_isMonitoring ? std::move(applications) : QList<ApplicationCPUFinding>(),
            &AppModel::applicationCPUFindingsChanged);
}

void AppModel::resetResourceObservation() {
    publish(m_systemMemory, std::nullopt, &AppModel::systemMemoryChanged);
    publish(m_memoryObservations, QList<MemoryObservation>(), &AppModel::memoryObservationsChanged);
    publish(m_applicationCPUFindings, QList<ApplicationCPUFinding>(),
            &AppModel::applicationCPUFindingsChanged);
    m_resourceHistory.breakContinuity();
    emit resourceHistoryChanged();

    QList<ApplicationResourceGroup> groups;
    if (m_previewAnalyzer) {
        m_previewAnalyzer->resetResources();
        groups = m_previewAnalyzer->groups(m_processes);
    } else {
        // The processes are the grouped ones with their CPU cleared (or fewer): regrouping them
        // would ask the system about bundle paths again on this thread for the same answer.
        QHash<ProcessIdentity, const ProcessSample*> listed;
        for (const ProcessSample& process : m_processes)
            listed.insert(process.identity, &process);
        for (const ApplicationResourceGroup& group : std::as_const(m_resourceGroups)) {
            ApplicationResourceGroup kept = group;
            kept.members.clear();
            for (const ProcessSample& member : group.members) {
                if (const ProcessSample* process = listed.value(member.identity))
                    kept.members.append(*process);
            }
            if (!kept.members.isEmpty())
                groups.append(std::move(kept));
        }
    }
    publish(m_resourceGroups, std::move(groups), &AppModel::resourceGroupsChanged);
}

void AppModel::resetObservation() {
    ++m_generation;
    m_needsReset = true;
    setFindings({});
    publish(m_systemCPU, std::nullopt, &AppModel::systemCPUChanged);
    clearAnalysis();
    m_automaticAdvice->refresh({}, std::nullopt);
    clearDeliveredProcessNotifications();
    setProcesses(withoutCPU(m_processes));
    resetResourceObservation();
}

void AppModel::refreshAutomaticAdvice(const QList<Finding>& findings) {
    m_automaticAdvice->refresh(findings, automaticAdviceEnabled() && m_isMonitoring
                                             ? std::optional(m_aiConfiguration)
                                             : std::nullopt);
}

void AppModel::armTimer() {
    m_timer.stop();
    if (!m_isMonitoring || m_suspended || m_preview)
        return;
    m_timer.start(static_cast<int>(std::llround(m_settings.safeInterval() * 1000)));
}

void AppModel::toggleMonitoring() {
    publish(m_isMonitoring, !m_isMonitoring, &AppModel::isMonitoringChanged);
    store(Keys::monitoringEnabled, m_isMonitoring);
    resetObservation();
    armTimer();
    if (m_isMonitoring) {
        record(QStringLiteral("已恢复观察"), QStringLiteral("重新建立采样基线"),
               QStringLiteral("monitoring"));
        setStatusMessage(QStringLiteral("观察已恢复，正在重新建立基线。"));
        sampleNow();
    } else {
        record(QStringLiteral("已暂停观察"), QStringLiteral("自动采样和异常提醒已暂停"),
               QStringLiteral("monitoring"));
        setStatusMessage(QStringLiteral("观察已暂停。岚栖仍在系统托盘运行。"));
    }
}

void AppModel::sleepBegins() {
    m_suspended = true;
    m_timer.stop();
    resetObservation();
}

void AppModel::wakeEnds() {
    m_suspended = false;
    resetObservation();
    armTimer();
    if (m_isMonitoring)
        sampleNow();
}

void AppModel::clearAnalysis() {
    m_aiTask.cancel();
    m_aiTask = AIRequestHandle();
    m_aiRequestID = QUuid::createUuid();
    publish(m_aiDecision, std::nullopt, &AppModel::aiDecisionChanged);
    publish(m_aiError, std::nullopt, &AppModel::aiErrorChanged);
    publish(m_aiBusy, false, &AppModel::aiBusyChanged);
}

} // namespace lunorvale
