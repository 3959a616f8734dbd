#pragma once

#include "core/monitoring/ActivityEvent.h"
#include "ui/kit/Palette.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <string_view>

namespace lunorvale {

// Which entries the history shows: every one, the alerts, or the actions and states.
enum class HistoryFilter { all, alerts, actions };

// What the history page shows, derived from the model without a widget.
namespace HistoryLogic {

// The filters in the picker's order, and their labels.
const QList<HistoryFilter>& filterKeys();
QString filterLabel(HistoryFilter filter);

// The events shown: the history's order kept, each matching the search (as typed, not trimmed, against
// "title detail", ignoring case) and the filter (alerts: titles holding "高占用", actions: the others).
QList<ActivityEvent> visibleEvents(const QList<ActivityEvent>& history, HistoryFilter filter,
                                   const QString& search);

// The symbol and colour before an entry, from its title: an alert, a stop that failed or cannot be
// confirmed, or anything else done.
struct EventIcon {
    const char* symbol;
    AdaptiveColor color;

    // By the symbol's name: the same literal may sit at another address in another file.
    friend bool operator==(const EventIcon& a, const EventIcon& b) {
        return std::string_view(a.symbol) == std::string_view(b.symbol) && a.color == b.color;
    }
};
EventIcon eventIcon(const QString& title);

struct EmptyTexts {
    QString title;
    QString detail;
};
EmptyTexts emptyList(bool historyEmpty);

// "N 条记录"
QString countLabel(qsizetype visible);
bool exportEnabled(bool historyEmpty, bool isPreview);

// The local time of an event, "2026年12月5日 16:30:05".
QString dateText(const QDateTime& date);

} // namespace HistoryLogic
} // namespace lunorvale
