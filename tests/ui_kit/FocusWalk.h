#pragma once

#include "ui/kit/FocusRing.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <initializer_list>

namespace lunorvale::test {

// Presses Tab from `start` until the focus leaves `area` or comes back to `start`: every control reached
// changes how `window` looks (its ring), the change goes again when the window is clicked (the kit's
// ring shows only after keyboard use; Qt's own outline, and a text field's caret, stay), and each of
// `expected` (class names, optionally followed by the start of an accessible name) is among them.
inline ::testing::AssertionResult everyFocusShows(QWidget& window, const QWidget& area, QWidget& start,
                                                  std::initializer_list<const char*> expected) {
    QString reached, unmarked;
    QWidget clicked(&window); // takes a click in the window without moving the focus or acting on it
    clicked.setAttribute(Qt::WA_NoMousePropagation);
    start.setFocus(Qt::OtherFocusReason);
    for (QWidget* focused = &start; reached.size() < 4000;) {
        QTest::keyClick(focused, Qt::Key_Tab);
        focused = QApplication::focusWidget();
        if (!focused || !area.isAncestorOf(focused) || focused == &start)
            break;
        const QString name =
            QString::fromLatin1(focused->metaObject()->className()) + u' ' + focused->accessibleName() + u',';
        reached += name;
        // A ring drawn around the control lies over a view or window that would cut it off: all within.
        for (const QWidget* ring :
             window.findChildren<QWidget*>(QLatin1String(FocusRing::surroundingRingName)))
            if (ring->isVisible() && !ring->parentWidget()->rect().contains(ring->geometry()))
                unmarked += name.chopped(1) + QStringLiteral(" (its ring cut off),");
        const QImage marked = window.grab().toImage();
        QMouseEvent press(QEvent::MouseButtonPress, {}, {}, Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(&clicked, &press);
        const bool afterClick = marked == window.grab().toImage();
        focused->clearFocus();
        const bool same = marked == window.grab().toImage();
        focused->setFocus(Qt::TabFocusReason);
        if (same)
            unmarked += name;
        else if (afterClick)
            unmarked += name.chopped(1) + QStringLiteral(" (also after a click),");
    }
    if (reached.size() >= 4000)
        unmarked += QStringLiteral("Tab goes round without coming back,");
    for (const char* control : expected)
        if (!reached.contains(QString::fromUtf8(control)))
            unmarked += QString::fromUtf8(control) + QStringLiteral(" never reached,");
    if (unmarked.isEmpty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "unmarked: " << unmarked.toStdString() << "\nreached: " << reached.toStdString();
}

} // namespace lunorvale::test
