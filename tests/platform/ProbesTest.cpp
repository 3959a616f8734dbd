#include "platform/ChildProcesses.h"
#include "platform/probes/Listings.h"
#include "platform/probes/ProcStatParse.h"
#include "platform/probes/lv_probes.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <link.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using lunorvale::test::ChildProcess;
using lunorvale::test::pollUntil;
using lunorvale::test::waitUntilExecuted;
using namespace std::chrono_literals;

namespace {

constexpr uid_t nobody = 65534;

struct Collected {
    std::vector<LVProcessRecord> records;
    int count = 0;
    uint32_t skipped = 0;
};

Collected collect(int32_t capacity = LV_COLLECT_CAPACITY) {
    Collected result;
    result.records.assign(LV_COLLECT_CAPACITY, LVProcessRecord{});
    result.count = lv_collect(result.records.data(), capacity, &result.skipped);
    return result;
}

const LVProcessRecord* find(const Collected& collected, pid_t pid) {
    for (int i = 0; i < collected.count; ++i) {
        if (collected.records[static_cast<size_t>(i)].pid == pid)
            return &collected.records[static_cast<size_t>(i)];
    }
    return nullptr;
}

std::string executablePath(pid_t pid, uint32_t size = LV_PATH_BUFFER) {
    std::vector<char> buffer(size, '\0');
    lv_process_path(pid, buffer.data(), size);
    return buffer.data();
}

std::string arguments(pid_t pid, uint64_t size = LV_ARGS_BUFFER) {
    std::vector<char> buffer(size, 'Q');
    const uint64_t length = lv_process_args(pid, buffer.data(), size);
    EXPECT_LT(length, size);
    EXPECT_EQ(std::strlen(buffer.data()), length);
    return buffer.data();
}

std::string realPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    std::string result = resolved != nullptr ? resolved : "";
    std::free(resolved);
    return result;
}

std::string sleepProgram() {
    return realPath("/bin/sleep").empty() ? "/usr/bin/sleep" : "/bin/sleep";
}

std::unique_ptr<ChildProcess> spawnSleep() {
    return ChildProcess::spawn({"sleep", "60"});
}

// A copy of `program` under `directory` with the given relative path, ready to run.
std::string copyProgram(const std::string& program, const QTemporaryDir& directory, const QString& relative) {
    const QString target = directory.filePath(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    if (!QFile::copy(QString::fromStdString(program), target))
        return {};
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return target.toStdString();
}

std::string copySleep(const QTemporaryDir& directory, const QString& relative) {
    return copyProgram(realPath(sleepProgram()), directory, relative);
}

// The state letter of the process's own status line (its main thread's), or 0.
char stateOf(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    const std::string line{std::istreambuf_iterator<char>(file), {}};
    const auto stat = lunorvale::probes::parseProcStat(line);
    return stat ? stat->state : 0;
}

LVProcessRecord readOrFail(pid_t pid) {
    LVProcessRecord record{};
    EXPECT_EQ(lv_read_process(pid, &record), 1);
    return record;
}

void exitAtOnce(const void*) {
    ::_exit(0);
}

void setName(const void* name) {
    ::prctl(PR_SET_NAME, static_cast<const char*>(name), 0, 0, 0);
}

// Whether this copy of the test program was started by runAgainAlone.
bool runsAlone() {
    return qEnvironmentVariableIsSet("LUNORVALE_TEST_ALONE");
}

// Runs the current test again in a copy of this program that sees no process but its own and its
// children: in a process-ID namespace of its own with its own /proc (util-linux's unshare; without
// root, in a user namespace that keeps the user, or maps it to root where `asRoot`, who may then set
// the namespace's last pid). Whatever other processes of this user do meanwhile, what its listings
// count is the test's own. Skipped where no such namespace can be had, or where the copy skips.
void runAgainAlone(bool asRoot = false) {
    QStringList unshare{"--pid", "--kill-child", "--mount-proc"};
    if (::geteuid() != 0)
        unshare = QStringList{"--user", asRoot ? "--map-root-user" : "--map-current-user"} + unshare;
    if (QProcess::execute("unshare", unshare + QStringList{"true"}) != 0)
        GTEST_SKIP() << "no process-ID namespace of its own can be had here";
    const ::testing::TestInfo* current = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess copy;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LUNORVALE_TEST_ALONE", "1");
    copy.setProcessEnvironment(environment);
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.start("unshare", unshare + QStringList{QCoreApplication::applicationFilePath(),
                                                QStringLiteral("--gtest_filter=%1.%2")
                                                    .arg(current->test_suite_name(), current->name())});
    ASSERT_TRUE(copy.waitForFinished(test::waitBoundMs));
    const QByteArray output = copy.readAll();
    EXPECT_EQ(copy.exitCode(), 0) << output.toStdString();
    if (output.contains("[  SKIPPED ] 1 test")) {
        const qsizetype reason = output.indexOf("Skipped\n");
        GTEST_SKIP() << "alone: "
                     << output.mid(reason + 8, output.indexOf("\n[  SKIPPED ]") - reason - 8).toStdString();
    }
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
}

} // namespace

TEST(ProcessProbes, ReadRefusesImpossiblePidsAndLeavesTheRecordAlone) {
    LVProcessRecord record;
    std::memset(&record, 0x5a, sizeof record);
    const LVProcessRecord before = record;
    for (const int32_t pid : {0, -1, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(lv_read_process(pid, &record), 0) << pid;
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << pid;
    }
    EXPECT_EQ(lv_read_process(::getpid(), nullptr), 0);
}

TEST(ProcessProbes, CollectListsAnOwnChildWithItsParentUserNameArgumentsAndPath) {
    auto child = spawnSleep();
    ASSERT_TRUE(child);
    const Collected collected = collect();
    ASSERT_GT(collected.count, 0);
    const LVProcessRecord* record = find(collected, child->pid());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->ppid, ::getpid());
    EXPECT_EQ(record->uid, ::getuid());
    EXPECT_NE(record->status, static_cast<uint32_t>(LV_STATUS_ZOMBIE));
    EXPECT_STREQ(record->name, "sleep");
    EXPECT_GT(record->resident_bytes, 0u);
    EXPECT_NE(find(collected, ::getpid()), nullptr);

    EXPECT_EQ(arguments(child->pid()), "sleep 60");
    EXPECT_EQ(executablePath(child->pid()), realPath(sleepProgram()));
    EXPECT_EQ(lv_process_path(child->pid(), std::vector<char>(LV_PATH_BUFFER).data(), LV_PATH_BUFFER),
              static_cast<int>(realPath(sleepProgram()).size()));

    // The start time is the same on every read, since the boot time is read once.
    EXPECT_GT(record->start_us, 1'500'000'000'000'000u); // after 2017
    for (int i = 0; i < 100; ++i) {
        const LVProcessRecord single = readOrFail(child->pid());
        ASSERT_EQ(single.start_us, record->start_us) << i;
        ASSERT_STREQ(single.name, record->name);
        ASSERT_EQ(single.uid, record->uid);
    }
    EXPECT_LE(readOrFail(::getpid()).start_us, record->start_us);
}

// Zombies and other users' processes never reach the records and are not counted as skipped: alone,
// nothing is.
TEST(ProcessProbes, CollectPassesOverZombiesAndOtherUsersWithoutCountingThem) {
    if (!runsAlone())
        return runAgainAlone();
    struct Case {
        const char* what;
        std::function<std::unique_ptr<ChildProcess>()> start;
        uid_t uid;
        uint32_t status;
    };
    const Case cases[] = {
        {"zombies",
         [] {
             auto zombie = ChildProcess::forkIdle(exitAtOnce, nullptr);
             return zombie && zombie->waitUntilExited(test::waitBound) ? std::move(zombie) : nullptr;
         },
         ::getuid(), LV_STATUS_ZOMBIE},
        {"other users",
         [] {
             return ChildProcess::spawn({sleepProgram(), "60"}, {.user = nobody, .group = nobody});
         },
         nobody, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.status != LV_STATUS_ZOMBIE && ::geteuid() != 0)
            continue; // starting a process of another user needs root (and nobody is ours when we are nobody)
        std::vector<std::unique_ptr<ChildProcess>> passedOver;
        for (int i = 0; i < 12; ++i) {
            passedOver.push_back(c.start());
            ASSERT_TRUE(passedOver.back());
        }
        const LVProcessRecord record = readOrFail(passedOver.front()->pid());
        EXPECT_EQ(record.uid, c.uid);
        EXPECT_EQ(record.status, c.status);

        for (int listing = 0; listing < 3; ++listing) {
            const Collected collected = collect();
            ASSERT_GT(collected.count, 0);
            for (const auto& child : passedOver)
                EXPECT_EQ(find(collected, child->pid()), nullptr);
            // Slots after the last record stay as the caller passed them.
            for (size_t i = static_cast<size_t>(collected.count); i < collected.records.size(); ++i)
                ASSERT_EQ(collected.records[i].pid, 0) << i;
            EXPECT_EQ(collected.skipped, 0u) << listing;
        }
    }
}

// Alone, every listing names the same processes: those past the room given are all counted as skipped.
TEST(ProcessProbes, CollectCountsWhatDoesNotFitAsSkipped) {
    if (!runsAlone())
        return runAgainAlone();
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(spawnSleep());
        ASSERT_TRUE(children.back());
    }
    const Collected full = collect();
    ASSERT_EQ(full.count, 5);
    EXPECT_EQ(full.skipped, 0u);
    const Collected none = collect(0);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.skipped, 5u);
    const Collected three = collect(3);
    EXPECT_EQ(three.count, 3);
    EXPECT_EQ(three.skipped, 2u);
    uint32_t skipped = 77;
    EXPECT_EQ(lv_collect(nullptr, 0, &skipped), 0);
    EXPECT_EQ(skipped, 5u);
}

// Names keep blanks and parentheses; a name the kernel cut is completed from the executable or
// argv[0] that begins with it. The kernel names a process after the path given to exec, so a long
// link to the real program gives a cut name that only argv[0] completes.
TEST(ProcessProbes, NamesAreWholeEvenWhereTheKernelCutThem) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string longCopy = copySleep(directory, "abcdefghijklmnopqrstu");
    ASSERT_FALSE(longCopy.empty());
    const std::string link = directory.filePath("linkedsleepername").toStdString();
    ASSERT_EQ(::symlink(realPath(sleepProgram()).c_str(), link.c_str()), 0);
    static const char blanks[] = "a b) c";
    static const char unmatched[] = "fifteen-bytes!!";

    const std::pair<std::unique_ptr<ChildProcess>, std::string> cases[] = {
        {ChildProcess::forkIdle(setName, blanks), blanks},
        {ChildProcess::spawn({longCopy, "60"}), "abcdefghijklmnopqrstu"},
        {ChildProcess::spawn({link, "60"}), "linkedsleepername"},
        {ChildProcess::forkIdle(setName, unmatched), unmatched}};
    const Collected collected = collect();
    for (const auto& [child, expected] : cases) {
        SCOPED_TRACE(expected);
        ASSERT_TRUE(child);
        EXPECT_EQ(readOrFail(child->pid()).name, expected);
        const LVProcessRecord* record = find(collected, child->pid());
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(std::string(record->name), expected);
    }
}

// Arguments are cut to the buffer; empty ones inside the line are kept, those at its end dropped. A path
// that fails leaves an empty text, and a cut path would name another file, so it fails too. Processes
// without either (a zombie, impossible pids) give empty texts.
TEST(ProcessProbes, ArgumentsAndPathsAreCutOrFailCleanly) {
    auto child = spawnSleep();
    auto inside = ChildProcess::spawn({"sh", "-c", "sleep 60; :", "", "last"});
    auto atEnd = ChildProcess::spawn({"sh", "-c", "sleep 60; :", "name", ""});
    auto zombie = ChildProcess::forkIdle(exitAtOnce, nullptr);
    ASSERT_TRUE(child && inside && atEnd && zombie && zombie->waitUntilExited(test::waitBound));
    const pid_t sleeper = child->pid();
    const uint64_t whole = LV_ARGS_BUFFER;
    // clang-format off
    const std::tuple<pid_t, uint64_t, std::string> cases[] = {
        {sleeper, 1, ""}, {sleeper, 2, "s"}, {sleeper, 6, "sleep"}, {sleeper, 7, "sleep "},
        {sleeper, 8, "sleep 6"}, {sleeper, 9, "sleep 60"}, {inside->pid(), whole, "sh -c sleep 60; :  last"},
        {atEnd->pid(), whole, "sh -c sleep 60; : name"}, {zombie->pid(), whole, ""}, {0, whole, ""},
        {-5, whole, ""},
    };
    // clang-format on
    for (const auto& [pid, size, expected] : cases)
        EXPECT_EQ(arguments(pid, size), expected) << pid << " " << size;
    // A zombie's arguments stay empty for good, so the tests' wait for a started program's arguments
    // ends at one (a child that ends at once is one) instead of running into its bound.
    EXPECT_TRUE(waitUntilExecuted(zombie->pid()));
    char buffer[8] = "QQQQQQQ";
    EXPECT_EQ(lv_process_args(child->pid(), buffer, 0), 0u);
    EXPECT_EQ(lv_process_path(child->pid(), buffer, 0), 0);
    EXPECT_EQ(buffer[0], 'Q');
    for (const pid_t pid : {child->pid(), -1, zombie->pid()}) {
        EXPECT_EQ(lv_process_path(pid, buffer, sizeof buffer), 0) << pid;
        EXPECT_STREQ(buffer, "");
    }
}

TEST(ProcessProbes, CheckedSignalEndsOnlyTheVeryProcess) {
    auto child = spawnSleep();
    ASSERT_TRUE(child);
    const LVProcessRecord record = readOrFail(child->pid());
    const pid_t pid = child->pid();
    const uint32_t uid = ::getuid();
    struct Case {
        const char* what;
        int32_t pid;
        uint64_t start;
        uint32_t uid;
        int32_t signal;
        int expected;
    };
    auto zombie = ChildProcess::forkIdle(exitAtOnce, nullptr);
    ASSERT_TRUE(zombie && zombie->waitUntilExited(test::waitBound));
    const Case cases[] = {
        {"zombie", zombie->pid(), readOrFail(zombie->pid()).start_us, uid, SIGKILL, LV_SIGNAL_GONE},
        {"start one microsecond later", pid, record.start_us + 1, uid, SIGTERM, LV_SIGNAL_IDENTITY_CHANGED},
        {"start one microsecond earlier", pid, record.start_us - 1, uid, SIGKILL, LV_SIGNAL_IDENTITY_CHANGED},
        {"interrupt signal", pid, record.start_us, uid, SIGINT, LV_SIGNAL_REFUSED},
        {"signal zero", pid, record.start_us, uid, 0, LV_SIGNAL_REFUSED},
        {"own process", ::getpid(), readOrFail(::getpid()).start_us, uid, SIGTERM, LV_SIGNAL_REFUSED},
        {"other user", pid, record.start_us, uid + 1, SIGTERM, LV_SIGNAL_REFUSED},
        {"init", 1, record.start_us, uid, SIGTERM, LV_SIGNAL_REFUSED},
        {"pid zero", 0, record.start_us, uid, SIGTERM, LV_SIGNAL_REFUSED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(lv_signal_checked(c.pid, c.start, c.uid, c.signal), c.expected);
    }
    // Nothing reached the child: the right identity ends it, by that very signal (one sent before, of
    // a lower number, would have been delivered first).
    EXPECT_TRUE(child->running());
    EXPECT_EQ(lv_signal_checked(pid, record.start_us, uid, SIGTERM), LV_SIGNAL_SENT);
    const std::optional<int> status = child->waitForExit(test::waitBound);
    EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM);
}

TEST(ProcessProbes, CheckedSignalSparesTheSession) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    for (const char* name : {"gnome-shell", "Xwayland", "dbus-daemon", "systemd", "gnome-session-binary",
                             "kwin_wayland", "WindowServer"}) {
        SCOPED_TRACE(name);
        const std::string program = copySleep(directory, QString::fromUtf8(name));
        ASSERT_FALSE(program.empty());
        auto child = ChildProcess::spawn({program, "60"});
        ASSERT_TRUE(child);
        const LVProcessRecord record = readOrFail(child->pid());
        EXPECT_EQ(lv_signal_checked(child->pid(), record.start_us, record.uid, SIGKILL), LV_SIGNAL_REFUSED);
        EXPECT_TRUE(child->running());
    }
}

TEST(ProcessProbes, SystemFiguresFromTheKernel) {
    uint64_t busy = 0, total = 0, laterBusy = 0, laterTotal = 0;
    ASSERT_EQ(lv_cpu_ticks(&busy, &total), 1);
    EXPECT_LE(busy, total);
    ASSERT_TRUE(pollUntil([&] { return lv_cpu_ticks(&laterBusy, &laterTotal) == 1 && laterTotal > total; },
                          test::waitBound));
    EXPECT_GE(laterBusy, busy);
    EXPECT_LE(laterBusy, laterTotal);
    EXPECT_EQ(lv_cpu_ticks(nullptr, &total), 0);

    LVSystemMemory memory{};
    ASSERT_EQ(lv_system_memory(&memory), 1);
    EXPECT_TRUE(memory.has_physical && memory.has_memory && memory.has_swap);
    EXPECT_GT(memory.used_bytes, 0u);
    EXPECT_LE(memory.used_bytes, memory.physical_bytes);
    // With pressure figures the level is known; it is one of the levels the interface names.
    EXPECT_TRUE(memory.pressure_level != 0 || !QFile::exists(QStringLiteral("/proc/pressure/memory")));
    EXPECT_TRUE(std::set<int32_t>({0, 1, 2, 4}).contains(memory.pressure_level)) << memory.pressure_level;
    EXPECT_EQ(lv_system_memory(nullptr), 0);

    // How long this process has run, by the clock its start time is counted on, is what the kernel's
    // time since boot less its start tick says.
    const uint64_t now = lv_start_clock_us();
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    std::ifstream file("/proc/self/stat");
    const auto self = lunorvale::probes::parseProcStat(std::string{std::istreambuf_iterator<char>(file), {}});
    ASSERT_TRUE(self && uptime > 0);
    const double byKernel =
        uptime - static_cast<double>(self->starttime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    EXPECT_NEAR(static_cast<double>(now - readOrFail(::getpid()).start_us) / 1e6, byKernel, 0.1);
}

namespace {

// lv_application_running for which the bundle holds a program named `tiedName` alone.
int running(const char* path, std::string tiedName = {}, LVNamedProcess* named = nullptr) {
    const auto tied = [](const char* name, void* wanted) -> int {
        return name == *static_cast<std::string*>(wanted);
    };
    return lv_application_running(path, tied, &tiedName, named);
}

// The dynamic loader this test program runs under, as its ELF interpreter names it; empty where it
// names none that can be run.
std::string dynamicLoader() {
    std::string path;
    // The program itself comes first, its interpreter's name mapped with it.
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* found) {
            for (ElfW(Half) index = 0; index < info->dlpi_phnum; ++index) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[index];
                if (segment.p_type == PT_INTERP)
                    *static_cast<std::string*>(found) =
                        reinterpret_cast<const char*>(info->dlpi_addr + segment.p_vaddr);
            }
            return 1;
        },
        &path);
    return !path.empty() && ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

// `path` from this process's folder, which the children it starts begin in.
std::string fromHere(const std::string& path) {
    return std::filesystem::relative(path, std::filesystem::current_path()).string();
}

} // namespace

TEST(ProcessProbes, ApplicationRunningLooksInsideBundles) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string program = copySleep(directory, QStringLiteral("X.app2/Contents/MacOS/X"));
    ASSERT_FALSE(program.empty());
    auto child = ChildProcess::spawn({program, "60"});
    ASSERT_TRUE(child);
    ASSERT_EQ(executablePath(child->pid()), realPath(program));

    const std::string base = realPath(directory.path().toStdString());
    const std::string bundle = base + "/X.app2";
    EXPECT_EQ(running(bundle.c_str()), 1);
    EXPECT_EQ(running((bundle + "/").c_str()), 1);
    EXPECT_EQ(running(realPath(program).c_str()), 1);
    EXPECT_EQ(running(base.c_str()), 1);
    // Names that only begin with the same characters are other folders.
    for (const std::string& other : {base + "/X.app", base + "/X.ap", realPath(program) + "Y"}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(running(other.c_str()), 0);
    }
    EXPECT_EQ(running("X.app2"), -1);
    EXPECT_EQ(running(""), -1);
    EXPECT_EQ(running(nullptr), -1);

    child->terminate();
    EXPECT_NE(running(bundle.c_str()), 1);

    // A program whose main thread has ended runs on in its other threads.
    const std::string leaderless = copyProgram(lunorvale::test::leaderlessProgram(), directory,
                                               QStringLiteral("X.app2/Contents/MacOS/Leaderless"));
    ASSERT_FALSE(leaderless.empty());
    child = ChildProcess::spawn({leaderless});
    ASSERT_TRUE(child && pollUntil([&] { return stateOf(child->pid()) == 'Z'; }, test::waitBound));
    EXPECT_NE(readOrFail(child->pid()).status, static_cast<uint32_t>(LV_STATUS_ZOMBIE));
    EXPECT_EQ(running(bundle.c_str()), 1);
    child->terminate();

    // The loader's link names the loader, whatever program it runs, and so does that of a copy of it under
    // another name: the program it maps, by its real path, tells where it runs, whatever its arguments say
    // (blanked by the program, naming a link gone since, or a file of the bundle it reads), and a process
    // running one from the bundle is named.
    const std::string loader = dynamicLoader();
    if (loader.empty())
        GTEST_SKIP() << "this test program names no dynamic loader that can be run";
    const std::string retitler = copyProgram(lunorvale::test::retitlerProgram(), directory,
                                             QStringLiteral("X.app2/Contents/MacOS/Retitler"));
    const std::string renamedLoader = copyProgram(loader, directory, QStringLiteral("runner"));
    const std::string shortcut = base + "/shortcut";
    ASSERT_EQ(::symlink(program.c_str(), shortcut.c_str()), 0);
    const auto blank = [&] {
        ASSERT_TRUE(child->signal(SIGUSR1));
        ASSERT_TRUE(pollUntil([&] { return arguments(child->pid()).find(retitler) == std::string::npos; },
                              test::waitBound));
    };
    const struct {
        std::vector<std::string> argv;
        int answer;
        std::string tiedName = {};
        std::function<void()> afterStart = {};
    } loaded[] = {
        {{loader, program, "60"}, 1},
        {{loader, "--argv0", "X", "--inhibit-cache", fromHere(program), "60"}, 1},
        {{loader, "--library-path", bundle + "/Contents/MacOS", sleepProgram(), "60"}, 0},
        {{loader, sleepProgram(), "60"}, 0},
        {{loader, sleepProgram(), "60"}, 0, "sleep"},
        {{loader, realPath("/usr/bin/tail"), "-n", "0", "-f", program}, 0},
        {{loader, retitler, "x"}, 1, {}, blank},
        {{loader, shortcut, "60"},
         1,
         {},
         [&] {
             ASSERT_EQ(::unlink(shortcut.c_str()), 0);
         }},
        {{renamedLoader, program, "60"}, 1},
    };
    for (const auto& c : loaded) {
        SCOPED_TRACE(c.argv[0] + " " + c.argv[1] + " " + c.tiedName);
        child = ChildProcess::spawn(c.argv);
        ASSERT_TRUE(child && waitUntilExecuted(child->pid()));
        ASSERT_EQ(executablePath(child->pid()), realPath(c.argv[0]));
        // Once it waits, the loader has mapped the program and handed over to it.
        ASSERT_TRUE(pollUntil([&] { return stateOf(child->pid()) == 'S'; }, test::waitBound));
        if (c.afterStart)
            c.afterStart();
        LVNamedProcess named{};
        EXPECT_EQ(running(bundle.c_str(), c.tiedName, &named), c.answer);
        EXPECT_EQ(named.pid, c.answer != 0 ? child->pid() : 0);
        // The kernel names a process after the file it ran, cut to 15 bytes.
        EXPECT_EQ(named.name,
                  c.answer != 0 ? std::filesystem::path(c.argv[0]).filename().string().substr(0, 15) : "");
        child->terminate();
    }

    // A process whose executable is closed to its own user leaves the answer open only where an argument
    // or a name of it (or of any of its threads) ties it to the bundle, wherever its argv[0] points; an
    // argv[0] into the bundle says it runs there. Either way it is named. A closed process whose main
    // thread has ended is read through its live threads, one run through the loader by the program it was
    // given. Root reads every link.
    if (lunorvale::test::ranAsNobody())
        return;
    using lunorvale::test::MainThread;
    // Names of this run alone: another run of this test as nobody may have its processes out meanwhile.
    const std::string name = "Helper" + std::to_string(::getpid());
    const std::string agent = "Agent" + std::to_string(::getpid()), zed = "Zed" + std::to_string(::getpid());
    const std::string helper = base + "/" + name;
    ASSERT_EQ(::symlink(lunorvale::test::undumpableProgram().c_str(), helper.c_str()), 0);
    const std::string inside = copyProgram(lunorvale::test::undumpableProgram(), directory,
                                           QString::fromStdString("X.app2/Contents/MacOS/" + agent));
    const std::string link = base + "/agent";
    ASSERT_EQ(::symlink(inside.c_str(), link.c_str()), 0);
    // Renamed while its program runs, with a new copy put at the old path, which argv[0] then names.
    const std::string moved = copyProgram(lunorvale::test::undumpableProgram(), directory,
                                          QString::fromStdString("Y.app/Contents/MacOS/" + agent));
    // The kernel names a process after the file it ran, cut to 15 bytes.
    const std::string loaderName = std::filesystem::path(loader).filename().string().substr(0, 15);
    const auto renameAndCopyAgain = [&] {
        ASSERT_EQ(::rename((base + "/Y.app").c_str(), (base + "/Y-old.app").c_str()), 0);
        ASSERT_FALSE(copyProgram(lunorvale::test::undumpableProgram(), directory,
                                 QString::fromStdString("Y.app/Contents/MacOS/" + agent))
                         .empty());
    };
    const struct {
        std::vector<std::string> argv;
        std::string program;
        std::string renamed;
        std::string tiedName;
        int answer;
        MainThread mainThread = MainThread::runs;
        std::string named = {}; // the name given, where not `name` or `renamed`
        std::string asked = {}; // the folder asked about, where not `bundle`
        std::function<void()> afterStart = {};
        std::string mainThreadName = {}; // taken by the main thread (or its first stand-in) alone
    } cases[] = {
        {{name, "-a", base + "/agent.socket"}, helper, "", "X", 0},
        {{name, "-a", bundle + "/Contents/agent.socket"}, helper, "", "X", -1},
        {{name, "--data=" + bundle + "/Contents"}, helper, "", "X", -1},
        {{name}, helper, "", name, -1},
        {{name}, helper, "renamed", name, -1},
        {{bundle + "/Moved/" + name}, helper, "", name, -1},
        {{link}, link, "", "X", 1, MainThread::runs, "agent"},
        {{inside}, inside, "", "X", 1, MainThread::ends, agent},
        {{inside}, inside, "", agent, -1, MainThread::runs, zed, {}, {}, zed},
        {{inside}, inside, "", agent, -1, MainThread::ends, zed, {}, {}, zed},
        {{agent}, inside, "", agent, -1, MainThread::ends, agent},
        {{agent}, inside, zed, agent, -1, MainThread::ends},
        {{sleepProgram(), "60"}, inside, "", agent, -1, MainThread::runs, agent},
        {{moved}, moved, "", agent, -1, MainThread::runs, agent, base + "/Y-old.app", renameAndCopyAgain},
        {{loader, fromHere(inside)}, loader, "", agent, -1, MainThread::runs, loaderName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv.front() + " " + c.argv.back() + " " + c.renamed + " " + c.mainThreadName);
        const auto closed =
            lunorvale::test::spawnUndumpable(c.argv, c.program, c.renamed, c.mainThread, c.mainThreadName);
        ASSERT_TRUE(closed);
        if (c.afterStart)
            c.afterStart();
        LVNamedProcess named{};
        EXPECT_EQ(running((c.asked.empty() ? bundle : c.asked).c_str(), c.tiedName, &named), c.answer);
        EXPECT_EQ(named.pid, c.answer != 0 ? closed->pid() : 0);
        const std::string expected = !c.named.empty() ? c.named : c.renamed.empty() ? name : c.renamed;
        EXPECT_EQ(named.name, c.answer == 0 ? "" : expected);
    }
}

// Whether every one of `children` is listed exactly once: 0, or what went wrong. Only the children
// count: other processes of this user may start and end meanwhile, be skipped and pass their pids on.
int listingFault(const std::vector<pid_t>& children) {
    const Collected collected = collect();
    std::vector<pid_t> pids;
    for (int i = 0; i < collected.count; ++i)
        pids.push_back(collected.records[static_cast<size_t>(i)].pid);
    std::sort(pids.begin(), pids.end());
    for (const pid_t child : children) {
        const auto [first, last] = std::equal_range(pids.begin(), pids.end(), child);
        if (last - first != 1)
            return first == last ? 2 : 1; // a child missing, or listed twice
    }
    return 0;
}

// More processes than a low open-file limit leaves descriptors for: every one is listed, once, in
// every listing, whether its descriptor is kept or it is read without keeping one; processes that
// ended are gone from the next listing and new ones are in it.
TEST(ProcessProbes, CollectOfManyProcessesListsEachOnceWhateverTheFileLimit) {
    std::vector<std::unique_ptr<ChildProcess>> children;
    std::vector<pid_t> pids;
    std::vector<uint64_t> starts;
    const auto startChildren = [&](int count) {
        for (int i = 0; i < count; ++i) {
            children.push_back(ChildProcess::spawn({sleepProgram(), "60", std::to_string(i % 7)}));
            ASSERT_TRUE(children.back());
            pids.push_back(children.back()->pid());
            starts.push_back(readOrFail(pids.back()).start_us);
        }
    };
    // Six times as many as the copy below may keep descriptors for.
    startChildren(300);

    // Listed three times by a copy of this process that may keep 48 descriptors, forked before this
    // process has listed anything, so that the copy starts afresh; then by a second thread of the copy,
    // whose listings share those 48 with the first's and keep no more than their own open files.
    const pid_t limited = ::fork();
    ASSERT_GE(limited, 0);
    if (limited == 0) {
        const rlimit low{64, 64};
        int fault = ::setrlimit(RLIMIT_NOFILE, &low) == 0 ? 0 : 4;
        for (int round = 0; round < 3 && fault == 0; ++round)
            fault = listingFault(pids);
        const auto open = [] {
            return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
        };
        const auto before = open();
        if (fault == 0) {
            std::thread([&] {
                fault = listingFault(pids);
                fault = fault == 0 && open() > before + 3 ? 5 : fault;
            }).join();
        }
        ::_exit(fault);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(limited, &status, 0), limited);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // A copy whose listings' share holds four and a half descriptors for each process, beside a
    // thread whose listings give way: its own keep the runs and arguments of each, so that the arguments
    // read of a child that has not run since are still known unchanged after that thread listed.
    const pid_t beside = ::fork();
    ASSERT_GE(beside, 0);
    if (beside == 0) {
        const rlim_t share = static_cast<rlim_t>(collect().count) * 9 / 2;
        rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = share <= 1536 ? share * 4 / 3 + 1 : share + 512;
        int fault = files.rlim_cur <= files.rlim_max && ::setrlimit(RLIMIT_NOFILE, &files) == 0 ? 0 : 4;
        collect();
        char arguments[LV_ARGS_BUFFER];
        lv_process_args(pids.front(), arguments, sizeof arguments);
        std::promise<void> listed, done;
        std::thread look([&] {
            std::vector<LVProcessRecord> records(LV_COLLECT_CAPACITY);
            uint32_t skipped = 0;
            lv_collect_giving_way(records.data(), LV_COLLECT_CAPACITY, &skipped);
            listed.set_value();
            done.get_future().wait();
        });
        listed.get_future().wait();
        collect();
        fault = fault == 0 && lv_process_args_unchanged(pids.front()) != 1 ? 6 : fault;
        done.set_value();
        look.join();
        ::_exit(fault);
    }
    ASSERT_EQ(::waitpid(beside, &status, 0), beside);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(listingFault(pids), 0);
        // A third of the children end, as many new ones start.
        for (size_t i = 0; i < 100; ++i)
            ASSERT_TRUE(children[i]->signal(SIGKILL) && children[i]->waitForExit(test::waitBound));
        const Collected after = collect();
        for (size_t i = 0; i < 100; ++i) {
            // Its pid may name another process of this user by now.
            const LVProcessRecord* listed = find(after, pids[i]);
            EXPECT_TRUE(listed == nullptr || listed->start_us != starts[i]) << pids[i];
        }
        children.erase(children.begin(), children.begin() + 100);
        pids.erase(pids.begin(), pids.begin() + 100);
        starts.erase(starts.begin(), starts.begin() + 100);
        startChildren(100);
    }
}

// The pid the kernel handed out last.
pid_t lastPidHandedOut() {
    std::ifstream loadavg("/proc/loadavg");
    std::string field;
    for (int i = 0; i < 5; ++i)
        loadavg >> field;
    return static_cast<pid_t>(std::stol(field));
}

// Pids that went all the way round between two listings, past the last pid of the first: a child
// started meanwhile, below that pid, is in the second listing, whether the last pid is below the first
// listing's or past it again. Threads take pids as processes do. Alone in a process-ID namespace whose
// last pid is set just below the top, a few threads take its pids round.
TEST(ProcessProbes, AChildStartedWhilePidsWentRoundIsListed) {
    if (!runsAlone())
        return runAgainAlone(true);
    // Only the first process of a namespace of its own sets its last pid, never the machine's.
    if (::getpid() != 1)
        GTEST_SKIP() << "not the first process of a process-ID namespace of its own";
    int maximum = 0;
    std::ifstream("/proc/sys/kernel/pid_max") >> maximum;
    const auto setLastPid = [](pid_t pid) {
        std::ofstream file("/proc/sys/kernel/ns_last_pid");
        file << pid << std::flush;
        return file.good();
    };
    if (maximum < 1000 || !setLastPid(maximum - 100))
        GTEST_SKIP() << "the namespace's last pid cannot be set";
    // A second process in the namespace lets its listings go on from a pid rather than list all.
    const auto other = spawnSleep();
    ASSERT_TRUE(other);
    for (const bool pastItAgain : {false, true}) {
        // A trace holds for its own thread only.
        const char* row = pastItAgain ? "past it again" : "below it";
        SCOPED_TRACE(row);
        ASSERT_TRUE(setLastPid(maximum - 16));
        // The listings of a new thread start afresh: its first is a full one, the second is not.
        std::thread([&] {
            SCOPED_TRACE(row);
            collect();
            const pid_t before = lastPidHandedOut();
            for (pid_t previous = before; lastPidHandedOut() >= previous;) {
                previous = lastPidHandedOut();
                std::thread([] {}).join();
            }
            const auto child = ChildProcess::spawn({sleepProgram(), "60"});
            ASSERT_TRUE(child);
            ASSERT_LT(child->pid(), before);
            if (pastItAgain) {
                ASSERT_TRUE(setLastPid(before));
                std::thread([] {}).join();
                ASSERT_GT(lastPidHandedOut(), before);
            }
            EXPECT_NE(find(collect(), child->pid()), nullptr) << child->pid() << " below " << before;
        }).join();
    }
}

// The open-file limit raised for the kept descriptors stays the program's own: what it starts gets
// the limit the program started with, however it is started. A program that cannot be started is
// reported.
TEST(ProcessProbes, ProcessesTheProgramStartsGetTheOriginalFileLimit) {
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    const rlimit before = files;
    if (files.rlim_max < 2048)
        GTEST_SKIP() << "the hard limit leaves nothing to raise";
    files.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
    collect();
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    if (files.rlim_cur == 1000) {
        ::setrlimit(RLIMIT_NOFILE, &before);
        GTEST_SKIP() << "an earlier test of this process raised the limit already";
    }

    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString file = directory.filePath(QStringLiteral("limit"));
    const QString script = QStringLiteral("ulimit -Sn > ") + file;
    const std::pair<const char*, std::function<bool()>> cases[] = {
        {"started by the program",
         [&] {
             QProcess process;
             lunorvale::useOriginalLimits(process);
             process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
             return process.waitForFinished(test::waitBoundMs);
         }},
        {"started detached by the program",
         [&] {
             return lunorvale::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}) &&
                    pollUntil([&] { return QFileInfo(file).size() > 0; }, test::waitBound);
         }},
        {"a test child",
         [&] {
             auto child = ChildProcess::spawn({"/bin/sh", "-c", script.toStdString()});
             return child && child->waitForExit(test::waitBound).has_value();
         }},
    };
    for (const auto& [what, start] : cases) {
        SCOPED_TRACE(what);
        QFile::remove(file);
        ASSERT_TRUE(start());
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll().trimmed(), QByteArray("1000"));
    }
    EXPECT_FALSE(lunorvale::startDetached(directory.filePath(QStringLiteral("missing")), {}));
    ::setrlimit(RLIMIT_NOFILE, &before);
}

namespace {

// Run in a forked copy of this program: on SIGUSR1 it becomes nobody's process without running a new
// program, as a service that drops its privileges does. Async-signal-safe.
void becomeNobody(int) {
    if (::setresgid(nobody, nobody, nobody) != 0 || ::setresuid(nobody, nobody, nobody) != 0)
        ::_exit(1);
}

void becomeNobodyOnSignal(const void*) {
    struct sigaction action {};
    action.sa_handler = becomeNobody;
    ::sigaction(SIGUSR1, &action, nullptr);
}

} // namespace

// A process seen before is read through the descriptor kept from the earlier listing; when it
// changes its user it leaves the list like any other process of another user: at once when it runs
// a new program, within a few listings when it changes its user itself.
TEST(ProcessProbes, KnownProcessThatChangesUserLeavesTheList) {
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "changing a process's user needs root and setpriv (util-linux)";
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string fifo = directory.filePath(QStringLiteral("go")).toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::function<std::unique_ptr<ChildProcess>()> start;
        std::function<void(ChildProcess&)> change;
        bool atOnce;
    };
    const Case cases[] = {
        {"runs a program as nobody",
         [&] {
             return ChildProcess::spawn({"/bin/sh", "-c",
                                         "read line < " + fifo +
                                             "; exec /usr/bin/setpriv --reuid=65534 "
                                             "--regid=65534 --clear-groups " +
                                             sleepProgram() + " 60"});
         },
         [&](ChildProcess&) { std::ofstream(fifo) << "go\n"; }, true},
        {"becomes nobody itself", [] { return ChildProcess::forkIdle(becomeNobodyOnSignal, nullptr); },
         [](ChildProcess& child) { child.signal(SIGUSR1); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto child = c.start();
        ASSERT_TRUE(child);
        EXPECT_TRUE(pollUntil([&] { return find(collect(), child->pid()) != nullptr; }, test::waitBound));
        const uint64_t start = readOrFail(child->pid()).start_us;
        c.change(*child);
        EXPECT_TRUE(pollUntil(
            [&] {
                LVProcessRecord record{};
                return lv_read_process(child->pid(), &record) == 1 && record.uid == nobody;
            },
            test::waitBound));
        EXPECT_EQ(readOrFail(child->pid()).start_us, start) << "same process, new user";
        if (c.atOnce)
            EXPECT_EQ(find(collect(), child->pid()), nullptr);
        else
            EXPECT_TRUE(pollUntil([&] { return find(collect(), child->pid()) == nullptr; }, test::waitBound));
    }
}

namespace {

// The stack of a thread that the forked copy starts: the copy has the page to itself.
alignas(16) char threadStack[65536];

int idleThread(void*) {
    for (;;)
        ::pause();
}

// Run in a forked copy of this program: starts a second thread that only waits. Async-signal-safe.
void startIdleThread(const void*) {
    ::clone(idleThread, threadStack + sizeof threadStack,
            CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND | CLONE_THREAD | CLONE_SYSVSEM, nullptr);
}

} // namespace

// /proc finds a thread by its id though it never lists it. A number read again by its path, as a
// remembered one is once pids wrapped around, is a process only when it leads its thread group.
TEST(ProcessProbes, AThreadLookedUpByItsNumberIsNoProcess) {
    const auto child = ChildProcess::forkIdle(startIdleThread, nullptr);
    ASSERT_TRUE(child);
    QStringList tasks =
        QDir(QStringLiteral("/proc/%1/task").arg(child->pid())).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    tasks.removeOne(QString::number(child->pid()));
    ASSERT_EQ(tasks.size(), 1);
    const pid_t thread = tasks.front().toInt();
    LVProcessRecord record{};
    EXPECT_EQ(lv_read_process(thread, &record), 0);
    EXPECT_EQ(readOrFail(child->pid()).pid, child->pid());

    const auto times = [](const Collected& collected, pid_t pid) {
        return std::count_if(collected.records.begin(), collected.records.begin() + collected.count,
                             [pid](const LVProcessRecord& r) { return r.pid == pid; });
    };
    // Listings of a thread of their own: the first is a full one, after which the thread's number is
    // remembered as one from before pids wrapped around.
    std::thread([&] {
        for (uint64_t listing = 0; listing <= lunorvale::probes::lookAgainPeriod; ++listing) {
            const Collected collected = collect();
            EXPECT_EQ(times(collected, child->pid()), 1) << listing;
            EXPECT_EQ(times(collected, thread), 0) << listing;
            if (listing == 0) {
                ASSERT_TRUE(lunorvale::probes::rememberForLookingAgain(thread));
            }
        }
    }).join();
}

namespace {

const char renamed[] = "woke-renamed";

void renameOnSignal(int) {
    ::prctl(PR_SET_NAME, renamed, 0, 0, 0);
}

// Shared with forked copies: set to let the copy that renamed itself sleep again.
std::atomic<bool>* sleepAgain = nullptr;

void renameAndRunOnSignal(int) {
    ::prctl(PR_SET_NAME, renamed, 0, 0, 0);
    while (!sleepAgain->load())
        ;
}

// Run in a forked copy of this program: on SIGUSR1 it wakes and takes another name, and with `runOn`
// goes on running until told. Async-signal-safe.
void renameOnWaking(const void* runOn) {
    struct sigaction action {};
    action.sa_handler = runOn != nullptr ? renameAndRunOnSignal : renameOnSignal;
    ::sigaction(SIGUSR1, &action, nullptr);
}

} // namespace

// A sleeping process is listed from what was read of it before, for as long as it has not run: what
// changes when it runs, and its parent, which changes when the parent ends, show in the next listing
// as a fresh read shows them. Its arguments count as unchanged only until it runs.
TEST(ProcessProbes, ASleepingProcessShowsWhatChangedSinceItsLastListing) {
    void* const shared =
        ::mmap(nullptr, sizeof(std::atomic<bool>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    sleepAgain = new (shared) std::atomic<bool>(false);
    const auto unmap = qScopeGuard([&] {
        sleepAgain->store(true);
        ::munmap(shared, sizeof(std::atomic<bool>));
    });
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string pidFile = directory.filePath(QStringLiteral("pid")).toStdString();
    struct Case {
        const char* what;
        std::function<std::unique_ptr<ChildProcess>()> start;
        std::function<pid_t(ChildProcess&)> watched; // the process that sleeps through the listings
        const char* sleeper;                         // its name while it sleeps, where it is another's
        std::function<void(ChildProcess&)> change;
        std::function<bool(const LVProcessRecord& listed, const LVProcessRecord& fresh)> shows;
        bool runs;
    };
    const Case cases[] = {
        {"wakes and renames itself", [] { return ChildProcess::forkIdle(renameOnWaking, nullptr); },
         [](ChildProcess& child) { return child.pid(); }, nullptr,
         [](ChildProcess& child) { child.signal(SIGUSR1); },
         [](const LVProcessRecord& listed, const LVProcessRecord& fresh) {
             return std::string(fresh.name) == renamed && std::string(listed.name) == renamed &&
                    listed.cpu_ns == fresh.cpu_ns;
         },
         true},
        // The kernel settles a thread's run time only at a tick or when it stops running: read
        // between, just after it woke, the run time is still the one it slept with.
        {"wakes, renames itself and runs on", [] { return ChildProcess::forkIdle(renameOnWaking, "run on"); },
         [](ChildProcess& child) { return child.pid(); }, nullptr,
         [](ChildProcess& child) { child.signal(SIGUSR1); },
         [](const LVProcessRecord& listed, const LVProcessRecord&) {
             sleepAgain->store(true);
             return std::string(listed.name) == renamed;
         },
         true},
        {"loses its parent",
         [&] {
             return ChildProcess::spawn({"/bin/sh", "-c", "sleep 60 & echo $! > " + pidFile + "; wait"});
         },
         [&](ChildProcess&) {
             pid_t pid = 0;
             pollUntil([&] { return bool(std::ifstream(pidFile) >> pid); }, test::waitBound);
             return pid;
         },
         "sleep", [](ChildProcess& child) { child.signal(SIGKILL); },
         [](const LVProcessRecord& listed, const LVProcessRecord& fresh) {
             return listed.ppid == fresh.ppid;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto child = c.start();
        ASSERT_TRUE(child);
        const pid_t watched = c.watched(*child);
        ASSERT_GT(watched, 0);
        // A process just started runs until it sleeps, and a shell's child until it is the program.
        ASSERT_TRUE(pollUntil(
            [&] {
                std::ifstream file("/proc/" + std::to_string(watched) + "/stat");
                const std::string line{std::istreambuf_iterator<char>(file), {}};
                const auto stat = lunorvale::probes::parseProcStat(line);
                return stat && stat->state == 'S' && (c.sleeper == nullptr || stat->comm == c.sleeper);
            },
            test::waitBound));
        // Known, then read through what was kept from the listings before.
        for (int listing = 0; listing < 3; ++listing)
            ASSERT_NE(find(collect(), watched), nullptr);
        arguments(watched);
        ASSERT_NE(find(collect(), watched), nullptr);
        EXPECT_EQ(lv_process_args_unchanged(watched), 1);
        const LVProcessRecord before = readOrFail(watched);
        c.change(*child);
        // Listed again as soon as the change shows.
        const auto deadline = std::chrono::steady_clock::now() + test::waitBound;
        for (;;) {
            const LVProcessRecord now = readOrFail(watched);
            if (std::string(now.name) != before.name || now.ppid != before.ppid)
                break;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::yield();
        }
        const Collected collected = collect();
        const LVProcessRecord* listed = find(collected, watched);
        ASSERT_NE(listed, nullptr);
        EXPECT_TRUE(c.shows(*listed, readOrFail(watched)));
        EXPECT_EQ(lv_process_args_unchanged(watched), c.runs ? 0 : 1);
        if (watched != child->pid())
            ::kill(watched, SIGKILL);
    }
}
