#include "core/monitoring/AnomalyDetector.h"
#include "core/monitoring/ApplicationCPUDetector.h"
#include "core/monitoring/MemoryObservation.h"
#include "core/monitoring/ProcessResourceGrouper.h"
#include "core/monitoring/ResourceHistory.h"
#include "platform/LinuxProcessPlatform.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace lunorvale;

namespace {

// Running applications' bundles exist on disk, so resolving their paths finds them at once; paths
// that do not exist would be walked back component by component and cost far more than real use.
const QString& applicationsFolder() {
    static const QTemporaryDir root;
    static const QString folder = [] {
        const QString applications = QDir(root.path()).canonicalPath() + QStringLiteral("/Applications");
        for (int bundle = 0; bundle < 150; ++bundle)
            QDir().mkpath(applications + QStringLiteral("/App %1.app/Contents/MacOS").arg(bundle));
        return applications;
    }();
    return folder;
}

// 2000 processes: 1200 in 150 application bundles of 8 processes, 800 on their own; a quarter busy.
MonitorSnapshot largeSnapshot() {
    MonitorSnapshot snapshot;
    snapshot.timestamp = QDateTime::fromMSecsSinceEpoch(1769846709000, Qt::UTC);
    snapshot.systemCPU = 42;
    snapshot.systemMemory =
        SystemMemorySnapshot{16ull << 30, 9ull << 30, 1ull << 30, 2ull << 30, SystemMemoryPressure::warning};
    for (int i = 0; i < 2000; ++i) {
        ProcessSample sample;
        sample.identity = ProcessIdentity{1000 + i, 1700000000000000ull + static_cast<uint64_t>(i) * 7919};
        sample.name = QStringLiteral("process-%1").arg(i);
        if (i < 1200) {
            sample.executable = applicationsFolder() +
                                QStringLiteral("/App %1.app/Contents/MacOS/Helper %2").arg(i / 8).arg(i % 8);
        } else {
            sample.executable = QStringLiteral("/usr/lib/tools/tool-%1").arg(i);
        }
        sample.command =
            sample.executable + QStringLiteral(" --type=renderer --field-trial-handle=%1").arg(i);
        sample.cpuPercent = i % 4 == 0 ? 95.0 : 1.5;
        sample.residentBytes = (100ull + static_cast<uint64_t>(i % 700)) << 20;
        sample.elapsedSeconds = 3600;
        snapshot.processes.append(sample);
    }
    return snapshot;
}

void BM_AnomalyDetector(benchmark::State& state) {
    MonitorSnapshot snapshot = largeSnapshot();
    AnomalyDetector detector;
    const MonitorSettings settings;
    double t = 0;
    for (auto _ : state) {
        snapshot.monotonicTime = t += 30;
        benchmark::DoNotOptimize(detector.observe(snapshot, settings, {}));
    }
}
BENCHMARK(BM_AnomalyDetector)->Unit(benchmark::kMicrosecond);

void BM_GroupsAndApplicationCPUDetector(benchmark::State& state) {
    MonitorSnapshot snapshot = largeSnapshot();
    ApplicationCPUDetector detector;
    LinuxProcessPlatform platform;
    const MonitorSettings settings;
    double t = 0;
    for (auto _ : state) {
        const auto groups = ProcessResourceGrouper::groups(snapshot.processes, platform);
        benchmark::DoNotOptimize(detector.observe(groups, t += 30, settings));
    }
}
BENCHMARK(BM_GroupsAndApplicationCPUDetector)->Unit(benchmark::kMicrosecond);

void BM_MemoryObservationDetector(benchmark::State& state) {
    MonitorSnapshot snapshot = largeSnapshot();
    MemoryObservationDetector detector;
    const MonitorSettings settings;
    double t = 0;
    for (auto _ : state) {
        snapshot.monotonicTime = t += 30;
        snapshot.timestamp = snapshot.timestamp.addSecs(30);
        benchmark::DoNotOptimize(detector.observe(snapshot, settings));
    }
}
BENCHMARK(BM_MemoryObservationDetector)->Unit(benchmark::kMicrosecond);

void BM_ResourceHistory(benchmark::State& state) {
    MonitorSnapshot snapshot = largeSnapshot();
    ResourceHistory history(3600, 721);
    double t = 0;
    for (auto _ : state) {
        snapshot.monotonicTime = t += 5;
        snapshot.timestamp = snapshot.timestamp.addSecs(5);
        history.record(snapshot, 12.5);
        benchmark::DoNotOptimize(history.points().size());
    }
}
BENCHMARK(BM_ResourceHistory)->Unit(benchmark::kMicrosecond);

// Everything the model does with one accepted snapshot.
void BM_AllObserversPerSnapshot(benchmark::State& state) {
    MonitorSnapshot snapshot = largeSnapshot();
    AnomalyDetector anomalies;
    ApplicationCPUDetector applications;
    MemoryObservationDetector memory;
    ResourceHistory history(3600, 721);
    LinuxProcessPlatform platform;
    const MonitorSettings settings;
    double t = 0;
    for (auto _ : state) {
        snapshot.monotonicTime = t += 30;
        snapshot.timestamp = snapshot.timestamp.addSecs(30);
        history.record(snapshot, settings.safeInterval() * 2.5);
        benchmark::DoNotOptimize(memory.observe(snapshot, settings));
        benchmark::DoNotOptimize(applications.observe(
            ProcessResourceGrouper::groups(snapshot.processes, platform), snapshot.monotonicTime, settings));
        benchmark::DoNotOptimize(anomalies.observe(snapshot, settings, {}));
    }
}
BENCHMARK(BM_AllObserversPerSnapshot)->Unit(benchmark::kMicrosecond);

} // namespace
