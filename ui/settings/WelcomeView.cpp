#include "ui/settings/WelcomeView.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/settings/GuideStep.h"
#include "ui/settings/PrivacyView.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsSheets.h"
#include "ui/settings/SoftwareUpdateLogic.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

namespace lunorvale {

WelcomeView::WelcomeView(AppModel& model, std::function<void()> onComplete, QWidget* parent)
    : QWidget(parent), m_model(model), m_onComplete(std::move(onComplete)) {
    QVBoxLayout* column = sheetColumn(this, sheetSize);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(30, 30, 30, 30);
    header->setSpacing(17);
    auto* tile = new QWidget;
    tile->setFixedSize(63, 63);
    auto* tileLayout = new QVBoxLayout(tile);
    tileLayout->setContentsMargins(0, 0, 0, 0);
    tileLayout->addWidget(new LVSymbolView(LVSymbol("waveform.path.ecg"), 31, Palette::accent, tile), 0,
                          Qt::AlignCenter);
    header->addWidget(lunorCard(tile), 0, Qt::AlignTop);
    auto* titles = new QVBoxLayout;
    titles->setContentsMargins(0, 4, 0, 0);
    titles->setSpacing(8);
    titles->addWidget(new LVText(QStringLiteral("欢迎使用岚栖"), Fonts::system(25, FontWeight::semibold),
                                 Palette::ink, this));
    titles->addWidget(new LVText(QStringLiteral("后台任务有变化，你可以更早知道。"), Fonts::system(13),
                                 Palette::muted, this));
    titles->addStretch(1);
    header->addLayout(titles, 1);
    auto* badge = new QWidget;
    auto* badgeLayout = new QVBoxLayout(badge);
    badgeLayout->setContentsMargins(10, 6, 10, 6);
    badgeLayout->addWidget(new LVText(BundleVersion::current().text(), Fonts::system(11, FontWeight::medium),
                                      Palette::muted, badge));
    header->addWidget(lunorCard(badge), 0, Qt::AlignTop);
    column->addLayout(header);

    auto* body = new QWidget;
    auto* bodyColumn = new QVBoxLayout(body);
    bodyColumn->setContentsMargins(30, 0, 30, 0);
    bodyColumn->setSpacing(0);
    auto* guide = new QWidget;
    auto* steps = new QVBoxLayout(guide);
    steps->setContentsMargins(24, 24, 24, 24);
    steps->setSpacing(23);
    steps->addWidget(new GuideStep(
        QStringLiteral("1"), QStringLiteral("在本机安静观察"),
        QStringLiteral("岚栖定期读取当前用户的进程。当 CPU 持续超过规则时，才把任务放到“需关注”。"), guide));
    steps->addWidget(new GuideStep(
        QStringLiteral("2"), QStringLiteral("留在系统托盘，随时查看"),
        QStringLiteral("关闭窗口后仍可继续观察。你可以暂停观察、开启异常通知，也可以完全退出应用。"), guide));
    steps->addWidget(new GuideStep(
        QStringLiteral("3"), QStringLiteral("AI 可选，操作由你决定"),
        QStringLiteral("AI 服务需要手动配置。每次发送前先查看摘要；请求退出或强制结束进程，都需要你确认。"),
        guide));
    bodyColumn->addWidget(card(guide));
    bodyColumn->addSpacing(22);

    auto* reminder = new QWidget;
    bodyColumn->addWidget(lunorCard(reminder));
    bodyColumn->addSpacing(24);
    bodyColumn->addStretch(1);
    QScrollArea* scroll = scrollingBody(body, this);
    auto* reminderRow = new QHBoxLayout(reminder);
    reminderRow->setContentsMargins(18, 18, 18, 18);
    reminderRow->setSpacing(12);
    reminderRow->addWidget(new LVSymbolView(LVSymbol("bell.badge"), 20, Palette::accent, reminder));
    auto* question = new QVBoxLayout;
    question->setSpacing(5);
    question->addWidget(new LVText(QStringLiteral("希望后台发现异常时收到提醒？"),
                                   Fonts::system(12, FontWeight::semibold), Palette::ink, reminder));
    m_hint = new LVText({}, Fonts::system(11), Palette::muted, reminder);
    question->addWidget(m_hint);
    reminderRow->addLayout(question, 1);
    m_reminder = new LVButton(LVButtonKind::secondary, {}, reminder);
    reminderRow->addWidget(m_reminder);
    column->addWidget(scroll, 1);
    column->addWidget(new LVRule({}, 1.0, this));

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(30, 21, 30, 21);
    m_privacy = settingsButton(LVButtonKind::lunor, QStringLiteral("隐私与数据说明"), this);
    footer->addWidget(m_privacy);
    footer->addStretch(1);
    m_start = settingsButton(LVButtonKind::primary, QStringLiteral("开始使用"), this);
    footer->addWidget(m_start);
    column->addLayout(footer);

    connect(m_reminder, &QAbstractButton::clicked, this, [this] { m_model.enableNotifications(); });
    connect(m_privacy, &QAbstractButton::clicked, this, [this] {
        if (!m_privacySheet)
            m_privacySheet = SheetDialog::present(this, new PrivacyView, true);
    });
    connect(m_start, &QAbstractButton::clicked, this, &WelcomeView::start);
    connect(&model, &AppModel::settingsChanged, this, &WelcomeView::refresh);
    connect(&model, &AppModel::notificationStatusChanged, this, &WelcomeView::refresh);
    refresh();
}

void WelcomeView::refresh() {
    const bool on = m_model.settings().notificationsEnabled;
    m_hint->setText(on ? m_model.notificationStatus()
                       : QStringLiteral("可以现在开启，也可以稍后到设置中开启。"));
    const QString label = on ? QStringLiteral("已开启提醒") : QStringLiteral("开启异常通知");
    if (m_reminder->text() != label) {
        m_reminder->setText(label);
        m_reminder->setAccessibleName(label);
        m_reminder->updateGeometry();
    }
    const bool enabled = !m_model.isPreview() && !on;
    // A button that turns off loses its focus to whatever Qt finds next, possibly outside the sheet,
    // where Return would no longer start: the focus goes to "开始使用" first.
    if (!enabled && window()->focusWidget() == m_reminder)
        m_start->setFocus(Qt::OtherFocusReason);
    m_reminder->setEnabled(enabled);
}

void WelcomeView::start() {
    m_model.completeOnboarding();
    if (m_onComplete)
        m_onComplete();
}

void WelcomeView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (window() != this)
        window()->installEventFilter(this);
    if (!event->spontaneous())
        m_model.refreshSystemStatus();
}

bool WelcomeView::eventFilter(QObject* watched, QEvent* event) {
    // The sheet's presenter closes it by hiding it, after "开始使用"; a close request from the window
    // manager, or Escape reaching the dialog, is refused.
    if (watched == window() && event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    if (watched == window() && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        return true;
    return QWidget::eventFilter(watched, event);
}

void WelcomeView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        start();
        return;
    case Qt::Key_Escape:
        // No way out but the start button: the sheet stays.
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace lunorvale
