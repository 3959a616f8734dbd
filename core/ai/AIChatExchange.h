#pragma once

#include "core/ai/AIAnalysisPurpose.h"
#include "core/ai/AIConfiguration.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

namespace lunorvale {

// One chat-completions request, fully built and checked, independent of any HTTP stack.
struct AIChatRequest {
    QUrl endpoint;
    QString method = QStringLiteral("POST");
    // In sending order. "Authorization" is present only when a key is given.
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body; // compact JSON

    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
};

// The wire side of the chat-completions client: building the request and reading the reply. The transport
// (platform/desktop/AIClient) only moves bytes.
namespace AIChatExchange {

inline constexpr qsizetype replyCap = 131072;
inline constexpr int requestTimeoutSeconds = 45;
inline constexpr int tokenLimit = 900;
inline constexpr qsizetype maximumModelCharacters = 200;
inline constexpr qsizetype maximumKeyBytes = 8192;
inline constexpr qsizetype maximumSummaryBytes = 8192;

// Throws AIServiceError: invalidEndpoint, missingModel, missingAPIKey or invalidSummary; nothing is sent
// before these checks pass.
AIChatRequest makeRequest(const QString& summary, const AIConfiguration& configuration, const QString& apiKey,
                          AIAnalysisPurpose purpose);

// The first choice's text, trimmed and never empty, or the AIServiceError the reply stands for.
QString decode(const QByteArray& data, int statusCode);

QString systemPrompt(AIAnalysisPurpose purpose);

} // namespace AIChatExchange
} // namespace lunorvale
