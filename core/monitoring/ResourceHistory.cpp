#include "core/monitoring/ResourceHistory.h"

#include "core/common/JsonWriter.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace lunorvale {
namespace {

// Which of the charted series a point has; a change splits the chart line.
struct Presence {
    bool cpu, used, compressed, swap;
    friend bool operator==(const Presence&, const Presence&) = default;
};

Presence presence(const std::optional<double>& cpu, const std::optional<SystemMemorySnapshot>& memory) {
    return Presence{cpu.has_value(), memory && memory->usedBytes.has_value(),
                    memory && memory->compressedBytes.has_value(),
                    memory && memory->swapUsedBytes.has_value()};
}

} // namespace

QString ResourceHistoryPoint::id() const {
    QByteArray time = JsonWriter::shortestNumber(monotonicTime);
    if (std::isfinite(monotonicTime) && !time.contains('.') && !time.contains('e'))
        time.append(".0");
    return QString::number(segmentID) + u':' + QString::fromLatin1(time);
}

ResourceHistory::ResourceHistory(double windowSeconds, int64_t maximumPoints)
    : m_windowSeconds(std::isfinite(windowSeconds) ? std::clamp(windowSeconds, 1.0, 3600.0) : 3600.0),
      m_maximumPoints(std::clamp<int64_t>(maximumPoints, 2, 721)) {}

bool ResourceHistory::reset() {
    const bool changed = !m_points.isEmpty() || m_segmentID != 0 || m_pendingBreak;
    m_points.clear();
    m_segmentID = 0;
    m_pendingBreak = false;
    return changed;
}

bool ResourceHistory::breakContinuity() {
    return !std::exchange(m_pendingBreak, true);
}

bool ResourceHistory::record(const MonitorSnapshot& snapshot, double maximumInterval) {
    const double t = snapshot.monotonicTime;
    if (!std::isfinite(t) || !snapshot.timestamp.isValid())
        return breakContinuity();
    const double gapLimit = std::isfinite(maximumInterval) ? std::max(maximumInterval, 1.0) : 300.0;
    std::optional<double> cpu;
    if (snapshot.systemCPU && std::isfinite(*snapshot.systemCPU) && *snapshot.systemCPU >= 0 &&
        *snapshot.systemCPU <= 100)
        cpu = snapshot.systemCPU;

    if (!m_points.isEmpty()) {
        const ResourceHistoryPoint& last = m_points.constLast();
        const double step = t - last.monotonicTime;
        if (step == 0)
            return false;
        if (presence(last.systemCPU, last.systemMemory) != presence(cpu, snapshot.systemMemory) ||
            step > gapLimit || snapshot.timestamp < last.timestamp)
            m_pendingBreak = true;
        // A monotonic clock that went back makes every older point meaningless on the time axis.
        if (step < 0) {
            m_points.clear();
            m_pendingBreak = true;
        }
    }
    if (m_pendingBreak) {
        ++m_segmentID;
        m_pendingBreak = false;
    }
    m_points.append(ResourceHistoryPoint{snapshot.timestamp, t, m_segmentID, cpu, snapshot.systemMemory});

    const double cutoff = t - m_windowSeconds;
    m_points.removeIf([cutoff](const ResourceHistoryPoint& point) { return point.monotonicTime < cutoff; });
    if (m_points.size() > m_maximumPoints)
        m_points.remove(0, m_points.size() - m_maximumPoints);
    return true;
}

QList<ResourceHistoryPoint> ResourceHistory::recent(double seconds) const {
    if (m_points.isEmpty() || !std::isfinite(seconds) || seconds < 0)
        return {};
    const double from = m_points.constLast().monotonicTime - seconds;
    QList<ResourceHistoryPoint> result;
    for (const ResourceHistoryPoint& point : m_points) {
        if (point.monotonicTime >= from)
            result.append(point);
    }
    return result;
}

} // namespace lunorvale
