#include "ui/kit/LVAlert.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVText.h"
#include "ui/kit/Palette.h"
#include "ui/kit/SheetActivation.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace lunorvale {

namespace {

// Wide enough for a short sentence on one line and a two-sentence message on two or three, narrow
// enough to read as an alert rather than a window.
constexpr int alertWidth = 440;
constexpr int padding = 24;

} // namespace

LVAlert::LVAlert(const AlertText& text, QWidget* parent)
    : QDialog(parent ? parent->window() : nullptr), m_text(text),
      m_title(new LVText(text.title, Fonts::system(15, FontWeight::semibold), Palette::ink, this)),
      m_message(new LVText(text.message, Fonts::system(13), Palette::muted, this)) {
    setWindowTitle(QStringLiteral("岚栖"));
    setAccessibleName(text.title);
    setAccessibleDescription(text.message);
    m_message->setLineSpacing(4);
    m_message->setVisible(!text.message.isEmpty());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, 20);
    column->setSpacing(0);
    column->addWidget(m_title);
    column->addSpacing(8);
    column->addWidget(m_message);
    column->addSpacing(22);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    row->addStretch();
    // The button Return takes is the one drawn as the default; a destructive one is drawn as such even
    // where Return passes it by.
    const bool confirms = !text.confirmTitle.isEmpty();
    const bool returnConfirms = confirms && text.returnConfirms && !text.destructive;
    m_buttons.append(new LVButton(returnConfirms ? LVButtonKind::secondary : LVButtonKind::primary,
                                  text.cancelTitle, this));
    if (confirms)
        m_buttons.append(new LVButton(text.destructive ? LVButtonKind::danger
                                      : returnConfirms ? LVButtonKind::primary
                                                       : LVButtonKind::secondary,
                                      text.confirmTitle, this));
    for (qsizetype index = 0; index < m_buttons.size(); ++index) {
        row->addWidget(m_buttons[index]);
        connect(m_buttons[index], &LVButton::clicked, this,
                [this, index] { choose(static_cast<int>(index)); });
    }
    column->addLayout(row);

    setFixedWidth(alertWidth);
    setFixedHeight(column->totalHeightForWidth(alertWidth));
    keepActivation(*this);
}

LVButton* LVAlert::defaultButton() const {
    return m_text.returnConfirms && !m_text.destructive && m_buttons.size() > 1 ? m_buttons[1] : m_buttons[0];
}

void LVAlert::done(int result) {
    const bool shown = isVisible();
    QDialog::done(result);
    // A window manager may hand the activation to another window of the program when the alert goes
    // (the main window, under a sheet the alert was asked over), and the keys of the window the user
    // was in would go elsewhere: that window takes it back. Asked once the alert is gone: asked at
    // once, the request races the window manager's own hand-over at the unmap, and may lose.
    QPointer<QWidget> owner = parentWidget();
    if (shown && owner)
        QTimer::singleShot(0, owner, [owner] {
            if (owner && owner->isVisible())
                owner->activateWindow();
        });
}

void LVAlert::choose(int index) {
    m_chosen = index;
    if (index == 0)
        QDialog::reject();
    else
        QDialog::accept();
}

void LVAlert::reject() {
    choose(0);
}

void LVAlert::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // A button reached with Tab takes Return; otherwise the default one does.
        auto* focused = qobject_cast<LVButton*>(focusWidget());
        (focused && m_buttons.contains(focused) ? focused : defaultButton())->click();
        event->accept();
        return;
    }
    default:
        QDialog::keyPressEvent(event);
    }
}

void LVAlert::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    defaultButton()->setFocus(Qt::ActiveWindowFocusReason);
}

void LVAlert::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Palette::surface.in(this));
}

int presentAlertModally(LVAlert& alert) {
    alert.setWindowModality(alert.parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    alert.exec();
    return alert.chosen();
}

bool confirmAlert(const AlertPresenter& present, QWidget* parent, const AlertText& text) {
    LVAlert alert(text, parent);
    const int chosen = (present ? present : presentAlertModally)(alert);
    return !text.confirmTitle.isEmpty() && chosen == 1;
}

} // namespace lunorvale
