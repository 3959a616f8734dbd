#pragma once

#include "core/monitoring/ProcessSample.h"

namespace lunorvale {

// A process that has stayed at or above the CPU threshold.
struct Finding {
    ProcessSample sample;
    double sustainedSeconds = 0;
    QString title;
    QString explanation;

    const ProcessIdentity& id() const { return sample.identity; }

    friend bool operator==(const Finding&, const Finding&) = default;
};

} // namespace lunorvale
