#include "SnapshotFixtures.h"
#include "core/monitoring/ApplicationCPUDetector.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "core/monitoring/ProcessCollector.h"
#include "core/monitoring/ProcessResourceGrouper.h"
#include "platform/LinuxProcessPlatform.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/LaunchScope.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::fixtures;

namespace {
QList<ApplicationResourceGroup> groups(const QList<ProcessSample>& processes) {
    InMemoryProcessPlatform platform;
    return ProcessResourceGrouper::groups(processes, platform);
}
} // namespace

TEST(ProcessResourceGrouper, BundlePathOfExecutable) {
    const std::pair<QString, std::optional<QString>> cases[] = {
        {QStringLiteral("/Applications/Foo.app/Contents/MacOS/Foo"), QStringLiteral("/Applications/Foo.app")},
        {QStringLiteral("/Applications/Outer.app/Contents/Library/LoginItems/Inner.app/Contents/MacOS/Inner"),
         QStringLiteral("/Applications/Outer.app")},
        {QStringLiteral("/Foo.app/Contents/MacOS/Foo"), QStringLiteral("/Foo.app")},
        {QStringLiteral("//opt/./x/../Foo.app//Contents/MacOS/Foo"), QStringLiteral("/opt/Foo.app")},
        {QStringLiteral("/a/../../Foo.app/Contents/MacOS/Foo"), QStringLiteral("/Foo.app")},
        {QStringLiteral("/Applications/Foo.app/Contents"), std::nullopt},
        {QStringLiteral("/Applications/Foo.APP/Contents/MacOS/Foo"), std::nullopt},
        {QStringLiteral("/Applications/Foo.app/MacOS/Foo"), std::nullopt},
        {QStringLiteral("Foo.app/Contents/MacOS/Foo"), std::nullopt},
        {QStringLiteral("/usr/bin/top"), std::nullopt},
        {QStringLiteral("/A.app/Contents/MacOS/") + QChar(0) + u'x', std::nullopt},
    };
    for (const auto& [executable, bundle] : cases)
        EXPECT_EQ(ProcessResourceGrouper::applicationBundlePath(executable), bundle)
            << executable.toStdString();
}

TEST(ProcessResourceGrouper, GroupsBundleProcessesThroughSymbolicLinks) {
    QTemporaryDir temporary;
    const QString root = QDir(temporary.path()).canonicalPath();
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/Apps/Foo.app/Contents/MacOS")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/Apps/Foo.app"), root + QStringLiteral("/Link.app")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/Apps"), root + QStringLiteral("/AppsLink")));
    const QList<ProcessSample> processes{
        process(30, 5, root + QStringLiteral("/Apps/Foo.app/Contents/MacOS/Foo")),
        process(10, 5, root + QStringLiteral("/Link.app/Contents/MacOS/Helper")),
        process(20, 5, QStringLiteral("/usr/bin/top")),
        // A bundle that is gone is resolved as far as its path exists.
        process(40, 5, root + QStringLiteral("/Apps/./Bar.app/Contents/MacOS/Bar")),
        process(41, 5, root + QStringLiteral("/AppsLink/Bar.app/Contents/MacOS/Helper")),
    };
    LinuxProcessPlatform platform;
    const auto result = ProcessResourceGrouper::groups(processes, platform);
    ASSERT_EQ(result.size(), 3);
    EXPECT_EQ(result[0].id, QStringLiteral("application:") + root + QStringLiteral("/Apps/Bar.app"));
    EXPECT_EQ(result[0].members.size(), 2);
    EXPECT_EQ(result[1].id, QStringLiteral("application:") + root + QStringLiteral("/Apps/Foo.app"));
    EXPECT_EQ(result[1].name, QStringLiteral("Foo"));
    EXPECT_EQ(result[1].bundlePath, root + QStringLiteral("/Apps/Foo.app"));
    ASSERT_EQ(result[1].members.size(), 2);
    EXPECT_EQ(result[1].members[0].identity.pid, 10);
    EXPECT_EQ(result[2].id, QStringLiteral("process:") + processes[2].identity.key());
    EXPECT_EQ(result[2].name, QStringLiteral("worker"));
    EXPECT_FALSE(result[2].bundlePath);
}

TEST(ProcessResourceGrouper, GroupsDesktopApplicationsOutsideBundles) {
    InMemoryProcessPlatform platform;
    const QString entry = QStringLiteral("/apps/org.example.Busy.desktop");
    platform.setApplicationEntry({"org.example.Busy", "忙碌", entry});
    platform.setApplicationEntry({"busy-alias", "Busy", entry});
    const auto launched = [](int32_t pid, const char* application, QString executable = "/opt/busy/busy") {
        ProcessSample sample = process(pid, 50, std::move(executable));
        sample.application = QString::fromUtf8(application);
        return sample;
    };
    const QList<ProcessSample> processes{
        launched(3, "org.example.Busy"),
        launched(1, "busy-alias"),
        // The bundle's rule comes first.
        launched(2, "org.example.Busy", "/Apps/Tool.app/Contents/MacOS/Tool"),
        launched(4, "org.example.Gone"),
        launched(5, "org.example.Gone"),
        launched(6, ""),
    };
    const auto result = ProcessResourceGrouper::groups(processes, platform);
    ASSERT_EQ(result.size(), 4);
    const auto members = [](const ApplicationResourceGroup& group) {
        QList<int32_t> pids;
        for (const ProcessSample& member : group.members)
            pids << member.identity.pid;
        return pids;
    };
    EXPECT_EQ(result[0].id, QStringLiteral("application:org.example.Gone"));
    EXPECT_EQ(result[0].name, QStringLiteral("org.example.Gone"));
    EXPECT_FALSE(result[0].bundlePath);
    EXPECT_TRUE(result[0].isApplication());
    EXPECT_EQ(members(result[0]), (QList<int32_t>{4, 5}));
    EXPECT_EQ(result[1].id, QStringLiteral("application:/Apps/Tool.app"));
    EXPECT_EQ(result[2].id, QStringLiteral("process:") + processes[5].identity.key());
    EXPECT_FALSE(result[2].isApplication());
    EXPECT_EQ(result[3].id, QStringLiteral("application:") + entry);
    EXPECT_EQ(result[3].name, QStringLiteral("忙碌"));
    EXPECT_EQ(result[3].bundlePath, entry);
    EXPECT_EQ(members(result[3]), (QList<int32_t>{1, 3}));

    // Both kinds of desktop application are watched as a whole.
    ApplicationCPUDetector detector;
    QStringList found;
    for (int i = 0; i <= 10; ++i) {
        found.clear();
        for (const auto& finding :
             detector.observe(ProcessResourceGrouper::groups(processes, platform), i * 30.0, {}))
            found << finding.group.name;
    }
    EXPECT_EQ(found, (QStringList{"org.example.Gone", "忙碌"}));
}

// Two children in a control group named like a desktop launch, and the application's desktop file in
// this test's own data folder: one group, named from the file, holds both.
TEST(ProcessResourceGrouper, GroupsTheProcessesOfARealDesktopLaunch) {
    std::string why;
    const auto scope = test::LaunchScope::create(why);
    if (!scope)
        GTEST_SKIP() << "no writable control-group hierarchy: " << why;
    QTemporaryDir data;
    const QString entry = data.filePath(
        QStringLiteral("applications/%1.desktop").arg(QString::fromStdString(scope->applicationID())));
    test::writeFile(entry, "[Desktop Entry]\nType=Application\nName=Busy\nName[zh_CN]=忙碌示例\nExec=busy\n");
    const test::ScopedVariable dataHome("XDG_DATA_HOME", data.path());
    const auto first = test::ChildProcess::spawn({"sleep", "600"});
    const auto second = test::ChildProcess::spawn({"sleep", "601"});
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(scope->move(first->pid()) && scope->move(second->pid())) << scope->path();

    LinuxProcessPlatform platform;
    ProcessCollector collector(platform);
    const auto result = ProcessResourceGrouper::groups(collector.collect().processes, platform);
    const auto group = std::find_if(result.begin(), result.end(), [&](const ApplicationResourceGroup& g) {
        return g.id == QStringLiteral("application:") + entry;
    });
    ASSERT_NE(group, result.end());
    EXPECT_EQ(group->name, QStringLiteral("忙碌示例"));
    EXPECT_EQ(group->bundlePath, entry);
    ASSERT_EQ(group->members.size(), 2);
    EXPECT_EQ(group->members[0].identity.pid, std::min(first->pid(), second->pid()));
    EXPECT_EQ(group->members[1].identity.pid, std::max(first->pid(), second->pid()));
    EXPECT_EQ(group->members[0].source, QStringLiteral("忙碌示例"));
    // This test itself was started otherwise and stays a process of its own.
    EXPECT_TRUE(std::any_of(result.begin(), result.end(), [](const ApplicationResourceGroup& g) {
        return !g.isApplication() && g.members.size() == 1 && g.members[0].identity.pid == ::getpid();
    }));
}

// Folder names and desktop IDs are anyone's choice: groups named by them are shown as processes are,
// and one with nothing visible left by its process's source.
TEST(ProcessResourceGrouper, NamesGroupsWithoutWhatCouldDisguiseThem) {
    QList<ProcessSample> processes{process(1, 1, "/A/R\u202efdp.app/Contents/MacOS/x"), process(2, 1),
                                   process(3, 1)};
    processes[1].application = QStringLiteral("org.example.\u202eevil\a");
    processes[2].application = QStringLiteral("\u2067\u200d");
    QStringList names;
    for (const auto& group : groups(processes))
        names << group.name;
    EXPECT_EQ(names, (QStringList{"org.example.evil", "Rfdp", "worker"}));
}

TEST(ProcessResourceGrouper, OrdersNamesLikeAFileBrowserThenById) {
    const std::pair<int32_t, const char*> named[] = {
        {9, "item 10"}, {8, "Item 2"}, {12, "beta"}, {11, "beta"}, {7, "Alpha"}};
    QList<ProcessSample> processes;
    for (const auto& [pid, name] : named) {
        processes << process(pid, 1, QStringLiteral("/usr/bin/x"));
        processes.last().source = QString::fromUtf8(name);
    }
    QList<int32_t> order;
    for (const auto& group : groups(processes))
        order << group.members[0].identity.pid;
    EXPECT_EQ(order, (QList<int32_t>{7, 11, 12, 8, 9})); // "process:11:…" < "process:12:…"
}

TEST(ApplicationResourceGroup, ComputedCpuAndMemory) {
    ApplicationResourceGroup group{{}, {}, {}, {process(1, 0), process(2, 0)}};
    EXPECT_EQ(group.cpuPercent(), 0.0);
    group.members = {process(1, 40), process(2, std::nullopt), process(3, -1), process(4, 2.5)};
    EXPECT_EQ(group.knownCPUPercent(), 42.5);
    EXPECT_FALSE(group.cpuPercent());
    group.members = {};
    EXPECT_FALSE(group.hasCompleteCPU());
    group.members = {process(1, 1), process(2, 1)};
    group.members[0].residentBytes = std::numeric_limits<uint64_t>::max() - 5;
    for (const uint64_t second : {5, 6}) {
        group.members[1].residentBytes = second;
        EXPECT_EQ(group.residentBytes(), std::numeric_limits<uint64_t>::max());
    }
}

TEST(ApplicationCPUDetector, ReportsBundleGroupsOnceTheirSumStayedHigh) {
    // Bundles that do not exist keep their paths, so no folders are needed here.
    const QString main = QStringLiteral("/lunorvale-missing/X.app/Contents/MacOS/X");
    // pid 987 and 1234: member lists are compared in key order, whatever order the grouper gives.
    QList<ProcessSample> processes{
        process(987, 50, main),
        process(1234, 40, QStringLiteral("/lunorvale-missing/X.app/Contents/MacOS/Helper")),
        process(5, 300, QStringLiteral("/usr/bin/single")),
        process(6, 300, QStringLiteral("/lunorvale-missing/Solo.app/Contents/MacOS/Solo"))};
    ApplicationCPUDetector detector;
    MonitorSettings settings;
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(detector.observe(groups(processes), i * 30.0, settings).isEmpty());
    const auto findings = detector.observe(groups(processes), 300, settings);
    ASSERT_EQ(findings.size(), 1);
    EXPECT_EQ(findings[0].id(), QStringLiteral("application:/lunorvale-missing/X.app"));
    EXPECT_EQ(findings[0].sustainedSeconds, 300);
    EXPECT_EQ(findings[0].group.cpuPercent(), 90.0); // exactly the threshold

    // From here on every run is reported: the length of the first one, absent when there is none.
    settings.sustainedSeconds = 30;
    const auto run = [&](double t) {
        const auto found = detector.observe(groups(processes), t, settings);
        return found.isEmpty() ? std::nullopt : std::optional(found[0].sustainedSeconds);
    };
    processes.append(process(77, 1, main)); // a member joins: counted from zero again
    EXPECT_FALSE(run(330));
    EXPECT_EQ(run(360), 30);
    processes[0].command = QStringLiteral("X --other");
    EXPECT_FALSE(run(390));
    processes[0].cpuPercent.reset();
    EXPECT_FALSE(run(420));
    processes[0].cpuPercent = 50;
    EXPECT_EQ(run(450), 30);
    EXPECT_FALSE(run(450)); // same time: durations emptied, still armed
    EXPECT_EQ(run(525), 75);
    EXPECT_FALSE(run(600.5));
    detector.reset();
    EXPECT_FALSE(run(630));
}

TEST(ApplicationCPUDetector, JitteredIntervalsCountAsWholeIntervals) {
    const QString main = QStringLiteral("/lunorvale-missing/X.app/Contents/MacOS/X");
    const QList<ProcessSample> processes{process(987, 50, main), process(1234, 50, main)};
    // lengths of the intervals in turn, index of the first finding, its length
    const std::tuple<QList<double>, qsizetype, double> rows[] = {
        {{29.999}, 10, 300}, {{30.002, 29.997}, 10, 300}, {{27, 33}, 10, 300}, {{26}, 12, 312}};
    for (const auto& [intervals, first, sustained] : rows) {
        ApplicationCPUDetector detector;
        const QList<double> times = sampleTimes(intervals, first + 1);
        for (qsizetype i = 0; i < first; ++i)
            EXPECT_TRUE(detector.observe(groups(processes), times[i], MonitorSettings{}).isEmpty()) << i;
        const auto findings = detector.observe(groups(processes), times[first], MonitorSettings{});
        ASSERT_EQ(findings.size(), 1) << intervals.first();
        EXPECT_EQ(findings[0].sustainedSeconds, sustained) << intervals.first();
    }
}
