#include "core/monitoring/ApplicationResourceGroup.h"

#include <cmath>
#include <limits>

namespace lunorvale {
namespace {
bool isKnown(const std::optional<double>& percent) {
    return percent && std::isfinite(*percent) && *percent >= 0;
}
} // namespace

double ApplicationResourceGroup::knownCPUPercent() const {
    double sum = 0;
    for (const ProcessSample& member : members) {
        if (isKnown(member.cpuPercent))
            sum += *member.cpuPercent;
    }
    return sum;
}

bool ApplicationResourceGroup::hasCompleteCPU() const {
    if (members.isEmpty() || !std::isfinite(knownCPUPercent()))
        return false;
    for (const ProcessSample& member : members) {
        if (!isKnown(member.cpuPercent))
            return false;
    }
    return true;
}

std::optional<double> ApplicationResourceGroup::cpuPercent() const {
    if (!hasCompleteCPU())
        return std::nullopt;
    return knownCPUPercent();
}

uint64_t ApplicationResourceGroup::residentBytes() const {
    uint64_t sum = 0;
    for (const ProcessSample& member : members) {
        if (member.residentBytes > std::numeric_limits<uint64_t>::max() - sum)
            return std::numeric_limits<uint64_t>::max();
        sum += member.residentBytes;
    }
    return sum;
}

} // namespace lunorvale
