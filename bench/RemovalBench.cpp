#include "core/applications/ApplicationInventory.h"
#include "core/applications/ApplicationRemovalService.h"
#include "fixtures/SignedCode.h"
#include "platform/BundleProcesses.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace lunorvale;

namespace {

constexpr int fileCount = 5000;
constexpr qint64 bundleBytes = 200ll << 20;

// A signed bundle of 200 MiB in 5000 sealed files, made once. The files are sparse: hashing still reads
// every byte of them, from the page cache rather than the disk.
struct LargeBundle {
    QTemporaryDir root;
    QString applications = QDir(root.path()).canonicalPath() + QStringLiteral("/Applications");
    QString path = applications + QStringLiteral("/Large.app");

    LargeBundle() {
        QDir().mkpath(path + QStringLiteral("/Contents/MacOS"));
        QFile info(path + QStringLiteral("/Contents/Info.plist"));
        info.open(QIODevice::WriteOnly);
        info.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                   "<key>CFBundleIdentifier</key><string>com.example.large</string>"
                   "<key>CFBundleExecutable</key><string>Large</string>"
                   "<key>CFBundlePackageType</key><string>APPL</string></dict></plist>");
        info.close();
        for (int index = 0; index < fileCount; ++index) {
            const QString folder = path + QStringLiteral("/Contents/Resources/%1").arg(index / 100);
            QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/%1.bin").arg(index));
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray::number(index)); // no two files alike
            file.resize(bundleBytes / fileCount);
        }
        fixture::signBundle(path);
    }

    ApplicationRemovalService service() const {
        ApplicationRemovalService::Operations operations;
        operations.components = [](const InstalledApplication& application, const CancellationToken& token) {
            ApplicationRemovalService::checkComponents(application, {}, token);
        };
        return ApplicationRemovalService(
            {QUrl::fromLocalFile(applications)},
            ApplicationRemovalLog(QUrl::fromLocalFile(root.path() + "/log.json")), operations);
    }
    InstalledApplication application() const {
        return ApplicationInventory::checkedRead(QUrl::fromLocalFile(path));
    }
};

const LargeBundle& largeBundle() {
    static const LargeBundle bundle;
    return bundle;
}

// The whole check: identity, components (the bundle walk), signature (every sealed byte hashed), running.
void BM_PrepareRemovalOfLargeBundle(benchmark::State& state) {
    const ApplicationRemovalService service = largeBundle().service();
    const InstalledApplication application = largeBundle().application();
    for (auto _ : state)
        benchmark::DoNotOptimize(service.prepare(application, {}));
    state.SetBytesProcessed(state.iterations() * bundleBytes);
    state.counters["files"] = fileCount;
}
BENCHMARK(BM_PrepareRemovalOfLargeBundle)->Unit(benchmark::kMillisecond)->UseRealTime();

// Non-dumpable processes of this user, of `threads` threads each, whose executable links are closed to
// it: the tests' program (from the folder LUNORVALE_TEST_PROGRAMS names, where copies lie that the user
// can run), started here and ended with this object.
class ClosedProcesses final {
public:
    ClosedProcesses(int count, int threads) {
        const char* folder = std::getenv("LUNORVALE_TEST_PROGRAMS");
        std::string program = LUNORVALE_UNDUMPABLE;
        if (folder != nullptr && *folder != '\0')
            program = std::string(folder) + "/" + std::filesystem::path(program).filename().string();
        std::vector<std::string> environment = {"LUNORVALE_THREADS=" + std::to_string(threads)};
        std::vector<char*> variables{environment.front().data()};
        for (char** variable = environ; *variable != nullptr; ++variable)
            variables.push_back(*variable);
        variables.push_back(nullptr);
        char* argv[] = {program.data(), nullptr};
        for (int index = 0; index < count; ++index) {
            pid_t pid = 0;
            if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, variables.data()) != 0) {
                m_failure = program + " could not be started";
                return;
            }
            m_pids.push_back(pid);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (const pid_t pid : m_pids) {
            const std::string link = "/proc/" + std::to_string(pid) + "/exe";
            char target[1];
            while (readlink(link.c_str(), target, sizeof target) >= 0 || errno != EACCES) {
                if (waitpid(pid, nullptr, WNOHANG) == pid || std::chrono::steady_clock::now() > deadline) {
                    m_failure = program + " ended, or its link stayed open";
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
    ~ClosedProcesses() {
        for (const pid_t pid : m_pids)
            kill(pid, SIGKILL);
        for (const pid_t pid : m_pids)
            waitpid(pid, nullptr, 0);
    }
    ClosedProcesses(const ClosedProcesses&) = delete;
    ClosedProcesses& operator=(const ClosedProcesses&) = delete;

    // Why they are not all there, closed; empty when they are.
    const std::string& failure() const { return m_failure; }

private:
    std::vector<pid_t> m_pids;
    std::string m_failure;
};

// The running check of a small bundle none of them runs, beside 200 closed processes of 50 threads
// each: the name of every thread is asked about. Their links are open to root.
void BM_RunningCheckBesideClosedProcesses(benchmark::State& state) {
    if (geteuid() == 0) {
        state.SkipWithError("root reads every link: run as another user");
        return;
    }
    constexpr int processes = 200;
    constexpr int threads = 50;
    const ClosedProcesses closed(processes, threads);
    if (!closed.failure().empty()) {
        state.SkipWithError(closed.failure().c_str());
        return;
    }
    QTemporaryDir root;
    const QString bundle = QDir(root.path()).canonicalPath() + QStringLiteral("/Small.app");
    QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS"));
    QFile program(bundle + QStringLiteral("/Contents/MacOS/Small"));
    program.open(QIODevice::WriteOnly);
    program.write("#!/bin/sh\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const SystemBundleProcesses running;
    if (running.runningFrom(bundle).answer != BundleProcesses::Answer::none) {
        state.SkipWithError("the check found the bundle running");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(running.runningFrom(bundle));
    state.counters["processes"] = processes;
    state.counters["threads"] = threads;
}
BENCHMARK(BM_RunningCheckBesideClosedProcesses)->Unit(benchmark::kMillisecond)->UseRealTime();

// From the cancel, made while the signature is being checked, to the check's return.
void BM_PrepareRemovalCancelLatency(benchmark::State& state) {
    const ApplicationRemovalService service = largeBundle().service();
    const InstalledApplication application = largeBundle().application();
    double slowest = 0;
    for (auto _ : state) {
        CancellationSource source;
        std::atomic<bool> signing = false;
        std::chrono::steady_clock::time_point ended;
        std::thread worker([&] {
            try {
                service.prepare(
                    application,
                    [&](ApplicationRemovalPhase phase) {
                        signing = phase == ApplicationRemovalPhase::signature;
                    },
                    source.token());
            } catch (const CancellationError&) {
            }
            ended = std::chrono::steady_clock::now();
        });
        while (!signing)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const auto cancelled = std::chrono::steady_clock::now();
        source.cancel();
        worker.join();
        const double seconds = std::chrono::duration<double>(ended - cancelled).count();
        slowest = std::max(slowest, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["slowest_ms"] = slowest * 1000;
}
BENCHMARK(BM_PrepareRemovalCancelLatency)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

} // namespace
