#include "platform/SystemClock.h"

#include <time.h>

namespace lunorvale::SystemClock {

namespace {

double secondsOf(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

double monotonic() {
    return secondsOf(CLOCK_MONOTONIC);
}

double sinceBoot() {
    return secondsOf(CLOCK_BOOTTIME);
}

} // namespace lunorvale::SystemClock
