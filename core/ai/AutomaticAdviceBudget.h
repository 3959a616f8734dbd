#pragma once

#include <QDateTime>
#include <QList>

namespace lunorvale {

// The rate limit of automatic advice: at most 3 requests in any hour and 12 in any day.
struct AutomaticAdviceBudget {
    // Start times of the granted requests, oldest first.
    QList<QDateTime> attempts;

    static constexpr qint64 dayWindowSeconds = 86400;
    static constexpr qint64 hourWindowSeconds = 3600;
    static constexpr qsizetype maximumPerDay = 12;
    static constexpr qsizetype maximumPerHour = 3;

    // True when a request may start at `date`; the date is then recorded. Attempts older than a day, and
    // damaged ones (invalid, or more than a day after `date`), are dropped even when the answer is false,
    // so the caller persists `attempts` after every call.
    bool reserve(const QDateTime& date);
};

} // namespace lunorvale
