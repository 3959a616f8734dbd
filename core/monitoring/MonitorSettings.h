#pragma once

#include <QJsonObject>
#include <optional>

namespace lunorvale {

// The user's observation rules. Stored values are never trusted: readers use the safe accessors.
struct MonitorSettings {
    double sampleInterval = 30;    // seconds
    double cpuThreshold = 90;      // percent of one core
    double sustainedSeconds = 300; // seconds
    bool notificationsEnabled = false;

    double safeInterval() const;
    double safeThreshold() const;
    double safeDuration() const;

    QJsonObject toJson() const;
    // All four keys with their types are required; anything else fails as a whole.
    static std::optional<MonitorSettings> fromJson(const QJsonObject& object);
    static std::optional<MonitorSettings> fromJsonText(const QByteArray& text);

    friend bool operator==(const MonitorSettings&, const MonitorSettings&) = default;
};

} // namespace lunorvale
