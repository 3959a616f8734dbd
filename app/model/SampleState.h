#pragma once

#include "core/monitoring/ApplicationResourceGroup.h"
#include "core/monitoring/Finding.h"
#include "core/monitoring/MemoryObservation.h"
#include "core/monitoring/MonitorSnapshot.h"
#include "core/monitoring/ProcessSample.h"
#include "core/monitoring/ResourceHistory.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace lunorvale {

// Everything the model shows of the newest sample: what a sample applied, a failed one, a pause or a
// reset of observation change together. The model publishes it as one value, so that a view reads all
// of it after one announcement, and a new detector adds one field here.
struct SampleState {
    QList<ProcessSample> processes;
    // The processes grouped by application, for the resources page.
    QList<ApplicationResourceGroup> resourceGroups;
    // Sustained high CPU of a process; none while paused or after a failed sample.
    QList<Finding> findings;
    QList<MemoryObservation> memoryObservations;
    QList<ApplicationCPUFinding> applicationCPUFindings;
    std::optional<double> systemCPU; // absent until two samples are known, while paused, after a failure
    std::optional<SystemMemorySnapshot> systemMemory;
    ResourceHistory resourceHistory{3600, 721};
    std::optional<QDateTime> lastUpdate;    // the newest sample's time
    qint64 skippedProcessCount = 0;         // processes of the user the newest sample could not read
    std::optional<QString> collectionError; // the sentence of the failed sample; absent once one succeeds

    friend bool operator==(const SampleState&, const SampleState&) = default;
};

} // namespace lunorvale
