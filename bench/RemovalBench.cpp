#include "core/applications/ApplicationInventory.h"
#include "core/applications/ApplicationRemovalService.h"
#include "fixtures/SignedCode.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <thread>

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
