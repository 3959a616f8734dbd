#pragma once

#include "core/common/Executor.h"

#include <QtGlobal>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>

namespace lunorvale::test {

// Delivers what is due on this thread now: posted events and queued calls and what they post in turn,
// until none is left, and timers that have expired (a repeating one fires a few times at most); false
// when it does not come to rest (something posts for ever).
bool deliverDue();

// How long a test waits for another thread or process, the window system included: never reached on a
// healthy run, so a busy machine costs time, not a red run.
inline constexpr std::chrono::milliseconds waitBound = std::chrono::seconds(60);
// The same for Qt's own waits, which take milliseconds (QProcess, QSignalSpy).
inline constexpr int waitBoundMs = int(waitBound.count());

// Runs the event loop until `condition` holds, looking again after every event; false when `bound`
// passed first. Only for what comes from another thread or process (the session's bus, a loopback
// server, real children, a thread under test): the bound is never reached on a healthy run. Work the
// test can step is stepped instead (ManualExecutor).
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound = waitBound);

// An executor that holds the jobs handed to it until the test runs them, oldest first, on the test's
// own thread. What a job delivers arrives by queued calls, which deliverDue() hands on.
class ManualExecutor final : public Executor {
public:
    void run(Job job) override;

    // Jobs waiting to run.
    qsizetype pending() const;
    // Jobs handed over so far.
    int handedOver() const;
    // Runs the oldest job; false when there was none.
    bool runNext();
    // Runs the jobs one at a time, each followed by what it delivers and what that starts, until no
    // job is left; false when it does not come to rest.
    bool settle();

private:
    mutable std::mutex m_mutex;
    std::deque<Job> m_jobs;
    int m_handedOver = 0;
};

} // namespace lunorvale::test
