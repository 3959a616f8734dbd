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

ProcessSample resident(int32_t pid, uint64_t bytes) {
    ProcessSample sample = process(pid, 1);
    sample.residentBytes = bytes;
    return sample;
}

// One process with the given sizes 30 s apart: the times at which it was reported. Its command line
// changes with the size at index `changeAt`.
QList<double> growthReports(const QList<uint64_t>& sizes, qsizetype changeAt = -1) {
    MemoryObservationDetector detector;
    QList<double> times;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        ProcessSample sample = resident(42, sizes[i]);
        if (changeAt >= 0 && i >= changeAt)
            sample.command = QStringLiteral("worker --again");
        if (!detector.observe(at(30.0 * i, {}, {sample}), MonitorSettings{}).isEmpty())
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
    // time of the second snapshot, ms added to its wall clock, whether the pressure stretch goes on
    const std::tuple<double, qint64, bool> cases[] = {
        {75, 0, true}, {76, 0, false}, {0, 0, false}, {-5, 0, false}, {30, -31000, false}};
    for (const auto& [time, wallShift, continues] : cases) {
        MemoryObservationDetector detector;
        detector.observe(at(0, Pressure::warning), MonitorSettings{});
        MonitorSnapshot second = at(time, Pressure::warning);
        second.timestamp = second.timestamp.addMSecs(wallShift);
        EXPECT_EQ(detector.observe(second, MonitorSettings{}).size(), continues ? 1 : 0) << time;
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
    EXPECT_EQ(observations[1].title, QStringLiteral("\u2068worker\u2069 的驻留内存近期增长"));
    EXPECT_EQ(observations[1].detail, QStringLiteral("约 5 分钟 内增加 640 MB，当前为 ") +
                                          DisplayFormat::memory(sizes[10]) +
                                          QStringLiteral("。这可能来自缓存或正在处理的数据，不能据此确认内存"
                                                         "泄漏。可结合应用进度和整机内存压力继续观察。"));
}

TEST(MemoryObservationDetector, WhenGrowthIsFirstReported) {
    // Sizes 30 s apart; a dip at 30 s that keeps the run gives a report at 300 s, a restart one at 330 s.
    const auto dip = [](uint64_t start, uint64_t to) {
        QList<uint64_t> sizes = rising(start, 200 * MiB, 15);
        sizes.insert(1, to);
        return sizes;
    };
    const std::pair<QList<uint64_t>, double> cases[] = {
        {dip(100 * MiB, 84 * MiB), 300},                             // a drop of exactly 16 MiB
        {dip(100 * MiB, 84 * MiB - MiB / 10), 330},                  // 16.1 MiB
        {dip(1000 * MiB, 950 * MiB), 300},                           // exactly 5 %
        {dip(1000 * MiB, 949 * MiB), 330},                           // 51 MiB
        {dip(319 * MiB, 303 * MiB - 1), 330},                        // below 320 MiB the 16 MiB apply
        {rising(4096 * MiB, 15 * MiB, 21), 0},                       // 300 MiB: under 25 % of 4 GiB
        {rising(2048 * MiB, 0, 21), 0},                              // flat
        {QList<uint64_t>{1000 * MiB} + rising(960 * MiB, 1, 15), 0}, // rising, but below the start
        {rising(1024 * MiB, 0, 10) + rising(1324 * MiB, 1, 5), 420}, // one jump needs five rises
        {rising(100 * MiB, 20 * MiB, 15), 390},                      // growth of 256 MiB at least
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(growthReports(cases[i].first).value(0), cases[i].second) << i;
    // A changed command line begins a new run: at 150 s, so it is only 210 s old at the end.
    EXPECT_TRUE(growthReports(rising(1024 * MiB, 64 * MiB, 13), 5).isEmpty());
}

// Samples a few milliseconds early or late find what exact ones find, at the same samples and with the
// same lengths: the pressure after a minute, growth from 300 s and its new run after 900 s.
TEST(MemoryObservationDetector, JitteredIntervalsCountAsWholeIntervals) {
    // Each sample i at i intervals, moved by the offsets in turn.
    const auto reports = [](double interval, const QList<double>& offsets) {
        const MonitorSettings settings{interval, 90, 300, false};
        MemoryObservationDetector detector;
        QList<std::tuple<qsizetype, double, std::string>> found;
        for (qsizetype i = 0; i * interval <= 1500; ++i) {
            const double t = double(i) * interval + offsets[i % offsets.size()];
            const ProcessSample sample = resident(42, 1024 * MiB + 64 * MiB * uint64_t(i));
            for (const MemoryObservation& observation :
                 detector.observe(at(t, Pressure::warning, {sample}), settings))
                found.append({i, observation.sustainedSeconds, observation.detail.toStdString()});
        }
        return found;
    };
    for (const double interval : {30.0, 5.0}) {
        const auto exact = reports(interval, {0});
        ASSERT_FALSE(exact.isEmpty());
        for (const QList<double>& offsets :
             {QList<double>{0, -0.002}, QList<double>{0.001, 0}, QList<double>{0.003, -0.004, 0.002}}) {
            const auto jittered = reports(interval, offsets);
            EXPECT_EQ(jittered.size(), exact.size()) << interval << " " << offsets.size();
            for (qsizetype i = 0; i < std::min(jittered.size(), exact.size()); ++i)
                ASSERT_EQ(jittered[i], exact[i]) << interval << " " << offsets.size() << " report " << i;
        }
    }
}
