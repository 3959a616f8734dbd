#pragma once

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QWindow>

namespace lunorvale::test {

// Where the window system sees `point` of `widget`: input sent there reaches the widget as a user's does.
inline QPoint inWindow(const QWidget& widget, QPoint point) {
    return widget.window()->windowHandle()->mapFromGlobal(widget.mapToGlobal(point));
}

inline void dragMouse(const QWidget& widget, QPoint from, QPoint to) {
    QWindow* window = widget.window()->windowHandle();
    QTest::mousePress(window, Qt::LeftButton, {}, inWindow(widget, from));
    QTest::mouseMove(window, inWindow(widget, to));
    QTest::mouseRelease(window, Qt::LeftButton, {}, inWindow(widget, to));
}

// A click on the enabled entry of an open menu that begins with `title`; false when there is none.
inline bool chooseFromMenu(QMenu* open, const QString& title) {
    const QPointer<QMenu> menu = open;
    for (QAction* action : menu ? menu->actions() : QList<QAction*>())
        if (action->text().startsWith(title) && action->isEnabled()) {
            QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {},
                              menu->actionGeometry(action).center());
            return !menu || !menu->isVisible(); // deleted or closed
        }
    if (menu)
        menu->close();
    return false;
}

// A right click at `point` of `widget`, then the entry of the menu that opened.
inline bool chooseFromContextMenu(const QWidget& widget, QPoint point, const QString& title) {
    QTest::mouseClick(widget.window()->windowHandle(), Qt::RightButton, {}, inWindow(widget, point));
    return chooseFromMenu(qobject_cast<QMenu*>(QApplication::activePopupWidget()), title);
}

} // namespace lunorvale::test
