#include "core/monitoring/MemoryObservation.h"
#include "SnapshotFixtures.h"
#include "core/monitoring/DisplayFormat.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::fixtures;

namespace {
constexpr uint64_t MiB = 1024 * 1024;
using Pressure = SystemMemoryPressure;

MonitorSnapshot at(double t, std::optional<Pressure> pressure, QList<ProcessSample> processes = {}) {
    MonitorSnapshot snapshot = snapshotAt(t, std::move(processes));
    if (pressure)
        snapshot.systemMemory = SystemMemorySnapshot{{}, {}, {}, {}, *pressure};
    return snapshot;
}

ProcessSample resident(int32_t pid, uint64_t bytes, QString command = QStringLiteral("worker --run")) {
    ProcessSample sample = process(pid, 1, QStringLiteral("/usr/bin/worker"), std::move(command));
    sample.residentBytes = bytes;
    return sample;
}

// One process with the given sizes 30 s apart: the times at which it was reported.
QList<double> growthReports(const QList<uint64_t>& sizes) {
    MemoryObservationDetector detector;
    QList<double> times;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        if (!detector.observe(at(30.0 * i, {}, {resident(42, sizes[i])}), MonitorSettings{}).isEmpty())
            times.append(30.0 * i);
    }
    return times;
}

QList<uint64_t> rising(uint64_t start, uint64_t step, int count) {
    QList<uint64_t> sizes;
    for (int i = 0; i < count; ++i)
        sizes.append(start + step * static_cast<uint64_t>(i));
    return sizes;
}
} // namespace

TEST(MemoryObservationDetector, PressureHeldForAMinute) {
    MemoryObservationDetector detector;
    // Reported once a stretch is 60 s old; a normal reading, or none, starts it again.
    const std::pair<std::optional<Pressure>, size_t> steps[] = {
        {Pressure::warning, 0}, {Pressure::critical, 0}, {Pressure::warning, 1},
        {Pressure::normal, 0},  {Pressure::warning, 0},  {std::nullopt, 0},
        {Pressure::warning, 0}, {Pressure::warning, 0},  {Pressure::warning, 1}};
    QList<MemoryObservation> observations;
    for (size_t i = 0; i < std::size(steps); ++i) {
        observations = detector.observe(at(30.0 * i, steps[i].first), MonitorSettings{});
        EXPECT_EQ(size_t(observations.size()), steps[i].second) << i;
    }
    EXPECT_EQ(observations[0].id(), QStringLiteral("pressure"));
    EXPECT_EQ(observations[0].sustainedSeconds, 60);
    EXPECT_FALSE(observations[0].processIdentity);
    EXPECT_EQ(observations[0].title, QStringLiteral("整机内存压力持续偏高"));
    EXPECT_EQ(observations[0].detail,
              QStringLiteral("系统报告的内存压力已连续偏高约 1 分钟。可先保存工作，再查看内存合计靠前的应用；"
                             "占用高不代表某个应用一定有问题。"));
}

TEST(MemoryObservationDetector, GapsAndClocksResetTheDetector) {
    const struct {
        double time;
        qint64 wallShift; // ms added to the wall clock derived from the time
        bool continues;
    } cases[] = {{75, 0, true}, {76, 0, false}, {0, 0, false}, {-5, 0, false}, {30, -31000, false}};
    for (const auto& c : cases) {
        MemoryObservationDetector detector;
        detector.observe(at(0, Pressure::warning), MonitorSettings{});
        MonitorSnapshot second = at(c.time, Pressure::warning);
        second.timestamp = second.timestamp.addMSecs(c.wallShift);
        EXPECT_EQ(detector.observe(second, MonitorSettings{}).size(), c.continues ? 1 : 0) << c.time;
    }
    MemoryObservationDetector detector;
    detector.observe(at(0, Pressure::warning), MonitorSettings{});
    EXPECT_TRUE(detector.observe(at(NAN, Pressure::warning), MonitorSettings{}).isEmpty());
    EXPECT_TRUE(detector.observe(at(60, Pressure::warning), MonitorSettings{}).isEmpty());
}

TEST(MemoryObservationDetector, SteadyGrowthReportedBetween300And900Seconds) {
    const QList<uint64_t> sizes = rising(1024 * MiB, 64 * MiB, 46);
    const QList<double> times = growthReports(sizes);
    ASSERT_FALSE(times.isEmpty());
    EXPECT_EQ(times.first(), 300);
    // At 930 s the run begins again at 3008 MiB and then needs a quarter of that (752 MiB) more.
    EXPECT_EQ(times[times.indexOf(900) + 1], 1290);

    MemoryObservationDetector detector;
    QList<MemoryObservation> observations;
    for (int i = 0; i <= 10; ++i) {
        observations = detector.observe(
            at(30.0 * i, Pressure::critical, {resident(9, sizes[i]), resident(10, sizes[i])}),
            MonitorSettings{});
    }
    ASSERT_EQ(observations.size(), 3);
    const ProcessSample reported = resident(10, sizes[10]);
    EXPECT_EQ(observations[0].id(), QStringLiteral("pressure"));
    // "growth:10:…" sorts before "growth:9:…".
    EXPECT_EQ(observations[1].id(), QStringLiteral("growth:") + reported.identity.key());
    EXPECT_EQ(observations[1].sustainedSeconds, 300);
    EXPECT_EQ(observations[1].title, QStringLiteral("worker 的驻留内存近期增长"));
    EXPECT_EQ(observations[1].detail, QStringLiteral("约 5 分钟 内增加 640 MB，当前为 ") +
                                          DisplayFormat::memory(sizes[10]) +
                                          QStringLiteral("。这可能来自缓存或正在处理的数据，不能据此确认内存"
                                                         "泄漏。可结合应用进度和整机内存压力继续观察。"));
}

TEST(MemoryObservationDetector, DropTolerancesAtTheirBoundaries) {
    // Start, dip at 30 s, then a steep rise: a kept run is reported at 300 s, a restarted one at 330 s.
    const struct {
        uint64_t start, dip;
        double firstReport;
    } cases[] = {
        {100 * MiB, 84 * MiB, 300},                 // exactly 16 MiB
        {100 * MiB, 84 * MiB - MiB / 10, 330},      // 16.1 MiB
        {1000 * MiB, 950 * MiB, 300},               // exactly 5 %
        {1000 * MiB, 949 * MiB, 330},               // 51 MiB
        {319 * MiB, 319 * MiB - 16 * MiB - 1, 330}, // below 320 MiB the fixed tolerance applies
    };
    for (const auto& c : cases) {
        QList<uint64_t> sizes = rising(c.start, 200 * MiB, 15);
        sizes.insert(1, c.dip);
        const QList<double> times = growthReports(sizes);
        EXPECT_EQ(times.value(0), c.firstReport) << c.start << " " << c.dip;
    }
}

TEST(MemoryObservationDetector, SmallFlatOrChangedProcessesAreNotReported) {
    EXPECT_TRUE(growthReports(rising(4096 * MiB, 15 * MiB, 21)).isEmpty()); // 300 MiB < 25 % of 4 GiB
    EXPECT_TRUE(growthReports(rising(2048 * MiB, 0, 21)).isEmpty());
    EXPECT_TRUE(
        growthReports(QList<uint64_t>{1000 * MiB} + rising(960 * MiB, 1, 15)).isEmpty()); // below start
    // One large jump at 300 s is reported only once the size has risen five times (by a byte will do).
    QList<uint64_t> jump = rising(1024 * MiB, 0, 10) + rising(1324 * MiB, 1, 5);
    EXPECT_EQ(growthReports(jump).value(0), 420);
    EXPECT_EQ(growthReports(rising(100 * MiB, 20 * MiB, 15)).value(0), 390); // 256 MiB needed at least
    // A changed command line under the same identity begins a new run (at 150 s; 210 s old at the end).
    MemoryObservationDetector detector;
    const QList<uint64_t> sizes = rising(1024 * MiB, 64 * MiB, 13);
    for (int i = 0; i < 13; ++i) {
        const auto sample =
            resident(3, sizes[i], i >= 5 ? QStringLiteral("worker --again") : QStringLiteral("w"));
        EXPECT_TRUE(detector.observe(at(30.0 * i, {}, {sample}), MonitorSettings{}).isEmpty()) << i;
    }
}
