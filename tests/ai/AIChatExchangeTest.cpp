#include "core/ai/AIChatExchange.h"
#include "AIFailure.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/ProcessDecisionAdvice.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

using namespace lunorvale;
using lunorvale::test::failureOf;
using Kind = AIServiceError::Kind;

namespace {

AIChatRequest request(const QString& base, const QString& model, const QString& key = "k",
                      const QString& summary = "s") {
    return AIChatExchange::makeRequest(summary, {base, model}, key, AIAnalysisPurpose::process);
}

} // namespace

TEST(AIChatExchange, RequestShapeAndMemberOrder) {
    const AIChatRequest built = AIChatExchange::makeRequest(
        QStringLiteral("  摘要\n"), {"https://api.openai.com/v1/", " gpt-5.6-luna "}, "  sk-test  ",
        AIAnalysisPurpose::processDecision);
    EXPECT_EQ(built.endpoint.toString(), QStringLiteral("https://api.openai.com/v1/chat/completions"));
    EXPECT_EQ(built.method, QStringLiteral("POST"));
    EXPECT_EQ(built.header("content-type"), "application/json");
    EXPECT_EQ(built.header("Accept"), "application/json");
    EXPECT_EQ(built.header("Authorization"), "Bearer sk-test");
    const QByteArray prompt = QJsonDocument(QJsonObject{{"c", ProcessDecisionAdvice::instructions()}})
                                  .toJson(QJsonDocument::Compact);
    const QByteArray expected = R"({"model":"gpt-5.6-luna","messages":[{"role":"system","content":)" +
                                prompt.mid(5, prompt.size() - 6) +
                                R"(},{"role":"user","content":"  摘要\n"}],"store":false,)"
                                R"("max_completion_tokens":900,"reasoning_effort":"none"})";
    EXPECT_EQ(built.body, expected);
    EXPECT_EQ(request("https://api.deepseek.com", "m").endpoint.path(), QStringLiteral("/chat/completions"));
}

TEST(AIChatExchange, PerPresetOptions) {
    const QString ws = QStringLiteral("https://ws1.cn-beijing.maas.aliyuncs.com/compatible-mode/v1");
    const QList<std::tuple<QString, QString, QByteArray>> cases{
        {"https://api.deepseek.com", "deepseek-v4-pro",
         R"("max_tokens":900,"thinking":{"type":"disabled"}})"},
        {"https://api.deepseek.com", "other", R"("store":false,"max_tokens":900})"},
        {"https://api.openai.com/v1", "gpt-5.6-terra",
         R"("max_completion_tokens":900,"reasoning_effort":"none"})"},
        {"https://api.openai.com/v1", "gpt-4.1-mini", R"("store":false,"max_completion_tokens":900})"},
        {ws, "qwen3.8-max", R"("max_completion_tokens":900,"enable_thinking":false})"},
        {"https://dashscope-intl.aliyuncs.com/compatible-mode/v1", "Qwen3.8-max",
         R"("store":false,"max_completion_tokens":900})"},
        {"http://localhost:11434/v1", "llama", R"("store":false,"max_tokens":900})"},
        {"https://example.invalid/v1", "deepseek-v4-pro", R"("store":false,"max_completion_tokens":900})"},
    };
    for (const auto& [base, model, tail] : cases)
        EXPECT_TRUE(request(base, model).body.endsWith(tail))
            << base.toStdString() << " " << model.toStdString();
}

TEST(AIChatExchange, InputChecks) {
    const QString remote = QStringLiteral("https://example.invalid/v1");
    const QList<std::tuple<QString, QString, QString, QString, std::optional<Kind>>> cases{
        {"s", "http://example.invalid", "m", "k", Kind::invalidEndpoint},
        {"s", remote, "   ", "k", Kind::missingModel},
        {"s", remote, QString(200, 'm'), "k", std::nullopt},
        {"s", remote, QString(201, 'm'), "k", Kind::missingModel},
        {"s", remote, "m", "key\n", Kind::missingAPIKey},
        {"s", remote, "m", "k\tey", Kind::missingAPIKey},
        {"s", remote, "m", "   ", Kind::missingAPIKey},
        {"s", remote, "m", QString(8192, 'k'), std::nullopt},
        {"s", remote, "m", QString(8193, 'k'), Kind::missingAPIKey},
        // Only a host written as a loopback name may go without a key.
        {"s", "https://2130706433/v1", "m", "", Kind::missingAPIKey},
        {" \n ", remote, "m", "k", Kind::invalidSummary},
        {QString(8192, 's'), remote, "m", "k", std::nullopt},
        {QString(8193, 's'), remote, "m", "k", Kind::invalidSummary},
    };
    for (const auto& row : cases) {
        const auto& [summary, base, model, key, kind] = row;
        const auto error = failureOf(
            [&] { request(std::get<1>(row), std::get<2>(row), std::get<3>(row), std::get<0>(row)); });
        EXPECT_EQ(error ? std::optional(error->kind()) : std::nullopt, kind)
            << base.toStdString() << " model " << model.size() << " key " << key.toStdString();
    }
    for (const QString base : {"http://127.0.0.1:9/v1", "http://localhost:9", "http://[::1]:9/v1"})
        EXPECT_FALSE(request(base, "m", "").hasHeader("Authorization")) << base.toStdString();
}

// What is kept of a reply never holds characters that hide or reorder text on screen.
TEST(AIChatExchange, DecodeMapsEveryStatusAndKeepsOnlySafeText) {
    const std::pair<QByteArray, const char*> answers[] = {
        {R"({"choices":[{"message":{"content":"  答复 \n"}},{"message":{}}]})", "答复"},
        {R"({"choices":[{"message":{"content":"a\u001b[31mb\u0000c\u202ed\u2066e\ud800f\tg\r\nh\u0085i\u200fj"}}]})",
         "abcdef\tg\r\nhij"},
        {R"({"choices":[{"message":{"content":"\ud83d\ude00 \u4e2d"}}]})", "\U0001F600 中"},
    };
    for (const auto& [data, text] : answers)
        EXPECT_EQ(AIChatExchange::decode(data, 200), QString::fromUtf8(text)) << data.toStdString();

    const QList<std::tuple<int, QByteArray, AIServiceError>> failures{
        {200, R"({"choices":[]})", AIServiceError(Kind::invalidResponse)},
        {200, R"({"choices":[{"message":{"content":"  "}}]})", AIServiceError(Kind::invalidResponse)},
        {200, R"({"choices":[{"message":{"content":"\u202e\u0007\udc00"}}]})",
         AIServiceError(Kind::invalidResponse)},
        {200, R"({"choices":[{"message":{"content":null}}]})", AIServiceError(Kind::invalidResponse)},
        {200, R"({"choices":[{"message":{"content":[{"type":"text"}]}}]})",
         AIServiceError(Kind::invalidResponse)},
        // A later choice of the wrong shape spoils the reply, as it does for a strict decoder.
        {200, R"({"choices":[{"message":{"content":"x"}},{"text":"y"}]})",
         AIServiceError(Kind::invalidResponse)},
        {200, R"({"choices":[{"message":{"content":"x"}},{"message":{"content":5}}]})",
         AIServiceError(Kind::invalidResponse)},
        {200, R"({"choices":[{"message":{"content":"x"}},"y"]})", AIServiceError(Kind::invalidResponse)},
        {200, "<html>", AIServiceError(Kind::invalidResponse)},
        {200, QByteArray(131073, ' '), AIServiceError(Kind::responseTooLarge)},
        {302, "", AIServiceError(Kind::redirected)},
        {401, "", AIServiceError(Kind::unauthorized)},
        {403, R"({"error":{"code":"model_not_found"}})", AIServiceError(Kind::unauthorized)},
        {429, "", AIServiceError(Kind::rateLimited)},
        {503, R"({"error":{"code":"invalid_model"}})", AIServiceError(Kind::serverUnavailable)},
        {404, R"({"error":{"code":"model_not_found"}})", AIServiceError(Kind::modelUnavailable)},
        {407, R"({"error":{"code":"model_not_found"}})", AIServiceError(Kind::modelUnavailable)},
        {400, R"({"error":{"code":"invalid_model","message":"x"}})", AIServiceError(Kind::modelUnavailable)},
        {400, "<html>bad</html>", AIServiceError::rejected(400)},
        {407, "", AIServiceError::rejected(407)},
        {404, R"({"error":{"code":"other"}})", AIServiceError::rejected(404)},
        {422, R"({"error":{"code":7}})", AIServiceError::rejected(422)},
        {199, R"({"error":{}})", AIServiceError::rejected(199)},
        {600, "", AIServiceError::rejected(600)},
    };
    for (const auto& row : failures)
        EXPECT_EQ(failureOf([&] { AIChatExchange::decode(std::get<1>(row), std::get<0>(row)); }),
                  std::get<2>(row))
            << std::get<0>(row) << " " << std::get<1>(row).left(60).toStdString();
}
