#include "core/monitoring/AnomalyDetector.h"
#include "SnapshotFixtures.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::fixtures;

namespace {
// With the shortest duration a run shows up as a finding on every call, so its length is visible.
MonitorSettings shortDuration() {
    MonitorSettings settings;
    settings.sustainedSeconds = 30;
    return settings;
}

std::optional<double> sustained(const QList<Finding>& findings) {
    if (findings.isEmpty())
        return std::nullopt;
    return findings.first().sustainedSeconds;
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
    EXPECT_EQ(findings[0].id(), busy.identity);
    EXPECT_EQ(findings[0].sustainedSeconds, 300);
    EXPECT_EQ(findings[0].title, QStringLiteral("Editor 持续高占用"));
    EXPECT_EQ(
        findings[0].explanation,
        QStringLiteral("已连续观察到约 5 分钟 的高 CPU 占用（区间均值达到 90%）。任务已运行 1.0 小时。"
                       "这说明资源消耗较高；编译、渲染和计算任务也可能正常。仅凭这些指标不能确认卡死。"));
    EXPECT_EQ(sustained(detector.observe(snapshotAt(330, {busy}), MonitorSettings{})), 330);
}

TEST(AnomalyDetector, StepsBetweenSnapshots) {
    struct Case {
        double step;
        std::optional<double> expected; // run length after the step; absent when the runs were emptied
    };
    const Case cases[] = {
        {30, 60}, {75, 105}, {75.001, std::nullopt}, {0, std::nullopt}, {-10, std::nullopt}};
    for (const Case& c : cases) {
        AnomalyDetector detector;
        const ProcessSample busy = process(7, 95.0);
        detector.observe(snapshotAt(1000, {busy}), shortDuration());
        ASSERT_EQ(sustained(detector.observe(snapshotAt(1030, {busy}), shortDuration())), 30);
        EXPECT_EQ(sustained(detector.observe(snapshotAt(1030 + c.step, {busy}), shortDuration())), c.expected)
            << c.step;
        // Still armed: the next regular interval counts at once, from zero when the runs were emptied.
        EXPECT_EQ(sustained(detector.observe(snapshotAt(1060 + c.step, {busy}), shortDuration())),
                  c.expected ? *c.expected + 30 : 30)
            << c.step;
    }
}

TEST(AnomalyDetector, ChangedCommandMutedAndMissingCpuEndRuns) {
    AnomalyDetector detector;
    const ProcessSample busy = process(7, 95.0);
    ProcessSample changed = busy;
    changed.command = QStringLiteral("worker --other");
    detector.observe(snapshotAt(0, {busy}), shortDuration());
    EXPECT_EQ(sustained(detector.observe(snapshotAt(30, {busy}), shortDuration())), 30);
    EXPECT_TRUE(detector.observe(snapshotAt(60, {changed}), shortDuration()).isEmpty());
    EXPECT_EQ(sustained(detector.observe(snapshotAt(90, {changed}), shortDuration())), 30);

    const QSet<ProcessIdentity> muted{busy.identity};
    EXPECT_TRUE(detector.observe(snapshotAt(120, {changed}), shortDuration(), muted).isEmpty());
    EXPECT_TRUE(detector.observe(snapshotAt(150, {changed}), shortDuration(), muted).isEmpty());
    EXPECT_EQ(sustained(detector.observe(snapshotAt(180, {changed}), shortDuration())), 30);

    ProcessSample unknown = changed;
    unknown.cpuPercent = std::nullopt;
    EXPECT_TRUE(detector.observe(snapshotAt(210, {unknown}), shortDuration()).isEmpty());
    unknown.cpuPercent = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(detector.observe(snapshotAt(240, {unknown}), shortDuration()).isEmpty());
    EXPECT_EQ(sustained(detector.observe(snapshotAt(270, {changed}), shortDuration())), 30);

    detector.reset();
    EXPECT_TRUE(detector.observe(snapshotAt(300, {changed}), shortDuration()).isEmpty());
}

TEST(AnomalyDetector, ThresholdAndDurationBoundaries) {
    struct Case {
        double storedThreshold;
        double cpu;
        bool high;
        QString shown;
    };
    const Case cases[] = {
        {90, 90, true, QStringLiteral("90%")},           {90, 89.999, false, {}},
        {12.7, 12.7, true, QStringLiteral("12%")},       {12.7, 12.69, false, {}},
        {std::nan(""), 90, true, QStringLiteral("90%")}, {5, 10, true, QStringLiteral("10%")},
    };
    for (const Case& c : cases) {
        MonitorSettings settings = shortDuration();
        settings.cpuThreshold = c.storedThreshold;
        AnomalyDetector detector;
        ProcessSample sample = process(9, c.cpu);
        sample.source.clear();
        detector.observe(snapshotAt(0, {sample}), settings);
        const auto findings = detector.observe(snapshotAt(30, {sample}), settings);
        ASSERT_EQ(findings.size(), c.high ? 1 : 0) << c.storedThreshold << " " << c.cpu;
        if (c.high) {
            EXPECT_EQ(findings[0].title, QStringLiteral("worker 持续高占用"));
            EXPECT_TRUE(
                findings[0].explanation.contains(QStringLiteral("达到 ") + c.shown + QStringLiteral("）")));
        }
    }
}

TEST(AnomalyDetector, FindingsOrderedByCpuThenSnapshotOrder) {
    AnomalyDetector detector;
    const QList<ProcessSample> processes{process(1, 95), process(2, 150), process(3, 95)};
    detector.observe(snapshotAt(0, processes), shortDuration());
    const auto findings = detector.observe(snapshotAt(30, processes), shortDuration());
    ASSERT_EQ(findings.size(), 3);
    EXPECT_EQ(findings[0].id().pid, 2);
    EXPECT_EQ(findings[1].id().pid, 1);
    EXPECT_EQ(findings[2].id().pid, 3);
}
