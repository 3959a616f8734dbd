#pragma once

#include "core/ai/AIConfiguration.h"
#include "core/ai/ApplicationAdviceSummary.h"
#include "core/applications/ApplicationRemovalLog.h"
#include "core/applications/ApplicationRemovalService.h"
#include "core/applications/InstalledApplication.h"

#include <QCollator>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <optional>

namespace lunorvale {

// The applications the user is about to send for advice: exactly what the consent sheet shows and what
// its confirm button sends. A new id for every request, so each request opens a sheet of its own.
struct ApplicationAdviceConsent {
    QUuid id;
    QString summary;
    AIConfiguration configuration; // as saved, untrimmed
    QDateTime date;                // sent on as the snapshot time
    int count = 0;                 // ticked paths when the request was made, whatever the list holds
};

// Which applications the library lists: all, the running ones, those without a restriction (a removal
// may be checked), those with one (managed another way). Only the restriction counts, never the
// guidance's kind.
enum class LibraryFilter { all, running, checkable, protected_ };
// The library's order: by name, or larger bundles first.
enum class LibrarySort { name, size };

// What the library page shows, derived from the library model's state by plain functions: the page's
// widgets only place these texts and flags.
namespace ApplicationLibraryLogic {

// --- The visible list ---

// The list in display order: by size puts larger bundles first and the unsized after all sized ones; by
// name sorts as the file manager does (digit runs by value, letter case ignored). Ties are decided by
// name, then by path in plain order. Costly (a collation key per name): the page sorts when the list,
// the sizes or the order change, never per keystroke.
class SortedApplications final {
public:
    SortedApplications() = default;
    SortedApplications(const QList<InstalledApplication>& applications, const QHash<QString, qint64>& sizes,
                       LibrarySort sort);

    // Indices into the list it was made from, in display order.
    const QList<qsizetype>& order() const { return m_order; }
    // The text a search looks in for the application at an index: name, bundle id and path, each
    // joined by one blank, so a search may match across their borders.
    const QString& searchText(qsizetype index) const { return m_searchTexts.at(index); }

private:
    QList<qsizetype> m_order;
    QStringList m_searchTexts;
};

// An empty search passes everything; any other text (blanks too, untrimmed) must occur in the joined
// text, letter case ignored.
bool matchesSearch(const QString& searchText, const QString& search);
// Running: its path is among `runningIDs`.
bool passesFilter(const InstalledApplication& application, LibraryFilter filter,
                  const QSet<QString>& runningIDs);
// The sorted list narrowed by search and filter: indices into `applications`.
QList<qsizetype> visible(const QList<InstalledApplication>& applications, const SortedApplications& sorted,
                         const QString& search, LibraryFilter filter, const QSet<QString>& runningIDs);
// Both steps at once.
QList<InstalledApplication> visible(const QList<InstalledApplication>& applications,
                                    const QHash<QString, qint64>& sizes, const QSet<QString>& runningIDs,
                                    const QString& search, LibraryFilter filter, LibrarySort sort);

// --- Header, toolbar and scope ---

QString filterMenuTitle(LibraryFilter filter);
QString sortMenuTitle(LibrarySort sort);
// The toolbar's progress text while scanning or sizing; absent otherwise.
std::optional<QString> scanProgressText(bool scanning, bool sizing, qsizetype sized, qsizetype listed);
QString scopeTitle(qsizetype issues);
bool rescanEnabled(bool preview, bool scanning, bool removing, bool checkingRemoval, bool quitWaiting);
// The list's empty state: title and detail.
std::pair<QString, QString> emptyState(bool scanning);

// --- Sizes and rows ---

// Decimal units as the desktop shows file sizes, without trailing zeros of the fraction: "0 字节",
// "1.5 kB", "780 MB", "2.34 GB".
QString formattedSize(qint64 bytes);
// A known size, else "大小未知" after a failed sizing, "计算中…" while sizing runs, "未计算".
QString sizeLabel(const QString& path, const QHash<QString, qint64>& sizes, const QSet<QString>& sizeErrors,
                  bool sizing);
// The row's second line: the version, " · " and the shown guidance's title.
QString rowSubtitle(const InstalledApplication& application, const ApplicationManagementGuidance& shown);
// Clicks and arrow keys may move the selection: not during a check, a removal or a quit wait.
bool rowSelectionAllowed(bool checkingRemoval, bool removing, bool quitWaiting);
QString tickAccessibleName(const QString& name);

// --- Ticks for advice ---

struct TickOutcome {
    QSet<QString> checked;
    std::optional<QString> message; // set when the tick was refused
};
// Ticking adds the path while fewer than 20 are ticked; unticking always removes it.
TickOutcome tick(const QSet<QString>& checked, const QString& path, bool on);
// "选择当前结果用于 AI": exactly the visible paths when they are 20 or fewer, else the ticks unchanged and a
// message.
TickOutcome tickVisible(const QSet<QString>& checked, const QStringList& visiblePaths);
QString selectionBarText(qsizetype ticked);
// "配置 AI" while no model name is saved (untrimmed), else "预览 AI 清单".
QString adviceButtonTitle(const AIConfiguration& configuration);
// Without a model name the button stays usable so that it leads to the settings.
bool adviceButtonEnabled(const AIConfiguration& configuration, bool removing, bool aiBusy, qsizetype ticked);

// --- Details and removal actions ---

QString versionLine(const InstalledApplication& application);
// "打开自动启动设置" is offered for embedded login items and for anything that must quit first.
bool offersLoginItemsSettings(const InstalledApplication& application,
                              const ApplicationManagementGuidance& shown);
// The footer under the details: for an unrestricted application, during a check or removal, or while
// this application's quit is awaited.
bool showsActionsFooter(const InstalledApplication& application, bool checkingRemoval, bool removing,
                        const std::optional<QString>& quittingApplicationID);

enum class RemovalActions { progress, quitWait, none, buttons };
// First rule that holds: a check or removal anywhere, this application's quit wait, a restriction, else
// the buttons.
RemovalActions removalActions(const InstalledApplication& application, bool checkingRemoval, bool removing,
                              const std::optional<QString>& quittingApplicationID);
QString progressText(bool cancelling, const std::optional<ApplicationRemovalPhase>& phase);
QString removalButtonTitle(const InstalledApplication& application,
                           const std::optional<QString>& removalFeedbackID);
QString quitAlertMessage(const QString& name);

// --- Advice ---

// Whether the detail column shows the advice section under the details.
bool showsAdviceSection(bool showAISelection, bool aiBusy, const std::optional<QString>& aiError,
                        const QString& aiResult);

// The advice section's rows below its heading.
struct AdviceRows {
    bool progress = false;               // "正在分析已确认的清单…" and "取消分析"
    std::optional<QString> error;        // in the danger colour
    std::optional<QString> snapshotLine; // "基于 … 已确认的清单"
    std::optional<QString> reply;        // verbatim, with the caution line under it
    bool hint = false;
    friend bool operator==(const AdviceRows&, const AdviceRows&) = default;
};
AdviceRows adviceRows(bool aiBusy, const std::optional<QString>& aiError, const QString& aiResult,
                      const std::optional<QDateTime>& snapshotDate);

// The advice button's steps, in order: a blank model name opens the settings; the address is validated;
// the running state is refreshed; the list is built; a consent comes back. A failing step's sentence
// comes back as the message and nothing later runs.
struct AdviceRequest {
    bool configureAI = false;
    std::optional<QString> message;
    std::optional<ApplicationAdviceConsent> consent;
};
AdviceRequest requestAdvice(const AIConfiguration& configuration, const std::function<void()>& refreshRunning,
                            const std::function<QString()>& summary,
                            const std::function<qsizetype()>& tickedCount, const QDateTime& now);

// --- Consent sheet ---

// The "applications" of the summary, all or nothing: not JSON, no such key, or one item that does not
// decode gives no items.
QList<ApplicationAdviceItem> confirmedList(const QString& summary);
QString consentSubtitle(int count);
QString consentReceiver(const AIConfiguration& configuration);
// One item's card, top to bottom; the restriction line (amber) only when the item has one.
struct ConsentCard {
    QString name;
    QString identity;
    QString size;
    QString running;
    std::optional<QString> restriction;
};
ConsentCard consentCard(const ApplicationAdviceItem& item);

// --- Removal confirmation and receipts ---

QString removalSubtitle(const InstalledApplication& application);
bool showsLoginItemNote(ApplicationManagementGuidance::Kind kind);

enum class ReceiptsContent { unreadable, empty, list };
ReceiptsContent receiptsContent(const std::optional<QString>& receiptError,
                                const QList<ApplicationRemovalReceipt>& receipts);
bool clearReceiptsEnabled(qsizetype receipts, bool removing, bool preview,
                          const std::optional<QString>& receiptError);
bool rereadReceiptsEnabled(bool preview, bool removing);
QString receiptLocations(const ApplicationRemovalReceipt& receipt);

// --- Times ---

QString timeOfDay(const QDateTime& time);   // "HH:mm:ss", local time
QString receiptDate(const QDateTime& date); // "yyyy年M月d日 HH:mm", local time

} // namespace ApplicationLibraryLogic
} // namespace lunorvale
