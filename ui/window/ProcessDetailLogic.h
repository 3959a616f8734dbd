#pragma once

#include "app/advice/AutomaticProcessAdvice.h"
#include "core/monitoring/Finding.h"
#include "core/monitoring/LocalProcessAdvice.h"
#include "core/monitoring/ProcessSample.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace lunorvale {

// The texts and states of the selected process's detail pane and of its advice section, chosen from the
// model's values without a widget.
namespace ProcessDetail {

// The first finding of this very process (same pid and start time).
std::optional<Finding> findingFor(const QList<Finding>& findings, const ProcessIdentity& identity);

struct Input {
    ProcessSample sample;
    std::optional<Finding> finding;
    bool stopping = false; // its stop is being rechecked
    bool canStop = false;
    bool isMuted = false;
    bool isPreview = false;
};

struct Texts {
    QString pidLine; // "PID 7421 · 父进程 7310"
    QString origin;  // the source, or the name
    QString cpu;
    bool cpuHighlighted = false; // a finding of this process exists
    bool showsMutedBadge = false;
    QString memory;
    QString elapsed;
    QString cpuTotal;
    QString explanation;

    QString stopTitle;
    bool stopEnabled = false; // both the request and the forced stop
    QString muteTitle;
    bool muteEnabled = false;
    QString footnote;

    QString command;    // shown verbatim, argument by argument (SafeText::commandLine)
    QString executable; // shown verbatim
};
Texts texts(const Input& input);

} // namespace ProcessDetail

// The advice block of the detail pane: the next step the local advice names and the optional AI group.
namespace AISection {

struct Input {
    LocalProcessAdvice advice;
    std::optional<AutomaticProcessAdvice::Entry> entry; // the automatic entry still matching the process
    bool hasDecision = false;                           // a manual decision is published
    bool aiBusy = false;
    std::optional<QString> aiError;
    QString model; // the configured model name, as stored
    bool isMuted = false;
    bool isMonitoring = true;
    bool isSampling = false;
    bool isPreview = false;
    // Asked only outside preview mode: a running application owns the process.
    std::function<bool()> hasOwningApplication;
};

// One next-step button.
struct Step {
    enum class Action { inspect, mute, refresh };
    Action action = Action::inspect;
    QString title;
    bool enabled = false;
};

// What the AI group's status area shows: the first state that holds.
enum class Status { busy, adviceShown, automaticPending, request };

struct Texts {
    QList<Step> steps;
    bool showsAIGroup = false;
    Status status = Status::request;
    QString statusText; // the progress line, the two notes, or the request hint
    bool cancelEnabled = false;
    QString requestTitle;
    bool requestEnabled = false;
    std::optional<QString> error; // the error row; its settings button is always enabled
};
Texts texts(const Input& input);

} // namespace AISection
} // namespace lunorvale
