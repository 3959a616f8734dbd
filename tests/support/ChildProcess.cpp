#include "support/ChildProcess.h"
#include "support/EventLoop.h"

#include "platform/probes/lv_probes.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lunorvale::test {

namespace {

std::string resolveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= directories.size()) {
        const size_t end = std::min(directories.find(':', start), directories.size());
        const std::string candidate = directories.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return name;
}

// Blocks until the other end of a close-on-exec pipe closes; what arrived before tells of a failure.
bool childStarted(int readEnd) {
    int childErrno = 0;
    ssize_t count;
    do {
        count = ::read(readEnd, &childErrno, sizeof childErrno);
    } while (count < 0 && errno == EINTR);
    ::close(readEnd);
    return count == 0;
}

[[noreturn]] void failInChild(int writeEnd) {
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &error, sizeof error);
    ::_exit(127);
}

// The child leads its own process group, so whatever it started goes with it.
void signalGroup(pid_t pid, int number) {
    if (::kill(-pid, number) != 0)
        ::kill(pid, number);
}

void reapBlocking(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Forks a child that leads its own process group and runs `inChild(writeEnd)`, which never returns;
// `readEnd` gets the other end of a close-on-exec pipe that tells when the child has gone on.
// -1 when no child could be made.
template <typename InChild> pid_t forkInGroup(int& readEnd, InChild&& inChild) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return -1;
    }
    if (pid == 0) {
        ::close(pipeEnds[0]);
        ::setpgid(0, 0);
        inChild(pipeEnds[1]);
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    ::setpgid(pid, pid);
    readEnd = pipeEnds[0];
    return pid;
}

// This process's environment with `entries` ("NAME=value") in place of those of the same names.
std::vector<std::string> environmentWith(const std::vector<std::string>& entries) {
    std::vector<std::string> result = entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view current(*entry);
        const std::string_view name = current.substr(0, current.find('=') + 1);
        if (std::none_of(entries.begin(), entries.end(),
                         [&](const std::string& replaced) { return replaced.starts_with(name); }))
            result.emplace_back(current);
    }
    return result;
}

std::vector<char*> pointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::spawn(const std::vector<std::string>& argv,
                                                  const Options& options) {
    if (argv.empty())
        return nullptr;
    // Everything the child needs is prepared before the fork: after it only system calls are safe.
    const std::string program = resolveProgram(options.program.value_or(argv.front()));
    std::vector<char*> arguments = pointersTo(argv);
    const std::vector<std::string> environment = environmentWith(options.environment);
    std::vector<char*> environmentPointers = pointersTo(environment);

    int readEnd = -1;
    const pid_t pid = forkInGroup(readEnd, [&](int writeEnd) {
        if (options.group && (::setgroups(0, nullptr) != 0 ||
                              ::setresgid(*options.group, *options.group, *options.group) != 0))
            failInChild(writeEnd);
        if (options.user && ::setresuid(*options.user, *options.user, *options.user) != 0)
            failInChild(writeEnd);
        if (options.folder && ::chdir(options.folder->c_str()) != 0)
            failInChild(writeEnd);
        lv_restore_file_limit();
        ::execve(program.c_str(), arguments.data(), environmentPointers.data());
        failInChild(writeEnd);
    });
    if (pid < 0)
        return nullptr;
    std::unique_ptr<ChildProcess> child(new ChildProcess(pid));
    if (!childStarted(readEnd)) {
        child->waitForExit(test::waitBound);
        return nullptr;
    }
    waitUntilExecuted(pid, waitBound);
    return child;
}

std::unique_ptr<ChildProcess> ChildProcess::forkIdle(void (*setup)(const void*), const void* argument) {
    int readEnd = -1;
    const pid_t pid = forkInGroup(readEnd, [&](int writeEnd) {
        if (setup != nullptr)
            setup(argument);
        ::close(writeEnd);
        for (;;)
            ::pause();
    });
    if (pid < 0)
        return nullptr;
    std::unique_ptr<ChildProcess> child(new ChildProcess(pid));
    childStarted(readEnd);
    return child;
}

ChildProcess::~ChildProcess() {
    if (reaped_)
        return;
    signalGroup(pid_, SIGKILL);
    reapBlocking(pid_);
}

bool ChildProcess::running() const {
    if (reaped_)
        return false;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;
    return info.si_pid == 0;
}

bool ChildProcess::waitUntilExited(std::chrono::milliseconds timeout) const {
    return pollUntil([this] { return !running(); }, timeout);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (reaped_)
        return std::nullopt;
    std::optional<int> result;
    pollUntil(
        [&] {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                result = status;
                reaped_ = true;
                return true;
            }
            return done < 0 && errno != EINTR;
        },
        timeout);
    return result;
}

bool ChildProcess::signal(int number) const {
    return !reaped_ && ::kill(pid_, number) == 0;
}

std::optional<int> ChildProcess::terminate(std::chrono::milliseconds grace) {
    if (reaped_)
        return std::nullopt;
    signalGroup(pid_, SIGTERM);
    if (auto status = waitForExit(grace))
        return status;
    signalGroup(pid_, SIGKILL);
    return waitForExit(test::waitBound);
}

namespace {

// The programs the tests start, as the build made them; a copy of a test run as nobody is given copies
// of them in the folder this variable names.
constexpr const char* programsVariable = "LUNORVALE_TEST_PROGRAMS";
constexpr const char* builtPrograms[] = {LUNORVALE_UNDUMPABLE, LUNORVALE_RETITLER, LUNORVALE_LEADERLESS};

std::string testProgram(const char* built) {
    const char* folder = std::getenv(programsVariable);
    if (folder == nullptr || *folder == '\0')
        return built;
    return std::string(folder) + "/" + std::filesystem::path(built).filename().string();
}

} // namespace

std::string undumpableProgram() {
    return testProgram(LUNORVALE_UNDUMPABLE);
}

std::string retitlerProgram() {
    return testProgram(LUNORVALE_RETITLER);
}

std::string leaderlessProgram() {
    return testProgram(LUNORVALE_LEADERLESS);
}

std::unique_ptr<ChildProcess> spawnUndumpable(const std::vector<std::string>& argv,
                                              const std::string& program, const std::string& name,
                                              MainThread mainThread, const std::string& mainThreadName) {
    std::vector<std::string> environment;
    if (!name.empty())
        environment.push_back("LUNORVALE_PROCESS_NAME=" + name);
    if (!mainThreadName.empty())
        environment.push_back("LUNORVALE_MAIN_THREAD_NAME=" + mainThreadName);
    if (mainThread == MainThread::ends)
        environment.push_back("LUNORVALE_MAIN_THREAD_ENDS=1");
    auto child = ChildProcess::spawn(argv, {.program = program, .environment = environment});
    const std::string folder = "/proc/" + std::to_string(child ? child->pid() : 0);
    const auto closed = [&] {
        char target[1];
        return ::readlink((folder + "/exe").c_str(), target, sizeof target) < 0 && errno == EACCES;
    };
    // The leader of a process whose main thread has ended shows as a zombie.
    const auto leaderEnded = [&] {
        std::ifstream file(folder + "/stat");
        const std::string line{std::istreambuf_iterator<char>(file), {}};
        const size_t end = line.rfind(") ");
        return end != std::string::npos && end + 2 < line.size() && line[end + 2] == 'Z';
    };
    if (child &&
        pollUntil([&] { return closed() && (mainThread == MainThread::runs || leaderEnded()); }, waitBound))
        return child;
    return nullptr;
}

namespace {

// Copies `file` into `folder`, keeping its mode; the path of the copy, or nothing.
std::optional<std::string> copyInto(const std::string& file, const std::string& folder) {
    const std::string copy = folder + "/" + std::filesystem::path(file).filename().string();
    std::error_code error;
    if (!std::filesystem::copy_file(file, copy, error))
        return std::nullopt;
    return copy;
}

// The sanitizers' options with each file they name (LeakSanitizer's suppressions in the build's source
// tree) copied into `folder`, which nobody can read.
std::vector<std::string> sanitizerOptionsFor(const std::string& folder) {
    std::vector<std::string> entries;
    for (const char* variable : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr)
            continue;
        std::string options = value;
        constexpr std::string_view key = "suppressions=";
        for (size_t at = options.find(key); at != std::string::npos; at = options.find(key, at + 1)) {
            const size_t from = at + key.size();
            const size_t end = std::min(options.find(':', from), options.size());
            if (const auto copy = copyInto(options.substr(from, end - from), folder))
                options.replace(from, end - from, *copy);
        }
        entries.push_back(std::string(variable) + "=" + options);
    }
    return entries;
}

void skipBecause(const std::string& why) {
    GTEST_SKIP() << "not run as nobody (65534), who cannot read every link: " << why;
}

} // namespace

bool ranAsNobody() {
    if (::geteuid() != 0)
        return false;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    char program[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program);
    constexpr uid_t nobody = 65534;
    // The session's temporary folder, and maybe the build tree, lie where other users cannot go: the
    // copy runs in a folder of its own, with copies of what it runs, removed with whatever it left.
    std::string temporary = "/tmp/lunorvale-nobody.XXXXXX";
    if (::mkdtemp(temporary.data()) == nullptr) {
        skipBecause("no temporary folder could be made");
        return true;
    }
    const std::string programs = temporary + "/programs";
    std::optional<std::string> copy;
    std::error_code error;
    std::vector<std::string> environment = sanitizerOptionsFor(temporary);
    bool copied = test != nullptr && length > 0 && static_cast<size_t>(length) < sizeof program &&
                  std::filesystem::create_directory(programs, error) &&
                  (copy = copyInto(std::string(program, static_cast<size_t>(length)), programs));
    for (const char* built : builtPrograms)
        copied = copied && copyInto(built, programs);
    std::unique_ptr<ChildProcess> child;
    if (copied && ::chmod(programs.c_str(), 0755) == 0 && ::chown(temporary.c_str(), nobody, nobody) == 0) {
        environment.push_back("TMPDIR=" + temporary);
        environment.push_back(std::string(programsVariable) + "=" + programs);
        child = ChildProcess::spawn(
            {*copy, std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()},
            {.user = nobody, .group = nobody, .environment = environment, .folder = temporary});
    }
    const bool started = child != nullptr;
    const std::optional<int> status = started ? child->waitForExit(test::waitBound) : std::nullopt;
    // A copy that overran its wait is ended (its whole group) before its folder goes from under it.
    child.reset();
    std::filesystem::remove_all(temporary, error);
    if (!copied)
        skipBecause("the test programs could not be copied to " + temporary);
    else if (!started)
        skipBecause("its copy could not be started from " + temporary);
    else
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "as nobody";
    return true;
}

bool pollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds spacing) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(spacing);
    }
}

bool waitUntilExecuted(pid_t pid, std::chrono::milliseconds timeout) {
    // The close-on-exec pipe closes while the kernel is still setting up the new program; its
    // arguments become readable only at the end of that.
    // A program that ends at once leaves a zombie, whose arguments read empty for good: it ran.
    const std::string path = "/proc/" + std::to_string(pid) + "/cmdline";
    const std::string statPath = "/proc/" + std::to_string(pid) + "/stat";
    const auto ended = [&] {
        const int fd = ::open(statPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return true;
        char text[512];
        const ssize_t count = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (count <= 0)
            return true;
        const std::string_view stat(text, static_cast<size_t>(count));
        const size_t close = stat.rfind(')');
        return close != std::string_view::npos && close + 2 < stat.size() &&
               (stat[close + 2] == 'Z' || stat[close + 2] == 'X');
    };
    return pollUntil(
        [&] {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return true; // gone: nothing more to wait for
            char byte = 0;
            const ssize_t count = ::read(fd, &byte, 1);
            ::close(fd);
            return count != 0 || ended();
        },
        timeout);
}

} // namespace lunorvale::test
