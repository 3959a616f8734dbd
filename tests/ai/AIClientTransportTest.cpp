#include "platform/desktop/AIClient.h"
#include "support/LoopbackHttpServer.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace lunorvale;
using lunorvale::testing::LoopbackHttpServer;
using Kind = AIServiceError::Kind;
using namespace std::chrono_literals;

namespace {

const QString summary = QStringLiteral("合成测试：CPU 95%，任务运行 600 秒。");

std::optional<AIServiceError> failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AIServiceError& error) {
        return error;
    }
    return std::nullopt;
}

QString ask(const LoopbackHttpServer& server, const QString& key = QString(), AIClient client = AIClient()) {
    return client.analyzeAndWait(summary, {server.baseURL(), QStringLiteral("mock-model")}, key,
                                 AIAnalysisPurpose::process);
}

// A valid chat reply padded to exactly `size` bytes.
QByteArray chatBodyOfSize(qsizetype size) {
    const QByteArray head = R"({"choices":[{"message":{"content":"大小正好"}}],"pad":")";
    const QByteArray tail = "\"}";
    return head + QByteArray(size - head.size() - tail.size(), 'x') + tail;
}

} // namespace

TEST(AIClientTransport, SendsOnePostWithTheExpectedHeadersAndBody) {
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::chatReply(QStringLiteral("  建议文本 \n")));
    EXPECT_EQ(ask(server), QStringLiteral("建议文本"));
    EXPECT_EQ(ask(server, QStringLiteral(" sk-local ")), QStringLiteral("建议文本"));

    const QList<LoopbackHttpServer::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.target, "/v1/chat/completions");
        EXPECT_EQ(request.headers.value("content-type"), "application/json");
        EXPECT_EQ(request.headers.value("accept"), "application/json");
        EXPECT_FALSE(request.headers.contains("cookie"));
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        EXPECT_EQ(body.value("model").toString(), QStringLiteral("mock-model"));
        EXPECT_EQ(body.value("store"), QJsonValue(false));
        EXPECT_EQ(body.value("max_completion_tokens"), QJsonValue(900)); // a custom address
        EXPECT_EQ(body.value("messages").toArray().at(1).toObject().value("content").toString(), summary);
    }
    EXPECT_FALSE(requests[0].headers.contains("authorization"));
    EXPECT_EQ(requests[1].headers.value("authorization"), "Bearer sk-local");
}

TEST(AIClientTransport, RedirectEndsTheRequestAndTheTargetIsNeverContacted) {
    LoopbackHttpServer target;
    LoopbackHttpServer server;
    for (const int status : {301, 302, 307, 308}) {
        LoopbackHttpServer::Reply redirect;
        redirect.status = status;
        redirect.headers.append(
            qMakePair(QByteArray("Location"), (target.baseURL() + "/chat/completions").toUtf8()));
        server.enqueue(redirect);
        EXPECT_EQ(failureOf([&] { ask(server, QStringLiteral("sk-secret")); }),
                  AIServiceError(Kind::redirected))
            << status;
    }
    EXPECT_EQ(target.connectionCount(), 0);
    EXPECT_TRUE(target.requests().isEmpty());
}

TEST(AIClientTransport, ReplyCap) {
    LoopbackHttpServer server;
    const AIServiceError tooLarge(Kind::responseTooLarge);

    LoopbackHttpServer::Reply announced = LoopbackHttpServer::chatReply(QStringLiteral("x"));
    announced.announcedLength = 131073;
    server.enqueue(announced);
    EXPECT_EQ(failureOf([&] { ask(server); }), tooLarge);

    LoopbackHttpServer::Reply streamedTooLarge;
    streamedTooLarge.streamed = true;
    streamedTooLarge.body = chatBodyOfSize(131073);
    server.enqueue(streamedTooLarge);
    EXPECT_EQ(failureOf([&] { ask(server); }), tooLarge);

    LoopbackHttpServer::Reply streamedExact;
    streamedExact.streamed = true;
    streamedExact.body = chatBodyOfSize(131072);
    server.enqueue(streamedExact);
    EXPECT_EQ(ask(server), QStringLiteral("大小正好"));

    server.enqueue(LoopbackHttpServer::jsonReply(200, chatBodyOfSize(131072)));
    EXPECT_EQ(ask(server), QStringLiteral("大小正好"));
}

TEST(AIClientTransport, ServerThatNeverAnswersTimesOut) {
    LoopbackHttpServer server;
    LoopbackHttpServer::Reply stall;
    stall.stall = true;
    server.setDefaultReply(stall);
    EXPECT_EQ(failureOf([&] { ask(server, QString(), AIClient(300ms)); }), AIServiceError(Kind::timedOut));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST(AIClientTransport, EveryStatusMapsToItsError) {
    LoopbackHttpServer server;
    const QList<QPair<LoopbackHttpServer::Reply, AIServiceError>> cases{
        {LoopbackHttpServer::jsonReply(401, "{}"), AIServiceError(Kind::unauthorized)},
        {LoopbackHttpServer::jsonReply(403, "{}"), AIServiceError(Kind::unauthorized)},
        {LoopbackHttpServer::jsonReply(429, "{}"), AIServiceError(Kind::rateLimited)},
        {LoopbackHttpServer::jsonReply(500, "{}"), AIServiceError(Kind::serverUnavailable)},
        {LoopbackHttpServer::jsonReply(503, "<html>busy</html>"), AIServiceError(Kind::serverUnavailable)},
        {LoopbackHttpServer::jsonReply(404, R"({"error":{"code":"model_not_found"}})"),
         AIServiceError(Kind::modelUnavailable)},
        {LoopbackHttpServer::jsonReply(400, R"({"error":{"code":"invalid_model"}})"),
         AIServiceError(Kind::modelUnavailable)},
        {LoopbackHttpServer::jsonReply(400, "<html>bad</html>"), AIServiceError::rejected(400)},
        {LoopbackHttpServer::jsonReply(404, "{}"), AIServiceError::rejected(404)},
        {LoopbackHttpServer::jsonReply(418, R"({"error":{"code":"teapot"}})"), AIServiceError::rejected(418)},
        {LoopbackHttpServer::jsonReply(200, R"({"choices":[]})"), AIServiceError(Kind::invalidResponse)},
        {LoopbackHttpServer::jsonReply(200, "not json"), AIServiceError(Kind::invalidResponse)},
    };
    for (const auto& [reply, expected] : cases) {
        server.enqueue(reply);
        const std::optional<AIServiceError> error = failureOf([&] { ask(server); });
        EXPECT_EQ(error, expected) << reply.status << " " << reply.body.toStdString() << " got "
                                   << (error ? error->what() : "no error");
    }
}

TEST(AIClientTransport, NothingListeningIsNetworkUnavailable) {
    quint16 closedPort = 0;
    {
        LoopbackHttpServer gone;
        closedPort = gone.port();
    }
    const AIConfiguration configuration{QStringLiteral("http://127.0.0.1:%1/v1").arg(closedPort), "m"};
    EXPECT_EQ(failureOf([&] {
                  AIClient().analyzeAndWait(summary, configuration, QString(), AIAnalysisPurpose::process);
              }),
              AIServiceError(Kind::networkUnavailable));
}

TEST(AIClientTransport, InputErrorsOpenNoConnection) {
    LoopbackHttpServer server;
    EXPECT_EQ(failureOf([&] {
                  AIClient().analyzeAndWait(QStringLiteral("  "), {server.baseURL(), "m"}, QString(),
                                            AIAnalysisPurpose::process);
              }),
              AIServiceError(Kind::invalidSummary));
    EXPECT_EQ(failureOf([&] {
                  AIClient().analyzeAndWait(summary, {server.baseURL(), "m"}, QStringLiteral("k\n"),
                                            AIAnalysisPurpose::process);
              }),
              AIServiceError(Kind::missingAPIKey));
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST(AIClientTransport, StoppingTheCallerCancels) {
    LoopbackHttpServer server;
    LoopbackHttpServer::Reply stall;
    stall.stall = true;
    server.setDefaultReply(stall);
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        stop.request_stop();
    });
    EXPECT_THROW(AIClient().analyzeAndWait(summary, {server.baseURL(), "m"}, QString(),
                                           AIAnalysisPurpose::process, stop.get_token()),
                 AIRequestCancelled);
    stopper.join();

    // The callback form reports a cancellation once and only once.
    int completions = 0;
    bool cancelled = false;
    QEventLoop loop;
    AIRequestHandle handle =
        AIClient().analyze(summary, {server.baseURL(), "m"}, QString(), AIAnalysisPurpose::process,
                           [&](const AIAnalysisOutcome& outcome) {
                               ++completions;
                               cancelled = outcome.cancelled;
                               loop.quit();
                           });
    QTimer::singleShot(100, [&] { handle.cancel(); });
    loop.exec();
    handle.cancel();
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(cancelled);
}
