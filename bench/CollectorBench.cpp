// Sampling cost against a known population: N idle children of this user, compared in the same
// run with `ps` reading the same processes.
#include "IdleChildren.h"
#include "core/monitoring/ProcessCollector.h"
#include "platform/LinuxProcessPlatform.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

void BM_CollectSteady(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    lunorvale::LinuxProcessPlatform platform;
    lunorvale::ProcessCollector collector(platform);
    collector.collect();
    qsizetype processes = 0;
    for (auto _ : state) {
        auto snapshot = collector.collect();
        processes = snapshot.processes.size();
        benchmark::DoNotOptimize(snapshot);
    }
    state.counters["processes"] = static_cast<double>(processes);
}

void BM_CollectFirst(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    lunorvale::LinuxProcessPlatform platform;
    for (auto _ : state) {
        lunorvale::ProcessCollector collector(platform);
        auto snapshot = collector.collect();
        benchmark::DoNotOptimize(snapshot);
    }
}

void BM_PsBaseline(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        FILE* ps = popen("ps -e -o pid,ppid,uid,stat,lstart,time,rss,comm,args", "r");
        if (!ps) {
            state.SkipWithError("ps could not be started");
            break;
        }
        size_t bytes = 0;
        while (const size_t n = fread(buffer.data(), 1, buffer.size(), ps))
            bytes += n;
        pclose(ps);
        benchmark::DoNotOptimize(bytes);
    }
}

} // namespace

BENCHMARK(BM_CollectSteady)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectFirst)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PsBaseline)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
