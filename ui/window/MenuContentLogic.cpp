#include "ui/window/MenuContentLogic.h"

#include "core/common/SafeText.h"

namespace lunorvale::MenuContentLogic {

QString stateLine(bool collectionFailed, bool isMonitoring, bool hasSample, int attentionCount) {
    if (collectionFailed)
        return QStringLiteral("等待读取恢复");
    if (!isMonitoring)
        return QStringLiteral("后台观察已暂停");
    if (!hasSample)
        return QStringLiteral("正在建立观察基线");
    if (attentionCount == 0)
        return QStringLiteral("目前没有资源提醒");
    return QString::number(attentionCount) + QStringLiteral(" 项资源提醒");
}

QString pressureWord(const std::optional<SystemMemorySnapshot>& memory) {
    return MemoryPressure::title(memory ? memory->pressure : SystemMemoryPressure::unknown);
}

QString resourceLine(const QString& systemCPUText, const std::optional<SystemMemorySnapshot>& memory) {
    return QStringLiteral("整机 CPU ") + systemCPUText + QStringLiteral(" · 内存压力") + pressureWord(memory);
}

std::optional<QString> observationTitle(const QList<MemoryObservation>& memory,
                                        const QList<ApplicationCPUFinding>& applications) {
    if (!memory.isEmpty())
        return memory.first().title;
    if (!applications.isEmpty())
        return SafeText::isolated(applications.first().group.name) + QStringLiteral(" 整体持续高占用");
    return std::nullopt;
}

QList<ProcessSample> busiest(const QList<ProcessSample>& byCPU) {
    return byCPU.mid(0, 3);
}

bool isFlagged(const ProcessSample& sample, const QList<Finding>& findings) {
    for (const Finding& finding : findings)
        if (finding.sample.identity == sample.identity)
            return true;
    return false;
}

} // namespace lunorvale::MenuContentLogic
