// One sampling cycle of the real model at a known population: collection, grouping and the three
// detectors on the worker; selection, mutes, history pruning, automatic advice, reminders' bookkeeping
// and publishing on the main thread. Reported per cycle: CPU on all threads of the program, and the
// CPU the main thread spends (the interface's share, which must stay small).
//
// BM_SampleAtCadence takes the same cycle as the running program does, one every interval: after each
// sample the free memory goes back to the system (as the program does once the pages have taken it)
// and the caches are evicted before a pause, so that every sample starts on cold caches and fresh
// pages. A loop of back-to-back samples never sees that, and once under-reported the program's cost
// tenfold. Only the sample is timed: CPU on all threads, and the page faults it takes.
#include "IdleChildren.h"
#include "app/model/AppModel.h"
#include "core/common/ThreadExecutors.h"
#include "platform/FreeMemory.h"
#include "platform/LinuxProcessPlatform.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace lunorvale;

namespace {

double allThreadsCPUSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long pageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

double threadCPUSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A full history, as after a month of use: every cycle prunes it.
void fillHistory(const QString& path) {
    QList<ActivityEvent> events;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < LocalHistoryStore::maximumEvents; ++i)
        events.append(ActivityEvent{QUuid::createUuid(), StoredDate::from(now.addSecs(-60 * i)),
                                    QStringLiteral("发现持续高占用"),
                                    QStringLiteral("后台任务 · PID %1").arg(i), QStringLiteral("finding")});
    LocalHistoryStore(path).save(events, now);
}

void sampleAndWait(AppModel& model) {
    QEventLoop loop;
    const auto connection = QObject::connect(&model, &AppModel::isSamplingChanged, &loop, [&] {
        if (!model.isSampling())
            loop.quit();
    });
    model.sampleNow();
    if (model.isSampling())
        loop.exec();
    QObject::disconnect(connection);
}

// The model as the program makes it, over a full history, with its sampling thread.
struct RealModel {
    explicit RealModel(int64_t processes) {
        IdleChildren::shared().resize(static_cast<size_t>(processes));
        fillHistory(history);
        services.processPlatform = &platform;
        services.sampling = &sampling;
        services.historyStore = [path = history] {
            return LocalHistoryStore(path);
        };
        model = std::make_unique<AppModel>(false, services);
    }
    QTemporaryDir folder;
    const QString history = folder.filePath(QStringLiteral("history.json"));
    LinuxProcessPlatform platform;
    ThreadExecutor sampling{QStringLiteral("sampling")}; // as the program's
    AppModelServices services;
    std::unique_ptr<AppModel> model;
};

void BM_ModelCycle(benchmark::State& state) {
    RealModel real(state.range(0));
    AppModel& model = *real.model;
    sampleAndWait(model);
    sampleAndWait(model);

    double allThreads = 0;
    double mainThread = 0;
    for (auto _ : state) {
        const double process0 = allThreadsCPUSeconds();
        const double main0 = threadCPUSeconds();
        sampleAndWait(model);
        mainThread += threadCPUSeconds() - main0;
        allThreads += allThreadsCPUSeconds() - process0;
    }
    const double cycles = static_cast<double>(state.iterations());
    state.counters["processes"] = static_cast<double>(model.processes().size());
    state.counters["cpu_ms_per_cycle"] = allThreads / cycles * 1000;
    state.counters["main_thread_ms_per_cycle"] = mainThread / cycles * 1000;
}

// Writes a buffer larger than the processor's last-level cache, pushing out what a sample left there.
void evictCaches() {
    static std::vector<char> buffer(256 << 20);
    for (size_t i = 0; i < buffer.size(); i += 64)
        buffer[i] = static_cast<char>(buffer[i] + 1);
    benchmark::ClobberMemory();
}

void BM_SampleAtCadence(benchmark::State& state) {
    RealModel real(state.range(0));
    AppModel& model = *real.model;
    sampleAndWait(model);
    sampleAndWait(model);

    double cpu = 0;
    long faults = 0;
    for (auto _ : state) {
        state.PauseTiming();
        returnFreeMemory();
        evictCaches();
        std::this_thread::sleep_for(std::chrono::milliseconds(state.range(1)));
        state.ResumeTiming();
        const double cpu0 = allThreadsCPUSeconds();
        const long faults0 = pageFaults();
        sampleAndWait(model);
        cpu += allThreadsCPUSeconds() - cpu0;
        faults += pageFaults() - faults0;
    }
    const double cycles = static_cast<double>(state.iterations());
    state.counters["processes"] = static_cast<double>(model.processes().size());
    state.counters["cpu_ms_per_sample"] = cpu / cycles * 1000;
    state.counters["page_faults_per_sample"] = static_cast<double>(faults) / cycles;
    state.counters["cpu_s_per_hour_at_30s"] = cpu / cycles * 120;
}

} // namespace

BENCHMARK(BM_ModelCycle)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(200);
// A pause of a second between samples: long enough for the processor to go idle between them.
BENCHMARK(BM_SampleAtCadence)->Args({2000, 1000})->Unit(benchmark::kMillisecond)->Iterations(20);
