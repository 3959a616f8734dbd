#include "core/monitoring/SystemMemory.h"

namespace lunorvale::MemoryPressure {

SystemMemoryPressure fromDispatchValue(int32_t level) {
    switch (level) {
    case 1:
        return SystemMemoryPressure::normal;
    case 2:
        return SystemMemoryPressure::warning;
    case 4:
        return SystemMemoryPressure::critical;
    default:
        return SystemMemoryPressure::unknown;
    }
}

std::optional<SystemMemoryPressure> fromRawValue(const QString& raw) {
    for (auto p : {SystemMemoryPressure::unknown, SystemMemoryPressure::normal, SystemMemoryPressure::warning,
                   SystemMemoryPressure::critical}) {
        if (rawValue(p) == raw)
            return p;
    }
    return std::nullopt;
}

QString rawValue(SystemMemoryPressure pressure) {
    switch (pressure) {
    case SystemMemoryPressure::normal:
        return QStringLiteral("normal");
    case SystemMemoryPressure::warning:
        return QStringLiteral("warning");
    case SystemMemoryPressure::critical:
        return QStringLiteral("critical");
    case SystemMemoryPressure::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString title(SystemMemoryPressure pressure) {
    switch (pressure) {
    case SystemMemoryPressure::normal:
        return QStringLiteral("正常");
    case SystemMemoryPressure::warning:
        return QStringLiteral("偏高");
    case SystemMemoryPressure::critical:
        return QStringLiteral("很高");
    case SystemMemoryPressure::unknown:
        break;
    }
    return QStringLiteral("暂不可读取");
}

bool isElevated(SystemMemoryPressure pressure) {
    return pressure == SystemMemoryPressure::warning || pressure == SystemMemoryPressure::critical;
}

} // namespace lunorvale::MemoryPressure
