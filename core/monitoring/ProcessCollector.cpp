#include "core/monitoring/ProcessCollector.h"

#include "core/monitoring/MonitorError.h"
#include "core/monitoring/SourceResolver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lunorvale {

ProcessCollector::ProcessCollector(ProcessPlatform& platform)
    : m_platform(platform), m_records(LV_COLLECT_CAPACITY) {}

void ProcessCollector::reset() {
    m_known.clear();
    m_previousTime.reset();
    m_previousTicks.reset();
}

ProcessCollector::Known& ProcessCollector::refresh(const LVProcessRecord& record, bool& isNew) {
    const ProcessIdentity identity{record.pid, record.start_us};
    auto it = m_known.find(identity);
    isNew = it == m_known.end();
    if (isNew)
        it = m_known.insert(identity, Known{});
    Known& known = it.value();
    // A process caught while the kernel is still setting up a new program shows its new executable
    // before its arguments: read again until they appear.
    const bool settled = !known.command.isEmpty() || known.executable.isEmpty();
    if (!isNew && settled && !known.stale &&
        std::strncmp(known.rawName.constData(), record.name, sizeof record.name) == 0)
        return known;

    known.rawName = QByteArray(record.name, static_cast<qsizetype>(strnlen(record.name, sizeof record.name)));
    known.name = QString::fromUtf8(known.rawName);
    known.executable = m_platform.processPath(record.pid);
    known.command = m_platform.processArguments(record.pid);
    known.stale = false;
    known.source = SourceResolver::source(known.name, known.executable, known.command);
    return known;
}

MonitorSnapshot ProcessCollector::collect() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const double uptime = m_platform.uptime();

    uint32_t skipped = 0;
    const int count = m_platform.collect(m_records, skipped);
    if (count < 1)
        throw MonitorError::unavailable();
    for (const ProcessIdentity& identity : m_platform.takeStale()) {
        if (const auto it = m_known.find(identity); it != m_known.end())
            it->stale = true;
    }

    const bool canRate = m_previousTime && uptime - *m_previousTime > 0;
    const double dt = canRate ? uptime - *m_previousTime : 0;
    const double nowSeconds = static_cast<double>(now.toMSecsSinceEpoch()) / 1000.0;
    const uint64_t generation = ++m_generation;

    MonitorSnapshot snapshot;
    snapshot.processes.reserve(count);
    for (int i = 0; i < count; ++i) {
        const LVProcessRecord& record = m_records[static_cast<size_t>(i)];
        bool isNew = false;
        Known& known = refresh(record, isNew);

        std::optional<double> percent;
        // A known entry was seen in the previous call: unseen ones are dropped at the end of each call.
        if (canRate && !isNew && known.generation == generation - 1 && record.cpu_ns >= known.cpuNs)
            percent = static_cast<double>(record.cpu_ns - known.cpuNs) / 1e9 / dt * 100.0;
        known.cpuNs = record.cpu_ns;
        known.generation = generation;

        double elapsed = nowSeconds - static_cast<double>(record.start_us) / 1e6;
        if (!(elapsed >= 0))
            elapsed = 0;

        ProcessSample sample;
        sample.identity = {record.pid, record.start_us};
        sample.name = known.name;
        sample.executable = known.executable;
        sample.command = known.command;
        sample.parentPID = record.ppid;
        sample.uid = record.uid;
        sample.cpuPercent = percent;
        sample.residentBytes = record.resident_bytes;
        sample.elapsedSeconds = elapsed;
        sample.cpuTotalSeconds = static_cast<double>(record.cpu_ns) / 1e9;
        sample.source = known.source;
        snapshot.processes.push_back(std::move(sample));
    }

    // Processes not seen in this call are forgotten, with their labels.
    m_known.removeIf([generation](const auto& entry) { return entry.value().generation != generation; });
    m_previousTime = uptime;

    snapshot.systemCPU = systemCPU();
    std::stable_sort(snapshot.processes.begin(), snapshot.processes.end(),
                     [](const ProcessSample& a, const ProcessSample& b) {
                         return a.cpuPercent.value_or(-1) > b.cpuPercent.value_or(-1);
                     });
    snapshot.systemMemory = systemMemory();
    snapshot.timestamp = now;
    snapshot.monotonicTime = uptime;
    snapshot.skippedCount = skipped;
    return snapshot;
}

std::optional<double> ProcessCollector::systemCPU() {
    const std::optional<CPUTicks> ticks = m_platform.cpuTicks();
    if (!ticks)
        return std::nullopt;
    std::optional<double> result;
    if (m_previousTicks && ticks->total > m_previousTicks->total && ticks->busy >= m_previousTicks->busy) {
        const double busy = static_cast<double>(ticks->busy - m_previousTicks->busy);
        const double total = static_cast<double>(ticks->total - m_previousTicks->total);
        result = std::clamp(busy / total * 100.0, 0.0, 100.0);
    }
    m_previousTicks = ticks;
    return result;
}

std::optional<SystemMemorySnapshot> ProcessCollector::systemMemory() {
    const std::optional<LVSystemMemory> read = m_platform.systemMemory();
    if (!read)
        return std::nullopt;
    const LVSystemMemory& memory = *read;
    SystemMemorySnapshot snapshot;
    if (memory.has_physical)
        snapshot.physicalBytes = memory.physical_bytes;
    if (memory.has_memory) {
        snapshot.usedBytes = memory.used_bytes;
        snapshot.compressedBytes = memory.compressed_bytes;
    }
    if (memory.has_swap)
        snapshot.swapUsedBytes = memory.swap_used_bytes;
    snapshot.pressure = MemoryPressure::fromDispatchValue(memory.pressure_level);
    return snapshot;
}

} // namespace lunorvale
