#pragma once

#include "core/monitoring/ProcessSample.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace lunorvale {

// The processes of one application bundle, or one process outside any bundle.
struct ApplicationResourceGroup {
    QString id;                        // "application:" + bundle path, or "process:" + identity key
    QString name;                      // bundle name without extension, or the process's display source
    std::optional<QString> bundlePath; // resolved bundle path; absent for a single process
    QList<ProcessSample> members;      // ascending pid

    const QList<ProcessSample>& processes() const { return members; }
    // Sum of the known shares (present, finite, not negative).
    double knownCPUPercent() const;
    // Every member's share is known.
    bool hasCompleteCPU() const;
    std::optional<double> cpuPercent() const;
    // Saturates at the largest value instead of wrapping.
    uint64_t residentBytes() const;

    friend bool operator==(const ApplicationResourceGroup&, const ApplicationResourceGroup&) = default;
};

// An application whose processes together stayed at or above the CPU threshold.
struct ApplicationCPUFinding {
    ApplicationResourceGroup group;
    double sustainedSeconds = 0;

    const QString& id() const { return group.id; }

    friend bool operator==(const ApplicationCPUFinding&, const ApplicationCPUFinding&) = default;
};

} // namespace lunorvale
