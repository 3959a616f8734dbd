#pragma once

#include "core/monitoring/ProcessPlatform.h"
#include "platform/DesktopEntries.h"

#include <mutex>

namespace lunorvale {

// The process side of Linux: the lv_* probes over /proc, the checked signal through a pidfd,
// CLOCK_MONOTONIC and realpath; the application a process was started as from its systemd unit,
// with the desktop entries of the XDG application folders as they were set at construction. Keeps
// nothing but the stale marks and what it read of desktop entries.
class LinuxProcessPlatform final : public ProcessPlatform {
public:
    LinuxProcessPlatform();

    int collect(std::span<LVProcessRecord> records, uint32_t& skipped) override;
    int collectGivingWay(std::span<LVProcessRecord> records, uint32_t& skipped) override;
    std::optional<LVProcessRecord> readProcess(int32_t pid) override;
    bool processGone(int32_t pid) override;
    QString processPath(int32_t pid) override;
    QString processArguments(int32_t pid) override;
    bool argumentsUnchanged(int32_t pid) override;
    std::optional<CPUTicks> cpuTicks() override;
    std::optional<LVSystemMemory> systemMemory() override;
    int signalChecked(const ProcessIdentity& identity, uint32_t uid, int signal) override;
    bool isProtected(const QString& name, const QString& executable) override;
    uint32_t currentUser() override;
    int32_t currentProcess() override;
    double uptime() override;
    double sinceBoot() override;
    uint64_t startClock() override;
    QStringList resolvedPaths(const QList<QStringView>& paths) override;
    std::optional<ApplicationEntry> processApplication(int32_t pid) override;
    QList<ApplicationEntry> applicationEntries(const QList<QStringView>& ids) override;
    void markStale(const ProcessIdentity& identity) override;
    QList<ProcessIdentity> takeStale() override;

private:
    DesktopEntries m_entries;
    std::mutex m_staleLock;
    QList<ProcessIdentity> m_stale;
};

} // namespace lunorvale
