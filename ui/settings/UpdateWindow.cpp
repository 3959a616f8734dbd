#include "ui/settings/UpdateWindow.h"

#include "ui/kit/FocusRing.h"
#include "ui/kit/LVButton.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

namespace lunorvale {

UpdateWindow::UpdateWindow(std::function<QWidget*()> mainWindow, QWidget* parent)
    : QWidget(parent, Qt::Window), m_mainWindow(std::move(mainWindow)), m_title(new QLabel(this)),
      m_text(new QLabel(this)), m_notes(new QPlainTextEdit(this)), m_restriction(new QLabel(this)),
      m_progress(new QProgressBar(this)),
      m_skip(new LVButton(LVButtonKind::secondary, QStringLiteral("跳过这个版本"), this)),
      m_later(new LVButton(LVButtonKind::secondary, QStringLiteral("稍后提醒"), this)),
      m_install(new LVButton(LVButtonKind::primary, QStringLiteral("安装更新"), this)),
      m_cancelButton(new LVButton(LVButtonKind::secondary, QStringLiteral("取消"), this)),
      m_ok(new LVButton(LVButtonKind::primary, QStringLiteral("好"), this)) {
    setWindowTitle(QStringLiteral("软件更新"));
    setMinimumWidth(420);
    QFont titleFont = font();
    titleFont.setPixelSize(15);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    for (QLabel* label : {m_title, m_text, m_restriction}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
    }
    m_notes->setReadOnly(true);
    m_notes->setMaximumHeight(180);
    // Tab stops at the notes for scrolling and selecting them with the keyboard.
    FocusRing::surround(*m_notes, 2, 4);
    m_skip->setObjectName(QStringLiteral("skip"));
    m_later->setObjectName(QStringLiteral("later"));
    m_install->setObjectName(QStringLiteral("install"));
    m_cancelButton->setObjectName(QStringLiteral("cancel"));
    m_ok->setObjectName(QStringLiteral("ok"));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(m_skip);
    buttons->addStretch();
    for (LVButton* button : {m_later, m_install, m_cancelButton, m_ok})
        buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(10);
    for (QWidget* widget :
         {static_cast<QWidget*>(m_title), static_cast<QWidget*>(m_text), static_cast<QWidget*>(m_notes),
          static_cast<QWidget*>(m_restriction), static_cast<QWidget*>(m_progress)})
        layout->addWidget(widget);
    layout->addLayout(buttons);

    connect(m_skip, &LVButton::clicked, this, [this] { choose(UpdateChoice::skip); });
    connect(m_later, &LVButton::clicked, this, [this] { choose(UpdateChoice::dismiss); });
    connect(m_install, &LVButton::clicked, this, [this] { choose(UpdateChoice::install); });
    connect(m_cancelButton, &LVButton::clicked, this, [this] {
        if (const auto cancel = std::exchange(m_cancel, {}))
            cancel();
    });
    connect(m_ok, &LVButton::clicked, this, [this] { hide(); });
}

QString UpdateWindow::installRestriction(InstallKind kind) {
    switch (kind) {
    case InstallKind::selfContained:
        return {};
    case InstallKind::packageManaged:
        return QStringLiteral(
            "这份岚栖由系统的软件包管理器安装，应用内更新不会替换它。请通过软件包管理器（例如 "
            "apt）更新到新版。");
    case InstallKind::notWritable:
        return QStringLiteral(
            "岚栖所在的位置不可写入，应用内更新无法替换它。请从官网下载新版，或把岚栖放到可写入的"
            "位置。");
    }
    return {};
}

void UpdateWindow::showUpdate(const UpdateOffer& offer, std::function<void(UpdateChoice)> choose) {
    m_choose = std::move(choose);
    m_cancel = {};
    const AppcastItem& item = offer.item;
    const bool downloaded = offer.stage != UpdateStage::notDownloaded;
    const QString restriction = installRestriction(offer.installKind);
    if (downloaded) {
        m_title->setText(QStringLiteral("岚栖 %1 已下载并通过验证").arg(item.displayVersion));
        m_text->setText(QStringLiteral("新版将在退出岚栖时安装；也可以现在安装并重启岚栖。"));
    } else {
        m_title->setText(QStringLiteral("岚栖 %1 已发布").arg(item.displayVersion));
        m_text->setText(QStringLiteral("当前版本为 %1。要下载并安装新版吗？").arg(offer.currentVersion));
    }
    // Feeds often carry their notes as HTML; only the text is shown, nothing is fetched.
    m_notes->setPlainText(QTextDocumentFragment::fromHtml(item.releaseNotes).toPlainText());
    m_notes->setVisible(!item.releaseNotes.isEmpty() && !downloaded);
    m_restriction->setText(restriction);
    m_restriction->setVisible(!restriction.isEmpty());
    // A critical release cannot be skipped; it can still wait until later.
    m_skip->setVisible(!downloaded && !item.critical);
    m_later->setText(downloaded ? QStringLiteral("退出时安装") : QStringLiteral("稍后提醒"));
    m_install->setText(downloaded ? QStringLiteral("现在安装并重启") : QStringLiteral("安装更新"));
    m_install->setEnabled(restriction.isEmpty());
    // Where nothing can be installed, waiting is what Return takes.
    m_install->setKind(restriction.isEmpty() ? LVButtonKind::primary : LVButtonKind::secondary);
    m_later->setKind(restriction.isEmpty() ? LVButtonKind::secondary : LVButtonKind::primary);
    present(Mode::offer);
}

void UpdateWindow::showProgress(const AppcastItem& item, qint64 received, qint64 total,
                                std::function<void()> cancel) {
    m_cancel = std::move(cancel);
    m_title->setText(QStringLiteral("正在下载岚栖 %1…").arg(item.displayVersion));
    m_text->setText(QStringLiteral("下载完成后会先验证签名，再准备安装。"));
    // The bar counts in KiB so that large files stay within its int range.
    m_progress->setRange(0, static_cast<int>(qMax<qint64>(1, total / 1024)));
    m_progress->setValue(static_cast<int>(qMin(received, total) / 1024));
    // A window the user closed during the download stays closed: the download goes on, and what
    // follows it (the downloaded update, a failure) opens the window again.
    if (m_mode != Mode::progress)
        present(Mode::progress);
}

void UpdateWindow::showMessage(const QString& title, const QString& text) {
    m_choose = {};
    m_cancel = {};
    m_title->setText(title);
    m_text->setText(text);
    present(Mode::message);
}

void UpdateWindow::withdraw() {
    m_choose = {};
    m_cancel = {};
    hide();
}

void UpdateWindow::present(Mode mode) {
    ++m_presentations;
    m_mode = mode;
    // Where Return is to do nothing the window itself holds the keys, taken before the button that
    // held them hides: Qt would hand them on to the next button, which during a download is "取消".
    LVButton* button = defaultButton();
    if (!button)
        setFocus(Qt::OtherFocusReason);
    const bool offer = mode == Mode::offer;
    if (!offer) {
        m_notes->hide();
        m_restriction->hide();
        m_skip->hide();
    }
    m_later->setVisible(offer);
    m_install->setVisible(offer);
    m_progress->setVisible(mode == Mode::progress);
    m_cancelButton->setVisible(mode == Mode::progress);
    m_ok->setVisible(mode == Mode::message);
    // Fitted to what this mode shows (a note has no release notes to make room for); an open window
    // keeps its centre.
    const QPoint centre = geometry().center();
    adjustSize();
    if (isHidden()) {
        placeCentred();
    } else {
        QRect placed(QPoint(), size());
        placed.moveCenter(centre);
        setGeometry(placed);
    }
    show();
    raise();
    activateWindow();
    if (button)
        button->setFocus(Qt::ActiveWindowFocusReason);
}

LVButton* UpdateWindow::defaultButton() const {
    switch (m_mode) {
    case Mode::offer:
        return m_install->isEnabled() ? m_install : m_later;
    case Mode::progress:
        return nullptr; // Return must not cancel a download
    case Mode::message:
        return m_ok;
    }
    return nullptr;
}

void UpdateWindow::placeCentred() {
    QWidget* main = m_mainWindow ? m_mainWindow() : nullptr;
    QRect over;
    if (main && main->isVisible() && !main->isMinimized()) {
        over = main->frameGeometry();
    } else {
        const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        over = screen->availableGeometry();
    }
    // The frame is not known before the window is first shown; the window's own size is.
    QRect placed(QPoint(), size());
    placed.moveCenter(over.center());
    move(placed.topLeft());
}

void UpdateWindow::choose(UpdateChoice choice) {
    const auto reply = std::exchange(m_choose, {});
    // What the choice leads to (a download's progress, a note) replaces the offer in the open window:
    // closed and opened again, the window would be placed anew by the window manager, which may put
    // it behind the window that holds the keys.
    const QPointer<UpdateWindow> self(this);
    const quint64 presentations = m_presentations;
    if (reply)
        reply(choice);
    if (self && m_presentations == presentations)
        hide();
}

void UpdateWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // A button reached with Tab takes Return; otherwise the default one does.
        auto* focused = qobject_cast<LVButton*>(focusWidget());
        LVButton* button = focused && focused->isVisible() ? focused : defaultButton();
        if (button && button->isEnabled())
            button->click();
        event->accept();
        return;
    }
    case Qt::Key_Escape:
        close();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    if (m_choose)
        choose(UpdateChoice::dismiss);
    event->accept();
}

} // namespace lunorvale
