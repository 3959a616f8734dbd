#include "SnapshotFixtures.h"
#include "core/monitoring/ApplicationCPUDetector.h"
#include "core/monitoring/ProcessResourceGrouper.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>

using namespace lunorvale;
using namespace lunorvale::fixtures;

TEST(ProcessResourceGrouper, BundlePathOfExecutable) {
    struct Case {
        QString executable;
        std::optional<QString> bundle;
    };
    const Case cases[] = {
        {QStringLiteral("/Applications/Foo.app/Contents/MacOS/Foo"), QStringLiteral("/Applications/Foo.app")},
        {QStringLiteral("/Applications/Outer.app/Contents/Library/LoginItems/Inner.app/Contents/MacOS/Inner"),
         QStringLiteral("/Applications/Outer.app")},
        {QStringLiteral("/Foo.app/Contents/MacOS/Foo"), QStringLiteral("/Foo.app")},
        {QStringLiteral("//opt/./x/../Foo.app//Contents/MacOS/Foo"), QStringLiteral("/opt/Foo.app")},
        {QStringLiteral("/Applications/Foo.app/Contents"), std::nullopt},
        {QStringLiteral("/Applications/Foo.app/Contents/"), std::nullopt},
        {QStringLiteral("/Applications/Foo.APP/Contents/MacOS/Foo"), std::nullopt},
        {QStringLiteral("Foo.app/Contents/MacOS/Foo"), std::nullopt},
        {QStringLiteral("/usr/bin/top"), std::nullopt},
        {QString(), std::nullopt},
        {QStringLiteral("/A.app/Contents/MacOS/") + QChar(0) + u'x', std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProcessResourceGrouper::applicationBundlePath(c.executable), c.bundle)
            << c.executable.toStdString();
}

TEST(ProcessResourceGrouper, GroupsBundleProcessesThroughSymbolicLinks) {
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    const QString root = QDir(temporary.path()).canonicalPath();
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/Apps/Foo.app/Contents/MacOS")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/Apps/Foo.app"), root + QStringLiteral("/Link.app")));

    const QList<ProcessSample> processes{
        process(30, 5, root + QStringLiteral("/Apps/Foo.app/Contents/MacOS/Foo")),
        process(10, 5, root + QStringLiteral("/Link.app/Contents/MacOS/Helper")),
        process(20, 5, QStringLiteral("/usr/bin/top")),
        // A bundle that does not exist keeps its standardized path.
        process(40, 5, root + QStringLiteral("/Gone/./Bar.app/Contents/MacOS/Bar")),
    };
    const auto groups = ProcessResourceGrouper::groups(processes);
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0].name, QStringLiteral("Bar"));
    EXPECT_EQ(groups[0].bundlePath, root + QStringLiteral("/Gone/Bar.app"));
    EXPECT_EQ(groups[1].id, QStringLiteral("application:") + root + QStringLiteral("/Apps/Foo.app"));
    EXPECT_EQ(groups[1].name, QStringLiteral("Foo"));
    ASSERT_EQ(groups[1].members.size(), 2);
    EXPECT_EQ(groups[1].members[0].identity.pid, 10);
    EXPECT_EQ(groups[1].members[1].identity.pid, 30);
    EXPECT_EQ(groups[2].id, QStringLiteral("process:") + processes[2].identity.key());
    EXPECT_EQ(groups[2].name, QStringLiteral("worker"));
    EXPECT_FALSE(groups[2].bundlePath);
}

TEST(ProcessResourceGrouper, OrdersNamesLikeAFileBrowser) {
    auto named = [](int32_t pid, const QString& source) {
        ProcessSample sample = process(pid, 1, QStringLiteral("/usr/bin/x"));
        sample.source = source;
        return sample;
    };
    const auto groups = ProcessResourceGrouper::groups(
        {named(9, QStringLiteral("item 10")), named(8, QStringLiteral("Item 2")),
         named(12, QStringLiteral("beta")), named(11, QStringLiteral("beta")),
         named(7, QStringLiteral("Alpha"))});
    QStringList order;
    for (const auto& group : groups)
        order << group.id;
    const QString prefix = QStringLiteral("process:");
    // "process:11:…" before "process:12:…" in plain string order for the two groups named beta.
    EXPECT_EQ(order,
              (QStringList{prefix + process(7, 1).identity.key(), prefix + process(11, 1).identity.key(),
                           prefix + process(12, 1).identity.key(), prefix + process(8, 1).identity.key(),
                           prefix + process(9, 1).identity.key()}));
}

TEST(ApplicationResourceGroup, ComputedCpuAndMemory) {
    ApplicationResourceGroup group{QStringLiteral("application:/A.app"),
                                   QStringLiteral("A"),
                                   QStringLiteral("/A.app"),
                                   {process(1, 0), process(2, 0)}};
    EXPECT_EQ(group.cpuPercent(), 0.0);
    EXPECT_TRUE(group.hasCompleteCPU());

    group.members = {process(1, 40), process(2, std::nullopt), process(3, -1), process(4, 2.5)};
    EXPECT_EQ(group.knownCPUPercent(), 42.5);
    EXPECT_FALSE(group.hasCompleteCPU());
    EXPECT_FALSE(group.cpuPercent());

    group.members = {};
    EXPECT_FALSE(group.hasCompleteCPU());

    group.members = {process(1, 1), process(2, 1)};
    group.members[0].residentBytes = std::numeric_limits<uint64_t>::max() - 5;
    group.members[1].residentBytes = 5;
    EXPECT_EQ(group.residentBytes(), std::numeric_limits<uint64_t>::max());
    group.members[1].residentBytes = 6;
    EXPECT_EQ(group.residentBytes(), std::numeric_limits<uint64_t>::max());
}

TEST(ApplicationCPUDetector, ReportsBundleGroupsOnceTheirSumStayedHigh) {
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    const QString root = QDir(temporary.path()).canonicalPath();
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/X.app/Contents/MacOS")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/X.app"), root + QStringLiteral("/Alias.app")));
    const QString main = root + QStringLiteral("/X.app/Contents/MacOS/X");
    const QString helper = root + QStringLiteral("/Alias.app/Contents/MacOS/Helper");

    // pid 987 and 1234: the member list is compared in key order, whatever order the grouper gives.
    const QList<ProcessSample> pair{process(987, 50, main), process(1234, 45, helper),
                                    process(5, 300, QStringLiteral("/usr/bin/single")),
                                    process(6, 300, root + QStringLiteral("/Solo.app/Contents/MacOS/Solo"))};
    ApplicationCPUDetector detector;
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(
            detector.observe(ProcessResourceGrouper::groups(pair), i * 30.0, MonitorSettings{}).isEmpty());
    auto findings = detector.observe(ProcessResourceGrouper::groups(pair), 300, MonitorSettings{});
    ASSERT_EQ(findings.size(), 1);
    EXPECT_EQ(findings[0].id(), QStringLiteral("application:") + root + QStringLiteral("/X.app"));
    EXPECT_EQ(findings[0].sustainedSeconds, 300);
    EXPECT_EQ(findings[0].group.cpuPercent(), 95.0);

    // A third process joins: not reported now, counted from zero next time.
    QList<ProcessSample> three = pair;
    three.append(process(77, 1, main));
    MonitorSettings shortDuration;
    shortDuration.sustainedSeconds = 30;
    EXPECT_TRUE(detector.observe(ProcessResourceGrouper::groups(three), 330, shortDuration).isEmpty());
    findings = detector.observe(ProcessResourceGrouper::groups(three), 360, shortDuration);
    ASSERT_EQ(findings.size(), 1);
    EXPECT_EQ(findings[0].sustainedSeconds, 30);

    // A member whose command changed counts as a changed member list.
    QList<ProcessSample> changed = three;
    changed[0].command = QStringLiteral("X --other");
    EXPECT_TRUE(detector.observe(ProcessResourceGrouper::groups(changed), 390, shortDuration).isEmpty());

    // A member without a CPU share stops the run.
    QList<ProcessSample> unknown = changed;
    unknown[0].cpuPercent = std::nullopt;
    EXPECT_TRUE(detector.observe(ProcessResourceGrouper::groups(unknown), 420, shortDuration).isEmpty());
    EXPECT_EQ(detector.observe(ProcessResourceGrouper::groups(changed), 450, shortDuration).size(), 1);

    // Same time, then a late one: durations emptied, detector stays armed.
    EXPECT_TRUE(detector.observe(ProcessResourceGrouper::groups(changed), 450, shortDuration).isEmpty());
    EXPECT_EQ(
        detector.observe(ProcessResourceGrouper::groups(changed), 525, shortDuration)[0].sustainedSeconds,
        75);
    EXPECT_TRUE(detector.observe(ProcessResourceGrouper::groups(changed), 600.5, shortDuration).isEmpty());

    detector.reset();
    EXPECT_TRUE(detector.observe(ProcessResourceGrouper::groups(changed), 630, shortDuration).isEmpty());
}
