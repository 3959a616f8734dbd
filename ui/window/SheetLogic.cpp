#include "ui/window/SheetLogic.h"

#include "core/ai/DiagnosticSummary.h"
#include "core/common/SafeText.h"
#include "ui/window/ProcessDetailLogic.h"

namespace lunorvale {

namespace StopSheet {

Texts texts(bool force) {
    if (force)
        return {
            "exclamationmark.octagon",
            Palette::danger,
            QStringLiteral("强制结束这个进程？"),
            QStringLiteral("程序将立即停止，没有保存或清理的机会。"),
            QStringLiteral("未保存的工作可能丢失。建议先尝试正常退出，只有任务仍未退出时再使用强制结束。"),
            QStringLiteral("确认强制结束")};
    return {
        "stop.circle",
        Palette::amber,
        QStringLiteral("请求这个进程退出？"),
        QStringLiteral("向选中的进程发送退出请求，并在操作后复查。"),
        QStringLiteral("正在进行的测试、编译或其他工作可能中断。岚栖会再次核对进程身份，只处理这一个进程。"),
        QStringLiteral("确认请求退出")};
}

QString processLine(const ProcessSample& sample) {
    return SafeText::isolated(sample.name) + QStringLiteral(" · PID ") + QString::number(sample.identity.pid);
}

bool confirmEnabled(bool isPreview, bool stopping, bool canStop) {
    return !isPreview && !stopping && canStop;
}

} // namespace StopSheet

namespace AnalysisConsent {

Snapshot snapshot(const ProcessSample& sample, const QList<Finding>& findings,
                  const AIConfiguration& configuration) {
    return {DiagnosticSummary::make(sample, ProcessDetail::findingFor(findings, sample.identity)),
            configuration};
}

bool confirmEnabled(bool isPreview, bool aiBusy) {
    return !isPreview && !aiBusy;
}

} // namespace AnalysisConsent
} // namespace lunorvale
