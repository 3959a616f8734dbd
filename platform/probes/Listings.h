#pragma once

// What the listings behind lv_collect keep between calls, as far as tests need to reach it.

#include <cstdint>

namespace lunorvale::probes {

// Other users' processes, and those that could not be read, are remembered by number and looked at
// again once in this many listings.
inline constexpr uint64_t lookAgainPeriod = 10;

// Has the calling thread's next listings look at `pid` again as they look at those remembered numbers:
// the way a number remembered from before pids wrapped around is read. False before the thread's
// first listing.
bool rememberForLookingAgain(int32_t pid);

} // namespace lunorvale::probes
