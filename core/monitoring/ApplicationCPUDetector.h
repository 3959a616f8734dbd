#pragma once

#include "core/monitoring/ApplicationResourceGroup.h"
#include "core/monitoring/MonitorSettings.h"

#include <QHash>
#include <QList>
#include <optional>

namespace lunorvale {

// Finds applications of two or more processes whose summed CPU share stayed at or above the
// threshold for the sustained duration, even when no single process did. Lengths are counted as
// MonitorSettings::countedLength counts them.
class ApplicationCPUDetector final {
public:
    void reset();
    // One call per snapshot, in order, with the groups of `ProcessResourceGrouper::groups`.
    QList<ApplicationCPUFinding> observe(const QList<ApplicationResourceGroup>& groups, double monotonicTime,
                                         const MonitorSettings& settings);

private:
    struct Member {
        ProcessIdentity identity;
        QString executable;
        QString command;
        friend bool operator==(const Member&, const Member&) = default;
    };

    QHash<QString, QList<Member>> m_members;
    QHash<QString, double> m_durations;
    std::optional<double> m_lastTime;
};

} // namespace lunorvale
