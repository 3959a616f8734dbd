#include "SnapshotFixtures.h"
#include "core/monitoring/LocalProcessAdvice.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>

using namespace lunorvale;
using namespace lunorvale::fixtures;
using State = LocalProcessAdvice::State;
using Action = LocalProcessAdvice::PrimaryAction;

namespace {
MonitorSettings settings(double threshold = 90, double duration = 300) {
    return MonitorSettings{30, threshold, duration, false};
}
} // namespace

TEST(LocalProcessAdvice, StatesInOrderOfPrecedence) {
    const ProcessSample high = process(5, 95);
    ProcessSample otherCommand = high;
    otherCommand.command = QStringLiteral("worker --else");
    ProcessSample renamed = high;
    renamed.name = QStringLiteral("other name");
    const Finding sustained{high, 300, {}, {}};
    const Finding tooShort{high, 299, {}, {}};
    // The action and title of each state (a high process here gets the general inspection texts).
    const std::map<State, std::pair<Action, QString>> shown{
        {State::unavailable, {Action::refresh, QStringLiteral("先重新读取进程")}},
        {State::paused, {Action::refresh, QStringLiteral("先恢复监测")}},
        {State::notObserved, {Action::refresh, QStringLiteral("暂时没读到这个进程")}},
        {State::muted, {Action::inspect, QStringLiteral("这个进程已静音")}},
        {State::waitingForSample, {Action::refresh, QStringLiteral("再等一次采样")}},
        {State::recovered, {Action::none, QStringLiteral("CPU 已回落，继续观察")}},
        {State::ordinary, {Action::none, QStringLiteral("先继续使用")}},
        {State::sustainedHigh, {Action::inspect, QStringLiteral("先看任务有没有进展")}},
        {State::transientHigh, {Action::inspect, QStringLiteral("先观察，不急着关闭")}},
    };
    const struct {
        const char* label;
        std::optional<ProcessSample> sample;
        std::optional<Finding> finding;
        const char* flags; // n: notified, p: paused, f: collection failed, i: muted
        MonitorSettings settings;
        State state;
    } cases[] = {
        {"failed beats all", std::nullopt, std::nullopt, "npfi", settings(), State::unavailable},
        {"paused beats absent", std::nullopt, std::nullopt, "pi", settings(), State::paused},
        {"absent", std::nullopt, sustained, "i", settings(), State::notObserved},
        {"muted without cpu", process(5, std::nullopt), std::nullopt, "i", settings(), State::muted},
        {"no cpu", process(5, std::nullopt), std::nullopt, "n", settings(), State::waitingForSample},
        {"negative cpu", process(5, -1), std::nullopt, "", settings(), State::waitingForSample},
        {"nan cpu", process(5, NAN), std::nullopt, "", settings(), State::waitingForSample},
        {"recovered", process(5, 20), std::nullopt, "n", settings(), State::recovered},
        {"ordinary", process(5, 20), std::nullopt, "", settings(), State::ordinary},
        {"sustained", high, sustained, "", settings(), State::sustainedHigh},
        {"renamed still counts", high, Finding{renamed, 300, {}, {}}, "", settings(), State::sustainedHigh},
        {"other command", high, Finding{otherCommand, 300, {}, {}}, "", settings(), State::transientHigh},
        {"too short", high, tooShort, "", settings(), State::transientHigh},
        {"not finite", high, Finding{high, INFINITY, {}, {}}, "", settings(), State::transientHigh},
        {"threshold 5 is 10", process(5, 10), std::nullopt, "", settings(5), State::transientHigh},
        {"threshold 5, below 10", process(5, 9.99), std::nullopt, "", settings(5), State::ordinary},
        {"threshold 2000 is 1600", process(5, 1600), std::nullopt, "", settings(2000), State::transientHigh},
        {"threshold nan is 90", process(5, 89.9), std::nullopt, "", settings(NAN), State::ordinary},
        {"duration 10 is 30", high, Finding{high, 30, {}, {}}, "", settings(90, 10), State::sustainedHigh},
        {"duration 7200 is 3600", high, Finding{high, 3600, {}, {}}, "", settings(90, 7200),
         State::sustainedHigh},
        {"duration nan is 300", high, tooShort, "", settings(90, NAN), State::transientHigh},
    };
    for (const auto& c : cases) {
        const auto has = [&](char flag) {
            return std::strchr(c.flags, flag) != nullptr;
        };
        const LocalProcessAdvice::Context context{.wasNotified = has('n'),
                                                  .isMonitoring = !has('p'),
                                                  .collectionFailed = has('f'),
                                                  .isIgnored = has('i')};
        const auto advice = LocalProcessAdvice::make(c.sample, c.finding, context, c.settings);
        EXPECT_EQ(advice.state, c.state) << c.label;
        EXPECT_EQ(advice.primaryAction, shown.at(c.state).first) << c.label;
        EXPECT_EQ(advice.title, shown.at(c.state).second) << c.label;
    }

    const auto advice = LocalProcessAdvice::make(high, sustained, {}, settings());
    EXPECT_EQ(advice.reason, QStringLiteral("CPU 已连续 5 分钟 达到提醒线，仅凭占用不能判断是否卡住。"));
    EXPECT_EQ(advice.nextStep,
              QStringLiteral("打开所属应用查看进度；有进展就继续等，确认不再需要时再正常退出。"));
}

TEST(LocalProcessAdvice, InspectionRules) {
    const QString build = QStringLiteral("回到构建窗口或日志看进度；有进展就继续等，不再需要时再取消构建。");
    const QString tests =
        QStringLiteral("回到测试窗口看结果是否更新；有进展就继续等，不再需要时再取消测试。");
    const QString browser = QStringLiteral("检查视频、下载或繁忙网页；先保存内容，再关闭不需要的页面。");
    const QString media =
        QStringLiteral("回到渲染或转码窗口看进度；有进展就继续等，不再需要时从原窗口取消。");
    const QString other = QStringLiteral("打开所属应用查看进度；有进展就继续等，确认不再需要时再正常退出。");
    const struct {
        const char* executable;
        const char* command;
        const char* title;
        QString nextStep;
    } cases[] = {
        {"/usr/bin/xcodebuild", "xcodebuild -scheme A", "先查看构建进度", build},
        {"/usr/bin/npm", "npm run build", "先查看构建进度", build},
        {"/usr/bin/node", "node /p/node_modules/.bin/vitest", "先查看测试进度", tests},
        {"/usr/bin/node", "node JEST", "先查看测试进度", tests},
        {"/usr/bin/node", "node /p/node_modules/.bin/vite", "先检查开发服务",
         QStringLiteral("查看终端是否反复报错，以及页面能否打开；不再开发时从原窗口停止服务。")},
        {"/Applications/Safari.app/Contents/MacOS/Safari", "Safari", "先查看浏览器里的任务", browser},
        {"/opt/safari.app/Contents/MacOS/Safari", "", "先看任务有没有进展", other},
        {"/usr/local/bin/FFmpeg", "ffmpeg -i a", "先查看处理进度", media},
        {"/opt/HandBrakeCLI", "", "先查看处理进度", media},
        {"/usr/bin/blender2", "", "先看任务有没有进展", other},
    };
    for (const auto& c : cases) {
        const ProcessSample sample =
            process(5, 95, QString::fromUtf8(c.executable), QString::fromUtf8(c.command));
        const auto sustained = LocalProcessAdvice::make(sample, Finding{sample, 300, {}, {}}, {}, settings());
        EXPECT_EQ(sustained.title, QString::fromUtf8(c.title)) << c.executable;
        EXPECT_EQ(sustained.nextStep, c.nextStep) << c.executable;
        EXPECT_EQ(LocalProcessAdvice::make(sample, std::nullopt, {}, settings()).nextStep, c.nextStep)
            << c.executable;
    }
}
