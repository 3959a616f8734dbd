#include "platform/probes/lv_probes.h"
#include "support/ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using lunorvale::test::ChildProcess;
using lunorvale::test::pollUntil;
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

// A copy of the sleep program under `directory` with the given relative path, ready to run.
std::string copySleep(const QTemporaryDir& directory, const QString& relative) {
    const QString target = directory.filePath(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    if (!QFile::copy(QString::fromStdString(realPath(sleepProgram())), target))
        return {};
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return target.toStdString();
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

uint64_t meminfoBytes(const std::string& key) {
    std::ifstream file("/proc/meminfo");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind(key + ":", 0) != 0)
            continue;
        std::istringstream fields(line.substr(key.size() + 1));
        std::string number;
        fields >> number;
        uint64_t value = 0;
        std::from_chars(number.data(), number.data() + number.size(), value);
        return value * 1024;
    }
    return 0;
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

    const LVProcessRecord single = readOrFail(child->pid());
    EXPECT_EQ(std::memcmp(&single.start_us, &record->start_us, sizeof single.start_us), 0);
    EXPECT_STREQ(single.name, record->name);
    EXPECT_EQ(single.uid, record->uid);
}

TEST(ProcessProbes, CollectPassesOverZombiesWithoutCountingThem) {
    std::vector<std::unique_ptr<ChildProcess>> zombies;
    for (int i = 0; i < 12; ++i) {
        zombies.push_back(ChildProcess::forkIdle(exitAtOnce, nullptr));
        ASSERT_TRUE(zombies.back());
        ASSERT_TRUE(zombies.back()->waitUntilExited(10s));
    }
    const LVProcessRecord zombie = readOrFail(zombies.front()->pid());
    EXPECT_EQ(zombie.status, static_cast<uint32_t>(LV_STATUS_ZOMBIE));

    // Processes ending between the listing and the reading are counted; tolerate a few of them.
    // Other tests end processes all the time: keep listing until one listing is quiet enough.
    uint32_t fewestSkipped = UINT32_MAX;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    for (int attempt = 0;
         attempt < 3 || (fewestSkipped >= zombies.size() && std::chrono::steady_clock::now() < deadline);
         ++attempt) {
        const Collected collected = collect();
        ASSERT_GT(collected.count, 0);
        for (const auto& child : zombies)
            EXPECT_EQ(find(collected, child->pid()), nullptr);
        // Slots after the last record stay as the caller passed them.
        for (size_t i = static_cast<size_t>(collected.count); i < collected.records.size(); ++i)
            ASSERT_EQ(collected.records[i].pid, 0) << i;
        fewestSkipped = std::min(fewestSkipped, collected.skipped);
    }
    EXPECT_LT(fewestSkipped, zombies.size());
}

TEST(ProcessProbes, CollectPassesOverOtherUsersWithoutCountingThem) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "starting a process of another user needs root";
    std::vector<std::unique_ptr<ChildProcess>> others;
    for (int i = 0; i < 12; ++i) {
        others.push_back(ChildProcess::spawn({sleepProgram(), "60"}, {.user = nobody, .group = nobody}));
        ASSERT_TRUE(others.back());
    }
    const LVProcessRecord other = readOrFail(others.front()->pid());
    EXPECT_EQ(other.uid, nobody);
    EXPECT_STREQ(other.name, "sleep");

    uint32_t fewestSkipped = UINT32_MAX;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    for (int attempt = 0;
         attempt < 3 || (fewestSkipped >= others.size() && std::chrono::steady_clock::now() < deadline);
         ++attempt) {
        const Collected collected = collect();
        ASSERT_GT(collected.count, 0);
        for (const auto& child : others)
            EXPECT_EQ(find(collected, child->pid()), nullptr);
        for (int i = 0; i < collected.count; ++i)
            EXPECT_EQ(collected.records[static_cast<size_t>(i)].uid, ::getuid());
        fewestSkipped = std::min(fewestSkipped, collected.skipped);
    }
    EXPECT_LT(fewestSkipped, others.size());
}

TEST(ProcessProbes, CollectCountsWhatDoesNotFitAsSkipped) {
    auto child = spawnSleep();
    ASSERT_TRUE(child);
    // Other processes may start or end between two listings; retry until two agree.
    // Other tests start and end processes all the time: keep trying for a while.
    bool agreed = false;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!agreed && std::chrono::steady_clock::now() < deadline) {
        const Collected full = collect();
        const Collected none = collect(0);
        const Collected three = collect(3);
        ASSERT_GE(full.count, 3);
        ASSERT_EQ(none.count, 0);
        ASSERT_EQ(three.count, 3);
        agreed = none.skipped == full.skipped + static_cast<uint32_t>(full.count) &&
                 three.skipped == full.skipped + static_cast<uint32_t>(full.count) - 3;
    }
    EXPECT_TRUE(agreed);
    uint32_t skipped = 77;
    EXPECT_EQ(lv_collect(nullptr, 0, &skipped), 0);
    EXPECT_GT(skipped, 0u);
}

TEST(ProcessProbes, StartTimeIsTheSameOnEveryRead) {
    auto child = spawnSleep();
    ASSERT_TRUE(child);
    const LVProcessRecord first = readOrFail(child->pid());
    EXPECT_GT(first.start_us, 1'500'000'000'000'000u); // after 2017
    for (int i = 0; i < 200; ++i) {
        LVProcessRecord again{};
        ASSERT_EQ(lv_read_process(child->pid(), &again), 1);
        ASSERT_EQ(again.start_us, first.start_us) << i;
    }
    const LVProcessRecord self = readOrFail(::getpid());
    EXPECT_LE(self.start_us, first.start_us);
}

TEST(ProcessProbes, NameKeepsBlanksAndParentheses) {
    static const char name[] = "a b) c";
    auto child = ChildProcess::forkIdle(setName, name);
    ASSERT_TRUE(child);
    EXPECT_STREQ(readOrFail(child->pid()).name, name);
    const Collected collected = collect();
    const LVProcessRecord* record = find(collected, child->pid());
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->name, name);
    EXPECT_EQ(record->ppid, ::getpid());
}

TEST(ProcessProbes, CutNamesAreCompletedFromTheExecutableOrArgv0) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string longCopy = copySleep(directory, "abcdefghijklmnopqrstu");
    ASSERT_FALSE(longCopy.empty());
    // The kernel names a process after the path given to exec, so a long link to the real
    // program gives a cut name that only argv[0] completes.
    const std::string link = directory.filePath("linkedsleepername").toStdString();
    ASSERT_EQ(::symlink(realPath(sleepProgram()).c_str(), link.c_str()), 0);
    static const char unmatched[] = "fifteen-bytes!!";

    auto fromExecutable = ChildProcess::spawn({longCopy, "60"});
    auto fromArgv0 = ChildProcess::spawn({link, "60"});
    auto fromNothing = ChildProcess::forkIdle(setName, unmatched);
    ASSERT_TRUE(fromExecutable && fromArgv0 && fromNothing);

    const std::pair<pid_t, std::string> cases[] = {{fromExecutable->pid(), "abcdefghijklmnopqrstu"},
                                                   {fromArgv0->pid(), "linkedsleepername"},
                                                   {fromNothing->pid(), unmatched}};
    const Collected collected = collect();
    for (const auto& [pid, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(readOrFail(pid).name, expected);
        const LVProcessRecord* record = find(collected, pid);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(std::string(record->name), expected);
    }
}

TEST(ProcessProbes, ArgumentsAreCutToTheBuffer) {
    auto child = ChildProcess::spawn({"sleep", "60"});
    ASSERT_TRUE(child);
    const std::pair<uint64_t, std::string> cases[] = {
        {1, ""},       {2, "s"},       {4, "sle"},      {6, "sleep"},
        {7, "sleep "}, {8, "sleep 6"}, {9, "sleep 60"}, {100, "sleep 60"},
    };
    for (const auto& [size, expected] : cases) {
        SCOPED_TRACE(size);
        EXPECT_EQ(arguments(child->pid(), size), expected);
    }
    char untouched = 'Q';
    EXPECT_EQ(lv_process_args(child->pid(), &untouched, 0), 0u);
    EXPECT_EQ(untouched, 'Q');
}

TEST(ProcessProbes, ArgumentsKeepEmptyArgumentsInsideAndDropThemAtTheEnd) {
    auto inside = ChildProcess::spawn({"sh", "-c", "sleep 60; :", "", "last"});
    auto atEnd = ChildProcess::spawn({"sh", "-c", "sleep 60; :", "name", ""});
    ASSERT_TRUE(inside && atEnd);
    EXPECT_EQ(arguments(inside->pid()), "sh -c sleep 60; :  last");
    EXPECT_EQ(arguments(atEnd->pid()), "sh -c sleep 60; : name");
}

TEST(ProcessProbes, ProcessesWithoutArgumentsGiveAnEmptyLine) {
    auto zombie = ChildProcess::forkIdle(exitAtOnce, nullptr);
    ASSERT_TRUE(zombie);
    ASSERT_TRUE(zombie->waitUntilExited(10s));
    EXPECT_EQ(arguments(zombie->pid()), "");
    EXPECT_EQ(arguments(0), "");
    EXPECT_EQ(arguments(-5), "");
    // The kernel's own threads run without a command line.
    LVProcessRecord kthreadd{};
    if (lv_read_process(2, &kthreadd) == 1 && std::string(kthreadd.name) == "kthreadd") {
        EXPECT_EQ(arguments(2), "");
    }
}

TEST(ProcessProbes, PathFailsCleanly) {
    auto child = spawnSleep();
    ASSERT_TRUE(child);
    char buffer[8];
    std::memset(buffer, 'Q', sizeof buffer);
    EXPECT_EQ(lv_process_path(child->pid(), buffer, 0), 0);
    EXPECT_EQ(buffer[0], 'Q');
    // A cut path would name another file.
    EXPECT_EQ(lv_process_path(child->pid(), buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    std::memset(buffer, 'Q', sizeof buffer);
    EXPECT_EQ(lv_process_path(-1, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");

    auto zombie = ChildProcess::forkIdle(exitAtOnce, nullptr);
    ASSERT_TRUE(zombie);
    ASSERT_TRUE(zombie->waitUntilExited(10s));
    EXPECT_EQ(executablePath(zombie->pid()), "");
}

TEST(ProcessProbes, CheckedSignalRefusesStrangersAndChangedIdentities) {
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
    const Case cases[] = {
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
    // Nothing reached the child.
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(child->running());
}

TEST(ProcessProbes, CheckedSignalEndsTheVeryProcess) {
    auto child = spawnSleep();
    ASSERT_TRUE(child);
    const LVProcessRecord record = readOrFail(child->pid());
    EXPECT_EQ(lv_signal_checked(child->pid(), record.start_us, record.uid, SIGTERM), LV_SIGNAL_SENT);
    const std::optional<int> status = child->waitForExit(30s);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGTERM);
}

TEST(ProcessProbes, CheckedSignalReportsAZombieAsGone) {
    auto zombie = ChildProcess::forkIdle(exitAtOnce, nullptr);
    ASSERT_TRUE(zombie);
    ASSERT_TRUE(zombie->waitUntilExited(10s));
    const LVProcessRecord record = readOrFail(zombie->pid());
    EXPECT_EQ(lv_signal_checked(zombie->pid(), record.start_us, record.uid, SIGKILL), LV_SIGNAL_GONE);
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

TEST(ProcessProbes, CpuTicksGrow) {
    uint64_t busy = 0;
    uint64_t total = 0;
    ASSERT_EQ(lv_cpu_ticks(&busy, &total), 1);
    EXPECT_GT(total, 0u);
    EXPECT_LE(busy, total);
    uint64_t laterBusy = 0;
    uint64_t laterTotal = 0;
    ASSERT_TRUE(pollUntil(
        [&] {
            EXPECT_EQ(lv_cpu_ticks(&laterBusy, &laterTotal), 1);
            return laterTotal > total;
        },
        10s));
    EXPECT_GE(laterBusy, busy);
    EXPECT_LE(laterBusy, laterTotal);
    EXPECT_EQ(lv_cpu_ticks(nullptr, &total), 0);
}

TEST(ProcessProbes, SystemMemoryFollowsTheKernelFigures) {
    LVSystemMemory memory;
    std::memset(&memory, 0x5a, sizeof memory);
    ASSERT_EQ(lv_system_memory(&memory), 1);
    EXPECT_EQ(memory.has_physical, 1u);
    EXPECT_EQ(memory.physical_bytes, meminfoBytes("MemTotal"));
    EXPECT_EQ(memory.has_memory, 1u);
    EXPECT_GT(memory.used_bytes, 0u);
    EXPECT_LE(memory.used_bytes, memory.physical_bytes);
    EXPECT_EQ(memory.has_swap, 1u);
    EXPECT_LE(memory.swap_used_bytes, meminfoBytes("SwapTotal"));
    const int32_t level = memory.pressure_level;
    EXPECT_TRUE(level == 0 || level == 1 || level == 2 || level == 4) << level;
    if (QFile::exists(QStringLiteral("/proc/pressure/memory"))) {
        EXPECT_NE(level, 0);
    }
    EXPECT_EQ(lv_system_memory(nullptr), 0);
}

TEST(ProcessProbes, ApplicationRunningLooksInsideBundles) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string program = copySleep(directory, QStringLiteral("X.app2/Contents/MacOS/X"));
    ASSERT_FALSE(program.empty());
    auto child = ChildProcess::spawn({program, "60"});
    ASSERT_TRUE(child);
    ASSERT_EQ(executablePath(child->pid()), realPath(program));

    const std::string base = realPath(directory.path().toStdString());
    EXPECT_EQ(lv_application_running((base + "/X.app2").c_str()), 1);
    EXPECT_EQ(lv_application_running((base + "/X.app2/").c_str()), 1);
    EXPECT_EQ(lv_application_running(realPath(program).c_str()), 1);
    EXPECT_EQ(lv_application_running(base.c_str()), 1);
    // Names that only begin with the same characters are other folders. Without root, an own
    // process whose executable is closed to us may leave the answer open.
    for (const std::string& other : {base + "/X.app", base + "/X.ap", realPath(program) + "Y"}) {
        SCOPED_TRACE(other);
        const int result = lv_application_running(other.c_str());
        if (::geteuid() == 0) {
            EXPECT_EQ(result, 0);
        } else {
            EXPECT_NE(result, 1);
        }
    }
    EXPECT_EQ(lv_application_running("X.app2"), -1);
    EXPECT_EQ(lv_application_running(""), -1);
    EXPECT_EQ(lv_application_running(nullptr), -1);

    child->terminate();
    const int after = lv_application_running((base + "/X.app2").c_str());
    EXPECT_NE(after, 1);
}

// Enough processes to spread the reading over several threads: every one is listed once, in
// listing order, with its own record.
TEST(ProcessProbes, CollectOfManyProcessesListsEachOnce) {
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < 900; ++i) {
        children.push_back(ChildProcess::spawn({sleepProgram(), "60", std::to_string(i % 7)}));
        ASSERT_TRUE(children.back());
    }
    for (int round = 0; round < 3; ++round) {
        const Collected collected = collect();
        ASSERT_GT(collected.count, 900);
        std::vector<pid_t> pids;
        for (int i = 0; i < collected.count; ++i)
            pids.push_back(collected.records[static_cast<size_t>(i)].pid);
        std::sort(pids.begin(), pids.end());
        EXPECT_EQ(std::adjacent_find(pids.begin(), pids.end()), pids.end()) << "a pid listed twice";
        for (const auto& child : children) {
            const LVProcessRecord* record = find(collected, child->pid());
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(record->ppid, ::getpid());
            EXPECT_STREQ(record->name, "sleep");
        }
    }
}

// A process seen before is read through descriptors kept from the earlier listing; when it changes
// its user it must leave the list like any other process of another user.
TEST(ProcessProbes, KnownProcessThatChangesUserLeavesTheList) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing a process's user needs root";
    if (::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "setpriv (util-linux) is missing";
    const std::string script =
        "read line; exec /usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups " + sleepProgram() +
        " 60";
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(pipeFds[0], 0);
        ::close(pipeFds[1]);
        ::execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[0]);
    const auto cleanup = [&] {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    };

    const bool seen = pollUntil([&] { return find(collect(), child) != nullptr; }, 10s);
    EXPECT_TRUE(seen);
    const uint64_t start = readOrFail(child).start_us;
    ASSERT_EQ(::write(pipeFds[1], "go\n", 3), 3);
    ::close(pipeFds[1]);
    const bool changed = pollUntil(
        [&] {
            LVProcessRecord record{};
            return lv_read_process(child, &record) == 1 && record.uid == nobody;
        },
        10s);
    EXPECT_TRUE(changed);
    EXPECT_EQ(readOrFail(child).start_us, start) << "same process, new user";
    EXPECT_EQ(find(collect(), child), nullptr);
    cleanup();
}
