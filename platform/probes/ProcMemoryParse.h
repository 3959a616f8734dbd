#pragma once

// Parsing of the kernel's memory figures (/proc/meminfo, a zram device's mm_stat, the memory
// pressure file), kept apart from the code that reads them so that it can be tested on any text.

#include "platform/probes/lv_probes.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace lunorvale::probes {

// The /proc/meminfo lines the probes use, in bytes; absent when the line is missing or malformed.
struct MemInfo {
    std::optional<uint64_t> total;
    std::optional<uint64_t> available;
    std::optional<uint64_t> swapTotal;
    std::optional<uint64_t> swapFree;
    std::optional<uint64_t> zswap;
};
MemInfo parseMemInfo(std::string_view text) noexcept;

// The memory a zram device uses for its compressed pages (third field of mm_stat, in bytes).
std::optional<uint64_t> parseZramMemoryUsed(std::string_view mmStat) noexcept;

// The level for the text of /proc/pressure/memory: 4 (critical) when "full avg10" ≥ 10 or "some
// avg10" ≥ 40, 2 (warning) when "some avg10" ≥ 10, else 1; 0 (unknown) without a readable "some"
// line.
int32_t parseMemoryPressure(std::string_view text) noexcept;

// The record from what was read: `zramBytes` is the sum over the zram devices (0 without any).
LVSystemMemory systemMemoryFrom(const MemInfo& info, uint64_t zramBytes, int32_t pressureLevel) noexcept;

} // namespace lunorvale::probes
