#include "LibraryHarness.h"
#include "core/ai/KeychainStore.h"
#include "platform/desktop/AIClient.h"
#include "platform/desktop/SecretServiceBackend.h"
#include "support/AbsentSecretService.h"
#include "support/LoopbackHttpServer.h"

using namespace lunorvale;
using namespace lunorvale::test;

TEST(LibraryAdvice, SendsTheTickedListAndOnlyTheCurrentRequestWritesItsOutcome) {
    enum class Then { reply, fail, cancelThenReply, rescanThenReply, askAgainThenReply };
    const QString reply = QStringLiteral("  保留 A。\n");
    const AIServiceError failure(AIServiceError::Kind::invalidEndpoint);
    const std::tuple<Then, QString, std::optional<QString>> cases[] = {
        {Then::reply, reply, {}}, // kept as it came
        {Then::fail, {}, failure.errorDescription()},
        {Then::cancelThenReply, {}, {}},
        {Then::rescanThenReply, {}, {}},
        {Then::askAgainThenReply, reply, {}}, // the second request is ignored
    };
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B"),
                               c = listedApplication("C");
    for (const auto& [then, result, error] : cases) {
        LibraryHarness h;
        QStringList sent;
        AICompletion completion;
        h.services.analyze = [&](const QString& summary, const AIConfiguration&, const QString& key,
                                 AIAnalysisPurpose purpose, AICompletion done) {
            sent << summary << key << QString::number(int(purpose));
            completion = std::move(done);
            return AIRequestHandle(); // cancelling it stops nothing: the reply still arrives
        };
        ApplicationLibraryModel& model = h.scanned({a, b, c});
        h.running = {runningTarget(b)};
        model.refreshRunning();
        ASSERT_TRUE(h.executor.settle());
        ASSERT_TRUE(model.runningIDs().contains(b.id()));
        model.setChecked({c.id(), b.id()});
        const QString summary = model.summary();
        EXPECT_EQ(summary, ApplicationAdviceSummary::make(
                               {ApplicationAdviceItem(b, 1, true), ApplicationAdviceItem(c, 1, false)}));
        model.analyze(summary, {"https://ai.example.invalid/v1", "m"}, QDateTime::fromSecsSinceEpoch(1));
        EXPECT_TRUE(model.aiBusy());
        EXPECT_EQ(model.aiSnapshotDate(), QDateTime::fromSecsSinceEpoch(1));
        if (then == Then::cancelThenReply)
            model.cancelAI();
        if (then == Then::rescanThenReply)
            model.scan();
        if (then == Then::askAgainThenReply)
            model.analyze("[]", {}, {});
        EXPECT_EQ(sent, (QStringList{summary, "", QString::number(int(AIAnalysisPurpose::applications))}));
        completion(then == Then::fail ? AIAnalysisOutcome{{}, failure, false}
                                      : AIAnalysisOutcome{reply, {}, false});

        EXPECT_EQ(model.aiResult(), result);
        EXPECT_EQ(model.aiError(), error);
        EXPECT_FALSE(model.aiBusy());
    }
}

// Where no keyring exists, a service on this machine is still asked, without a key; a remote one is not
// asked at all, and the user reads that a keyring is missing.
TEST(LibraryAdvice, ALocalServiceIsAskedWithoutAKeyring) {
    const AbsentSecretService noKeyring;
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::chatReply(QStringLiteral("保留 A。")));
    const InstalledApplication a = listedApplication("A");
    const std::pair<QString, bool> cases[] = {
        {server.baseURL(QStringLiteral("/v1")), true},
        {QStringLiteral("https://ai.example.invalid/v1"), false},
    };
    for (const auto& [address, local] : cases) {
        SCOPED_TRACE(address.toStdString());
        LibraryHarness h;
        h.services.analyze = AIClient().request(); // the program's own client
        h.services.keychain = std::make_shared<CachedKeychainStore>(std::make_shared<SecretServiceBackend>());
        ApplicationLibraryModel& model = h.scanned({a});
        model.setChecked({a.id()});
        const int before = server.requests().size();
        model.analyze(model.summary(), {address, QStringLiteral("m")}, QDateTime::currentDateTimeUtc());
        ASSERT_TRUE(waitUntil([&] { return !model.aiBusy(); }));
        EXPECT_EQ(model.aiResult(), local ? QStringLiteral("保留 A。") : QString());
        EXPECT_EQ(model.aiError().has_value(), !local);
        if (!local) {
            EXPECT_TRUE(model.aiError()->startsWith(QStringLiteral("没有找到系统密钥环。")))
                << model.aiError()->toStdString();
        }
        ASSERT_EQ(server.requests().size(), before + (local ? 1 : 0));
        if (local) {
            EXPECT_FALSE(server.requests().last().headers.contains("authorization"));
        }
    }
}
