#pragma once

// A control group named like a desktop launch (app-gnome-<ID>-<n>.scope), in the hierarchy the
// probes read systemd units from, for tests that need processes a desktop started. It is made below
// the test's own group and removed when the object goes away; the processes moved there must have
// ended (and been reaped) by then.

#include <memory>
#include <string>
#include <sys/types.h>

namespace lunorvale::test {

class LaunchScope final {
public:
    // Nothing, with the reason in `why`, where no hierarchy can be written here (not root, no
    // delegation, read-only, no control groups at all).
    static std::unique_ptr<LaunchScope> create(const std::string& name, std::string& why);
    ~LaunchScope();
    LaunchScope(const LaunchScope&) = delete;
    LaunchScope& operator=(const LaunchScope&) = delete;

    // Moves a process (all its threads) into the group.
    bool move(pid_t pid) const;
    const std::string& path() const { return m_path; }

private:
    explicit LaunchScope(std::string path) : m_path(std::move(path)) {}
    std::string m_path;
};

} // namespace lunorvale::test
