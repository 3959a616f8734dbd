#pragma once

#include "app/advice/AutomaticProcessAdvice.h"
#include "core/monitoring/ApplicationResourceGroup.h"
#include "core/monitoring/Finding.h"
#include "core/monitoring/LocalProcessAdvice.h"
#include "core/monitoring/MemoryObservation.h"
#include "core/monitoring/MonitorSettings.h"
#include "core/monitoring/SystemMemory.h"
#include "ui/kit/Palette.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace lunorvale {

// What the overview page shows, derived afresh from the model on every refresh.
namespace OverviewLogic {

// The findings as the overview shows them: the chips in their order and the finding of the priority
// card. The model orders its findings by CPU afresh at every sample; shown in that order, two flagged
// processes of similar load swap the card and the chips under the user's hand. So what is shown stays
// in place: chips that remain keep their order and new ones follow (in the model's order); the primary
// finding is the user's pick while it is flagged, else the one shown before while it is flagged, else
// the first chip.
struct FindingOrder {
    QList<ProcessIdentity> chips; // each finding's process once
    std::optional<ProcessIdentity> primary;

    friend bool operator==(const FindingOrder&, const FindingOrder&) = default;
};
FindingOrder findingOrder(const QList<Finding>& findings, const std::optional<ProcessIdentity>& preferred,
                          const FindingOrder& shown = {});
// The finding of `identity` in `findings`; null when there is none.
const Finding* findingOf(const QList<Finding>& findings, const std::optional<ProcessIdentity>& identity);

// At most three of the processes ordered by CPU, without the primary finding's process.
QList<ProcessSample> topList(const QList<ProcessSample>& orderedByCPU, const Finding* primary);
QString topListTitle(const Finding* primary);

// A finding chip's label: the process's name, then its figures. With `namesake` (another flagged process
// has the same name) it tells the two apart by the PID.
QString chipTitle(const Finding& finding, bool namesake);
// What follows the name in the chip's label (" · PID 12 · 95.0%"), shown whole however long the name.
QString chipFigures(const Finding& finding, bool namesake);
// A chip's width in a row `room` wide: its natural width, so that every name shows whole and the row
// scrolls when the chips together are wider; only a chip wider than the row by itself narrows to the
// row, its name cut, and never below its `smallest`.
int chipWidth(int natural, int smallest, int room);
bool hasNamesake(const QList<Finding>& findings, const Finding& finding);

// The resting panel, shown while no priority card is.
struct RestingState {
    enum class Kind { collectionError, paused, baseline, resourceChanges, quiet };
    enum class Action { sampleNow, resumeMonitoring, showResources, showProcesses };

    Kind kind = Kind::quiet;
    QString title;
    QString detail;
    QString buttonTitle;
    Action action = Action::showProcesses;
    bool buttonEnabled = true;
    bool offersReminderSettings = false; // the "设置提醒" button

    friend bool operator==(const RestingState&, const RestingState&) = default;
};

struct RestingInputs {
    std::optional<QString> collectionError;
    bool isMonitoring = true;
    bool hasSample = false; // a sample has completed
    int attentionCount = 0;
    bool isSampling = false;
    bool isPreview = false;
    bool notificationsEnabled = false;
};
RestingState restingState(const RestingInputs& inputs);

// What asking for AI advice on a process does, decided in the order of the steps.
enum class AnalysisRoute {
    openProcessOnly,    // not a high-CPU state: only the process is shown
    openAISettings,     // selected and expanded, then the AI settings (no model name set)
    showExistingAdvice, // selected, expanded and shown: advice is there or on its way
    askConsent,         // selected, expanded, shown, and the consent sheet
    analyze,            // selected, expanded, shown, and analysed at once (automatic advice authorised)
};
struct AnalysisInputs {
    LocalProcessAdvice::State adviceState = LocalProcessAdvice::State::ordinary;
    QString aiModel; // as configured
    std::optional<AutomaticProcessAdvice::Entry> entry;
    bool hasManualDecision = false;
    bool automaticAdviceEnabled = false;
};
AnalysisRoute analysisRoute(const AnalysisInputs& inputs);

bool isHighCPU(LocalProcessAdvice::State state);

// The AI line of the full advice panel.
struct AdviceAILine {
    enum class Kind { none, decision, pending, failure };
    Kind kind = Kind::none;
    QString text; // the decision's reason, or the note

    friend bool operator==(const AdviceAILine&, const AdviceAILine&) = default;
};
AdviceAILine adviceAILine(LocalProcessAdvice::State state, const std::optional<ProcessDecisionAdvice>& manual,
                          const std::optional<AutomaticProcessAdvice::Entry>& entry);

// The priority card's texts and which of its actions can run.
struct PriorityTaskTexts {
    QString subtitle;
    QString inspectTitle;
    bool inspectEnabled = true;
    bool stopEnabled = true;
    bool muteEnabled = true;
    QString footnote;
    QString thresholdNote;

    friend bool operator==(const PriorityTaskTexts&, const PriorityTaskTexts&) = default;
};
struct PriorityTaskInputs {
    bool isPreview = false;
    bool stopping = false;
    // Asked only when the answer matters (not in preview; not while stopping).
    std::function<bool()> ownerFound;
    std::function<bool()> canStop;
    MonitorSettings settings;
};
PriorityTaskTexts priorityTask(const Finding& finding, const PriorityTaskInputs& inputs);

// The resource overview strip.
struct PressureLabel {
    QString word;
    AdaptiveColor color;
};
PressureLabel pressure(const std::optional<SystemMemorySnapshot>& memory);
// The amber sentence under the strip's first row; absent when there is nothing to say.
std::optional<QString> stripObservation(const QList<MemoryObservation>& memory,
                                        const QList<ApplicationCPUFinding>& applications);

} // namespace OverviewLogic
} // namespace lunorvale
