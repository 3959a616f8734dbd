#include "app/advice/AutomaticProcessAdvice.h"

#include "core/ai/DiagnosticSummary.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>

using namespace lunorvale;
using Entry = AutomaticProcessAdvice::Entry;

namespace {

const QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
const AIConfiguration service{QStringLiteral("http://127.0.0.1:9/v1"), QStringLiteral("model-a")};
const ProcessDecisionAdvice answer{ProcessDecisionAdvice::Decision::keepObserving, QStringLiteral("有进展")};

Finding finding(int32_t pid, std::optional<double> cpu, uint64_t startTime = 1000) {
    ProcessSample sample;
    sample.identity = {pid, startTime};
    sample.executable = QStringLiteral("/usr/bin/worker");
    sample.command = QStringLiteral("worker --job %1").arg(pid);
    sample.uid = 1000;
    sample.cpuPercent = cpu;
    return Finding{sample, 120, QStringLiteral("持续高 CPU"), QString()};
}

// A clock the test moves and an analysis that only records its calls: the test hands over each result.
struct Harness {
    struct Call {
        QString summary;
        AIConfiguration configuration;
        AutomaticProcessAdvice::AnalysisDone done;
        std::stop_token stop;
    };

    QDateTime now = start;
    QList<Call> calls;
    QList<QList<QDateTime>> persisted;
    QList<Entry> finished;
    bool answerAtOnce = false;
    std::unique_ptr<AutomaticProcessAdvice> queue;

    explicit Harness(QList<QDateTime> attempts = {}) {
        queue = std::make_unique<AutomaticProcessAdvice>(
            std::move(attempts), [this] { return now; },
            [this](const QList<QDateTime>& list) { persisted.append(list); },
            [this](const QString& summary, const AIConfiguration& configuration,
                   AutomaticProcessAdvice::AnalysisDone done, std::stop_token stop) {
                calls.append({summary, configuration, done, stop});
                if (answerAtOnce)
                    done(answer);
            });
        QObject::connect(queue.get(), &AutomaticProcessAdvice::didFinish,
                         [this](const Entry& entry) { finished.append(entry); });
    }

    void refresh(const QList<Finding>& findings, std::optional<AIConfiguration> configuration = service) {
        queue->refresh(findings, configuration);
    }
    std::optional<Entry> entry(const Finding& f) const { return queue->entry(f.sample); }
};

} // namespace

TEST(AutomaticProcessAdvice, OneRequestAtATimeBusiestFirst) {
    Harness h;
    const Finding idle = finding(1, std::nullopt);
    const Finding busy = finding(2, 80);
    h.refresh({idle, busy});
    h.refresh({idle, busy});
    ASSERT_EQ(h.calls.size(), 1);
    EXPECT_EQ(h.calls[0].summary, DiagnosticSummary::make(busy.sample, busy));
    EXPECT_EQ(h.calls[0].configuration, service);
    EXPECT_EQ(h.persisted, (QList<QList<QDateTime>>{{start}}));
    EXPECT_TRUE(h.entry(busy)->pending);
    EXPECT_FALSE(h.entry(idle));

    h.calls[0].done(answer);
    EXPECT_EQ(h.entry(busy)->advice, answer);
    EXPECT_FALSE(h.entry(busy)->pending);
    ASSERT_EQ(h.finished.size(), 1);
    EXPECT_EQ(h.finished[0].sample, busy.sample);
    // The next process is asked as soon as the first answer is in.
    ASSERT_EQ(h.calls.size(), 2);
    EXPECT_EQ(h.calls[1].summary, DiagnosticSummary::make(idle.sample, idle));

    h.calls[1].done(QStringLiteral("服务不可用"));
    EXPECT_EQ(h.entry(idle)->failure, QStringLiteral("服务不可用"));
    EXPECT_FALSE(h.entry(idle)->advice);
    h.calls[1].done(answer); // a second hand-over of the same request changes nothing
    EXPECT_EQ(h.entry(idle)->failure, QStringLiteral("服务不可用"));
    EXPECT_EQ(h.finished.size(), 1); // failures are not reported as advice
    EXPECT_EQ(h.calls.size(), 2);
}

TEST(AutomaticProcessAdvice, FourthFindingWaitsForTheHourlyBudget) {
    Harness h;
    QList<Finding> all{finding(1, 50), finding(2, 50), finding(3, 50)};
    h.refresh(all);
    for (int i = 0; i < 3; ++i)
        h.calls[i].done(answer);
    const Finding fourth = finding(4, 99);
    all.append(fourth);
    for (qint64 later : {600, 3599}) {
        h.now = start.addSecs(later);
        h.refresh(all);
        EXPECT_EQ(h.calls.size(), 3) << later;
        EXPECT_FALSE(h.entry(fourth)) << later;
    }
    EXPECT_EQ(h.persisted.size(), 3);

    h.now = start.addSecs(3600);
    h.refresh(all);
    ASSERT_EQ(h.calls.size(), 4);
    EXPECT_EQ(h.calls[3].summary, DiagnosticSummary::make(fourth.sample, fourth));
    EXPECT_EQ(h.persisted.last(), (QList<QDateTime>{start, start, start, h.now}));
}

TEST(AutomaticProcessAdvice, ConfigurationChangeCancelsAndEmpties) {
    const Finding a = finding(1, 90);
    const Finding b = finding(2, 10);
    for (const std::optional<AIConfiguration>& changed :
         {std::optional(AIConfiguration{service.baseURL, "model-b"}),
          std::optional(AIConfiguration{"http://localhost:9/v1", service.model}),
          std::optional<AIConfiguration>()}) {
        Harness h;
        h.refresh({a, b});
        h.calls[0].done(answer);
        ASSERT_EQ(h.queue->entries().size(), 2);
        int published = 0;
        QObject::connect(h.queue.get(), &AutomaticProcessAdvice::entriesChanged, [&] { ++published; });

        h.refresh({a, b}, changed);
        EXPECT_TRUE(h.queue->entries().isEmpty());
        EXPECT_GT(published, 0);
        EXPECT_TRUE(h.calls[1].stop.stop_requested());
        h.calls[1].done(answer);
        EXPECT_TRUE(h.queue->entries().isEmpty());
        EXPECT_EQ(h.calls.size(), 2); // both were asked recently
    }
    Harness same; // the same configuration again keeps everything
    same.refresh({a});
    same.refresh({a}, AIConfiguration{service.baseURL, service.model});
    EXPECT_FALSE(same.calls[0].stop.stop_requested());
}

TEST(AutomaticProcessAdvice, LateAnswerForAChangedProcessIsIgnored) {
    const Finding original = finding(7, 90);
    Finding otherCommand = original;
    otherCommand.sample.command = QStringLiteral("worker --other");
    const Finding restarted = finding(7, 90, 2000); // same pid, later start time
    const QList<std::tuple<const char*, QList<Finding>, bool>> cases{
        {"gone", {}, false}, {"command changed", {otherCommand}, false}, {"restarted", {restarted}, true}};
    for (const auto& [name, next, newRequest] : cases) {
        Harness h;
        h.refresh({original});
        ASSERT_EQ(h.calls.size(), 1);
        h.refresh(next);
        EXPECT_TRUE(h.calls[0].stop.stop_requested()) << name;
        EXPECT_FALSE(h.entry(original)) << name;
        h.calls[0].done(answer);
        EXPECT_TRUE(h.finished.isEmpty()) << name;
        EXPECT_EQ(h.calls.size(), newRequest ? 2 : 1) << name;
        for (const Finding& f : next) {
            const std::optional<Entry> current = h.entry(f);
            EXPECT_EQ(current.has_value(), newRequest) << name;
            EXPECT_TRUE(!current || (current->pending && !current->advice)) << name;
        }
    }
}

TEST(AutomaticProcessAdvice, ExpiredAdviceIsRequestedAgainInTheSameRefresh) {
    Harness h;
    const Finding a = finding(1, 90);
    h.refresh({a});
    h.calls[0].done(answer);
    h.now = start.addSecs(1799);
    h.refresh({a});
    EXPECT_EQ(h.calls.size(), 1);
    EXPECT_EQ(h.entry(a)->advice, answer);

    h.now = start.addSecs(1800);
    h.refresh({a});
    ASSERT_EQ(h.calls.size(), 2);
    EXPECT_TRUE(h.entry(a)->pending);
    EXPECT_FALSE(h.entry(a)->advice);
    EXPECT_EQ(h.entry(a)->createdAt, h.now);

    // An entry from the future (clock set back) is dropped, but its request time still holds the process.
    h.now = start;
    h.refresh({a});
    EXPECT_FALSE(h.entry(a));
    EXPECT_EQ(h.calls.size(), 2);
}

TEST(AutomaticProcessAdvice, FailedEntriesAreRetried) {
    Harness h;
    const Finding a = finding(1, 90);
    const Finding b = finding(2, 50);
    h.refresh({a});
    h.calls[0].done(QStringLiteral("失败"));
    h.refresh({a});
    EXPECT_EQ(h.calls.size(), 1); // a failure is not retried by itself
    h.queue->retryFailedRequests(true);
    ASSERT_EQ(h.calls.size(), 2);
    EXPECT_TRUE(h.entry(a)->pending);

    // While another request runs, retrying only forgets the failure; the next completion asks again.
    h.calls[1].done(QStringLiteral("失败"));
    h.refresh({a, b});
    ASSERT_EQ(h.calls.size(), 3); // for b
    h.queue->retryFailedRequests(true);
    EXPECT_FALSE(h.entry(a));
    EXPECT_FALSE(h.calls[2].stop.stop_requested());
    h.now = start.addSecs(3600); // three requests used up the hour
    h.calls[2].done(answer);
    ASSERT_EQ(h.calls.size(), 4);
    EXPECT_TRUE(h.entry(a)->pending);

    // Without starting, the failure is forgotten and nothing is asked; answered entries stay.
    h.calls[3].done(QStringLiteral("失败"));
    h.queue->retryFailedRequests(false);
    EXPECT_FALSE(h.entry(a));
    EXPECT_EQ(h.entry(b)->advice, answer);
    EXPECT_EQ(h.calls.size(), 4);
}

TEST(AutomaticProcessAdvice, EntryLookupPreviewAndIdleQueue) {
    Harness h;
    const Finding a = finding(1, 90);
    h.refresh({a});
    ProcessSample renamed = a.sample;
    renamed.name = QStringLiteral("renamed");
    renamed.cpuPercent = 3;
    EXPECT_TRUE(h.queue->entry(renamed));
    ProcessSample changed = a.sample;
    changed.command = QStringLiteral("worker --job 2");
    EXPECT_FALSE(h.queue->entry(changed));
    ProcessSample otherUser = a.sample;
    otherUser.uid = 0;
    EXPECT_FALSE(h.queue->entry(otherUser));

    // Preview entries and a queue without configuration make no request and touch no budget.
    Harness idle;
    idle.refresh({}, std::nullopt);
    idle.refresh({a}, std::nullopt);
    EXPECT_TRUE(idle.queue->entries().isEmpty());
    idle.queue->setPreview(a.sample, answer, false);
    EXPECT_EQ(idle.entry(a)->advice, answer);
    EXPECT_TRUE(idle.calls.isEmpty());
    EXPECT_TRUE(idle.persisted.isEmpty());
}

TEST(AutomaticProcessAdvice, StoredBudgetIsKeptCleanEvenWhenRefused) {
    // Three requests in the last hour, and one time two days ahead from a clock that was once wrong.
    const QList<QDateTime> recent{start.addSecs(-30), start.addSecs(-20), start.addSecs(-10)};
    Harness damaged(QList<QDateTime>(recent) << start.addDays(2));
    damaged.refresh({finding(1, 90)});
    EXPECT_TRUE(damaged.calls.isEmpty());
    EXPECT_EQ(damaged.persisted, (QList<QList<QDateTime>>{recent}));

    Harness ahead({start.addSecs(1)}); // a refusal that changes nothing stores nothing
    ahead.refresh({finding(1, 90)});
    EXPECT_TRUE(ahead.calls.isEmpty());
    EXPECT_TRUE(ahead.persisted.isEmpty());
}

TEST(AutomaticProcessAdvice, AnswerDuringTheCallOrAfterTheQueueIsGone) {
    Harness h;
    h.answerAtOnce = true;
    const Finding a = finding(1, 90);
    const Finding b = finding(2, 50);
    h.refresh({a, b});
    // Handed over inside the call: applied later, so the queue never runs two requests at once.
    ASSERT_EQ(h.calls.size(), 1);
    EXPECT_TRUE(h.entry(a)->pending);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(h.calls.size(), 2);
    EXPECT_EQ(h.entry(b)->advice, answer);

    Harness gone;
    gone.refresh({a});
    const auto done = gone.calls[0].done;
    gone.queue.reset();
    done(answer);
    EXPECT_TRUE(gone.finished.isEmpty());
}
