#pragma once

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <initializer_list>

namespace lunorvale::test {

// Presses Tab from `start` until the focus leaves `area` or comes back to `start`: every control reached
// changes how `window` looks (its ring), and each of `expected` (class names) is among them.
inline ::testing::AssertionResult everyFocusShows(QWidget& window, const QWidget& area, QWidget& start,
                                                  std::initializer_list<const char*> expected) {
    QString reached, unmarked;
    start.setFocus(Qt::OtherFocusReason);
    for (QWidget* focused = &start; reached.size() < 4000;) {
        QTest::keyClick(focused, Qt::Key_Tab);
        focused = QApplication::focusWidget();
        if (!focused || !area.isAncestorOf(focused) || focused == &start)
            break;
        const QString name =
            QString::fromLatin1(focused->metaObject()->className()) + u' ' + focused->accessibleName() + u',';
        reached += name;
        const QImage marked = window.grab().toImage();
        focused->clearFocus();
        const bool same = marked == window.grab().toImage();
        focused->setFocus(Qt::TabFocusReason);
        if (same)
            unmarked += name;
    }
    for (const char* control : expected)
        if (!reached.contains(QLatin1String(control)))
            unmarked += QLatin1String(control) + QStringLiteral(" never reached,");
    if (unmarked.isEmpty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "unmarked: " << unmarked.toStdString() << "\nreached: " << reached.toStdString();
}

} // namespace lunorvale::test
