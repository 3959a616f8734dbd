#pragma once

#include "core/common/Executor.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QThreadPool>

namespace lunorvale {

// Jobs on a pool of threads of its own: at most `threads` at once, the rest waiting in order.
class PoolExecutor final : public Executor {
public:
    explicit PoolExecutor(int threads, QThread::Priority priority = QThread::InheritPriority);
    // Waits for every job handed over, the waiting ones included.
    ~PoolExecutor() override;

    void run(Job job) override;

private:
    QThreadPool m_pool;
};

// Jobs one at a time, in the order handed over, on one named thread that lives as long as the
// executor, so that what a job keeps per thread is there for the next one.
class ThreadExecutor final : public Executor {
public:
    explicit ThreadExecutor(const QString& name);
    // Lets the running job finish; the waiting ones are dropped.
    ~ThreadExecutor() override;

    void run(Job job) override;

private:
    QThread m_thread;
    QObject* m_context; // on m_thread; jobs run through it
};

// Jobs one at a time, in the order handed over, later on the thread of `context` between its events:
// no thread of its own. Jobs still waiting when `context` goes are dropped. Where a model was given no
// executor, its work runs here.
class LaterExecutor final : public Executor {
public:
    explicit LaterExecutor(QObject* context) : m_context(context) {}

    void run(Job job) override;

private:
    QObject* m_context;
};

} // namespace lunorvale
