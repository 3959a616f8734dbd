#include "core/ai/AIChatExchange.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/ProcessDecisionAdvice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

using namespace lunorvale;
using Kind = AIServiceError::Kind;

namespace {

std::optional<Kind> failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AIServiceError& error) {
        return error.kind();
    }
    return std::nullopt;
}

QJsonObject bodyFor(const QString& base, const QString& model) {
    const AIChatRequest request = AIChatExchange::makeRequest(
        QStringLiteral("s"), {base, model}, QStringLiteral("k"), AIAnalysisPurpose::process);
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

TEST(AIChatExchange, SystemPromptsHaveTheirExactSize) {
    EXPECT_EQ(AIChatExchange::systemPrompt(AIAnalysisPurpose::process).toUtf8().size(), 621);
    EXPECT_EQ(AIChatExchange::systemPrompt(AIAnalysisPurpose::applications).toUtf8().size(), 1400);
    EXPECT_EQ(AIChatExchange::systemPrompt(AIAnalysisPurpose::processDecision).toUtf8().size(), 1010);
    EXPECT_EQ(ProcessDecisionAdvice::fallback().reason.toUtf8().size(), 108);
}

TEST(AIChatExchange, RequestShape) {
    const AIChatRequest request = AIChatExchange::makeRequest(
        QStringLiteral("  摘要\n"),
        {QStringLiteral("https://api.openai.com/v1/"), QStringLiteral(" gpt-5.6-luna ")},
        QStringLiteral("  sk-test  "), AIAnalysisPurpose::processDecision);
    EXPECT_EQ(request.endpoint.toString(), QStringLiteral("https://api.openai.com/v1/chat/completions"));
    EXPECT_EQ(request.method, QStringLiteral("POST"));
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.header("Accept"), "application/json");
    EXPECT_EQ(request.header("Authorization"), "Bearer sk-test");
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(body.value("model").toString(), QStringLiteral("gpt-5.6-luna"));
    EXPECT_EQ(body.value("store"), QJsonValue(false));
    const QJsonArray messages = body.value("messages").toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].toObject().value("role").toString(), QStringLiteral("system"));
    EXPECT_EQ(messages[0].toObject().value("content").toString(), ProcessDecisionAdvice::instructions());
    EXPECT_EQ(messages[1].toObject().value("role").toString(), QStringLiteral("user"));
    EXPECT_EQ(messages[1].toObject().value("content").toString(), QStringLiteral("  摘要\n"));
    EXPECT_FALSE(request.body.contains('\n')); // compact

    const AIChatRequest bare = AIChatExchange::makeRequest(
        QStringLiteral("s"), {QStringLiteral("https://api.deepseek.com"), QStringLiteral("m")},
        QStringLiteral("k"), AIAnalysisPurpose::process);
    EXPECT_EQ(bare.endpoint.path(), QStringLiteral("/chat/completions"));
}

TEST(AIChatExchange, PerPresetOptions) {
    struct Case {
        QString base, model, tokenField, option;
        QJsonValue optionValue;
    };
    const QString ws = QStringLiteral("https://ws1.cn-beijing.maas.aliyuncs.com/compatible-mode/v1");
    const QList<Case> cases{
        {"https://api.deepseek.com", "deepseek-v4-pro", "max_tokens", "thinking",
         QJsonObject{{"type", "disabled"}}},
        {"https://api.deepseek.com", "other", "max_tokens", "", {}},
        {"https://api.openai.com/v1", "gpt-5.6-terra", "max_completion_tokens", "reasoning_effort", "none"},
        {"https://api.openai.com/v1", "gpt-4.1-mini", "max_completion_tokens", "", {}},
        {ws, "qwen3.8-max", "max_completion_tokens", "enable_thinking", false},
        {"https://dashscope-intl.aliyuncs.com/compatible-mode/v1",
         "Qwen3.8-max",
         "max_completion_tokens",
         "",
         {}},
        {"http://localhost:11434/v1", "llama", "max_tokens", "", {}},
        {"https://example.invalid/v1", "deepseek-v4-pro", "max_completion_tokens", "", {}},
    };
    const QStringList allOptions{"thinking", "reasoning_effort", "enable_thinking"};
    for (const Case& c : cases) {
        const QJsonObject body = bodyFor(c.base, c.model);
        SCOPED_TRACE(c.base.toStdString() + " " + c.model.toStdString());
        EXPECT_EQ(body.value(c.tokenField), QJsonValue(900));
        const QString otherToken = c.tokenField == "max_tokens" ? "max_completion_tokens" : "max_tokens";
        EXPECT_FALSE(body.contains(otherToken));
        for (const QString& option : allOptions) {
            if (option == c.option)
                EXPECT_EQ(body.value(option), c.optionValue);
            else
                EXPECT_FALSE(body.contains(option)) << option.toStdString();
        }
    }
}

TEST(AIChatExchange, InputChecks) {
    const auto make = [](QString summary, QString base, QString model, QString key) {
        return failureOf([&] {
            AIChatExchange::makeRequest(summary, {base, model}, key, AIAnalysisPurpose::process);
        });
    };
    const QString remote = QStringLiteral("https://example.invalid/v1");
    const QString local = QStringLiteral("http://127.0.0.1:9/v1");
    EXPECT_EQ(make("s", "http://example.invalid", "m", "k"), Kind::invalidEndpoint);
    EXPECT_EQ(make("s", remote, "   ", "k"), Kind::missingModel);
    EXPECT_EQ(make("s", remote, QString(200, 'm'), "k"), std::nullopt);
    EXPECT_EQ(make("s", remote, QString(201, 'm'), "k"), Kind::missingModel);
    EXPECT_EQ(make("s", remote, "m", "key\n"), Kind::missingAPIKey);
    EXPECT_EQ(make("s", remote, "m", "k\tey"), Kind::missingAPIKey);
    EXPECT_EQ(make("s", remote, "m", ""), Kind::missingAPIKey);
    EXPECT_EQ(make("s", remote, "m", "   "), Kind::missingAPIKey);
    EXPECT_EQ(make("s", remote, "m", QString(8192, 'k')), std::nullopt);
    EXPECT_EQ(make("s", remote, "m", QString(8193, 'k')), Kind::missingAPIKey);
    EXPECT_EQ(make(" \n ", remote, "m", "k"), Kind::invalidSummary);
    EXPECT_EQ(make(QString(8192, 's'), remote, "m", "k"), std::nullopt);
    EXPECT_EQ(make(QString(8193, 's'), remote, "m", "k"), Kind::invalidSummary);
    for (const QString& base :
         {local, QStringLiteral("http://localhost:9"), QStringLiteral("http://[::1]:9/v1")}) {
        const AIChatRequest request = AIChatExchange::makeRequest(
            QStringLiteral("s"), {base, QStringLiteral("m")}, QString(), AIAnalysisPurpose::process);
        EXPECT_FALSE(request.hasHeader("Authorization")) << base.toStdString();
    }
}

TEST(AIChatExchange, DecodeMapsEveryStatus) {
    const QByteArray ok = R"({"choices":[{"message":{"content":"  答复 \n"}},{"message":{}}]})";
    EXPECT_EQ(AIChatExchange::decode(ok, 200), QStringLiteral("答复"));
    const QList<std::tuple<int, QByteArray, Kind>> failures{
        {200, R"({"choices":[]})", Kind::invalidResponse},
        {200, R"({"choices":[{"message":{"content":"  "}}]})", Kind::invalidResponse},
        {200, R"({"choices":[{"message":{"content":null}}]})", Kind::invalidResponse},
        {200, R"({"choices":[{"message":{"content":[{"type":"text"}]}}]})", Kind::invalidResponse},
        {200, "<html>", Kind::invalidResponse},
        {302, "", Kind::redirected},
        {401, "", Kind::unauthorized},
        {403, R"({"error":{"code":"model_not_found"}})", Kind::unauthorized},
        {429, "", Kind::rateLimited},
        {500, "", Kind::serverUnavailable},
        {503, R"({"error":{"code":"invalid_model"}})", Kind::serverUnavailable},
        {404, R"({"error":{"code":"model_not_found"}})", Kind::modelUnavailable},
        {400, R"({"error":{"code":"invalid_model","message":"x"}})", Kind::modelUnavailable},
    };
    for (const auto& [status, data, kind] : failures)
        EXPECT_EQ(failureOf([&] { AIChatExchange::decode(data, status); }), kind)
            << status << " " << data.toStdString();
    for (const auto& [status, data] : QList<QPair<int, QByteArray>>{{400, "<html>bad</html>"},
                                                                    {404, R"({"error":{"code":"other"}})"},
                                                                    {422, R"({"error":{"code":7}})"},
                                                                    {199, R"({"error":{}})"},
                                                                    {600, ""}}) {
        try {
            AIChatExchange::decode(data, status);
            ADD_FAILURE() << status;
        } catch (const AIServiceError& error) {
            EXPECT_EQ(error, AIServiceError::rejected(status));
        }
    }
    EXPECT_EQ(failureOf([] { AIChatExchange::decode(QByteArray(131073, ' '), 200); }),
              Kind::responseTooLarge);
}
