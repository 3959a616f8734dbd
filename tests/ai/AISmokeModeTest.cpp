#include "support/LoopbackHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using lunorvale::testing::LoopbackHttpServer;

namespace {

struct ProgramRun {
    int exitCode = -1;
    QByteArray out;
};

ProgramRun runProgram(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(LUNORVALE_BINARY), arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput()};
}

QJsonObject report(const ProgramRun& run) {
    return QJsonDocument::fromJson(run.out).object();
}

} // namespace

TEST(AISmokeMode, ProcessModeReportsTheReply) {
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::chatReply(QStringLiteral("本地回答")));
    const ProgramRun run = runProgram({QStringLiteral("--ai-smoke"), server.baseURL()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(report(run), (QJsonObject{{"status", "ok"}, {"receivedText", true}, {"response", "本地回答"}}));
    // Pretty-printed with sorted keys, one line feed at the end.
    EXPECT_TRUE(run.out.endsWith("}\n"));
    EXPECT_LT(run.out.indexOf("receivedText"), run.out.indexOf("response"));

    ASSERT_EQ(server.requests().size(), 1);
    const LoopbackHttpServer::Request request = server.requests().first();
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(body.value("model").toString(), QStringLiteral("mock-model"));
    EXPECT_EQ(body.value("messages").toArray().at(1).toObject().value("content").toString(),
              QStringLiteral("合成测试：CPU 95%，任务运行 600 秒。"));
    EXPECT_FALSE(request.headers.contains("authorization"));
}

TEST(AISmokeMode, DecisionMode) {
    LoopbackHttpServer server;
    server.enqueue(LoopbackHttpServer::chatReply(QStringLiteral("继续观察即可")));
    const ProgramRun invalid = runProgram({QStringLiteral("--decision-ai-smoke"), server.baseURL()});
    EXPECT_EQ(invalid.exitCode, 1);
    EXPECT_EQ(
        report(invalid),
        (QJsonObject{{"status", "failed"},
                     {"error", "AI 服务未返回有效的文字建议，请检查 Chat Completions 兼容性和模型配置。"}}));

    const QString decision = QStringLiteral(R"({"decision":"keep_observing","reason":"有进展"})");
    server.enqueue(LoopbackHttpServer::chatReply(decision));
    const ProgramRun valid = runProgram({QStringLiteral("--decision-ai-smoke"), server.baseURL()});
    EXPECT_EQ(valid.exitCode, 0);
    EXPECT_EQ(report(valid).value("response").toString(), decision);
}

TEST(AISmokeMode, ApplicationsModeNeverSendsTheLocation) {
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::chatReply(QStringLiteral("可以保留")));
    const ProgramRun run = runProgram({QStringLiteral("--applications-ai-smoke"), server.baseURL()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(report(run), (QJsonObject{{"status", "ok"}, {"receivedText", true}, {"response", "可以保留"}}));

    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray body = server.requests().first().body;
    EXPECT_FALSE(body.contains("/synthetic/never-send-this-path.app"));
    // Nor its name alone, in case the slashes were escaped.
    EXPECT_FALSE(body.contains("never-send-this-path"));
    const QString sent = QJsonDocument::fromJson(body)
                             .object()
                             .value("messages")
                             .toArray()
                             .at(1)
                             .toObject()
                             .value("content")
                             .toString();
    const QJsonArray items = QJsonDocument::fromJson(sent.toUtf8()).object().value("applications").toArray();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.at(0).toObject(), (QJsonObject{{"name", "Fixture Notes"},
                                                   {"bundleIdentifier", "example.fixture.notes"},
                                                   {"version", "1.0"},
                                                   {"bundleBytes", 1234},
                                                   {"runningInCurrentSnapshot", false}}));
}

TEST(AISmokeMode, ServiceErrorIsAFailureReport) {
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::jsonReply(503, "{}"));
    const ProgramRun run = runProgram({QStringLiteral("--ai-smoke"), server.baseURL()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(report(run), (QJsonObject{{"status", "failed"}, {"error", "AI 服务暂时不可用，请稍后重试。"}}));
}

// Every address below is refused before any connection: none of them can be reached from a test.
TEST(AISmokeMode, RefusesAddressesOffThisMachine) {
    for (const char* address : {"https://api.example.invalid/v1", "http://192.168.1.10:11434/v1",
                                "http://10.0.0.1/v1", "not a url", "/v1/chat", "http:///v1",
                                "http://127.0.0.1.example.invalid/v1", "http://localhost.invalid:11434"}) {
        for (const char* flag : {"--ai-smoke", "--decision-ai-smoke", "--applications-ai-smoke"}) {
            const ProgramRun run = runProgram({QString::fromUtf8(flag), QString::fromUtf8(address)});
            EXPECT_EQ(run.exitCode, 2) << flag << " " << address;
            EXPECT_TRUE(run.out.isEmpty());
        }
    }
}
