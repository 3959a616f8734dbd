#include "core/monitoring/ResourceHistory.h"
#include "SnapshotFixtures.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::fixtures;

namespace {
MonitorSnapshot reading(double t, std::optional<double> cpu = 50.0, bool swap = true) {
    MonitorSnapshot snapshot = snapshotAt(t);
    snapshot.systemCPU = cpu;
    snapshot.systemMemory =
        SystemMemorySnapshot{16ull << 30, 8ull << 30, 0, {}, SystemMemoryPressure::normal};
    if (swap)
        snapshot.systemMemory->swapUsedBytes = 1ull << 30;
    return snapshot;
}

// The ids ("segment:time") of the points, separated by blanks.
std::string ids(const QList<ResourceHistoryPoint>& points) {
    QStringList result;
    for (const auto& point : points)
        result << point.id();
    return result.join(u' ').toStdString();
}
} // namespace

TEST(ResourceHistory, ClampsWindowAndPointLimit) {
    // window, point limit, and what is kept of them
    const std::tuple<double, int64_t, double, int64_t> cases[] = {{0, 0, 1, 2},
                                                                  {-5, 1, 1, 2},
                                                                  {10000, 5000, 3600, 721},
                                                                  {INFINITY, 100, 3600, 100},
                                                                  {NAN, 721, 3600, 721}};
    for (const auto& [window, points, keptWindow, keptPoints] : cases) {
        const ResourceHistory history(window, points);
        EXPECT_EQ(history.windowSeconds(), keptWindow) << window;
        EXPECT_EQ(history.maximumPoints(), keptPoints) << points;
    }
    ResourceHistory limited(3600, 3);
    for (int i = 0; i < 5; ++i)
        limited.record(reading(i * 5.0), 12.5);
    EXPECT_EQ(ids(limited.points()), "0:10.0 0:15.0 0:20.0");
}

TEST(ResourceHistory, WindowCutsFromTheNewestPoint) {
    ResourceHistory history(60, 721);
    for (const double t : {0, 30, 61})
        history.record(reading(t), 300);
    EXPECT_EQ(ids(history.points()), "0:30.0 0:61.0");
    history.record(reading(90), 300);
    EXPECT_EQ(ids(history.points()), "0:30.0 0:61.0 0:90.0");
    EXPECT_EQ(ids(history.recent(0)), "0:90.0");
    EXPECT_EQ(ids(history.recent(29)), "0:61.0 0:90.0");
    EXPECT_TRUE(history.recent(-1).isEmpty());
    EXPECT_TRUE(history.recent(NAN).isEmpty());
    EXPECT_TRUE(ResourceHistory(60, 10).recent(10).isEmpty());
}

TEST(ResourceHistory, SegmentBreaks) {
    ResourceHistory history(3600, 721);
    history.record(reading(0), 75);
    history.record(reading(75), 75);    // exactly the limit
    history.record(reading(150.5), 75); // longer: new segment, old points kept
    MonitorSnapshot wallBack = reading(160);
    wallBack.timestamp = baseDate(); // earlier than the previous point's wall clock
    history.record(wallBack, 75);
    history.record(reading(170, 100.5), 75); // out of range: stored as absent, so the series changed
    history.record(reading(180, std::nullopt), 75);
    history.record(reading(190, std::nullopt, false), 75); // swap figure lost
    MonitorSnapshot otherPressure = reading(200, std::nullopt, false);
    otherPressure.systemMemory->pressure = SystemMemoryPressure::critical;
    otherPressure.systemMemory->physicalBytes.reset();
    history.record(otherPressure, 75);
    EXPECT_EQ(ids(history.points()), "0:0.0 0:75.0 1:150.5 2:160.0 3:170.0 3:180.0 4:190.0 4:200.0");
    EXPECT_FALSE(history.points()[4].systemCPU);

    // Each change says whether the history differs afterwards: the model announces only those.
    const ResourceHistory unbroken = history;
    EXPECT_TRUE(history.breakContinuity());
    EXPECT_NE(history, unbroken);
    const ResourceHistory broken = history;
    EXPECT_FALSE(history.breakContinuity());        // already pending
    EXPECT_FALSE(history.record(reading(200), 75)); // same time: nothing, the pending break survives
    EXPECT_EQ(history, broken);
    EXPECT_TRUE(history.record(reading(210, std::nullopt, false), 75));
    EXPECT_TRUE(history.record(reading(NAN), 75)); // not recorded, but breaks
    EXPECT_FALSE(history.record(reading(NAN), 75));
    EXPECT_TRUE(history.record(reading(220, std::nullopt, false), 75));
    EXPECT_EQ(ids(history.points().mid(7)), "4:200.0 5:210.0 6:220.0");
    EXPECT_TRUE(history.record(reading(5), 75)); // monotonic clock back: everything goes
    EXPECT_EQ(ids(history.points()), "7:5.0");

    EXPECT_TRUE(history.reset());
    EXPECT_EQ(history, ResourceHistory(3600, 721));
    EXPECT_FALSE(history.reset());
    for (const double t : {10.0, 11.0, 12.5}) // a limit of 0.5 s counts as 1 s
        history.record(reading(t, 100), 0.5);
    EXPECT_EQ(ids(history.points()), "0:10.0 0:11.0 1:12.5");
    EXPECT_EQ(history.points()[0].systemCPU, 100.0);
    EXPECT_EQ((ResourceHistoryPoint{baseDate(), 1e16, 12, {}, {}}.id()), QStringLiteral("12:1e+16"));
}
