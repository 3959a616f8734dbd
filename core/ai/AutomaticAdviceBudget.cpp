#include "core/ai/AutomaticAdviceBudget.h"

namespace lunorvale {

bool AutomaticAdviceBudget::reserve(const QDateTime& date) {
    if (!date.isValid())
        return false;
    const qint64 now = date.toMSecsSinceEpoch();
    constexpr qint64 day = dayWindowSeconds * 1000;
    constexpr qint64 hour = hourWindowSeconds * 1000;
    // A time far ahead of the clock is damage (a clock that was once set wrong); kept, it would block
    // automatic advice until that date.
    attempts.removeIf([&](const QDateTime& attempt) {
        return !attempt.isValid() || attempt.toMSecsSinceEpoch() - now > day;
    });
    for (const QDateTime& attempt : attempts) {
        if (attempt.toMSecsSinceEpoch() > now)
            return false;
    }
    attempts.removeIf([&](const QDateTime& attempt) { return now - attempt.toMSecsSinceEpoch() >= day; });
    if (attempts.size() >= maximumPerDay)
        return false;
    qsizetype lastHour = 0;
    for (const QDateTime& attempt : attempts) {
        if (now - attempt.toMSecsSinceEpoch() < hour)
            ++lastHour;
    }
    if (lastHour >= maximumPerHour)
        return false;
    attempts.append(date.toUTC());
    return true;
}

} // namespace lunorvale
