#pragma once

// Child processes for tests that watch or signal real processes. Each child leads its own process
// group; the group is killed and the child reaped when its object goes away, so a failing test
// leaves nothing running (and no grandchild holding the test's output open).

#include "support/EventLoop.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace lunorvale::test {

class ChildProcess final {
public:
    struct Options {
        // Run the child as this user and group (only possible for root).
        std::optional<uid_t> user = std::nullopt;
        std::optional<gid_t> group = std::nullopt;
        // The file to run, where argv[0] is only the name the program is given.
        std::optional<std::string> program = std::nullopt;
        // "NAME=value" entries that the child's environment holds in place of this process's.
        std::vector<std::string> environment = {};
        // The folder the child starts in.
        std::optional<std::string> folder = std::nullopt;
    };

    // Starts argv[0] (a path, or a name looked up in PATH) and returns once the new program runs;
    // nothing when it could not be started.
    static std::unique_ptr<ChildProcess> spawn(const std::vector<std::string>& argv, const Options& options);
    static std::unique_ptr<ChildProcess> spawn(const std::vector<std::string>& argv) {
        return spawn(argv, Options{});
    }

    // Forks a copy of this process that runs `setup(argument)` and then waits for signals without
    // ever returning; returns once `setup` has finished. `setup` runs in a child of a possibly
    // threaded process: only async-signal-safe calls (prctl, _exit, plain syscalls).
    static std::unique_ptr<ChildProcess> forkIdle(void (*setup)(const void* argument), const void* argument);

    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // True until the child has exited (an exited, unreaped child is a zombie and not running).
    bool running() const;
    // Waits until the child has exited without reaping it (it stays a zombie); false at the deadline.
    bool waitUntilExited(std::chrono::milliseconds timeout) const;
    // Reaps the child when it exits before the deadline; its wait status.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    bool signal(int number) const;
    // SIGTERM to the child's group, then SIGKILL when it has not ended after `grace`; the wait status.
    std::optional<int> terminate(std::chrono::milliseconds grace = waitBound);
    bool reaped() const { return reaped_; }

private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}

    pid_t pid_;
    bool reaped_ = false;
};

// Waits until a freshly started program's arguments can be read (the kernel sets them up last).
bool waitUntilExecuted(pid_t pid, std::chrono::milliseconds timeout = waitBound);

// A program that makes itself non-dumpable, as a setgid program (ssh-agent) does, and waits to be
// ended: then its executable link is closed to its own user, though not to root.
std::string undumpableProgram();
// Starts `program` (a path: undumpableProgram or a copy of it, or a link to one) as `argv`, whose argv[0]
// may be a bare name, renamed to `name` where that is given, and returns once its executable link is
// closed and, where its main thread `ends`, once that has ended. Where `mainThreadName` is given, the main
// thread alone takes it (and the first thread after it, where it ends) and writes it over the arguments,
// while a later thread keeps the name before. Not for root, whom it never closes to.
enum class MainThread { runs, ends };
std::unique_ptr<ChildProcess> spawnUndumpable(const std::vector<std::string>& argv,
                                              const std::string& program, const std::string& name = {},
                                              MainThread mainThread = MainThread::runs,
                                              const std::string& mainThreadName = {});

// A program of two threads whose second thread, on each SIGUSR1, writes its first argument over its
// command line while the main thread sleeps throughout.
std::string retitlerProgram();

// A program whose main thread ends while its second thread runs on, busy where its first argument is
// "busy", else waiting to be ended.
std::string leaderlessProgram();

// As root, who reads every process's files: runs the current test again as the user nobody (65534), who
// sees of other processes what an ordinary user does, in copies of this program and of the programs the
// tests start, in a temporary folder of nobody's (the build tree may lie where nobody cannot go); fails
// the test where the copy fails and skips it, saying why, where the copy cannot be made or started; then
// true, and the caller returns. Without root, false.
bool ranAsNobody();

// Polls `condition` every `spacing` (a few milliseconds by default; more where looking costs much) until it
// holds or the timeout passes.
bool pollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds spacing = std::chrono::milliseconds(5));

} // namespace lunorvale::test
