#include "app/model/SamplingService.h"

#include "core/monitoring/MonitorError.h"
#include "core/monitoring/ProcessResourceGrouper.h"

namespace lunorvale {

void SampleAnalyzer::reset() {
    m_detector.reset();
    resetResources();
}

void SampleAnalyzer::resetResources() {
    m_memoryDetector.reset();
    m_applicationDetector.reset();
}

QList<ApplicationResourceGroup> SampleAnalyzer::groups(const QList<ProcessSample>& processes) {
    return ProcessResourceGrouper::groups(processes, m_platform);
}

QList<MemoryObservation> SampleAnalyzer::observeMemory(const MonitorSnapshot& snapshot,
                                                       const MonitorSettings& settings) {
    return m_memoryDetector.observe(snapshot, settings);
}

QList<ApplicationCPUFinding>
SampleAnalyzer::observeApplications(const QList<ApplicationResourceGroup>& groups, double monotonicTime,
                                    const MonitorSettings& settings) {
    return m_applicationDetector.observe(groups, monotonicTime, settings);
}

AnalyzedSample SampleAnalyzer::analyze(MonitorSnapshot snapshot, const SampleRequest& request) {
    AnalyzedSample result;
    result.groups = groups(snapshot.processes);
    if (request.monitoring) {
        result.memoryObservations = m_memoryDetector.observe(snapshot, request.settings);
        result.applicationCPUFindings =
            m_applicationDetector.observe(result.groups, snapshot.monotonicTime, request.settings);
        result.findings = m_detector.observe(snapshot, request.settings, request.ignored);
    } else {
        // A manual sample while paused starts no run: the next observed sample begins afresh.
        reset();
    }
    result.snapshot = std::move(snapshot);
    return result;
}

SamplingService::SamplingService(ProcessPlatform& platform, QObject* parent)
    : QObject(parent), m_context(new QObject), m_worker(std::make_unique<Worker>(platform)) {
    m_thread.setObjectName(QStringLiteral("sampling"));
    m_context->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

SamplingService::~SamplingService() {
    // A job still running finishes first; its result is dropped with this object.
    m_thread.quit();
    m_thread.wait();
}

void SamplingService::sample(SampleRequest request, Done done) {
    // The destructor waits for a running job, so `this` outlives every job; the result's queued call
    // is dropped when the service goes before it runs.
    Worker* worker = m_worker.get();
    QMetaObject::invokeMethod(
        m_context,
        [this, worker, request = std::move(request), done = std::move(done)]() mutable {
            Result result;
            try {
                if (request.reset) {
                    worker->collector.reset();
                    worker->analyzer.reset();
                }
                result = worker->analyzer.analyze(worker->collector.collect(), request);
            } catch (const MonitorError& error) {
                result = error.errorDescription();
            } catch (const std::exception& error) {
                result = QString::fromUtf8(error.what());
            }
            QMetaObject::invokeMethod(
                this,
                [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace lunorvale
