#pragma once

#include "core/monitoring/ApplicationResourceGroup.h"
#include "core/monitoring/Finding.h"
#include "core/monitoring/MemoryObservation.h"

#include <QList>
#include <QString>
#include <optional>

namespace lunorvale {

// What the tray icon shows: the number of current resource reminders and the version of an update
// on offer.
struct StatusItemState {
    int count = 0;
    std::optional<QString> availableVersion;

    friend bool operator==(const StatusItemState&, const StatusItemState&) = default;
};

namespace StatusItemText {

// Findings, plus memory observations, plus application findings none of whose processes is itself a
// finding: an application whose own process is flagged is not counted twice.
int reminderCount(const QList<Finding>& findings, const QList<MemoryObservation>& memoryObservations,
                  const QList<ApplicationCPUFinding>& applicationFindings);

// " 2", " 2 ↑", " ↑" or empty.
QString title(const StatusItemState& state);
// "岚栖 · 2 项资源提醒 · 1.1.1 可更新" and the like; plain text.
QString toolTip(const StatusItemState& state);
// The tooltip for tray hosts that read markup: the text escaped inside a rich-text envelope, so a
// version holding "<b>" shows those characters instead of bold text, and kept on one line (Qt's
// tooltip wraps rich text to a narrow width unless told otherwise).
QString toolTipMarkup(const QString& plainText);
// The tooltip as a tray host takes it: the plain text for a panel that draws tooltips itself (a
// StatusNotifierItem host, where markup would show as it is written), the markup for Qt's own tooltip.
QString toolTipForHost(const QString& plainText, bool hostReadsMarkup);

} // namespace StatusItemText
} // namespace lunorvale
