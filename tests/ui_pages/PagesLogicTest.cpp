#include "ui/window/HistoryExport.h"
#include "ui/window/HistoryLogic.h"
#include "ui/window/MenuContentLogic.h"
#include "ui/window/ProcessDetailLogic.h"
#include "ui/window/ProcessesLogic.h"

#include <QTimeZone>
#include <cerrno>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

ProcessSample process(int32_t pid, const QString& name, const QString& source, uint64_t start = 1) {
    ProcessSample sample;
    sample.identity = {pid, start};
    sample.name = name;
    sample.source = source;
    sample.executable = QStringLiteral("/usr/bin/") + name;
    sample.command = name;
    sample.cpuPercent = 1;
    return sample;
}

QList<int32_t> pids(const QList<ProcessSample>& samples) {
    QList<int32_t> result;
    for (const ProcessSample& sample : samples)
        result.append(sample.identity.pid);
    return result;
}

Finding findingOf(const ProcessSample& sample) {
    return {sample, 600, QStringLiteral("持续高占用"), QStringLiteral("一直很忙。")};
}

} // namespace

TEST(ProcessesLogic, VisibleListKeepsTheModelOrderAndPassesSearchAndFilter) {
    const QList<ProcessSample> ordered{
        process(1123, QStringLiteral("alpha"), QStringLiteral("Alpha App")),
        process(512, QStringLiteral("beta"), QString()),
        process(77, QStringLiteral("Gamma12"), QStringLiteral("工具")),
        process(8, QStringLiteral("worker"), QStringLiteral("构建 · 编译")),
        process(9, QStringLiteral("delta"), QStringLiteral("Delta"), 5),
    };
    // Flagged: pid 9 of start 5 only; a finding of pid 8 started at another time does not count.
    const QList<Finding> findings{findingOf(ordered[4]),
                                  findingOf(process(8, QStringLiteral("worker"), {}, 99))};
    struct Case {
        QString search;
        ProcessFilter filter;
        QList<int32_t> expected;
    };
    const QList<Case> cases{
        {{}, ProcessFilter::all, {1123, 512, 77, 8, 9}},
        {QStringLiteral("   "), ProcessFilter::all, {1123, 512, 77, 8, 9}},
        {QStringLiteral("12"), ProcessFilter::all, {1123, 512, 77}},
        {QStringLiteral("beta beta 5"), ProcessFilter::all, {512}}, // no source: the name twice
        {QStringLiteral("alpha al"), ProcessFilter::all, {1123}},   // across the blank
        {QStringLiteral("ALPHA APP"), ProcessFilter::all, {1123}},
        {QStringLiteral(" 编译\n"), ProcessFilter::all, {8}},
        {QStringLiteral("beta  "), ProcessFilter::all, {512}},
        {QStringLiteral("beta  beta"), ProcessFilter::all, {}},
        {{}, ProcessFilter::attention, {9}},
        {QStringLiteral("work"), ProcessFilter::muted, {8}},
    };
    ProcessesLogic::Filter filter{{}, ProcessesLogic::flaggedIdentities(findings), {ordered[3].identity}};
    for (const Case& c : cases) {
        filter.key = c.filter;
        EXPECT_EQ(pids(ProcessesLogic::visibleProcesses(ordered, c.search, filter)), c.expected)
            << c.search.toStdString() << " / " << static_cast<int>(c.filter);
        // The folded texts a list keeps per sample give the same result.
        EXPECT_EQ(pids(ProcessesLogic::visibleProcesses(ordered, c.search, filter,
                                                        ProcessesLogic::foldedSearchText)),
                  c.expected);
    }
    filter.key = ProcessFilter::attention;
    filter.flagged.clear();
    EXPECT_TRUE(ProcessesLogic::visibleProcesses(ordered, {}, filter).isEmpty());
    EXPECT_EQ(ProcessesLogic::emptyList(false).title, QStringLiteral("没有匹配的进程"));
    EXPECT_EQ(ProcessesLogic::emptyList(true).title, QStringLiteral("还没有采样数据"));
    EXPECT_EQ(ProcessesLogic::countLabel(3), QStringLiteral("3 个"));
    EXPECT_EQ(ProcessesLogic::oneLine(QStringLiteral("a\nb\r\tc\u2028d")), QStringLiteral("a b  c d"));
}

TEST(ProcessesLogic, SidePaneFollowsTheSelectionInTheWholeSample) {
    const QList<ProcessSample> processes{process(1, QStringLiteral("a"), {}),
                                         process(2, QStringLiteral("b"), {})};
    using P = ProcessesLogic::SidePane;
    const struct {
        std::optional<ProcessIdentity> selected;
        std::optional<ProcessIdentity> opened;
        P pane;
    } panes[] = {
        {ProcessIdentity{2, 1}, std::nullopt, P::detail},
        {ProcessIdentity{2, 1}, ProcessIdentity{7, 7}, P::detail},
        {ProcessIdentity{2, 9}, ProcessIdentity{2, 9}, P::missingProcess}, // exited: pid reused
        {ProcessIdentity{2, 9}, std::nullopt, P::selectionPrompt},
        {std::nullopt, ProcessIdentity{3, 3}, P::missingProcess},
        {std::nullopt, std::nullopt, P::selectionPrompt},
    };
    for (const auto& c : panes) {
        const auto choice = ProcessesLogic::sidePane(processes, c.selected, c.opened);
        EXPECT_EQ(choice.pane, c.pane);
        EXPECT_EQ(choice.sample ? choice.sample->name : QString(),
                  c.pane == P::detail ? QStringLiteral("b") : QString());
    }

    // The missing-process card: the advice for no process, in its order, and one button.
    const struct {
        bool failed, monitoring, sampling, preview;
        QString title;
        QString button;
        bool enabled;
    } cards[] = {
        {true, false, false, false, QStringLiteral("先重新读取进程"), QStringLiteral("恢复观察"), true},
        {false, false, true, false, QStringLiteral("先恢复监测"), QStringLiteral("恢复观察"), false},
        {false, true, false, true, QStringLiteral("暂时没读到这个进程"), QStringLiteral("刷新当前进程"),
         false},
        {false, true, false, false, QStringLiteral("暂时没读到这个进程"), QStringLiteral("刷新当前进程"),
         true},
    };
    for (const auto& c : cards) {
        const LocalProcessAdvice::Context context{.wasNotified = true,
                                                  .isMonitoring = c.monitoring,
                                                  .collectionFailed = c.failed,
                                                  .isIgnored = false};
        const auto advice = LocalProcessAdvice::make(std::nullopt, std::nullopt, context, MonitorSettings());
        const auto card = ProcessesLogic::missingProcessCard(advice, c.monitoring, c.sampling, c.preview);
        EXPECT_EQ(card.title, c.title);
        EXPECT_EQ(card.reason, advice.reason);
        EXPECT_EQ(card.nextStep, advice.nextStep);
        EXPECT_EQ(card.buttonTitle, c.button);
        EXPECT_EQ(card.buttonEnabled, c.enabled);
    }
}

TEST(ProcessDetail, TextsFollowTheFindingTheStopStateAndPreview) {
    ProcessSample fresh = process(7421, QStringLiteral("task-worker"), QString());
    fresh.cpuPercent.reset();
    fresh.parentPID = 17310;
    fresh.command.clear();
    const ProcessSample busy = process(7421, QStringLiteral("task-worker"), QStringLiteral("示例"));
    const Finding finding = findingOf(busy);
    // A finding of the same pid but another start time is another process's.
    EXPECT_FALSE(ProcessDetail::findingFor({findingOf(process(7421, {}, {}, 2))}, busy.identity));
    ASSERT_TRUE(ProcessDetail::findingFor({finding}, busy.identity));

    // The explanations, stop titles, mute titles and footnotes the cases expect.
    const QString waiting = QStringLiteral("CPU 需要两次采样才能计算。请等待下次采样。");
    const QString ordinary =
        QStringLiteral("目前没有达到持续高 CPU 的提醒条件。任务是否正常，还需结合日志和进度判断。");
    const QString request = QStringLiteral("请求退出"), rechecking = QStringLiteral("正在复查…");
    const QString mute = QStringLiteral("这是正常任务 · 静音 1 小时"),
                  unmute = QStringLiteral("恢复这个进程的提醒");
    const QString confirmed = QStringLiteral("退出和强制结束均需确认，操作后会复查结果。"),
                  refused = QStringLiteral("这是受保护或不可操作的进程。"),
                  preview = QStringLiteral("演示模式中的操作不会执行。"),
                  exiting = QStringLiteral("正在确认进程是否已退出。");
    const QString& found = finding.explanation;
    const struct {
        ProcessDetail::Input in; // sample, finding, stopping, canStop, muted, preview
        bool amber;
        QString explanation, stopTitle;
        bool stopEnabled;
        QString mute, footnote;
    } cases[] = {
        {{fresh, std::nullopt, false, true, false, false}, false, waiting, request, true, mute, confirmed},
        {{busy, finding, false, true, true, false}, true, found, request, true, unmute, confirmed},
        {{busy, std::nullopt, true, true, false, false}, false, ordinary, rechecking, false, mute, exiting},
        {{busy, std::nullopt, false, false, false, false}, false, ordinary, request, false, mute, refused},
        {{busy, finding, false, true, false, true}, true, found, request, false, mute, preview},
        {{busy, std::nullopt, false, false, false, true}, false, ordinary, request, false, mute, refused},
    };
    for (const auto& c : cases) {
        const auto t = ProcessDetail::texts(c.in);
        EXPECT_EQ(t.cpuHighlighted, c.amber);
        EXPECT_EQ(t.explanation, c.explanation);
        EXPECT_EQ(t.stopTitle, c.stopTitle);
        EXPECT_EQ(t.stopEnabled, c.stopEnabled);
        EXPECT_EQ(t.muteTitle, c.mute);
        EXPECT_EQ(t.muteEnabled, !c.in.isPreview);
        EXPECT_EQ(t.showsMutedBadge, c.in.isMuted);
        EXPECT_EQ(t.footnote, c.footnote);
    }
    const auto t = ProcessDetail::texts(cases[0].in);
    EXPECT_EQ(t.pidLine, QStringLiteral("PID 7421 · 父进程 17310"));
    EXPECT_EQ(t.origin, QStringLiteral("task-worker"));
    EXPECT_EQ(t.cpu, QStringLiteral("采样中"));
    EXPECT_EQ(t.command, QStringLiteral("当前无法读取启动命令。"));
    EXPECT_EQ(t.executable, QStringLiteral("\u2066/usr/bin/task-worker\u2069"));

    // A name made to reverse, hide or ring shows each of those characters, in its place.
    ProcessSample disguised = busy;
    disguised.executable = QStringLiteral("/tmp/evil\u202Eexe.txt\u0007");
    disguised.command = disguised.executable + QStringLiteral(" burn\ntxt.exe");
    const auto shown = ProcessDetail::texts({disguised, std::nullopt, false, true, false, false});
    EXPECT_EQ(shown.executable, QStringLiteral("\u2066/tmp/evil\\u202Eexe.txt\\u0007\u2069"));
    // Each argument isolated, so that none is drawn in another's place.
    EXPECT_EQ(shown.command, QStringLiteral("\u2066\u2066/tmp/evil\\u202Eexe.txt\\u0007\u2069 "
                                            "\u2066burn\\ntxt.exe\u2069\u2069"));
}

TEST(AISection, StepsGroupAndStatusAreaFollowTheirRules) {
    using State = LocalProcessAdvice::State;
    using Action = LocalProcessAdvice::PrimaryAction;
    using Status = AISection::Status;
    AutomaticProcessAdvice::Entry answered, pending, failed;
    answered.advice = ProcessDecisionAdvice{};
    pending.pending = true;
    failed.failure = QStringLiteral("超时");
    int ownerAsked = 0;
    const auto owner = [&ownerAsked](bool owned) {
        return [&ownerAsked, owned] {
            ++ownerAsked;
            return owned;
        };
    };
    using Edit = std::function<void(AISection::Input&)>;
    const auto in = [](State state, Action action, const Edit& edit) {
        AISection::Input input;
        input.advice.state = state;
        input.advice.primaryAction = action;
        input.model = QStringLiteral("m");
        edit(input);
        return input;
    };
    struct Case {
        AISection::Input in;
        QStringList steps; // titles, "-" marking a disabled one
        bool group;
        Status status;
        QString request;
        int ownerAsks;
    };
    const QString mute = QStringLiteral("任务有进展 · 静音 1 小时"), ask = QStringLiteral("获取简短建议");
    // clang-format off
    const Case cases[] = {
        {in(State::muted, Action::none, [](auto& i) { i.hasDecision = true; }),
         {}, false, Status::adviceShown, {}, 0},
        {in(State::sustainedHigh, Action::inspect,
            [&](auto& i) { i.isPreview = true; i.hasOwningApplication = owner(true); }),
         {QStringLiteral("-查看任务进度"), u'-' + mute}, true, Status::request, ask, 0},
        {in(State::sustainedHigh, Action::inspect,
            [&](auto& i) { i.hasOwningApplication = owner(true); i.isMuted = true; i.entry = answered; }),
         {QStringLiteral("打开所属应用"), QStringLiteral("恢复提醒")}, true, Status::adviceShown, {}, 1},
        // A running request wins over a decision; an older error still shows.
        {in(State::transientHigh, Action::inspect, [&](auto& i) {
             i.hasOwningApplication = owner(false);
             i.aiBusy = i.hasDecision = true;
             i.aiError = QStringLiteral("旧的错误");
         }),
         {QStringLiteral("在系统监视器中查看"), mute}, true, Status::busy, {}, 1},
        {in(State::paused, Action::refresh, [](auto& i) { i.isMonitoring = false; }),
         {QStringLiteral("恢复观察")}, false, Status::request, ask, 0},
        {in(State::waitingForSample, Action::refresh, [](auto& i) { i.isSampling = true; }),
         {QStringLiteral("-刷新当前状态")}, false, Status::request, ask, 0},
        {in(State::sustainedHigh, Action::none, [&](auto& i) { i.entry = pending; }),
         {}, true, Status::automaticPending, {}, 0},
        {in(State::sustainedHigh, Action::none, [&](auto& i) { i.entry = failed; i.model.clear(); }),
         {}, true, Status::request, QStringLiteral("配置 AI 服务"), 0},
        // Not empty here: the request itself finds the name blank.
        {in(State::sustainedHigh, Action::none, [](auto& i) { i.model = QStringLiteral("  "); }),
         {}, true, Status::request, ask, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        ownerAsked = 0;
        const auto t = AISection::texts(c.in);
        QStringList steps;
        for (const auto& step : t.steps)
            steps.append((step.enabled ? QString() : QStringLiteral("-")) + step.title);
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(t.showsAIGroup, c.group);
        EXPECT_EQ(t.status, c.status);
        if (c.status == Status::request) {
            EXPECT_EQ(t.requestTitle, c.request);
        }
        EXPECT_EQ(t.requestEnabled, !c.in.isPreview);
        EXPECT_EQ(t.error, c.in.aiError); // independent of the status area
        EXPECT_EQ(ownerAsked, c.ownerAsks);
    }
}

TEST(HistoryLogic, FilterSearchAndIconsFollowTheTitle) {
    const auto event = [](const QString& title, const QString& detail) {
        ActivityEvent e;
        e.title = title;
        e.detail = detail;
        return e;
    };
    const QList<ActivityEvent> history{
        event(QStringLiteral("发现持续高占用"), QStringLiteral("后台任务 · PID 7421")),
        event(QStringLiteral("未能停止"), QStringLiteral("Build · PID 5")),
        event(QStringLiteral("停止后仍在运行"), QStringLiteral("编译任务 · PID 6 · 尚未退出")),
        event(QStringLiteral("暂时无法确认退出"), QStringLiteral("PID 7")),
        event(QStringLiteral("已确认退出"), QStringLiteral("图像处理任务 · PID 5830")),
    };
    struct Case {
        HistoryFilter filter;
        QString search;
        QList<int> expected;
    };
    const QList<Case> cases{
        {HistoryFilter::all, {}, {0, 1, 2, 3, 4}},
        {HistoryFilter::all, QStringLiteral(" "), {0, 1, 2, 3, 4}}, // title and detail joined by a blank
        {HistoryFilter::alerts, {}, {0}},
        {HistoryFilter::actions, {}, {1, 2, 3, 4}},
        {HistoryFilter::actions, QStringLiteral("BUILD"), {1}},
        {HistoryFilter::all, QStringLiteral("停止 build"), {1}},
        {HistoryFilter::all, QStringLiteral("编译 "), {}}, // untrimmed
        {HistoryFilter::all, QStringLiteral("pid 58"), {4}},
    };
    for (const Case& c : cases) {
        QList<ActivityEvent> expected;
        for (int i : c.expected)
            expected.append(history[i]);
        EXPECT_EQ(HistoryLogic::visibleEvents(history, c.filter, c.search), expected)
            << static_cast<int>(c.filter) << " / " << c.search.toStdString();
    }
    const QList<QPair<const char*, AdaptiveColor>> icons{
        {"exclamationmark.circle", Palette::amber}, {"xmark.circle", Palette::muted},
        {"xmark.circle", Palette::muted},           {"xmark.circle", Palette::muted},
        {"checkmark.circle", Palette::muted},
    };
    for (int i = 0; i < history.size(); ++i)
        EXPECT_EQ(HistoryLogic::eventIcon(history[i].title),
                  (HistoryLogic::EventIcon{icons[i].first, icons[i].second}))
            << i;

    EXPECT_FALSE(HistoryLogic::exportEnabled(true, false));
    EXPECT_FALSE(HistoryLogic::exportEnabled(false, true));
    EXPECT_EQ(HistoryLogic::countLabel(0), QStringLiteral("0 条记录"));
    const QDateTime afternoon(QDate(2026, 12, 5), QTime(16, 30, 5), Qt::LocalTime);
    EXPECT_EQ(HistoryLogic::dateText(afternoon), QStringLiteral("2026年12月5日 16:30:05"));
}

TEST(HistoryExport, NamesSentencesAndPaths) {
    const QDateTime shortlyAfterMidnight(QDate(2026, 12, 6), QTime(0, 30), QTimeZone(8 * 3600));
    EXPECT_EQ(HistoryExport::proposedName(shortlyAfterMidnight),
              QStringLiteral("Lunorvale-记录-2026-12-05.json"));
    const QList<QPair<int, QString>> sentences{
        {EACCES, QStringLiteral("没有足够的权限。")},
        {EROFS, QStringLiteral("该位置只读。")},
        {EDQUOT, QStringLiteral("磁盘空间不足。")},
        {ENOTDIR, QStringLiteral("路径中有一项不是文件夹。")},
        {EISDIR, QStringLiteral("该位置是一个文件夹。")},
        {4242, QStringLiteral("系统报告了错误（代码 4242）。")},
    };
    for (const auto& [error, sentence] : sentences)
        EXPECT_EQ(HistoryExport::failureSentence(error), sentence) << error;
    const QList<QPair<QString, bool>> paths{
        {QStringLiteral("/tmp/a.json"), true},      {QStringLiteral("a.json"), false},
        {QStringLiteral("/tmp/"), false},           {QStringLiteral("/tmp/.."), false},
        {QString::fromUtf8("/tmp/a\0b", 8), false}, {QStringLiteral("file:///tmp/a.json"), false},
    };
    for (const auto& [path, usable] : paths)
        EXPECT_EQ(HistoryExport::isUsablePath(path), usable) << path.toStdString();
}

TEST(MenuContentLogic, StateResourceAndObservationLines) {
    struct Case {
        bool failed, monitoring, sampled;
        int count;
        QString line;
    };
    const QList<Case> cases{
        {true, false, false, 3, QStringLiteral("等待读取恢复")},
        {false, false, true, 3, QStringLiteral("后台观察已暂停")},
        {false, true, false, 3, QStringLiteral("正在建立观察基线")},
        {false, true, true, 0, QStringLiteral("目前没有资源提醒")},
        {false, true, true, 3, QStringLiteral("3 项资源提醒")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MenuContentLogic::stateLine(c.failed, c.monitoring, c.sampled, c.count), c.line);

    SystemMemorySnapshot memory;
    memory.pressure = SystemMemoryPressure::normal;
    EXPECT_EQ(MenuContentLogic::resourceLine(QStringLiteral("12.5%"), memory),
              QStringLiteral("整机 CPU 12.5% · 内存压力正常"));
    memory.pressure = SystemMemoryPressure::critical;
    EXPECT_EQ(MenuContentLogic::pressureWord(memory), QStringLiteral("很高"));
    EXPECT_EQ(MenuContentLogic::pressureWord(std::nullopt), QStringLiteral("暂不可读取"));

    ApplicationCPUFinding application;
    application.group.name = QStringLiteral("Canvas Studio");
    MemoryObservation observation;
    observation.title = QStringLiteral("内存压力持续偏高");
    EXPECT_EQ(MenuContentLogic::observationTitle({}, {application}),
              QStringLiteral("\u2068Canvas Studio\u2069 整体持续高占用"));
    EXPECT_EQ(MenuContentLogic::observationTitle({observation}, {application}), observation.title);
    EXPECT_EQ(MenuContentLogic::observationTitle({}, {}), std::nullopt);

    QList<ProcessSample> five;
    for (int pid = 1; pid <= 5; ++pid)
        five.append(process(pid, QStringLiteral("p"), {}));
    EXPECT_EQ(pids(MenuContentLogic::busiest(five)), (QList<int32_t>{1, 2, 3}));
    EXPECT_EQ(pids(MenuContentLogic::busiest(five.mid(0, 1))), QList<int32_t>{1});
    EXPECT_TRUE(MenuContentLogic::isFlagged(five[1], {findingOf(five[1])}));
    EXPECT_FALSE(MenuContentLogic::isFlagged(five[1], {findingOf(process(2, QStringLiteral("p"), {}, 2))}));
}
