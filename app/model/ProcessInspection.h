#pragma once

#include "core/monitoring/ProcessIdentity.h"
#include "core/monitoring/ProcessSample.h"

#include <QList>
#include <QSet>
#include <optional>

namespace lunorvale::ProcessInspection {

// The chain walk never looks further than this many processes.
inline constexpr int maximumDepth = 32;

// The one listed sample with the given sample's pid, when it is the same process running the same
// program as the same user (its current figures may differ); none when zero or several share the pid.
std::optional<ProcessSample> matchingSample(const ProcessSample& sample, const QList<ProcessSample>& list);

// Walks from the process up its parents in `list` (same user, parents started no later than their
// children, each parent pid listed once) and returns the first process whose pid is among
// `candidateApplicationPIDs`; none on a loop, at pid 0 or 1, or after `depth` processes (at most 32).
std::optional<ProcessIdentity> applicationProcess(const ProcessSample& sample,
                                                  const QList<ProcessSample>& list,
                                                  const QSet<int32_t>& candidateApplicationPIDs,
                                                  int depth = maximumDepth);

} // namespace lunorvale::ProcessInspection
