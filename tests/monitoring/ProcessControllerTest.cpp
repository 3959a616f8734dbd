#include "core/monitoring/ProcessController.h"
#include "support/ChildProcess.h"
#include "FakeProbes.h"
#include "core/monitoring/MonitorError.h"
#include "core/monitoring/ProcessCollector.h"

#include <QProcess>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace lunorvale;

namespace {

ProcessSample stoppable(int32_t pid = 4242) {
    ProcessSample s;
    s.identity = {pid, 777};
    s.name = QStringLiteral("worker");
    s.executable = QStringLiteral("/usr/bin/worker");
    s.command = QStringLiteral("worker --busy");
    s.uid = static_cast<uint32_t>(getuid());
    return s;
}

QString stopError(const ProcessSample& sample, bool force = false) {
    try {
        ProcessController::stop(sample, force, FakeKernel::probes());
    } catch (const MonitorError& error) {
        return error.errorDescription();
    }
    return {};
}

TEST(ProcessController, GuardsWhatMayBeStopped) {
    EXPECT_TRUE(ProcessController::canStop(stoppable()));
    const auto with = [](auto change) {
        ProcessSample s = stoppable();
        change(s);
        return ProcessController::canStop(s);
    };
    EXPECT_FALSE(with([](ProcessSample& s) { s.identity.pid = 1; }));
    EXPECT_FALSE(with([](ProcessSample& s) { s.identity.pid = static_cast<int32_t>(getpid()); }));
    EXPECT_FALSE(with([](ProcessSample& s) { s.uid += 1; }));
    EXPECT_FALSE(with([](ProcessSample& s) { s.executable.clear(); }));
    EXPECT_FALSE(with([](ProcessSample& s) { s.executable = "/System/Library/x"; }));
    EXPECT_FALSE(with([](ProcessSample& s) { s.executable = "/usr/libexec/y"; }));
    EXPECT_FALSE(with([](ProcessSample& s) { s.executable = "/sbin/launchd"; }));
    EXPECT_FALSE(with([](ProcessSample& s) { s.name = "WindowServer"; }));
    EXPECT_FALSE(with([](ProcessSample& s) { s.name = "loginwindow"; }));
    EXPECT_TRUE(with([](ProcessSample& s) { s.name = "windowserver"; }));
    EXPECT_TRUE(with([](ProcessSample& s) { s.executable = "/sbin/launchd2"; }));
}

TEST(ProcessController, StopRechecksPathAndCommandThenMapsTheSignalResult) {
    FakeKernel::reset();
    FakeKernel::add(4242, 777, 0, "worker", "/usr/bin/worker", "worker --busy");
    const ProcessSample sample = stoppable();

    EXPECT_EQ(stopError(sample), QString());
    EXPECT_EQ(FakeKernel::lastSignal, SIGTERM);
    EXPECT_EQ(stopError(sample, true), QString());
    EXPECT_EQ(FakeKernel::lastSignal, SIGKILL);

    const std::pair<int, QString> results[] = {
        {1, QStringLiteral("macOS 不允许停止该进程。请使用活动监视器查看。")},
        {3, QStringLiteral("该进程已退出或身份已变化，没有发送停止信号。")},
        {70, QStringLiteral("该进程已退出或身份已变化，没有发送停止信号。")},
        {EIO, QStringLiteral("停止失败：") + QString::fromLocal8Bit(std::strerror(EIO))},
    };
    for (const auto& [code, sentence] : results) {
        FakeKernel::signalResult = code;
        EXPECT_EQ(stopError(sample), sentence) << code;
    }
    FakeKernel::signalResult = 0;
    FakeKernel::lastSignal = 0;

    FakeKernel::find(4242)->args = "worker --other";
    EXPECT_EQ(stopError(sample), QStringLiteral("进程的任务命令已变化，请刷新后重新确认。"));
    FakeKernel::find(4242)->path = "/usr/bin/other";
    EXPECT_EQ(stopError(sample), QStringLiteral("进程已退出或执行程序已变化，请刷新后重试。"));
    FakeKernel::processes.clear(); // gone: its path is no longer readable
    EXPECT_EQ(stopError(sample), QStringLiteral("进程已退出或执行程序已变化，请刷新后重试。"));
    EXPECT_EQ(FakeKernel::lastSignal, 0) << "nothing may be signalled after a failed check";

    ProcessSample protectedSample = sample;
    protectedSample.identity.pid = 1;
    EXPECT_EQ(stopError(protectedSample),
              QStringLiteral("这个进程不支持在这里停止。系统关键进程和其他用户的进程受到保护。"));

    // A command that was unreadable when sampled and still is counts as unchanged.
    FakeKernel::add(4243, 778, 0, "quiet", "/usr/bin/quiet", "");
    ProcessSample quiet = stoppable(4243);
    quiet.identity.startTime = 778;
    quiet.executable = "/usr/bin/quiet";
    quiet.command.clear();
    EXPECT_EQ(stopError(quiet), QString());
}

TEST(ProcessController, LivenessFromTheKernelRecord) {
    FakeKernel::reset();
    const auto probes = FakeKernel::probes();
    FakeKernel::add(500, 10, 0, "p");
    EXPECT_EQ(ProcessController::liveness({500, 10}, probes), ProcessLiveness::running);
    EXPECT_EQ(ProcessController::liveness({500, 11}, probes), ProcessLiveness::exited);
    EXPECT_EQ(ProcessController::liveness({500, 0}, probes), ProcessLiveness::unverifiable);
    EXPECT_EQ(ProcessController::liveness({0, 10}, probes), ProcessLiveness::unverifiable);
    FakeKernel::find(500)->record.status = LV_STATUS_ZOMBIE;
    EXPECT_EQ(ProcessController::liveness({500, 10}, probes), ProcessLiveness::exited);
    EXPECT_FALSE(ProcessController::isAlive({500, 10}, probes));
    EXPECT_TRUE(ProcessController::isAlive({500, 0}, probes));
    // Unreadable, and no such pid at all.
    EXPECT_EQ(ProcessController::liveness({0x3ffffff0, 10}, probes), ProcessLiveness::exited);
    // Unreadable but existing (this very process): nothing can be concluded.
    EXPECT_EQ(ProcessController::liveness({static_cast<int32_t>(getpid()), 10}, probes),
              ProcessLiveness::unverifiable);
}

TEST(ProcessControllerOnLinux, StopsTheRealChildAndOnlyThatIncarnation) {
    QProcess child;
    child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(lunorvale::test::waitUntilExecuted(static_cast<pid_t>(child.processId())));
    ProcessCollector collector;
    const auto snapshot = collector.collect();
    const ProcessSample* found = nullptr;
    for (const auto& p : snapshot.processes)
        if (p.identity.pid == child.processId())
            found = &p;
    ASSERT_TRUE(found);
    const ProcessSample sample = *found;
    EXPECT_TRUE(ProcessController::canStop(sample));
    EXPECT_EQ(ProcessController::liveness(sample.identity), ProcessLiveness::running);

    ProcessSample stale = sample;
    stale.identity.startTime += 1;
    try {
        ProcessController::stop(stale, false);
        FAIL() << "a stale identity must be refused";
    } catch (const MonitorError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("该进程已退出或身份已变化，没有发送停止信号。"));
    }
    EXPECT_FALSE(child.waitForFinished(200));

    ProcessController::stop(sample, false);
    ASSERT_TRUE(child.waitForFinished(5000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit); // ended by a signal
    EXPECT_FALSE(ProcessController::isAlive(sample.identity));
}

} // namespace
