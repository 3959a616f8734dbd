#include "core/monitoring/MonitorSettings.h"

#include <QJsonDocument>
#include <algorithm>
#include <cmath>

namespace lunorvale {
namespace {
double safe(double value, double fallback, double low, double high) {
    if (!std::isfinite(value))
        value = fallback;
    return std::clamp(value, low, high);
}
} // namespace

double MonitorSettings::safeInterval() const {
    return safe(sampleInterval, 30, 5, 120);
}
double MonitorSettings::safeThreshold() const {
    return safe(cpuThreshold, 90, 10, 1600);
}
double MonitorSettings::safeDuration() const {
    return safe(sustainedSeconds, 300, 30, 3600);
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
