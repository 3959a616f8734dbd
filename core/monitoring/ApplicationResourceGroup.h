#pragma once

#include "core/monitoring/ProcessSample.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace lunorvale {

// The processes of one application, or one process that belongs to none. An application is a bundle
// or, outside bundles, the desktop application its processes were started as.
struct ApplicationResourceGroup {
    // "application:" + the bundle's or desktop entry's path ("application:" + the desktop-file ID
    // where the application has no entry), or "process:" + identity key
    QString id;
    // bundle name without extension, the desktop entry's name (or ID), or the process's display source
    QString name;
    // the resolved bundle path or the desktop entry's path; absent for a single process and for a
    // desktop application without an entry
    std::optional<QString> bundlePath;
    QList<ProcessSample> members; // ascending pid

    const QList<ProcessSample>& processes() const { return members; }
    // A bundle or desktop application rather than a single process.
    bool isApplication() const { return id.startsWith(u"application:"); }
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
