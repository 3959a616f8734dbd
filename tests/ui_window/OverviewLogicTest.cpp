#include "ui/window/OverviewLogic.h"
#include "monitoring/SnapshotFixtures.h"
#include "ui/kit/Fonts.h"
#include "ui/window/ProcessRow.h"
#include "ui/window/ResourceDashboardLogic.h"
#include "ui/window/SheetLogic.h"

#include <QTextLayout>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>

using namespace lunorvale;
using namespace lunorvale::fixtures;
using namespace lunorvale::OverviewLogic;

namespace {

Finding finding(int32_t pid) {
    return Finding{process(pid, 95), 300, QStringLiteral("worker 持续高占用"), {}};
}

QList<int32_t> pids(const QList<ProcessSample>& samples) {
    QList<int32_t> out;
    for (const ProcessSample& sample : samples)
        out.append(sample.identity.pid);
    return out;
}

AutomaticProcessAdvice::Entry entry(bool pending, bool advice, bool failure) {
    AutomaticProcessAdvice::Entry e;
    e.sample = process(7, 95);
    e.pending = pending;
    if (advice)
        e.advice =
            ProcessDecisionAdvice{ProcessDecisionAdvice::Decision::keepObserving, QStringLiteral("自动")};
    if (failure)
        e.failure = QStringLiteral("超时");
    return e;
}

// Whether what follows the last isolated name in `text` is drawn after all that comes before it, left
// to right, as the kit lays a line out.
bool wordsFollowTheName(const QString& text) {
    QTextLayout layout(text, Fonts::system(13));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(10000);
    layout.endLayout();
    const int end = int(text.lastIndexOf(u'\u2069'));
    qreal before = -1;
    for (int i = 0; i < text.size(); ++i) {
        const qreal x = line.cursorToX(i);
        if (i > end && !text.at(i).isSpace() && x <= before)
            return false;
        before = std::max(before, x);
    }
    return true;
}

} // namespace

// A name that runs right to left, or one that holds an override, cannot carry the words and figures
// after it in a sentence to its other side.
TEST(OverviewLogic, ProcessNamesInSentencesCannotReorderTheWordsAroundThem) {
    for (const char* name : {"\u05d7\u05e9\u05d1\u05d5\u05df", "evil\u202eexe.txt"}) {
        Finding named = finding(7);
        named.sample.name = named.sample.source = QString::fromUtf8(name);
        const ApplicationCPUFinding application{{{}, named.sample.name, {}, {}}, 400};
        for (const QString& sentence : {chipTitle(named, false), StopSheet::processLine(named.sample),
                                        ProcessRow::sourceLine(named.sample),
                                        ResourceDashboardLogic::applicationFindingTitle(application),
                                        stripObservation({}, {application}).value_or(QString())})
            EXPECT_TRUE(wordsFollowTheName(sentence)) << sentence.toStdString();
    }
}

TEST(OverviewLogic, PrimaryFindingAndTopList) {
    const QList<Finding> findings = {finding(1), finding(2), finding(3)};
    const struct {
        std::optional<int32_t> preferred;
        QList<Finding> findings;
        std::optional<int32_t> primary;
    } primaries[] = {
        {std::nullopt, findings, 1},
        {2, findings, 2},
        {9, findings, 1}, // no longer flagged: the first
        {2, {}, std::nullopt},
        {2, {finding(3), finding(2)}, 2}, // back again: preferred once more
    };
    for (const auto& c : primaries) {
        const std::optional<ProcessIdentity> preferred =
            c.preferred ? std::optional(process(*c.preferred, 0).identity) : std::nullopt;
        const Finding* primary = findingOf(c.findings, findingOrder(c.findings, preferred).primary);
        EXPECT_EQ(primary ? std::optional(primary->sample.identity.pid) : std::nullopt, c.primary);
    }
    // A process with the same pid but another start time is not the preferred one.
    ProcessIdentity reused = process(2, 0).identity;
    reused.startTime += 1;
    EXPECT_EQ(findingOrder(findings, reused).primary, findings.first().sample.identity);

    const QList<ProcessSample> ordered = {process(5, 90), process(1, 80), process(2, 70), process(3, 60),
                                          process(4, 50)};
    const Finding flagged = finding(1);
    const Finding only = finding(9);
    const struct {
        QList<ProcessSample> ordered;
        const Finding* primary;
        QList<int32_t> top;
    } tops[] = {
        {ordered, nullptr, {5, 1, 2}},
        {ordered, &flagged, {5, 2, 3}}, // only the primary process is left out
        {{process(9, 95)}, &only, {}},
        {{}, nullptr, {}},
    };
    for (const auto& c : tops)
        EXPECT_EQ(pids(topList(c.ordered, c.primary)), c.top);
    EXPECT_EQ(topListTitle(&flagged), QStringLiteral("其他进程"));
    EXPECT_EQ(chipTitle(flagged, false), QStringLiteral("\u2068worker\u2069 · 95.0%"));
}

TEST(OverviewLogic, ShownFindingsStayInPlaceAcrossSamples) {
    const auto identities = [](const QList<int32_t>& pids) {
        QList<ProcessIdentity> out;
        for (const int32_t pid : pids)
            out.append(process(pid, 0).identity);
        return out;
    };
    const auto identity = [](std::optional<int32_t> pid) {
        return pid ? std::optional(process(*pid, 0).identity) : std::nullopt;
    };
    // What was shown, the findings of the next sample in the model's order (busiest first), the chip
    // the user picked, and what is shown then.
    const struct {
        const char* what;
        QList<int32_t> chipsBefore;
        std::optional<int32_t> primaryBefore;
        QList<int32_t> findings;
        std::optional<int32_t> picked;
        QList<int32_t> chips;
        std::optional<int32_t> primary;
    } cases[] = {
        {"first sight: the model's order", {}, std::nullopt, {2, 1}, std::nullopt, {2, 1}, 2},
        {"the loads swap: nothing moves", {2, 1}, 2, {1, 2}, std::nullopt, {2, 1}, 2},
        {"a busier newcomer follows", {2, 1}, 2, {3, 1, 2}, std::nullopt, {2, 1, 3}, 2},
        {"the primary ends: the first chip left", {2, 1, 3}, 2, {3, 1}, std::nullopt, {1, 3}, 1},
        {"another chip ends: the primary stays", {2, 1, 3}, 1, {3, 1}, std::nullopt, {1, 3}, 1},
        {"the user's pick", {2, 1}, 2, {1, 2}, 1, {2, 1}, 1},
        {"the pick ends: the first chip left", {2, 1, 3}, 1, {3, 2}, 1, {2, 3}, 2},
        {"the pick comes back", {2, 3}, 2, {1, 3, 2}, 1, {2, 3, 1}, 1},
        {"nothing flagged", {2, 1}, 2, {}, 1, {}, std::nullopt},
    };
    for (const auto& c : cases) {
        QList<Finding> findings;
        for (const int32_t pid : c.findings)
            findings.append(finding(pid));
        const FindingOrder shown{identities(c.chipsBefore), identity(c.primaryBefore)};
        const FindingOrder next = findingOrder(findings, identity(c.picked), shown);
        EXPECT_EQ(next.chips, identities(c.chips)) << c.what;
        EXPECT_EQ(next.primary, identity(c.primary)) << c.what;
    }

    // Processes of the same name are told apart by their PID.
    Finding helper = finding(4);
    helper.sample.name = QStringLiteral("helper");
    const QList<Finding> findings = {finding(1), finding(12), helper};
    QStringList titles;
    for (const Finding& f : findings)
        titles << chipTitle(f, hasNamesake(findings, f));
    EXPECT_EQ(titles, (QStringList{"\u2068worker\u2069 · PID 1 · 95.0%",
                                   "\u2068worker\u2069 · PID 12 · 95.0%", "\u2068helper\u2069 · 95.0%"}));
}

// A chip keeps its width whatever its neighbours take; only one wider than the row by itself gives way,
// never below its smallest.
TEST(OverviewLogic, OnlyAChipWiderThanTheRowGivesWay) {
    const struct {
        int natural;
        int smallest;
        int room;
        int width;
    } cases[] = {
        {120, 60, 500, 120}, // fits, however many others there are
        {500, 60, 500, 500},
        {700, 60, 500, 500},  // alone wider than the row
        {700, 200, 150, 200}, // not even its smallest fits: the row scrolls to the rest
    };
    for (const auto& c : cases)
        EXPECT_EQ(chipWidth(c.natural, c.smallest, c.room), c.width) << c.natural << " in " << c.room;
}

TEST(OverviewLogic, RestingStatesInOrder) {
    using Kind = RestingState::Kind;
    using Action = RestingState::Action;
    // Inputs as letters: f collection failed, m monitoring, s sampled, a/A one/two processes needing
    // attention, b sampling now, p preview, r reminders on.
    const struct {
        const char* in;
        Kind kind;
        Action action;
        bool enabled;
    } cases[] = {
        // An error comes before a pause; its detail is the error itself.
        {"fsA", Kind::collectionError, Action::sampleNow, true},
        {"fmsb", Kind::collectionError, Action::sampleNow, false},
        {"fmsp", Kind::collectionError, Action::sampleNow, false},
        {"s", Kind::paused, Action::resumeMonitoring, true},
        {"sp", Kind::paused, Action::resumeMonitoring, false},
        // The button of the last three states follows the attention count alone.
        {"m", Kind::baseline, Action::showProcesses, true},
        {"ma", Kind::baseline, Action::showResources, true},
        {"msAp", Kind::resourceChanges, Action::showResources, true},
        {"msr", Kind::quiet, Action::showProcesses, true},
    };
    const std::map<Action, QString> buttons{{Action::sampleNow, QStringLiteral("重新采样")},
                                            {Action::resumeMonitoring, QStringLiteral("恢复观察")},
                                            {Action::showProcesses, QStringLiteral("查看全部进程")},
                                            {Action::showResources, QStringLiteral("查看资源趋势")}};
    for (const auto& c : cases) {
        const auto has = [&](char flag) {
            return std::strchr(c.in, flag) != nullptr;
        };
        const RestingState state = restingState(
            {has('f') ? std::optional(QStringLiteral("读取失败")) : std::nullopt, has('m'), has('s'),
             has('A')   ? 2
             : has('a') ? 1
                        : 0,
             has('b'), has('p'), has('r')});
        EXPECT_EQ(state.kind, c.kind) << c.in;
        EXPECT_EQ(state.action, c.action) << c.in;
        EXPECT_EQ(state.buttonTitle, buttons.at(c.action)) << c.in;
        EXPECT_EQ(state.buttonEnabled, c.enabled) << c.in;
        EXPECT_EQ(state.offersReminderSettings, !has('r')) << c.in;
        if (has('f')) {
            EXPECT_EQ(state.detail, QStringLiteral("读取失败"));
        }
    }
    EXPECT_EQ(restingState({std::nullopt, true}).title, QStringLiteral("正在建立观察基线"));
}

TEST(OverviewLogic, AnalysisRequestStepByStep) {
    using State = LocalProcessAdvice::State;
    const QString model = QStringLiteral("deepseek-chat");
    const struct {
        AnalysisInputs in;
        AnalysisRoute route;
    } cases[] = {
        {{State::muted, model, std::nullopt, false, true}, AnalysisRoute::openProcessOnly},
        {{State::recovered, QString(), std::nullopt, false, false}, AnalysisRoute::openProcessOnly},
        {{State::sustainedHigh, QStringLiteral(" \n\t"), entry(false, true, false), true, true},
         AnalysisRoute::openAISettings},
        {{State::transientHigh, model, entry(false, true, false), false, false},
         AnalysisRoute::showExistingAdvice},
        {{State::sustainedHigh, model, std::nullopt, true, false}, AnalysisRoute::showExistingAdvice},
        {{State::sustainedHigh, model, entry(true, false, false), false, false},
         AnalysisRoute::showExistingAdvice},
        {{State::sustainedHigh, model, entry(false, false, true), false, false}, AnalysisRoute::askConsent},
        {{State::sustainedHigh, model, std::nullopt, false, true}, AnalysisRoute::analyze},
    };
    for (const auto& c : cases)
        EXPECT_EQ(analysisRoute(c.in), c.route);
}

TEST(OverviewLogic, AdviceLineShowsADecisionOnlyBesideHighCPU) {
    using State = LocalProcessAdvice::State;
    using Kind = AdviceAILine::Kind;
    const ProcessDecisionAdvice manual{ProcessDecisionAdvice::Decision::checkProgress,
                                       QStringLiteral("手动")};
    const struct {
        State state;
        std::optional<ProcessDecisionAdvice> manual;
        std::optional<AutomaticProcessAdvice::Entry> entry;
        Kind kind;
        QString text;
    } cases[] = {
        {State::sustainedHigh, manual, entry(false, true, false), Kind::decision, QStringLiteral("手动")},
        {State::transientHigh, std::nullopt, entry(false, true, false), Kind::decision,
         QStringLiteral("自动")},
        {State::muted, manual, entry(true, false, false), Kind::pending,
         QStringLiteral("AI 正在补充建议，可先按上方步骤处理。")},
        {State::ordinary, std::nullopt, entry(true, false, true), Kind::pending,
         QStringLiteral("AI 正在补充建议，可先按上方步骤处理。")},
        {State::sustainedHigh, std::nullopt, entry(false, false, true), Kind::failure,
         QStringLiteral("AI 暂不可用，上方处理步骤仍可使用。")},
        {State::muted, manual, std::nullopt, Kind::none, QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(adviceAILine(c.state, c.manual, c.entry), (AdviceAILine{c.kind, c.text}));
}

TEST(OverviewLogic, PriorityCardLabelsInOrder) {
    const struct {
        double threshold;
        bool preview, stopping, owner, canStop;
        const char* inspect;
        bool stopEnabled;
        const char* footnote;
        const char* note;
    } cases[] = {
        {NAN, false, false, false, true, "在系统监视器中查看", true, "退出前会再次确认，仅处理选中的进程。",
         "采样区间均值已连续 5 分钟 高于 90%"},
        {87.5, false, false, true, false, "打开所属应用", false, "退出前会再次确认，仅处理选中的进程。",
         "采样区间均值已连续 5 分钟 高于 87%"},
        {5, false, true, true, true, "打开所属应用", false, "已发送请求，正在复查退出结果…",
         "采样区间均值已连续 5 分钟 高于 10%"},
        {2000, true, true, true, true, "查看任务进度", false, "已发送请求，正在复查退出结果…",
         "采样区间均值已连续 5 分钟 高于 1600%"},
    };
    for (const auto& c : cases) {
        int asked = 0;
        PriorityTaskInputs in;
        in.isPreview = c.preview;
        in.stopping = c.stopping;
        in.ownerFound = [&] {
            return ++asked, c.owner;
        };
        in.canStop = [&] {
            return ++asked, c.canStop;
        };
        in.settings.cpuThreshold = c.threshold;
        const PriorityTaskTexts texts = priorityTask(finding(7), in);
        EXPECT_EQ(texts.inspectTitle, QString::fromUtf8(c.inspect));
        EXPECT_EQ(texts.inspectEnabled, !c.preview);
        EXPECT_EQ(texts.muteEnabled, !c.preview);
        EXPECT_EQ(texts.stopEnabled, c.stopEnabled);
        EXPECT_EQ(texts.footnote, QString::fromUtf8(c.footnote));
        EXPECT_EQ(texts.thresholdNote, QString::fromUtf8(c.note));
        if (c.preview) {
            EXPECT_EQ(asked, 0); // neither the owner nor the stop check is asked in preview
        }
    }
    Finding named = finding(7);
    EXPECT_EQ(priorityTask(named, {}).subtitle, QStringLiteral("\u2068worker\u2069  ·  \u2068worker\u2069"));
    named.sample.source = QStringLiteral("Orbit Browser");
    EXPECT_EQ(priorityTask(named, {}).subtitle,
              QStringLiteral("\u2068Orbit Browser\u2069  ·  \u2068worker\u2069"));
}

TEST(OverviewLogic, StripWordsColoursAndObservation) {
    const std::pair<std::optional<SystemMemoryPressure>, PressureLabel> pressures[] = {
        {std::nullopt, {QStringLiteral("暂不可读取"), Palette::muted}},
        {SystemMemoryPressure::unknown, {QStringLiteral("暂不可读取"), Palette::muted}},
        {SystemMemoryPressure::normal, {QStringLiteral("正常"), Palette::success}},
        {SystemMemoryPressure::warning, {QStringLiteral("偏高"), Palette::amber}},
        {SystemMemoryPressure::critical, {QStringLiteral("很高"), Palette::danger}},
    };
    for (const auto& [level, expected] : pressures) {
        const auto memory =
            level ? std::optional(SystemMemorySnapshot{{}, {}, {}, {}, *level}) : std::nullopt;
        EXPECT_EQ(pressure(memory).word, expected.word);
        EXPECT_EQ(pressure(memory).color, expected.color);
    }

    const MemoryObservation observation{MemoryObservation::Kind::pressure, QStringLiteral("内存压力偏高"),
                                        QStringLiteral("已持续 5 分钟"), std::nullopt, 300};
    ApplicationResourceGroup group{QStringLiteral("application:/a"), QStringLiteral("Canvas Studio"), {}, {}};
    group.members = {process(1, 60), process(2, std::nullopt)};
    const ApplicationCPUFinding application{group, 400};
    EXPECT_EQ(stripObservation({observation}, {application}), QStringLiteral("内存压力偏高。已持续 5 分钟"));
    EXPECT_EQ(stripObservation({}, {application}),
              QStringLiteral(
                  "\u2068Canvas Studio\u2069 的 2 个进程合计 采样中，已持续 6 分钟。可展开查看所属任务。"));
    EXPECT_EQ(stripObservation({}, {}), std::nullopt);
}
