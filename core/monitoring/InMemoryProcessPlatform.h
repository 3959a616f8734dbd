#pragma once

#include "core/monitoring/ProcessPlatform.h"

#include <QHash>
#include <functional>
#include <mutex>
#include <vector>

namespace lunorvale {

// A process table kept in memory: it never reaches the system, so tests can script every answer
// the platform gives and preview mode can show fixed data. Every call takes one lock, so a test may
// change the table while a worker samples it.
class InMemoryProcessPlatform final : public ProcessPlatform {
public:
    struct Process {
        LVProcessRecord record{};
        QString path;
        QString arguments;
        QString application;  // the desktop-file ID it was started as; empty for none
        bool readable = true; // false: the pid exists, but nothing about it can be read
    };
    struct SentSignal {
        ProcessIdentity identity;
        uint32_t uid = 0;
        int signal = 0;

        friend bool operator==(const SentSignal&, const SentSignal&) = default;
    };

    explicit InMemoryProcessPlatform(uint32_t user = 1000, int32_t self = 99) : m_user(user), m_self(self) {}

    // A process of `user` with parent 1 and 4096 resident bytes.
    static Process process(int32_t pid, uint64_t startTime, const QByteArray& name, QString path = {},
                           QString arguments = {}, uint32_t user = 1000);

    // Adds the process, or replaces the one with its pid; the list keeps the order of addition.
    void put(Process process);
    void remove(int32_t pid);
    // Changes the process with this pid, if there is one.
    void change(int32_t pid, const std::function<void(Process&)>& edit);
    void clear();

    void setUptime(double seconds);
    // What the clock of start times says from now on; without a time of the test's own, the wall clock.
    void setStartClock(std::optional<uint64_t> microseconds);
    // Moves both clocks.
    void advance(double seconds);
    // A sleep of the machine: only the clock that runs on through sleep moves.
    void sleep(double seconds);
    void setListReadable(bool readable);
    void setExtraSkipped(uint32_t skipped);
    void setCPUTicks(std::optional<CPUTicks> ticks);
    void setSystemMemory(std::optional<LVSystemMemory> memory);
    // The answer of every later checked signal that passes the identity checks.
    void setSignalResult(int result);
    // The entry of a desktop-file ID from now on; IDs without one are named by themselves.
    void setApplicationEntry(const ApplicationEntry& entry);
    // Which processes are protected from now on (by name and executable path); without a rule of
    // the test's own, the system's.
    void setProtection(std::function<bool(const QString& name, const QString& executable)> rule);

    QList<SentSignal> sentSignals() const;
    // How often a path and an argument list were read.
    int pathReads() const;
    int argumentReads() const;
    int applicationReads() const;

    int collect(std::span<LVProcessRecord> records, uint32_t& skipped) override;
    std::optional<LVProcessRecord> readProcess(int32_t pid) override;
    bool processGone(int32_t pid) override;
    QString processPath(int32_t pid) override;
    QString processArguments(int32_t pid) override;
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
    Process* find(int32_t pid);
    ApplicationEntry entry(const QString& id) const;
    bool protectedLocked(const QString& name, const QString& executable) const;

    mutable std::mutex m_lock;
    const uint32_t m_user;
    const int32_t m_self;
    std::vector<Process> m_processes;
    double m_uptime = 100;
    double m_asleep = 0;
    std::optional<uint64_t> m_startClock;
    bool m_listReadable = true;
    uint32_t m_extraSkipped = 0;
    std::optional<CPUTicks> m_ticks = CPUTicks{};
    std::optional<LVSystemMemory> m_memory;
    int m_signalResult = LV_SIGNAL_SENT;
    std::function<bool(const QString&, const QString&)> m_protection;
    QList<SentSignal> m_sent;
    QList<ProcessIdentity> m_stale;
    int m_pathReads = 0;
    int m_argumentReads = 0;
    int m_applicationReads = 0;
    QHash<QString, ApplicationEntry> m_entries;
};

} // namespace lunorvale
