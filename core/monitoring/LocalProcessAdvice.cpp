#include "core/monitoring/LocalProcessAdvice.h"

#include "core/applications/BundlePaths.h"
#include "core/monitoring/DisplayFormat.h"
#include "core/monitoring/SourceResolver.h"

#include <algorithm>
#include <cmath>

namespace lunorvale {
namespace {

using State = LocalProcessAdvice::State;
using Action = LocalProcessAdvice::PrimaryAction;

struct Inspection {
    QString title;
    QString nextStep;
};

Inspection inspection(const ProcessSample& sample) {
    using Kind = TaskKind::Kind;
    switch (SourceResolver::taskKind(sample.command).kind()) {
    case Kind::xcodeBuild:
    case Kind::build:
        return {QStringLiteral("先查看构建进度"),
                QStringLiteral("回到构建窗口或日志看进度；有进展就继续等，不再需要时再取消构建。")};
    case Kind::jestTest:
    case Kind::vitestTest:
        return {QStringLiteral("先查看测试进度"),
                QStringLiteral("回到测试窗口看结果是否更新；有进展就继续等，不再需要时再取消测试。")};
    case Kind::devServer:
        return {QStringLiteral("先检查开发服务"),
                QStringLiteral("查看终端是否反复报错，以及页面能否打开；不再开发时从原窗口停止服务。")};
    case Kind::python:
    case Kind::node:
    case Kind::background:
        break;
    }
    static const char* const browsers[] = {"Safari.app",         "Google Chrome.app", "Firefox.app",
                                           "Microsoft Edge.app", "Brave Browser.app", "Arc.app"};
    for (const char* browser : browsers) {
        if (sample.executable.contains(u'/' + QString::fromUtf8(browser) + QStringLiteral("/Contents/")))
            return {QStringLiteral("先查看浏览器里的任务"),
                    QStringLiteral("检查视频、下载或繁忙网页；先保存内容，再关闭不需要的页面。")};
    }
    const QString file = BundlePaths::lastPathComponent(sample.executable).toLower();
    if (file == QStringLiteral("blender") || file == QStringLiteral("ffmpeg") ||
        file == QStringLiteral("handbrakecli"))
        return {QStringLiteral("先查看处理进度"),
                QStringLiteral("回到渲染或转码窗口看进度；有进展就继续等，不再需要时从原窗口取消。")};
    return {QStringLiteral("先看任务有没有进展"),
            QStringLiteral("打开所属应用查看进度；有进展就继续等，确认不再需要时再正常退出。")};
}

} // namespace

LocalProcessAdvice LocalProcessAdvice::make(const std::optional<ProcessSample>& sample,
                                            const std::optional<Finding>& finding, const Context& context,
                                            const MonitorSettings& settings) {
    if (context.collectionFailed)
        return {State::unavailable, QStringLiteral("先重新读取进程"),
                QStringLiteral("这次读取失败，暂时无法判断当前占用。"),
                QStringLiteral("点击刷新；若仍读不到，可打开系统监视器查看。"), Action::refresh};
    if (!context.isMonitoring)
        return {State::paused, QStringLiteral("先恢复监测"),
                QStringLiteral("监测已暂停，页面上的占用可能已经变化。"),
                QStringLiteral("恢复监测，获取当前状态后再决定。"), Action::refresh};
    if (!sample)
        return {State::notObserved, QStringLiteral("暂时没读到这个进程"),
                QStringLiteral("它可能已退出，也可能暂时无法读取。"),
                QStringLiteral("点击刷新确认；也可以回到所属应用查看。"), Action::refresh};
    if (context.isIgnored)
        return {State::muted, QStringLiteral("这个进程已静音"),
                QStringLiteral("你已关闭这个进程的提醒，静音不代表占用已经回落。"),
                QStringLiteral("需要查看时打开所属应用；也可以恢复提醒。"), Action::inspect};
    const std::optional<double> cpu = sample->cpuPercent;
    if (!cpu || !std::isfinite(*cpu) || *cpu < 0)
        return {State::waitingForSample, QStringLiteral("再等一次采样"),
                QStringLiteral("还没有可用的 CPU 数据，暂时无法判断占用。"),
                QStringLiteral("稍等片刻后刷新，即可看到新的占用数据。"), Action::refresh};

    const double threshold = settings.safeThreshold();
    if (*cpu < threshold) {
        if (context.wasNotified)
            return {State::recovered, QStringLiteral("CPU 已回落，继续观察"),
                    QStringLiteral("当前 CPU 已低于你设置的提醒线。"),
                    QStringLiteral("如果应用能正常使用，可继续手头的工作。"), Action::none};
        return {State::ordinary, QStringLiteral("先继续使用"),
                QStringLiteral("当前 CPU 没有达到你设置的提醒线。"),
                QStringLiteral("如果电脑仍然卡顿，可打开所属应用查看进度。"), Action::none};
    }

    const Inspection inspected = inspection(*sample);
    const double duration = settings.safeDuration();
    const bool counts = finding && finding->sample.identity == sample->identity &&
                        finding->sample.executable == sample->executable &&
                        finding->sample.command == sample->command &&
                        std::isfinite(finding->sustainedSeconds) && finding->sustainedSeconds >= duration;
    if (counts)
        return {State::sustainedHigh, inspected.title,
                QStringLiteral("CPU 已连续 ") + DisplayFormat::duration(finding->sustainedSeconds) +
                    QStringLiteral(" 达到提醒线，仅凭占用不能判断是否卡住。"),
                inspected.nextStep, Action::inspect};
    return {State::transientHigh, QStringLiteral("先观察，不急着关闭"),
            QStringLiteral("当前 CPU 较高，但尚未满足持续提醒条件。"), inspected.nextStep, Action::inspect};
}

} // namespace lunorvale
