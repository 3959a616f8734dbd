#include "app/model/ProcessInspection.h"

#include <QHash>

namespace lunorvale::ProcessInspection {

std::optional<ProcessSample> matchingSample(const ProcessSample& sample, const QList<ProcessSample>& list) {
    const ProcessSample* match = nullptr;
    for (const ProcessSample& listed : list) {
        if (listed.identity.pid != sample.identity.pid)
            continue;
        if (match)
            return std::nullopt;
        match = &listed;
    }
    if (!match || match->identity.startTime != sample.identity.startTime ||
        match->executable != sample.executable || match->command != sample.command ||
        match->uid != sample.uid)
        return std::nullopt;
    return *match;
}

std::optional<ProcessIdentity> applicationProcess(const ProcessSample& sample,
                                                  const QList<ProcessSample>& list,
                                                  const QSet<int32_t>& candidateApplicationPIDs, int depth) {
    const std::optional<ProcessSample> start = matchingSample(sample, list);
    if (!start)
        return std::nullopt;

    QHash<int32_t, QList<const ProcessSample*>> byPID;
    byPID.reserve(list.size());
    for (const ProcessSample& listed : list)
        byPID[listed.identity.pid].append(&listed);

    int budget = std::min(depth, maximumDepth);
    const auto outOfReach = [](const ProcessSample& process) {
        return process.identity.pid <= 1 || process.identity.startTime == 0;
    };
    if (budget < 1 || outOfReach(*start))
        return std::nullopt;

    const ProcessSample* current = byPID.value(start->identity.pid).constFirst();
    QSet<int32_t> visited;
    while (true) {
        if (visited.contains(current->identity.pid))
            return std::nullopt;
        visited.insert(current->identity.pid);
        if (candidateApplicationPIDs.contains(current->identity.pid))
            return current->identity;

        const auto parents = byPID.constFind(current->parentPID);
        if (parents == byPID.cend() || parents->size() != 1)
            return std::nullopt;
        const ProcessSample* parent = parents->constFirst();
        if (parent->uid != current->uid || current->identity.startTime < parent->identity.startTime)
            return std::nullopt;
        if (--budget <= 0 || outOfReach(*parent))
            return std::nullopt;
        current = parent;
    }
}

} // namespace lunorvale::ProcessInspection
