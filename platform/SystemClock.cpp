#include "platform/SystemClock.h"

#include <time.h>

namespace lunorvale::SystemClock {

double uptime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace lunorvale::SystemClock
