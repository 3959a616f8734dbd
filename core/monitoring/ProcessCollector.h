#pragma once

#include "core/monitoring/MonitorSnapshot.h"
#include "core/monitoring/ProcessPlatform.h"

#include <QByteArray>
#include <QHash>
#include <optional>
#include <vector>

namespace lunorvale {

// Turns one call into one snapshot, with CPU percentages measured since the previous call.
// Not shared between threads: its owner calls it from one serial worker. The platform outlives it.
class ProcessCollector final {
public:
    explicit ProcessCollector(ProcessPlatform& platform);

    // Forget everything: the next snapshot has no CPU percentages and no system CPU.
    void reset();
    // Throws MonitorError::unavailable when the process list cannot be read; nothing changes then.
    MonitorSnapshot collect();

private:
    // What is remembered of a process between calls. Path, arguments and the source label are
    // read again only when the process's name changes or an action found them stale, since they
    // cost half of a sample.
    struct Known {
        QByteArray rawName;
        QString name;
        QString executable;
        QString command;
        QString source;
        uint64_t cpuNs = 0;
        uint64_t generation = 0;
        bool stale = false;
    };
    Known& refresh(const LVProcessRecord& record, bool& isNew);
    std::optional<double> systemCPU();
    std::optional<SystemMemorySnapshot> systemMemory();

    ProcessPlatform& m_platform;
    QHash<ProcessIdentity, Known> m_known;
    std::optional<double> m_previousTime;
    std::optional<CPUTicks> m_previousTicks;
    uint64_t m_generation = 0;
    std::vector<LVProcessRecord> m_records;
};

} // namespace lunorvale
