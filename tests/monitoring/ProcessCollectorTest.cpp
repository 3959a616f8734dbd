#include "core/monitoring/ProcessCollector.h"
#include "core/common/SafeText.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "core/monitoring/MonitorError.h"
#include "core/monitoring/ProcessController.h"
#include "platform/LinuxProcessPlatform.h"
#include "platform/probes/ProcStatParse.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"
#include "support/Thrown.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

using namespace lunorvale;
using namespace std::chrono_literals;

namespace {

using Process = InMemoryProcessPlatform::Process;

const ProcessSample* find(const MonitorSnapshot& snapshot, int32_t pid) {
    for (const auto& p : snapshot.processes)
        if (p.identity.pid == pid)
            return &p;
    return nullptr;
}

class ScriptedCollector : public ::testing::Test {
protected:
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

// A process names itself: it is shown without what could hide text or reorder the words around it, else
// by its executable's file name, else by its pid; sources from folders it chose are cleaned too. The
// kernel's name still tells a renamed process from the same one.
TEST_F(ScriptedCollector, ShowsNamesAndSourcesWithoutWhatCouldDisguiseThem) {
    const std::array<std::array<const char*, 4>, 6> cases{{
        // name, executable, shown name, source
        {"evil\u202eexe.txt\a", "/tmp/evil", "evilexe.txt", "evilexe.txt"},
        {"\x1b[31mred\x1b]0;title\a", "/usr/bin/red", "red", "red"},
        {" two\tlines\n", "/usr/bin/two", "two lines", "two lines"},
        {"\u200b\u2066\ufeff", "/opt/re\u202eal", "real", "real"},
        {"\u202e\x07", "", "PID 14", "PID 14"},
        {"app", "/A/R\u202efdp.app/Contents/MacOS/app", "app", "Rfdp"},
    }};
    for (int i = 0; i < int(cases.size()); ++i)
        add(10 + i, 1000, 0, cases[i][0], QString::fromUtf8(cases[i][1]), QStringLiteral("x"));
    const MonitorSnapshot s = collector.collect();
    for (int i = 0; i < int(cases.size()); ++i) {
        EXPECT_EQ(find(s, 10 + i)->name, QString::fromUtf8(cases[i][2])) << i;
        EXPECT_EQ(find(s, 10 + i)->source, QString::fromUtf8(cases[i][3])) << i;
    }
    const int reads = platform.pathReads();
    platform.change(10, [](Process& p) { std::strcpy(p.record.name, "evilexe.txt"); });
    collector.collect();
    EXPECT_EQ(platform.pathReads(), reads + 1);
}

TEST_F(ScriptedCollector, UnreadableListThrowsAndChangesNothing) {
    add(10, 1000, 0, "p");
    collector.collect();
    platform.setListReadable(false);
    platform.setUptime(101);
    const auto error = test::thrownBy<MonitorError>([&] { collector.collect(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), MonitorError::Kind::unavailable);
    EXPECT_EQ(
        error->errorDescription(),
        QStringLiteral("无法读取进程。/proc 可能未挂载或以 hidepid 选项挂载，或岚栖运行在限制进程访问的沙盒"
                       "或容器中。"));
    platform.setListReadable(true);
    platform.setUptime(102);
    setCPU(10, 1'000'000'000);
    const auto s = collector.collect();
    ASSERT_TRUE(s.processes[0].cpuPercent); // still measured against the call before the failure
    EXPECT_DOUBLE_EQ(*s.processes[0].cpuPercent, 50.0);

    platform.clear(); // no process at all is as unreadable as no list
    EXPECT_THROW(collector.collect(), MonitorError);
}

TEST_F(ScriptedCollector, ReadsPathAndArgumentsAgainOnlyWhenTheyMayHaveChanged) {
    add(10, 1000, 0, "bash", "/usr/bin/bash", "bash -c x");
    add(11, 1000, 0, "node", "/usr/bin/node", "node /w/proj/node_modules/.bin/vite");
    platform.setExtraSkipped(3);
    auto s = collector.collect();
    EXPECT_EQ(s.skippedCount, 3);
    EXPECT_EQ(find(s, 11)->source, QStringLiteral("proj · 开发服务"));
    EXPECT_EQ(find(s, 10)->command, QStringLiteral("bash -c x"));

    // Arguments, which a program may rewrite in place, are read once every ten calls; the path
    // only with a new program.
    for (int i = 0; i < 10; ++i)
        collector.collect();
    EXPECT_EQ(platform.pathReads(), 2);
    EXPECT_EQ(platform.argumentReads(), 4);
    platform.change(11, [](Process& p) { p.arguments = "node /w/proj/node_modules/.bin/jest"; });
    int calls = 0;
    do {
        s = collector.collect();
    } while (++calls < 10 && find(s, 11)->command.endsWith(QStringLiteral("vite")));
    EXPECT_EQ(find(s, 11)->source, QStringLiteral("proj · Jest 测试"));

    // A new program under the same identity is read again in the very call that sees it: by its
    // name, or by its program image where the name stayed.
    platform.put(
        InMemoryProcessPlatform::process(10, 1000, "python3", "/usr/bin/python3.11", "python3 job.py"));
    EXPECT_EQ(find(collector.collect(), 10)->source, QStringLiteral("Python 任务"));
    platform.change(10, [](Process& p) {
        p.arguments = "python3 other.py --jest";
        p.record.image_arg_end = 77;
    });
    EXPECT_EQ(find(collector.collect(), 10)->source, QStringLiteral("Jest 测试"));

    // An action that found the arguments changed marks them stale: read again in the next call.
    platform.change(11, [](Process& p) { p.arguments = "node /w/proj/node_modules/.bin/vite"; });
    platform.markStale({11, 1000});
    EXPECT_EQ(find(collector.collect(), 11)->source, QStringLiteral("proj · 开发服务"));

    // Caught while the kernel was still setting up its program: no arguments yet, read again until
    // they appear.
    add(12, 1000, 0, "sleep", "/usr/bin/sleep", "");
    EXPECT_EQ(find(collector.collect(), 12)->command, QString());
    platform.change(12, [](Process& p) { p.arguments = "sleep 20"; });
    EXPECT_EQ(find(collector.collect(), 12)->command, QStringLiteral("sleep 20"));
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

TEST_F(ScriptedCollector, ReadsTheApplicationWithThePathAndOnceMoreWhileYoung) {
    platform.setApplicationEntry({"org.example.Busy", "忙碌", "/apps/org.example.Busy.desktop"});
    const auto started = [&](int32_t pid, uint64_t start, const char* application) {
        add(pid, start, 0, "busy", "/opt/busy/busy", "busy --run");
        platform.change(pid, [application](Process& p) { p.application = QString::fromUtf8(application); });
    };
    started(10, 1000, "org.example.Busy");
    started(11, 1000, "");
    // Just started: the desktop has not moved it into the application's unit yet.
    started(12, static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch()) * 1000, "");
    auto s = collector.collect();
    EXPECT_EQ(find(s, 10)->application, QStringLiteral("org.example.Busy"));
    EXPECT_EQ(find(s, 10)->source, QStringLiteral("忙碌"));
    EXPECT_EQ(find(s, 11)->application, QString());
    EXPECT_EQ(find(s, 11)->source, QStringLiteral("busy"));
    EXPECT_EQ(platform.applicationReads(), 3);

    // Moved since: the young one is seen there with its next arguments, the old one never.
    platform.change(11, [](Process& p) { p.application = QStringLiteral("org.example.Busy"); });
    platform.change(12, [](Process& p) { p.application = QStringLiteral("org.example.Busy"); });
    for (int i = 0; i < 25; ++i)
        s = collector.collect();
    EXPECT_EQ(find(s, 11)->application, QString());
    EXPECT_EQ(find(s, 12)->application, QStringLiteral("org.example.Busy"));
    EXPECT_EQ(find(s, 12)->source, QStringLiteral("忙碌"));
    EXPECT_EQ(platform.applicationReads(), 4);
    // Read again with the path.
    platform.markStale({11, 1000});
    EXPECT_EQ(find(collector.collect(), 11)->source, QStringLiteral("忙碌"));
}

// A wall clock set after the start times were counted (68 s ahead here) moves no running time.
TEST_F(ScriptedCollector, RunningTimesComeFromTheClockOfTheStartTimes) {
    const uint64_t wallClock = static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch()) * 1000;
    platform.setStartClock(wallClock - 68'000'000);
    add(10, wallClock - 68'000'000 - 1'900'000'000, 0, "long");
    EXPECT_DOUBLE_EQ(find(collector.collect(), 10)->elapsedSeconds, 1900);
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

// Against the real kernel: busy children and a process in an application-bundle-shaped folder. A
// child's share of a core is checked against the kernel's own clock of its CPU time, read around each
// sample: however busy the machine, the share lies between the least and the most the child can have
// used between the collector's two reads. A program whose main thread has ended is measured, shown
// and stopped as any other.
TEST(ProcessCollectorOnLinux, MeasuresABusyChildAndLabelsBundles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bundleBinary = dir.path() + QStringLiteral("/Foo.app/Contents/MacOS/Foo");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(bundleBinary).path()));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), bundleBinary));
    QFile::setPermissions(bundleBinary, QFile::ReadOwner | QFile::ExeOwner);
    const std::string leaderless = test::leaderlessProgram();
    std::unique_ptr<test::ChildProcess> busy[] = {
        test::ChildProcess::spawn({"sh", "-c", "exec yes > /dev/null"}),
        test::ChildProcess::spawn({leaderless, "busy"})};
    auto bundled = test::ChildProcess::spawn({bundleBinary.toStdString(), "30"});
    ASSERT_TRUE(busy[0] && busy[1] && bundled);
    const std::string leaderStat = "/proc/" + std::to_string(busy[1]->pid()) + "/stat";
    ASSERT_TRUE(test::pollUntil(
        [&] {
            std::ifstream file(leaderStat);
            const auto stat = probes::parseProcStat(std::string{std::istreambuf_iterator<char>(file), {}});
            return stat && stat->state == 'Z';
        },
        test::waitBound));
    clockid_t busyClocks[2]{};
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(::clock_getcpuclockid(busy[i]->pid(), &busyClocks[i]), 0);
    struct Reading {
        double wall = 0;
        std::array<double, 2> cpu{};
    };
    const auto read = [&] {
        const auto seconds = [](clockid_t clock) {
            timespec time{};
            ::clock_gettime(clock, &time);
            return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
        };
        return Reading{seconds(CLOCK_MONOTONIC), {seconds(busyClocks[0]), seconds(busyClocks[1])}};
    };

    LinuxProcessPlatform platform;
    ProcessCollector collector(platform);
    const Reading beforeFirst = read();
    collector.collect();
    const Reading afterFirst = read();
    // The children run until each has used a measurable share of a core.
    ASSERT_TRUE(test::pollUntil(
        [&] {
            const Reading now = read();
            return now.cpu[0] >= afterFirst.cpu[0] + 0.5 && now.cpu[1] >= afterFirst.cpu[1] + 0.5;
        },
        test::waitBound));
    const Reading beforeSecond = read();
    const auto second = collector.collect();
    const Reading afterSecond = read();
    EXPECT_TRUE(second.systemCPU);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const ProcessSample* load = find(second, busy[i]->pid());
        ASSERT_TRUE(load && load->cpuPercent);
        // The status file counts CPU time in whole ticks (10 ms), each of its two fields cut down.
        constexpr double ticks = 0.02;
        EXPECT_GE(*load->cpuPercent, (beforeSecond.cpu[i] - afterFirst.cpu[i] - ticks) /
                                         (afterSecond.wall - beforeFirst.wall) * 100);
        EXPECT_LE(*load->cpuPercent, (afterSecond.cpu[i] - beforeFirst.cpu[i] + ticks) /
                                         (beforeSecond.wall - afterFirst.wall) * 100);
        EXPECT_EQ(load->parentPID, static_cast<int32_t>(QCoreApplication::applicationPid()));
        EXPECT_GT(load->residentBytes, 0u);
    }
    const ProcessSample* inBundle = find(second, bundled->pid());
    ASSERT_TRUE(inBundle);
    EXPECT_EQ(inBundle->source, QStringLiteral("Foo"));
    EXPECT_EQ(inBundle->command, bundleBinary + QStringLiteral(" 30"));
    const ProcessSample* ended = find(second, busy[1]->pid());
    EXPECT_EQ(ended->executable.toStdString(), leaderless);
    EXPECT_EQ(ended->command.toStdString(), leaderless + " busy");
    EXPECT_NO_THROW(ProcessController(platform).stop(*ended, false));
    const auto status = busy[1]->waitForExit(test::waitBound);
    EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM);
}

// A program at a path that is no UTF-8 keeps its bytes apart; a command line past the probe's buffer is
// cut before the character the cut would split and ends in "…".
TEST(ProcessCollectorOnLinux, PathsKeepTheirBytesAndCutCommandsSaySo) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string program = QFile::encodeName(dir.path()).toStdString() + "/\xD7\xA9\xE9sh";
    // The folder's own removal cannot name a file whose name is no UTF-8: the copy goes by its bytes.
    const auto removeCopy = qScopeGuard([&] { ::unlink(program.c_str()); });
    ASSERT_TRUE(
        QFile::copy(QStringLiteral("/bin/sh"), QFile::decodeName(QFile::encodeName(dir.path()) + "/sh")));
    ASSERT_EQ(::rename((QFile::encodeName(dir.path()) + "/sh").constData(), program.c_str()), 0);
    const std::string prefix = program + " -c sleep 60; : \xE9 ";
    const qsizetype room = LV_ARGS_BUFFER - 1 - qsizetype(prefix.size());
    // How far into a three-byte character the cut falls, and what is kept of that character.
    const std::pair<qsizetype, std::string> cases[] = {{1, ""}, {2, ""}, {3, "中"}};
    for (const auto& [into, kept] : cases) {
        const std::string last = std::string(size_t(room - into), 'a') + "中中";
        auto child = test::ChildProcess::spawn({program, "-c", "sleep 60; :", "\xE9", last});
        ASSERT_TRUE(child);
        LinuxProcessPlatform platform;
        const auto pid = static_cast<int32_t>(child->pid());
        // Until the child runs the program: then its arguments are long.
        ASSERT_TRUE(
            test::pollUntil([&] { return platform.processArguments(pid).size() > room; }, test::waitBound));
        ProcessCollector collector(platform);
        const MonitorSnapshot snapshot = collector.collect();
        const ProcessSample* sample = find(snapshot, pid);
        ASSERT_TRUE(sample);
        EXPECT_EQ(sample->executable, SafeText::decoded(program));
        EXPECT_NE(sample->executable, QFile::decodeName(QByteArray::fromStdString(program)));
        EXPECT_EQ(sample->command, SafeText::decoded(prefix + std::string(size_t(room - into), 'a') + kept) +
                                       QStringLiteral("…"));
        EXPECT_TRUE(SafeText::verbatim(sample->command).contains(QStringLiteral("\\xE9 a")));
    }
}

// A forked copy of this program that rewrites its own argv in place on SIGUSR1, as programs that
// set their process title do. Everything here runs in the child, async-signal-safe.
uint64_t argumentArea[2];

void rewriteArguments(int) {
    constexpr char title[] = "rewritten argv";
    char* const begin = reinterpret_cast<char*>(argumentArea[0]);
    std::memset(begin, 0, argumentArea[1] - argumentArea[0]);
    std::memcpy(begin, title, std::min(sizeof title - 1, argumentArea[1] - argumentArea[0] - 1));
}

void rewriteArgumentsOnSignal(const void*) {
    LVProcessRecord self;
    if (lv_read_process(::getpid(), &self) != 1 || self.image_arg_end <= self.image_arg_start + 16)
        ::_exit(1);
    argumentArea[0] = self.image_arg_start;
    argumentArea[1] = self.image_arg_end;
    struct sigaction action {};
    action.sa_handler = rewriteArguments;
    ::sigaction(SIGUSR1, &action, nullptr);
}

// True once the process has a second thread and its main thread sleeps.
bool mainThreadAsleepBesideAnother(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    const std::string line{std::istreambuf_iterator<char>(file), {}};
    const auto stat = probes::parseProcStat(line);
    return stat && stat->threads > 1 && stat->state == 'S';
}

// A program that changes after it was sampled is shown as it is now: a new program in the next
// sample, arguments rewritten in place within ten, also by a thread other than the main one while the
// main thread sleeps; a replaced executable once an action found it changed. A stop for the stale
// sample is refused, and after one refresh the stop succeeds.
TEST(ProcessCollectorOnLinux, ChangedProgramsShowAsTheyAreAndCanBeStopped) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The first pipe lets the shell go on; the program it then runs waits on the second, which never
    // gets a writer. (Had it waited on the first again, it could open it while the test's writer still
    // held it, read its end at once and exit.)
    const std::string fifo = dir.filePath(QStringLiteral("go")).toStdString();
    const std::string hold = dir.filePath(QStringLiteral("hold")).toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(hold.c_str(), 0600), 0);
    const QString copied = dir.filePath(QStringLiteral("sleeper"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), copied));
    QFile::setPermissions(copied, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString commandChanged = QStringLiteral("进程的任务命令已变化，请刷新后重新确认。");
    struct Case {
        std::function<std::unique_ptr<test::ChildProcess>()> start;
        std::function<void(test::ChildProcess&)> change;
        bool byPath; // the executable changes, not the command
        QString shown;
        int samplesWithoutAct; // within how many samples it shows by itself; 0: after an action only
        QString refusal;
    };
    const Case cases[] = {
        // Waits on the pipe, then runs the same program again, which waits for ever.
        {[&] {
             return test::ChildProcess::spawn(
                 {"sh", "-c", "read l < " + fifo + "; exec sh -c 'read l < " + hold + "'"});
         },
         [&](test::ChildProcess&) { std::ofstream(fifo) << "go\n"; }, false,
         QStringLiteral("sh -c read l < ") + QString::fromStdString(hold), 1, commandChanged},
        {[] { return test::ChildProcess::forkIdle(rewriteArgumentsOnSignal, nullptr); },
         [](test::ChildProcess& child) { child.signal(SIGUSR1); }, false, QStringLiteral("rewritten argv"),
         10, commandChanged},
        {[] {
             auto child =
                 test::ChildProcess::spawn({test::retitlerProgram(), "retitled by its second thread"});
             if (child && !test::pollUntil([&] { return mainThreadAsleepBesideAnother(child->pid()); },
                                           test::waitBound))
                 child.reset();
             return child;
         },
         [](test::ChildProcess& child) { child.signal(SIGUSR1); }, false,
         QStringLiteral("retitled by its second thread"), 10, commandChanged},
        {[&] {
             return test::ChildProcess::spawn({copied.toStdString(), "60"});
         },
         [&](test::ChildProcess&) {
             QFile::remove(copied);
             QFile::copy(QStringLiteral("/bin/sleep"), copied);
         },
         true, copied + QStringLiteral(" (deleted)"), 0,
         QStringLiteral("进程已退出或执行程序已变化，请刷新后重试。")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        auto child = c.start();
        ASSERT_TRUE(child);
        const auto pid = static_cast<int32_t>(child->pid());
        const auto shownBy = [&](const MonitorSnapshot& snapshot) {
            const ProcessSample* found = find(snapshot, pid);
            return found != nullptr ? *found : ProcessSample{};
        };
        const auto shown = [&](const ProcessSample& p) {
            return c.byPath ? p.executable : p.command;
        };
        LinuxProcessPlatform platform;
        ProcessCollector collector(platform);
        // Sampled until the arguments were read twice, so that they are kept wherever they may be.
        ProcessSample before;
        for (int sample = 0; sample <= c.samplesWithoutAct; ++sample)
            before = shownBy(collector.collect());
        ASSERT_NE(shown(before), c.shown);

        c.change(*child);
        ASSERT_TRUE(test::pollUntil(
            [&] {
                return (c.byPath ? platform.processPath(pid) : platform.processArguments(pid)) == c.shown;
            },
            test::waitBound));
        int samples = 0;
        while (samples < c.samplesWithoutAct && shown(shownBy(collector.collect())) != c.shown)
            ++samples;
        EXPECT_TRUE(c.samplesWithoutAct == 0 || samples < c.samplesWithoutAct) << "not shown by itself";

        const ProcessController controller(platform);
        const auto refused = test::thrownBy<MonitorError>([&] { controller.stop(before, false); });
        EXPECT_EQ(refused ? refused->errorDescription() : QString(), c.refusal);
        const ProcessSample after = shownBy(collector.collect());
        EXPECT_EQ(shown(after), c.shown);
        EXPECT_NO_THROW(controller.stop(after, false));
        const auto status = child->waitForExit(test::waitBound);
        EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM);
    }
}

} // namespace
