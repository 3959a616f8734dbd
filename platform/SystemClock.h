#pragma once

namespace lunorvale::SystemClock {

// Seconds of a monotonic clock that stops while the machine sleeps, like the system uptime.
double uptime();
// Seconds of a clock that runs on while the machine sleeps and that no change of the time moves.
double sinceBoot();

} // namespace lunorvale::SystemClock
