#include "core/monitoring/AnomalyDetector.h"
#include "SnapshotFixtures.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::fixtures;

namespace {
// With the shortest duration every run is reported, so its length is visible after each call.
MonitorSettings quick(double threshold = 90) {
    return MonitorSettings{30, threshold, 30, true};
}

// The run length of the first finding, absent when there is none.
std::optional<double> run(AnomalyDetector& detector, double t, const ProcessSample& sample,
                          const QSet<ProcessIdentity>& muted = {}) {
    const auto findings = detector.observe(snapshotAt(t, {sample}), quick(), muted);
    return findings.isEmpty() ? std::nullopt : std::optional(findings.first().sustainedSeconds);
}
} // namespace

TEST(AnomalyDetector, FirstFindingWithTheEleventhSnapshotWordedExactly) {
    AnomalyDetector detector;
    ProcessSample busy = process(501, 95.0);
    busy.source = QStringLiteral("Editor");
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(detector.observe(snapshotAt(i * 30.0, {busy}), MonitorSettings{}).isEmpty()) << i;
    const auto findings = detector.observe(snapshotAt(300, {busy}), MonitorSettings{});
    ASSERT_EQ(findings.size(), 1);
    EXPECT_EQ(findings[0].sustainedSeconds, 300);
    EXPECT_EQ(findings[0].title, QStringLiteral("\u2068Editor\u2069 持续高占用"));
    EXPECT_EQ(
        findings[0].explanation,
        QStringLiteral("已连续观察到约 5 分钟 的高 CPU 占用（区间均值达到 90%）。任务已运行 1.0 小时。"
                       "这说明资源消耗较高；编译、渲染和计算任务也可能正常。仅凭这些指标不能确认卡死。"));
    EXPECT_EQ(detector.observe(snapshotAt(330, {busy}), MonitorSettings{}).value(0).sustainedSeconds, 330);
}

TEST(AnomalyDetector, StepsBetweenSnapshots) {
    // Run length after the step (absent: runs emptied); the detector stays armed either way.
    const std::pair<double, std::optional<double>> cases[] = {
        {75, 105}, {75.001, std::nullopt}, {0, std::nullopt}, {-10, std::nullopt}, {NAN, std::nullopt}};
    for (const auto& [step, expected] : cases) {
        AnomalyDetector detector;
        const ProcessSample busy = process(7, 95.0);
        EXPECT_FALSE(run(detector, 1000, busy));
        EXPECT_EQ(run(detector, 1030, busy), 30);
        EXPECT_EQ(run(detector, 1030 + step, busy), expected) << step;
        if (std::isfinite(step)) {
            EXPECT_EQ(run(detector, 1060 + step, busy), expected.value_or(0) + 30) << step;
        }
    }
}

TEST(AnomalyDetector, ChangedCommandMuteAndUnknownCpuEndTheRun) {
    AnomalyDetector detector;
    ProcessSample busy = process(7, 95.0);
    run(detector, 0, busy);
    EXPECT_EQ(run(detector, 30, busy), 30);
    busy.command = QStringLiteral("worker --other");
    EXPECT_FALSE(run(detector, 60, busy));
    EXPECT_EQ(run(detector, 90, busy), 30);
    EXPECT_FALSE(run(detector, 120, busy, {busy.identity}));
    EXPECT_EQ(run(detector, 150, busy), 30);
    double t = 150;
    for (const std::optional<double> cpu : {std::optional<double>(), std::optional<double>(INFINITY)}) {
        ProcessSample unknown = busy;
        unknown.cpuPercent = cpu;
        EXPECT_FALSE(run(detector, t += 30, unknown));
        EXPECT_EQ(run(detector, t += 30, busy), 30);
    }
    detector.reset();
    EXPECT_FALSE(run(detector, t += 30, busy));
}

TEST(AnomalyDetector, ThresholdBoundariesTextsAndOrder) {
    // stored threshold, CPU, the threshold as the explanation shows it (null: not high)
    const std::tuple<double, double, const char*> cases[] = {{90, 90, "90%）"},     {90, 89.999, nullptr},
                                                             {12.7, 12.7, "12%）"}, {12.7, 12.69, nullptr},
                                                             {NAN, 90, "90%）"},    {5, 10, "10%）"}};
    for (const auto& [threshold, cpu, shown] : cases) {
        AnomalyDetector detector;
        const ProcessSample sample = process(9, cpu); // no source: titled with its name
        detector.observe(snapshotAt(0, {sample}), quick(threshold));
        const auto findings = detector.observe(snapshotAt(30, {sample}), quick(threshold));
        ASSERT_EQ(findings.size(), shown ? 1 : 0) << threshold << " " << cpu;
        if (shown) {
            EXPECT_EQ(findings[0].title, QStringLiteral("\u2068worker\u2069 持续高占用"));
            EXPECT_TRUE(findings[0].explanation.contains(QString::fromUtf8(shown)));
        }
    }
    AnomalyDetector detector;
    const QList<ProcessSample> processes{process(1, 95), process(2, 150), process(3, 95)};
    detector.observe(snapshotAt(0, processes), quick());
    QList<int32_t> order;
    for (const Finding& finding : detector.observe(snapshotAt(30, processes), quick()))
        order << finding.id().pid;
    EXPECT_EQ(order, (QList<int32_t>{2, 1, 3}));
}

// A timer and a collection of varying length make intervals a few milliseconds short or long; a run of
// n of them still lasts n intervals, while intervals a person would call shorter count as measured.
TEST(AnomalyDetector, JitteredIntervalsCountAsWholeIntervals) {
    const struct {
        double interval, duration;
        QList<double> intervals; // their lengths in turn
        qsizetype firstFinding;  // index of the sample
        double sustained;
    } rows[] = {
        {30, 300, {30}, 10, 300},
        {30, 300, {29.999}, 10, 300},
        {30, 300, {30.003}, 10, 300},
        {30, 300, {29.996, 30.002}, 10, 300},
        {5, 30, {4.998, 5.001, 4.999}, 6, 30},
        {120, 3600, {119.98}, 30, 3600},
        {30, 100, {29.999}, 4, 120},                      // not a whole number of intervals: the next one
        {30, 300, {30, 30, 30, 30, 11.5, 18.5}, 12, 300}, // a manual sample between two of the timer's
        {30, 300, {26}, 12, 312},
    };
    for (const auto& row : rows) {
        const MonitorSettings settings{row.interval, 90, row.duration, false};
        const QList<double> times = sampleTimes(row.intervals, row.firstFinding + 2);
        AnomalyDetector detector;
        std::optional<qsizetype> found;
        double sustained = 0;
        for (qsizetype i = 0; i < times.size() && !found; ++i) {
            const auto findings = detector.observe(snapshotAt(times[i], {process(7, 95)}), settings);
            if (!findings.isEmpty()) {
                found = i;
                sustained = findings[0].sustainedSeconds;
            }
        }
        EXPECT_EQ(found, row.firstFinding) << row.interval << " " << row.intervals.first();
        EXPECT_EQ(sustained, row.sustained) << row.interval << " " << row.intervals.first();
    }
}
