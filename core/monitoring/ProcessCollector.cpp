#include "core/monitoring/ProcessCollector.h"

#include "core/applications/BundlePaths.h"
#include "core/common/SafeText.h"
#include "core/monitoring/MonitorError.h"
#include "core/monitoring/SourceResolver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lunorvale {

ProcessCollector::ProcessCollector(ProcessPlatform& platform)
    : m_platform(platform),
      m_records(std::make_unique_for_overwrite<LVProcessRecord[]>(LV_COLLECT_CAPACITY)) {}

void ProcessCollector::reset() {
    m_known.clear();
    m_texts.clear();
    m_previousTime.reset();
    m_previousTicks.reset();
}

namespace {

// Arguments are read again at least this often (in calls), since programs rewrite their own
// argv in place. The re-reads are spread so that no call pays for all of them.
constexpr uint64_t argumentsPeriod = 10;
// A desktop starts an application's first process and only then moves it into the application's
// unit, usually within milliseconds: a process first seen younger than this is looked at once more.
constexpr double applicationSettleSeconds = 5;

} // namespace

bool ProcessCollector::readApplication(Known& known, int32_t pid, bool young) {
    known.applicationUnsettled = young;
    const std::optional<ApplicationEntry> entry = m_platform.processApplication(pid);
    const QString& id = entry ? entry->id : QString();
    const QString& name = entry ? entry->name : QString();
    if (id == known.application && name == known.applicationName)
        return false;
    known.application = shared(id);
    known.applicationName = shared(name);
    return true;
}

ProcessCollector::Known& ProcessCollector::refresh(const LVProcessRecord& record, uint64_t generation,
                                                   double nowSeconds, bool& isNew) {
    const auto [it, inserted] = m_known.try_emplace(ProcessIdentity{record.pid, record.start_us});
    isNew = inserted;
    Known& known = it->second;
    const Image image{record.image_start_code, record.image_end_code, record.image_arg_start,
                      record.image_arg_end};
    // A process caught while the kernel is still setting up a new program shows its new executable
    // before its arguments: read again until they appear.
    const bool settled = !known.command.isEmpty() || known.executable.isEmpty();
    if (!isNew && settled && !known.stale && known.image == image &&
        std::strncmp(known.rawName.constData(), record.name, sizeof record.name) == 0) {
        if (generation >= known.argumentsDue) {
            known.argumentsDue = generation + argumentsPeriod;
            // Read again unless the platform is certain they are still the process's own.
            QString command = m_platform.argumentsUnchanged(record.pid)
                                  ? known.command
                                  : m_platform.processArguments(record.pid);
            const bool moved = known.applicationUnsettled && readApplication(known, record.pid, false);
            if (command != known.command || moved) {
                known.command = std::move(command);
                known.source = shared(shownSource(known));
            }
        }
        return known;
    }

    known.rawName = QByteArray(record.name, static_cast<qsizetype>(strnlen(record.name, sizeof record.name)));
    known.executable = shared(m_platform.processPath(record.pid));
    known.name = shared(shownName(known.rawName, known.executable, record.pid));
    known.command = m_platform.processArguments(record.pid);
    known.image = image;
    known.stale = false;
    known.argumentsDue = generation + 1 + m_spread++ % argumentsPeriod;
    readApplication(known, record.pid,
                    nowSeconds - static_cast<double>(record.start_us) / 1e6 < applicationSettleSeconds);
    known.source = shared(shownSource(known));
    return known;
}

QString ProcessCollector::shownName(const QByteArray& rawName, const QString& executable, int32_t pid) {
    if (std::optional<QString> name = SafeText::oneLine(QString::fromUtf8(rawName)))
        return *std::move(name);
    if (std::optional<QString> file = SafeText::oneLine(BundlePaths::lastPathComponent(executable)))
        return *std::move(file);
    return QStringLiteral("PID ") + QString::number(pid);
}

QString ProcessCollector::shownSource(const Known& known) {
    // Bundle and project folders come from paths the process chose: they are cleaned as its name is.
    return SafeText::oneLine(
               SourceResolver::source(known.name, known.executable, known.command, known.applicationName))
        .value_or(known.name);
}

QString ProcessCollector::shared(QString text) {
    if (text.isEmpty())
        return text;
    const auto found = m_texts.constFind(text);
    if (found != m_texts.cend())
        return *found;
    m_texts.insert(text);
    return text;
}

MonitorSnapshot ProcessCollector::collect() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const double uptime = m_platform.uptime();

    uint32_t skipped = 0;
    const int count = m_platform.collect(std::span(m_records.get(), LV_COLLECT_CAPACITY), skipped);
    if (count < 1)
        throw MonitorError::unavailable();
    for (const ProcessIdentity& identity : m_platform.takeStale()) {
        if (const auto it = m_known.find(identity); it != m_known.end())
            it->second.stale = true;
    }

    const bool canRate = m_previousTime && uptime - *m_previousTime > 0;
    const double dt = canRate ? uptime - *m_previousTime : 0;
    // Running times come from the clock the start times are counted on: a wall clock set since the
    // program started would shift every one of them by the step.
    const double nowSeconds = static_cast<double>(m_platform.startClock()) / 1e6;
    const uint64_t generation = ++m_generation;

    m_rows.resize(static_cast<size_t>(count));
    m_order.clear();
    size_t seen = 0;
    for (int i = 0; i < count; ++i) {
        const LVProcessRecord& record = m_records[static_cast<size_t>(i)];
        bool isNew = false;
        Known& known = refresh(record, generation, nowSeconds, isNew);

        std::optional<double> percent;
        // A known entry was seen in the previous call: unseen ones are dropped at the end of each call.
        if (canRate && !isNew && known.generation == generation - 1 && record.cpu_ns >= known.cpuNs)
            percent = static_cast<double>(record.cpu_ns - known.cpuNs) / 1e9 / dt * 100.0;
        known.cpuNs = record.cpu_ns;
        seen += known.generation != generation ? 1 : 0;
        known.generation = generation;
        m_rows[static_cast<size_t>(i)] = {&known, percent};
        m_order.emplace_back(percent.value_or(-1), i);
    }

    // Busiest first; equal shares, and all unknown ones, in the order the processes were listed.
    // The order is found on small pairs, and each sample is made once, in its place.
    std::sort(m_order.begin(), m_order.end(), [](const auto& a, const auto& b) {
        return a.first > b.first || (a.first == b.first && a.second < b.second);
    });
    MonitorSnapshot snapshot;
    snapshot.processes.reserve(count);
    for (const auto& [share, row] : m_order) {
        const LVProcessRecord& record = m_records[static_cast<size_t>(row)];
        const auto& [known, percent] = m_rows[static_cast<size_t>(row)];
        double elapsed = nowSeconds - static_cast<double>(record.start_us) / 1e6;
        if (!(elapsed >= 0))
            elapsed = 0;
        snapshot.processes.push_back(ProcessSample{
            .identity = {record.pid, record.start_us},
            .name = known->name,
            .executable = known->executable,
            .command = known->command,
            .parentPID = record.ppid,
            .uid = record.uid,
            .cpuPercent = percent,
            .residentBytes = record.resident_bytes,
            .elapsedSeconds = elapsed,
            .cpuTotalSeconds = static_cast<double>(record.cpu_ns) / 1e9,
            .source = known->source,
            .application = known->application,
        });
    }

    // Processes not seen in this call are forgotten, with their labels; where every entry was seen
    // there is nothing to look for.
    if (m_known.size() != seen) {
        std::erase_if(m_known,
                      [generation](const auto& entry) { return entry.second.generation != generation; });
        m_texts.removeIf([](const QString& text) { return text.isDetached(); });
    }
    m_previousTime = uptime;
    snapshot.systemCPU = systemCPU();
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
