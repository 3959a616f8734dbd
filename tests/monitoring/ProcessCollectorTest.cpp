#include "core/monitoring/ProcessCollector.h"
#include "support/ChildProcess.h"
#include "FakeProbes.h"
#include "core/monitoring/MonitorError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

class CollectorWithFakeKernel : public ::testing::Test {
protected:
    void SetUp() override { FakeKernel::reset(); }
    const ProcessSample* find(const MonitorSnapshot& s, int32_t pid) {
        for (const auto& p : s.processes)
            if (p.identity.pid == pid)
                return &p;
        return nullptr;
    }
    ProcessCollector collector{FakeKernel::probes()};
};

TEST_F(CollectorWithFakeKernel, RatesNeedTwoCallsAndTheSameIncarnation) {
    FakeKernel::add(10, 1000, 0, "steady");
    FakeKernel::add(11, 2000, 5'000'000'000, "rewinds");
    FakeKernel::add(12, 3000, 0, "reused");
    FakeKernel::busy = 100;
    FakeKernel::total = 1000;

    const auto first = collector.collect();
    EXPECT_FALSE(first.systemCPU);
    for (const auto& p : first.processes)
        EXPECT_FALSE(p.cpuPercent) << p.name.toStdString();

    FakeKernel::uptime = 102; // two seconds later
    FakeKernel::find(10)->record.cpu_ns = 1'000'000'000;
    FakeKernel::find(11)->record.cpu_ns = 1'000'000'000; // counter went back
    FakeKernel::find(12)->record.start_us = 9000;        // pid reused by a new process
    FakeKernel::find(12)->record.cpu_ns = 1'000'000'000;
    FakeKernel::busy = 150;
    FakeKernel::total = 1100;
    const auto second = collector.collect();
    ASSERT_TRUE(second.systemCPU);
    EXPECT_DOUBLE_EQ(*second.systemCPU, 50.0);
    ASSERT_TRUE(find(second, 10)->cpuPercent);
    EXPECT_DOUBLE_EQ(*find(second, 10)->cpuPercent, 50.0); // 1 s of CPU in 2 s
    EXPECT_FALSE(find(second, 11)->cpuPercent);
    EXPECT_FALSE(find(second, 12)->cpuPercent);

    FakeKernel::uptime = 103;
    FakeKernel::find(11)->record.cpu_ns = 1'500'000'000;
    const auto third = collector.collect();
    ASSERT_TRUE(find(third, 11)->cpuPercent); // measured again once it moves forward
    EXPECT_DOUBLE_EQ(*find(third, 11)->cpuPercent, 50.0);

    // Same uptime twice: no time has passed, so nothing can be measured.
    const auto again = collector.collect();
    for (const auto& p : again.processes)
        EXPECT_FALSE(p.cpuPercent);

    collector.reset();
    FakeKernel::uptime = 110;
    const auto afterReset = collector.collect();
    EXPECT_FALSE(afterReset.systemCPU);
    for (const auto& p : afterReset.processes)
        EXPECT_FALSE(p.cpuPercent);
}

TEST_F(CollectorWithFakeKernel, OrdersBusiestFirstAndKeepsKernelOrderForTies) {
    FakeKernel::add(1, 1, 0, "a");
    FakeKernel::add(2, 1, 0, "b");
    FakeKernel::add(3, 1, 0, "c");
    FakeKernel::add(4, 1, 0, "d");
    collector.collect();
    FakeKernel::uptime = 101;
    FakeKernel::find(2)->record.cpu_ns = 500'000'000;
    FakeKernel::find(4)->record.cpu_ns = 500'000'000;
    FakeKernel::add(5, 1, 0, "new"); // no percent: sorts after 0 %
    const auto s = collector.collect();
    QStringList order;
    for (const auto& p : s.processes)
        order << p.name;
    EXPECT_EQ(order, (QStringList{"b", "d", "a", "c", "new"}));
}

TEST_F(CollectorWithFakeKernel, UnreadableListThrowsAndChangesNothing) {
    FakeKernel::add(10, 1000, 0, "p");
    collector.collect();
    FakeKernel::collectResult = -1;
    FakeKernel::uptime = 101;
    try {
        collector.collect();
        FAIL() << "expected MonitorError";
    } catch (const MonitorError& error) {
        EXPECT_EQ(error.kind(), MonitorError::Kind::unavailable);
        EXPECT_EQ(error.errorDescription(),
                  QStringLiteral(
                      "无法读取进程。请从 Finder 打开完整的 Lunorvale.app；受限运行环境可能禁止进程访问。"));
    }
    FakeKernel::collectResult = 0;
    FakeKernel::uptime = 102;
    FakeKernel::find(10)->record.cpu_ns = 1'000'000'000;
    const auto s = collector.collect();
    ASSERT_TRUE(s.processes[0].cpuPercent); // still measured against the call before the failure
    EXPECT_DOUBLE_EQ(*s.processes[0].cpuPercent, 50.0);

    FakeKernel::processes.clear(); // no process at all is as unreadable as no list
    EXPECT_THROW(collector.collect(), MonitorError);
}

TEST_F(CollectorWithFakeKernel, ReadsPathAndArgumentsOnlyForNewOrRenamedProcesses) {
    FakeKernel::add(10, 1000, 0, "bash", "/usr/bin/bash", "bash -c x");
    FakeKernel::add(11, 1000, 0, "node", "/usr/bin/node", "node /w/proj/node_modules/.bin/vite");
    FakeKernel::skipped = 3;
    auto s = collector.collect();
    EXPECT_EQ(s.skippedCount, 3);
    EXPECT_EQ(FakeKernel::pathReads, 2);
    EXPECT_EQ(find(s, 11)->source, QStringLiteral("proj · 开发服务"));
    EXPECT_EQ(find(s, 10)->command, QStringLiteral("bash -c x"));

    for (int i = 0; i < 5; ++i)
        s = collector.collect();
    EXPECT_EQ(FakeKernel::pathReads, 2);
    EXPECT_EQ(FakeKernel::argsReads, 2);

    // An exec under the same identity renames the process: everything is read again and relabelled.
    auto* p = FakeKernel::find(10);
    std::strcpy(p->record.name, "python3");
    p->path = "/usr/bin/python3.11";
    p->args = "python3 job.py";
    s = collector.collect();
    EXPECT_EQ(FakeKernel::pathReads, 3);
    EXPECT_EQ(find(s, 10)->executable, QStringLiteral("/usr/bin/python3.11"));
    EXPECT_EQ(find(s, 10)->source, QStringLiteral("Python 任务"));

    // Caught while the kernel was still setting up its program: no arguments yet, read again until
    // they appear.
    FakeKernel::add(12, 1000, 0, "sleep", "/usr/bin/sleep", "");
    s = collector.collect();
    EXPECT_EQ(find(s, 12)->command, QString());
    FakeKernel::find(12)->args = "sleep 20";
    s = collector.collect();
    EXPECT_EQ(find(s, 12)->command, QStringLiteral("sleep 20"));
    const int readsSettled = FakeKernel::argsReads;
    collector.collect();
    EXPECT_EQ(FakeKernel::argsReads, readsSettled);
    FakeKernel::processes.pop_back();
    const int pathReads = FakeKernel::pathReads;

    // A process that went away and came back with the same pid and start time is new again.
    const auto saved = FakeKernel::processes;
    FakeKernel::processes.erase(FakeKernel::processes.begin());
    collector.collect();
    FakeKernel::processes = saved;
    s = collector.collect();
    EXPECT_EQ(FakeKernel::pathReads, pathReads + 1);
    EXPECT_FALSE(find(s, 10)->cpuPercent);
}

TEST_F(CollectorWithFakeKernel, SystemFiguresFollowTheirFlags) {
    FakeKernel::add(10, 1000, 0, "p");
    FakeKernel::memoryResult = 1;
    FakeKernel::memory.pressure_level = 2; // only the pressure is readable
    auto s = collector.collect();
    ASSERT_TRUE(s.systemMemory);
    EXPECT_EQ(*s.systemMemory, (SystemMemorySnapshot{{}, {}, {}, {}, SystemMemoryPressure::warning}));

    FakeKernel::memory = {8, 4, 2, 1, 1, 1, 1, 3};
    s = collector.collect();
    EXPECT_EQ(*s.systemMemory, (SystemMemorySnapshot{8, 4, 2, 1, SystemMemoryPressure::unknown}));
    FakeKernel::memoryResult = 0;
    EXPECT_FALSE(collector.collect().systemMemory);

    // Ticks: unreadable keeps the previous counters; a total that did not move gives nothing.
    FakeKernel::busy = 10;
    FakeKernel::total = 100;
    collector.collect();
    FakeKernel::ticksReadable = false;
    EXPECT_FALSE(collector.collect().systemCPU);
    FakeKernel::ticksReadable = true;
    FakeKernel::busy = 110;
    FakeKernel::total = 200;
    EXPECT_EQ(collector.collect().systemCPU, 100.0);
    EXPECT_FALSE(collector.collect().systemCPU); // total unchanged
    FakeKernel::busy = 100;                      // busy went back
    FakeKernel::total = 300;
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

    ProcessCollector collector;
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
