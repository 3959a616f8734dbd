#include "app/model/AppModel.h"

#include "app/model/SamplingService.h"
#include "app/ports/SleepWatcher.h"
#include "app/ports/UserNotificationCenter.h"
#include "core/ai/AIServicePreset.h"
#include "core/ai/AIText.h"
#include "core/ai/KeychainStore.h"
#include "core/common/ThreadExecutors.h"
#include "core/monitoring/DisplayFormat.h"
#include "core/monitoring/ProcessOrder.h"

#include <QJsonArray>
#include <QPointer>
#include <algorithm>
#include <cmath>

namespace lunorvale {

const QString AppModel::Keys::monitorSettings = QStringLiteral("monitorSettings");
const QString AppModel::Keys::aiConfiguration = QStringLiteral("aiConfiguration");
const QString AppModel::Keys::automaticAdvicePreference = QStringLiteral("automaticAdvicePreference");
const QString AppModel::Keys::automaticAdviceAuthorization = QStringLiteral("automaticAdviceAuthorization");
const QString AppModel::Keys::automaticAdviceAttempts = QStringLiteral("automaticAdviceAttempts");
const QString AppModel::Keys::mutedProcesses = QStringLiteral("mutedProcesses");
const QString AppModel::Keys::monitoringEnabled = QStringLiteral("monitoringEnabled");
const QString AppModel::Keys::appearance = QStringLiteral("appearance");
const QString AppModel::Keys::hasCompletedOnboarding = QStringLiteral("hasCompletedOnboarding");

namespace {

// The stored budget: one date per number, seconds since 1970. Absent when the value is damaged.
std::optional<QList<QDateTime>> storedAttempts(const QJsonValue& value) {
    if (!value.isArray())
        return std::nullopt;
    QList<QDateTime> attempts;
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isDouble())
            return std::nullopt;
        attempts.append(QDateTime::fromMSecsSinceEpoch(std::llround(element.toDouble() * 1000), Qt::UTC));
    }
    return attempts;
}

} // namespace

AppModel::AppModel(bool preview, AppModelServices services, QObject* parent)
    : QObject(parent), m_preview(preview), m_services(std::move(services)) {
    Q_ASSERT(m_services.processPlatform);
    // What was not given reaches nothing: whatever a test or a screenshot run leaves out stays in the
    // process.
    if (!m_services.analyze)
        m_services.analyze = AIRequests::unreachable(this);
    // Created now, started by the shell once launching has finished.
    m_softwareUpdater = new SoftwareUpdater(m_preview, std::move(m_services.updaterFactory), this);
    // A coarse timer may fire a twentieth of its interval early or late; the charts and the detectors
    // read the samples' times, so they come on time. The timer wakes the program no more often for it.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AppModel::sampleNow);
    m_aiConfiguration = AIConfiguration{AIServicePreset(AIServicePreset::Kind::openAI).baseURL(), QString()};

    // Whichever holder of the run's settings store sets a damaged file aside, the model names it, from
    // the event loop: a change made as the program ends (the window frame at quit) leaves the name in the
    // file, for the next start to say where someone sees it.
    if (m_services.settingsStore)
        m_services.settingsStore->onSetAside(this, [this] {
            QMetaObject::invokeMethod(this, &AppModel::announceSetAsideCopy, Qt::QueuedConnection);
        });

    QList<QDateTime> attempts;
    bool healBudget = false;
    if (m_services.settingsStore) {
        if (const auto stored = m_services.settingsStore->value(Keys::automaticAdviceAttempts)) {
            if (const auto read = storedAttempts(*stored)) {
                attempts = *read;
            } else {
                // A damaged budget counts as a day's whole allowance spent now: automatic advice pauses
                // for a day and then heals, instead of stopping for good or starting at once.
                attempts = QList<QDateTime>(AutomaticAdviceBudget::maximumPerDay, now());
                healBudget = true;
            }
        }
    }
    const QPointer<AppModel> self(this);
    m_automaticAdvice = std::make_unique<AutomaticProcessAdvice>(
        attempts, [self] { return self ? self->now() : QDateTime::currentDateTimeUtc(); },
        [self](const QList<QDateTime>& list) {
            if (self)
                self->storeBudget(list);
        },
        [self](const QString& summary, const AIConfiguration& configuration,
               AutomaticProcessAdvice::AnalysisDone done, std::stop_token stop) {
            if (!self)
                throw AIRequestCancelled();
            self->analyzeAutomatically(summary, configuration, std::move(done), std::move(stop));
        });
    if (healBudget)
        storeBudget(attempts);

    m_controller = std::make_unique<ProcessController>(*m_services.processPlatform);
    if (m_preview) {
        // The scenario's data stands as it is: nothing is sampled, and nothing read from the stores or
        // the desktop replaces it.
        m_previewAnalyzer = std::make_unique<SampleAnalyzer>(*m_services.processPlatform);
        configurePreview(QStringLiteral("default"));
        return;
    }

    if (!m_services.sampling) {
        m_ownSampling = std::make_unique<LaterExecutor>(this);
        m_services.sampling = m_ownSampling.get();
    }
    m_sampler = std::make_unique<SamplingService>(*m_services.processPlatform, *m_services.sampling);
    loadStoredSettings();
    refreshSystemStatus();
    if (!m_isMonitoring)
        setStatusMessage(QStringLiteral("观察已暂停。点击恢复后开始采样。"));

    if (m_services.notifications) {
        connect(m_services.notifications, &UserNotificationCenter::activated, this,
                [this](const QVariantMap& userInfo) {
                    const QVariant key = userInfo.value(QStringLiteral("processIdentity"));
                    openNotification(key.typeId() == QMetaType::QString ? std::optional(key.toString())
                                                                        : std::nullopt);
                    emit mainWindowRequested();
                });
    }
    if (m_services.sleepWatcher) {
        connect(m_services.sleepWatcher, &SleepWatcher::didWake, this, &AppModel::wakeEnds);
        connect(m_services.sleepWatcher, &SleepWatcher::willSleep, this, &AppModel::sleepBegins);
    }
}

AppModel::~AppModel() {
    // The worker goes first, while everything its last result could reach still exists.
    m_sampler.reset();
    m_aiTask.cancel();
}

QDateTime AppModel::now() const {
    return m_services.now ? m_services.now() : QDateTime::currentDateTimeUtc();
}

double AppModel::sinceBoot() const {
    return m_services.processPlatform->sinceBoot();
}

void AppModel::setSelectedID(const std::optional<ProcessIdentity>& identity) {
    if (!publish(m_selectedID, identity, &AppModel::selectedIDChanged))
        return;
    clearAnalysis();
    if (m_openedNotificationID != m_selectedID)
        publish(m_openedNotificationID, std::nullopt, &AppModel::openedNotificationIDChanged);
}

void AppModel::setStatusMessage(const QString& message) {
    publish(m_statusMessage, message, &AppModel::statusMessageChanged);
}

void AppModel::setOperationMessage(const std::optional<QString>& message) {
    publish(m_operationMessage, message, &AppModel::operationMessageChanged);
}

void AppModel::setResourceNavigationRequest(const QUuid& request) {
    publish(m_resourceNavigationRequest, request, &AppModel::resourceNavigationRequestChanged);
}

void AppModel::setStatusAndOperation(const QString& message) {
    setOperationMessage(message);
    setStatusMessage(message);
}

void AppModel::setProcesses(QList<ProcessSample> processes) {
    setSample(&SampleState::processes, std::move(processes));
}

void AppModel::setFindings(QList<Finding> findings) {
    setSample(&SampleState::findings, std::move(findings));
}

QList<ProcessSample> AppModel::orderedProcesses(ProcessSort sort) const {
    return ProcessOrder().sorted(m_sample.processes, sort);
}

int AppModel::attentionCount() const {
    QSet<ProcessIdentity> flagged;
    for (const Finding& finding : m_sample.findings)
        flagged.insert(finding.sample.identity);
    const auto counted =
        std::count_if(m_sample.applicationCPUFindings.cbegin(), m_sample.applicationCPUFindings.cend(),
                      [&](const ApplicationCPUFinding& f) {
                          return std::none_of(
                              f.group.members.cbegin(), f.group.members.cend(),
                              [&](const ProcessSample& member) { return flagged.contains(member.identity); });
                      });
    return static_cast<int>(m_sample.findings.size() + m_sample.memoryObservations.size() + counted);
}

QString AppModel::systemCPUText() const {
    if (m_sample.collectionError)
        return QStringLiteral("暂不可用");
    if (!m_isMonitoring)
        return QStringLiteral("已暂停");
    return DisplayFormat::cpu(m_sample.systemCPU);
}

bool AppModel::automaticAdviceEnabled() const {
    return m_automaticAdvicePreference && m_automaticAdviceAuthorization &&
           m_automaticAdviceAuthorization->baseURL == m_aiConfiguration.baseURL &&
           m_automaticAdviceAuthorization->model == m_aiConfiguration.model;
}

AIKeyStatus AppModel::aiKeyStatus() const {
    if (m_preview)
        return m_previewAIKeyStatus;
    // Nothing is configured before a model is named (a first run holds only a preset's address):
    // the key store is not asked then.
    if (AIText::trimmed(m_aiConfiguration.model).isEmpty())
        return AIKeyStatus::missing;
    if (!m_services.keychain)
        return AIKeyStatus::unavailable;
    // Never waits for a key action on a worker (the desktop's unlock prompt may be up): meanwhile the
    // last reading of this address stands.
    if (const auto status = m_services.keychain->statusWithoutWaiting(m_aiConfiguration.baseURL)) {
        m_lastAIKeyStatus = {m_aiConfiguration.baseURL, *status};
        return *status;
    }
    return m_lastAIKeyStatus.first == m_aiConfiguration.baseURL ? m_lastAIKeyStatus.second
                                                                : AIKeyStatus::unavailable;
}

void AppModel::announceAIKeyStatus() {
    emit aiKeyStatusChanged();
}

std::optional<std::chrono::milliseconds> AppModel::samplingInterval() const {
    if (!m_timer.isActive())
        return std::nullopt;
    return std::chrono::milliseconds(m_timer.interval());
}

} // namespace lunorvale
