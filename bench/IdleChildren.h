#pragma once

// A population of sleeping children of this user, shared by the benchmarks of one run.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

class IdleChildren final {
public:
    static IdleChildren& shared() {
        static IdleChildren children;
        return children;
    }
    ~IdleChildren() { resize(0); }

    // Grows or shrinks the population to exactly `count` sleeping children.
    void resize(size_t count) {
        while (m_pids.size() > count) {
            const pid_t pid = m_pids.back();
            m_pids.pop_back();
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        while (m_pids.size() < count) {
            // `sleep` adds up its arguments: extra zeros give command lines of varied length.
            std::vector<std::string> args{"sleep", "3600"};
            for (size_t i = 0; i < m_pids.size() % 40; ++i)
                args.emplace_back(m_pids.size() % 3 == 0 ? "0000000000000000" : "0");
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            pid_t pid = 0;
            if (posix_spawn(&pid, "/bin/sleep", nullptr, nullptr, argv.data(), environ) != 0) {
                std::fprintf(stderr, "could not start child %zu\n", m_pids.size());
                std::abort();
            }
            m_pids.push_back(pid);
        }
    }

private:
    IdleChildren() {
        std::atexit([] { shared().resize(0); });
    }
    std::vector<pid_t> m_pids;
};
