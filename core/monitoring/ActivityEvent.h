#pragma once

#include "core/common/StoredDates.h"

#include <QString>
#include <QUuid>
#include <optional>

namespace lunorvale {

// One entry of the activity history. Its stored form is written by the history store.
struct ActivityEvent {
    QUuid id = QUuid::createUuid();
    StoredDate date = StoredDate::now();
    QString title;
    QString detail;
    std::optional<QString> category; // "finding", "monitoring", "muted", "action", ...

    friend bool operator==(const ActivityEvent&, const ActivityEvent&) = default;
};

} // namespace lunorvale

// Its values move as bytes: a list of events opens and closes gaps with one memmove.
Q_DECLARE_TYPEINFO(lunorvale::ActivityEvent, Q_RELOCATABLE_TYPE);
