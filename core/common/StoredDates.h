#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace lunorvale::StoredDates {

// Stored JSON writes dates as seconds since 2001-01-01 00:00:00 UTC, fraction kept.
double secondsSinceReferenceDate(const QDateTime& date);
// Absent for a value that is not finite or lies beyond the years QDateTime can hold.
std::optional<QDateTime> fromSecondsSinceReferenceDate(double seconds);
// "2026-01-31T08:05:09Z": UTC, whole seconds (the fraction is cut off).
QString iso8601(const QDateTime& date);

} // namespace lunorvale::StoredDates
