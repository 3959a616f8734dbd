#include "ModelHarness.h"
#include "support/LoopbackHttpServer.h"

#include <QFile>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(ModelViews, OrderedProcessesGoByTheChosenFigureThenName) {
    ModelHarness h;
    const std::vector<std::tuple<int32_t, QByteArray, uint64_t>> processes{{10, "worker 10", 1000},
                                                                           {11, "worker 2", 5000},
                                                                           {12, "Alpha", 3000},
                                                                           {13, "alpha", 3000},
                                                                           {14, "beta", 2000}};
    for (const auto& [pid, name, resident] : processes) {
        h.add(pid, name, static_cast<uint64_t>(pid) * 1'000'000);
        h.platform.change(pid, [resident = resident](InMemoryProcessPlatform::Process& p) {
            p.record.resident_bytes = resident;
        });
    }
    AppModel& model = h.start();
    h.sample();
    const auto pids = [&](ProcessSort key) {
        QList<int32_t> list;
        for (const ProcessSample& sample : model.orderedProcesses(key))
            list.append(sample.identity.pid);
        return list;
    };
    // Unmeasured processes order by name (digits as numbers, case ignored), then pid.
    EXPECT_EQ(pids(ProcessSort::cpu), (QList<int32_t>{12, 13, 14, 11, 10}));
    EXPECT_EQ(pids(ProcessSort::memory), (QList<int32_t>{11, 12, 13, 14, 10}));
    EXPECT_EQ(pids(ProcessSort::duration), (QList<int32_t>{10, 11, 12, 13, 14}));

    h.advance(30, {14});
    h.sample();
    EXPECT_EQ(pids(ProcessSort::cpu).first(), 14);
}

TEST(ModelViews, ManualAnalysisAppliesOnlyTheCurrentRequest) {
    LoopbackHttpServer server;
    const AIConfiguration service{server.baseURL(), QStringLiteral("m")};
    const auto reply = [&](const char* decision) {
        server.enqueue(LoopbackHttpServer::chatReply(
            QStringLiteral("{\"decision\":\"%1\",\"reason\":\"看进度\"}").arg(QLatin1String(decision))));
    };
    ModelHarness h;
    h.add(700, "encoder");
    h.add(701, "shell");
    AppModel& model = h.start();
    h.sample();
    h.run(30, {700});
    model.setSelectedID(ProcessIdentity{700, 5700});
    const ProcessSample encoder = *h.listed(700);
    ASSERT_EQ(model.localAdvice(encoder).state, LocalProcessAdvice::State::transientHigh);
    const auto analyzeAndWait = [&](const char* decision) {
        reply(decision);
        model.analyze(encoder, std::nullopt, service);
        EXPECT_TRUE(model.aiBusy());
        EXPECT_TRUE(waitUntil([&] { return !model.aiBusy(); }));
    };

    analyzeAndWait("keep_observing");
    ASSERT_TRUE(model.aiDecision());
    EXPECT_EQ(model.aiDecision()->decision, ProcessDecisionAdvice::Decision::keepObserving);

    // An answer on its way when the analysis is dropped, or the selection moves, never shows.
    for (const auto& drop :
         std::vector<std::function<void()>>{[&] { model.clearAnalysis(); },
                                            [&] {
                                                model.setSelectedID(ProcessIdentity{701, 5701}),
                                                    model.setSelectedID(ProcessIdentity{700, 5700});
                                            }}) {
        const qsizetype asked = server.requests().size();
        reply("consider_quitting");
        model.analyze(encoder, std::nullopt, service);
        ASSERT_TRUE(waitUntil([&] { return server.requests().size() > asked; }));
        drop();
        EXPECT_FALSE(model.aiBusy());
        EXPECT_FALSE(model.aiDecision());
        analyzeAndWait("check_progress");
        ASSERT_TRUE(model.aiDecision());
        EXPECT_EQ(model.aiDecision()->decision, ProcessDecisionAdvice::Decision::checkProgress);
    }

    // A request for a process that is no longer the selected one is refused before anything is sent.
    const qsizetype asked = server.requests().size();
    model.setSelectedID(ProcessIdentity{701, 5701});
    model.analyze(encoder, std::nullopt, service);
    EXPECT_EQ(model.aiError(), QStringLiteral("所选任务已变化，请重新选择进程并预览摘要。"));
    EXPECT_EQ(server.requests().size(), asked);
}

TEST(ModelViews, PreviewDataAndNothingOutsidePreview) {
    ModelHarness h;
    AppModel& preview = h.start(true);
    EXPECT_TRUE(preview.softwareUpdater()->preview()); // the model's updater shares its preview flag
    preview.configurePreview(QStringLiteral("overview"));
    EXPECT_FALSE(preview.processes().isEmpty() || preview.findings().isEmpty());
    EXPECT_FALSE(preview.history().isEmpty());
    preview.configurePreview(QStringLiteral("history-error"));
    EXPECT_FALSE(preview.canClearHistory()); // held, and on an error: a screenshot still clears nothing
    ASSERT_TRUE(preview.selectedID());
    preview.configureAIStatusPreview(QStringLiteral("settings-ai-authorize"));
    EXPECT_EQ(preview.aiKeyStatus(), AIKeyStatus::authorizationRequired);
    // Its actions work on stores in memory, and no sample replaces its data.
    preview.toggleMonitoring();
    preview.sampleNow();
    EXPECT_FALSE(preview.isMonitoring());
    EXPECT_EQ(preview.history().first().title, QStringLiteral("已暂停观察"));
    preview.clearHistory();
    EXPECT_TRUE(preview.history().isEmpty());
    EXPECT_FALSE(preview.isSampling());
    EXPECT_FALSE(QFile::exists(h.path(QStringLiteral("defaults.json"))));
    EXPECT_FALSE(QFile::exists(h.path(QStringLiteral("history.json"))));

    ModelHarness live;
    AppModel& model = live.start();
    const QString status = model.statusMessage();
    const AIConfiguration service = model.aiConfiguration();
    model.configurePreview(QStringLiteral("overview"));
    model.configureResourcePreview(QStringLiteral("resources"));
    model.configureAdvicePreview(QStringLiteral("advice-ready"));
    model.configureAIStatusPreview(QStringLiteral("settings-ai"));
    model.setPreviewAIConfiguration({QStringLiteral("http://127.0.0.1:9/v1"), QStringLiteral("x")});
    EXPECT_TRUE(model.processes().isEmpty());
    EXPECT_FALSE(model.systemCPU());
    EXPECT_TRUE(model.resourceHistory().points().isEmpty());
    EXPECT_EQ(model.statusMessage(), status);
    EXPECT_EQ(model.aiConfiguration(), service);
    EXPECT_FALSE(model.automaticAdviceAuthorization());
}
