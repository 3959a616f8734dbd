#include "core/applications/RunningBundles.h"

#include "core/monitoring/ProcessResourceGrouper.h"

#include <QHash>
#include <csignal>

namespace lunorvale {

QList<RunningBundle> RunningBundles::list() {
    // Most sessions fit the first buffer; a full buffer is tried again larger, up to what the
    // probes collect at most.
    if (m_records.empty())
        m_records.resize(1024);
    int count = 0;
    for (;;) {
        uint32_t skipped = 0;
        count = m_platform.collect(m_records, skipped);
        if (count < 0)
            return {};
        if (static_cast<size_t>(count) < m_records.size() || m_records.size() >= LV_COLLECT_CAPACITY)
            break;
        m_records.resize(std::min<size_t>(m_records.size() * 4, LV_COLLECT_CAPACITY));
    }

    QList<RunningBundle> bundles;
    QHash<QString, qsizetype> index;
    const int32_t self = m_platform.currentProcess();
    for (int i = 0; i < count; ++i) {
        const LVProcessRecord& record = m_records[static_cast<size_t>(i)];
        if (record.pid == self || record.status == LV_STATUS_ZOMBIE)
            continue;
        QString executable = m_platform.processPath(record.pid);
        if (executable.isEmpty()) {
            // The arguments are joined by blanks; the bundle is a prefix of argv[0], so it is found
            // in the joined text all the same.
            executable = m_platform.processArguments(record.pid);
        }
        const std::optional<QString> bundle = ProcessResourceGrouper::applicationBundlePath(executable);
        if (!bundle)
            continue;
        const ProcessIdentity identity{record.pid, record.start_us};
        const auto found = index.constFind(*bundle);
        if (found != index.cend()) {
            bundles[*found].processes.append(identity);
        } else {
            index.insert(*bundle, bundles.size());
            bundles.append(RunningBundle{*bundle, {identity}});
        }
    }
    return bundles;
}

bool RunningBundles::requestQuit(const RunningBundle& bundle) {
    const uint32_t user = m_platform.currentUser();
    bool accepted = true;
    for (const ProcessIdentity& process : bundle.processes) {
        const int outcome = m_platform.signalChecked(process, user, SIGTERM);
        // A process that is gone, or whose pid now names another process, has quit already.
        if (outcome != LV_SIGNAL_SENT && outcome != LV_SIGNAL_GONE && outcome != LV_SIGNAL_IDENTITY_CHANGED)
            accepted = false;
    }
    return accepted;
}

} // namespace lunorvale
