#include "platform/ChildProcesses.h"

#include "platform/probes/lv_probes.h"

#include <QProcess>

namespace lunorvale {

void useOriginalLimits(QProcess& process) {
    // Runs in the child between fork and exec, where only async-signal-safe calls are allowed.
    process.setChildProcessModifier([] { lv_restore_file_limit(); });
}

} // namespace lunorvale
