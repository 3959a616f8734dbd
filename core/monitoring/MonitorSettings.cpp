#include "core/monitoring/MonitorSettings.h"

#include <QJsonDocument>
#include <algorithm>
#include <cmath>

namespace lunorvale {

double RuleLimits::safe(double value) const {
    return std::clamp(std::isfinite(value) ? value : fallback, low, high);
}

bool RuleLimits::admits(double value) const {
    return std::isfinite(value) && value >= low && value <= high;
}

QString RuleLimits::rangeText() const {
    return QString::number(low) + u'–' + QString::number(high);
}

double MonitorSettings::countedLength(double seconds) const {
    // Samples follow a timer and are stamped when their collection ends, so n intervals add up to a few
    // milliseconds more or less than n intervals. Measured as it is, a run would reach a duration of a
    // whole number of intervals only about half the time and be reported one sample late otherwise.
    // A tenth of an interval stays far above that jitter; a length further from a whole number of
    // intervals is one the run really had (a late sample, a manual one in between) and is kept.
    const double interval = safeInterval();
    const double intervals = std::round(seconds / interval);
    if (intervals >= 1 && std::abs(seconds - intervals * interval) <= interval / 10)
        return intervals * interval;
    return seconds;
}

QJsonObject MonitorSettings::toJson() const {
    return QJsonObject{{QStringLiteral("sampleInterval"), sampleInterval},
                       {QStringLiteral("cpuThreshold"), cpuThreshold},
                       {QStringLiteral("sustainedSeconds"), sustainedSeconds},
                       {QStringLiteral("notificationsEnabled"), notificationsEnabled}};
}

std::optional<MonitorSettings> MonitorSettings::fromJson(const QJsonObject& object) {
    const auto interval = object.value(QStringLiteral("sampleInterval"));
    const auto threshold = object.value(QStringLiteral("cpuThreshold"));
    const auto duration = object.value(QStringLiteral("sustainedSeconds"));
    const auto notifications = object.value(QStringLiteral("notificationsEnabled"));
    if (!interval.isDouble() || !threshold.isDouble() || !duration.isDouble() || !notifications.isBool())
        return std::nullopt;
    return MonitorSettings{interval.toDouble(), threshold.toDouble(), duration.toDouble(),
                           notifications.toBool()};
}

std::optional<MonitorSettings> MonitorSettings::fromJsonText(const QByteArray& text) {
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJson(document.object());
}

} // namespace lunorvale
