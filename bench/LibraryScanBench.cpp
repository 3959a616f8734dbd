// The application library over 1,000 bundles: listing and sizing run on the model's pool while the
// main thread only applies results. Reported: how long the list takes to appear and the sizes to
// finish, the longest stretch the main thread was kept from its 1 ms timer (in wall time and in its own
// CPU time: the most one step blocks the interface), and how long the background work runs on after a
// stop.
#include "app/library/ApplicationLibraryModel.h"
#include "core/applications/ApplicationInventory.h"
#include "core/common/ThreadExecutors.h"
#include "platform/LinuxProcessPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <ctime>

using namespace lunorvale;

namespace {

constexpr int bundleCount = 1000;

struct ThousandBundles {
    QTemporaryDir root;
    QString folder = QDir(root.path()).canonicalPath() + QStringLiteral("/Applications");

    ThousandBundles() {
        for (int index = 0; index < bundleCount; ++index) {
            const QString name = QStringLiteral("App %1").arg(index, 4, 10, QLatin1Char('0'));
            const QString contents = folder + u'/' + name + QStringLiteral(".app/Contents");
            QDir().mkpath(contents + QStringLiteral("/MacOS"));
            QDir().mkpath(contents + QStringLiteral("/Resources"));
            QFile info(contents + QStringLiteral("/Info.plist"));
            info.open(QIODevice::WriteOnly);
            info.write(QStringLiteral("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                      "<key>CFBundleIdentifier</key><string>com.example.app%1</string>"
                                      "<key>CFBundleName</key><string>%2</string>"
                                      "<key>CFBundleExecutable</key><string>App</string>"
                                      "<key>CFBundleShortVersionString</key><string>1.%1</string>"
                                      "<key>CFBundlePackageType</key><string>APPL</string></dict></plist>")
                           .arg(index)
                           .arg(name)
                           .toUtf8());
            for (const QString& file : {QStringLiteral("/MacOS/App"), QStringLiteral("/Resources/a.dat"),
                                        QStringLiteral("/Resources/b.dat")}) {
                QFile data(contents + file);
                data.open(QIODevice::WriteOnly);
                data.write(QByteArray(4096 + index, 'x'));
            }
        }
    }
};

const ThousandBundles& bundles() {
    static const ThousandBundles shared;
    return shared;
}

qint64 cpuNanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

qint64 threadCPUNanoseconds() {
    return cpuNanoseconds(CLOCK_THREAD_CPUTIME_ID);
}

// The longest the main thread went between two ticks of a 1 ms timer: in wall time (the machine's load
// and timer lateness included) and in the main thread's own CPU time (what one step of ours costs).
struct Gaps {
    qint64 wall = 0;
    qint64 cpu = 0;

    void add(const Gaps& other) {
        wall = std::max(wall, other.wall);
        cpu = std::max(cpu, other.cpu);
    }
};

// Runs the event loop until `done` holds.
Gaps longestGaps(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    qint64 lastWall = clock.nsecsElapsed();
    qint64 lastCPU = threadCPUNanoseconds();
    Gaps longest;
    const auto tick = [&] {
        const qint64 wall = clock.nsecsElapsed();
        const qint64 cpu = threadCPUNanoseconds();
        longest.add({wall - lastWall, cpu - lastCPU});
        lastWall = wall;
        lastCPU = cpu;
    };
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, tick);
    timer.start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    tick();
    return longest;
}

// The program's threads for the library: two at low priority for the work, one for the looks. They go
// after the model, each waiting for its jobs.
struct Pools {
    PoolExecutor work{2, QThread::LowPriority};
    PoolExecutor looks{1};
};

ApplicationLibraryServices services(ProcessPlatform& platform, Pools& pools) {
    ApplicationLibraryServices result;
    result.processes = &platform;
    result.runningApplications = ApplicationLibraryServices::runningBundles(platform);
    result.work = &pools.work;
    result.looks = &pools.looks;
    result.scan = [](const CancellationToken& token) {
        return ApplicationInventory({QUrl::fromLocalFile(bundles().folder)}).scan(token);
    };
    return result;
}

void BM_LibraryScan(benchmark::State& state) {
    bundles();
    LinuxProcessPlatform platform;
    Pools pools;
    // The model lives as long as the program: the first scan is not measured.
    ApplicationLibraryModel model(false, services(platform, pools));
    model.scan();
    longestGaps([&] { return !model.scanning() && !model.sizing(); });
    double listed = 0, sized = 0;
    Gaps gaps;
    for (auto _ : state) {
        QElapsedTimer elapsed;
        elapsed.start();
        model.scan();
        gaps.add(longestGaps([&] { return !model.scanning(); }));
        listed += static_cast<double>(elapsed.nsecsElapsed());
        gaps.add(longestGaps([&] { return !model.sizing(); }));
        sized += static_cast<double>(elapsed.nsecsElapsed());
        if (model.applications().size() != bundleCount || model.sizes().size() != bundleCount)
            state.SkipWithError("not every bundle was listed and sized");
    }
    std::vector<LVProcessRecord> records(LV_COLLECT_CAPACITY);
    uint32_t skipped = 0;
    const double runs = static_cast<double>(state.iterations());
    state.counters["processes"] = platform.collect(records, skipped);
    state.counters["list_ms"] = listed / runs / 1e6;
    state.counters["sized_ms"] = sized / runs / 1e6;
    state.counters["longest_main_gap_wall_ms"] = static_cast<double>(gaps.wall) / 1e6;
    state.counters["longest_main_step_cpu_ms"] = static_cast<double>(gaps.cpu) / 1e6;
}

// One look at the running applications over the listed 1,000, the step a quit wait repeats every 250 ms
// and every published list is followed by, until its outcome is applied: the CPU it costs on all threads
// and the longest step it takes on the main thread.
void BM_LibraryRefreshRunning(benchmark::State& state) {
    bundles();
    LinuxProcessPlatform platform;
    Pools pools;
    ApplicationLibraryModel model(false, services(platform, pools));
    model.scan();
    longestGaps([&] { return !model.scanning() && !model.sizing(); });
    Gaps gaps;
    const qint64 cpuBefore = cpuNanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    for (auto _ : state) {
        bool applied = false;
        model.refreshRunning([&] { applied = true; });
        gaps.add(longestGaps([&] { return applied; }));
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["cpu_ms"] =
        static_cast<double>(cpuNanoseconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore) / runs / 1e6;
    state.counters["longest_main_step_cpu_ms"] = static_cast<double>(gaps.cpu) / 1e6;
}

// Stops the listing shortly after it began, or the sizing after a tenth of the bundles, and measures until
// the background work has returned.
void BM_LibraryScanStop(benchmark::State& state) {
    const bool duringSizing = state.range(0) == 1;
    bundles();
    LinuxProcessPlatform platform;
    double latency = 0, longest = 0, finishedFirst = 0;
    for (auto _ : state) {
        std::atomic<qint64> returned = -1;
        std::atomic<bool> entered = false;
        QElapsedTimer clock;
        clock.start();
        Pools pools;
        ApplicationLibraryServices scripted = services(platform, pools);
        const auto scan = scripted.scan;
        scripted.scan = [&, scan](const CancellationToken& token) {
            entered = true;
            try {
                ApplicationScan result = scan(token);
                returned = clock.nsecsElapsed();
                return result;
            } catch (...) {
                returned = clock.nsecsElapsed();
                throw;
            }
        };
        scripted.bundleSize = [&](const InstalledApplication& application, const CancellationToken& token) {
            returned = -1;
            const int64_t size = ApplicationInventory::bundleSize(application, token);
            returned = clock.nsecsElapsed();
            return size;
        };
        ApplicationLibraryModel model(false, scripted);
        model.scan();
        if (duringSizing) {
            longestGaps([&] { return model.sizes().size() >= bundleCount / 10; });
        } else {
            while (!entered)
                QThread::usleep(100);
            QThread::usleep(2000);
        }
        const qint64 stopped = clock.nsecsElapsed();
        model.stopScanning();
        while (returned < 0 && clock.nsecsElapsed() - stopped < 5'000'000'000)
            QThread::usleep(50);
        // Between two sizes nothing is in flight; a listing that ended before the stop is counted apart.
        finishedFirst += !duringSizing && returned >= 0 && returned < stopped;
        const double wait = static_cast<double>(std::max<qint64>(0, returned - stopped));
        latency += wait;
        longest = std::max(longest, wait);
    }
    state.counters["stop_latency_ms"] = latency / static_cast<double>(state.iterations()) / 1e6;
    state.counters["worst_stop_latency_ms"] = longest / 1e6;
    state.counters["listings_done_before_stop"] = finishedFirst;
}

} // namespace

BENCHMARK(BM_LibraryScan)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LibraryRefreshRunning)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryScanStop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);
