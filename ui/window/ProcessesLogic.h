#pragma once

#include "core/monitoring/Finding.h"
#include "core/monitoring/LocalProcessAdvice.h"
#include "core/monitoring/ProcessSample.h"
#include "core/monitoring/ProcessSort.h"

#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace lunorvale {

// Which processes the list shows: every one, those with a finding, the muted ones.
enum class ProcessFilter { all, attention, muted };

// What the processes page shows, derived from the model without a widget.
namespace ProcessesLogic {

// A data text (a name, a source label, a title) fit for a one-line place: every line break and other
// control character shows as one blank.
QString oneLine(const QString& text);

// The filters in the picker's order, and their labels.
const QList<ProcessFilter>& filterKeys();
QString filterLabel(ProcessFilter filter);
QString sortLabel(ProcessSort sort);

// The text a search runs against, folded so that a case-insensitive search is a plain `contains`: the
// name, a blank, the source (the name when it has none), a blank and the pid.
QString foldedSearchText(const ProcessSample& sample);
// The search text trimmed and folded the same way; empty keeps every process.
QString foldedQuery(const QString& search);
// Whether a process whose folded search text is `folded` passes the folded query.
bool matches(const QString& folded, const QString& query);

struct Filter {
    ProcessFilter key = ProcessFilter::all;
    QSet<ProcessIdentity> flagged; // the identities of the findings
    QSet<ProcessIdentity> muted;   // the processes whose reminders are muted now

    bool keeps(const ProcessIdentity& identity) const;

    friend bool operator==(const Filter&, const Filter&) = default;
};
QSet<ProcessIdentity> flaggedIdentities(const QList<Finding>& findings);

// The processes the list shows: the model's order kept, each passing the search and the filter.
// `folded` gives a process's folded search text (computed here when empty).
QList<ProcessSample> visibleProcesses(const QList<ProcessSample>& ordered, const QString& search,
                                      const Filter& filter,
                                      const std::function<QString(const ProcessSample&)>& folded = {});

// "N 个"
QString countLabel(qsizetype visible);

struct EmptyTexts {
    QString title;
    QString detail;
};
// For an empty visible list: no sample yet, or nothing matches.
EmptyTexts emptyList(bool noProcesses);

// The right-hand pane.
enum class SidePane { detail, missingProcess, selectionPrompt };
struct SideChoice {
    SidePane pane = SidePane::selectionPrompt;
    std::optional<ProcessSample> sample; // for `detail`: the selected process in the whole sample
};
SideChoice sidePane(const QList<ProcessSample>& processes, const std::optional<ProcessIdentity>& selected,
                    const std::optional<ProcessIdentity>& openedNotification);

// The card shown when the process of an opened reminder is not in the sample: the local advice for
// no process, and one button that samples (or resumes observing).
struct MissingProcessCard {
    QString title;
    QString reason;
    QString nextStep;
    QString buttonTitle;
    bool buttonEnabled = false;
};
MissingProcessCard missingProcessCard(const LocalProcessAdvice& adviceForNoProcess, bool isMonitoring,
                                      bool isSampling, bool isPreview);

} // namespace ProcessesLogic
} // namespace lunorvale
