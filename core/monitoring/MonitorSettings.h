#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

namespace lunorvale {

// The range one observation rule may take and the value it reads as when the stored one is not finite.
struct RuleLimits {
    double low;
    double high;
    double fallback;

    // The fallback when not finite, else held between the bounds.
    double safe(double value) const;
    // Finite and between the bounds, both included.
    bool admits(double value) const;
    // "5–120": the bounds as the sentences about the rules write them.
    QString rangeText() const;
};

// The user's observation rules. Stored values are never trusted: readers use the safe accessors.
struct MonitorSettings {
    static constexpr RuleLimits intervalLimits{5, 120, 30};    // seconds
    static constexpr RuleLimits thresholdLimits{10, 1600, 90}; // percent of one core
    static constexpr RuleLimits durationLimits{30, 3600, 300}; // seconds

    double sampleInterval = intervalLimits.fallback;
    double cpuThreshold = thresholdLimits.fallback;
    double sustainedSeconds = durationLimits.fallback;
    bool notificationsEnabled = false;

    double safeInterval() const { return intervalLimits.safe(sampleInterval); }
    double safeThreshold() const { return thresholdLimits.safe(cpuThreshold); }
    double safeDuration() const { return durationLimits.safe(sustainedSeconds); }
    // The longest gap between two samples that still counts as continuous observation.
    double longestContinuousGap() const { return safeInterval() * 2.5; }
    // A length of observation as the rules count it: within a tenth of an interval of a whole number
    // of intervals, it is that number of intervals; otherwise it stays as measured.
    double countedLength(double seconds) const;

    QJsonObject toJson() const;
    // All four keys with their types are required; anything else fails as a whole.
    static std::optional<MonitorSettings> fromJson(const QJsonObject& object);
    static std::optional<MonitorSettings> fromJsonText(const QByteArray& text);

    friend bool operator==(const MonitorSettings&, const MonitorSettings&) = default;
};

} // namespace lunorvale
