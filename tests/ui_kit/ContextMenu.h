#pragma once

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace lunorvale::test {

// Where the window system sees `point` of `widget`: input sent there reaches the widget as a user's does.
inline QPoint inWindow(const QWidget& widget, QPoint point) {
    return widget.window()->windowHandle()->mapFromGlobal(widget.mapToGlobal(point));
}

// Selects with the left button held from `from` to `to` of `widget`.
inline void dragMouse(const QWidget& widget, QPoint from, QPoint to) {
    QWindow* window = widget.window()->windowHandle();
    QTest::mousePress(window, Qt::LeftButton, {}, inWindow(widget, from));
    QTest::mouseMove(window, inWindow(widget, to));
    QTest::mouseRelease(window, Qt::LeftButton, {}, inWindow(widget, to));
}

// Opens the context menu with a right click at `point` of `widget` and clicks its entry that begins with
// `title`; false when no menu opened or it holds no such enabled entry.
inline bool chooseFromContextMenu(const QWidget& widget, QPoint point, const QString& title) {
    QTest::mouseClick(widget.window()->windowHandle(), Qt::RightButton, {}, inWindow(widget, point));
    // Qt deletes its own menus when they close.
    const QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu)
        return false;
    for (QAction* action : menu->actions())
        if (action->text().startsWith(title) && action->isEnabled()) {
            QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {},
                              menu->actionGeometry(action).center());
            return !menu || !menu->isVisible();
        }
    menu->close();
    return false;
}

} // namespace lunorvale::test
