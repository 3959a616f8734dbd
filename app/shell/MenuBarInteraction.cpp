#include "app/shell/MenuBarInteraction.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace lunorvale {

MenuPopoverDismissal::MenuPopoverDismissal(PointerPresses* presses, QObject* parent)
    : QObject(parent), m_presses(presses) {}

MenuPopoverDismissal::~MenuPopoverDismissal() {
    stop();
}

bool MenuPopoverDismissal::shouldDismiss(const PopoverEvent& event,
                                         const std::optional<QRect>& statusButton) {
    switch (event.kind) {
    case PopoverEvent::Kind::keyDown:
        return event.inPopover && event.key == Qt::Key_Escape;
    case PopoverEvent::Kind::mouseDown:
        if (event.inPopover)
            return false;
        // A click on the tray icon itself is the icon's toggle, not an outside click.
        return !statusButton || !statusButton->contains(event.globalPosition);
    case PopoverEvent::Kind::other:
        return false;
    }
    return false;
}

void MenuPopoverDismissal::start(QWidget* window, std::optional<QRect> statusButton,
                                 std::function<void()> close) {
    stop();
    m_generation = QUuid::createUuid();
    m_window = window;
    m_statusButton = statusButton;
    m_close = std::move(close);
    // Events reach each window of the program before its widgets: one look per event.
    qApp->installEventFilter(this);
    const QUuid generation = m_generation;
    m_stateConnection = connect(qApp, &QGuiApplication::applicationStateChanged, this,
                                [this, generation](Qt::ApplicationState state) {
                                    if (state != Qt::ApplicationActive)
                                        dismiss(generation);
                                });
    if (m_presses && m_presses->listen())
        m_pressConnection = connect(m_presses, &PointerPresses::pressed, this,
                                    [this, generation](quint64 time) { pointerPressed(generation, time); });
}

void MenuPopoverDismissal::stop() {
    if (m_generation.isNull())
        return;
    m_generation = QUuid();
    qApp->removeEventFilter(this);
    disconnect(m_stateConnection);
    if (m_pressConnection) {
        disconnect(m_pressConnection);
        m_presses->stopListening();
    }
    m_window = nullptr;
    m_statusButton.reset();
    m_close = {};
    m_ownPresses.clear();
}

void MenuPopoverDismissal::dismiss(const QUuid& generation) {
    if (generation.isNull() || generation != m_generation)
        return;
    const std::function<void()> close = std::move(m_close);
    stop();
    if (close)
        close();
}

void MenuPopoverDismissal::pointerPressed(const QUuid& generation, quint64 time) {
    if (generation != m_generation || !m_window)
        return;
    // A click into this program is heard here as well as by the event filter. Where the filter saw it
    // first, it judged it where it landed: judged again now, after the click did its work (a control
    // that made the popover shorter), the pointer could lie outside.
    if (m_ownPresses.contains(time))
        return;
    PopoverEvent judged;
    judged.kind = PopoverEvent::Kind::mouseDown;
    judged.globalPosition = QCursor::pos();
    judged.inPopover = m_window->isVisible() && m_window->frameGeometry().contains(judged.globalPosition);
    if (shouldDismiss(judged, m_statusButton))
        dismiss(generation);
}

bool MenuPopoverDismissal::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::MouseButtonPress && type != QEvent::KeyPress) || !m_window || m_generation.isNull())
        return false;
    PopoverEvent judged;
    if (type == QEvent::KeyPress) {
        // Keys are judged by the window the window system sends them to: only a key sent to the
        // popover's own window is meant for it.
        auto* window = qobject_cast<QWindow*>(watched);
        if (!window)
            return false;
        judged.kind = PopoverEvent::Kind::keyDown;
        judged.key = static_cast<QKeyEvent*>(event)->key();
        judged.inPopover = window == m_window->windowHandle();
    } else {
        // Clicks are judged by where they land, whether they reach a window or go straight to a widget;
        // the first sighting that dismisses ends the watch, so one click is never counted twice.
        const bool isWindow = qobject_cast<QWindow*>(watched) != nullptr;
        if (!isWindow && !watched->isWidgetType())
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_ownPresses.contains(mouse->timestamp())) {
            if (m_ownPresses.size() == 8)
                m_ownPresses.removeFirst();
            m_ownPresses.append(mouse->timestamp());
        }
        judged.kind = PopoverEvent::Kind::mouseDown;
        judged.globalPosition = mouse->globalPosition().toPoint();
        const bool inPopoverWindow = isWindow ? watched == m_window->windowHandle()
                                              : static_cast<QWidget*>(watched)->window() == m_window;
        judged.inPopover =
            inPopoverWindow && m_window->rect().contains(m_window->mapFromGlobal(judged.globalPosition));
    }
    if (!shouldDismiss(judged, m_statusButton))
        return false;
    dismiss(m_generation);
    // The Escape press ends here; a click goes on to the window it was meant for.
    return judged.kind == PopoverEvent::Kind::keyDown;
}

UserQuitConfirmation::UserQuitConfirmation(Present present, Terminate terminate)
    : m_present(present ? std::move(present) : Present(&presentAlertModally)),
      m_terminate(terminate ? std::move(terminate) : Terminate([] { QCoreApplication::quit(); })) {}

bool UserQuitConfirmation::request(bool removingApplication, bool updateReady) {
    if (m_presenting)
        return false;
    m_presenting = true;
    const std::unique_ptr<LVAlert> alert = makeAlert(removingApplication, updateReady);
    const int chosen = m_present(*alert);
    m_presenting = false;
    if (removingApplication || chosen != 1)
        return false;
    m_terminate();
    return true;
}

bool UserQuitConfirmation::endForUpdate(bool removingApplication) {
    if (m_presenting)
        return false;
    if (removingApplication)
        return request(true, false);
    m_terminate();
    return true;
}

std::unique_ptr<LVAlert> UserQuitConfirmation::makeAlert(bool removingApplication, bool updateReady) {
    // Return keeps the program running (or acknowledges); so does Escape.
    if (removingApplication)
        return std::make_unique<LVAlert>(
            AlertText{QStringLiteral("正在移除应用，请稍候"),
                      QStringLiteral("岚栖正在等待系统移动结果并保存操作记录。请等本次操作结束后再退出。"),
                      {},
                      false,
                      QStringLiteral("知道了")});
    QString message = QStringLiteral("退出后将停止后台观察和异常提醒。重新打开岚栖即可继续。\n\n"
                                     "如果只是暂时不想观察，可以选择“暂停观察”。");
    if (updateReady)
        message += QStringLiteral("\n\n已准备好的更新可能在退出时安装。");
    return std::make_unique<LVAlert>(
        AlertText{QStringLiteral("退出岚栖？"), message, QStringLiteral("退出岚栖")});
}

} // namespace lunorvale
