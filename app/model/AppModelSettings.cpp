// What the model keeps across launches: the stored settings, the login item and reminder permission,
// the mutes and the model's side of the activity history.
#include "app/model/AppModel.h"

#include "app/ports/LoginItem.h"
#include "app/ports/UserNotificationCenter.h"
#include "core/ai/AIChatExchange.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIText.h"
#include "core/ai/KeychainStore.h"
#include "core/common/ErrorCause.h"
#include "core/common/JsonWriter.h"
#include "core/common/SafeText.h"
#include "core/monitoring/MonitorError.h"
#include "core/monitoring/MutedProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <algorithm>
#include <cmath>

namespace lunorvale {
namespace {

QString rulesSentence() {
    return QStringLiteral("请检查观察规则：采样间隔 ") + MonitorSettings::intervalLimits.rangeText() +
           QStringLiteral(" 秒，CPU 阈值 ") + MonitorSettings::thresholdLimits.rangeText() +
           QStringLiteral("%，持续时间 ") + MonitorSettings::durationLimits.rangeText() +
           QStringLiteral(" 秒。");
}
// Said instead of a success when the settings file could not be written: the change holds for this
// run only, and the next start reads the file as it was, or, where a damaged one was set aside and
// nothing replaced it, starts from the defaults.
QString notStoredSentence(const SettingsStore& store) {
    // What it means, then why, where the system said.
    return ErrorCause::withCause(
        store.isSetAsideFileUnreplaced()
            ? QStringLiteral("设置已生效，但未能写入配置文件，重新打开岚栖后会使用默认设置。")
            : QStringLiteral("设置已生效，但未能写入配置文件，重新打开岚栖后会恢复原值。"),
        store.lastErrorNumber());
}

// What the start says of a settings file it cannot read: which, why where that is known, and that what
// is shown is not the user's.
QString unreadableSentence(const SettingsStore& store) {
    const QString file = QStringLiteral("无法读取配置文件 ") + SafeText::verbatim(store.path());
    const std::optional<FileRefusal> refusal = store.unreadableRefusal();
    const int errorNumber = store.unreadableErrorNumber();
    const QString cause = refusal            ? ErrorCause::sentence(*refusal)
                          : errorNumber != 0 ? ErrorCause::sentence(errorNumber)
                                             : QString();
    return (cause.isEmpty() ? file + QStringLiteral("，") : file + QStringLiteral("。") + cause) +
           QStringLiteral("当前显示的外观、观察规则等是默认设置，不是你保存的设置。"
                          "文件会保持原样；在它能读取之前，更改只在本次运行中生效。");
}

std::optional<AIConfiguration> storedConfiguration(const std::optional<QJsonValue>& value) {
    if (!value || !value->isObject())
        return std::nullopt;
    return AIConfiguration::fromJson(value->toObject());
}

QString permissionText(NotificationAuthorization authorization) {
    switch (authorization) {
    case NotificationAuthorization::notDetermined:
        return QStringLiteral("尚未请求权限");
    case NotificationAuthorization::denied:
        return QStringLiteral("系统已关闭");
    case NotificationAuthorization::authorized:
        return QStringLiteral("系统已允许");
    }
    return QStringLiteral("状态未知");
}

QString normalizedAppearance(const QString& appearance) {
    return appearance == u"light" || appearance == u"dark" ? appearance : QStringLiteral("system");
}

} // namespace

bool AppModel::store(const QString& key, const QJsonValue& value) {
    return !m_services.settingsStore || m_services.settingsStore->setValue(key, value);
}

void AppModel::announceSetAsideCopy() {
    // Said in the banner, where the sentence of a change that set the file aside does not replace it.
    SettingsStore& store = *m_services.settingsStore;
    const std::optional<QString> copy = store.takeSetAsideCopy();
    if (!copy)
        return;
    const QString named = QStringLiteral("配置文件已损坏。原文件已保留为 ") + SafeText::verbatim(*copy);
    if (!store.isSetAsideFileUnreplaced())
        setStatusAndOperation(named + QStringLiteral("，之后的设置会写入新的配置文件。"));
    else
        setStatusAndOperation(named + QStringLiteral("，但新的配置文件未能写入：") +
                              ErrorCause::sentence(store.lastErrorNumber()) +
                              QStringLiteral("在它能写入之前，更改只在本次运行中生效，重新打开岚栖后会使用"
                                             "默认设置。"));
}

void AppModel::storeBudget(const QList<QDateTime>& attempts) {
    QJsonArray array;
    for (const QDateTime& attempt : attempts)
        array.append(static_cast<double>(attempt.toMSecsSinceEpoch()) / 1000.0);
    store(Keys::automaticAdviceAttempts, array);
}

void AppModel::loadStoredSettings() {
    if (!m_services.settingsStore)
        return;
    const SettingsStore& stored = *m_services.settingsStore;
    // Whatever the file holds is not shown: the start says so once, each change that it is not stored.
    if (stored.isUnreadable())
        setStatusAndOperation(unreadableSentence(stored));
    if (const auto value = stored.value(Keys::monitorSettings); value && value->isObject()) {
        if (const auto rules = MonitorSettings::fromJson(value->toObject()))
            publish(m_settings, *rules, &AppModel::settingsChanged);
    }
    if (const auto configuration = storedConfiguration(stored.value(Keys::aiConfiguration)))
        publish(m_aiConfiguration, *configuration, &AppModel::aiConfigurationChanged);
    publish(m_automaticAdvicePreference, stored.boolValue(Keys::automaticAdvicePreference).value_or(true),
            &AppModel::automaticAdvicePreferenceChanged);
    // Consent names one address and model; it is not carried over to another.
    if (const auto consent = storedConfiguration(stored.value(Keys::automaticAdviceAuthorization));
        consent && *consent == m_aiConfiguration)
        publish(m_automaticAdviceAuthorization, consent, &AppModel::automaticAdviceAuthorizationChanged);
    m_appliedSettings = m_settings;
    if (const auto monitoring = stored.boolValue(Keys::monitoringEnabled))
        publish(m_isMonitoring, *monitoring, &AppModel::isMonitoringChanged);
    publish(m_appearance, normalizedAppearance(stored.stringValue(Keys::appearance).value_or(QString())),
            &AppModel::appearanceChanged);
    publish(m_hasCompletedOnboarding, stored.boolValue(Keys::hasCompletedOnboarding).value_or(false),
            &AppModel::hasCompletedOnboardingChanged);

    if (const auto value = stored.value(Keys::mutedProcesses); value && value->isArray()) {
        QList<MutedProcess> mutes;
        bool readable = true;
        for (const QJsonValue& element : value->toArray()) {
            const auto mute = MutedProcess::fromJson(element);
            readable = readable && mute.has_value();
            if (mute)
                mutes.append(*mute);
        }
        if (readable) {
            for (const MutedProcess& mute : MutedProcess::active(mutes, now(), std::nullopt))
                m_ignoredUntil.insert(mute.identity, mute.expiresAt);
        }
    }

    try {
        m_historyStore = historyStoreOrThrow();
        const QDateTime current = now();
        setHistory(m_historyStore->load(current), current);
        setSavedHistoryCount(m_storedHistory.size());
    } catch (const HistoryStorageError& error) {
        // A file that cannot be read is never replaced by what this run records.
        publish(m_historyStorageError, std::optional(error.errorDescription()),
                &AppModel::historyStorageErrorChanged);
        m_mayReplaceHistoryFile = false;
    }
    // The file in its current form. One that was read loses nothing when this fails (a full disk at
    // login): like any failed write, the next sample, change or end tries again, with what was read
    // beside it.
    persistHistory();
    // A change that ended an earlier run may have set a damaged file aside without anyone told.
    announceSetAsideCopy();
}

void AppModel::applySettings() {
    MonitorSettings clamped = m_settings;
    clamped.sampleInterval = m_settings.safeInterval();
    clamped.cpuThreshold = m_settings.safeThreshold();
    clamped.sustainedSeconds = m_settings.safeDuration();
    try {
        saveMonitorSettings(clamped);
    } catch (const MonitorError& error) {
        setStatusMessage(QStringLiteral("设置未保存：") + error.errorDescription());
    }
}

bool AppModel::saveMonitorSettings(const MonitorSettings& rules) {
    if (!MonitorSettings::intervalLimits.admits(rules.sampleInterval) ||
        !MonitorSettings::thresholdLimits.admits(rules.cpuThreshold) ||
        !MonitorSettings::durationLimits.admits(rules.sustainedSeconds))
        throw MonitorError::action(rulesSentence());

    const bool rulesChanged = rules.sampleInterval != m_appliedSettings.sampleInterval ||
                              rules.cpuThreshold != m_appliedSettings.cpuThreshold ||
                              rules.sustainedSeconds != m_appliedSettings.sustainedSeconds;
    const bool remindersChanged = rules.notificationsEnabled != m_appliedSettings.notificationsEnabled;
    const bool stored = store(Keys::monitorSettings, rules.toJson());
    publish(m_settings, rules, &AppModel::settingsChanged);
    m_appliedSettings = rules;
    if (remindersChanged)
        clearDeliveredProcessNotifications();
    if (rulesChanged) {
        resetObservation();
        armTimer();
        if (m_isMonitoring)
            sampleNow();
    }
    if (!stored)
        setStatusMessage(notStoredSentence(*m_services.settingsStore));
    else if (rulesChanged)
        setStatusMessage(QStringLiteral("观察规则已保存，持续时长将从新的采样基线重新累计。"));
    else
        setStatusMessage(QStringLiteral("设置已保存。"));
    return stored;
}

bool AppModel::saveAIConfiguration(const AIConfiguration& configuration, const std::optional<QString>& apiKey,
                                   std::optional<bool> automaticAdvice) {
    const bool wish = automaticAdvice.value_or(m_automaticAdvicePreference);
    const QString address = configuration.validatedBaseURLText();
    const QString model = AIText::trimmed(configuration.model);
    if (model.isEmpty() || AIText::characterCount(model) > AIChatExchange::maximumModelCharacters ||
        AIText::containsControlCharacter(model))
        throw AIServiceError(AIServiceError::Kind::missingModel);
    const AIConfiguration normalized{address, model};

    const bool keyGiven = apiKey && !AIText::trimmed(*apiKey).isEmpty();
    if (keyGiven) {
        if (!m_services.keychain)
            throw AIServiceError(AIServiceError::Kind::keychain);
        m_services.keychain->save(*apiKey, normalized.baseURL);
    }
    if (m_aiConfiguration != normalized)
        clearAnalysis();

    bool stored = store(Keys::aiConfiguration, normalized.toJson());
    publish(m_aiConfiguration, normalized, &AppModel::aiConfigurationChanged);
    setStatusMessage(QStringLiteral("AI 设置已保存。"));
    publish(m_automaticAdvicePreference, wish, &AppModel::automaticAdvicePreferenceChanged);
    stored = store(Keys::automaticAdvicePreference, wish) && stored;
    publish(m_automaticAdviceAuthorization, wish ? std::optional(normalized) : std::nullopt,
            &AppModel::automaticAdviceAuthorizationChanged);
    stored = store(Keys::automaticAdviceAuthorization,
                   wish ? QJsonValue(normalized.toJson()) : QJsonValue(QJsonValue::Undefined)) &&
             stored;
    if (!stored)
        setStatusMessage(notStoredSentence(*m_services.settingsStore));

    if (keyGiven)
        m_automaticAdvice->retryFailedRequests(false);
    m_automaticAdvice->refresh({}, std::nullopt);
    if (wish && m_isMonitoring && !m_suspended && !m_sample.collectionError)
        m_automaticAdvice->refresh(m_sample.findings, normalized);
    return stored;
}

bool AppModel::disableAutomaticAdvice() {
    publish(m_automaticAdvicePreference, false, &AppModel::automaticAdvicePreferenceChanged);
    publish(m_automaticAdviceAuthorization, std::nullopt, &AppModel::automaticAdviceAuthorizationChanged);
    m_automaticAdvice->refresh({}, std::nullopt);
    const bool stored = store(Keys::automaticAdvicePreference, false);
    return storedOrSaid(store(Keys::automaticAdviceAuthorization, QJsonValue(QJsonValue::Undefined)) &&
                        stored);
}

bool AppModel::setAppearance(const QString& appearance) {
    const QString value = normalizedAppearance(appearance);
    publish(m_appearance, value, &AppModel::appearanceChanged);
    return storedOrSaid(store(Keys::appearance, value));
}

bool AppModel::completeOnboarding() {
    publish(m_hasCompletedOnboarding, true, &AppModel::hasCompletedOnboardingChanged);
    return storedOrSaid(store(Keys::hasCompletedOnboarding, true));
}

bool AppModel::storedOrSaid(bool stored) {
    if (!stored)
        setStatusMessage(notStoredSentence(*m_services.settingsStore));
    return stored;
}

void AppModel::refreshSystemStatus() {
    // A screenshot shows the statuses of its scenario.
    if (m_preview)
        return;
    const QUuid request = QUuid::createUuid();
    m_systemStatusRequestID = request;
    const LoginItemStatus login =
        m_services.loginItem ? m_services.loginItem->status() : LoginItemStatus::unknown;
    publish(m_loginEnabled, login == LoginItemStatus::enabled, &AppModel::loginEnabledChanged);
    publish(m_loginState, login, &AppModel::loginStatusChanged);
    if (!m_services.notifications) {
        publish(m_notificationStatus, QStringLiteral("状态未知"), &AppModel::notificationStatusChanged);
        return;
    }
    const QPointer<AppModel> self(this);
    m_services.notifications->authorizationStatus([self, request](NotificationAuthorization authorization) {
        if (self && self->m_systemStatusRequestID == request)
            self->publish(self->m_notificationStatus, permissionText(authorization),
                          &AppModel::notificationStatusChanged);
    });
}

void AppModel::enableNotifications() {
    if (!m_services.notifications)
        return;
    const QPointer<AppModel> self(this);
    m_services.notifications->requestAuthorization([self](bool granted, const std::optional<QString>& error) {
        if (!self)
            return;
        MonitorSettings rules = self->m_settings;
        rules.notificationsEnabled = granted;
        self->publish(self->m_settings, rules, &AppModel::settingsChanged);
        self->applySettings();
        self->refreshSystemStatus();
        QString message =
            granted ? QStringLiteral("系统通知已开启。持续异常时会提醒。")
                    : QStringLiteral("通知权限未开启。仍可在应用里查看异常；可到桌面的通知设置中开启。");
        if (error)
            message += u' ' + *error;
        self->setStatusMessage(message);
    });
}

void AppModel::setLoginEnabled(bool enabled) {
    const auto statusNow = [this] {
        return m_services.loginItem ? m_services.loginItem->status() : LoginItemStatus::unknown;
    };
    try {
        if (!m_services.loginItem)
            throw LoginItemError(QStringLiteral("这个环境不支持登录时启动。"));
        if (enabled)
            m_services.loginItem->registerItem();
        else
            m_services.loginItem->unregisterItem();
        publish(m_loginEnabled, statusNow() == LoginItemStatus::enabled, &AppModel::loginEnabledChanged);
        if (m_loginEnabled)
            setStatusMessage(QStringLiteral("已开启登录时启动。"));
        else if (enabled)
            setStatusMessage(QStringLiteral("请到桌面的“自动启动”设置中允许 Lunorvale。"));
        else
            setStatusMessage(QStringLiteral("已关闭登录时启动。"));
    } catch (const LoginItemError& error) {
        publish(m_loginEnabled, statusNow() == LoginItemStatus::enabled, &AppModel::loginEnabledChanged);
        setStatusMessage(QStringLiteral("登录启动设置失败：") + error.errorDescription());
    }
    refreshSystemStatus();
}

void AppModel::persistMutedProcesses() {
    QList<MutedProcess> mutes;
    for (auto it = m_ignoredUntil.cbegin(); it != m_ignoredUntil.cend(); ++it)
        mutes.append(MutedProcess{it.key(), it.value()});
    JsonValue array = JsonValue::array();
    for (const MutedProcess& mute : MutedProcess::active(mutes, now(), std::nullopt))
        array.append(mute.toJson());
    const QString notStored = QStringLiteral("暂时忽略未保存，应用重启后可能再次提醒。");
    try {
        if (!store(Keys::mutedProcesses, QJsonDocument::fromJson(JsonWriter::write(array)).array()))
            setStatusMessage(ErrorCause::withCause(notStored, m_services.settingsStore->lastErrorNumber()));
    } catch (const JsonWriteError&) {
        setStatusMessage(notStored);
    }
}

LocalHistoryStore AppModel::historyStoreOrThrow() {
    if (m_historyStore)
        return *m_historyStore;
    return m_services.historyStore ? m_services.historyStore() : LocalHistoryStore::inMemory();
}

void AppModel::setHistory(QList<ActivityEvent> stored, const QDateTime& now) {
    const bool heldBefore = holdsHistory();
    m_storedHistory = std::move(stored);
    // Events dated ahead come and go unseen; whether any is held still decides the clear controls.
    if (!publish(m_history, LocalHistoryStore::retained(m_storedHistory, now), &AppModel::historyChanged) &&
        heldBefore != holdsHistory())
        emit historyChanged();
}

void AppModel::setSavedHistoryCount(qsizetype count) {
    if (std::exchange(m_savedHistoryCount, count) != count)
        emit historyChanged();
}

bool AppModel::canClearHistory() const {
    return !m_preview && (holdsHistory() || m_historyStorageError.has_value());
}

void AppModel::record(const QString& title, const QString& detail, const QString& category) {
    const QDateTime current = now();
    QList<ActivityEvent> events = m_storedHistory;
    events.prepend(ActivityEvent{QUuid::createUuid(), StoredDate::from(current), title, detail, category});
    setHistory(LocalHistoryStore::stored(events, current), current);
    persistHistory();
}

void AppModel::pruneHistory() {
    const QDateTime current = now();
    const auto sameIDs = [](const QList<ActivityEvent>& a, const QList<ActivityEvent>& b) {
        return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                          [](const ActivityEvent& x, const ActivityEvent& y) { return x.id == y.id; });
    };
    QList<ActivityEvent> stored = LocalHistoryStore::stored(m_storedHistory, current);
    const bool storedChanged = !sameIDs(stored, m_storedHistory);
    // An event dated ahead shows once the clock reaches it, without a save.
    if (storedChanged || !sameIDs(LocalHistoryStore::retained(stored, current), m_history))
        setHistory(std::move(stored), current);
    if (storedChanged)
        persistHistory();
}

void AppModel::persistHistory() {
    if (!m_mayReplaceHistoryFile)
        return;
    try {
        const LocalHistoryStore store = historyStoreOrThrow();
        const QDateTime current = now();
        QList<ActivityEvent> written = store.save(m_storedHistory, current);
        m_historyStore = store;
        // A history over the file's size limit lost its earliest events: what is shown, counted and
        // exported is what the file holds.
        if (written.size() != m_storedHistory.size())
            setHistory(std::move(written), current);
        setSavedHistoryCount(m_storedHistory.size());
        m_historyWriteFailed = false;
        publish(m_historyStorageError, std::nullopt, &AppModel::historyStorageErrorChanged);
    } catch (const HistoryStorageError& error) {
        m_historyWriteFailed = true;
        publish(m_historyStorageError, std::optional(error.errorDescription()),
                &AppModel::historyStorageErrorChanged);
    }
}

void AppModel::applicationWillTerminate() {
    if (m_historyWriteFailed && !m_preview)
        persistHistory();
}

void AppModel::clearHistory() {
    try {
        const LocalHistoryStore store = historyStoreOrThrow();
        store.save({}, now());
        m_historyStore = store;
        m_mayReplaceHistoryFile = true;
        m_historyWriteFailed = false;
        setHistory({}, now());
        setSavedHistoryCount(0);
        publish(m_historyStorageError, std::nullopt, &AppModel::historyStorageErrorChanged);
        setStatusMessage(QStringLiteral("本地历史记录已清空。"));
    } catch (const HistoryStorageError& error) {
        publish(m_historyStorageError, std::optional(error.errorDescription()),
                &AppModel::historyStorageErrorChanged);
        setStatusMessage(QStringLiteral("历史记录未清空：") + error.errorDescription());
    }
}

} // namespace lunorvale
