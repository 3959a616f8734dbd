#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace lunorvale {

enum class SystemMemoryPressure { unknown, normal, warning, critical };

namespace MemoryPressure {
// Levels as the platform reports them: 1 normal, 2 warning, 4 critical, anything else unknown.
SystemMemoryPressure fromDispatchValue(int32_t level);
std::optional<SystemMemoryPressure> fromRawValue(const QString& raw);
QString rawValue(SystemMemoryPressure pressure);
QString title(SystemMemoryPressure pressure);
bool isElevated(SystemMemoryPressure pressure);
} // namespace MemoryPressure

// The machine's memory at one sample; each byte count is absent when it could not be read.
struct SystemMemorySnapshot {
    std::optional<uint64_t> physicalBytes;
    std::optional<uint64_t> usedBytes;
    std::optional<uint64_t> compressedBytes;
    std::optional<uint64_t> swapUsedBytes;
    SystemMemoryPressure pressure = SystemMemoryPressure::unknown;

    friend bool operator==(const SystemMemorySnapshot&, const SystemMemorySnapshot&) = default;
};

} // namespace lunorvale
