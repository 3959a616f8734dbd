#include "ui/window/ProcessDetailLogic.h"

#include "core/common/SafeText.h"
#include "core/monitoring/DisplayFormat.h"

namespace lunorvale {

namespace ProcessDetail {

std::optional<Finding> findingFor(const QList<Finding>& findings, const ProcessIdentity& identity) {
    for (const Finding& finding : findings)
        if (finding.sample.identity == identity)
            return finding;
    return std::nullopt;
}

Texts texts(const Input& in) {
    const ProcessSample& sample = in.sample;
    Texts t;
    t.pidLine = QStringLiteral("PID ") + QString::number(sample.identity.pid) + QStringLiteral(" · 父进程 ") +
                QString::number(sample.parentPID);
    t.origin = sample.displaySource();
    t.cpu = DisplayFormat::cpu(sample.cpuPercent);
    t.cpuHighlighted = in.finding.has_value();
    t.showsMutedBadge = in.isMuted;
    t.memory = DisplayFormat::memory(sample.residentBytes);
    t.elapsed = DisplayFormat::duration(sample.elapsedSeconds);
    t.cpuTotal = DisplayFormat::duration(sample.cpuTotalSeconds);
    if (in.finding)
        t.explanation = in.finding->explanation;
    else if (!sample.cpuPercent)
        t.explanation = QStringLiteral("CPU 需要两次采样才能计算。请等待下次采样。");
    else
        t.explanation =
            QStringLiteral("目前没有达到持续高 CPU 的提醒条件。任务是否正常，还需结合日志和进度判断。");

    t.stopTitle = in.stopping ? QStringLiteral("正在复查…") : QStringLiteral("请求退出");
    t.stopEnabled = !in.isPreview && !in.stopping && in.canStop;
    t.muteTitle =
        in.isMuted ? QStringLiteral("恢复这个进程的提醒") : QStringLiteral("这是正常任务 · 静音 1 小时");
    t.muteEnabled = !in.isPreview;
    // While a stop is rechecked the controls are disabled for that reason alone: saying the process
    // may not be stopped would be false, and would not tell the user to wait. A protected process is
    // named so in preview mode too, where the demo note would hide why it could never be stopped.
    if (in.stopping)
        t.footnote = QStringLiteral("正在确认进程是否已退出。");
    else if (!in.canStop)
        t.footnote = QStringLiteral("这是受保护或不可操作的进程。");
    else if (in.isPreview)
        t.footnote = QStringLiteral("演示模式中的操作不会执行。");
    else
        t.footnote = QStringLiteral("退出和强制结束均需确认，操作后会复查结果。");

    // A command line and a path show every character they hold, never what one would do to the rest.
    t.command = sample.command.isEmpty() ? QStringLiteral("当前无法读取启动命令。")
                                         : SafeText::commandLine(sample.command);
    t.executable = sample.executable.isEmpty() ? QStringLiteral("当前无法读取可执行文件路径。")
                                               : SafeText::verbatim(sample.executable);
    return t;
}

} // namespace ProcessDetail

namespace AISection {

Texts texts(const Input& in) {
    Texts t;
    using Action = LocalProcessAdvice::PrimaryAction;
    switch (in.advice.primaryAction) {
    case Action::inspect: {
        QString title;
        if (in.isPreview)
            title = QStringLiteral("查看任务进度");
        else if (in.hasOwningApplication && in.hasOwningApplication())
            title = QStringLiteral("打开所属应用");
        else
            title = QStringLiteral("在系统监视器中查看");
        t.steps.append({Step::Action::inspect, title, !in.isPreview});
        t.steps.append({Step::Action::mute,
                        in.isMuted ? QStringLiteral("恢复提醒") : QStringLiteral("任务有进展 · 静音 1 小时"),
                        !in.isPreview});
        break;
    }
    case Action::refresh:
        t.steps.append({Step::Action::refresh,
                        in.isMonitoring ? QStringLiteral("刷新当前状态") : QStringLiteral("恢复观察"),
                        !in.isPreview && !in.isSampling});
        break;
    case Action::none:
        break;
    }

    using State = LocalProcessAdvice::State;
    t.showsAIGroup = in.advice.state == State::sustainedHigh || in.advice.state == State::transientHigh;
    if (in.aiBusy) {
        t.status = Status::busy;
        t.statusText = QStringLiteral("正在获取简短建议…");
    } else if (in.hasDecision || (in.entry && in.entry->advice)) {
        t.status = Status::adviceShown;
        t.statusText = QStringLiteral("简短建议已显示在上方。");
    } else if (in.entry && in.entry->pending) {
        t.status = Status::automaticPending;
        t.statusText = QStringLiteral("AI 正在补充建议，完成后会显示在上方。");
    } else {
        t.status = Status::request;
        // Only an empty name counts here; a name of blanks is caught when the request is made.
        const bool configured = !in.model.isEmpty();
        t.statusText = configured ? QStringLiteral("按需发送任务类型和资源指标，返回一句建议。")
                                  : QStringLiteral("上面的处理建议可直接使用。配置 AI 后可补充一句判断。");
        t.requestTitle = configured ? QStringLiteral("获取简短建议") : QStringLiteral("配置 AI 服务");
    }
    t.cancelEnabled = !in.isPreview;
    t.requestEnabled = !in.isPreview;
    t.error = in.aiError;
    return t;
}

} // namespace AISection
} // namespace lunorvale
