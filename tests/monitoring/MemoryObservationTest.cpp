#include "core/monitoring/MemoryObservation.h"
#include "SnapshotFixtures.h"
#include "core/monitoring/DisplayFormat.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::fixtures;

namespace {
constexpr uint64_t MiB = 1024 * 1024;

MonitorSnapshot withPressure(double t, SystemMemoryPressure pressure, QList<ProcessSample> processes = {}) {
    MonitorSnapshot snapshot = snapshotAt(t, std::move(processes));
    SystemMemorySnapshot memory;
    memory.pressure = pressure;
    snapshot.systemMemory = memory;
    return snapshot;
}

ProcessSample resident(int32_t pid, uint64_t bytes) {
    ProcessSample sample = process(pid, 1);
    sample.residentBytes = bytes;
    return sample;
}

// Feeds one process with the given sizes 30 s apart and returns the times at which it was reported.
QList<double> growthReports(const QList<uint64_t>& sizes) {
    MemoryObservationDetector detector;
    QList<double> times;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const double t = 30.0 * static_cast<double>(i);
        for (const auto& observation :
             detector.observe(snapshotAt(t, {resident(42, sizes[i])}), MonitorSettings{})) {
            if (observation.kind == MemoryObservation::Kind::growth)
                times.append(t);
        }
    }
    return times;
}
} // namespace

TEST(MemoryObservationDetector, PressureHeldForAMinute) {
    MemoryObservationDetector detector;
    EXPECT_TRUE(
        detector.observe(withPressure(0, SystemMemoryPressure::warning), MonitorSettings{}).isEmpty());
    EXPECT_TRUE(
        detector.observe(withPressure(30, SystemMemoryPressure::critical), MonitorSettings{}).isEmpty());
    const auto observations =
        detector.observe(withPressure(60, SystemMemoryPressure::warning), MonitorSettings{});
    ASSERT_EQ(observations.size(), 1);
    EXPECT_EQ(observations[0].id(), QStringLiteral("pressure"));
    EXPECT_EQ(observations[0].sustainedSeconds, 60);
    EXPECT_FALSE(observations[0].processIdentity);
    EXPECT_EQ(observations[0].title, QStringLiteral("整机内存压力持续偏高"));
    EXPECT_EQ(
        observations[0].explanation(),
        QStringLiteral("系统报告的内存压力已连续偏高约 1 "
                       "分钟。可先保存工作，再查看内存合计靠前的应用；占用高不代表某个应用一定有问题。"));

    // A normal reading, or none at all, starts the stretch again.
    EXPECT_TRUE(
        detector.observe(withPressure(90, SystemMemoryPressure::normal), MonitorSettings{}).isEmpty());
    EXPECT_TRUE(
        detector.observe(withPressure(120, SystemMemoryPressure::warning), MonitorSettings{}).isEmpty());
    EXPECT_TRUE(detector.observe(snapshotAt(150), MonitorSettings{}).isEmpty());
    EXPECT_TRUE(
        detector.observe(withPressure(180, SystemMemoryPressure::warning), MonitorSettings{}).isEmpty());
    EXPECT_TRUE(
        detector.observe(withPressure(210, SystemMemoryPressure::warning), MonitorSettings{}).isEmpty());
    EXPECT_EQ(detector.observe(withPressure(240, SystemMemoryPressure::warning), MonitorSettings{}).size(),
              1);
}

TEST(MemoryObservationDetector, GapsAndClocksResetTheDetector) {
    struct Case {
        double secondTime;
        QDateTime secondDate; // invalid: derived from the time
        bool continues;
    };
    const Case cases[] = {
        {75, {}, true},
        {76, {}, false},
        {0, {}, false},
        {-5, {}, false},
        {30, baseDate().addSecs(-1), false}, // the wall clock went back
    };
    for (const Case& c : cases) {
        MemoryObservationDetector detector;
        detector.observe(withPressure(0, SystemMemoryPressure::warning), MonitorSettings{});
        MonitorSnapshot second = withPressure(c.secondTime, SystemMemoryPressure::warning);
        if (c.secondDate.isValid())
            second.timestamp = c.secondDate;
        const auto observations = detector.observe(second, MonitorSettings{});
        EXPECT_EQ(observations.size(), c.continues ? 1 : 0) << c.secondTime;
    }

    MemoryObservationDetector detector;
    detector.observe(withPressure(0, SystemMemoryPressure::warning), MonitorSettings{});
    EXPECT_TRUE(detector.observe(withPressure(std::nan(""), SystemMemoryPressure::warning), MonitorSettings{})
                    .isEmpty());
    EXPECT_TRUE(
        detector.observe(withPressure(60, SystemMemoryPressure::warning), MonitorSettings{}).isEmpty());
}

TEST(MemoryObservationDetector, SteadyGrowthReportedBetween300And900Seconds) {
    QList<uint64_t> sizes;
    for (int i = 0; i <= 45; ++i)
        sizes.append((1024 + 64 * static_cast<uint64_t>(i)) * MiB);
    const QList<double> times = growthReports(sizes);
    ASSERT_FALSE(times.isEmpty());
    EXPECT_EQ(times.first(), 300);
    // Reported on every snapshot up to an age of 900 s; at 930 s the run begins again and the
    // next report needs 300 s and, from the larger baseline of 3008 MiB, growth of a quarter (752 MiB).
    EXPECT_EQ(times.count(900), 1);
    EXPECT_EQ(times.count(930), 0);
    EXPECT_EQ(times[times.indexOf(900) + 1], 1290);

    MemoryObservationDetector detector;
    QList<MemoryObservation> observations;
    for (int i = 0; i <= 10; ++i) {
        observations = detector.observe(withPressure(30.0 * i, SystemMemoryPressure::critical,
                                                     {resident(9, sizes[i]), resident(10, sizes[i])}),
                                        MonitorSettings{});
    }
    ASSERT_EQ(observations.size(), 3);
    const ProcessSample reported = resident(10, sizes[10]);
    EXPECT_EQ(observations[0].id(), QStringLiteral("pressure"));
    EXPECT_EQ(observations[1].id(),
              QStringLiteral("growth:") + reported.identity.key()); // "growth:10:…" < "growth:9:…"
    EXPECT_EQ(observations[1].sustainedSeconds, 300);
    EXPECT_EQ(observations[1].title, QStringLiteral("worker 的驻留内存近期增长"));
    EXPECT_EQ(observations[1].detail, QStringLiteral("约 5 分钟 内增加 640 MB，当前为 ") +
                                          DisplayFormat::memory(sizes[10]) +
                                          QStringLiteral("。这可能来自缓存或正在处理的数据，不能据此确认内存"
                                                         "泄漏。可结合应用进度和整机内存压力继续观察。"));
}

TEST(MemoryObservationDetector, DropTolerancesAtTheirBoundaries) {
    // Start, dip at 30 s, then a steep rise: a kept run is reported at 300 s, a restarted one at 330 s.
    struct Case {
        uint64_t start;
        uint64_t dip;
        double firstReport;
    };
    const Case cases[] = {
        {100 * MiB, 84 * MiB, 300},                 // exactly 16 MiB
        {100 * MiB, 84 * MiB - MiB / 10, 330},      // 16.1 MiB
        {1000 * MiB, 950 * MiB, 300},               // exactly 5 %
        {1000 * MiB, 949 * MiB, 330},               // 51 MiB
        {319 * MiB, 319 * MiB - 16 * MiB - 1, 330}, // below 320 MiB the fixed tolerance applies
    };
    for (const Case& c : cases) {
        QList<uint64_t> sizes{c.start, c.dip};
        for (int i = 1; i <= 14; ++i)
            sizes.append(c.start + 200 * MiB * static_cast<uint64_t>(i));
        const QList<double> times = growthReports(sizes);
        ASSERT_FALSE(times.isEmpty()) << c.start << " " << c.dip;
        EXPECT_EQ(times.first(), c.firstReport) << c.start << " " << c.dip;
    }
}

TEST(MemoryObservationDetector, GrowthThatIsSmallOrFlatIsNotReported) {
    QList<uint64_t> large;
    QList<uint64_t> flat;
    for (int i = 0; i <= 20; ++i) {
        large.append(4096 * MiB +
                     15 * MiB * static_cast<uint64_t>(i)); // 300 MiB in total: under 25 % of 4 GiB
        flat.append(2048 * MiB);
    }
    EXPECT_TRUE(growthReports(large).isEmpty());
    EXPECT_TRUE(growthReports(flat).isEmpty());

    // A changed command line under the same identity begins a new run.
    MemoryObservationDetector detector;
    int reports = 0;
    for (int i = 0; i <= 12; ++i) {
        ProcessSample sample = resident(3, (1024 + 64 * static_cast<uint64_t>(i)) * MiB);
        if (i >= 5)
            sample.command = QStringLiteral("worker --again");
        reports +=
            static_cast<int>(detector.observe(snapshotAt(30.0 * i, {sample}), MonitorSettings{}).size());
    }
    EXPECT_EQ(reports, 0); // the run began at 150 s and is 210 s old at the last snapshot
    EXPECT_EQ(MemoryObservation::kindFromRawValue(QStringLiteral("growth")), MemoryObservation::Kind::growth);
    EXPECT_FALSE(MemoryObservation::kindFromRawValue(QStringLiteral("Growth")));
}
