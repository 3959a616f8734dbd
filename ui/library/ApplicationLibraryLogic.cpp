#include "ui/library/ApplicationLibraryLogic.h"

#include "core/ai/AIServiceError.h"
#include "core/common/NameOrder.h"
#include "core/common/SafeText.h"

#include <QCollatorSortKey>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <algorithm>

namespace lunorvale::ApplicationLibraryLogic {
namespace {

using Kind = ApplicationManagementGuidance::Kind;

constexpr qsizetype tickLimit = ApplicationAdviceSummary::maximumApplications;

QLocale chinese() {
    return QLocale(QLocale::Chinese, QLocale::China);
}

} // namespace

// --- The visible list ---

SortedApplications::SortedApplications(const QList<InstalledApplication>& applications,
                                       const QHash<QString, qint64>& sizes, LibrarySort sort) {
    // The inventory's order too: a scan selects its first application, which must be the top row.
    const QCollator collator = nameCollator();

    struct Key {
        qsizetype index;
        qint64 size;
        QCollatorSortKey name;
        QString path;
    };
    std::vector<Key> keys;
    keys.reserve(applications.size());
    m_searchTexts.reserve(applications.size());
    const bool bySize = sort == LibrarySort::size;
    for (qsizetype index = 0; index < applications.size(); ++index) {
        const InstalledApplication& application = applications.at(index);
        const QString path = application.id();
        m_searchTexts.append(application.shownName() + u' ' + application.bundleID() + u' ' + path);
        keys.push_back(
            Key{index, bySize ? sizes.value(path, -1) : -1, collator.sortKey(application.shownName()), path});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.size != b.size)
            return a.size > b.size;
        if (const int names = a.name.compare(b.name); names != 0)
            return names < 0;
        return a.path < b.path;
    });
    m_order.reserve(applications.size());
    for (const Key& key : keys)
        m_order.append(key.index);
}

bool matchesSearch(const QString& searchText, const QString& search) {
    return search.isEmpty() || searchText.contains(search, Qt::CaseInsensitive);
}

bool passesFilter(const InstalledApplication& application, LibraryFilter filter,
                  const QSet<QString>& runningIDs) {
    switch (filter) {
    case LibraryFilter::all:
        return true;
    case LibraryFilter::running:
        return runningIDs.contains(application.id());
    case LibraryFilter::checkable:
        return !application.restriction();
    case LibraryFilter::protected_:
        return application.restriction().has_value();
    }
    return false;
}

QList<qsizetype> visible(const QList<InstalledApplication>& applications, const SortedApplications& sorted,
                         const QString& search, LibraryFilter filter, const QSet<QString>& runningIDs) {
    QList<qsizetype> shown;
    for (const qsizetype index : sorted.order()) {
        if (matchesSearch(sorted.searchText(index), search) &&
            passesFilter(applications.at(index), filter, runningIDs))
            shown.append(index);
    }
    return shown;
}

QList<InstalledApplication> visible(const QList<InstalledApplication>& applications,
                                    const QHash<QString, qint64>& sizes, const QSet<QString>& runningIDs,
                                    const QString& search, LibraryFilter filter, LibrarySort sort) {
    QList<InstalledApplication> shown;
    for (const qsizetype index :
         visible(applications, SortedApplications(applications, sizes, sort), search, filter, runningIDs))
        shown.append(applications.at(index));
    return shown;
}

// --- Header, toolbar and scope ---

QString filterMenuTitle(LibraryFilter filter) {
    QString title = QStringLiteral("其他方式");
    switch (filter) {
    case LibraryFilter::all:
        title = QStringLiteral("全部");
        break;
    case LibraryFilter::running:
        title = QStringLiteral("运行中");
        break;
    case LibraryFilter::checkable:
        title = QStringLiteral("可检查");
        break;
    case LibraryFilter::protected_:
        break;
    }
    return QStringLiteral("筛选：") + title;
}

QString sortMenuTitle(LibrarySort sort) {
    return QStringLiteral("排序：") +
           (sort == LibrarySort::name ? QStringLiteral("名称") : QStringLiteral("本体大小"));
}

std::optional<QString> scanProgressText(bool scanning, bool sizing, qsizetype sized, qsizetype listed) {
    if (scanning)
        return QStringLiteral("正在扫描");
    if (sizing)
        return QStringLiteral("计算大小 ") + QString::number(sized) + u'/' + QString::number(listed);
    return std::nullopt;
}

QString scopeTitle(qsizetype issues) {
    if (issues == 0)
        return QStringLiteral("扫描范围与数据说明");
    return QStringLiteral("扫描范围 · ") + QString::number(issues) + QStringLiteral(" 项未完整读取");
}

bool rescanEnabled(bool preview, bool scanning, bool removing, bool checkingRemoval, bool quitWaiting) {
    return !preview && !scanning && !removing && !checkingRemoval && !quitWaiting;
}

std::pair<QString, QString> emptyState(bool scanning) {
    if (scanning)
        return {QStringLiteral("正在查找应用"), QStringLiteral("扫描仅在本机进行。")};
    return {QStringLiteral("没有可显示的应用"),
            QStringLiteral("调整搜索和筛选，或展开扫描范围查看读取情况。")};
}

// --- Sizes and rows ---

QString formattedSize(qint64 bytes) {
    QString text = chinese().formattedDataSize(bytes, 2, QLocale::DataSizeSIFormat);
    // "780.00 MB" reads as "780 MB", "1.50 kB" as "1.5 kB".
    const qsizetype blank = text.indexOf(u' ');
    const qsizetype point = text.indexOf(u'.');
    if (blank > 0 && point >= 0 && point < blank) {
        qsizetype end = blank;
        while (end > point + 1 && text.at(end - 1) == u'0')
            --end;
        if (end == point + 1)
            --end;
        text.remove(end, blank - end);
    }
    return text;
}

QString sizeLabel(const QString& path, const QHash<QString, qint64>& sizes, const QSet<QString>& sizeErrors,
                  bool sizing) {
    if (const auto size = sizes.constFind(path); size != sizes.cend())
        return formattedSize(*size);
    if (sizeErrors.contains(path))
        return QStringLiteral("大小未知");
    return sizing ? QStringLiteral("计算中…") : QStringLiteral("未计算");
}

QString rowSubtitle(const InstalledApplication& application, const ApplicationManagementGuidance& shown) {
    return SafeText::isolated(application.version()) + QStringLiteral(" · ") + shown.title();
}

bool rowSelectionAllowed(bool checkingRemoval, bool removing, bool quitWaiting) {
    return !checkingRemoval && !removing && !quitWaiting;
}

QString tickAccessibleName(const QString& name) {
    return QStringLiteral("将 ") + SafeText::isolated(name) + QStringLiteral(" 加入 AI 清单");
}

// --- Ticks for advice ---

TickOutcome tick(const QSet<QString>& checked, const QString& path, bool on) {
    TickOutcome outcome{checked, std::nullopt};
    if (!on)
        outcome.checked.remove(path);
    else if (checked.contains(path))
        ;
    else if (checked.size() < tickLimit)
        outcome.checked.insert(path);
    else
        outcome.message = QStringLiteral("每次最多选择 20 个应用。");
    return outcome;
}

TickOutcome tickVisible(const QSet<QString>& checked, const QStringList& visiblePaths) {
    if (visiblePaths.size() > tickLimit)
        return {checked, QStringLiteral("每次最多分析 20 个应用，请先搜索筛选，或逐项勾选。")};
    return {QSet<QString>(visiblePaths.cbegin(), visiblePaths.cend()), std::nullopt};
}

QString selectionBarText(qsizetype ticked) {
    return QStringLiteral("已选 ") + QString::number(ticked) + QStringLiteral(" 项，仅用于 AI 分析");
}

QString adviceButtonTitle(const AIConfiguration& configuration) {
    return configuration.model.isEmpty() ? QStringLiteral("配置 AI") : QStringLiteral("预览 AI 清单");
}

bool adviceButtonEnabled(const AIConfiguration& configuration, bool removing, bool aiBusy, qsizetype ticked) {
    return !removing && !aiBusy && (ticked > 0 || configuration.model.isEmpty());
}

// --- Details and removal actions ---

QString versionLine(const InstalledApplication& application) {
    return QStringLiteral("版本 ") + application.version() + u'\n' +
           (application.bundleID().isEmpty() ? QStringLiteral("标识未知") : application.bundleID());
}

bool offersLoginItemsSettings(const InstalledApplication& application,
                              const ApplicationManagementGuidance& shown) {
    return application.management().kind == Kind::embeddedLoginItems || shown.kind == Kind::requiresQuit;
}

bool showsActionsFooter(const InstalledApplication& application, bool checkingRemoval, bool removing,
                        const std::optional<QString>& quittingApplicationID) {
    return !application.restriction() || checkingRemoval || removing ||
           quittingApplicationID == application.id();
}

RemovalActions removalActions(const InstalledApplication& application, bool checkingRemoval, bool removing,
                              const std::optional<QString>& quittingApplicationID) {
    if (checkingRemoval || removing)
        return RemovalActions::progress;
    if (quittingApplicationID && *quittingApplicationID == application.id())
        return RemovalActions::quitWait;
    if (application.restriction())
        return RemovalActions::none;
    return RemovalActions::buttons;
}

QString progressText(bool cancelling, const std::optional<ApplicationRemovalPhase>& phase) {
    if (cancelling)
        return QStringLiteral("已取消，正在结束当前检查…");
    return phase ? rawValue(*phase) : QStringLiteral("正在检查…");
}

QString removalButtonTitle(const InstalledApplication& application,
                           const std::optional<QString>& removalFeedbackID) {
    return removalFeedbackID == application.id() ? QStringLiteral("重新检查并移除程序…")
                                                 : QStringLiteral("检查并移除程序…");
}

QString quitAlertMessage(const QString& name) {
    return QStringLiteral("请先保存 ") + SafeText::isolated(name) +
           QStringLiteral(
               " 中的工作。岚栖会请求正常退出，并等待最多 15 秒；应用可能弹出保存提示。确认退出后会"
               "重新检查，移到回收站仍需你另行确认。");
}

// --- Advice ---

bool showsAdviceSection(bool showAISelection, bool aiBusy, const std::optional<QString>& aiError,
                        const QString& aiResult) {
    return showAISelection || aiBusy || aiError || !aiResult.isEmpty();
}

AdviceRows adviceRows(bool aiBusy, const std::optional<QString>& aiError, const QString& aiResult,
                      const std::optional<QDateTime>& snapshotDate) {
    AdviceRows rows;
    rows.progress = aiBusy;
    rows.error = aiError;
    if (!aiResult.isEmpty()) {
        if (snapshotDate)
            rows.snapshotLine =
                QStringLiteral("基于 ") + timeOfDay(*snapshotDate) + QStringLiteral(" 已确认的清单");
        rows.reply = aiResult;
    } else {
        rows.hint = !aiBusy;
    }
    return rows;
}

AdviceRequest requestAdvice(const AIConfiguration& configuration, const std::function<void()>& refreshRunning,
                            const std::function<QString()>& summary,
                            const std::function<qsizetype()>& tickedCount, const QDateTime& now) {
    if (configuration.model.trimmed().isEmpty())
        return {true, std::nullopt, std::nullopt};
    try {
        (void)configuration.validatedBaseURL();
    } catch (const AIServiceError& error) {
        return {false, error.errorDescription(), std::nullopt};
    }
    refreshRunning();
    QString text;
    try {
        text = summary();
    } catch (const ApplicationManagementError& error) {
        return {false, error.errorDescription(), std::nullopt};
    }
    return {false, std::nullopt,
            ApplicationAdviceConsent{QUuid::createUuid(), text, configuration, now, int(tickedCount())}};
}

// --- Consent sheet ---

QList<ApplicationAdviceItem> confirmedList(const QString& summary) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(summary.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonValue applications = document.object().value(QStringLiteral("applications"));
    if (!applications.isArray())
        return {};
    QList<ApplicationAdviceItem> items;
    for (const QJsonValue& value : applications.toArray()) {
        std::optional<ApplicationAdviceItem> item =
            value.isObject() ? ApplicationAdviceItem::fromJson(value.toObject()) : std::nullopt;
        if (!item)
            return {};
        items.append(std::move(*item));
    }
    return items;
}

QString consentSubtitle(int count) {
    return QStringLiteral("共 ") + QString::number(count) +
           QStringLiteral(" 个应用。名称与标识会透露你安装的软件；可返回列表取消勾选。");
}

QString consentReceiver(const AIConfiguration& configuration) {
    return QStringLiteral("接收地址：") + configuration.baseURL + QStringLiteral("\n模型：") +
           configuration.model;
}

ConsentCard consentCard(const ApplicationAdviceItem& item) {
    ConsentCard card;
    card.name = item.name;
    card.identity = QStringLiteral("版本：") + SafeText::isolated(item.version) +
                    QStringLiteral("\n应用标识：") + SafeText::isolated(item.bundleIdentifier);
    card.size = QStringLiteral("本体大小：") +
                (item.bundleBytes ? formattedSize(*item.bundleBytes) + QStringLiteral("（") +
                                        QString::number(*item.bundleBytes) + QStringLiteral(" 字节）")
                                  : QStringLiteral("未知"));
    card.running = item.runningInCurrentSnapshot ? QStringLiteral("当前应用快照：运行中")
                                                 : QStringLiteral("当前应用快照：未见运行，不代表长期不用");
    if (item.removalRestriction)
        card.restriction = QStringLiteral("已知限制：") + *item.removalRestriction;
    return card;
}

// --- Removal confirmation and receipts ---

QString removalSubtitle(const InstalledApplication& application) {
    return SafeText::isolated(application.shownName()) + QStringLiteral(" · ") +
           SafeText::isolated(application.version());
}

bool showsLoginItemNote(ApplicationManagementGuidance::Kind kind) {
    return ApplicationManagementGuidance::rawValue(kind) == u"embeddedLoginItems";
}

ReceiptsContent receiptsContent(const std::optional<QString>& receiptError,
                                const QList<ApplicationRemovalReceipt>& receipts) {
    if (receiptError)
        return ReceiptsContent::unreadable;
    return receipts.isEmpty() ? ReceiptsContent::empty : ReceiptsContent::list;
}

bool clearReceiptsEnabled(qsizetype receipts, bool removing, bool preview,
                          const std::optional<QString>& receiptError) {
    return receipts > 0 && !removing && !preview && !receiptError;
}

bool rereadReceiptsEnabled(bool preview, bool removing) {
    return !preview && !removing;
}

// Each path is shown verbatim: a line break in a file name cannot begin a line of its own.
QString receiptLocations(const ApplicationRemovalReceipt& receipt) {
    return QStringLiteral("原位置：") + SafeText::verbatim(receipt.originalPath) +
           QStringLiteral("\n回收站位置：") +
           (receipt.trashPath ? SafeText::verbatim(*receipt.trashPath)
                              : QStringLiteral("未记录，请手动复查"));
}

// --- Times ---

QString timeOfDay(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

QString receiptDate(const QDateTime& date) {
    return date.toLocalTime().toString(QStringLiteral("yyyy年M月d日 HH:mm"));
}

} // namespace lunorvale::ApplicationLibraryLogic
