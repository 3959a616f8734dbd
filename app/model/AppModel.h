#pragma once

#include "app/advice/AutomaticProcessAdvice.h"
#include "app/model/NotificationDeliveryState.h"
#include "app/model/SampleState.h"
#include "app/model/SoftwareUpdater.h"
#include "app/ports/AIRequests.h"
#include "app/ports/DesktopApplications.h"
#include "app/ports/LoginItem.h"
#include "core/ai/AIConfiguration.h"
#include "core/ai/AIKeyStatus.h"
#include "core/ai/ProcessDecisionAdvice.h"
#include "core/monitoring/ActivityEvent.h"
#include "core/monitoring/ApplicationResourceGroup.h"
#include "core/monitoring/Finding.h"
#include "core/monitoring/LocalHistoryStore.h"
#include "core/monitoring/LocalProcessAdvice.h"
#include "core/monitoring/MemoryObservation.h"
#include "core/monitoring/MonitorSettings.h"
#include "core/monitoring/ProcessController.h"
#include "core/monitoring/ProcessPlatform.h"
#include "core/monitoring/ProcessSort.h"
#include "core/monitoring/ResourceHistory.h"
#include "platform/files/SettingsStore.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUuid>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace lunorvale {

class ApplicationLibraryModel;
class CachedKeychainStore;
class Executor;
class SampleAnalyzer;
class SamplingService;
class SleepWatcher;
class UserNotificationCenter;
struct AnalyzedSample;

// What the model works with: the composition root gives the desktop's own, a screenshot run stand-ins
// that keep everything in memory, tests their fakes. A member left out reaches nothing outside the
// process. The caller keeps every pointer alive longer than the model.
struct AppModelServices {
    ProcessPlatform* processPlatform = nullptr;         // required
    std::optional<SettingsStore> settingsStore;         // absent: no setting is read or stored
    std::shared_ptr<CachedKeychainStore> keychain;      // absent: no key is read or saved
    UserNotificationCenter* notifications = nullptr;    // absent: no reminders
    SleepWatcher* sleepWatcher = nullptr;               // absent: no sleep handling
    LoginItem* loginItem = nullptr;                     // absent: status "状态未知"
    DesktopApplications* desktopApplications = nullptr; // absent: no owning application, no system monitor
    // The history file; may throw HistoryStorageError. Null: a history in memory, gone with the model.
    std::function<LocalHistoryStore()> historyStore;
    // The wall clock. Null: the system clock.
    std::function<QDateTime()> now;
    // Runs the sampling jobs, in order; the program gives a thread of their own. Null: on the interface
    // thread between events.
    Executor* sampling = nullptr;
    std::chrono::milliseconds stopRecheckDelay{2000};
    // Starts one request to the AI service; the completion runs later on the interface thread. Null:
    // every request fails as without a network.
    AIRequest analyze;
    // Makes the update controller when the shell starts the updater. Null: the updater cannot start.
    UpdaterFactory updaterFactory;
};

// The owning application of a process, as found for inspection.
struct InspectionApplication {
    ProcessIdentity identity;
    RunningApplication application;
};

// The one observable model behind every screen: the sampling cycle and everything it publishes, the
// stored settings, the process actions, reminders, the manual AI analysis and the preview data.
//
// Lives on the interface thread and is used only there. Collecting and analysing a sample runs on the
// sampling worker; its result is applied only while no reset of observation happened since it was
// asked for. Every published property announces a change through its NOTIFY signal, only when the
// value changed. Actions report their outcome in the published sentences, never to the caller,
// except the two saves, which throw the sentence the settings page shows.
//
// In preview mode (fixed at construction) the model is filled with a scenario's sample data, which
// nothing replaces: no timer runs, no sample is taken, the stores and the system status are not read.
// Its actions work as they always do, on the services it was given; a screenshot run gives it ones
// that keep everything in memory, so nothing it does reaches outside the process.
class AppModel final : public QObject {
    Q_OBJECT

    Q_PROPERTY(lunorvale::SampleState sampleState READ sampleState NOTIFY sampleStateChanged)
    Q_PROPERTY(QList<lunorvale::ActivityEvent> history READ history NOTIFY historyChanged)
    Q_PROPERTY(lunorvale::MonitorSettings settings READ settings NOTIFY settingsChanged)
    Q_PROPERTY(lunorvale::AIConfiguration aiConfiguration READ aiConfiguration NOTIFY aiConfigurationChanged)
    Q_PROPERTY(std::optional<lunorvale::AIConfiguration> automaticAdviceAuthorization READ
                   automaticAdviceAuthorization NOTIFY automaticAdviceAuthorizationChanged)
    Q_PROPERTY(
        bool automaticAdvicePreference READ automaticAdvicePreference NOTIFY automaticAdvicePreferenceChanged)
    Q_PROPERTY(bool isMonitoring READ isMonitoring NOTIFY isMonitoringChanged)
    Q_PROPERTY(bool isSampling READ isSampling NOTIFY isSamplingChanged)
    Q_PROPERTY(QUuid resourceNavigationRequest READ resourceNavigationRequest WRITE
                   setResourceNavigationRequest NOTIFY resourceNavigationRequestChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage WRITE setStatusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(std::optional<lunorvale::ProcessIdentity> selectedID READ selectedID WRITE setSelectedID NOTIFY
                   selectedIDChanged)
    Q_PROPERTY(QUuid navigationRequest READ navigationRequest NOTIFY navigationRequestChanged)
    Q_PROPERTY(
        std::optional<lunorvale::ProcessDecisionAdvice> aiDecision READ aiDecision NOTIFY aiDecisionChanged)
    Q_PROPERTY(std::optional<lunorvale::ProcessIdentity> openedNotificationID READ openedNotificationID NOTIFY
                   openedNotificationIDChanged)
    Q_PROPERTY(bool aiBusy READ aiBusy NOTIFY aiBusyChanged)
    Q_PROPERTY(std::optional<QString> aiError READ aiError NOTIFY aiErrorChanged)
    Q_PROPERTY(bool loginEnabled READ loginEnabled NOTIFY loginEnabledChanged)
    Q_PROPERTY(QString loginStatus READ loginStatus NOTIFY loginStatusChanged)
    Q_PROPERTY(QString notificationStatus READ notificationStatus NOTIFY notificationStatusChanged)
    Q_PROPERTY(QString appearance READ appearance WRITE setAppearance NOTIFY appearanceChanged)
    Q_PROPERTY(bool hasCompletedOnboarding READ hasCompletedOnboarding NOTIFY hasCompletedOnboardingChanged)
    Q_PROPERTY(QSet<lunorvale::ProcessIdentity> stoppingIDs READ stoppingIDs NOTIFY stoppingIDsChanged)
    Q_PROPERTY(
        std::optional<QString> historyStorageError READ historyStorageError NOTIFY historyStorageErrorChanged)
    Q_PROPERTY(std::optional<QString> operationMessage READ operationMessage WRITE setOperationMessage NOTIFY
                   operationMessageChanged)

public:
    // The stored settings' keys; nothing else of the program reads or writes them.
    struct Keys {
        static const QString monitorSettings;
        static const QString aiConfiguration;
        static const QString automaticAdvicePreference;
        static const QString automaticAdviceAuthorization;
        static const QString automaticAdviceAttempts;
        static const QString mutedProcesses;
        static const QString monitoringEnabled;
        static const QString appearance;
        static const QString hasCompletedOnboarding;
    };

    // Reads the stored settings, mutes and history and the system status, and watches sleep and
    // wake; neither arms the timer nor samples (the shell does both once the interface stands).
    AppModel(bool preview, AppModelServices services, QObject* parent = nullptr);
    ~AppModel() override;

    // --- Published state (see the property list) ---
    // What the newest sample shows; its parts are read through the getters below as well.
    const SampleState& sampleState() const { return m_sample; }
    const QList<ProcessSample>& processes() const { return m_sample.processes; }
    const QList<Finding>& findings() const { return m_sample.findings; }
    const QList<ActivityEvent>& history() const { return m_history; }
    // Whether the history file holds any event, one dated ahead of the clock and not shown included:
    // clearing is offered for it. Announced by historyChanged too.
    bool holdsHistory() const { return !m_storedHistory.isEmpty(); }
    // The events the history file holds as last read or written, those dated ahead of the clock too;
    // none of a file that could not be read. Announced by historyChanged.
    qsizetype savedHistoryCount() const { return m_savedHistoryCount; }
    // Whether clearing is offered: while anything is held, and on a storage error, so that a damaged
    // file can be reset; never in a screenshot run. Every clearing control and its confirmation ask this.
    bool canClearHistory() const;
    const MonitorSettings& settings() const { return m_settings; }
    const AIConfiguration& aiConfiguration() const { return m_aiConfiguration; }
    const std::optional<AIConfiguration>& automaticAdviceAuthorization() const {
        return m_automaticAdviceAuthorization;
    }
    bool automaticAdvicePreference() const { return m_automaticAdvicePreference; }
    bool isMonitoring() const { return m_isMonitoring; }
    bool isSampling() const { return m_isSampling; }
    const std::optional<QDateTime>& lastUpdate() const { return m_sample.lastUpdate; }
    std::optional<double> systemCPU() const { return m_sample.systemCPU; }
    const std::optional<SystemMemorySnapshot>& systemMemory() const { return m_sample.systemMemory; }
    const QList<ApplicationResourceGroup>& resourceGroups() const { return m_sample.resourceGroups; }
    const ResourceHistory& resourceHistory() const { return m_sample.resourceHistory; }
    const QList<MemoryObservation>& memoryObservations() const { return m_sample.memoryObservations; }
    const QList<ApplicationCPUFinding>& applicationCPUFindings() const {
        return m_sample.applicationCPUFindings;
    }
    qint64 skippedProcessCount() const { return m_sample.skippedProcessCount; }
    // The newest request to show the resources page; null until one is made.
    const QUuid& resourceNavigationRequest() const { return m_resourceNavigationRequest; }
    const std::optional<QString>& collectionError() const { return m_sample.collectionError; }
    const QString& statusMessage() const { return m_statusMessage; }
    const std::optional<ProcessIdentity>& selectedID() const { return m_selectedID; }
    // The newest request to show the selected process; null until one is made.
    const QUuid& navigationRequest() const { return m_navigationRequest; }
    const std::optional<ProcessDecisionAdvice>& aiDecision() const { return m_aiDecision; }
    const std::optional<ProcessIdentity>& openedNotificationID() const { return m_openedNotificationID; }
    bool aiBusy() const { return m_aiBusy; }
    const std::optional<QString>& aiError() const { return m_aiError; }
    bool loginEnabled() const { return m_loginEnabled; }
    // The login item's state and what the settings show for it.
    LoginItemStatus loginState() const { return m_loginState; }
    QString loginStatus() const { return title(m_loginState); }
    const QString& notificationStatus() const { return m_notificationStatus; }
    const QString& appearance() const { return m_appearance; }
    bool hasCompletedOnboarding() const { return m_hasCompletedOnboarding; }
    const QSet<ProcessIdentity>& stoppingIDs() const { return m_stoppingIDs; }
    const std::optional<QString>& historyStorageError() const { return m_historyStorageError; }
    const std::optional<QString>& operationMessage() const { return m_operationMessage; }

    // Written by the screens. A new selection drops the manual analysis and, unless it is the process
    // opened from a reminder, that reminder's mark.
    void setSelectedID(const std::optional<ProcessIdentity>& identity);
    void setStatusMessage(const QString& message);
    void setOperationMessage(const std::optional<QString>& message);
    void setResourceNavigationRequest(const QUuid& request);

    // --- Fixed at construction, or wired once by the shell ---
    bool isPreview() const { return m_preview; }
    AutomaticProcessAdvice& automaticAdvice() { return *m_automaticAdvice; }
    SoftwareUpdater* softwareUpdater() const { return m_softwareUpdater; }
    ApplicationLibraryModel* applicationLibrary() const { return m_applicationLibrary; }
    void setApplicationLibrary(ApplicationLibraryModel* library) { m_applicationLibrary = library; }

    // --- Derived views ---
    // The processes in the order of the lists (see ProcessOrder): resident bytes, elapsed time or CPU
    // percent, each largest first, unmeasured last; ties by name as a file browser orders them, then by pid.
    QList<ProcessSample> orderedProcesses(ProcessSort sort) const;
    // Findings, memory observations and application findings none of whose processes is a finding.
    int attentionCount() const;
    QString systemCPUText() const;
    bool automaticAdviceEnabled() const;
    // Computed on reading, never published: views read it again on `aiKeyStatusChanged`.
    AIKeyStatus aiKeyStatus() const;
    // The key store keys are saved in; absent when there is none. Its reading and removing calls may
    // wait for the desktop's unlock prompt: callers make them on a worker thread.
    const std::shared_ptr<CachedKeychainStore>& keychain() const { return m_services.keychain; }
    // Whoever read or removed a key through `keychain()` says so here, so that every view showing the
    // key status reads it again.
    void announceAIKeyStatus();

    // --- The sampling cycle ---
    // Asks for one sample, unless one is in flight, the machine sleeps or in preview mode. Works while
    // paused too: a manual sample then shows the processes but finds nothing.
    void sampleNow();
    void toggleMonitoring();
    // Restarts the sampling timer from the current rules, unless paused, asleep or in preview mode.
    void armTimer();
    // The running timer's interval; absent when no timer runs.
    std::optional<std::chrono::milliseconds> samplingInterval() const;
    void clearAnalysis();

    // --- Settings ---
    // Re-saves the rules in force, each clamped to its range; a failure goes to the status line.
    void applySettings();
    // Throws MonitorError::action with the sentence for the settings page; nothing changes then.
    // False when the rules hold for this run only because the settings file could not be written.
    bool saveMonitorSettings(const MonitorSettings& settings);
    // Throws AIServiceError (address, model, key store) or MonitorError (settings file); nothing of
    // the configuration or the consent changes then. Absent `automaticAdvice` keeps the preference.
    // False when the settings file could not be written (the change holds for this run only).
    bool saveAIConfiguration(const AIConfiguration& configuration, const std::optional<QString>& apiKey,
                             std::optional<bool> automaticAdvice);
    // Each of these three takes effect at once; false when the settings file could not be written
    // (the change holds for this run only, and the status line says so).
    bool disableAutomaticAdvice();
    // Any value but "system", "light" and "dark" becomes "system".
    bool setAppearance(const QString& appearance);
    bool completeOnboarding();
    // Reads the login item now and asks the reminder service; only the latest answer is shown.
    void refreshSystemStatus();
    // Asks for reminders and puts the answer into the rules.
    void enableNotifications();
    void setLoginEnabled(bool enabled);
    void clearHistory();
    // The program is ending: a history write that failed is tried once more, so that the records
    // the page listed are not lost with the run.
    void applicationWillTerminate();

    // --- Process actions ---
    void showProcess(const ProcessIdentity& identity);
    bool isIgnored(const ProcessSample& sample) const;
    // The actions take their process by value: a caller may name one of the model's own findings or
    // processes, which the action itself replaces.
    // Mutes the process for an hour.
    void ignore(ProcessSample sample);
    void unignore(ProcessSample sample);
    // Sends the terminate (or, forced, the kill) signal while the process is still the one listed,
    // then re-checks it after a short delay.
    void stop(ProcessSample sample, bool force);
    // Whether the stop actions are offered for the process at all (see ProcessController::canStop).
    bool canStop(const ProcessSample& sample) const;
    LocalProcessAdvice localAdvice(const std::optional<ProcessSample>& sample) const;
    // Selects the process a reminder named ("pid:start") and asks the main window to show it.
    void openNotification(const std::optional<QString>& processKey);

    // --- Manual AI analysis ---
    // Without an approved summary or configuration, the current ones are used.
    void analyze(ProcessSample sample, const std::optional<QString>& approvedSummary,
                 const std::optional<AIConfiguration>& configuration);

    // --- Process inspection ---
    std::optional<InspectionApplication> inspectionApplication(const ProcessSample& sample) const;
    // Brings the owning application to the front, or opens the system monitor with directions.
    void inspectProcess(const ProcessSample& sample);

    // --- Preview (each does nothing outside preview mode) ---
    void configurePreview(const QString& page);
    void configureResourcePreview(const QString& page);
    void configureAdvicePreview(const QString& page);
    void configureAIStatusPreview(const QString& page);
    // The service a preview page shows.
    void setPreviewAIConfiguration(const AIConfiguration& configuration);
    // No processes, findings or selection.
    void clearPreviewProcesses();

signals:
    // Once for each step that changed the sample state: a sample applied or failed, a pause, a reset of
    // observation, an action on a listed process, a preview's scenario.
    void sampleStateChanged();
    void historyChanged();
    void settingsChanged();
    void aiConfigurationChanged();
    void automaticAdviceAuthorizationChanged();
    void automaticAdvicePreferenceChanged();
    void isMonitoringChanged();
    void isSamplingChanged();
    void resourceNavigationRequestChanged();
    void statusMessageChanged();
    void selectedIDChanged();
    void navigationRequestChanged();
    void aiDecisionChanged();
    void openedNotificationIDChanged();
    void aiBusyChanged();
    void aiErrorChanged();
    void loginEnabledChanged();
    void loginStatusChanged();
    void notificationStatusChanged();
    void appearanceChanged();
    void hasCompletedOnboardingChanged();
    void stoppingIDsChanged();
    void historyStorageErrorChanged();
    void operationMessageChanged();
    // The key status may read differently now (see `announceAIKeyStatus`).
    void aiKeyStatusChanged();
    // A reminder was clicked: the shell shows the main window.
    void mainWindowRequested();

private:
    // Stores `value` and announces it, only when it differs from what is there.
    template <typename T, typename U> bool publish(T& field, U&& value, void (AppModel::*changed)()) {
        if (field == value)
            return false;
        field = std::forward<U>(value);
        emit(this->*changed)();
        return true;
    }

    // Gathers the changes of the sample state made while it lives into one `sampleStateChanged`, sent
    // when the outermost one ends and only when something changed. A change made outside any is
    // announced at once.
    class SampleChange final {
    public:
        explicit SampleChange(AppModel& model) : m_model(model) { ++model.m_sampleChanges; }
        ~SampleChange() {
            if (--m_model.m_sampleChanges == 0 && std::exchange(m_model.m_sampleChanged, false))
                emit m_model.sampleStateChanged();
        }
        SampleChange(const SampleChange&) = delete;
        SampleChange& operator=(const SampleChange&) = delete;

    private:
        AppModel& m_model;
    };
    // Stores `value` in a part of the sample state, noting a change only when it differs.
    template <typename T, typename U> void setSample(T SampleState::*part, U&& value) {
        T& field = m_sample.*part;
        if (field == value)
            return;
        const SampleChange change(*this);
        field = std::forward<U>(value);
        m_sampleChanged = true;
    }
    // Applies `edit` to the resource history; `edit` returns whether it changed it.
    template <typename Edit> void editResourceHistory(Edit&& edit) {
        const SampleChange change(*this);
        if (edit(m_sample.resourceHistory))
            m_sampleChanged = true;
    }

    QDateTime now() const;
    // Seconds of a clock that counts sleep and that no wall-clock step moves: the half hour between two
    // records or reminders of one finding is one the user lived through, however the time was set.
    double sinceBoot() const;
    // Main-thread side of the cycle.
    void applySample(AnalyzedSample sample);
    void applySampleState(AnalyzedSample sample);
    void applyFailure(const QString& sentence);
    void updateResources(const MonitorSnapshot& snapshot, QList<ApplicationResourceGroup> groups,
                         QList<MemoryObservation> memory, QList<ApplicationCPUFinding> applications);
    void resetResourceObservation();
    void resetObservation();
    void setProcesses(QList<ProcessSample> processes);
    void setFindings(QList<Finding> findings);
    void clearMeasurements();
    void refreshAutomaticAdvice(const QList<Finding>& findings);
    void setStatusAndOperation(const QString& message);
    void sleepBegins();
    void wakeEnds();

    // Settings and history.
    void loadStoredSettings();
    // Names, once, the damaged settings file that a change (of this model or of another holder of the
    // run's settings store, in this run or an earlier one) set aside.
    void announceSetAsideCopy();
    bool store(const QString& key, const QJsonValue& value);
    // Says in the status line that a change holds for this run only, when it was not stored.
    bool storedOrSaid(bool stored);
    void storeBudget(const QList<QDateTime>& attempts);
    void persistMutedProcesses();
    void record(const QString& title, const QString& detail, const QString& category);
    void pruneHistory();
    // Keeps `stored` as the file's events and shows those the clock has reached.
    void setHistory(QList<ActivityEvent> stored, const QDateTime& now);
    void setSavedHistoryCount(qsizetype count);
    void persistHistory();
    LocalHistoryStore historyStoreOrThrow();

    // Reminders.
    void notify(const Finding& finding);
    void withdraw(const QStringList& identifiers);
    void clearDeliveredProcessNotifications();

    // Actions.
    QString actionDetail(const ProcessSample& sample, const QString& suffix = {}) const;
    void recheckStop(const ProcessSample& sample);
    void analyzeAutomatically(const QString& summary, const AIConfiguration& configuration,
                              AutomaticProcessAdvice::AnalysisDone done, std::stop_token stop);

    // Preview.
    void loadPreview();

    const bool m_preview;
    AppModelServices m_services;
    std::unique_ptr<ProcessController> m_controller;
    // Where the samples are taken when no executor was given; made before the worker, gone after it.
    std::unique_ptr<Executor> m_ownSampling;
    std::unique_ptr<SamplingService> m_sampler;
    std::unique_ptr<SampleAnalyzer> m_previewAnalyzer; // preview pages derive their resources here
    std::unique_ptr<AutomaticProcessAdvice> m_automaticAdvice;
    SoftwareUpdater* m_softwareUpdater = nullptr;
    ApplicationLibraryModel* m_applicationLibrary = nullptr;

    // Published.
    SampleState m_sample;
    QList<ActivityEvent> m_history;       // what is shown: the stored events the clock has reached
    QList<ActivityEvent> m_storedHistory; // what the file keeps, events dated ahead of the clock too
    MonitorSettings m_settings;
    AIConfiguration m_aiConfiguration;
    std::optional<AIConfiguration> m_automaticAdviceAuthorization;
    bool m_automaticAdvicePreference = true;
    bool m_isMonitoring = true;
    bool m_isSampling = false;
    QUuid m_resourceNavigationRequest;
    QString m_statusMessage = QStringLiteral("正在建立观察基线…");
    std::optional<ProcessIdentity> m_selectedID;
    QUuid m_navigationRequest;
    std::optional<ProcessDecisionAdvice> m_aiDecision;
    std::optional<ProcessIdentity> m_openedNotificationID;
    bool m_aiBusy = false;
    std::optional<QString> m_aiError;
    bool m_loginEnabled = false;
    LoginItemStatus m_loginState = LoginItemStatus::notRegistered;
    QString m_notificationStatus = QStringLiteral("尚未检查");
    QString m_appearance = QStringLiteral("system");
    bool m_hasCompletedOnboarding = false;
    QSet<ProcessIdentity> m_stoppingIDs;
    std::optional<QString> m_historyStorageError;
    std::optional<QString> m_operationMessage;

    // Observation.
    QTimer m_timer;
    QHash<ProcessIdentity, QDateTime> m_ignoredUntil;
    QHash<ProcessIdentity, double> m_lastFindingRecorded; // sinceBoot() when applied
    NotificationDeliveryState m_notificationDelivery;
    int64_t m_generation = 0;
    int m_sampleChanges = 0;      // SampleChange objects alive
    bool m_sampleChanged = false; // since the outermost one began
    bool m_needsReset = true;
    bool m_suspended = false;
    AIRequestHandle m_aiTask;
    QUuid m_aiRequestID = QUuid::createUuid();

    // Settings and status.
    AIKeyStatus m_previewAIKeyStatus = AIKeyStatus::missing;
    mutable std::pair<QString, AIKeyStatus> m_lastAIKeyStatus{QString(), AIKeyStatus::unavailable};
    MonitorSettings m_appliedSettings;
    std::optional<LocalHistoryStore> m_historyStore;
    // False only while the file could not be read: a shorter list must never replace it.
    bool m_mayReplaceHistoryFile = true;
    // The last write of a file that was read failed: tried again at each sample and at the end.
    bool m_historyWriteFailed = false;
    qsizetype m_savedHistoryCount = 0;
    QUuid m_systemStatusRequestID = QUuid::createUuid();
};

} // namespace lunorvale
