#include "ui/settings/NotificationsPanel.h"

#include "app/model/AppModel.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/SectionHeading.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsRows.h"
#include "ui/settings/SettingsView.h"

#include <QHBoxLayout>

namespace lunorvale {

NotificationsPanel::NotificationsPanel(SettingsView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    QVBoxLayout* column = panelCard(this, 23);
    QWidget* host = column->parentWidget();
    column->addWidget(new SectionHeading(QStringLiteral("让提醒适时出现"),
                                         QStringLiteral("岚栖可以留在系统托盘，在持续异常时通知你。"),
                                         LVSymbol("bell.badge"), host));
    m_reminders = new SettingsSwitch(QStringLiteral("异常通知"), host);
    column->addWidget(settingRow(QStringLiteral("异常通知"),
                                 QStringLiteral("点击通知，可回到对应任务查看依据。"), m_reminders, host));
    m_notificationStatus = new SystemStatusLine(QStringLiteral("系统通知权限"), LVSymbol("bell"), host);
    column->addWidget(m_notificationStatus);
    auto* buttons = new QHBoxLayout;
    m_openSettings = settingsButton(LVButtonKind::secondary, QStringLiteral("打开通知设置"), host);
    m_refresh = settingsButton(LVButtonKind::lunor, QStringLiteral("刷新状态"), host);
    buttons->addWidget(m_openSettings);
    buttons->addStretch(1);
    buttons->addWidget(m_refresh);
    column->addLayout(buttons);
    column->addWidget(new LVRule({}, 1.0, host));
    m_login = new SettingsSwitch(QStringLiteral("登录时启动"), host);
    column->addWidget(
        settingRow(QStringLiteral("登录时启动"), QStringLiteral("登录后自动开始观察。"), m_login, host));
    m_loginStatus = new SystemStatusLine(QStringLiteral("自动启动状态"), LVSymbol("power"), host);
    column->addWidget(m_loginStatus);
    m_manageLogin = settingsButton(LVButtonKind::secondary, QStringLiteral("管理自动启动项"), host);
    column->addWidget(m_manageLogin, 0, Qt::AlignLeft);

    connect(m_reminders, &SettingsSwitch::flipRequested, this, [this](bool on) { m_view.setReminders(on); });
    connect(m_login, &SettingsSwitch::flipRequested, this, [this](bool on) { m_view.setLoginEnabled(on); });
    connect(m_openSettings, &QAbstractButton::clicked, this, [this] { m_view.openNotificationSettings(); });
    connect(m_refresh, &QAbstractButton::clicked, this, [this] { m_view.refreshSystemStatus(); });
    connect(m_manageLogin, &QAbstractButton::clicked, this, [this] { m_view.manageLoginItems(); });
}

void NotificationsPanel::refresh() {
    const AppModel& model = m_view.model();
    m_reminders->setOn(model.settings().notificationsEnabled);
    m_notificationStatus->setValue(model.notificationStatus());
    // A registration waiting for the user's approval shows as on.
    m_login->setOn(model.loginEnabled() || model.loginState() == LoginItemStatus::requiresApproval);
    m_loginStatus->setValue(model.loginStatus());
    const bool preview = model.isPreview();
    for (LVButton* button : {m_openSettings, m_refresh, m_manageLogin})
        button->setEnabled(!preview);
}

} // namespace lunorvale
