// One sampling cycle of the real model at a known population: collection, grouping and the three
// detectors on the worker; selection, mutes, history pruning, automatic advice, reminders' bookkeeping
// and publishing on the main thread. Reported per cycle: CPU on all threads of the program, and the
// CPU the main thread spends (the interface's share, which must stay small).
#include "IdleChildren.h"
#include "app/model/AppModel.h"
#include "core/common/ThreadExecutors.h"
#include "platform/LinuxProcessPlatform.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <ctime>
#include <sys/resource.h>

using namespace lunorvale;

namespace {

double allThreadsCPUSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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

void BM_ModelCycle(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    QTemporaryDir folder;
    const QString history = folder.filePath(QStringLiteral("history.json"));
    fillHistory(history);
    LinuxProcessPlatform platform;
    ThreadExecutor sampling(QStringLiteral("sampling")); // as the program's
    AppModelServices services;
    services.processPlatform = &platform;
    services.sampling = &sampling;
    services.historyStore = [history] {
        return LocalHistoryStore(history);
    };
    AppModel model(false, services);
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

} // namespace

BENCHMARK(BM_ModelCycle)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(200);
