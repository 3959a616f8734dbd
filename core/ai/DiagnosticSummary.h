#pragma once

#include "core/monitoring/Finding.h"
#include "core/monitoring/ProcessSample.h"

#include <QString>
#include <optional>

namespace lunorvale {

// The only text about a process that may leave the machine: a coarse kind of task and a few numbers.
// It never carries the process name, path, command line, pid, parent, user, start time or source, and it
// is a pure function of its inputs, so the text the user approved can be rebuilt and compared byte for
// byte just before it is sent.
namespace DiagnosticSummary {

// Eight lines, no trailing line break. The finding, when given, must be this same process's.
QString make(const ProcessSample& sample, const std::optional<Finding>& finding);

namespace detail {
// `value` with `digits` decimals as the C library prints it ("%.*f" in the C locale); "未知" when the value
// is negative or not finite.
QString number(double value, int digits);
// The coarse category of the process, inferred locally from its command line, executable and name.
QString taskCategory(const ProcessSample& sample);
} // namespace detail

} // namespace DiagnosticSummary
} // namespace lunorvale
