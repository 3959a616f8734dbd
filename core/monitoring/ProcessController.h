#pragma once

#include "core/monitoring/ProcessIdentity.h"
#include "core/monitoring/ProcessProbes.h"
#include "core/monitoring/ProcessSample.h"

namespace lunorvale {

enum class ProcessLiveness { running, exited, unverifiable };

// Decides whether a sampled process may be stopped, stops it only while it is still the very
// process the user saw, and tells afterwards whether it still runs. Stateless.
class ProcessController final {
public:
    ProcessController() = delete;

    static bool canStop(const ProcessSample& sample);
    // Throws MonitorError::action with a sentence for the user; returns when the signal was sent.
    static void stop(const ProcessSample& sample, bool force, const ProcessProbes& probes = {});
    static ProcessLiveness liveness(const ProcessIdentity& identity, const ProcessProbes& probes = {});
    static bool isAlive(const ProcessIdentity& identity, const ProcessProbes& probes = {});
};

} // namespace lunorvale
