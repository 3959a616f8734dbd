#pragma once

#include "core/monitoring/ProcessIdentity.h"
#include "platform/probes/lv_probes.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <span>

namespace lunorvale {

struct CPUTicks {
    uint64_t busy = 0;
    uint64_t total = 0;

    friend bool operator==(const CPUTicks&, const CPUTicks&) = default;
};

// A desktop application as its desktop entry describes it.
struct ApplicationEntry {
    QString id;   // the desktop-file ID, without ".desktop"
    QString name; // the entry's name for the user; the ID where there is no entry or it names nothing
    QString path; // the entry's file; empty where none was found

    friend bool operator==(const ApplicationEntry&, const ApplicationEntry&) = default;
};

// Everything the monitor asks of the operating system about processes, in one object that the
// collector, the controller and the grouper share: the process list with each process's path,
// arguments, CPU time and memory; the machine's CPU ticks and memory; the checked signal and the
// processes it refuses; the current user and process; the monotonic clock; link resolution for
// application bundles; and the desktop application a process was started as.
// LinuxProcessPlatform is the real one, InMemoryProcessPlatform a scripted one for tests and
// preview. Every implementation may be called from several threads at once: the collector samples
// on a worker while stop and liveness run on the main thread.
class ProcessPlatform {
public:
    virtual ~ProcessPlatform() = default;

    // Fills `records` with the current user's live processes (zombies left out) and returns how
    // many; -1 when the process list cannot be read. `skipped` counts the processes that could not
    // be read and those that did not fit.
    virtual int collect(std::span<LVProcessRecord> records, uint32_t& skipped) = 0;
    // As collect(), for a listing that matters less than the sampler's (the library's look at the
    // running applications): where what the program may keep open cannot serve both, the sampler's
    // listings keep what they need first.
    virtual int collectGivingWay(std::span<LVProcessRecord> records, uint32_t& skipped) {
        return collect(records, skipped);
    }
    // One process of any user; absent when it cannot be read.
    virtual std::optional<LVProcessRecord> readProcess(int32_t pid) = 0;
    // True only when it is certain that no process has this pid.
    virtual bool processGone(int32_t pid) = 0;
    // The executable's path as the kernel reports it (ending in " (deleted)" once the file was
    // replaced); empty when it cannot be read. Bytes that are no UTF-8 are kept as SafeText::decoded
    // keeps them.
    virtual QString processPath(int32_t pid) = 0;
    // argv joined by single blanks, decoded as the path is; one longer than LV_ARGS_BUFFER - 1 bytes
    // is cut there, before a character the cut would split, and ends in "…". Empty when it cannot be
    // read.
    virtual QString processArguments(int32_t pid) = 0;
    // True only where the arguments last read on this thread for `pid` are certain to be its arguments
    // still, so that reading them again would give the same text.
    virtual bool argumentsUnchanged(int32_t pid) {
        Q_UNUSED(pid);
        return false;
    }
    // Cumulative ticks of all processors; absent when they cannot be read.
    virtual std::optional<CPUTicks> cpuTicks() = 0;
    // Absent when nothing could be read; otherwise the flags tell which figures hold.
    virtual std::optional<LVSystemMemory> systemMemory() = 0;
    // Sends SIGTERM or SIGKILL only to the process of `identity`, and only while it belongs to
    // `uid`: one of the LV_SIGNAL_* outcomes, or the errno of a failed signal.
    virtual int signalChecked(const ProcessIdentity& identity, uint32_t uid, int signal) = 0;
    // Whether a process must never be stopped from here, whoever owns it: a system program, or one
    // whose end takes the user's session down. `name` is the process name, `executable` its path
    // (either may be empty). The checked signal refuses exactly these as well.
    virtual bool isProtected(const QString& name, const QString& executable) = 0;
    virtual uint32_t currentUser() = 0;
    virtual int32_t currentProcess() = 0;
    // Seconds of a monotonic clock that stops while the machine sleeps.
    virtual double uptime() = 0;
    // Seconds of a monotonic clock that runs on while the machine sleeps: what spaces events by the time
    // the user lived through.
    virtual double sinceBoot() = 0;
    // Microseconds since 1970 on the clock the records' start times are counted on, so that this minus
    // a start time is how long the process has run, however the wall clock was set since the start.
    virtual uint64_t startClock() {
        return static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch()) * 1000;
    }
    // For each absolute path without "." or ".." components, in order: its symbolic links resolved
    // as far as the path exists, the missing rest appended as given (an application replaced on
    // disk while its processes still run keeps its path).
    virtual QStringList resolvedPaths(const QList<QStringView>& paths) = 0;
    // The desktop application the session started the process as, with its entry; absent for a
    // process started otherwise (from a terminal, by the session itself) or where that cannot be
    // told. Read with the path: it stays for the life of a program once it runs.
    virtual std::optional<ApplicationEntry> processApplication(int32_t pid) {
        Q_UNUSED(pid);
        return std::nullopt;
    }
    // For each desktop-file ID, in order: its entry as it stands now.
    virtual QList<ApplicationEntry> applicationEntries(const QList<QStringView>& ids) {
        QList<ApplicationEntry> entries;
        entries.reserve(ids.size());
        for (const QStringView id : ids)
            entries.append(ApplicationEntry{id.toString(), id.toString(), {}});
        return entries;
    }

    // An action found the path or arguments it was shown for this process out of date: whatever is
    // kept of them is read afresh. The collector takes the marks at the start of each collection.
    virtual void markStale(const ProcessIdentity& identity) = 0;
    // The marks made since the previous call, which are then cleared.
    virtual QList<ProcessIdentity> takeStale() = 0;
};

} // namespace lunorvale
