// Replies of an AI service: the status decides the error; a reply's text is kept only trimmed, never
// empty and free of unsafe characters; a chat reply carrying any text gives back exactly that text made
// safe; a decision that parses keeps to its limits and survives being written and parsed again. The
// same text shown verbatim is one line of characters that all show, and copies back to itself.

#include "core/ai/AIChatExchange.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIText.h"
#include "core/ai/ProcessDecisionAdvice.h"
#include "core/common/SafeText.h"
#include "fuzz/support/Fuzz.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <fuzzer/FuzzedDataProvider.h>

using namespace lunorvale;
using lunorvale::fuzz::check;
using Kind = AIServiceError::Kind;

namespace {

std::optional<QString> decoded(const QByteArray& data, int status, std::optional<AIServiceError>& error) {
    try {
        return AIChatExchange::decode(data, status);
    } catch (const AIServiceError& thrown) {
        error = thrown;
        return std::nullopt;
    }
}

bool safe(const QString& text) {
    return !text.isEmpty() && AIText::trimmed(text) == text &&
           SafeText::withoutUnsafeCharacters(text) == text;
}

Kind expectedKind(int status, qsizetype size) {
    if (size > AIChatExchange::replyCap)
        return Kind::responseTooLarge;
    if (status >= 300 && status <= 399)
        return Kind::redirected;
    if (status == 401 || status == 403)
        return Kind::unauthorized;
    if (status == 429)
        return Kind::rateLimited;
    if (status >= 500 && status <= 599)
        return Kind::serverUnavailable;
    if (status >= 200 && status <= 299)
        return Kind::invalidResponse;
    return Kind::rejected; // or modelUnavailable, for the two model codes
}

QByteArray chatReply(const QString& content) {
    const QJsonObject message{{QStringLiteral("content"), content}};
    const QJsonObject choice{{QStringLiteral("message"), message}};
    return QJsonDocument(QJsonObject{{QStringLiteral("choices"), QJsonArray{choice}}}).toJson();
}

void checkDecision(const QString& reply) {
    std::optional<ProcessDecisionAdvice> advice;
    try {
        advice = ProcessDecisionAdvice::parse(reply);
    } catch (const AIServiceError& error) {
        check(error.kind() == Kind::invalidResponse, "a decision fails only as an invalid response");
        return;
    }
    check(safe(advice->reason) && !AIText::containsControlCharacter(advice->reason) &&
              AIText::characterCount(advice->reason) <= 80,
          "a decision's reason is trimmed, safe, free of control characters and at most 80 characters");
    const QString written = QString::fromUtf8(QJsonDocument(advice->toJson()).toJson(QJsonDocument::Compact));
    check(ProcessDecisionAdvice::parse(written) == *advice, "a decision written out parses to itself");
    check(ProcessDecisionAdvice::parse("```json\n" + written + "```") == *advice,
          "a fenced decision parses as the bare one");
}

} // namespace

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    return {
        QByteArray("\x00\xC8", 2) + chatReply(QStringLiteral("  建议 \n")),
        QByteArray("\x00\xC8", 2) + R"({"choices":[{"message":{"content":"x"}},{"message":{}}]})",
        QByteArray("\x01\x94", 2) + R"({"error":{"code":"model_not_found"}})",
        QByteArray("\x01\x97", 2) + R"({"error":{"code":"invalid_model"}})",
        QByteArray("\x00\xC8", 2) + R"({"decision":"keep_observing","reason":"有进展"})",
        QByteArray("\x00\xC8", 2) + "```json\n{\"decision\":\"check_progress\",\"reason\":\"\\u202e\"}\n```",
        // A file name for the verbatim form: an isolate's end, an override, backslashes before escapes.
        QByteArray("\x00\xC8", 2) + "H11\xE2\x81\xA9\xE2\x80\xAE\\u202E\\\\n\n.app\\",
    };
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider provider(bytes, size);
    const int status = provider.ConsumeIntegralInRange(100, 699);
    const std::string rest = provider.ConsumeRemainingBytesAsString();
    const QByteArray data = QByteArray::fromStdString(rest);

    std::optional<AIServiceError> error;
    const std::optional<QString> text = decoded(data, status, error);
    if (text) {
        check(status >= 200 && status <= 299, "only a 2xx reply has text");
        check(safe(*text), "reply text is trimmed, not empty and safe");
        checkDecision(*text);
    } else {
        const Kind expected = expectedKind(status, data.size());
        const bool modelCode = expected == Kind::rejected && error->kind() == Kind::modelUnavailable;
        check(error->kind() == expected || modelCode, "the status decides the error");
        check(error->kind() != Kind::rejected || error->payload() == status, "a rejection names its status");
    }

    // The same bytes as the text of a chat reply, and as a decision reply.
    const QString content = QString::fromUtf8(data);
    const QString expected = AIText::trimmed(SafeText::withoutUnsafeCharacters(content));
    std::optional<AIServiceError> chatError;
    const std::optional<QString> chatText = decoded(chatReply(content), 200, chatError);
    if (chatReply(content).size() <= AIChatExchange::replyCap)
        check(expected.isEmpty() ? !chatText && chatError->kind() == Kind::invalidResponse
                                 : chatText == expected,
              "a chat reply gives back its content, trimmed and made safe");
    checkDecision(content);

    const QString shown = SafeText::verbatim(content);
    const QString inner = shown.mid(1, shown.size() - 2);
    check(shown.startsWith(QChar(0x2066)) && shown.endsWith(QChar(0x2069)) &&
              SafeText::withoutUnsafeCharacters(inner) == inner &&
              std::none_of(inner.cbegin(), inner.cend(),
                           [](QChar c) {
                               return c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator ||
                                      c == QChar::ParagraphSeparator;
                           }),
          "a verbatim text shows every character on one line, between its isolates");
    check(SafeText::copied(shown, 0, shown.size()) == content, "a verbatim text copies back to itself");
    return 0;
}
