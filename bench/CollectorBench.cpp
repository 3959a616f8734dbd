// Sampling cost against a known population: N idle children of this user, compared in the same
// run with `ps` reading the same processes.
#include "core/monitoring/ProcessCollector.h"
#include "platform/LinuxProcessPlatform.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

class IdleChildren final {
public:
    static IdleChildren& shared() {
        static IdleChildren children;
        return children;
    }
    ~IdleChildren() { resize(0); }

    // Grows or shrinks the population to exactly `count` sleeping children.
    void resize(size_t count) {
        while (m_pids.size() > count) {
            const pid_t pid = m_pids.back();
            m_pids.pop_back();
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        while (m_pids.size() < count) {
            // `sleep` adds up its arguments: extra zeros give command lines of varied length.
            std::vector<std::string> args{"sleep", "3600"};
            for (size_t i = 0; i < m_pids.size() % 40; ++i)
                args.emplace_back(m_pids.size() % 3 == 0 ? "0000000000000000" : "0");
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            pid_t pid = 0;
            if (posix_spawn(&pid, "/bin/sleep", nullptr, nullptr, argv.data(), environ) != 0) {
                std::fprintf(stderr, "could not start child %zu\n", m_pids.size());
                std::abort();
            }
            m_pids.push_back(pid);
        }
    }

private:
    IdleChildren() {
        std::atexit([] { shared().resize(0); });
    }
    std::vector<pid_t> m_pids;
};

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
