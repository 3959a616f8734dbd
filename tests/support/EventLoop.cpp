#include "support/EventLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

namespace lunorvale::test {

namespace {

// More passes than any test needs to come to rest; reaching it means something never ends.
constexpr int restLimit = 10000;

} // namespace

bool deliverDue() {
    QAbstractEventDispatcher* const dispatcher = QThread::currentThread()->eventDispatcher();
    // Posted events and queued calls, and what they post in turn, until a pass finds none.
    const auto postedToRest = [dispatcher] {
        for (int pass = 0; pass < restLimit; ++pass) {
            if (!dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::X11ExcludeTimers |
                                           QEventLoop::ExcludeSocketNotifiers))
                return true;
        }
        return false;
    };
    // Timers that are due now fire once in each round, with what they post. A timer that repeats (an
    // animation) is not followed further: waiting for it would be waiting on the clock.
    for (int round = 0; round < 3; ++round) {
        if (!postedToRest())
            return false;
        if (!dispatcher->processEvents(QEventLoop::AllEvents))
            return true;
    }
    return postedToRest();
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
    const QDeadlineTimer deadline(bound);
    // Other threads may change what the condition reads without posting anything here: the loop also
    // wakes now and then to look.
    QTimer wake;
    wake.start(10);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void ManualExecutor::run(Job job) {
    const std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    ++m_handedOver;
}

qsizetype ManualExecutor::pending() const {
    const std::lock_guard lock(m_mutex);
    return static_cast<qsizetype>(m_jobs.size());
}

int ManualExecutor::handedOver() const {
    const std::lock_guard lock(m_mutex);
    return m_handedOver;
}

bool ManualExecutor::runNext() {
    Job job;
    {
        const std::lock_guard lock(m_mutex);
        if (m_jobs.empty())
            return false;
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
    }
    job();
    return true;
}

bool ManualExecutor::settle() {
    for (int round = 0; round < restLimit; ++round) {
        if (!deliverDue())
            return false;
        if (!runNext())
            return true;
    }
    return false;
}

} // namespace lunorvale::test
