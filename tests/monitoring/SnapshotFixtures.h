#pragma once

#include "core/monitoring/MonitorSnapshot.h"

#include <QDateTime>
#include <QList>
#include <cmath>
#include <optional>

namespace lunorvale::fixtures {

// A fixed wall clock so that texts and dates never depend on when the tests run.
inline QDateTime baseDate() {
    return QDateTime::fromMSecsSinceEpoch(1769846709000, Qt::UTC);
}

inline ProcessSample process(int32_t pid, std::optional<double> cpu,
                             QString executable = QStringLiteral("/usr/bin/worker"),
                             QString command = QStringLiteral("worker --run")) {
    ProcessSample sample;
    sample.identity = ProcessIdentity{pid, 1700000000000000ull + static_cast<uint64_t>(pid)};
    sample.name = QStringLiteral("worker");
    sample.executable = std::move(executable);
    sample.command = std::move(command);
    sample.cpuPercent = cpu;
    sample.residentBytes = 64ull << 20;
    sample.elapsedSeconds = 3600;
    return sample;
}

inline MonitorSnapshot snapshotAt(double monotonicTime, QList<ProcessSample> processes = {}) {
    MonitorSnapshot snapshot;
    snapshot.processes = std::move(processes);
    snapshot.monotonicTime = monotonicTime;
    // A clock that is not finite leaves the wall clock where it is.
    snapshot.timestamp = baseDate().addMSecs(std::isfinite(monotonicTime) ? qint64(monotonicTime * 1000) : 0);
    return snapshot;
}

// The times of `count` samples from 0 whose intervals take the given lengths in turn.
inline QList<double> sampleTimes(const QList<double>& intervals, qsizetype count) {
    QList<double> times{0};
    for (qsizetype i = 1; i < count; ++i)
        times.append(times.last() + intervals[(i - 1) % intervals.size()]);
    return times;
}

} // namespace lunorvale::fixtures
