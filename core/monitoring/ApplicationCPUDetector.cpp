#include "core/monitoring/ApplicationCPUDetector.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace lunorvale {
namespace {

// A member with the text of its identity key ("pid:startTime") written into a buffer of its
// own, so ordering by that text builds no strings.
struct KeyedMember {
    explicit KeyedMember(const ProcessSample& member) : sample(&member) {
        char* end = std::to_chars(text, text + 12, member.identity.pid).ptr;
        *end++ = ':';
        end = std::to_chars(end, text + sizeof text, member.identity.startTime).ptr;
        size = static_cast<uint8_t>(end - text);
    }
    std::string_view key() const { return {text, size}; }
    // Equal keys keep the members' order (they are built in order), without a stable sort's buffer.
    friend bool operator<(const KeyedMember& a, const KeyedMember& b) {
        const int order = a.key().compare(b.key());
        return order != 0 ? order < 0 : a.sample < b.sample;
    }

    const ProcessSample* sample;
    char text[40];
    uint8_t size;
};

} // namespace

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
    // Only a group of two or more members can pass, and for such a group a list that is missing
    // or shorter fails the comparison alike, so shorter lists are not kept.
    std::vector<KeyedMember> keyed;
    for (const ApplicationResourceGroup& group : groups) {
        if (group.members.size() < 2)
            continue;
        // Ordered by identity key text, so the list does not depend on the grouper's pid order.
        keyed.clear();
        for (const ProcessSample& sample : group.members)
            keyed.emplace_back(sample);
        std::sort(keyed.begin(), keyed.end());
        QList<Member> members;
        members.reserve(group.members.size());
        for (const KeyedMember& entry : keyed)
            members.append(Member{entry.sample->identity, entry.sample->executable, entry.sample->command});
        m_members.insert(group.id, std::move(members));
    }

    if (!m_lastTime) {
        m_lastTime = monotonicTime;
        m_durations.clear();
        return {};
    }
    const double elapsed = monotonicTime - *m_lastTime;
    m_lastTime = monotonicTime;
    if (!std::isfinite(elapsed) || !(elapsed > 0) || elapsed > settings.longestContinuousGap()) {
        m_durations.clear();
        return {};
    }

    const double threshold = settings.safeThreshold();
    const double duration = settings.safeDuration();
    QHash<QString, double> durations;
    QList<ApplicationCPUFinding> findings;
    for (const ApplicationResourceGroup& group : groups) {
        if (group.members.size() < 2 || !group.isApplication())
            continue;
        const auto previous = previousMembers.constFind(group.id);
        const auto current = m_members.constFind(group.id);
        if (previous == previousMembers.cend() || current == m_members.cend() || *previous != *current)
            continue;
        const std::optional<double> cpu = group.cpuPercent();
        if (!cpu || !std::isfinite(*cpu) || !(*cpu >= threshold))
            continue;
        const double measured = elapsed + m_durations.value(group.id, 0);
        durations.insert(group.id, measured);
        const double seconds = settings.countedLength(measured);
        if (seconds >= duration)
            findings.append(ApplicationCPUFinding{group, seconds});
    }
    m_durations.swap(durations);

    // Highest share first, equal shares in the order of the groups.
    std::vector<std::pair<double, qsizetype>> order;
    order.reserve(findings.size());
    for (qsizetype i = 0; i < findings.size(); ++i)
        order.emplace_back(findings[i].group.cpuPercent().value_or(0), i);
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    QList<ApplicationCPUFinding> sorted;
    sorted.reserve(findings.size());
    for (const auto& [cpu, index] : order)
        sorted.append(std::move(findings[index]));
    return sorted;
}

} // namespace lunorvale
