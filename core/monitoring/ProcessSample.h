#pragma once

#include "core/monitoring/ProcessIdentity.h"

#include <QString>
#include <optional>

namespace lunorvale {

// One process in one sample.
struct ProcessSample {
    ProcessIdentity identity;
    QString name;       // as shown: on one line, without controls, bidirectional or invisible marks
    QString executable; // empty when it could not be read
    QString command;    // arguments joined by single blanks; empty when unreadable
    int32_t parentPID = 0;
    uint32_t uid = 0;
    std::optional<double> cpuPercent; // percent of one core since the previous sample
    uint64_t residentBytes = 0;
    double elapsedSeconds = 0;
    double cpuTotalSeconds = 0;
    QString source;
    QString application; // desktop-file ID of the application it was started as; empty for none

    const ProcessIdentity& id() const { return identity; }
    QString displaySource() const { return source.isEmpty() ? name : source; }

    friend bool operator==(const ProcessSample&, const ProcessSample&) = default;
};

} // namespace lunorvale
