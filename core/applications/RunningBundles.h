#pragma once

#include "core/common/CancellationToken.h"
#include "core/monitoring/ProcessIdentity.h"
#include "core/monitoring/ProcessPlatform.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace lunorvale {

// A process the user is told of: its pid and the name the process list gives it.
struct NamedProcess {
    int32_t pid = 0;
    QByteArray name; // from outside, as read

    // "进程“NAME”（PID n）" for a sentence: the name as it may be shown, left out where nothing of it shows.
    QString inSentence() const;

    friend bool operator==(const NamedProcess&, const NamedProcess&) = default;
};

// One application bundle whose code runs as processes of the current user.
struct RunningBundle {
    QString path; // the outermost "X.app" that holds the executable, as the kernel names it
    QList<ProcessIdentity> processes;
    // Where every one of `processes` is placed by its argv[0] alone, its executable link closed to this
    // user: the first of them. A checked signal is sent only to a process whose program it reads, so no
    // quit request reaches the bundle, and the user must quit this one.
    std::optional<NamedProcess> quitByHand;

    friend bool operator==(const RunningBundle&, const RunningBundle&) = default;
};

// The running applications of this desktop: the user's processes grouped by the application bundle their
// executable lies in, and the polite quit request, which is SIGTERM to those very processes and never
// anything stronger.
//
// A process whose executable link is closed to its own user (a non-dumpable one) is placed by an absolute
// argv[0]; a process with neither is not listed. Where a process was placed by its executable, that place
// is kept for the next list until the process runs a new program. Use it from one thread at a time.
class RunningBundles final {
public:
    explicit RunningBundles(ProcessPlatform& platform) : m_platform(platform) {}

    // Bundles in the order their first process was listed, each process once. Throws CancellationError
    // once `cancellation` is cancelled.
    QList<RunningBundle> list(const CancellationToken& cancellation = {});
    // SIGTERM to every process of the bundle that is still the process listed; true when none of them
    // refused it (a process that has ended meanwhile counts as having quit).
    bool requestQuit(const RunningBundle& bundle);

private:
    // Where a process was placed by its executable, and the program image it was placed for.
    struct Placed {
        std::array<uint64_t, 4> image{};
        std::optional<QString> bundle;
        uint64_t list = 0; // the last list that saw it
    };
    // The bundle, and whether it was found by the arguments alone (the executable link is closed).
    struct Place {
        std::optional<QString> bundle;
        bool byArguments = false;
    };
    Place placeOf(const LVProcessRecord& record);

    ProcessPlatform& m_platform;
    std::vector<LVProcessRecord> m_records;
    QHash<ProcessIdentity, Placed> m_placed;
    uint64_t m_list = 0;
    qsizetype m_seen = 0; // places this list found or made
};

} // namespace lunorvale
