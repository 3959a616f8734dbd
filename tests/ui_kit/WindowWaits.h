#pragma once

#include "support/EventLoop.h"

#include <QTest>
#include <QWidget>
#include <utility>

namespace lunorvale::test {

// QTest's waits on the window system, bounded as every wait of the tests is (waitUntil): on a busy
// machine the X server and a window manager may take many seconds to map, frame or activate a window,
// and a pass costs no more. QTest's own loop is kept for what it does beside waiting: it deletes what
// was handed to deleteLater, as closed sheets and popups are. The build refuses QTest's waits elsewhere.
inline constexpr int windowWaitBound = waitBoundMs;

inline bool waitForExposed(QWidget* window) {
    return QTest::qWaitForWindowExposed(window, windowWaitBound);
}

inline bool waitForActive(QWidget* window) {
    return QTest::qWaitForWindowActive(window, windowWaitBound);
}

template <typename Condition> bool qtWaitFor(Condition&& condition) {
    return QTest::qWaitFor(std::forward<Condition>(condition), windowWaitBound);
}

} // namespace lunorvale::test
