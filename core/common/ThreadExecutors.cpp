#include "core/common/ThreadExecutors.h"

namespace lunorvale {

PoolExecutor::PoolExecutor(int threads, QThread::Priority priority) {
    m_pool.setMaxThreadCount(threads);
    m_pool.setThreadPriority(priority);
}

PoolExecutor::~PoolExecutor() {
    m_pool.waitForDone();
}

void PoolExecutor::run(Job job) {
    m_pool.start(std::move(job));
}

ThreadExecutor::ThreadExecutor(const QString& name) : m_context(new QObject) {
    m_thread.setObjectName(name);
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

ThreadExecutor::~ThreadExecutor() {
    m_thread.quit();
    m_thread.wait();
}

void ThreadExecutor::run(Job job) {
    QMetaObject::invokeMethod(m_context, std::move(job), Qt::QueuedConnection);
}

void LaterExecutor::run(Job job) {
    QMetaObject::invokeMethod(m_context, std::move(job), Qt::QueuedConnection);
}

} // namespace lunorvale
