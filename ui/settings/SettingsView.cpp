#include "ui/settings/SettingsView.h"

#include "app/model/AppModel.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIText.h"
#include "core/ai/KeychainStore.h"
#include "core/monitoring/MonitorError.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/RefreshCoalescer.h"
#include "ui/settings/AIServicePanel.h"
#include "ui/settings/AppearancePanel.h"
#include "ui/settings/NotificationsPanel.h"
#include "ui/settings/PrivacyView.h"
#include "ui/settings/RulesPanel.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsContextPanel.h"
#include "ui/settings/SoftwareUpdateSettings.h"

#include <QFutureWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace lunorvale {

struct SettingsView::KeyOutcome {
    std::optional<QString> key;   // authorising: the key read, if one is saved
    std::optional<QString> error; // the store's sentence
};

SettingsView::SettingsView(AppModel& model, const std::optional<QString>& previewSection,
                           const std::optional<QUuid>& aiNavigationRequest, SettingsServices services,
                           QWidget* parent)
    : QWidget(parent), m_model(model), m_previewSection(previewSection),
      m_aiNavigationRequest(aiNavigationRequest), m_services(std::move(services)) {
    startEdits();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(22);
    QStringList titles;
    for (const SettingsSection section : SettingsLogic::sections)
        titles.append(SettingsLogic::title(section));
    m_picker = new LVSegmentedControl(titles, this);
    m_picker->setAccessibleName(QStringLiteral("设置分类"));
    m_picker->setMaximumWidth(620);
    auto* pickerRow = new QHBoxLayout;
    pickerRow->addWidget(m_picker);
    pickerRow->addStretch(1);
    column->addLayout(pickerRow);

    auto* content = new QWidget;
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 0, 24);
    row->setSpacing(22);
    auto* main = new QVBoxLayout;
    main->setSpacing(18);
    // Made in reading order, which is also the order Tab visits them in.
    m_rules = new RulesPanel(*this, content);
    m_notifications = new NotificationsPanel(*this, content);
    m_ai = new AIServicePanel(*this, content);
    m_appearance = new AppearancePanel(*this, content);
    m_updates = new SoftwareUpdateSettings(model.softwareUpdater(), content);
    m_updates->setOpenDownloadPage([this] { openDownloadPage(); });
    m_updates->setVersion(m_services.version);
    m_panels = {m_rules, m_notifications, m_ai, m_appearance, m_updates};
    for (QWidget* panel : m_panels)
        main->addWidget(panel);

    m_feedbackLine = new QWidget(content);
    m_feedbackLine->setObjectName(QStringLiteral("settings-feedback"));
    auto* feedback = new QHBoxLayout(m_feedbackLine);
    feedback->setContentsMargins(4, 0, 4, 0);
    feedback->setSpacing(5);
    m_feedbackSymbol = new LVSymbolView(LVSymbol("checkmark.circle"), 12, Palette::success, m_feedbackLine);
    feedback->addWidget(m_feedbackSymbol, 0, Qt::AlignTop);
    m_feedbackText = new LVSelectableText({}, Fonts::system(12), Palette::success, m_feedbackLine);
    feedback->addWidget(m_feedbackText, 1);
    // The line keeps its place while it shows nothing, so that its coming and going never moves the panel
    // or changes the scroll range (a click meant for one field would land in another).
    QSizePolicy reserved = m_feedbackLine->sizePolicy();
    reserved.setRetainSizeWhenHidden(true);
    m_feedbackLine->setSizePolicy(reserved);
    main->addWidget(m_feedbackLine);
    main->addStretch(1);
    row->addLayout(main, 1);

    m_context = new SettingsContextPanel(*this, content);
    m_context->setFixedWidth(248);
    row->addWidget(m_context, 0, Qt::AlignTop);
    m_scroll = scrollingBody(content, this);
    column->addWidget(m_scroll, 1);

    connect(m_picker, &LVSegmentedControl::currentIndexChanged, this,
            [this](int index) { setSection(SettingsLogic::sections[static_cast<size_t>(index)]); });
    m_refresh = new RefreshCoalescer(this, [this] { refresh(); });
    m_refresh->watch(&model, &AppModel::settingsChanged, &AppModel::aiConfigurationChanged,
                     &AppModel::automaticAdvicePreferenceChanged,
                     &AppModel::automaticAdviceAuthorizationChanged, &AppModel::isMonitoringChanged,
                     &AppModel::aiBusyChanged, &AppModel::loginEnabledChanged, &AppModel::loginStatusChanged,
                     &AppModel::notificationStatusChanged, &AppModel::appearanceChanged,
                     &AppModel::historyChanged, &AppModel::historyStorageErrorChanged);
    connect(&model, &AppModel::aiKeyStatusChanged, this, [this] {
        readKeyStatus();
        m_refresh->schedule();
    });
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && isVisible())
            appeared();
    });
    setSection(m_edits.section);
    m_picker->setCurrentIndex(static_cast<int>(m_edits.section));
    refresh();
}

SettingsView::~SettingsView() = default;

bool SettingsView::isPreview() const {
    return m_model.isPreview();
}

void SettingsView::startEdits() {
    const MonitorSettings& rules = m_model.settings();
    m_edits.section = SettingsLogic::firstSection(m_previewSection, m_aiNavigationRequest.has_value());
    m_edits.interval = rules.safeInterval();
    m_edits.threshold = SettingsLogic::thresholdText(rules.safeThreshold());
    m_edits.duration = rules.safeDuration();
    m_edits.ai.draft = AISettingsDraft(m_model.aiConfiguration());
    m_edits.ai.automaticAdvice = m_model.automaticAdvicePreference();
    m_edits.feedback.clear();
    m_edits.feedbackIsError = false;
    m_edits.keyRemovalEndpoint.clear();
    readSavedState();
    readKeyStatus();
}

void SettingsView::readSavedState() {
    SettingsLogic::AIForm& ai = m_edits.ai;
    ai.savedConfiguration = m_model.aiConfiguration();
    ai.savedPreference = m_model.automaticAdvicePreference();
    ai.automaticEnabled = m_model.automaticAdviceEnabled();
    ai.isMonitoring = m_model.isMonitoring();
}

void SettingsView::readKeyStatus() {
    // The store may be waiting for the desktop's unlock prompt on the worker meanwhile.
    if (!m_keyActionRunning)
        m_edits.ai.key = m_model.aiKeyStatus();
}

void SettingsView::appeared() {
    m_model.refreshSystemStatus();
    m_model.announceAIKeyStatus();
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (m_leftWhileWindowShown) {
        m_leftWhileWindowShown = false;
        if (m_aiNavigationRequestSource)
            m_aiNavigationRequest = m_aiNavigationRequestSource();
        startEdits();
        setSection(m_edits.section);
        m_picker->setCurrentIndex(static_cast<int>(m_edits.section));
        m_context->collapse();
    }
    appeared();
    refresh();
}

void SettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Another page took this one's place; a closing window hides itself before its pages.
    if (!event->spontaneous() && window()->isVisible())
        m_leftWhileWindowShown = true;
}

void SettingsView::setAINavigationRequest(const std::optional<QUuid>& request) {
    if (request == m_aiNavigationRequest)
        return;
    m_aiNavigationRequest = request;
    if (request) {
        setSection(SettingsSection::ai);
        m_picker->setCurrentIndex(static_cast<int>(SettingsSection::ai));
    }
}

void SettingsView::setAINavigationRequestSource(std::function<std::optional<QUuid>()> source) {
    m_aiNavigationRequestSource = std::move(source);
}

void SettingsView::setSection(SettingsSection section) {
    const bool changed = section != m_edits.section;
    m_edits.section = section;
    if (changed) {
        m_edits.feedback.clear();
        if (section != SettingsSection::ai)
            m_context->collapse();
        // Another section is another page: it starts at its top.
        m_scroll->verticalScrollBar()->setValue(0);
    }
    for (const SettingsSection each : SettingsLogic::sections)
        m_panels[static_cast<size_t>(each)]->setVisible(each == section);
    m_picker->setCurrentIndex(static_cast<int>(section));
    refresh();
}

void SettingsView::refresh() {
    // A control that a refresh disables or hides loses its focus to whatever Qt finds next, which may
    // be far away; the page puts it back near the control that was used.
    QWidget* focused = window()->focusWidget();
    if (!isAncestorOf(focused))
        focused = nullptr;
    const int scrolled = m_scroll->verticalScrollBar()->value();
    readSavedState();
    switch (m_edits.section) {
    case SettingsSection::rules:
        m_rules->refresh();
        break;
    case SettingsSection::notifications:
        m_notifications->refresh();
        break;
    case SettingsSection::ai:
        m_ai->refresh();
        break;
    case SettingsSection::appearance:
        m_appearance->refresh();
        break;
    case SettingsSection::updates:
        break;
    }
    m_context->refresh();
    const bool error = m_edits.feedbackIsError;
    m_feedbackLine->setVisible(!m_edits.feedback.isEmpty());
    m_feedbackSymbol->setSymbol(error ? LVSymbol("exclamationmark.circle") : LVSymbol("checkmark.circle"));
    m_feedbackSymbol->setColor(error ? Palette::danger : Palette::success);
    m_feedbackText->setColor(error ? Palette::danger : Palette::success);
    m_feedbackText->setText(m_edits.feedback);
    keepFocusNear(focused, scrolled);
    if (m_revealFeedback) {
        m_revealFeedback = false;
        revealFeedback();
    }
}

void SettingsView::keepFocusNear(QWidget* focused, int scrolled) {
    const auto usable = [this](const QWidget* widget) {
        return widget && widget->isEnabled() && widget->isVisibleTo(this) &&
               (widget->focusPolicy() & Qt::TabFocus);
    };
    // Back to the control that was used, once it can take focus again and nothing else was chosen since.
    if (m_focusAnchor && window()->focusWidget() == m_focusSubstitute && usable(m_focusAnchor))
        m_focusAnchor->setFocus(Qt::OtherFocusReason);
    if (window()->focusWidget() != m_focusSubstitute)
        m_focusAnchor = m_focusSubstitute = nullptr;
    if (!focused || usable(focused))
        return;

    // The nearest control after it in the same panel, else the nearest before it.
    QWidget* area =
        m_context->isAncestorOf(focused) ? static_cast<QWidget*>(m_context) : panel(m_edits.section);
    if (!area->isAncestorOf(focused))
        area = this;
    QList<QWidget*> order;
    for (QWidget* widget = area->nextInFocusChain(); widget != area; widget = widget->nextInFocusChain()) {
        if (area->isAncestorOf(widget))
            order.append(widget);
    }
    const qsizetype at = order.indexOf(focused);
    if (at < 0)
        return;
    QWidget* near = nullptr;
    for (qsizetype i = at + 1; i < order.size() && !near; ++i)
        near = usable(order[i]) ? order[i] : nullptr;
    for (qsizetype i = at - 1; i >= 0 && !near; --i)
        near = usable(order[i]) ? order[i] : nullptr;
    if (!near)
        return;
    near->setFocus(Qt::OtherFocusReason);
    m_scroll->verticalScrollBar()->setValue(scrolled);
    m_focusAnchor = focused;
    m_focusSubstitute = near;
}

void SettingsView::revealFeedback() {
    if (m_edits.feedback.isEmpty() || !isVisible())
        return;
    // The line may have only just appeared: the page is laid out and the scroll area takes the new
    // height now, so that the line is found where it will be drawn.
    m_scroll->widget()->layout()->activate();
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(m_scroll, &request);
    m_scroll->ensureWidgetVisible(m_feedbackLine, 0, 24);
}

void SettingsView::report(const QString& text, bool isError) {
    m_edits.feedback = text;
    m_edits.feedbackIsError = isError;
    m_revealFeedback = true;
}

void SettingsView::setFeedback(const QString& text, bool isError) {
    report(text, isError);
    refresh();
}

// --- Observation rules ---

void SettingsView::setInterval(double seconds) {
    m_edits.interval = seconds;
    refresh();
}

void SettingsView::setThreshold(const QString& text) {
    m_edits.threshold = text;
    refresh();
}

void SettingsView::setDuration(double seconds) {
    m_edits.duration = seconds;
    refresh();
}

void SettingsView::saveRules() {
    if (const auto error =
            SettingsLogic::rulesValidationError(m_edits.interval, m_edits.threshold, m_edits.duration)) {
        setFeedback(*error, true);
        return;
    }
    const auto rules = SettingsLogic::rulesToSave(m_edits.interval, m_edits.threshold, m_edits.duration,
                                                  m_model.settings().notificationsEnabled);
    if (!rules)
        return;
    try {
        // Rules that hold for this run only are not called saved: the model says why.
        if (m_model.saveMonitorSettings(*rules))
            setFeedback(QStringLiteral("观察规则已保存，持续时间从现在重新累计。"), false);
        else
            setFeedback(m_model.statusMessage(), true);
    } catch (const MonitorError& error) {
        setFeedback(error.errorDescription(), true);
    }
}

void SettingsView::restoreDefaultRules() {
    AlertText alert{
        QStringLiteral("恢复默认观察规则？"),
        QStringLiteral("将改为每 30 秒采样，CPU 达到 90% 并持续 5 分钟后提醒。已累计的观察时长会重新计算。"),
        QStringLiteral("恢复默认")};
    alert.returnConfirms = true;
    const bool confirmed = confirmAlert(m_services.presentAlert, this, alert);
    if (!confirmed)
        return;
    const MonitorSettings defaults;
    m_edits.interval = defaults.sampleInterval;
    m_edits.threshold = SettingsLogic::thresholdText(defaults.cpuThreshold);
    m_edits.duration = defaults.sustainedSeconds;
    saveRules();
    refresh();
}

// --- Reminders and login ---

void SettingsView::setReminders(bool on) {
    if (on) {
        // The model turns reminders on once the desktop allows them; the switch follows it.
        m_model.enableNotifications();
    } else {
        try {
            const bool stored = m_model.saveMonitorSettings(SettingsLogic::remindersOff(m_model.settings()));
            report(stored ? QStringLiteral("异常通知已关闭。") : m_model.statusMessage(), !stored);
        } catch (const MonitorError& error) {
            report(error.errorDescription(), true);
        }
    }
    refresh();
}

void SettingsView::openNotificationSettings() {
    if (!opener() || !opener()->openNotificationSettings())
        setFeedback(QStringLiteral("无法打开通知设置。请在桌面的通知设置中选择岚栖。"), true);
}

void SettingsView::refreshSystemStatus() {
    m_model.refreshSystemStatus();
}

void SettingsView::setLoginEnabled(bool on) {
    m_model.setLoginEnabled(on);
    refresh();
}

void SettingsView::manageLoginItems() {
    if (opener())
        opener()->openLoginItemSettings();
}

// --- AI service ---

void SettingsView::editAI(const std::function<void(SettingsEdits&)>& edit, bool clearsFeedback) {
    edit(m_edits);
    if (clearsFeedback)
        m_edits.feedback.clear();
    refresh();
}

void SettingsView::selectService(AIServicePreset preset) {
    editAI([preset](SettingsEdits& edits) { edits.ai.draft.selectService(preset); }, true);
}

void SettingsView::chooseModel(const QString& option) {
    editAI(
        [&option](SettingsEdits& edits) {
            AISettingsDraft& draft = edits.ai.draft;
            if (!option.isEmpty() && draft.service.models().contains(option)) {
                draft.configuration.model = option;
                draft.usesCustomModel = false;
            } else {
                draft.usesCustomModel = true;
            }
        },
        true);
}

void SettingsView::editBaseURL(const QString& text) {
    editAI([&text](SettingsEdits& edits) { edits.ai.draft.editBaseURL(text); }, true);
}

void SettingsView::editModel(const QString& text) {
    editAI(
        [&text](SettingsEdits& edits) {
            AISettingsDraft& draft = edits.ai.draft;
            draft.configuration.model = text;
            draft.usesCustomModel = !draft.service.models().contains(AIText::trimmed(text));
        },
        true);
}

void SettingsView::editKey(const QString& text) {
    editAI([&text](SettingsEdits& edits) { edits.ai.draft.apiKey = text; }, false);
}

void SettingsView::setAutomaticAdvice(bool on) {
    editAI([on](SettingsEdits& edits) { edits.ai.automaticAdvice = on; }, false);
}

void SettingsView::saveAI() {
    if (m_model.aiBusy() || m_keyActionRunning)
        return;
    const AIConfiguration configuration = m_edits.ai.draftConfiguration();
    if (const auto error = SettingsLogic::aiSaveError(configuration)) {
        setFeedback(*error, true);
        return;
    }
    const QString& typed = m_edits.ai.draft.apiKey;
    bool stored = true;
    try {
        stored = m_model.saveAIConfiguration(
            configuration, typed.isEmpty() ? std::nullopt : std::optional(typed), m_edits.ai.automaticAdvice);
    } catch (const AIServiceError& error) {
        setFeedback(error.errorDescription(), true);
        return;
    } catch (const MonitorError& error) {
        setFeedback(error.errorDescription(), true);
        return;
    }
    m_edits.ai.draft.configuration = m_model.aiConfiguration();
    m_edits.ai.draft.apiKey.clear();
    readSavedState();
    m_model.announceAIKeyStatus();
    if (stored)
        setFeedback(QStringLiteral("已保存。") + m_edits.ai.status().explanation(), false);
    else
        setFeedback(m_model.statusMessage(), true);
}

void SettingsView::authorizeKey() {
    if (m_model.aiBusy() || m_keyActionRunning)
        return;
    runKeyAction(false, m_model.aiConfiguration().baseURL);
}

void SettingsView::removeKeyAfterConfirmation() {
    if (m_model.aiBusy() || m_keyActionRunning)
        return;
    m_edits.keyRemovalEndpoint = m_model.aiConfiguration().baseURL;
    const bool confirmed = confirmAlert(m_services.presentAlert, this,
                                        {QStringLiteral("移除此服务的 API Key？"),
                                         QStringLiteral("将从本机密钥环移除 ") + m_edits.keyRemovalEndpoint +
                                             QStringLiteral(" 的密钥。下次使用这个服务时，需要重新填写。"),
                                         QStringLiteral("移除密钥"), true});
    // The alert waits in an event loop of its own, where an analysis may have started.
    if (!confirmed || m_model.aiBusy() || m_keyActionRunning)
        return;
    runKeyAction(true, m_edits.keyRemovalEndpoint);
}

void SettingsView::runKeyAction(bool removal, const QString& address) {
    const std::shared_ptr<CachedKeychainStore> store = m_model.keychain();
    if (!store) {
        keyActionDone(removal,
                      {std::nullopt, AIServiceError(AIServiceError::Kind::keychain).errorDescription()});
        return;
    }
    m_keyActionRunning = true;
    refresh();
    auto* watcher = new QFutureWatcher<KeyOutcome>(this);
    connect(watcher, &QFutureWatcher<KeyOutcome>::finished, this, [this, watcher, removal] {
        watcher->deleteLater();
        m_keyActionRunning = false;
        keyActionDone(removal, watcher->result());
    });
    // The store waits for the desktop's unlock prompt holding its lock: never on the interface thread.
    watcher->setFuture(QtConcurrent::run([store, address, removal] {
        KeyOutcome outcome;
        try {
            if (removal)
                store->deleteKey(address);
            else
                outcome.key = store->authorize(address);
        } catch (const AIServiceError& error) {
            outcome.error = error.errorDescription();
        }
        return outcome;
    }));
}

void SettingsView::keyActionDone(bool removal, const KeyOutcome& outcome) {
    if (removal) {
        if (outcome.error) {
            report(QStringLiteral("移除密钥失败：") + *outcome.error, true);
        } else {
            const bool stored = m_model.disableAutomaticAdvice();
            m_edits.ai.automaticAdvice = false;
            m_edits.ai.draft.apiKey.clear();
            m_model.announceAIKeyStatus();
            // The key is gone either way; automatic advice is off for this run only when not stored.
            const QString removed = QStringLiteral("已移除此服务的密钥。");
            report(stored ? removed : removed + m_model.statusMessage(), !stored);
        }
    } else if (outcome.error) {
        m_model.announceAIKeyStatus();
        report(*outcome.error, true);
    } else if (outcome.key) {
        m_model.automaticAdvice().retryFailedRequests(true);
        m_model.announceAIKeyStatus();
        report(QStringLiteral("密钥已可用。后续分析会复用本次读取结果。"), false);
    } else {
        m_model.announceAIKeyStatus();
        report(QStringLiteral("此服务没有已保存的密钥，请在上方填写。"), true);
    }
    refresh();
    emit keyActionFinished();
}

void SettingsView::cancelAnalysis() {
    m_model.clearAnalysis();
}

void SettingsView::openDocumentation() {
    const auto link = SettingsLogic::documentationLink(m_edits.ai.draft.service);
    if (link && opener())
        opener()->openURL(*link);
}

void SettingsView::openDownloadPage() {
    if (opener())
        opener()->openURL(SoftwareUpdateTexts::downloadPage());
}

// --- Appearance and data ---

void SettingsView::chooseAppearance(const QString& value) {
    if (!m_model.setAppearance(value))
        setFeedback(m_model.statusMessage(), true);
}

void SettingsView::clearHistoryAfterConfirmation() {
    if (!m_model.canClearHistory())
        return;
    const bool confirmed = confirmAlert(
        m_services.presentAlert, this,
        {QStringLiteral("清空本地操作记录？"),
         QStringLiteral("所有已保存的事件记录都会删除，此操作无法撤销。观察规则和 AI 设置会保留。"),
         QStringLiteral("清空记录"), true});
    if (!confirmed)
        return;
    m_model.clearHistory();
    if (const auto& error = m_model.historyStorageError())
        setFeedback(*error, true);
    else
        setFeedback(QStringLiteral("本地操作记录已清空。"), false);
}

void SettingsView::showPrivacy() {
    if (m_privacySheet)
        return;
    m_privacySheet = SheetDialog::present(this, new PrivacyView, true);
}

} // namespace lunorvale
