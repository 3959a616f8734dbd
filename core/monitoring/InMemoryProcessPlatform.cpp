#include "core/monitoring/InMemoryProcessPlatform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace lunorvale {

InMemoryProcessPlatform::Process InMemoryProcessPlatform::process(int32_t pid, uint64_t startTime,
                                                                  const QByteArray& name, QString path,
                                                                  QString arguments, uint32_t user) {
    Process process;
    process.record.pid = pid;
    process.record.ppid = 1;
    process.record.uid = user;
    process.record.start_us = startTime;
    process.record.resident_bytes = 4096;
    std::memcpy(process.record.name, name.constData(),
                std::min<size_t>(static_cast<size_t>(name.size()), sizeof process.record.name - 1));
    process.path = std::move(path);
    process.arguments = std::move(arguments);
    return process;
}

InMemoryProcessPlatform::Process* InMemoryProcessPlatform::find(int32_t pid) {
    const auto it = std::find_if(m_processes.begin(), m_processes.end(),
                                 [pid](const Process& p) { return p.record.pid == pid; });
    return it == m_processes.end() ? nullptr : &*it;
}

void InMemoryProcessPlatform::put(Process process) {
    const std::lock_guard lock(m_lock);
    if (Process* existing = find(process.record.pid))
        *existing = std::move(process);
    else
        m_processes.push_back(std::move(process));
}

void InMemoryProcessPlatform::remove(int32_t pid) {
    const std::lock_guard lock(m_lock);
    std::erase_if(m_processes, [pid](const Process& p) { return p.record.pid == pid; });
}

void InMemoryProcessPlatform::change(int32_t pid, const std::function<void(Process&)>& edit) {
    const std::lock_guard lock(m_lock);
    if (Process* existing = find(pid))
        edit(*existing);
}

void InMemoryProcessPlatform::clear() {
    const std::lock_guard lock(m_lock);
    m_processes.clear();
}

void InMemoryProcessPlatform::setUptime(double seconds) {
    const std::lock_guard lock(m_lock);
    m_uptime = seconds;
}

void InMemoryProcessPlatform::setStartClock(std::optional<uint64_t> microseconds) {
    const std::lock_guard lock(m_lock);
    m_startClock = microseconds;
}

void InMemoryProcessPlatform::advance(double seconds) {
    const std::lock_guard lock(m_lock);
    m_uptime += seconds;
}

void InMemoryProcessPlatform::sleep(double seconds) {
    const std::lock_guard lock(m_lock);
    m_asleep += seconds;
}

void InMemoryProcessPlatform::setListReadable(bool readable) {
    const std::lock_guard lock(m_lock);
    m_listReadable = readable;
}

void InMemoryProcessPlatform::setExtraSkipped(uint32_t skipped) {
    const std::lock_guard lock(m_lock);
    m_extraSkipped = skipped;
}

void InMemoryProcessPlatform::setCPUTicks(std::optional<CPUTicks> ticks) {
    const std::lock_guard lock(m_lock);
    m_ticks = ticks;
}

void InMemoryProcessPlatform::setSystemMemory(std::optional<LVSystemMemory> memory) {
    const std::lock_guard lock(m_lock);
    m_memory = memory;
}

void InMemoryProcessPlatform::setSignalResult(int result) {
    const std::lock_guard lock(m_lock);
    m_signalResult = result;
}

void InMemoryProcessPlatform::setProtection(std::function<bool(const QString&, const QString&)> rule) {
    const std::lock_guard lock(m_lock);
    m_protection = std::move(rule);
}

QList<InMemoryProcessPlatform::SentSignal> InMemoryProcessPlatform::sentSignals() const {
    const std::lock_guard lock(m_lock);
    return m_sent;
}

int InMemoryProcessPlatform::pathReads() const {
    const std::lock_guard lock(m_lock);
    return m_pathReads;
}

int InMemoryProcessPlatform::argumentReads() const {
    const std::lock_guard lock(m_lock);
    return m_argumentReads;
}

int InMemoryProcessPlatform::applicationReads() const {
    const std::lock_guard lock(m_lock);
    return m_applicationReads;
}

void InMemoryProcessPlatform::setApplicationEntry(const ApplicationEntry& entry) {
    const std::lock_guard lock(m_lock);
    m_entries.insert(entry.id, entry);
}

ApplicationEntry InMemoryProcessPlatform::entry(const QString& id) const {
    return m_entries.value(id, ApplicationEntry{id, id, {}});
}

int InMemoryProcessPlatform::collect(std::span<LVProcessRecord> records, uint32_t& skipped) {
    const std::lock_guard lock(m_lock);
    skipped = m_extraSkipped;
    if (!m_listReadable)
        return -1;
    size_t stored = 0;
    for (const Process& process : m_processes) {
        if (!process.readable) {
            ++skipped;
        } else if (process.record.uid == m_user && process.record.status != LV_STATUS_ZOMBIE) {
            if (stored < records.size())
                records[stored++] = process.record;
            else
                ++skipped;
        }
    }
    return static_cast<int>(stored);
}

std::optional<LVProcessRecord> InMemoryProcessPlatform::readProcess(int32_t pid) {
    const std::lock_guard lock(m_lock);
    const Process* process = find(pid);
    if (process == nullptr || !process->readable)
        return std::nullopt;
    return process->record;
}

bool InMemoryProcessPlatform::processGone(int32_t pid) {
    const std::lock_guard lock(m_lock);
    return pid != m_self && find(pid) == nullptr;
}

QString InMemoryProcessPlatform::processPath(int32_t pid) {
    const std::lock_guard lock(m_lock);
    ++m_pathReads;
    const Process* process = find(pid);
    return process != nullptr && process->readable ? process->path : QString();
}

QString InMemoryProcessPlatform::processArguments(int32_t pid) {
    const std::lock_guard lock(m_lock);
    ++m_argumentReads;
    const Process* process = find(pid);
    return process != nullptr && process->readable ? process->arguments : QString();
}

std::optional<CPUTicks> InMemoryProcessPlatform::cpuTicks() {
    const std::lock_guard lock(m_lock);
    return m_ticks;
}

std::optional<LVSystemMemory> InMemoryProcessPlatform::systemMemory() {
    const std::lock_guard lock(m_lock);
    return m_memory;
}

int InMemoryProcessPlatform::signalChecked(const ProcessIdentity& identity, uint32_t uid, int signal) {
    const std::lock_guard lock(m_lock);
    if (identity.pid < 2 || identity.pid == m_self || uid != m_user ||
        (signal != SIGTERM && signal != SIGKILL))
        return LV_SIGNAL_REFUSED;
    const Process* process = find(identity.pid);
    if (process == nullptr || process->record.status == LV_STATUS_ZOMBIE)
        return LV_SIGNAL_GONE;
    if (process->record.start_us != identity.startTime || process->record.uid != uid)
        return LV_SIGNAL_IDENTITY_CHANGED;
    if (protectedLocked(QString::fromUtf8(process->record.name), process->path))
        return LV_SIGNAL_REFUSED;
    m_sent.append(SentSignal{identity, uid, signal});
    return m_signalResult;
}

bool InMemoryProcessPlatform::isProtected(const QString& name, const QString& executable) {
    const std::lock_guard lock(m_lock);
    return protectedLocked(name, executable);
}

bool InMemoryProcessPlatform::protectedLocked(const QString& name, const QString& executable) const {
    if (m_protection)
        return m_protection(name, executable);
    return lv_process_protected(name.toUtf8().constData(), executable.toUtf8().constData()) != 0;
}

uint32_t InMemoryProcessPlatform::currentUser() {
    return m_user;
}

int32_t InMemoryProcessPlatform::currentProcess() {
    return m_self;
}

double InMemoryProcessPlatform::uptime() {
    const std::lock_guard lock(m_lock);
    return m_uptime;
}

double InMemoryProcessPlatform::sinceBoot() {
    const std::lock_guard lock(m_lock);
    return m_uptime + m_asleep;
}

uint64_t InMemoryProcessPlatform::startClock() {
    const std::lock_guard lock(m_lock);
    return m_startClock ? *m_startClock : ProcessPlatform::startClock();
}

// No links here: every path is its own.
QStringList InMemoryProcessPlatform::resolvedPaths(const QList<QStringView>& paths) {
    QStringList resolved;
    resolved.reserve(paths.size());
    for (const QStringView path : paths)
        resolved.append(path.toString());
    return resolved;
}

std::optional<ApplicationEntry> InMemoryProcessPlatform::processApplication(int32_t pid) {
    const std::lock_guard lock(m_lock);
    ++m_applicationReads;
    const Process* process = find(pid);
    if (process == nullptr || !process->readable || process->application.isEmpty())
        return std::nullopt;
    return entry(process->application);
}

QList<ApplicationEntry> InMemoryProcessPlatform::applicationEntries(const QList<QStringView>& ids) {
    const std::lock_guard lock(m_lock);
    QList<ApplicationEntry> entries;
    entries.reserve(ids.size());
    for (const QStringView id : ids)
        entries.append(entry(id.toString()));
    return entries;
}

void InMemoryProcessPlatform::markStale(const ProcessIdentity& identity) {
    const std::lock_guard lock(m_lock);
    if (!m_stale.contains(identity))
        m_stale.append(identity);
}

QList<ProcessIdentity> InMemoryProcessPlatform::takeStale() {
    const std::lock_guard lock(m_lock);
    return std::exchange(m_stale, {});
}

} // namespace lunorvale
