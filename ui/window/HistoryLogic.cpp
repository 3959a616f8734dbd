#include "ui/window/HistoryLogic.h"

namespace lunorvale::HistoryLogic {

namespace {
const QString alertMark = QStringLiteral("高占用");
} // namespace

const QList<HistoryFilter>& filterKeys() {
    static const QList<HistoryFilter> keys{HistoryFilter::all, HistoryFilter::alerts, HistoryFilter::actions};
    return keys;
}

QString filterLabel(HistoryFilter filter) {
    switch (filter) {
    case HistoryFilter::alerts:
        return QStringLiteral("异常提醒");
    case HistoryFilter::actions:
        return QStringLiteral("操作与状态");
    case HistoryFilter::all:
        break;
    }
    return QStringLiteral("全部记录");
}

QList<ActivityEvent> visibleEvents(const QList<ActivityEvent>& history, HistoryFilter filter,
                                   const QString& search) {
    QList<ActivityEvent> visible;
    const bool all = filter == HistoryFilter::all;
    const bool alerts = filter == HistoryFilter::alerts;
    for (const ActivityEvent& event : history) {
        if (!search.isEmpty() && !(event.title + u' ' + event.detail).contains(search, Qt::CaseInsensitive))
            continue;
        if (all || event.title.contains(alertMark) == alerts)
            visible.append(event);
    }
    return visible;
}

EventIcon eventIcon(const QString& title) {
    if (title.contains(alertMark))
        return {"exclamationmark.circle", Palette::amber};
    // A stop that failed, and one whose process still runs or cannot be confirmed gone, is no success.
    if (title.contains(QStringLiteral("未能")) || title.contains(QStringLiteral("仍在运行")) ||
        title.contains(QStringLiteral("无法确认")))
        return {"xmark.circle", Palette::muted};
    return {"checkmark.circle", Palette::muted};
}

EmptyTexts emptyList(bool historyEmpty) {
    if (historyEmpty)
        return {QStringLiteral("还没有操作记录"),
                QStringLiteral("发现持续高占用、静音提醒和进程操作后，结果会出现在这里。")};
    return {QStringLiteral("没有匹配的记录"), QStringLiteral("试试其他搜索词，或切换记录类型。")};
}

QString countLabel(qsizetype visible) {
    return QString::number(visible) + QStringLiteral(" 条记录");
}

bool exportEnabled(bool historyEmpty, bool isPreview) {
    return !historyEmpty && !isPreview;
}

QString dateText(const QDateTime& date) {
    return date.toLocalTime().toString(QStringLiteral("yyyy年M月d日 HH:mm:ss"));
}

} // namespace lunorvale::HistoryLogic
