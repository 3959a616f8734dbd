#include "core/monitoring/ApplicationCPUDetector.h"

#include <algorithm>
#include <cmath>

namespace lunorvale {

void ApplicationCPUDetector::reset() {
    m_members.clear();
    m_durations.clear();
    m_lastTime.reset();
}

QList<ApplicationCPUFinding> ApplicationCPUDetector::observe(const QList<ApplicationResourceGroup>& groups,
                                                             double monotonicTime,
                                                             const MonitorSettings& settings) {
    QHash<QString, QList<Member>> previousMembers;
    previousMembers.swap(m_members);
    m_members.reserve(groups.size());
    for (const ApplicationResourceGroup& group : groups) {
        // Ordered by identity key text, so the list does not depend on the grouper's pid order.
        QList<std::pair<QString, const ProcessSample*>> keyed;
        keyed.reserve(group.members.size());
        for (const ProcessSample& sample : group.members)
            keyed.append({sample.identity.key(), &sample});
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<Member> members;
        members.reserve(keyed.size());
        for (const auto& [key, sample] : keyed)
            members.append(Member{sample->identity, sample->executable, sample->command});
        m_members.insert(group.id, std::move(members));
    }

    if (!m_lastTime) {
        m_lastTime = monotonicTime;
        m_durations.clear();
        return {};
    }
    const double elapsed = monotonicTime - *m_lastTime;
    m_lastTime = monotonicTime;
    if (!std::isfinite(elapsed) || !(elapsed > 0) || elapsed > settings.safeInterval() * 2.5) {
        m_durations.clear();
        return {};
    }

    const double threshold = settings.safeThreshold();
    const double duration = settings.safeDuration();
    QHash<QString, double> durations;
    QList<ApplicationCPUFinding> findings;
    for (const ApplicationResourceGroup& group : groups) {
        if (group.members.size() < 2 || !group.bundlePath)
            continue;
        const auto previous = previousMembers.constFind(group.id);
        if (previous == previousMembers.cend() || *previous != m_members.value(group.id))
            continue;
        const std::optional<double> cpu = group.cpuPercent();
        if (!cpu || !std::isfinite(*cpu) || !(*cpu >= threshold))
            continue;
        const double seconds = elapsed + m_durations.value(group.id, 0);
        durations.insert(group.id, seconds);
        if (seconds >= duration)
            findings.append(ApplicationCPUFinding{group, seconds});
    }
    m_durations.swap(durations);

    std::stable_sort(findings.begin(), findings.end(),
                     [](const ApplicationCPUFinding& a, const ApplicationCPUFinding& b) {
                         return a.group.cpuPercent().value_or(0) > b.group.cpuPercent().value_or(0);
                     });
    return findings;
}

} // namespace lunorvale
