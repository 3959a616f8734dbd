#pragma once

#include <array>

namespace lunorvale {

// The orders the process lists offer, in the order of their menu: CPU share, resident memory, running
// time, each largest first.
enum class ProcessSort { cpu, memory, duration };

inline constexpr std::array<ProcessSort, 3> processSorts{ProcessSort::cpu, ProcessSort::memory,
                                                         ProcessSort::duration};

} // namespace lunorvale
