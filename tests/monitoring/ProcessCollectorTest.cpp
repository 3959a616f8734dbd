#include "core/monitoring/ProcessCollector.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "core/monitoring/MonitorError.h"
#include "platform/LinuxProcessPlatform.h"
#include "support/ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

using Process = InMemoryProcessPlatform::Process;

class ScriptedCollector : public ::testing::Test {
protected:
    const ProcessSample* find(const MonitorSnapshot& s, int32_t pid) {
        for (const auto& p : s.processes)
            if (p.identity.pid == pid)
                return &p;
        return nullptr;
    }
    void add(int32_t pid, uint64_t start, uint64_t cpuNs, const char* name, QString path = {},
             QString args = {}) {
        Process process =
            InMemoryProcessPlatform::process(pid, start, name, std::move(path), std::move(args));
        process.record.cpu_ns = cpuNs;
        platform.put(process);
    }
    void setCPU(int32_t pid, uint64_t cpuNs) {
        platform.change(pid, [cpuNs](Process& p) { p.record.cpu_ns = cpuNs; });
    }
    InMemoryProcessPlatform platform;
    ProcessCollector collector{platform};
};

TEST_F(ScriptedCollector, RatesNeedTwoCallsAndTheSameIncarnation) {
    add(10, 1000, 0, "steady");
    add(11, 2000, 5'000'000'000, "rewinds");
    add(12, 3000, 0, "reused");
    platform.setCPUTicks(CPUTicks{100, 1000});

    const auto first = collector.collect();
    EXPECT_FALSE(first.systemCPU);
    for (const auto& p : first.processes)
        EXPECT_FALSE(p.cpuPercent) << p.name.toStdString();

    platform.setUptime(102); // two seconds later
    setCPU(10, 1'000'000'000);
    setCPU(11, 1'000'000'000);              // counter went back
    add(12, 9000, 1'000'000'000, "reused"); // pid reused by a new process
    platform.setCPUTicks(CPUTicks{150, 1100});
    const auto second = collector.collect();
    ASSERT_TRUE(second.systemCPU);
    EXPECT_DOUBLE_EQ(*second.systemCPU, 50.0);
    ASSERT_TRUE(find(second, 10)->cpuPercent);
    EXPECT_DOUBLE_EQ(*find(second, 10)->cpuPercent, 50.0); // 1 s of CPU in 2 s
    EXPECT_FALSE(find(second, 11)->cpuPercent);
    EXPECT_FALSE(find(second, 12)->cpuPercent);

    platform.setUptime(103);
    setCPU(11, 1'500'000'000);
    const auto third = collector.collect();
    ASSERT_TRUE(find(third, 11)->cpuPercent); // measured again once it moves forward
    EXPECT_DOUBLE_EQ(*find(third, 11)->cpuPercent, 50.0);

    // Same uptime twice: no time has passed, so nothing can be measured.
    const auto again = collector.collect();
    for (const auto& p : again.processes)
        EXPECT_FALSE(p.cpuPercent);

    collector.reset();
    platform.setUptime(110);
    const auto afterReset = collector.collect();
    EXPECT_FALSE(afterReset.systemCPU);
    for (const auto& p : afterReset.processes)
        EXPECT_FALSE(p.cpuPercent);
}

TEST_F(ScriptedCollector, OrdersBusiestFirstAndKeepsKernelOrderForTies) {
    for (const auto& [pid, name] : {std::pair{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}})
        add(pid, 1, 0, name);
    collector.collect();
    platform.setUptime(101);
    setCPU(2, 500'000'000);
    setCPU(4, 500'000'000);
    add(5, 1, 0, "new"); // no percent: sorts after 0 %
    const auto s = collector.collect();
    QStringList order;
    for (const auto& p : s.processes)
        order << p.name;
    EXPECT_EQ(order, (QStringList{"b", "d", "a", "c", "new"}));
}

TEST_F(ScriptedCollector, UnreadableListThrowsAndChangesNothing) {
    add(10, 1000, 0, "p");
    collector.collect();
    platform.setListReadable(false);
    platform.setUptime(101);
    try {
        collector.collect();
        FAIL() << "expected MonitorError";
    } catch (const MonitorError& error) {
        EXPECT_EQ(error.kind(), MonitorError::Kind::unavailable);
        EXPECT_EQ(error.errorDescription(),
                  QStringLiteral(
                      "无法读取进程。请从 Finder 打开完整的 Lunorvale.app；受限运行环境可能禁止进程访问。"));
    }
    platform.setListReadable(true);
    platform.setUptime(102);
    setCPU(10, 1'000'000'000);
    const auto s = collector.collect();
    ASSERT_TRUE(s.processes[0].cpuPercent); // still measured against the call before the failure
    EXPECT_DOUBLE_EQ(*s.processes[0].cpuPercent, 50.0);

    platform.clear(); // no process at all is as unreadable as no list
    EXPECT_THROW(collector.collect(), MonitorError);
}

TEST_F(ScriptedCollector, ReadsPathAndArgumentsOnlyForNewRenamedOrStaleProcesses) {
    add(10, 1000, 0, "bash", "/usr/bin/bash", "bash -c x");
    add(11, 1000, 0, "node", "/usr/bin/node", "node /w/proj/node_modules/.bin/vite");
    platform.setExtraSkipped(3);
    auto s = collector.collect();
    EXPECT_EQ(s.skippedCount, 3);
    EXPECT_EQ(platform.pathReads(), 2);
    EXPECT_EQ(find(s, 11)->source, QStringLiteral("proj · 开发服务"));
    EXPECT_EQ(find(s, 10)->command, QStringLiteral("bash -c x"));

    for (int i = 0; i < 5; ++i)
        s = collector.collect();
    EXPECT_EQ(platform.pathReads(), 2);
    EXPECT_EQ(platform.argumentReads(), 2);

    // An exec under the same identity renames the process: everything is read again and relabelled.
    platform.put(
        InMemoryProcessPlatform::process(10, 1000, "python3", "/usr/bin/python3.11", "python3 job.py"));
    s = collector.collect();
    EXPECT_EQ(platform.pathReads(), 3);
    EXPECT_EQ(find(s, 10)->executable, QStringLiteral("/usr/bin/python3.11"));
    EXPECT_EQ(find(s, 10)->source, QStringLiteral("Python 任务"));

    // An action that found the arguments changed marks them stale: read again in the next call only.
    platform.change(11, [](Process& p) { p.arguments = "node /w/proj/node_modules/.bin/jest"; });
    platform.markStale({11, 1000});
    s = collector.collect();
    EXPECT_EQ(find(s, 11)->source, QStringLiteral("proj · Jest 测试"));
    collector.collect();
    EXPECT_EQ(platform.argumentReads(), 4);

    // Caught while the kernel was still setting up its program: no arguments yet, read again until
    // they appear.
    add(12, 1000, 0, "sleep", "/usr/bin/sleep", "");
    s = collector.collect();
    EXPECT_EQ(find(s, 12)->command, QString());
    platform.change(12, [](Process& p) { p.arguments = "sleep 20"; });
    s = collector.collect();
    EXPECT_EQ(find(s, 12)->command, QStringLiteral("sleep 20"));
    const int readsSettled = platform.argumentReads();
    collector.collect();
    EXPECT_EQ(platform.argumentReads(), readsSettled);
    platform.remove(12);
    const int pathReads = platform.pathReads();

    // A process that went away and came back with the same pid and start time is new again.
    platform.change(10, [](Process& p) { p.readable = false; });
    collector.collect();
    platform.change(10, [](Process& p) { p.readable = true; });
    s = collector.collect();
    EXPECT_EQ(platform.pathReads(), pathReads + 1);
    EXPECT_FALSE(find(s, 10)->cpuPercent);
}

TEST_F(ScriptedCollector, SystemFiguresFollowTheirFlags) {
    add(10, 1000, 0, "p");
    LVSystemMemory memory{};
    memory.pressure_level = 2; // only the pressure is readable
    platform.setSystemMemory(memory);
    auto s = collector.collect();
    ASSERT_TRUE(s.systemMemory);
    EXPECT_EQ(*s.systemMemory, (SystemMemorySnapshot{{}, {}, {}, {}, SystemMemoryPressure::warning}));

    platform.setSystemMemory(LVSystemMemory{8, 4, 2, 1, 1, 1, 1, 3});
    s = collector.collect();
    EXPECT_EQ(*s.systemMemory, (SystemMemorySnapshot{8, 4, 2, 1, SystemMemoryPressure::unknown}));
    platform.setSystemMemory(std::nullopt);
    EXPECT_FALSE(collector.collect().systemMemory);

    // Ticks: unreadable keeps the previous counters; a total that did not move gives nothing.
    platform.setCPUTicks(CPUTicks{10, 100});
    collector.collect();
    platform.setCPUTicks(std::nullopt);
    EXPECT_FALSE(collector.collect().systemCPU);
    platform.setCPUTicks(CPUTicks{110, 200});
    EXPECT_EQ(collector.collect().systemCPU, 100.0);
    EXPECT_FALSE(collector.collect().systemCPU); // total unchanged
    platform.setCPUTicks(CPUTicks{100, 300});    // busy went back
    EXPECT_FALSE(collector.collect().systemCPU);
}

// Against the real kernel: a busy child and a process in an application-bundle-shaped folder.
TEST(ProcessCollectorOnLinux, MeasuresABusyChildAndLabelsBundles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bundleBinary = dir.path() + QStringLiteral("/Foo.app/Contents/MacOS/Foo");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(bundleBinary).path()));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), bundleBinary));
    QFile::setPermissions(bundleBinary, QFile::ReadOwner | QFile::ExeOwner);

    QProcess busy;
    busy.setStandardOutputFile(QProcess::nullDevice());
    busy.start(QStringLiteral("/usr/bin/yes"), {});
    QProcess bundled;
    bundled.start(bundleBinary, {QStringLiteral("30")});
    ASSERT_TRUE(busy.waitForStarted());
    ASSERT_TRUE(bundled.waitForStarted());
    ASSERT_TRUE(lunorvale::test::waitUntilExecuted(static_cast<pid_t>(bundled.processId())));

    LinuxProcessPlatform platform;
    ProcessCollector collector(platform);
    const auto first = collector.collect();
    EXPECT_FALSE(first.systemCPU);
    for (const auto& p : first.processes)
        EXPECT_FALSE(p.cpuPercent);
    QThread::msleep(1000);
    const auto second = collector.collect();
    EXPECT_TRUE(second.systemCPU);

    const ProcessSample* load = nullptr;
    const ProcessSample* inBundle = nullptr;
    for (const auto& p : second.processes) {
        if (p.identity.pid == busy.processId())
            load = &p;
        if (p.identity.pid == bundled.processId())
            inBundle = &p;
    }
    ASSERT_TRUE(load);
    ASSERT_TRUE(load->cpuPercent);
    EXPECT_GT(*load->cpuPercent, 60.0);
    EXPECT_LT(*load->cpuPercent, 140.0);
    EXPECT_EQ(load->parentPID, static_cast<int32_t>(QCoreApplication::applicationPid()));
    ASSERT_TRUE(inBundle);
    EXPECT_EQ(inBundle->source, QStringLiteral("Foo"));
    EXPECT_EQ(inBundle->command, bundleBinary + QStringLiteral(" 30"));

    for (qsizetype i = 1; i < second.processes.size(); ++i)
        EXPECT_GE(second.processes[i - 1].cpuPercent.value_or(-1),
                  second.processes[i].cpuPercent.value_or(-1));
    busy.kill();
    bundled.kill();
    busy.waitForFinished();
    bundled.waitForFinished();
}

} // namespace
