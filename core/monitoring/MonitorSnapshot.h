#pragma once

#include "core/monitoring/ProcessSample.h"
#include "core/monitoring/SystemMemory.h"

#include <QDateTime>
#include <QList>
#include <optional>

namespace lunorvale {

// The result of one collection.
struct MonitorSnapshot {
    QList<ProcessSample> processes;  // busiest first
    std::optional<double> systemCPU; // 0...100, absent on the first collection
    std::optional<SystemMemorySnapshot> systemMemory;
    QDateTime timestamp;      // wall clock of the collection
    double monotonicTime = 0; // system uptime in seconds
    qint64 skippedCount = 0;  // unreadable processes and those beyond the record limit

    friend bool operator==(const MonitorSnapshot&, const MonitorSnapshot&) = default;
};

} // namespace lunorvale
