#pragma once

namespace lunorvale::SystemClock {

// Seconds of a monotonic clock that stops while the machine sleeps, like the system uptime.
double uptime();

} // namespace lunorvale::SystemClock
