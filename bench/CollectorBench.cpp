// Sampling cost against a known population: N idle children of this user, compared in the same
// run with `ps` reading the same processes and with the kernel's floor (one read of each kept-open
// status file on one thread). What counts for a program that samples for weeks is CPU time on all
// threads, reported per sample as `cpu_ms`: the process's own for the collector and the floor, the
// child's for `ps`.
#include "IdleChildren.h"
#include "core/applications/RunningBundles.h"
#include "core/monitoring/ProcessCollector.h"
#include "platform/LinuxProcessPlatform.h"

#include <benchmark/benchmark.h>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double processCPUSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

void reportCPU(benchmark::State& state, double cpuSeconds) {
    state.counters["cpu_ms"] = benchmark::Counter(cpuSeconds * 1000.0, benchmark::Counter::kAvgIterations);
}

void BM_CollectSteady(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    lunorvale::LinuxProcessPlatform platform;
    lunorvale::ProcessCollector collector(platform);
    // Past the first round of periodic re-reads, so that they are part of what is measured.
    for (int i = 0; i < 12; ++i)
        collector.collect();
    qsizetype processes = 0;
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        auto snapshot = collector.collect();
        processes = snapshot.processes.size();
        benchmark::DoNotOptimize(snapshot);
    }
    reportCPU(state, processCPUSeconds() - cpuBefore);
    state.counters["processes"] = static_cast<double>(processes);
}

void BM_ProbesSteady(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    std::vector<LVProcessRecord> records(LV_COLLECT_CAPACITY);
    uint32_t skipped = 0;
    lv_collect(records.data(), LV_COLLECT_CAPACITY, &skipped);
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state)
        benchmark::DoNotOptimize(lv_collect(records.data(), LV_COLLECT_CAPACITY, &skipped));
    reportCPU(state, processCPUSeconds() - cpuBefore);
}

double thisThreadCPUSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The library's look at the running applications as the program takes it while the library page
// shows: a list every 2 s on a thread of its own.
class LibraryLooks final {
public:
    explicit LibraryLooks(lunorvale::ProcessPlatform& platform)
        : m_thread([this, &platform] { run(platform); }) {}
    ~LibraryLooks() {
        {
            const std::lock_guard lock(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    LibraryLooks(const LibraryLooks&) = delete;
    LibraryLooks& operator=(const LibraryLooks&) = delete;

    void waitForLooks(int count) {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [&] { return m_looks >= count; });
    }
    int looks() {
        const std::lock_guard lock(m_lock);
        return m_looks;
    }
    // The look's thread CPU per look, past the first (which reads every process afresh).
    double cpuSecondsPerLook() {
        const std::lock_guard lock(m_lock);
        return m_looks > 1 ? m_cpuSeconds / (m_looks - 1) : 0;
    }

private:
    void run(lunorvale::ProcessPlatform& platform) {
        lunorvale::RunningBundles bundles(platform);
        std::unique_lock lock(m_lock);
        while (!m_stop) {
            lock.unlock();
            const double before = thisThreadCPUSeconds();
            benchmark::DoNotOptimize(bundles.list());
            const double spent = thisThreadCPUSeconds() - before;
            lock.lock();
            if (m_looks > 0)
                m_cpuSeconds += spent;
            ++m_looks;
            m_changed.notify_all();
            m_changed.wait_for(lock, std::chrono::seconds(2), [this] { return m_stop; });
        }
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_stop = false;
    int m_looks = 0;
    double m_cpuSeconds = 0;
    std::thread m_thread; // last: it starts once the rest is there
};

// The sampler's listing with and without the library's look beside it, at an open-file limit of
// 20,000: 4,000 processes fit the four descriptors the sampler keeps of each within the listings'
// share of it, not a fifth. CPU of the sampler's thread per listing (`cpu_ms`), of the look's thread
// per look (`look_cpu_ms`), and the descriptors the program holds at the end.
void BM_CollectBesideLibraryLook(benchmark::State& state) {
    constexpr rlim_t limit = 20000;
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_max < limit) {
        state.SkipWithError("needs a hard open-file limit of at least 20,000");
        return;
    }
    const rlimit before = files;
    files.rlim_cur = limit;
    setrlimit(RLIMIT_NOFILE, &files);
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    lunorvale::LinuxProcessPlatform platform;
    lunorvale::ProcessCollector collector(platform);
    for (int i = 0; i < 12; ++i)
        collector.collect();
    std::optional<LibraryLooks> looks;
    if (state.range(1) != 0) {
        looks.emplace(platform);
        looks->waitForLooks(1);
        // The sampler lists after the look has taken what it takes, as it would 30 s later.
        for (int i = 0; i < 3; ++i)
            collector.collect();
    }
    qsizetype processes = 0;
    const double cpuBefore = thisThreadCPUSeconds();
    for (auto _ : state) {
        auto snapshot = collector.collect();
        processes = snapshot.processes.size();
        benchmark::DoNotOptimize(snapshot);
    }
    state.counters["cpu_ms"] =
        benchmark::Counter((thisThreadCPUSeconds() - cpuBefore) * 1000.0, benchmark::Counter::kAvgIterations);
    state.counters["processes"] = static_cast<double>(processes);
    state.counters["descriptors"] =
        static_cast<double>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
    if (looks) {
        state.counters["looks"] = looks->looks();
        state.counters["look_cpu_ms"] = looks->cpuSecondsPerLook() * 1000.0;
    }
    looks.reset();
    setrlimit(RLIMIT_NOFILE, &before);
}

void BM_CollectFirst(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    lunorvale::LinuxProcessPlatform platform;
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        lunorvale::ProcessCollector collector(platform);
        auto snapshot = collector.collect();
        benchmark::DoNotOptimize(snapshot);
    }
    reportCPU(state, processCPUSeconds() - cpuBefore);
}

// The least a sample can cost: the status file of every process of this user, opened once and
// read again each time, on one thread.
void BM_KernelFloor(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    std::vector<int> files;
    DIR* proc = opendir("/proc");
    while (const dirent* entry = readdir(proc)) {
        int pid = 0;
        const char* end = entry->d_name + std::char_traits<char>::length(entry->d_name);
        if (std::from_chars(entry->d_name, end, pid).ptr != end || pid < 1)
            continue;
        struct stat info {};
        if (fstatat(dirfd(proc), entry->d_name, &info, 0) != 0 || info.st_uid != getuid())
            continue;
        const std::string path = std::string(entry->d_name) + "/stat";
        const int fd = openat(dirfd(proc), path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            files.push_back(fd);
    }
    closedir(proc);
    char text[1024];
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        for (const int fd : files)
            benchmark::DoNotOptimize(pread(fd, text, sizeof text, 0));
    }
    reportCPU(state, processCPUSeconds() - cpuBefore);
    state.counters["processes"] = static_cast<double>(files.size());
    for (const int fd : files)
        close(fd);
}

void BM_PsBaseline(benchmark::State& state) {
    IdleChildren::shared().resize(static_cast<size_t>(state.range(0)));
    std::vector<char> buffer(1 << 16);
    double childCPU = 0;
    for (auto _ : state) {
        int pipeEnds[2];
        if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
            state.SkipWithError("no pipe");
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>("ps"), const_cast<char*>("-e"), const_cast<char*>("-o"),
                        const_cast<char*>("pid,ppid,uid,stat,lstart,time,rss,comm,args"), nullptr};
        pid_t pid = 0;
        const int spawned = posix_spawnp(&pid, "ps", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        if (spawned != 0) {
            close(pipeEnds[0]);
            state.SkipWithError("ps could not be started");
            break;
        }
        size_t bytes = 0;
        ssize_t n;
        while ((n = read(pipeEnds[0], buffer.data(), buffer.size())) > 0)
            bytes += static_cast<size_t>(n);
        close(pipeEnds[0]);
        rusage usage{};
        int status = 0;
        wait4(pid, &status, 0, &usage);
        childCPU += seconds(usage.ru_utime) + seconds(usage.ru_stime);
        benchmark::DoNotOptimize(bytes);
    }
    reportCPU(state, childCPU);
}

} // namespace

BENCHMARK(BM_CollectSteady)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProbesSteady)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectBesideLibraryLook)
    ->Args({4000, 0})
    ->Args({4000, 1})
    ->ArgNames({"processes", "look"})
    ->MinTime(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectFirst)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KernelFloor)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PsBaseline)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
