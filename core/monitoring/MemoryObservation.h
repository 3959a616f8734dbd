#pragma once

#include "core/monitoring/MonitorSettings.h"
#include "core/monitoring/MonitorSnapshot.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace lunorvale {

// A memory finding: the machine's pressure stayed elevated, or one process kept growing.
struct MemoryObservation {
    enum class Kind { pressure, growth };

    Kind kind = Kind::pressure;
    QString title;
    QString detail;
    std::optional<ProcessIdentity> processIdentity; // for growth only
    double sustainedSeconds = 0;

    const QString& explanation() const { return detail; }
    // "pressure", or "growth:" followed by the identity key.
    QString id() const;

    static QString rawValue(Kind kind);
    static std::optional<Kind> kindFromRawValue(const QString& raw);

    friend bool operator==(const MemoryObservation&, const MemoryObservation&) = default;
};

// Watches memory over the stream of snapshots; time comes from the snapshots only, and how long a
// stretch or a growth has lasted is counted as MonitorSettings::countedLength counts it.
class MemoryObservationDetector final {
public:
    void reset();
    // One call per snapshot, in order. Only the sampling interval of `settings` is read.
    QList<MemoryObservation> observe(const MonitorSnapshot& snapshot, const MonitorSettings& settings);

private:
    struct GrowthRun {
        QString executable;
        QString command;
        double since = 0;
        uint64_t baseline = 0;
        uint64_t previous = 0;
        int64_t risingSamples = 0;
    };

    QHash<ProcessIdentity, GrowthRun> m_growth;
    std::optional<double> m_previousTime;
    std::optional<QDateTime> m_previousDate;
    std::optional<double> m_elevatedSince;
    SystemMemoryPressure m_previousPressure = SystemMemoryPressure::unknown;
};

} // namespace lunorvale
