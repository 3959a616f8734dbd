#pragma once

#include "core/monitoring/ProcessIdentity.h"
#include "core/monitoring/ProcessPlatform.h"
#include "core/monitoring/ProcessSample.h"

namespace lunorvale {

enum class ProcessLiveness { running, exited, unverifiable };

// Decides whether a sampled process may be stopped, stops it only while it is still the very
// process the user saw, and tells afterwards whether it still runs. Keeps nothing itself; the
// platform outlives it.
class ProcessController final {
public:
    explicit ProcessController(ProcessPlatform& platform) : m_platform(platform) {}

    // False for pid 0 and 1, this program, other users' processes, processes without a readable
    // executable and the protected ones that the checked signal refuses as well.
    bool canStop(const ProcessSample& sample) const;
    // Throws MonitorError::action with a sentence for the user; returns when the signal was sent.
    // A path or command line found changed is marked stale on the platform, so that the next
    // sample shows the current one and the stop can succeed after a refresh.
    void stop(const ProcessSample& sample, bool force) const;
    ProcessLiveness liveness(const ProcessIdentity& identity) const;
    bool isAlive(const ProcessIdentity& identity) const;

private:
    ProcessPlatform& m_platform;
};

} // namespace lunorvale
