#pragma once

#include <QDateTime>
#include <QString>
#include <cmath>
#include <optional>

namespace lunorvale {

// A moment as stored JSON keeps it: seconds since 2001-01-01 00:00:00 UTC with the whole fraction
// the file holds. QDateTime keeps milliseconds only, so a date held in one would change on every
// save and dates less than a millisecond apart would tie.
struct StoredDate {
    double seconds = 0; // not a number for an invalid date

    static StoredDate from(const QDateTime& date);
    static StoredDate now();
    // To the nearest millisecond; invalid where QDateTime cannot hold the moment.
    QDateTime toDateTime() const;

    friend bool operator==(const StoredDate& a, const StoredDate& b) {
        return a.seconds == b.seconds || (std::isnan(a.seconds) && std::isnan(b.seconds));
    }
    friend bool operator<(const StoredDate& a, const StoredDate& b) { return a.seconds < b.seconds; }
    friend bool operator>(const StoredDate& a, const StoredDate& b) { return a.seconds > b.seconds; }
    friend bool operator<=(const StoredDate& a, const StoredDate& b) { return a.seconds <= b.seconds; }
    friend bool operator>=(const StoredDate& a, const StoredDate& b) { return a.seconds >= b.seconds; }
};

namespace StoredDates {

// Stored JSON writes dates as seconds since 2001-01-01 00:00:00 UTC, fraction kept.
double secondsSinceReferenceDate(const QDateTime& date);
// Absent for a value that is not finite or lies beyond the years QDateTime can hold.
std::optional<QDateTime> fromSecondsSinceReferenceDate(double seconds);
// "2026-01-31T08:05:09Z": UTC, whole seconds (the fraction is cut off).
QString iso8601(const QDateTime& date);
QString iso8601(const StoredDate& date);

} // namespace StoredDates
} // namespace lunorvale
