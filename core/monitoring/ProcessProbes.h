#pragma once

#include "platform/probes/lv_probes.h"

namespace lunorvale {

// The probe functions the collector and the controller call. The defaults are the real probes;
// tests substitute single functions to reach failure paths the kernel cannot be made to produce.
struct ProcessProbes {
    int (*collect)(LVProcessRecord*, int32_t, uint32_t*) = lv_collect;
    int (*readProcess)(int32_t, LVProcessRecord*) = lv_read_process;
    int (*processPath)(int32_t, char*, uint32_t) = lv_process_path;
    uint64_t (*processArgs)(int32_t, char*, uint64_t) = lv_process_args;
    int (*cpuTicks)(uint64_t*, uint64_t*) = lv_cpu_ticks;
    int (*systemMemory)(LVSystemMemory*) = lv_system_memory;
    int (*signalChecked)(int32_t, uint64_t, uint32_t, int32_t) = lv_signal_checked;
    double (*uptime)() = nullptr; // null: the system's monotonic clock
};

} // namespace lunorvale
