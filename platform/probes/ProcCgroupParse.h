#pragma once

// Parsing of a process's control groups (/proc/PID/cgroup), kept apart from the code that reads it
// so that it can be tested on any text.

#include <string_view>

namespace lunorvale::probes {

// The systemd unit a process runs in: the last component of its control group in systemd's own
// hierarchy ("N:name=systemd:/path", which a hybrid setup keeps beside the unified one) where that
// places it below the root, otherwise in the unified hierarchy ("0::/path"). Empty where neither
// does. Only lines that end in a newline count, so a text cut short never gives a name cut short.
std::string_view systemdUnit(std::string_view text) noexcept;

} // namespace lunorvale::probes
