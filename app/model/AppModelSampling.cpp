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
        // A failed history write waits for no record: the space may be back hours before the next one.
        if (m_historyWriteFailed)
            persistHistory();
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
    {
        // Everything the sample changes is announced at once, before the cycle ends.
        const SampleChange change(*this);
        applySampleState(std::move(sample));
    }
    publish(m_isSampling, false, &AppModel::isSamplingChanged);
}

void AppModel::applySampleState(AnalyzedSample sample) {
    const MonitorSnapshot& snapshot = sample.snapshot;
    m_needsReset = false;
    setSample(&SampleState::collectionError, std::nullopt);

    // Keep the selection honest: a changed process loses its analysis, a vanished one its selection
    // too, unless the user came to it from a reminder.
    if (m_selectedID) {
        if (const ProcessSample* previous = findSample(m_sample.processes, *m_selectedID)) {
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
    setSample(&SampleState::systemCPU, snapshot.systemCPU);
    setSample(&SampleState::lastUpdate, std::optional(snapshot.timestamp));
    updateResources(snapshot, std::move(sample.groups), std::move(sample.memoryObservations),
                    std::move(sample.applicationCPUFindings));

    if (m_selectedID) {
        if (const ProcessSample* selected = findSample(m_sample.processes, *m_selectedID)) {
            const double cpu = selected->cpuPercent.value_or(NAN);
            if (!std::isfinite(cpu) || cpu < m_settings.safeThreshold())
                clearAnalysis();
        }
    }

    const QDateTime current = now();
    QSet<ProcessIdentity> live;
    live.reserve(m_sample.processes.size());
    for (const ProcessSample& process : m_sample.processes)
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
        for (const Finding& finding : m_sample.findings) {
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
    if (selectedFinding &&
        std::none_of(m_sample.findings.cbegin(), m_sample.findings.cend(),
                     [&](const Finding& finding) { return finding.sample.identity == *selectedFinding; }))
        clearAnalysis();

    refreshAutomaticAdvice(m_sample.findings);
    withdraw(m_notificationDelivery.reconcile(m_sample.processes, m_sample.findings));

    const bool measured =
        std::any_of(m_sample.processes.cbegin(), m_sample.processes.cend(),
                    [](const ProcessSample& process) { return process.cpuPercent.has_value(); });
    const QString count = QString::number(m_sample.processes.size());
    if (!measured)
        setStatusMessage(QStringLiteral("已读取 ") + count +
                         QStringLiteral(" 个当前用户进程；下一次采样后显示 CPU。"));
    else if (m_isMonitoring)
        setStatusMessage(QStringLiteral("每 ") +
                         QString::number(static_cast<qint64>(std::trunc(m_settings.safeInterval()))) +
                         QStringLiteral(" 秒观察一次 · ") + count + QStringLiteral(" 个当前用户进程"));
    else
        setStatusMessage(QStringLiteral("观察已暂停 · 当前为手动采样"));

    const double spacingNow = sinceBoot();
    for (const Finding& finding : std::as_const(m_sample.findings)) {
        const ProcessIdentity& identity = finding.sample.identity;
        const auto recorded = m_lastFindingRecorded.constFind(identity);
        if (recorded == m_lastFindingRecorded.cend() ||
            spacingNow - *recorded >= NotificationDeliveryState::cooldownSeconds) {
            m_lastFindingRecorded.insert(identity, spacingNow);
            record(QStringLiteral("发现持续高占用"),
                   SourceResolver::taskType(finding.sample.command) + QStringLiteral(" · PID ") +
                       QString::number(identity.pid) + QStringLiteral(" · 已观察 ") +
                       DisplayFormat::duration(finding.sustainedSeconds),
                   QStringLiteral("finding"));
        }
        if (m_settings.notificationsEnabled)
            notify(finding);
    }
}

void AppModel::applyFailure(const QString& sentence) {
    {
        const SampleChange change(*this);
        clearAnalysis();
        m_automaticAdvice->refresh({}, std::nullopt);
        clearDeliveredProcessNotifications();
        setStatusMessage(sentence);
        setSample(&SampleState::collectionError, std::optional(sentence));
        m_needsReset = true;
        clearMeasurements();
        resetResourceObservation();
    }
    publish(m_isSampling, false, &AppModel::isSamplingChanged);
}

// What a failed sample and a reset of observation both drop: findings and every CPU figure. The
// detectors on the worker start again with the next sample, which `m_needsReset` resets.
void AppModel::clearMeasurements() {
    const SampleChange change(*this);
    setFindings({});
    setSample(&SampleState::systemCPU, std::nullopt);
    setProcesses(withoutCPU(m_sample.processes));
}

void AppModel::updateResources(const MonitorSnapshot& snapshot, QList<ApplicationResourceGroup> groups,
                               QList<MemoryObservation> memory, QList<ApplicationCPUFinding> applications) {
    const SampleChange change(*this);
    setSample(&SampleState::systemMemory, snapshot.systemMemory);
    setSample(&SampleState::skippedProcessCount, snapshot.skippedCount);
    setSample(&SampleState::resourceGroups, std::move(groups));
    editResourceHistory([&](ResourceHistory& history) {
        const bool recorded = history.record(snapshot, m_settings.longestContinuousGap());
        return (!m_isMonitoring && history.breakContinuity()) || recorded;
    });
    setSample(&SampleState::memoryObservations,
              m_isMonitoring ? std::move(memory) : QList<MemoryObservation>());
    setSample(&SampleState::applicationCPUFindings,
              m_isMonitoring ? std::move(applications) : QList<ApplicationCPUFinding>());
}

void AppModel::resetResourceObservation() {
    const SampleChange change(*this);
    setSample(&SampleState::systemMemory, std::nullopt);
    setSample(&SampleState::memoryObservations, QList<MemoryObservation>());
    setSample(&SampleState::applicationCPUFindings, QList<ApplicationCPUFinding>());
    editResourceHistory([](ResourceHistory& history) { return history.breakContinuity(); });

    QList<ApplicationResourceGroup> groups;
    if (m_previewAnalyzer) {
        m_previewAnalyzer->resetResources();
        groups = m_previewAnalyzer->groups(m_sample.processes);
    } else {
        // The processes are the grouped ones with their CPU cleared (or fewer): regrouping them
        // would ask the system about bundle paths again on this thread for the same answer.
        QHash<ProcessIdentity, const ProcessSample*> listed;
        for (const ProcessSample& process : m_sample.processes)
            listed.insert(process.identity, &process);
        for (const ApplicationResourceGroup& group : std::as_const(m_sample.resourceGroups)) {
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
    setSample(&SampleState::resourceGroups, std::move(groups));
}

void AppModel::resetObservation() {
    const SampleChange change(*this);
    ++m_generation;
    m_needsReset = true;
    setFindings({});
    setSample(&SampleState::systemCPU, std::nullopt);
    clearAnalysis();
    m_automaticAdvice->refresh({}, std::nullopt);
    clearDeliveredProcessNotifications();
    setProcesses(withoutCPU(m_sample.processes));
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
    const bool stored = store(Keys::monitoringEnabled, m_isMonitoring);
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
    storedOrSaid(stored);
}

void AppModel::sleepBegins() {
    m_suspended = true;
    m_timer.stop();
    // The record times stay: the clock that spaces them counts the sleep, so a finding still there after
    // a short one is not recorded twice, and one back after a long one is recorded at once.
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
