#pragma once

#include "core/common/Executor.h"
#include "core/monitoring/AnomalyDetector.h"
#include "core/monitoring/ApplicationCPUDetector.h"
#include "core/monitoring/MemoryObservation.h"
#include "core/monitoring/MonitorSettings.h"
#include "core/monitoring/MonitorSnapshot.h"
#include "core/monitoring/ProcessCollector.h"
#include "core/monitoring/ProcessPlatform.h"
#include "core/monitoring/ProcessResourceGrouper.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <functional>
#include <memory>
#include <mutex>
#include <variant>

namespace lunorvale {

// What the model asks of one sample, read when it asks.
struct SampleRequest {
    bool reset = false;     // forget every previous total and run first
    bool monitoring = true; // false: a manual sample while paused, which finds nothing
    MonitorSettings settings;
    QSet<ProcessIdentity> ignored; // muted processes
};

// One sample with everything derived from it that needs no state of the model.
struct AnalyzedSample {
    MonitorSnapshot snapshot;
    QList<ApplicationResourceGroup> groups;
    QList<Finding> findings;
    QList<MemoryObservation> memoryObservations;
    QList<ApplicationCPUFinding> applicationCPUFindings;
};

// The grouping and the three detectors, fed one snapshot after another.
class SampleAnalyzer final {
public:
    explicit SampleAnalyzer(ProcessPlatform& platform) : m_platform(platform) {}

    void reset();
    AnalyzedSample analyze(MonitorSnapshot snapshot, const SampleRequest& request);

    // The parts the resource pages need, for a snapshot without process findings.
    QList<ApplicationResourceGroup> groups(const QList<ProcessSample>& processes);
    void resetResources();
    QList<MemoryObservation> observeMemory(const MonitorSnapshot& snapshot, const MonitorSettings& settings);
    QList<ApplicationCPUFinding> observeApplications(const QList<ApplicationResourceGroup>& groups,
                                                     double monotonicTime, const MonitorSettings& settings);

private:
    ProcessPlatform& m_platform;
    ProcessResourceGrouper::NameKeys m_nameKeys;
    AnomalyDetector m_detector;
    MemoryObservationDetector m_memoryDetector;
    ApplicationCPUDetector m_applicationDetector;
};

// The sampling worker: it alone owns the collector and the analyzer, and runs one job at a time on the
// executor it is given, in the order asked. Results come back on the thread that owns the service, and
// never after the service is gone. The platform and the executor outlive the service.
class SamplingService final : public QObject {
    Q_OBJECT

public:
    // The analyzed sample, or the sentence of a failed collection.
    using Result = std::variant<AnalyzedSample, QString>;
    using Done = std::function<void(Result)>;

    // `executor` runs the jobs, in order. It may hold jobs past the service: they then do nothing.
    SamplingService(ProcessPlatform& platform, Executor& executor, QObject* parent = nullptr);
    // Waits for a job that runs.
    ~SamplingService() override;

    void sample(SampleRequest request, Done done);

private:
    // What the jobs share with the service. The mutex is held by the job that runs, and by the service
    // while it goes; `owner` is null once it has gone.
    struct Worker {
        Worker(ProcessPlatform& platform, SamplingService* service)
            : collector(platform), analyzer(platform), owner(service) {}
        std::mutex mutex;
        ProcessCollector collector;
        SampleAnalyzer analyzer;
        SamplingService* owner;
    };

    std::shared_ptr<Worker> m_worker;
    Executor& m_executor;
};

} // namespace lunorvale
