#pragma once

#include "app/ports/DesktopOpener.h"
#include "ui/kit/LVAlert.h"
#include "ui/settings/SettingsLogic.h"
#include "ui/settings/SettingsSheets.h"
#include "ui/settings/SoftwareUpdateLogic.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QScrollArea;

namespace lunorvale {

class AppModel;
class AIServicePanel;
class AppearancePanel;
class LVSegmentedControl;
class LVSelectableText;
class LVSymbolView;
class NotificationsPanel;
class RefreshCoalescer;
class RulesPanel;
class SettingsContextPanel;
class SheetDialog;
class SoftwareUpdateSettings;

// What the settings page reaches besides the model; the page makes none of it.
struct SettingsServices {
    // Null: nothing is opened.
    std::shared_ptr<DesktopOpener> opener;
    // Empty: a window-modal alert, waited for.
    AlertPresenter presentAlert;
    BundleVersion version = BundleVersion::current();
};

// The page's edits: everything the sections change before a save, and the outcome of the last action.
struct SettingsEdits {
    SettingsSection section = SettingsSection::rules;
    double interval = MonitorSettings::intervalLimits.fallback;
    QString threshold;
    double duration = MonitorSettings::durationLimits.fallback;
    // The AI form with the saved state beside it; the key status is read only when the page appears,
    // the program becomes active again, or after a save or a key action.
    SettingsLogic::AIForm ai;
    QString feedback;
    bool feedbackIsError = false;
    QString keyRemovalEndpoint;
};

// The settings page: a section picker, the chosen section's panel with the feedback line under it,
// and the side panel explaining the section. Every save goes through the model (or, for reading and
// removing a key, the model's key store on a worker thread); the page stores nothing itself.
//
// Built once and refreshed in place from the model's signals. Coming on screen again (after another
// page was shown) starts the edits afresh from the model; the widgets stay. In preview mode the
// controls that would store or reach the key store or the desktop are disabled.
class SettingsView final : public QWidget {
    Q_OBJECT
public:
    SettingsView(AppModel& model, const std::optional<QString>& previewSection,
                 const std::optional<QUuid>& aiNavigationRequest, SettingsServices services = {},
                 QWidget* parent = nullptr);
    ~SettingsView() override;

    AppModel& model() const { return m_model; }
    bool isPreview() const;
    const SettingsEdits& edits() const { return m_edits; }
    const SettingsServices& services() const { return m_services; }

    // A new request opens the AI section; none changes nothing.
    void setAINavigationRequest(const std::optional<QUuid>& request);
    // Where the page reads the latest request when it comes on screen again: a host that shows the
    // page before it announces the request that brought it there.
    void setAINavigationRequestSource(std::function<std::optional<QUuid>()> source);
    void setSection(SettingsSection section);

    // --- What the panels do ---
    void setInterval(double seconds);
    void setThreshold(const QString& text);
    void setDuration(double seconds);
    void saveRules();
    // "恢复默认": asks, then puts the default rules into the fields and saves them.
    void restoreDefaultRules();
    void setReminders(bool on);
    void openNotificationSettings();
    void refreshSystemStatus();
    void setLoginEnabled(bool on);
    void manageLoginItems();

    void selectService(AIServicePreset preset);
    // An entry of the model menu ("" is "自定义").
    void chooseModel(const QString& option);
    void editBaseURL(const QString& text);
    void editModel(const QString& text);
    void editKey(const QString& text);
    void setAutomaticAdvice(bool on);
    void saveAI();
    // Reads the saved key of the saved address (the desktop may ask to unlock), on a worker thread.
    void authorizeKey();
    // "移除密钥": asks, then removes the saved address's key on a worker thread.
    void removeKeyAfterConfirmation();
    bool keyActionRunning() const { return m_keyActionRunning; }
    void cancelAnalysis();
    void openDocumentation();
    void openDownloadPage();

    void chooseAppearance(const QString& value);
    // "清空记录": asks, then clears the history.
    void clearHistoryAfterConfirmation();
    void showPrivacy();

    // Reads the model's published state into every panel now (model changes are gathered into one
    // such refresh per pass of the event loop).
    void refresh();

    // Parts, for the page's hosts and tests.
    LVSegmentedControl* picker() const { return m_picker; }
    QWidget* panel(SettingsSection section) const { return m_panels[static_cast<size_t>(section)]; }
    RulesPanel* rulesPanel() const { return m_rules; }
    NotificationsPanel* notificationsPanel() const { return m_notifications; }
    AIServicePanel* aiPanel() const { return m_ai; }
    AppearancePanel* appearancePanel() const { return m_appearance; }
    SettingsContextPanel* contextPanel() const { return m_context; }
    QWidget* feedbackLine() const { return m_feedbackLine; }
    QScrollArea* scrollArea() const { return m_scroll; }

signals:
    // A key read or removal came back and its outcome is shown.
    void keyActionFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct KeyOutcome;

    // The edits as the model holds them now; the section as a page opening chooses it.
    void startEdits();
    // Coming on screen, or the program becoming active: the model reads the system status again and
    // the key status is read afresh.
    void appeared();
    void readKeyStatus();
    void readSavedState();
    // Sets the feedback line's text; the next refresh shows it and scrolls it into view.
    void report(const QString& text, bool isError);
    void setFeedback(const QString& text, bool isError);
    void revealFeedback();
    void keepFocusNear(QWidget* focused, int scrolled);
    void editAI(const std::function<void(SettingsEdits&)>& edit, bool clearsFeedback);
    void runKeyAction(bool removal, const QString& address);
    void keyActionDone(bool removal, const KeyOutcome& outcome);
    // Null when the page was given none.
    DesktopOpener* opener() const { return m_services.opener.get(); }

    AppModel& m_model;
    const std::optional<QString> m_previewSection;
    std::optional<QUuid> m_aiNavigationRequest;
    std::function<std::optional<QUuid>()> m_aiNavigationRequestSource;
    SettingsServices m_services;
    SettingsEdits m_edits;
    RefreshCoalescer* m_refresh = nullptr;
    bool m_keyActionRunning = false;
    bool m_leftWhileWindowShown = false;
    bool m_revealFeedback = false;
    // The control that lost its focus in a refresh, and the one near it that took the focus meanwhile.
    QPointer<QWidget> m_focusAnchor;
    QPointer<QWidget> m_focusSubstitute;

    LVSegmentedControl* m_picker;
    QScrollArea* m_scroll;
    RulesPanel* m_rules;
    NotificationsPanel* m_notifications;
    AIServicePanel* m_ai;
    AppearancePanel* m_appearance;
    SoftwareUpdateSettings* m_updates;
    std::array<QWidget*, 5> m_panels{};
    QWidget* m_feedbackLine;
    LVSymbolView* m_feedbackSymbol;
    LVSelectableText* m_feedbackText;
    SettingsContextPanel* m_context;
    QPointer<SheetDialog> m_privacySheet;
};

} // namespace lunorvale
