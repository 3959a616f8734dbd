#pragma once

#include <QString>

namespace lunorvale {

// Whether code from inside an application bundle is running as one of the current user's processes.
class BundleProcesses {
public:
    enum class Answer {
        none,
        running, // a process runs an executable at or below the bundle's path
        unknown, // some process could not be inspected, or the process list could not be read
    };

    virtual ~BundleProcesses() = default;
    virtual Answer runningFrom(const QString& bundlePath) const = 0;
};

// The answer of the process probes: each process's executable link, or an absolute argv[0] where the
// link is closed to its own user.
class SystemBundleProcesses final : public BundleProcesses {
public:
    Answer runningFrom(const QString& bundlePath) const override;
};

} // namespace lunorvale
