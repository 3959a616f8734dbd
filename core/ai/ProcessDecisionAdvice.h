#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

namespace lunorvale {

// The decision the AI service returns for one busy process, with one short reason.
struct ProcessDecisionAdvice {
    enum class Decision { checkProgress, keepObserving, considerQuitting };

    Decision decision = Decision::checkProgress;
    QString reason;

    static QString rawValue(Decision decision);
    // Exactly the three wire forms, case-sensitive.
    static std::optional<Decision> decisionFromRawValue(const QString& rawValue);
    static QString title(Decision decision);

    // The system prompt that asks for the JSON answer.
    static QString instructions();
    static ProcessDecisionAdvice fallback();

    // Throws AIServiceError(invalidResponse) on every malformed reply; no partial result.
    static ProcessDecisionAdvice parse(const QString& reply);

    QJsonObject toJson() const;
    static std::optional<ProcessDecisionAdvice> fromJson(const QJsonObject& object);

    friend bool operator==(const ProcessDecisionAdvice&, const ProcessDecisionAdvice&) = default;
};

} // namespace lunorvale
