#include "AIFailure.h"
#include "platform/desktop/AIClient.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"
#include "support/LoopbackHttpServer.h"

#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace lunorvale;
using lunorvale::test::failureOf;
using lunorvale::test::LoopbackHttpServer;
using Kind = AIServiceError::Kind;
using namespace std::chrono_literals;

namespace {

const QString summary = QStringLiteral("合成测试：CPU 95%，任务运行 600 秒。");

QString ask(const QString& base, const QString& key = QString(), AIClient client = AIClient(),
            const QString& text = summary) {
    return client.analyzeAndWait(text, {base, QStringLiteral("mock-model")}, key, AIAnalysisPurpose::process);
}

LoopbackHttpServer::Reply stalling() {
    LoopbackHttpServer::Reply reply;
    reply.stall = true;
    return reply;
}

// A valid chat reply padded to exactly `size` bytes, streamed without a length or sent with one.
LoopbackHttpServer::Reply chatOfSize(qsizetype size, bool streamed) {
    const QByteArray head = R"({"choices":[{"message":{"content":"大小正好"}}],"pad":")";
    LoopbackHttpServer::Reply reply = LoopbackHttpServer::jsonReply(200, head);
    reply.body += QByteArray(size - head.size() - 2, 'x') + "\"}";
    reply.streamed = streamed;
    return reply;
}

} // namespace

TEST(AIClientTransport, SendsOnePostWithTheExpectedHeadersAndBody) {
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::chatReply(QStringLiteral("  建议文本 \n")));
    EXPECT_EQ(ask(server.baseURL()), QStringLiteral("建议文本"));
    EXPECT_EQ(ask(server.baseURL(), QStringLiteral(" sk-local ")), QStringLiteral("建议文本"));

    const QList<LoopbackHttpServer::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.target, "/v1/chat/completions");
        EXPECT_EQ(request.headers.value("content-type"), "application/json");
        EXPECT_EQ(request.headers.value("accept"), "application/json");
        EXPECT_FALSE(request.headers.contains("cookie"));
        // Exactly the body the exchange builds.
        EXPECT_EQ(request.body, AIClient::makeRequest(summary, {server.baseURL(), "mock-model"}, "k",
                                                      AIAnalysisPurpose::process)
                                    .body);
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
        redirect.headers.append({"Location", (target.baseURL() + "/chat/completions").toUtf8()});
        server.enqueue(redirect);
        EXPECT_EQ(failureOf([&] { ask(server.baseURL(), QStringLiteral("sk-secret")); }),
                  AIServiceError(Kind::redirected))
            << status;
    }
    EXPECT_EQ(target.connectionCount(), 0);
}

TEST(AIClientTransport, ReplyCap) {
    LoopbackHttpServer server;
    LoopbackHttpServer::Reply announced = LoopbackHttpServer::chatReply(QStringLiteral("x"));
    announced.announcedLength = 131073;
    for (const auto& reply : {announced, chatOfSize(131073, true)}) {
        server.enqueue(reply);
        EXPECT_EQ(failureOf([&] { ask(server.baseURL()); }), AIServiceError(Kind::responseTooLarge));
    }
    for (const bool streamed : {true, false}) {
        server.enqueue(chatOfSize(131072, streamed));
        EXPECT_EQ(ask(server.baseURL()), QStringLiteral("大小正好"));
    }
}

TEST(AIClientTransport, TransportFailures) {
    LoopbackHttpServer server;
    server.setDefaultReply(stalling());
    EXPECT_EQ(failureOf([&] { ask(server.baseURL(), QString(), AIClient(300ms)); }),
              AIServiceError(Kind::timedOut));
    EXPECT_EQ(server.requests().size(), 1);

    // Input errors are found before any connection is opened.
    EXPECT_EQ(failureOf([&] { ask(server.baseURL(), QString(), AIClient(), "  "); }),
              AIServiceError(Kind::invalidSummary));
    EXPECT_EQ(failureOf([&] { ask(server.baseURL(), QStringLiteral("k\n")); }),
              AIServiceError(Kind::missingAPIKey));
    EXPECT_EQ(server.connectionCount(), 1);

    quint16 closedPort = 0;
    {
        const LoopbackHttpServer gone;
        closedPort = gone.port();
    }
    EXPECT_EQ(failureOf([&] { ask(QStringLiteral("http://127.0.0.1:%1/v1").arg(closedPort)); }),
              AIServiceError(Kind::networkUnavailable));
}

// Qt files these statuses under different error classes (407 among the proxy errors); each still reaches the
// decoder with its body.
TEST(AIClientTransport, EveryStatusMapsToItsError) {
    LoopbackHttpServer server;
    const QList<std::tuple<int, QByteArray, AIServiceError>> cases{
        {401, "{}", AIServiceError(Kind::unauthorized)},
        {503, "<html>busy</html>", AIServiceError(Kind::serverUnavailable)},
        {407, R"({"error":{"code":"model_not_found"}})", AIServiceError(Kind::modelUnavailable)},
        {407, "<html>proxy</html>", AIServiceError::rejected(407)},
        {418, R"({"error":{"code":"teapot"}})", AIServiceError::rejected(418)},
    };
    for (const auto& row : cases) {
        server.enqueue(LoopbackHttpServer::jsonReply(std::get<0>(row), std::get<1>(row)));
        EXPECT_EQ(failureOf([&] { ask(server.baseURL()); }), std::get<2>(row))
            << std::get<0>(row) << " " << std::get<1>(row).toStdString();
    }
}

TEST(AIClientTransport, StoppingTheCallerCancels) {
    LoopbackHttpServer server;
    server.setDefaultReply(stalling());
    std::stop_source stop;
    // Stopped once the request has reached the server, which never answers.
    std::thread stopper([&] {
        lunorvale::test::pollUntil([&] { return !server.requests().isEmpty(); }, test::waitBound);
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
