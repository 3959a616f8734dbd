#include "ui/window/ProcessesLogic.h"

#include <algorithm>

namespace lunorvale::ProcessesLogic {

QString oneLine(const QString& text) {
    const auto breaksLine = [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Separator_Line ||
               category == QChar::Separator_Paragraph;
    };
    // Rows paint this for every visible name: most texts need no copy.
    if (std::none_of(text.cbegin(), text.cend(), breaksLine))
        return text;
    QString shown = text;
    for (QChar& c : shown)
        if (breaksLine(c))
            c = u' ';
    return shown;
}

const QList<ProcessFilter>& filterKeys() {
    static const QList<ProcessFilter> keys{ProcessFilter::all, ProcessFilter::attention,
                                           ProcessFilter::muted};
    return keys;
}

QString filterLabel(ProcessFilter filter) {
    switch (filter) {
    case ProcessFilter::attention:
        return QStringLiteral("需要关注");
    case ProcessFilter::muted:
        return QStringLiteral("已静音");
    case ProcessFilter::all:
        break;
    }
    return QStringLiteral("全部");
}

QString sortLabel(ProcessSort sort) {
    switch (sort) {
    case ProcessSort::memory:
        return QStringLiteral("内存占用");
    case ProcessSort::duration:
        return QStringLiteral("运行时间");
    case ProcessSort::cpu:
        break;
    }
    return QStringLiteral("CPU 占用");
}

QString foldedSearchText(const ProcessSample& sample) {
    return (sample.name + u' ' + sample.displaySource() + u' ' + QString::number(sample.identity.pid))
        .toCaseFolded();
}

QString foldedQuery(const QString& search) {
    return search.trimmed().toCaseFolded();
}

bool matches(const QString& folded, const QString& query) {
    return query.isEmpty() || folded.contains(query);
}

bool Filter::keeps(const ProcessIdentity& identity) const {
    switch (key) {
    case ProcessFilter::all:
        return true;
    case ProcessFilter::attention:
        return flagged.contains(identity);
    case ProcessFilter::muted:
        return muted.contains(identity);
    }
    return false;
}

QSet<ProcessIdentity> flaggedIdentities(const QList<Finding>& findings) {
    QSet<ProcessIdentity> identities;
    identities.reserve(findings.size());
    for (const Finding& finding : findings)
        identities.insert(finding.sample.identity);
    return identities;
}

QList<ProcessSample> visibleProcesses(const QList<ProcessSample>& ordered, const QString& search,
                                      const Filter& filter,
                                      const std::function<QString(const ProcessSample&)>& folded) {
    const QString query = foldedQuery(search);
    QList<ProcessSample> visible;
    visible.reserve(ordered.size());
    for (const ProcessSample& sample : ordered) {
        if (!query.isEmpty() && !matches(folded ? folded(sample) : foldedSearchText(sample), query))
            continue;
        if (filter.keeps(sample.identity))
            visible.append(sample);
    }
    return visible;
}

QString countLabel(qsizetype visible) {
    return QString::number(visible) + QStringLiteral(" 个");
}

EmptyTexts emptyList(bool noProcesses) {
    if (noProcesses)
        return {QStringLiteral("还没有采样数据"),
                QStringLiteral("完成首次采样后会显示可读取的当前用户进程。")};
    return {QStringLiteral("没有匹配的进程"), QStringLiteral("可以修改搜索词，或切换到“全部”。")};
}

SideChoice sidePane(const QList<ProcessSample>& processes, const std::optional<ProcessIdentity>& selected,
                    const std::optional<ProcessIdentity>& openedNotification) {
    if (selected) {
        for (const ProcessSample& sample : processes)
            if (sample.identity == *selected)
                return {SidePane::detail, sample};
    }
    if (openedNotification)
        return {SidePane::missingProcess, std::nullopt};
    return {SidePane::selectionPrompt, std::nullopt};
}

MissingProcessCard missingProcessCard(const LocalProcessAdvice& adviceForNoProcess, bool isMonitoring,
                                      bool isSampling, bool isPreview) {
    return {adviceForNoProcess.title, adviceForNoProcess.reason, adviceForNoProcess.nextStep,
            isMonitoring ? QStringLiteral("刷新当前进程") : QStringLiteral("恢复观察"),
            !isPreview && !isSampling};
}

} // namespace lunorvale::ProcessesLogic
