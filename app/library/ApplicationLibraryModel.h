#pragma once

#include "app/ports/AIRequests.h"
#include "core/ai/AIAnalysisPurpose.h"
#include "core/ai/AIConfiguration.h"
#include "core/ai/ApplicationAdviceSummary.h"
#include "core/applications/ApplicationRemovalLog.h"
#include "core/applications/ApplicationRemovalService.h"
#include "core/applications/InstalledApplication.h"
#include "core/applications/RunningBundles.h"
#include "core/common/CancellationToken.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace lunorvale {

class ApplicationLauncher;
class CachedKeychainStore;
class Delivery;
class Executor;
class FileRevealer;
class ProcessPlatform;

// One running application as the library sees it, made afresh at every use and never kept.
struct ApplicationRunningTarget {
    std::optional<QUrl> bundleURL;
    std::optional<QString> bundleID;
    // Asks the application to quit politely (never forces it); false when the request was not sent. Null
    // where none of its processes can be asked.
    std::function<bool()> requestQuit;
    // With a null requestQuit: a process of it the user must quit.
    std::optional<NamedProcess> quitByHand;
};

// What the library model works with: the composition root gives the desktop's own, a screenshot run
// stand-ins that keep everything in memory, tests their fakes. A member left out reaches nothing: no
// application is listed or running, every removal check and removal is refused, the receipts live in
// memory, advice requests fail as without a network, and the work runs on the interface thread between
// events. The caller keeps every pointer alive longer than the model.
struct ApplicationLibraryServices {
    using PhaseCallback = ApplicationRemovalService::PhaseCallback;

    // The user's processes: the monotonic clock of the quit wait. Absent: the steady clock.
    ProcessPlatform* processes = nullptr;
    // Called off the interface thread, one call at a time; the targets' requestQuit is called on the
    // interface thread. runningBundles() gives those of a process table.
    std::function<QList<ApplicationRunningTarget>(const CancellationToken&)> runningApplications;
    // Called off the interface thread.
    std::function<ApplicationScan(const CancellationToken&)> scan;
    std::function<int64_t(const InstalledApplication&, const CancellationToken&)> bundleSize;
    // Called off the interface thread.
    std::function<ApplicationRemovalPlan(const InstalledApplication&, const PhaseCallback&,
                                         const CancellationToken&)>
        prepare;
    std::function<ApplicationRemovalResult(const ApplicationRemovalPlan&, const PhaseCallback&,
                                           const CancellationToken&)>
        execute;
    // Removes the trash records that removals ended before their move left behind
    // (ApplicationRemovalService::removeUnfinishedTrashRecords). Called off the interface thread.
    std::function<void(const QList<ApplicationRemovalReceipt>& receipts, const QDateTime& before)>
        removeUnfinishedTrashRecords;
    // The receipt log, asked for at every use. Absent: one in memory, for the life of the model.
    std::function<ApplicationRemovalLog()> removalLog;
    FileRevealer* revealer = nullptr;              // absent: nothing is revealed
    ApplicationLauncher* launcher = nullptr;       // absent: opening an application fails
    std::shared_ptr<CachedKeychainStore> keychain; // absent: requests go without a key
    // Starts an advice request; the completion runs later on the interface thread.
    AIRequest analyze;
    // Monotonic seconds for the quit wait. Null: the clock of `processes`.
    std::function<double()> uptime;
    // The wall clock. Null: the system clock.
    std::function<QDateTime()> now;
    // Run the scan, the sizing, the removal check and the removal, and the looks at the running
    // applications. The program gives two threads at low priority for the work, one for the looks.
    Executor* work = nullptr;
    Executor* looks = nullptr;

    // The running applications of a process table: which bundles its processes run, and a polite quit
    // request to each.
    static std::function<QList<ApplicationRunningTarget>(const CancellationToken&)>
    runningBundles(ProcessPlatform& processes);
};

// The one observable model behind the application library page: it lists the installed bundles and
// sizes them, knows which of them run, asks one to quit and waits for it, runs the removal check and the
// removal, keeps the receipts and asks for advice about the ticked applications.
//
// Lives on the interface thread and is used only there. Scanning, sizing, the removal check and the
// removal run on the work executor, each with a cancellation token; every result comes
// back to the interface thread and is applied only while the request token it was started under is
// still current, so cancelling is never relied on alone. An application is known by its bundle path
// (InstalledApplication::id()), the key of `sizes` and the element of every set of paths here.
//
// In preview mode (fixed at construction) the model holds a scenario's sample data, which nothing
// replaces: no scan, no look at what runs, no reading of the receipts. Its other operations work as they
// always do, on the services it was given; a screenshot run gives it ones that keep everything in memory.
class ApplicationLibraryModel final : public QObject {
    Q_OBJECT

    Q_PROPERTY(
        QList<lunorvale::InstalledApplication> applications READ applications NOTIFY applicationsChanged)
    Q_PROPERTY(QHash<QString, qint64> sizes READ sizes NOTIFY sizesChanged)
    Q_PROPERTY(QSet<QString> sizeErrors READ sizeErrors NOTIFY sizeErrorsChanged)
    Q_PROPERTY(QStringList issues READ issues NOTIFY issuesChanged)
    Q_PROPERTY(bool scanning READ scanning NOTIFY scanningChanged)
    Q_PROPERTY(bool sizing READ sizing NOTIFY sizingChanged)
    Q_PROPERTY(QSet<QString> checked READ checked WRITE setChecked NOTIFY checkedChanged)
    Q_PROPERTY(std::optional<QString> selectedID READ selectedID WRITE setSelectedID NOTIFY selectedIDChanged)
    Q_PROPERTY(QSet<QString> runningIDs READ runningIDs NOTIFY runningIDsChanged)
    Q_PROPERTY(QHash<QString, lunorvale::NamedProcess> quitByHand READ quitByHand NOTIFY quitByHandChanged)
    Q_PROPERTY(std::optional<QDateTime> scannedAt READ scannedAt NOTIFY scannedAtChanged)
    Q_PROPERTY(std::optional<QString> message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(bool checkingRemoval READ checkingRemoval NOTIFY checkingRemovalChanged)
    Q_PROPERTY(bool cancellingRemovalCheck READ cancellingRemovalCheck NOTIFY cancellingRemovalCheckChanged)
    Q_PROPERTY(bool removing READ removing NOTIFY removingChanged)
    Q_PROPERTY(std::optional<lunorvale::ApplicationRemovalPhase> removalPhase READ removalPhase NOTIFY
                   removalPhaseChanged)
    Q_PROPERTY(std::optional<lunorvale::ApplicationManagementGuidance> removalFeedback READ removalFeedback
                   NOTIFY removalFeedbackChanged)
    Q_PROPERTY(
        std::optional<QString> removalFeedbackID READ removalFeedbackID NOTIFY removalFeedbackIDChanged)
    Q_PROPERTY(std::optional<QString> quittingApplicationID READ quittingApplicationID NOTIFY
                   quittingApplicationIDChanged)
    Q_PROPERTY(std::optional<lunorvale::ApplicationRemovalPlan> removalPlan READ removalPlan NOTIFY
                   removalPlanChanged)
    Q_PROPERTY(QList<lunorvale::ApplicationRemovalReceipt> receipts READ receipts NOTIFY receiptsChanged)
    Q_PROPERTY(std::optional<QString> receiptError READ receiptError NOTIFY receiptErrorChanged)
    Q_PROPERTY(std::optional<QString> receiptActionMessage READ receiptActionMessage NOTIFY
                   receiptActionMessageChanged)
    Q_PROPERTY(bool aiBusy READ aiBusy NOTIFY aiBusyChanged)
    Q_PROPERTY(QString aiResult READ aiResult NOTIFY aiResultChanged)
    Q_PROPERTY(std::optional<QString> aiError READ aiError NOTIFY aiErrorChanged)
    Q_PROPERTY(std::optional<QDateTime> aiSnapshotDate READ aiSnapshotDate NOTIFY aiSnapshotDateChanged)

public:
    ApplicationLibraryModel(bool preview, ApplicationLibraryServices services, QObject* parent = nullptr);
    // Stops the background work; nothing it still produces is applied.
    ~ApplicationLibraryModel() override;

    // --- Published state ---
    // In the order of the last successful scan; a removal drops its application.
    const QList<InstalledApplication>& applications() const { return m_applications; }
    // Bundle bytes of each application sized so far in the current scan.
    const QHash<QString, qint64>& sizes() const { return m_sizes; }
    const QSet<QString>& sizeErrors() const { return m_sizeErrors; }
    const QStringList& issues() const { return m_issues; }
    // A scan runs and its list is not published yet.
    bool scanning() const { return m_scanning; }
    // The list is published and bundles are being sized.
    bool sizing() const { return m_sizing; }
    // Ticked for application advice; written by the page, narrowed by each scan.
    const QSet<QString>& checked() const { return m_checked; }
    const std::optional<QString>& selectedID() const { return m_selectedID; }
    // Listed applications running as of the last look at the running applications.
    const QSet<QString>& runningIDs() const { return m_runningIDs; }
    // Those of runningIDs that no quit request can reach, each with a process the user must quit.
    const QHash<QString, NamedProcess>& quitByHand() const { return m_quitByHand; }
    const std::optional<QDateTime>& scannedAt() const { return m_scannedAt; }
    // The page's one-line feedback.
    const std::optional<QString>& message() const { return m_message; }
    bool checkingRemoval() const { return m_checkingRemoval; }
    bool cancellingRemovalCheck() const { return m_cancellingRemovalCheck; }
    // A removal is executing; quitting the program waits for it.
    bool removing() const { return m_removing; }
    const std::optional<ApplicationRemovalPhase>& removalPhase() const { return m_removalPhase; }
    // The guidance of the last failed check, quit or removal, and the application it belongs to.
    const std::optional<ApplicationManagementGuidance>& removalFeedback() const { return m_removalFeedback; }
    const std::optional<QString>& removalFeedbackID() const { return m_removalFeedbackID; }
    const std::optional<QString>& quittingApplicationID() const { return m_quittingApplicationID; }
    // A passed removal check awaiting the user's confirmation; plans are told apart by id only.
    const std::optional<ApplicationRemovalPlan>& removalPlan() const { return m_removalPlan; }
    // Newest first.
    const QList<ApplicationRemovalReceipt>& receipts() const { return m_receipts; }
    const std::optional<QString>& receiptError() const { return m_receiptError; }
    const std::optional<QString>& receiptActionMessage() const { return m_receiptActionMessage; }
    bool aiBusy() const { return m_aiBusy; }
    // The last advice reply as it came; empty when there is none.
    const QString& aiResult() const { return m_aiResult; }
    const std::optional<QString>& aiError() const { return m_aiError; }
    const std::optional<QDateTime>& aiSnapshotDate() const { return m_aiSnapshotDate; }

    bool isPreview() const { return m_preview; }

    // Written by the page.
    void setChecked(const QSet<QString>& checked);
    void setSelectedID(const std::optional<QString>& selectedID);
    void setMessage(const std::optional<QString>& message);
    // The confirmation sheet was dismissed.
    void clearRemovalPlan();

    // --- Scanning ---
    // Lists the application folders and then sizes each bundle, one at a time. Ignored in preview mode
    // and while a removal, a removal check or a quit wait runs.
    void scan();
    // Stops the scan and the sizing wherever they are; sizes already shown stay.
    void stopScanning();
    // The page went away: stops the scan, the advice request, the removal check and the quit wait (but
    // never a removal that executes).
    void leave();
    // The guidance the page shows for the application: a failure left for it, else "still running",
    // else its own.
    ApplicationManagementGuidance guidance(const InstalledApplication& application) const;
    // Looks at the running applications again, off the interface thread, and recomputes runningIDs from
    // them; `then` runs once runningIDs reflect a look that began after this call. A request made while a
    // look is on its way is served by one more look after it.
    void refreshRunning(std::function<void()> then = {});

    // --- Quitting ---
    // Whether the quit action may be offered: no restriction, and a running application with the same
    // bundle location in the last look that can be asked (one known only by its identifier, or none of
    // whose processes can be, is never asked to quit).
    bool canRequestQuit(const InstalledApplication& application) const;
    // Asks every matching running application of the last look to quit, waits up to 15 s of uptime for it
    // to be gone, then starts the removal check if it is still the selected application. Never forces it.
    void requestQuitAndRecheck(const InstalledApplication& application);
    void stopWaitingForQuit();

    // --- Removal ---
    // Starts the removal check, which begins with a fresh look at the running applications; a passed
    // check publishes removalPlan.
    void prepareRemoval(const InstalledApplication& application);
    // Cancels the running check and drops any plan waiting for confirmation; `showMessage` tells the user.
    void cancelRemovalCheck(bool showMessage);
    // Executes the plan if it is still removalPlan and, by a fresh look, the application does not run;
    // cannot be cancelled. Taken by value: the caller may hand in removalPlan itself, which this clears.
    void remove(ApplicationRemovalPlan plan);

    // --- Receipts and reveals ---
    // Reads the log again. While it cannot be read, receiptError says so and why; so does the banner,
    // unless it tells of something else, and it goes with the error once the log reads.
    void loadReceipts();
    // Empties the log, unless it could not be read or a removal writes it.
    void clearReceipts();
    void revealReceipt(const ApplicationRemovalReceipt& receipt, bool inTrash);
    // Called once at the program's start: removes, off the interface thread, the trash records that a
    // removal ended before its move left without their item
    // (ApplicationRemovalService::removeUnfinishedTrashRecords). Nothing in preview mode.
    void removeUnfinishedTrashRecords();
    // The log file, or its folder when there is no file.
    void revealRemovalLog();
    // The guidance's related location, only when it is a local file.
    void revealRelated(const ApplicationManagementGuidance& guidance);
    void open(const InstalledApplication& application);

    // --- Application advice ---
    // The ticked applications in list order, each with its size (when known) and running state.
    QList<ApplicationAdviceItem> adviceItems() const;
    // The list the advice request sends: ApplicationAdviceSummary of adviceItems(). Throws
    // ApplicationManagementError when none or more than 20 are ticked, or the text is too long.
    QString summary() const;
    // Sends the approved list with the applications purpose; one request at a time.
    void analyze(const QString& summary, const AIConfiguration& configuration, const QDateTime& snapshotDate);
    // Abandons the running request: whatever it still delivers is dropped.
    void cancelAI();

    // --- Preview ---
    // Puts a preview model into one of the named library scenarios; other names change nothing.
    void configurePreview(const QString& scenario);

signals:
    void applicationsChanged();
    void sizesChanged();
    void sizeErrorsChanged();
    void issuesChanged();
    void scanningChanged();
    void sizingChanged();
    void checkedChanged();
    void selectedIDChanged();
    void runningIDsChanged();
    void quitByHandChanged();
    void scannedAtChanged();
    void messageChanged();
    void checkingRemovalChanged();
    void cancellingRemovalCheckChanged();
    void removingChanged();
    void removalPhaseChanged();
    void removalFeedbackChanged();
    void removalFeedbackIDChanged();
    void quittingApplicationIDChanged();
    void removalPlanChanged();
    void receiptsChanged();
    void receiptErrorChanged();
    void receiptActionMessageChanged();
    void aiBusyChanged();
    void aiResultChanged();
    void aiErrorChanged();
    void aiSnapshotDateChanged();

private:
    // One background job: its owner cancels it through `source`.
    struct Task {
        CancellationSource source;
    };
    struct QuitWait {
        QUuid token;
        double start = 0;
    };

    // Stores `value` and announces it, only when it differs from what is there.
    template <typename T, typename U>
    bool publish(T& field, U&& value, void (ApplicationLibraryModel::*changed)()) {
        if (field == value)
            return false;
        field = std::forward<U>(value);
        emit(this->*changed)();
        return true;
    }
    void setRemovalPlan(std::optional<ApplicationRemovalPlan> plan);

    QDateTime now() const;
    double uptime() const;
    ApplicationRemovalLog removalLog() const;
    void setRemovalFailure(const std::exception_ptr& error, const InstalledApplication& application);
    void setRemovalGuidance(const ApplicationManagementGuidance& guidance,
                            const InstalledApplication& application);
    // "此应用仍在运行。" and `nextStep`, or, where no quit request can reach the application, which process
    // the user must quit.
    ApplicationManagementGuidance stillRunning(const InstalledApplication& application,
                                               const QString& nextStep) const;
    void reveal(const QUrl& item);

    // Scan steps, each on the interface thread.
    void scanned(const QUuid& token, const std::shared_ptr<Task>& task, std::optional<ApplicationScan> scan,
                 const std::exception_ptr& error);
    void sizeNext(const QUuid& token, const std::shared_ptr<Task>& task,
                  std::shared_ptr<const QList<InstalledApplication>> applications, qsizetype index);
    void finishScan(const QUuid& token, const std::shared_ptr<Task>& task);

    void pollQuit(const QUuid& token, const InstalledApplication& application);
    void endQuitWait(const QUuid& token);

    void checkEnded(const QUuid& token, const std::shared_ptr<Task>& task,
                    const InstalledApplication& application, std::optional<ApplicationRemovalPlan> plan,
                    const std::exception_ptr& error);
    void removed(const ApplicationRemovalPlan& plan, std::optional<ApplicationRemovalResult> result,
                 const std::exception_ptr& error);

    void loadPreview();

    void startLook();
    void applyLook(const QList<ApplicationRunningTarget>& targets);
    void startCheck(const QUuid& token, const std::shared_ptr<Task>& task,
                    const InstalledApplication& application);
    void execute(const ApplicationRemovalPlan& plan, const std::shared_ptr<Task>& task);

    const bool m_preview;
    ApplicationLibraryServices m_services;
    // Where the work runs when no executor was given.
    std::unique_ptr<Executor> m_ownWork;
    std::shared_ptr<Delivery> m_delivery;

    // Published.
    QList<InstalledApplication> m_applications;
    QHash<QString, qint64> m_sizes;
    QSet<QString> m_sizeErrors;
    QStringList m_issues;
    bool m_scanning = false;
    bool m_sizing = false;
    QSet<QString> m_checked;
    std::optional<QString> m_selectedID;
    QSet<QString> m_runningIDs;
    QHash<QString, NamedProcess> m_quitByHand;
    std::optional<QDateTime> m_scannedAt;
    std::optional<QString> m_message;
    bool m_checkingRemoval = false;
    bool m_cancellingRemovalCheck = false;
    bool m_removing = false;
    std::optional<ApplicationRemovalPhase> m_removalPhase;
    std::optional<ApplicationManagementGuidance> m_removalFeedback;
    std::optional<QString> m_removalFeedbackID;
    std::optional<QString> m_quittingApplicationID;
    std::optional<ApplicationRemovalPlan> m_removalPlan;
    QList<ApplicationRemovalReceipt> m_receipts;
    std::optional<QString> m_receiptError;
    std::optional<QString> m_receiptActionMessage;
    bool m_aiBusy = false;
    QString m_aiResult;
    std::optional<QString> m_aiError;
    std::optional<QDateTime> m_aiSnapshotDate;

    // Task slots and their tokens. A flow keeps the token it started under and applies a result only
    // while the field still holds it.
    std::shared_ptr<Task> m_scanTask;
    std::shared_ptr<Task> m_preparationTask;
    std::shared_ptr<Task> m_removalTask; // kept only so that destruction can stop it
    std::optional<QuitWait> m_quitTask;
    AIRequestHandle m_aiTask;
    // The look on its way, whether another was asked for since it began, and what waits for each.
    std::shared_ptr<Task> m_lookTask;
    bool m_lookAgain = false;
    QList<std::function<void()>> m_lookWaiters;
    QList<std::function<void()>> m_nextLookWaiters;
    QList<ApplicationRunningTarget> m_runningTargets; // of the last look
    QUuid m_quitID = QUuid::createUuid();
    QUuid m_preparationID = QUuid::createUuid();
    QUuid m_generation = QUuid::createUuid();
    QUuid m_aiGeneration = QUuid::createUuid();
};

} // namespace lunorvale
