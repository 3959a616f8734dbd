#include "core/common/StoredDates.h"

#include <cmath>

namespace lunorvale::StoredDates {
namespace {
constexpr qint64 referenceDateMSecs = 978307200000; // 2001-01-01T00:00:00Z since 1970
// About ±300,000 years: far beyond any real date, well inside what QDateTime can hold.
constexpr double largestSeconds = 1e13;
} // namespace

double secondsSinceReferenceDate(const QDateTime& date) {
    return static_cast<double>(date.toMSecsSinceEpoch() - referenceDateMSecs) / 1000.0;
}

std::optional<QDateTime> fromSecondsSinceReferenceDate(double seconds) {
    if (!std::isfinite(seconds) || std::fabs(seconds) > largestSeconds)
        return std::nullopt;
    const qint64 msecs = std::llround(seconds * 1000.0) + referenceDateMSecs;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

QString iso8601(const QDateTime& date) {
    const QDateTime utc = date.toUTC();
    // Qt drops the milliseconds of ISODate; flooring keeps dates before 1970 on the earlier second too.
    const qint64 msecs = utc.toMSecsSinceEpoch();
    const qint64 floored = msecs - ((msecs % 1000) + 1000) % 1000;
    return QDateTime::fromMSecsSinceEpoch(floored, Qt::UTC).toString(Qt::ISODate);
}

} // namespace lunorvale::StoredDates
