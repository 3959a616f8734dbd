#include "core/monitoring/AnomalyDetector.h"

#include "core/common/SafeText.h"
#include "core/monitoring/DisplayFormat.h"

#include <algorithm>
#include <cmath>

namespace lunorvale {
namespace {

QString explanation(double runSeconds, double threshold, double elapsedSeconds) {
    return QStringLiteral("已连续观察到约 ") + DisplayFormat::duration(runSeconds) +
           QStringLiteral(" 的高 CPU 占用（区间均值达到 ") +
           QString::number(static_cast<int64_t>(threshold)) + QStringLiteral("%）。任务已运行 ") +
           DisplayFormat::duration(elapsedSeconds) +
           QStringLiteral("。这说明资源消耗较高；编译、渲染和计算任务也可能正常。仅凭这些指标不能确认卡死。");
}

} // namespace

void AnomalyDetector::reset() {
    m_runs.clear();
    m_lastTime.reset();
    m_signatures.clear();
}

QList<Finding> AnomalyDetector::observe(const MonitorSnapshot& snapshot, const MonitorSettings& settings,
                                        const QSet<ProcessIdentity>& ignored) {
    QHash<ProcessIdentity, Signature> previousSignatures;
    previousSignatures.swap(m_signatures);
    m_signatures.reserve(snapshot.processes.size());
    for (const ProcessSample& sample : snapshot.processes)
        m_signatures.insert(sample.identity, Signature{sample.executable, sample.command});

    if (!m_lastTime) {
        m_lastTime = snapshot.monotonicTime;
        m_runs.clear();
        return {};
    }
    const double elapsed = snapshot.monotonicTime - *m_lastTime;
    m_lastTime = snapshot.monotonicTime;
    // Written so that NaN fails both tests.
    if (!(elapsed > 0) || !(elapsed <= settings.longestContinuousGap())) {
        m_runs.clear();
        return {};
    }

    const double threshold = settings.safeThreshold();
    const double duration = settings.safeDuration();
    QHash<ProcessIdentity, Run> runs;
    QList<Finding> findings;
    for (const ProcessSample& sample : snapshot.processes) {
        const auto previous = previousSignatures.constFind(sample.identity);
        if (previous == previousSignatures.cend() || previous->executable != sample.executable ||
            previous->command != sample.command)
            continue;
        if (ignored.contains(sample.identity))
            continue;
        if (!sample.cpuPercent || !std::isfinite(*sample.cpuPercent) || !(*sample.cpuPercent >= threshold))
            continue;

        double carried = 0;
        const auto old = m_runs.constFind(sample.identity);
        if (old != m_runs.cend() && old->signature.executable == sample.executable &&
            old->signature.command == sample.command)
            carried = old->seconds;
        const double measured = elapsed + carried;
        runs.insert(sample.identity, Run{measured, Signature{sample.executable, sample.command}});

        const double seconds = settings.countedLength(measured);
        if (seconds >= duration) {
            findings.append(Finding{
                sample, seconds, SafeText::isolated(sample.displaySource()) + QStringLiteral(" 持续高占用"),
                explanation(seconds, threshold, sample.elapsedSeconds)});
        }
    }
    m_runs.swap(runs);

    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return a.sample.cpuPercent.value_or(0) > b.sample.cpuPercent.value_or(0);
    });
    return findings;
}

} // namespace lunorvale
