#include "core/common/StoredDates.h"

#include <cmath>
#include <limits>

namespace lunorvale {
namespace {
constexpr qint64 referenceDateMSecs = 978307200000; // 2001-01-01T00:00:00Z since 1970
// About ±300,000 years: far beyond any real date, well inside what QDateTime can hold.
constexpr double largestSeconds = 1e13;
} // namespace

StoredDate StoredDate::from(const QDateTime& date) {
    if (!date.isValid())
        return StoredDate{std::numeric_limits<double>::quiet_NaN()};
    return StoredDate{StoredDates::secondsSinceReferenceDate(date)};
}

StoredDate StoredDate::now() {
    return from(QDateTime::currentDateTimeUtc());
}

QDateTime StoredDate::toDateTime() const {
    return StoredDates::fromSecondsSinceReferenceDate(seconds).value_or(QDateTime());
}

namespace StoredDates {

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

QString iso8601(const StoredDate& date) {
    if (!std::isfinite(date.seconds) || std::fabs(date.seconds) > largestSeconds)
        return {};
    const qint64 wholeSeconds = static_cast<qint64>(std::floor(date.seconds));
    return QDateTime::fromMSecsSinceEpoch(wholeSeconds * 1000 + referenceDateMSecs, Qt::UTC)
        .toString(Qt::ISODate);
}

} // namespace StoredDates
} // namespace lunorvale
