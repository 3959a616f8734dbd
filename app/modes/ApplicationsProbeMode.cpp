#include "app/modes/LunorvaleEntry.h"

#include "core/applications/ApplicationInventory.h"

#include <QMap>

namespace lunorvale {

// Scans the default application folders and prints a count summary (never a path or a name).
int LunorvaleEntry::applicationsProbe() {
    ApplicationScan scan;
    try {
        scan = ApplicationInventory(ApplicationInventory::defaultRoots()).scan();
    } catch (...) {
        printReport(QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")}});
        return 1;
    }

    int restricted = 0;
    for (const InstalledApplication& application : std::as_const(scan.applications)) {
        if (application.restriction())
            ++restricted;
    }
    // The kind of an issue is its text before the first full-width colon.
    QMap<QString, int> byKind;
    for (const QString& issue : std::as_const(scan.issues)) {
        const QStringList pieces = issue.split(u'：', Qt::SkipEmptyParts);
        ++byKind[pieces.isEmpty() ? QStringLiteral("其他") : pieces.first()];
    }
    QJsonObject issuesByKind;
    for (auto it = byKind.cbegin(); it != byKind.cend(); ++it)
        issuesByKind.insert(it.key(), it.value());

    const QJsonObject report{
        {QStringLiteral("status"), QStringLiteral("ok")},
        {QStringLiteral("applicationCount"), static_cast<qint64>(scan.applications.size())},
        {QStringLiteral("restrictedCount"), restricted},
        {QStringLiteral("issueCount"), static_cast<qint64>(scan.issues.size())},
        {QStringLiteral("issuesByKind"), issuesByKind},
        {QStringLiteral("rootCount"), static_cast<qint64>(scan.roots.size())},
    };
    // A summary that could not be written is a failure, not a silent success.
    return printReport(report) ? 0 : 1;
}

} // namespace lunorvale
