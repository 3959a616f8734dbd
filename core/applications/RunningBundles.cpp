#include "core/applications/RunningBundles.h"

#include "core/common/SafeText.h"
#include "core/monitoring/ProcessResourceGrouper.h"

#include <QHash>
#include <csignal>

namespace lunorvale {

QString NamedProcess::inSentence() const {
    const std::optional<QString> shown = SafeText::oneLine(SafeText::decoded(name));
    return QStringLiteral("进程") +
           (shown ? QStringLiteral("“") + SafeText::isolated(*shown) + QStringLiteral("”") : QString()) +
           QStringLiteral("（PID ") + QString::number(pid) + u'）';
}

QList<RunningBundle> RunningBundles::list(const CancellationToken& cancellation) {
    // Most sessions fit the first buffer; a full buffer is tried again larger, up to what the
    // probes collect at most.
    if (m_records.empty())
        m_records.resize(1024);
    int count = 0;
    for (;;) {
        uint32_t skipped = 0;
        // The look lists only while the library shows; the sampler's listings, always running, keep
        // their descriptors first.
        count = m_platform.collectGivingWay(m_records, skipped);
        if (count < 0)
            return {};
        if (static_cast<size_t>(count) < m_records.size() || m_records.size() >= LV_COLLECT_CAPACITY)
            break;
        m_records.resize(std::min<size_t>(m_records.size() * 4, LV_COLLECT_CAPACITY));
    }

    QList<RunningBundle> bundles;
    QHash<QString, qsizetype> index;
    QList<bool> reachable; // by a quit request: a process of the bundle whose executable link reads
    const int32_t self = m_platform.currentProcess();
    ++m_list;
    m_seen = 0;
    for (int i = 0; i < count; ++i) {
        if (i % 256 == 0)
            cancellation.check();
        const LVProcessRecord& record = m_records[static_cast<size_t>(i)];
        if (record.pid == self || record.status == LV_STATUS_ZOMBIE)
            continue;
        const Place place = placeOf(record);
        if (!place.bundle)
            continue;
        const ProcessIdentity identity{record.pid, record.start_us};
        const auto found = index.constFind(*place.bundle);
        if (found == index.cend()) {
            index.insert(*place.bundle, bundles.size());
            bundles.append(RunningBundle{
                *place.bundle,
                {identity},
                place.byArguments ? std::optional(NamedProcess{record.pid, record.name}) : std::nullopt});
            reachable.append(!place.byArguments);
            continue;
        }
        RunningBundle& bundle = bundles[*found];
        bundle.processes.append(identity);
        if (!place.byArguments)
            reachable[*found] = true;
    }
    for (qsizetype i = 0; i < bundles.size(); ++i) {
        if (reachable[i])
            bundles[i].quitByHand.reset();
    }
    // Processes this list did not see have ended: their places go with them.
    if (m_placed.size() != m_seen)
        m_placed.removeIf([this](const auto& entry) { return entry.value().list != m_list; });
    return bundles;
}

RunningBundles::Place RunningBundles::placeOf(const LVProcessRecord& record) {
    const ProcessIdentity identity{record.pid, record.start_us};
    const std::array<uint64_t, 4> image = {record.image_start_code, record.image_end_code,
                                           record.image_arg_start, record.image_arg_end};
    if (const auto found = m_placed.find(identity); found != m_placed.end() && found->image == image) {
        found->list = m_list;
        ++m_seen;
        return {found->bundle, false};
    }
    const QString executable = m_platform.processPath(record.pid);
    if (executable.isEmpty()) {
        // The arguments are joined by blanks; the bundle is a prefix of argv[0], so it is found in the
        // joined text all the same. They may be rewritten at any time: they are read at every list.
        m_placed.remove(identity);
        return {ProcessResourceGrouper::applicationBundlePath(m_platform.processArguments(record.pid)), true};
    }
    std::optional<QString> bundle = ProcessResourceGrouper::applicationBundlePath(executable);
    m_placed.insert(identity, Placed{image, bundle, m_list});
    ++m_seen;
    return {std::move(bundle), false};
}

bool RunningBundles::requestQuit(const RunningBundle& bundle) {
    const uint32_t user = m_platform.currentUser();
    bool accepted = true;
    for (const ProcessIdentity& process : bundle.processes) {
        // The checked signal refuses a process whose program it cannot read; such a process is the user's
        // to quit, which the wait that follows says once only such processes are left. Counted as a
        // refusal, it would blame the application for a request never sent.
        if (m_platform.processPath(process.pid).isEmpty())
            continue;
        const int outcome = m_platform.signalChecked(process, user, SIGTERM);
        // A process that is gone, or whose pid now names another process, has quit already.
        if (outcome != LV_SIGNAL_SENT && outcome != LV_SIGNAL_GONE && outcome != LV_SIGNAL_IDENTITY_CHANGED)
            accepted = false;
    }
    return accepted;
}

} // namespace lunorvale
