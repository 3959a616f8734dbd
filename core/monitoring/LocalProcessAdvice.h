#pragma once

#include "core/monitoring/Finding.h"
#include "core/monitoring/MonitorSettings.h"

#include <QString>
#include <optional>

namespace lunorvale {

// Offline, rule-based advice for one process: what state it is in and what to do first.
struct LocalProcessAdvice {
    enum class State {
        unavailable,
        notObserved,
        waitingForSample,
        paused,
        muted,
        recovered,
        sustainedHigh,
        transientHigh,
        ordinary
    };
    enum class PrimaryAction { inspect, refresh, none };

    // What the model knows besides the sample and its finding.
    struct Context {
        bool wasNotified = false; // a reminder about this process was opened
        bool isMonitoring = true;
        bool collectionFailed = false; // the last sample could not be read
        bool isIgnored = false;        // the process is muted
    };

    State state = State::ordinary;
    QString title;
    QString reason;
    QString nextStep;
    PrimaryAction primaryAction = PrimaryAction::none;

    // Only the CPU threshold and the sustained duration of `settings` are read.
    static LocalProcessAdvice make(const std::optional<ProcessSample>& sample,
                                   const std::optional<Finding>& finding, const Context& context,
                                   const MonitorSettings& settings);

    friend bool operator==(const LocalProcessAdvice&, const LocalProcessAdvice&) = default;
};

} // namespace lunorvale
