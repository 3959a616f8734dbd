#pragma once

#include <QWidget>

namespace lunorvale {

class LVButton;
class SettingsSwitch;
class SettingsView;
class SystemStatusLine;

// Reminders and launch at login: two switches that show the model's values (a switch the model does
// not follow snaps back), what the desktop says about each, and the ways to the desktop's settings.
class NotificationsPanel final : public QWidget {
    Q_OBJECT
public:
    NotificationsPanel(SettingsView& view, QWidget* parent);
    void refresh();

    SettingsSwitch* remindersSwitch() const { return m_reminders; }
    SystemStatusLine* notificationStatus() const { return m_notificationStatus; }
    LVButton* openSettingsButton() const { return m_openSettings; }
    SettingsSwitch* loginSwitch() const { return m_login; }
    SystemStatusLine* loginStatus() const { return m_loginStatus; }

private:
    SettingsView& m_view;
    SettingsSwitch* m_reminders;
    SystemStatusLine* m_notificationStatus;
    LVButton* m_openSettings;
    LVButton* m_refresh;
    SettingsSwitch* m_login;
    SystemStatusLine* m_loginStatus;
    LVButton* m_manageLogin;
};

} // namespace lunorvale
