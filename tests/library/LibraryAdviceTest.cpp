#include "LibraryHarness.h"
#include "core/ai/ApplicationAdviceSummary.h"

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

struct Request {
    QString summary;
    QString key;
    AIAnalysisPurpose purpose;
    AIClient::Completion completion;
};

} // namespace

TEST(LibraryAdvice, OnlyTheCurrentRequestWritesItsOutcome) {
    enum class Then { reply, fail, cancelThenReply, rescanThenReply, askAgainThenReply };
    struct Case {
        const char* name;
        Then then;
        QString result;
        std::optional<QString> error;
        int requests;
    };
    const QString reply = QStringLiteral("  保留 A。\n");
    const AIServiceError failure(AIServiceError::Kind::invalidEndpoint);
    const Case cases[] = {
        {"reply kept as it came", Then::reply, reply, {}, 1},
        {"failure", Then::fail, {}, failure.errorDescription(), 1},
        {"late reply after cancelling", Then::cancelThenReply, {}, {}, 1},
        {"late reply after a rescan", Then::rescanThenReply, {}, {}, 1},
        {"a second request while busy is ignored", Then::askAgainThenReply, reply, {}, 1},
    };
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B"),
                               c = listedApplication("C");
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LibraryHarness h;
        QList<Request> requests;
        h.services.analyze = [&](const QString& summary, const AIConfiguration&, const QString& key,
                                 AIAnalysisPurpose purpose, AIClient::Completion completion) {
            requests.append({summary, key, purpose, std::move(completion)});
            return AIRequestHandle(); // cancelling it stops nothing: the reply still arrives
        };
        ApplicationLibraryModel& model = h.scanned({a, b, c});
        h.running = {runningTarget(b)};
        model.refreshRunning();
        model.setChecked({c.id(), b.id()});
        const QString summary = model.summary();
        EXPECT_EQ(summary, ApplicationAdviceSummary::make(
                               {ApplicationAdviceItem(b, 1, true), ApplicationAdviceItem(c, 1, false)}));
        const QDateTime shown = QDateTime::fromSecsSinceEpoch(1'700'000'000);
        model.analyze(summary,
                      AIConfiguration{QStringLiteral("https://ai.example.invalid/v1"), QStringLiteral("m")},
                      shown);
        EXPECT_TRUE(model.aiBusy());
        EXPECT_EQ(model.aiSnapshotDate(), shown);
        if (test.then == Then::cancelThenReply)
            model.cancelAI();
        if (test.then == Then::rescanThenReply)
            model.scan();
        if (test.then == Then::askAgainThenReply)
            model.analyze(QStringLiteral("[]"), {}, shown);
        ASSERT_EQ(requests.size(), test.requests);
        EXPECT_EQ(requests[0].summary, summary);
        EXPECT_EQ(requests[0].key, QString());
        EXPECT_EQ(requests[0].purpose, AIAnalysisPurpose::applications);
        if (test.then == Then::fail)
            requests[0].completion(AIAnalysisOutcome{std::nullopt, failure, false});
        else
            requests[0].completion(AIAnalysisOutcome{reply, std::nullopt, false});

        EXPECT_EQ(model.aiResult(), test.result);
        EXPECT_EQ(model.aiError(), test.error);
        EXPECT_FALSE(model.aiBusy());
    }
}
