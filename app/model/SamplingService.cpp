#include "app/model/SamplingService.h"

#include "core/monitoring/MonitorError.h"

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
    return ProcessResourceGrouper::groups(processes, m_platform, m_nameKeys);
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

SamplingService::SamplingService(ProcessPlatform& platform, Executor& executor, QObject* parent)
    : QObject(parent), m_worker(std::make_shared<Worker>(platform, this)), m_executor(executor) {}

SamplingService::~SamplingService() {
    // A job still running finishes first, and its result is dropped with this object; later jobs find
    // the service gone.
    const std::lock_guard lock(m_worker->mutex);
    m_worker->owner = nullptr;
}

void SamplingService::sample(SampleRequest request, Done done) {
    m_executor.run([worker = m_worker, request = std::move(request), done = std::move(done)] {
        const std::lock_guard lock(worker->mutex);
        if (!worker->owner)
            return;
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
            // Such a text (std::bad_alloc) names the library's internals, in English: it goes to the log.
            qWarning("Sampling failed: %s", error.what());
            result = QStringLiteral("本次采样未能完成。");
        }
        // Queued while the lock keeps the service: a call the service does not live to run is dropped.
        QMetaObject::invokeMethod(
            worker->owner, [done, result = std::move(result)]() mutable { done(std::move(result)); },
            Qt::QueuedConnection);
    });
}

} // namespace lunorvale
