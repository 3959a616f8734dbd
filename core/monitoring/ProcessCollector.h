#pragma once

#include "core/monitoring/MonitorSnapshot.h"
#include "core/monitoring/ProcessPlatform.h"

#include <QByteArray>
#include <QSet>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lunorvale {

// Turns one call into one snapshot, with CPU percentages measured since the previous call.
// Not shared between threads: its owner calls it from one serial worker. The platform outlives it.
class ProcessCollector final {
public:
    explicit ProcessCollector(ProcessPlatform& platform);

    // Forget everything: the next snapshot has no CPU percentages and no system CPU.
    void reset();
    // Throws MonitorError::unavailable when the process list cannot be read; nothing changes then.
    MonitorSnapshot collect();

private:
    // The program image a path and arguments were read for: a new program (exec) moves it.
    struct Image {
        uint64_t startCode = 0;
        uint64_t endCode = 0;
        uint64_t argStart = 0;
        uint64_t argEnd = 0;

        friend bool operator==(const Image&, const Image&) = default;
    };
    // What is remembered of a process between calls. Path, arguments, the application it was started
    // as and the source label cost more than the rest of a sample, so they are read again only when
    // the process's name or program image changes or an action found them stale; the arguments,
    // which a program may rewrite in place, are also read again every few calls.
    struct Known {
        QByteArray rawName;
        QString name;
        QString executable;
        QString command;
        QString source;
        QString application;     // desktop-file ID; empty for none
        QString applicationName; // what the source label names it by
        Image image;
        uint64_t cpuNs = 0;
        uint64_t generation = 0;
        uint64_t argumentsDue = 0; // the call that reads the arguments again
        bool stale = false;
        // Seen in its first seconds: the desktop may not have moved it into its application's unit
        // yet, so the application is read once more with the arguments.
        bool applicationUnsettled = false;
    };
    Known& refresh(const LVProcessRecord& record, uint64_t generation, double nowSeconds, bool& isNew);
    // The name a process is shown by: what it calls itself without what could hide or reorder text
    // (see SafeText::oneLine), else its executable's file name, else its pid. The raw name still decides
    // when the entry is read again.
    static QString shownName(const QByteArray& rawName, const QString& executable, int32_t pid);
    static QString shownSource(const Known& known);
    // True when the application or its name changed.
    bool readApplication(Known& known, int32_t pid, bool young);
    // The one copy of a text kept for names, paths and labels: processes of one program share theirs.
    QString shared(QString text);
    std::optional<double> systemCPU();
    std::optional<SystemMemorySnapshot> systemMemory();

    ProcessPlatform& m_platform;
    // Entries stay where they are while others are added: a sample points at them until it is built.
    std::unordered_map<ProcessIdentity, Known> m_known;
    QSet<QString> m_texts; // dropped once no entry holds them
    std::optional<double> m_previousTime;
    std::optional<CPUTicks> m_previousTicks;
    uint64_t m_generation = 0;
    uint64_t m_spread = 0;
    // Room for the most processes a call reports, left uninitialised: only the records a call fills
    // are ever touched, so a machine with a few hundred processes keeps a few hundred in memory.
    std::unique_ptr<LVProcessRecord[]> m_records;
    // Kept between calls so that a sample allocates nothing for them: each row's share and entry.
    std::vector<std::pair<double, int>> m_order;
    std::vector<std::pair<const Known*, std::optional<double>>> m_rows;
};

} // namespace lunorvale
