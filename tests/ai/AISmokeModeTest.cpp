#include "support/LoopbackHttpServer.h"
#include "support/ProgramRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using lunorvale::test::LoopbackHttpServer;
using lunorvale::test::ProgramRun;

namespace {

ProgramRun runProgram(const QString& flag, const QString& address) {
    return lunorvale::test::runProgram({flag, address});
}

QJsonObject userMessageOf(const LoopbackHttpServer::Request& request) {
    const QJsonArray messages = QJsonDocument::fromJson(request.body).object().value("messages").toArray();
    return messages.at(1).toObject();
}

} // namespace

// Each mode prints the reply or the failure as a JSON report; the decision mode takes only a decision.
TEST(AISmokeMode, ProcessAndDecisionModesReportTheReplyOrTheFailure) {
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::chatReply(QStringLiteral("本地回答")));
    const QString decision = QStringLiteral(R"({"decision":"keep_observing","reason":"有进展"})");
    const struct {
        const char* flag;
        LoopbackHttpServer::Reply reply;
        int exitCode;
        QJsonObject report;
    } cases[] = {
        {"--ai-smoke", LoopbackHttpServer::chatReply(QStringLiteral("本地回答")), 0,
         QJsonObject{{"status", "ok"}, {"receivedText", true}, {"response", "本地回答"}}},
        {"--ai-smoke", LoopbackHttpServer::jsonReply(503, "{}"), 1,
         QJsonObject{{"status", "failed"}, {"error", "AI 服务暂时不可用，请稍后重试。"}}},
        {"--decision-ai-smoke", LoopbackHttpServer::chatReply(QStringLiteral("继续观察即可")), 1,
         QJsonObject{{"status", "failed"},
                     {"error", "AI 服务未返回有效的文字建议，请检查 Chat Completions 兼容性和模型配置。"}}},
        {"--decision-ai-smoke", LoopbackHttpServer::chatReply(decision), 0,
         QJsonObject{{"status", "ok"}, {"receivedText", true}, {"response", decision}}},
    };
    for (const auto& c : cases) {
        server.enqueue(c.reply);
        const ProgramRun run = runProgram(QString::fromLatin1(c.flag), server.baseURL());
        EXPECT_EQ(run.exitCode, c.exitCode) << c.flag;
        EXPECT_EQ(run.report(), c.report) << run.out.toStdString();
    }
    const ProgramRun run = runProgram("--ai-smoke", server.baseURL());
    EXPECT_TRUE(run.out.endsWith("}\n"));
    EXPECT_LT(run.out.indexOf("receivedText"), run.out.indexOf("response")); // sorted keys

    const LoopbackHttpServer::Request request = server.requests().first();
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object().value("model").toString(), "mock-model");
    EXPECT_EQ(userMessageOf(request).value("content").toString(), "合成测试：CPU 95%，任务运行 600 秒。");
    EXPECT_FALSE(request.headers.contains("authorization"));
}

TEST(AISmokeMode, ApplicationsModeNeverSendsTheLocation) {
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::chatReply(QStringLiteral("可以保留")));
    const ProgramRun run = runProgram("--applications-ai-smoke", server.baseURL());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.report(),
              (QJsonObject{{"status", "ok"}, {"receivedText", true}, {"response", "可以保留"}}));

    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(server.requests().first().body.contains("never-send-this-path")); // escaped slashes or not
    const QString sent = userMessageOf(server.requests().first()).value("content").toString();
    const QJsonArray items = QJsonDocument::fromJson(sent.toUtf8()).object().value("applications").toArray();
    EXPECT_EQ(items, (QJsonArray{QJsonObject{{"name", "Fixture Notes"},
                                             {"bundleIdentifier", "example.fixture.notes"},
                                             {"version", "1.0"},
                                             {"bundleBytes", 1234},
                                             {"runningInCurrentSnapshot", false}}}));
}

// Every address is refused before any connection. The loopback spellings that a URL parser would rewrite
// ("LOCALHOST", "127.1") are refused too: the host must be written as one of the four names.
TEST(AISmokeMode, RefusesAddressesOffThisMachine) {
    LoopbackHttpServer server;
    const QString port = QString::number(server.port());
    const QStringList addresses{"https://api.example.invalid/v1",
                                "http://192.168.1.10:11434/v1",
                                "not a url",
                                "http:///v1",
                                "http://127.0.0.1.example.invalid/v1",
                                "http://LOCALHOST:" + port + "/v1",
                                "http://127.1:" + port + "/v1"};
    const QStringList flags{"--ai-smoke", "--decision-ai-smoke", "--applications-ai-smoke"};
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const ProgramRun run = runProgram(flags[i % flags.size()], addresses[i]);
        EXPECT_EQ(run.exitCode, 2) << addresses[i].toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_EQ(server.connectionCount(), 0);
}
