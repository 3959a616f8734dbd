#include "app/shell/StatusItemText.h"

#include <QSet>

namespace lunorvale::StatusItemText {

int reminderCount(const QList<Finding>& findings, const QList<MemoryObservation>& memoryObservations,
                  const QList<ApplicationCPUFinding>& applicationFindings) {
    QSet<ProcessIdentity> flagged;
    for (const Finding& finding : findings)
        flagged.insert(finding.id());
    qsizetype applications = 0;
    for (const ApplicationCPUFinding& application : applicationFindings) {
        const auto& members = application.group.members;
        const bool holdsFinding =
            std::any_of(members.begin(), members.end(),
                        [&](const ProcessSample& member) { return flagged.contains(member.identity); });
        if (!holdsFinding)
            ++applications;
    }
    return static_cast<int>(findings.size() + memoryObservations.size() + applications);
}

QString title(const StatusItemState& state) {
    QString text = state.count != 0 ? QStringLiteral(" ") + QString::number(state.count) : QString();
    if (state.availableVersion)
        text += QStringLiteral(" ↑");
    return text;
}

QString toolTip(const StatusItemState& state) {
    QString text = state.count != 0 ? QStringLiteral("岚栖 · ") + QString::number(state.count) +
                                          QStringLiteral(" 项资源提醒")
                                    : QStringLiteral("岚栖 · 当前没有资源提醒");
    if (state.availableVersion)
        text += QStringLiteral(" · ") + *state.availableVersion + QStringLiteral(" 可更新");
    return text;
}

QString toolTipMarkup(const QString& plainText) {
    return QStringLiteral("<p style='white-space:pre'>") + plainText.toHtmlEscaped() + QStringLiteral("</p>");
}

QString toolTipForHost(const QString& plainText, bool hostReadsMarkup) {
    return hostReadsMarkup ? toolTipMarkup(plainText) : plainText;
}

} // namespace lunorvale::StatusItemText
