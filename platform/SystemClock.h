#pragma once

namespace lunorvale::SystemClock {

// Seconds of CLOCK_MONOTONIC: no change of the time moves it, and it stops while the machine is
// suspended (the kernel's own uptime, /proc/uptime, counts a suspend: that is `sinceBoot`).
double monotonic();
// Seconds of a clock that runs on while the machine sleeps and that no change of the time moves.
double sinceBoot();

} // namespace lunorvale::SystemClock
