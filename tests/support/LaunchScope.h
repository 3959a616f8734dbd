#pragma once

// A control group named like a desktop launch, in the hierarchy the probes read systemd units from,
// for tests that need processes a desktop started. It is made below the test's own group and removed
// when the object goes away; the processes moved there must have ended (and been reaped) by then.
// The application is org.example.Busy-<pid of the test> (its dash escaped in the unit's name, as
// desktops write it): tests that run at the same time on one machine see each other's processes.

#include <memory>
#include <string>
#include <sys/types.h>

namespace lunorvale::test {

class LaunchScope final {
public:
    // Nothing, with the reason in `why`, where no hierarchy can be written here (not root, no
    // delegation, read-only, no control groups at all).
    static std::unique_ptr<LaunchScope> create(std::string& why);
    ~LaunchScope();
    LaunchScope(const LaunchScope&) = delete;
    LaunchScope& operator=(const LaunchScope&) = delete;

    // Moves a process (all its threads) into the group.
    bool move(pid_t pid) const;
    const std::string& path() const { return m_path; }
    // The desktop-file ID the launch names.
    const std::string& applicationID() const { return m_applicationID; }

private:
    LaunchScope(std::string path, std::string applicationID)
        : m_path(std::move(path)), m_applicationID(std::move(applicationID)) {}
    std::string m_path;
    std::string m_applicationID;
};

} // namespace lunorvale::test
