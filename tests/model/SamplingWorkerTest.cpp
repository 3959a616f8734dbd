// The program's own threads behind the injected executors: the pools of the library model and the
// sampling worker's thread.
#include "app/model/SamplingService.h"
#include "core/common/ThreadExecutors.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <mutex>

using namespace lunorvale;
using namespace lunorvale::test;

// A pool runs at most its number of jobs at once, the rest after them, and waits for all when it goes.
TEST(Executors, PoolRunsItsShareAtOnceAndWaitsForEveryJob) {
    std::atomic<int> running = 0, most = 0, done = 0;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    auto pool = std::make_unique<PoolExecutor>(2);
    for (int job = 0; job < 5; ++job) {
        pool->run([&] {
            const int now = ++running;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            released.wait();
            --running;
            ++done;
        });
    }
    EXPECT_TRUE(waitUntil([&] { return running >= 2; }));
    EXPECT_EQ(done, 0);
    release.set_value();
    pool.reset();
    EXPECT_EQ(done, 5);
    EXPECT_EQ(most, 2);
}

// The thread runs the jobs one at a time, in order, on one thread of the given name.
TEST(Executors, ThreadRunsJobsInOrderOnOneNamedThread) {
    std::mutex mutex;
    QList<int> order;
    QSet<QThread*> threads;
    QStringList names;
    ThreadExecutor executor(QStringLiteral("sampling"));
    for (int job = 0; job < 4; ++job) {
        executor.run([&, job] {
            const std::lock_guard lock(mutex);
            order.append(job);
            threads.insert(QThread::currentThread());
            names.append(QThread::currentThread()->objectName());
        });
    }
    ASSERT_TRUE(waitUntil([&] {
        const std::lock_guard lock(mutex);
        return order.size() == 4;
    }));
    EXPECT_EQ(order, QList<int>({0, 1, 2, 3}));
    ASSERT_EQ(threads.size(), 1);
    EXPECT_NE(*threads.begin(), QCoreApplication::instance()->thread());
    EXPECT_EQ(names, QStringList(4, QStringLiteral("sampling")));
}

// On a thread of the program's the worker answers on the service's thread in the order asked; what the
// service does not live to receive is dropped.
TEST(Executors, SamplingWorkerAnswersInOrderAndNotAfterTheServiceWent) {
    InMemoryProcessPlatform platform{1000, 99};
    platform.put(InMemoryProcessPlatform::process(7, 1, "worker", QStringLiteral("/usr/bin/worker")));
    ThreadExecutor thread(QStringLiteral("sampling"));
    auto service = std::make_unique<SamplingService>(platform, thread);
    QList<int> answered;
    for (int job = 0; job < 3; ++job) {
        service->sample({}, [&, job](SamplingService::Result result) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            EXPECT_TRUE(std::holds_alternative<AnalyzedSample>(result));
            answered.append(job);
        });
    }
    ASSERT_TRUE(waitUntil([&] { return answered.size() == 3; }));
    EXPECT_EQ(answered, QList<int>({0, 1, 2}));
    service->sample({}, [](SamplingService::Result) { ADD_FAILURE() << "answered after the service went"; });
    service.reset();
    EXPECT_TRUE(deliverDue());
}
