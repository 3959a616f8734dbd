#pragma once

#include "core/monitoring/Finding.h"
#include "core/monitoring/MonitorSettings.h"
#include "core/monitoring/MonitorSnapshot.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <optional>

namespace lunorvale {

// Finds processes whose CPU share stayed at or above the threshold, interval after interval, for
// the sustained duration. All time comes from the snapshots' monotonic time; a run's length is counted
// as MonitorSettings::countedLength counts it, so a run of n intervals lasts n intervals.
class AnomalyDetector final {
public:
    void reset();
    // One call per snapshot, in order. `ignored` holds the identities that must neither run nor
    // be reported (the muted ones). A finding repeats on every snapshot while its run lasts.
    QList<Finding> observe(const MonitorSnapshot& snapshot, const MonitorSettings& settings,
                           const QSet<ProcessIdentity>& ignored = {});

private:
    // What a process runs. Executable and command are kept apart rather than joined with a NUL:
    // texts from the kernel end at their first NUL, so the comparison is the same.
    struct Signature {
        QString executable;
        QString command;
        friend bool operator==(const Signature&, const Signature&) = default;
    };
    struct Run {
        double seconds = 0;
        Signature signature;
    };

    QHash<ProcessIdentity, Run> m_runs;
    std::optional<double> m_lastTime;
    QHash<ProcessIdentity, Signature> m_signatures;
};

} // namespace lunorvale
