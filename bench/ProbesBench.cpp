#include "platform/probes/ProcStatParse.h"
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

// Parsing one status line, as read for every process of every sample.
void BM_ParseProcStat(benchmark::State& state) {
    const std::string_view line =
        "1234567 (gnome-terminal-) S 2297 1234567 1234567 0 -1 4194560 389571 12664 83 0 23419 6010 14 4 "
        "20 0 4 0 21786343 826400768 16203 18446744073709551615 94489009270784 94489009587329 "
        "140729473813520 0 0 0 0 4096 65536 0 0 0 17 5 0 0 0 0 0 94489009669104 94489009689600 "
        "94489042395136 140729473820958 140729473820990 140729473820990 140729473822681 0\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(lunorvale::probes::parseProcStat(line));
}
BENCHMARK(BM_ParseProcStat);

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
