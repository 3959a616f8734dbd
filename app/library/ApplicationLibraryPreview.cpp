#include "app/library/ApplicationLibraryModel.h"

namespace lunorvale {
namespace {

InstalledApplication sample(const QString& name, const QString& bundleID, const QString& version,
                            std::optional<QString> restriction = std::nullopt, const QString& file = {}) {
    return InstalledApplication(QUrl::fromLocalFile(QStringLiteral("/Applications/") +
                                                    (file.isEmpty() ? name : file) + QStringLiteral(".app")),
                                name, bundleID, version, QString(), std::nullopt, std::move(restriction),
                                std::nullopt);
}

} // namespace

void ApplicationLibraryModel::loadPreview() {
    m_applications = {
        sample(QStringLiteral("Canvas Studio"), QStringLiteral("example.canvas"), QStringLiteral("3.2")),
        sample(QStringLiteral("Orbit Browser"), QStringLiteral("example.orbit"), QStringLiteral("12.0")),
        sample(QStringLiteral("Notes Desk"), QStringLiteral("example.notes"), QStringLiteral("2.1")),
        sample(QStringLiteral("岚栖"), QStringLiteral("dev.lunorvale.mac"), QStringLiteral("1.1.0"),
               QStringLiteral("岚栖不在自身运行时移除岚栖。"), QStringLiteral("Lunorvale")),
    };
    const qint64 bytes[] = {2340000000, 780000000, 48000000, 15000000};
    for (qsizetype index = 0; index < m_applications.size(); ++index)
        m_sizes.insert(m_applications[index].id(), bytes[index]);
    m_runningIDs = {m_applications[1].id(), m_applications[3].id()};
    m_checked = {m_applications[0].id(), m_applications[2].id()};
    m_selectedID = m_applications[0].id();
    m_scannedAt = now();
}

void ApplicationLibraryModel::configurePreview(const QString& scenario) {
    if (!m_preview)
        return;
    const auto path = [this](qsizetype index) {
        return index < m_applications.size() ? std::optional(m_applications[index].id()) : std::nullopt;
    };
    const auto empty = [this] {
        publish(m_applications, QList<InstalledApplication>(), &ApplicationLibraryModel::applicationsChanged);
        publish(m_selectedID, std::nullopt, &ApplicationLibraryModel::selectedIDChanged);
        publish(m_checked, QSet<QString>(), &ApplicationLibraryModel::checkedChanged);
        publish(m_sizes, QHash<QString, qint64>(), &ApplicationLibraryModel::sizesChanged);
    };

    if (scenario == u"applications-empty") {
        empty();
    } else if (scenario == u"applications-loading") {
        empty();
        publish(m_scanning, true, &ApplicationLibraryModel::scanningChanged);
    } else if (scenario == u"applications-error") {
        publish(m_issues,
                QStringList{QStringLiteral("无法读取：/Applications/Example Restricted Folder"),
                            QStringLiteral("目录不存在或不可访问：~/Applications")},
                &ApplicationLibraryModel::issuesChanged);
        publish(m_message,
                std::optional(QStringLiteral("部分目录未能读取，列表可能不完整。请展开扫描范围查看详情。")),
                &ApplicationLibraryModel::messageChanged);
    } else if (scenario == u"applications-checking") {
        publish(m_selectedID, path(0), &ApplicationLibraryModel::selectedIDChanged);
        publish(m_checkingRemoval, true, &ApplicationLibraryModel::checkingRemovalChanged);
        publish(m_removalPhase, std::optional(ApplicationRemovalPhase::signature),
                &ApplicationLibraryModel::removalPhaseChanged);
    } else if (scenario == u"applications-quit") {
        // A list too short for the scenario is left as it is.
        if (path(1))
            publish(m_selectedID, path(1), &ApplicationLibraryModel::selectedIDChanged);
    } else if (scenario == u"applications-vendor") {
        publish(m_selectedID, path(0), &ApplicationLibraryModel::selectedIDChanged);
        publish(m_removalFeedbackID, path(0), &ApplicationLibraryModel::removalFeedbackIDChanged);
        publish(
            m_removalFeedback,
            std::optional(ApplicationManagementGuidance{
                ApplicationManagementGuidance::Kind::vendorManaged,
                QStringLiteral("发现厂商提供的卸载工具。"),
                QStringLiteral("请先查看厂商的卸载方式；发现的项目只供文件管理器定位，不会自动运行或删除。"),
                QUrl::fromLocalFile(
                    QStringLiteral("/Applications/Canvas Studio/Uninstall Canvas Studio.app"))}),
            &ApplicationLibraryModel::removalFeedbackChanged);
    } else if (scenario == u"applications-login") {
        if (m_applications.isEmpty())
            return;
        const InstalledApplication& first = m_applications.first();
        QList<InstalledApplication> applications = m_applications;
        applications[0] = InstalledApplication(
            first.url(), first.name(), first.bundleID(), first.version(), QString(), std::nullopt,
            std::nullopt,
            ApplicationManagementGuidance{
                ApplicationManagementGuidance::Kind::embeddedLoginItems,
                QStringLiteral("程序包内包含登录助手，需要额外检查其结构、签名和运行状态。"),
                QStringLiteral("先在原应用中关闭登录启动并退出；检查通过后可一起移走程序包。"), std::nullopt},
            first.shownName());
        publish(m_applications, std::move(applications), &ApplicationLibraryModel::applicationsChanged);
        publish(m_selectedID, path(0), &ApplicationLibraryModel::selectedIDChanged);
    } else if (scenario == u"applications-record-error") {
        // A sample log that is there and damaged.
        const QString sentence =
            ApplicationRemovalLog::unreadableSentence(true, RemovalLogFormatError().errorDescription());
        publish(m_receiptError, std::optional(sentence), &ApplicationLibraryModel::receiptErrorChanged);
        publish(m_message, std::optional(sentence), &ApplicationLibraryModel::messageChanged);
    } else if (scenario == u"applications-ai-result") {
        publish(m_aiSnapshotDate, std::optional(now()), &ApplicationLibraryModel::aiSnapshotDateChanged);
        publish(m_aiResult,
                QStringLiteral(
                    "Canvas Studio：程序本体约 2.34 GB，是所选项目中较大的一项。如果已不再需要，可考虑"
                    "移除程序；项目和关联资料应保留。\n\nNotes Desk：体积较小，单凭清单没有卸载依据。请先"
                    "核实是否仍用它打开笔记。\n\n没有使用历史，不能判断哪个应用长期闲置。"),
                &ApplicationLibraryModel::aiResultChanged);
    }
}

} // namespace lunorvale
