#include "SnapshotFixtures.h"
#include "core/monitoring/LocalProcessAdvice.h"
#include "core/monitoring/SourceResolver.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace lunorvale;
using namespace lunorvale::fixtures;
using State = LocalProcessAdvice::State;
using Action = LocalProcessAdvice::PrimaryAction;

namespace {
MonitorSettings settingsWith(double threshold, double duration) {
    MonitorSettings settings;
    settings.cpuThreshold = threshold;
    settings.sustainedSeconds = duration;
    return settings;
}
} // namespace

TEST(LocalProcessAdvice, StatesInOrderOfPrecedence) {
    const ProcessSample high = process(5, 95);
    const ProcessSample low = process(5, 20);
    ProcessSample noCpu = process(5, std::nullopt);
    ProcessSample otherCommand = high;
    otherCommand.command = QStringLiteral("worker --else");
    ProcessSample renamed = high;
    renamed.name = QStringLiteral("other name");
    const Finding sustained{high, 300, {}, {}};
    const Finding otherFinding{otherCommand, 300, {}, {}};
    const Finding renamedFinding{renamed, 300, {}, {}};
    const Finding tooShort{high, 299, {}, {}};
    const Finding notFinite{high, std::numeric_limits<double>::infinity(), {}, {}};
    const MonitorSettings defaults;
    const double nan = std::nan("");

    struct Case {
        const char* label;
        std::optional<ProcessSample> sample;
        std::optional<Finding> finding;
        bool notified, monitoring, failed, ignored;
        MonitorSettings settings;
        State state;
        Action action;
        QString title;
    };
    const Case cases[] = {
        {"failed beats all", std::nullopt, std::nullopt, true, false, true, true, defaults,
         State::unavailable, Action::refresh, QStringLiteral("先重新读取进程")},
        {"paused beats absent", std::nullopt, std::nullopt, false, false, false, true, defaults,
         State::paused, Action::refresh, QStringLiteral("先恢复监测")},
        {"absent", std::nullopt, sustained, false, true, false, true, defaults, State::notObserved,
         Action::refresh, QStringLiteral("暂时没读到这个进程")},
        {"muted without cpu", noCpu, std::nullopt, false, true, false, true, defaults, State::muted,
         Action::inspect, QStringLiteral("这个进程已静音")},
        {"no cpu", noCpu, std::nullopt, true, true, false, false, defaults, State::waitingForSample,
         Action::refresh, QStringLiteral("再等一次采样")},
        {"negative cpu", process(5, -1), std::nullopt, false, true, false, false, defaults,
         State::waitingForSample, Action::refresh, QStringLiteral("再等一次采样")},
        {"nan cpu", process(5, nan), std::nullopt, false, true, false, false, defaults,
         State::waitingForSample, Action::refresh, QStringLiteral("再等一次采样")},
        {"recovered", low, std::nullopt, true, true, false, false, defaults, State::recovered, Action::none,
         QStringLiteral("CPU 已回落，继续观察")},
        {"ordinary", low, std::nullopt, false, true, false, false, defaults, State::ordinary, Action::none,
         QStringLiteral("先继续使用")},
        {"sustained", high, sustained, false, true, false, false, defaults, State::sustainedHigh,
         Action::inspect, QStringLiteral("先看任务有没有进展")},
        {"renamed still counts", high, renamedFinding, false, true, false, false, defaults,
         State::sustainedHigh, Action::inspect, QStringLiteral("先看任务有没有进展")},
        {"other command", high, otherFinding, false, true, false, false, defaults, State::transientHigh,
         Action::inspect, QStringLiteral("先观察，不急着关闭")},
        {"too short", high, tooShort, false, true, false, false, defaults, State::transientHigh,
         Action::inspect, QStringLiteral("先观察，不急着关闭")},
        {"not finite", high, notFinite, false, true, false, false, defaults, State::transientHigh,
         Action::inspect, QStringLiteral("先观察，不急着关闭")},
        {"threshold 5 is 10", process(5, 10), std::nullopt, false, true, false, false, settingsWith(5, 300),
         State::transientHigh, Action::inspect, QStringLiteral("先观察，不急着关闭")},
        {"threshold 5, below 10", process(5, 9.99), std::nullopt, false, true, false, false,
         settingsWith(5, 300), State::ordinary, Action::none, QStringLiteral("先继续使用")},
        {"threshold 2000 is 1600", process(5, 1600), std::nullopt, false, true, false, false,
         settingsWith(2000, 300), State::transientHigh, Action::inspect,
         QStringLiteral("先观察，不急着关闭")},
        {"threshold nan is 90", process(5, 89.9), std::nullopt, false, true, false, false,
         settingsWith(nan, 300), State::ordinary, Action::none, QStringLiteral("先继续使用")},
        {"duration 10 is 30", high, Finding{high, 30, {}, {}}, false, true, false, false,
         settingsWith(90, 10), State::sustainedHigh, Action::inspect, QStringLiteral("先看任务有没有进展")},
        {"duration 7200 is 3600", high, Finding{high, 3600, {}, {}}, false, true, false, false,
         settingsWith(90, 7200), State::sustainedHigh, Action::inspect, QStringLiteral("先看任务有没有进展")},
        {"duration nan is 300", high, tooShort, false, true, false, false, settingsWith(90, nan),
         State::transientHigh, Action::inspect, QStringLiteral("先观察，不急着关闭")},
    };
    for (const Case& c : cases) {
        const auto advice = LocalProcessAdvice::make(c.sample, c.finding, c.notified, c.monitoring, c.failed,
                                                     c.ignored, c.settings);
        EXPECT_EQ(advice.state, c.state) << c.label;
        EXPECT_EQ(advice.primaryAction, c.action) << c.label;
        EXPECT_EQ(advice.title, c.title) << c.label;
    }

    const auto advice = LocalProcessAdvice::make(high, sustained, false, true, false, false, defaults);
    EXPECT_EQ(advice.reason, QStringLiteral("CPU 已连续 5 分钟 达到提醒线，仅凭占用不能判断是否卡住。"));
    EXPECT_EQ(advice.nextStep,
              QStringLiteral("打开所属应用查看进度；有进展就继续等，确认不再需要时再正常退出。"));
    const auto paused = LocalProcessAdvice::make(high, sustained, false, false, false, false, defaults);
    EXPECT_EQ(paused,
              (LocalProcessAdvice{State::paused, QStringLiteral("先恢复监测"),
                                  QStringLiteral("监测已暂停，页面上的占用可能已经变化。"),
                                  QStringLiteral("恢复监测，获取当前状态后再决定。"), Action::refresh}));
}

TEST(LocalProcessAdvice, InspectionRules) {
    struct Case {
        QString executable;
        QString command;
        QString title;
        QString transientNextStep;
    };
    const QString build = QStringLiteral("回到构建窗口或日志看进度；有进展就继续等，不再需要时再取消构建。");
    const QString tests =
        QStringLiteral("回到测试窗口看结果是否更新；有进展就继续等，不再需要时再取消测试。");
    const QString browser = QStringLiteral("检查视频、下载或繁忙网页；先保存内容，再关闭不需要的页面。");
    const QString media =
        QStringLiteral("回到渲染或转码窗口看进度；有进展就继续等，不再需要时从原窗口取消。");
    const QString other = QStringLiteral("打开所属应用查看进度；有进展就继续等，确认不再需要时再正常退出。");
    const Case cases[] = {
        {QStringLiteral("/usr/bin/xcodebuild"), QStringLiteral("xcodebuild -scheme A"),
         QStringLiteral("先查看构建进度"), build},
        {QStringLiteral("/usr/bin/npm"), QStringLiteral("npm run build"), QStringLiteral("先查看构建进度"),
         build},
        {QStringLiteral("/usr/bin/node"), QStringLiteral("node /p/node_modules/.bin/vitest"),
         QStringLiteral("先查看测试进度"), tests},
        {QStringLiteral("/usr/bin/node"), QStringLiteral("node JEST"), QStringLiteral("先查看测试进度"),
         tests},
        {QStringLiteral("/usr/bin/node"), QStringLiteral("node /p/node_modules/.bin/vite"),
         QStringLiteral("先检查开发服务"),
         QStringLiteral("查看终端是否反复报错，以及页面能否打开；不再开发时从原窗口停止服务。")},
        {QStringLiteral("/Applications/Safari.app/Contents/MacOS/Safari"), QStringLiteral("Safari"),
         QStringLiteral("先查看浏览器里的任务"), browser},
        {QStringLiteral("/opt/Arc.app/Contents/Helpers/x"), QString(), QStringLiteral("先查看浏览器里的任务"),
         browser},
        {QStringLiteral("/opt/safari.app/Contents/MacOS/Safari"), QString(),
         QStringLiteral("先看任务有没有进展"), other},
        {QStringLiteral("/usr/local/bin/FFmpeg"), QStringLiteral("ffmpeg -i a"),
         QStringLiteral("先查看处理进度"), media},
        {QStringLiteral("/opt/HandBrakeCLI"), QString(), QStringLiteral("先查看处理进度"), media},
        {QStringLiteral("/usr/bin/blender2"), QString(), QStringLiteral("先看任务有没有进展"), other},
    };
    for (const Case& c : cases) {
        const ProcessSample sample = process(5, 95, c.executable, c.command);
        const Finding finding{sample, 300, {}, {}};
        const auto sustained =
            LocalProcessAdvice::make(sample, finding, false, true, false, false, MonitorSettings{});
        EXPECT_EQ(sustained.title, c.title) << c.executable.toStdString();
        EXPECT_EQ(sustained.nextStep, c.transientNextStep) << c.executable.toStdString();
        const auto transient =
            LocalProcessAdvice::make(sample, std::nullopt, false, true, false, false, MonitorSettings{});
        EXPECT_EQ(transient.title, QStringLiteral("先观察，不急着关闭"));
        EXPECT_EQ(transient.nextStep, c.transientNextStep) << c.executable.toStdString();
    }
}

TEST(SourceResolver, TaskTypesAndSources) {
    EXPECT_EQ(SourceResolver::taskType(QStringLiteral("node /x/node_modules/.bin/vitest run")),
              QStringLiteral("Vitest 测试"));
    EXPECT_EQ(SourceResolver::taskType(QStringLiteral("python3 train.py")), QStringLiteral("Python 任务"));
    EXPECT_EQ(SourceResolver::taskType(QStringLiteral("NODE server.js")), QStringLiteral("Node.js 任务"));
    EXPECT_EQ(SourceResolver::taskType(QString()), QStringLiteral("后台任务"));
    EXPECT_EQ(SourceResolver::source(QStringLiteral("Editor"),
                                     QStringLiteral("/Applications/Editor.app/Contents/MacOS/Editor"), {}),
              QStringLiteral("Editor"));
    EXPECT_EQ(SourceResolver::source(QStringLiteral("node"), QStringLiteral("/usr/bin/node"),
                                     QStringLiteral("node /Users/u/proj/node_modules/.bin/vite")),
              QStringLiteral("proj · 开发服务"));
    EXPECT_EQ(SourceResolver::source(QStringLiteral("daemon"), QStringLiteral("/usr/sbin/daemon"),
                                     QStringLiteral("daemon -f")),
              QStringLiteral("daemon"));
}
