#include "support/LaunchScope.h"
#include "support/EventLoop.h"

#include "support/ChildProcess.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lunorvale::test {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    return parts;
}

// This process's group in systemd's own hierarchy where there is one, else in the unified one; the
// same choice the probes make. `named` tells which.
bool ownGroup(std::string& group, bool& named) {
    std::ifstream file("/proc/self/cgroup");
    std::string line;
    bool found = false;
    while (std::getline(file, line)) {
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        if (controllers == "name=systemd") {
            group = line.substr(second + 1);
            named = true;
            return true;
        }
        if (line.compare(0, 3, "0::") == 0) {
            group = line.substr(second + 1);
            named = false;
            found = true;
        }
    }
    return found;
}

// Where the hierarchy is mounted, and which of its groups the mount shows as its root.
bool mountOf(bool named, std::string& mountPoint, std::string& root) {
    std::ifstream file("/proc/self/mountinfo");
    std::string line;
    while (std::getline(file, line)) {
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        const std::vector<std::string> fields = split(line.substr(0, dash), ' ');
        const std::vector<std::string> rest = split(line.substr(dash + 3), ' ');
        if (fields.size() < 5 || rest.size() < 3)
            continue;
        const bool match =
            named ? rest[0] == "cgroup" && ("," + rest[2] + ",").find(",name=systemd,") != std::string::npos
                  : rest[0] == "cgroup2";
        if (match) {
            root = fields[3];
            mountPoint = fields[4];
            return true;
        }
    }
    return false;
}

} // namespace

std::unique_ptr<LaunchScope> LaunchScope::create(std::string& why) {
    const std::string pid = std::to_string(::getpid());
    const std::string name = "app-gnome-org.example.Busy\\x2d" + pid + "-42.scope";
    std::string group;
    bool named = false;
    std::string mountPoint;
    std::string root;
    if (!ownGroup(group, named)) {
        why = "this process is in no systemd or unified control group";
        return nullptr;
    }
    if (!mountOf(named, mountPoint, root)) {
        why = std::string("the ") + (named ? "name=systemd" : "unified") + " hierarchy is not mounted here";
        return nullptr;
    }
    if (root != "/" && group.compare(0, root.size(), root) == 0)
        group.erase(0, root.size());
    std::string path = mountPoint + (group == "/" ? "" : group) + "/" + name;
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        why = "cannot make " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<LaunchScope> scope(new LaunchScope(std::move(path), "org.example.Busy-" + pid));
    if (::access((scope->path() + "/cgroup.procs").c_str(), W_OK) != 0) {
        why = "cannot move processes into " + scope->path() + ": " + std::strerror(errno);
        return nullptr;
    }
    return scope;
}

LaunchScope::~LaunchScope() {
    // The group of a process that was just reaped may stay busy for a moment, longer on a busy machine.
    pollUntil([this] { return ::rmdir(m_path.c_str()) == 0 || errno != EBUSY; }, waitBound);
}

bool LaunchScope::move(pid_t pid) const {
    std::ofstream procs(m_path + "/cgroup.procs");
    procs << pid << '\n';
    procs.flush();
    return procs.good();
}

} // namespace lunorvale::test
