#pragma once

#include "core/monitoring/MonitorSnapshot.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace lunorvale {

// One point of the resource charts.
struct ResourceHistoryPoint {
    QDateTime timestamp;
    double monotonicTime = 0;
    int64_t segmentID = 0;           // points of one segment are continuous
    std::optional<double> systemCPU; // 0...100
    std::optional<SystemMemorySnapshot> systemMemory;

    // "segment:time", the time as the shortest text that reads back the same, always with a
    // fraction or an exponent ("3:1234.5", "3:60.0").
    QString id() const;

    friend bool operator==(const ResourceHistoryPoint&, const ResourceHistoryPoint&) = default;
};

// A bounded, time-windowed history of whole-machine CPU and memory, split into segments so that
// the charts never join points across a gap, a clock step or a change in which values are known.
class ResourceHistory final {
public:
    // The window is clamped to 1...3600 s (3600 when not finite), the point limit to 2...721.
    ResourceHistory(double windowSeconds, int64_t maximumPoints);

    const QList<ResourceHistoryPoint>& points() const { return m_points; }
    double windowSeconds() const { return m_windowSeconds; }
    int64_t maximumPoints() const { return m_maximumPoints; }

    // Each change returns whether the history differs afterwards (its points, or the break pending).
    bool reset();
    // The next recorded point starts a new segment.
    bool breakContinuity();
    // `maximumInterval` is the longest gap in seconds that still counts as continuous.
    bool record(const MonitorSnapshot& snapshot, double maximumInterval);
    // Oldest first, the points no more than `seconds` older than the newest point.
    QList<ResourceHistoryPoint> recent(double seconds) const;

    friend bool operator==(const ResourceHistory&, const ResourceHistory&) = default;

private:
    QList<ResourceHistoryPoint> m_points;
    double m_windowSeconds;
    int64_t m_maximumPoints;
    int64_t m_segmentID = 0;
    bool m_pendingBreak = false;
};

} // namespace lunorvale
