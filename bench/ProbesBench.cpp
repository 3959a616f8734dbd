#include "platform/probes/lv_probes.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <vector>

namespace {

// One steady sample of the process list: what the collector pays every interval.
void BM_ProbesCollect(benchmark::State& state) {
    std::vector<LVProcessRecord> records(LV_COLLECT_CAPACITY);
    int count = 0;
    for (auto _ : state) {
        uint32_t skipped = 0;
        count = lv_collect(records.data(), LV_COLLECT_CAPACITY, &skipped);
        benchmark::DoNotOptimize(count);
    }
    state.counters["processes"] = count;
    state.counters["per_process_ns"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * count,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ProbesCollect)->Unit(benchmark::kMicrosecond);

void BM_ProbesReadProcess(benchmark::State& state) {
    LVProcessRecord record{};
    for (auto _ : state)
        benchmark::DoNotOptimize(lv_read_process(::getpid(), &record));
}
BENCHMARK(BM_ProbesReadProcess);

void BM_ProbesPathAndArguments(benchmark::State& state) {
    std::vector<char> path(LV_PATH_BUFFER);
    std::vector<char> arguments(LV_ARGS_BUFFER);
    for (auto _ : state) {
        benchmark::DoNotOptimize(lv_process_path(::getpid(), path.data(), LV_PATH_BUFFER));
        benchmark::DoNotOptimize(lv_process_args(::getpid(), arguments.data(), LV_ARGS_BUFFER));
    }
}
BENCHMARK(BM_ProbesPathAndArguments);

void BM_ProbesSystemFigures(benchmark::State& state) {
    LVSystemMemory memory{};
    uint64_t busy = 0;
    uint64_t total = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lv_cpu_ticks(&busy, &total));
        benchmark::DoNotOptimize(lv_system_memory(&memory));
    }
}
BENCHMARK(BM_ProbesSystemFigures);

} // namespace
