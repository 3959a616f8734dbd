#include "support/EventLoop.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace lunorvale::test {

bool spinUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace lunorvale::test
