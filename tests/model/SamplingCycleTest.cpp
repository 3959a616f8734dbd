#include "ModelHarness.h"
#include "platform/desktop/SleepWatcher.h"
#include "support/FakeDesktop.h"
#include "support/PrivateBus.h"

#include <cstring>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(SamplingCycle, StatusLinesPauseAndResume) {
    ModelHarness h;
    h.add(200, "editor");
    h.add(201, "indexer");
    AppModel& model = h.start();
    EXPECT_EQ(model.statusMessage(), QStringLiteral("正在建立观察基线…"));

    // Each row: what happens, then the status line and whether CPU figures show.
    struct Step {
        const char* what;
        std::function<void()> act;
        QString status;
        bool measured;
    };
    const std::vector<Step> steps{
        {"first sample", [&] { h.sample(); },
         QStringLiteral("已读取 2 个当前用户进程；下一次采样后显示 CPU。"), false},
        {"second sample", [&] { h.advance(30), h.sample(); },
         QStringLiteral("每 30 秒观察一次 · 2 个当前用户进程"), true},
        {"pause", [&] { model.toggleMonitoring(); }, QStringLiteral("观察已暂停。岚栖仍在系统托盘运行。"),
         false},
        {"first manual sample", [&] { h.advance(30), h.sample(); },
         QStringLiteral("已读取 2 个当前用户进程；下一次采样后显示 CPU。"), false},
        {"second manual sample", [&] { h.advance(30), h.sample(); },
         QStringLiteral("观察已暂停 · 当前为手动采样"), true},
        {"resume samples at once", [&] { model.toggleMonitoring(); },
         QStringLiteral("观察已恢复，正在重新建立基线。"), false},
        {"its sample is a new baseline", [&] { h.runSamples(); },
         QStringLiteral("已读取 2 个当前用户进程；下一次采样后显示 CPU。"), false},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(model.statusMessage(), step.status) << step.what;
        EXPECT_EQ(h.listed(201) && h.listed(201)->cpuPercent.has_value(), step.measured) << step.what;
        EXPECT_EQ(model.systemCPUText() == QStringLiteral("已暂停"), !model.isMonitoring()) << step.what;
    }
    EXPECT_EQ(h.historyTitles(), (QStringList{QStringLiteral("已恢复观察"), QStringLiteral("已暂停观察")}));
    EXPECT_EQ(model.history().last().detail, QStringLiteral("自动采样和异常提醒已暂停"));
    EXPECT_EQ(model.history().last().category, QStringLiteral("monitoring"));
    EXPECT_EQ(model.samplingInterval(), std::chrono::milliseconds(30000));

    // A sample asked for before a reset of observation never shows.
    h.advance(30);
    model.sampleNow();
    model.toggleMonitoring();
    EXPECT_FALSE(model.samplingInterval());
    h.runSamples();
    EXPECT_EQ(model.statusMessage(), QStringLiteral("观察已暂停。岚栖仍在系统托盘运行。"));

    // Restarting paused says so at once.
    AppModel& again = h.start();
    EXPECT_FALSE(again.isMonitoring());
    EXPECT_EQ(again.statusMessage(), QStringLiteral("观察已暂停。点击恢复后开始采样。"));
}

TEST(SamplingCycle, FindingsAreRecordedOncePerHalfHourAndShowFreshTexts) {
    ModelHarness h;
    h.quickRules();
    h.add(300, "encoder");
    h.add(301, "shell");
    AppModel& model = h.start();
    h.sample();
    h.run(60, {300});
    ASSERT_EQ(model.findings().size(), 1);
    model.setSelectedID(ProcessIdentity{300, 5300});
    const auto findingEvents = [&] {
        return h.historyTitles().count(QStringLiteral("发现持续高占用"));
    };
    EXPECT_EQ(findingEvents(), 1);
    EXPECT_TRUE(model.history().first().detail.contains(QStringLiteral(" · PID 300 · 已观察 ")));

    const QDateTime recorded = model.history().first().date.toDateTime();
    while (h.clock.addSecs(120) < recorded.addSecs(1799))
        h.run(120, {300}, 120);
    h.advance(h.clock.secsTo(recorded.addSecs(1799)), {300});
    h.sample();
    EXPECT_EQ(findingEvents(), 1);
    h.advance(1, {300});
    h.sample();
    EXPECT_EQ(findingEvents(), 2);

    // The program changes under the same identity: every text shown is the new one.
    h.platform.change(300, [](InMemoryProcessPlatform::Process& p) {
        std::strcpy(p.record.name, "encoder-2");
        p.path = QStringLiteral("/opt/encoder-2");
        p.arguments = QStringLiteral("encoder-2 --pass 2");
    });
    h.run(30, {300});
    EXPECT_EQ(h.listed(300)->name, QStringLiteral("encoder-2"));
    EXPECT_TRUE(model.findings().isEmpty()) << "another program starts a new run";
    h.run(30, {300});
    ASSERT_EQ(model.findings().size(), 1);
    EXPECT_EQ(model.findings().first().sample.command, QStringLiteral("encoder-2 --pass 2"));
    EXPECT_EQ(model.selectedID(), (ProcessIdentity{300, 5300}));

    // A restarted process is another identity and is recorded at once; the gone one is deselected.
    h.platform.remove(300);
    h.add(300, "encoder", 9000);
    h.run(60, {300});
    EXPECT_EQ(findingEvents(), 3);
    EXPECT_FALSE(model.selectedID());
    EXPECT_EQ(model.attentionCount(), 1);
}

TEST(SamplingCycle, NoSampleWhileTheMachineSleeps) {
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeLogin login(bus.connect(QStringLiteral("login")));
    LogindSleepWatcher watcher(bus.connect(QStringLiteral("watcher")));
    ASSERT_TRUE(watcher.isWatching());

    ModelHarness h;
    h.add(400, "editor");
    h.services.sleepWatcher = &watcher;
    AppModel& model = h.start();
    h.sample();
    h.advance(30);
    h.sample();
    ASSERT_TRUE(h.listed(400)->cpuPercent);

    int samples = 0;
    QObject::connect(&model, &AppModel::isSamplingChanged, [&] { samples += model.isSampling() ? 1 : 0; });
    login.prepareForSleep(true);
    ASSERT_TRUE(waitUntil([&] { return !h.listed(400)->cpuPercent; }));
    model.sampleNow();
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(h.executor.pending(), 0);
    EXPECT_FALSE(model.samplingInterval());

    login.prepareForSleep(false);
    ASSERT_TRUE(waitUntil([&] { return samples == 1; }));
    h.runSamples();
    EXPECT_FALSE(h.listed(400)->cpuPercent);
    EXPECT_TRUE(model.samplingInterval());

    // Findings in the history are spaced by the time lived through, a sleep included: busy again after
    // a short sleep the process is not recorded again; after a suspend of two hours it is.
    const auto findings = [&] {
        return h.historyTitles().count(QStringLiteral("发现持续高占用"));
    };
    h.quickRules();
    AppModel& busy = h.start();
    h.sample();
    h.run(60, {400});
    ASSERT_EQ(findings(), 1);
    for (const auto& [asleep, recorded] : {std::pair{10, 1}, std::pair{7200, 2}}) {
        login.prepareForSleep(true);
        ASSERT_TRUE(waitUntil([&] { return busy.findings().isEmpty(); }));
        h.clock = h.clock.addSecs(asleep);
        h.platform.sleep(asleep);
        login.prepareForSleep(false);
        ASSERT_TRUE(waitUntil([&] { return h.executor.pending() > 0; }));
        h.runSamples();
        h.run(60, {400});
        ASSERT_EQ(busy.findings().size(), 1) << asleep;
        EXPECT_EQ(findings(), recorded) << asleep;
    }
}

// A sample still waiting for the worker when the model goes is never taken.
TEST(SamplingCycle, ASampleLeftWaitingWhenTheModelGoesIsNeverTaken) {
    ModelHarness h;
    h.add(200, "editor");
    h.start().sampleNow();
    ASSERT_EQ(h.executor.pending(), 1);
    const int reads = h.platform.pathReads();
    h.model.reset();
    ASSERT_TRUE(h.executor.settle());
    EXPECT_EQ(h.platform.pathReads(), reads);
}

// What a sample shows is one value: each step that changes it is announced once, when all of it is in
// place, and a step that changes none of it is not announced.
TEST(SamplingCycle, SampleStateIsAnnouncedOncePerStep) {
    ModelHarness h;
    h.quickRules();
    h.add(400, "encoder");
    h.add(401, "shell");
    AppModel& model = h.start();
    int announced = 0;
    SampleState seen;
    QObject::connect(&model, &AppModel::sampleStateChanged, [&] {
        ++announced;
        seen = model.sampleState();
    });
    const auto encoder = [&] {
        return *h.listed(400);
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        int announcements;
    };
    const std::vector<Step> steps{
        {"first sample", [&] { h.sample(); }, 1},
        {"measured sample", [&] { h.advance(30, {400}), h.sample(); }, 1},
        {"a finding", [&] { h.advance(30, {400}), h.sample(); }, 1},
        {"muting drops the finding", [&] { model.ignore(encoder()); }, 1},
        {"unmuting shows nothing new", [&] { model.unignore(encoder()); }, 0},
        {"pause", [&] { model.toggleMonitoring(); }, 1},
        {"failed sample", [&] { h.platform.setListReadable(false), h.advance(30), h.sample(); }, 1},
        {"failing again", [&] { h.advance(30), h.sample(); }, 0},
        {"recovered", [&] { h.platform.setListReadable(true), h.advance(30), h.sample(); }, 1},
    };
    for (const Step& step : steps) {
        announced = 0;
        step.act();
        EXPECT_EQ(announced, step.announcements) << step.what;
        if (announced > 0) {
            EXPECT_EQ(seen, model.sampleState()) << step.what;
        }
    }
    EXPECT_FALSE(model.collectionError());
    EXPECT_EQ(model.processes().size(), 2);

    // A screenshot's scenario is one step too.
    AppModel& preview = h.start(true);
    announced = 0;
    QObject::connect(&preview, &AppModel::sampleStateChanged, [&] { ++announced; });
    preview.configurePreview(QStringLiteral("resources-pressure"));
    EXPECT_EQ(announced, 1);
    EXPECT_FALSE(preview.memoryObservations().isEmpty());
}
