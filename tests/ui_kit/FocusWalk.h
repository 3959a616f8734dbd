#pragma once

#include <QApplication>
#include <QImage>
#include <QStringList>
#include <QTest>
#include <QWidget>

namespace lunorvale::test {

struct FocusWalk {
    QStringList reached;  // class and accessible name of each control Tab reached
    QStringList unmarked; // those of them the window looks the same with and without
};

// Presses Tab from `start` until the focus leaves `area` or comes back to `start`, and checks at each
// control that the window shows where the focus is.
inline FocusWalk walkWithTab(QWidget& window, const QWidget& area, QWidget& start) {
    FocusWalk walk;
    start.setFocus(Qt::OtherFocusReason);
    for (QWidget* focused = &start; focused && walk.reached.size() < 60;) {
        QTest::keyClick(focused, Qt::Key_Tab);
        focused = QApplication::focusWidget();
        if (!focused || !area.isAncestorOf(focused) || focused == &start)
            break;
        const QString name = QString::fromLatin1(focused->metaObject()->className()) + QLatin1Char(' ') +
                             focused->accessibleName();
        walk.reached.append(name);
        const QImage marked = window.grab().toImage();
        focused->clearFocus();
        const QImage plain = window.grab().toImage();
        focused->setFocus(Qt::TabFocusReason);
        if (marked == plain)
            walk.unmarked.append(name);
    }
    return walk;
}

} // namespace lunorvale::test
