#pragma once

#include <functional>

namespace lunorvale {

// Runs jobs away from the code that hands them over: on threads of the program's own, or in tests on
// the test's thread when the test says so. A job never runs inside run() itself and may run on any
// thread; what it produces reaches its owner's thread by a queued call.
class Executor {
public:
    using Job = std::function<void()>;

    Executor() = default;
    virtual ~Executor() = default;
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;

    virtual void run(Job job) = 0;
};

} // namespace lunorvale
