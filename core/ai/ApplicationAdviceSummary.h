#pragma once

#include "core/ai/AIChatExchange.h"
#include "core/applications/InstalledApplication.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace lunorvale {

// One application as the AI service may see it: never its location, executable, identity or guidance.
struct ApplicationAdviceItem {
    QString name;
    QString bundleIdentifier;
    QString version;
    std::optional<int64_t> bundleBytes; // absent when not measured
    bool runningInCurrentSnapshot = false;
    std::optional<QString> removalRestriction;

    ApplicationAdviceItem() = default;
    ApplicationAdviceItem(const InstalledApplication& application, std::optional<int64_t> bundleBytes,
                          bool running);

    // Keys are the field names; "bundleBytes" and "removalRestriction" only when present.
    QJsonObject toJson() const;
    // Absent when one of the four required keys is missing or of the wrong type.
    static std::optional<ApplicationAdviceItem> fromJson(const QJsonObject& object);

    friend bool operator==(const ApplicationAdviceItem&, const ApplicationAdviceItem&) = default;
};

// The list of applications the user selected, as the JSON text sent to the AI service.
namespace ApplicationAdviceSummary {

constexpr qsizetype maximumApplications = 20;
// The list is sent as a request's summary, so it has the summary's limit.
constexpr qsizetype maximumBytes = AIChatExchange::maximumSummaryBytes;

// Pretty-printed, keys sorted at every level, slashes unescaped. Throws ApplicationManagementError for
// fewer than 1 or more than 20 items, or a document over 8192 UTF-8 bytes.
QString make(const QList<ApplicationAdviceItem>& items);

} // namespace ApplicationAdviceSummary
} // namespace lunorvale
