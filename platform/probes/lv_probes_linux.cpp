// The process probes over /proc. The files of this folder are the only place that knows how Linux
// publishes process information; everything above them sees the fixed records of lv_probes.h.

#include "platform/probes/Listings.h"
#include "platform/probes/ProcCgroupParse.h"
#include "platform/probes/ProcFiles.h"
#include "platform/probes/ProcMemoryParse.h"
#include "platform/probes/ProcStatParse.h"
#include "platform/probes/lv_probes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

using lunorvale::probes::basename;
using lunorvale::probes::Descriptor;
using lunorvale::probes::forEachProcess;
using lunorvale::probes::kernelNameLimit;
using lunorvale::probes::MemInfo;
using lunorvale::probes::parseMemInfo;
using lunorvale::probes::parseMemoryPressure;
using lunorvale::probes::parseProcStat;
using lunorvale::probes::parseThreadGroup;
using lunorvale::probes::parseZramMemoryUsed;
using lunorvale::probes::PidPath;
using lunorvale::probes::ProcStat;
using lunorvale::probes::readSmallFile;
using lunorvale::probes::standIn;
using lunorvale::probes::statBuffer;
using lunorvale::probes::statusForState;
using lunorvale::probes::systemMemoryFrom;
using lunorvale::probes::takeOverFromLiveThread;
using lunorvale::probes::withoutDeletedMark;

uint64_t clockTicksPerSecond() {
    static const uint64_t ticks = [] {
        const long value = ::sysconf(_SC_CLK_TCK);
        return value > 0 ? static_cast<uint64_t>(value) : uint64_t{100};
    }();
    return ticks;
}

uint64_t pageSize() {
    static const uint64_t size = [] {
        const long value = ::sysconf(_SC_PAGESIZE);
        return value > 0 ? static_cast<uint64_t>(value) : uint64_t{4096};
    }();
    return size;
}

// ticks × unit / ticks-per-second without overflowing for any realistic tick count. Every sample
// converts a few times per process: where the unit is a whole number of ticks (always, with the
// usual 100 ticks per second) that is one multiplication.
template <uint64_t unit> uint64_t ticksTo(uint64_t ticks) {
    static const uint64_t hz = clockTicksPerSecond();
    static const uint64_t perTick = unit % hz == 0 ? unit / hz : 0;
    if (perTick != 0)
        return ticks * perTick;
    return ticks / hz * unit + ticks % hz * unit / hz;
}

// The figure of the line of /proc/stat (open at `stat`) named `name` ("btime", "processes"), or
// nothing. Such lines come after one of a figure per interrupt, so the file is read in pieces, of
// which the last few bytes are carried over in case the line is cut between two.
std::optional<uint64_t> kernelFigure(int stat, std::string_view name) {
    char keyText[32];
    if (name.size() + 2 > sizeof keyText)
        return std::nullopt;
    keyText[0] = '\n';
    std::memcpy(keyText + 1, name.data(), name.size());
    keyText[name.size() + 1] = ' ';
    const std::string_view key(keyText, name.size() + 2);
    char text[4096];
    size_t carried = 0;
    for (off_t offset = 0;;) {
        const ssize_t count = ::pread(stat, text + carried, sizeof text - carried, offset);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return std::nullopt;
        offset += count;
        const std::string_view piece(text, carried + static_cast<size_t>(count));
        const size_t at = piece.find(key);
        if (at != std::string_view::npos && piece.find('\n', at + key.size()) != std::string_view::npos) {
            uint64_t value = 0;
            const char* first = piece.data() + at + key.size();
            if (std::from_chars(first, piece.data() + piece.size(), value).ec != std::errc())
                return std::nullopt;
            return value;
        }
        // What may begin the line, or the line without its end, goes on to the next piece.
        carried = at != std::string_view::npos ? piece.size() - at : std::min(piece.size(), key.size() + 24);
        if (carried == sizeof text)
            return std::nullopt;
        std::memmove(text, piece.data() + piece.size() - carried, carried);
    }
}

uint64_t readBootTimeSeconds() {
    // The boot time the kernel reports is recomputed from the wall clock on each read and moves
    // with clock adjustments; reading it once keeps every start time of a run stable.
    Descriptor fd(::open("/proc/stat", O_RDONLY | O_CLOEXEC));
    if (fd.valid()) {
        if (const std::optional<uint64_t> seconds = kernelFigure(fd.get(), "btime"))
            return *seconds;
    }
    timespec real{};
    timespec boot{};
    ::clock_gettime(CLOCK_REALTIME, &real);
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    return static_cast<uint64_t>(real.tv_sec - boot.tv_sec);
}

uint64_t bootTimeSeconds() {
    static const uint64_t seconds = readBootTimeSeconds();
    return seconds;
}

void copyName(std::string_view name, char (&target)[256]) {
    const size_t length = std::min(name.size(), sizeof target - 1);
    std::memcpy(target, name.data(), length);
    target[length] = '\0';
}

void resolveName(int directory, PidPath& path, std::string_view comm, char (&target)[256]) {
    copyName(comm, target);
    if (comm.size() != kernelNameLimit)
        return;
    char link[LV_PATH_BUFFER];
    const ssize_t linkLength = ::readlinkat(directory, path.file("exe"), link, sizeof link);
    if (linkLength > 0 && static_cast<size_t>(linkLength) < sizeof link) {
        const std::string_view base =
            basename(withoutDeletedMark(std::string_view(link, static_cast<size_t>(linkLength))));
        if (base.starts_with(comm)) {
            copyName(base, target);
            return;
        }
    }
    char arguments[LV_PATH_BUFFER];
    const ssize_t count = readSmallFile(directory, path.file("cmdline"), arguments, sizeof arguments);
    if (count <= 0)
        return;
    std::string_view first(arguments, static_cast<size_t>(count));
    first = first.substr(0, first.find('\0'));
    const std::string_view base = basename(first);
    if (base.starts_with(comm))
        copyName(base, target);
}

// Fills everything of `out` but the name from a parsed status line.
void fillRecord(int32_t pid, uid_t uid, const ProcStat& stat, LVProcessRecord& out) {
    std::memset(&out, 0, sizeof out);
    out.pid = pid;
    out.ppid = stat.ppid;
    out.uid = uid;
    out.status = statusForState(stat.state);
    out.start_us = bootTimeSeconds() * 1000000 + ticksTo<1000000>(stat.starttime);
    out.cpu_ns = ticksTo<1000000000>(stat.utime + stat.stime);
    out.resident_bytes = stat.rss * pageSize();
    out.image_start_code = stat.startCode;
    out.image_end_code = stat.endCode;
    out.image_arg_start = stat.argStart;
    out.image_arg_end = stat.argEnd;
}

// /proc resolves the folder of every thread by the thread's id, though it lists only processes: a
// number looked up rather than found in the listing is a process only when it leads its thread group.
// After pids wrap around, a number remembered from an earlier process may name another's thread.
bool leadsThreadGroup(int directory, PidPath& path, int32_t pid) {
    // The group comes on the fourth line, after a name of at most 64 escaped bytes.
    char text[256];
    const ssize_t count = readSmallFile(directory, path.file("status"), text, sizeof text);
    if (count <= 0)
        return false;
    return parseThreadGroup(std::string_view(text, static_cast<size_t>(count))) == pid;
}

// Reads one process of any user by its absolute paths.
bool readProcess(int32_t pid, LVProcessRecord& out) {
    PidPath path(true, pid);
    // The directory's owner is the process's effective user even where the files inside show root.
    struct stat info {};
    if (::fstatat(AT_FDCWD, path.directory(), &info, 0) != 0 || !leadsThreadGroup(AT_FDCWD, path, pid))
        return false;
    char text[statBuffer];
    const ssize_t count = readSmallFile(AT_FDCWD, path.file("stat"), text, sizeof text);
    if (count <= 0)
        return false;
    auto stat = parseProcStat(std::string_view(text, static_cast<size_t>(count)));
    if (!stat)
        return false;
    const std::optional<int32_t> thread = takeOverFromLiveThread(AT_FDCWD, pid, *stat);
    fillRecord(pid, info.st_uid, *stat, out);
    PidPath program(true, pid, thread.value_or(0));
    if (out.status == LV_STATUS_ZOMBIE)
        copyName(stat->comm, out.name);
    else
        resolveName(AT_FDCWD, program, stat->comm, out.name);
    return true;
}

// The open-file limit is raised once, towards its hard limit, for the kept descriptors. The soft
// limit the program started with is kept for the processes it starts (lv_restore_file_limit), which
// must not inherit the raised one; plain values, so that a child between fork and exec may read them.
std::atomic<bool> fileLimitRaised{false};
rlim_t originalSoftLimit = 0;
rlim_t raisedSoftLimit = 0;

void raiseFileLimitOnce() {
    static const bool once = [] {
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
            return false;
        const rlim_t wanted = std::min<rlim_t>(files.rlim_max, 65536);
        if (files.rlim_cur >= wanted)
            return false;
        rlimit raised = files;
        raised.rlim_cur = wanted;
        originalSoftLimit = files.rlim_cur;
        raisedSoftLimit = wanted;
        if (::setrlimit(RLIMIT_NOFILE, &raised) != 0)
            return false;
        fileLimitRaised.store(true, std::memory_order_release);
        return true;
    }();
    (void)once;
}

enum class ReadOutcome { filled, passedOver, unreadable };

// What a listing keeps open of each process, as descriptors per process: its status file; with it its
// runs and arguments, which spare reading a process that has not run and its arguments again; with
// those its folder, which spares a little of the periodic check of the owner.
enum class Keeps : size_t { statusFiles = 1, runs = 3, everything = 4 };

// Descriptors kept by the listings of every thread (the sampler's, the library's), which share one
// open-file limit with each other and with the rest of the program; of them, those kept by listings
// that give way (lv_collect_giving_way). What the other listings need, and how many processes those
// that give way listed last.
std::atomic<size_t> keptByEveryListing{0};
std::atomic<size_t> keptGivingWay{0};
std::atomic<size_t> neededFirst{0};
std::atomic<size_t> listedGivingWay{0};

size_t lessOrNone(size_t from, size_t taken) {
    return from > taken ? from - taken : 0;
}

class KnownProcesses;
// The listings of the calling thread, once it has listed processes.
thread_local KnownProcesses* listingsOfThisThread = nullptr;

// The pid the kernel handed out last (the last field of /proc/loadavg), or nothing.
std::optional<int32_t> lastPid(int loadavg) {
    char text[128];
    const ssize_t count = ::pread(loadavg, text, sizeof text, 0);
    if (count <= 0)
        return std::nullopt;
    std::string_view line(text, static_cast<size_t>(count));
    while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
        line.remove_suffix(1);
    const size_t blank = line.rfind(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    int32_t pid = 0;
    auto [ptr, ec] = std::from_chars(line.data() + blank + 1, line.data() + line.size(), pid);
    if (ec != std::errc() || ptr != line.data() + line.size() || pid < 0)
        return std::nullopt;
    return pid;
}

// A hash of a status line, to tell an unchanged one without parsing it again. Two different lines
// of one process that hash alike would only show the earlier figures for one more sample. Every
// sample hashes one line per process: sixteen bytes at a time are folded in by one wide
// multiplication, in two chains that overlap.
uint64_t textHash(std::string_view text) {
    constexpr uint64_t keys[3] = {0xa0761d6478bd642f, 0xe7037ed1a0b428db, 0x8ebc6af09c88c6e3};
    const auto fold = [](uint64_t a, uint64_t b) {
        const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
        return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
    };
    const char* at = text.data();
    const char* const end = at + text.size();
    const auto word = [](const char* from) {
        uint64_t value;
        std::memcpy(&value, from, sizeof value);
        return value;
    };
    uint64_t first = text.size() ^ keys[0];
    uint64_t second = keys[1];
    for (; end - at >= 32; at += 32) {
        first = fold(word(at) ^ keys[1], word(at + 8) ^ first);
        second = fold(word(at + 16) ^ keys[2], word(at + 24) ^ second);
    }
    for (; end - at >= 16; at += 16)
        first = fold(word(at) ^ keys[1], word(at + 8) ^ first);
    uint64_t tail[2] = {};
    std::memcpy(tail, at, static_cast<size_t>(end - at));
    return fold(fold(tail[0] ^ keys[1], tail[1] ^ first) ^ keys[2], second ^ keys[0]);
}

// What is known of the current user's processes between listings of one thread, in pid order.
// Each keeps one descriptor of its status file open, so that a process seen before costs one read
// per listing. A kept descriptor stays bound to the process it was opened for: once that process
// ends, reads fail even if its pid has been given to another process, which is then read afresh.
//
// Listing /proc costs a quarter of reading every process, so it is listed in full only at first,
// when pids wrapped around and now and then. Otherwise the kernel's last handed-out pid tells
// whether any process can have started since: pids are handed out in rising order, so only the
// pids between the previous last pid and the current one are listed. Pids that went all the way
// round, past the previous last pid, show in the count of processes made since boot. A process that ended
// shows by its failing read. Other users' processes, and those that could not be read, are remembered by pid
// and looked at again every few listings: one of them may turn into one of the current user's without
// starting afresh.
//
// Descriptors are kept within a share of the open-file limit, decided before anything is opened; the
// share is the program's, so what the listings of other threads keep counts against it. Past it, and wherever
// the program runs out of descriptors, a process is read with open-read-close: it costs more, but no process
// is left out for lack of a descriptor. The descriptors for arguments and owners come after those of the
// status files, and the owners' after those of the runs and arguments. Listings that give way (the library's
// look, every 2 s while its page shows) keep only what the need of the others (the sampler's) leaves, and
// give back at their next listing what that need grew into: otherwise the look, listing more often, takes
// every descriptor the sampler lets go, and the sampler never again keeps the runs that spare it most of a
// listing. The look's status files still come before the sampler's runs and arguments, and its runs
// before the sampler's owners: read every 2 s rather than once a sampling interval (30 s by default),
// they spare the program more.
//
// The owner is checked again whenever the program image changes (exec, or a change of user that
// hides the image from us) and otherwise every few listings: a change of user without either is
// the rare privilege drop of a process that was already the current user's.
//
// Most processes sleep through most samples, and the status line is the dearest file of a process
// to have the kernel print. A process of one thread whose run time (its scheduler statistics, a
// third of the cost) has not moved since its line was read has not run, so its line would read the
// same: its number of threads, state, name, program image and times change only while it runs.
// What can change without it running, the parent (when the parent ends) and the resident size
// (when the system reclaims memory), is read again with the owner's periodic check, and at once
// for a process whose parent ended in this listing or the one before.
class KnownProcesses final {
public:
    KnownProcesses()
        : m_proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
          m_loadavg(::open("/proc/loadavg", O_RDONLY | O_CLOEXEC)),
          m_stat(::open("/proc/stat", O_RDONLY | O_CLOEXEC)) {}
    ~KnownProcesses() {
        for (Known& known : m_known)
            closeKept(known);
        neededFirst.fetch_sub(m_needed, std::memory_order_relaxed);
        listedGivingWay.fetch_sub(m_listed, std::memory_order_relaxed);
    }
    KnownProcesses(const KnownProcesses&) = delete;
    KnownProcesses& operator=(const KnownProcesses&) = delete;

    // Reads every process of this listing, in pid order, into `out.slot()` and calls
    // `out.found(outcome)` for it; false when the process list cannot be read (nothing is forgotten
    // then).
    template <typename Sink> bool list(uid_t user, bool givesWay, Sink& out) {
        if (!m_proc.valid())
            return false;
        const int proc = m_proc.get();
        beginListing(givesWay);
        // Processes and threads made since boot.
        const std::optional<uint64_t> made =
            m_stat.valid() ? kernelFigure(m_stat.get(), "processes") : std::nullopt;
        const std::optional<int32_t> last = m_loadavg.valid() ? lastPid(m_loadavg.get()) : std::nullopt;
        const bool full = !m_partialListings || !last || !m_lastPid || *last < *m_lastPid ||
                          wentRound(*last - *m_lastPid, made) || m_listing % fullListingPeriod == 0;
        const bool anyNew = full || *last != *m_lastPid;
        if (anyNew) {
            const off_t from = full ? 0 : static_cast<off_t>(*m_lastPid) + 1 + m_pidPosition;
            if (::lseek(proc, from, SEEK_SET) != from)
                return false;
        }

        m_next.clear();
        m_nextOthers.clear();
        size_t known = 0;
        // A full listing names every process there is: what was remembered of the others is not needed.
        size_t other = full ? m_others.size() : 0;
        // Processes of the previous listing below `pid` that this listing does not name, in pid order.
        const auto readRememberedBelow = [&](int64_t pid) {
            for (;;) {
                const bool anyKnown = known < m_known.size() && m_known[known].pid < pid;
                const bool anyOther = other < m_others.size() && m_others[other] < pid;
                if (anyKnown && (!anyOther || m_known[known].pid < m_others[other]))
                    out.found(read(proc, user, m_known[known++], false, out.slot()));
                else if (anyOther)
                    out.found(lookAgain(proc, user, m_others[other++], out.slot()));
                else
                    return;
            }
        };
        const auto visit = [&](int32_t pid, int64_t) {
            // Past the last pid handed out only processes older than a wrap-around are listed, and
            // those are remembered.
            if (!full && pid > *last)
                return false;
            readRememberedBelow(pid);
            if (other < m_others.size() && m_others[other] == pid)
                ++other;
            if (known < m_known.size() && m_known[known].pid == pid)
                out.found(read(proc, user, m_known[known++], true, out.slot()));
            else
                out.found(readNew(proc, user, pid, true, out.slot()));
            return true;
        };
        if (anyNew && !forEachProcess(proc, visit, full ? SIZE_MAX : partialBatch)) {
            // Whatever was read so far is kept with its descriptor, the rest as it was; the next
            // listing is a full one.
            for (; known < m_known.size(); ++known)
                keep(m_known[known]);
            m_nextOthers.insert(m_nextOthers.end(), m_others.begin() + static_cast<ptrdiff_t>(other),
                                m_others.end());
            std::swap(m_known, m_next);
            std::swap(m_others, m_nextOthers);
            publishNeed();
            m_lastPid.reset();
            m_lastMade.reset();
            return false;
        }
        readRememberedBelow(INT64_MAX);
        std::swap(m_known, m_next);
        std::swap(m_others, m_nextOthers);
        publishNeed();
        if (last) {
            m_lastPid = last;
            m_lastMade = made;
        }
        return true;
    }

    // The arguments of a process of the last listing, read through a descriptor kept for them
    // (within the same share of the limit); -1 when it is not known or no longer there.
    ssize_t readArguments(int32_t pid, char* buffer, size_t size) {
        const auto it =
            std::lower_bound(m_known.begin(), m_known.end(), pid,
                             [](const Known& known, int32_t wanted) { return known.pid < wanted; });
        if (it == m_known.end() || it->pid != pid)
            return -1;
        if (it->cmdline < 0 && roomFor(Keeps::runs)) {
            PidPath path(false, pid);
            it->cmdline = ::openat(m_proc.get(), path.file("cmdline"), O_RDONLY | O_CLOEXEC | O_NOCTTY);
            if (it->cmdline >= 0)
                tookOne();
        }
        if (it->cmdline < 0)
            return -1;
        const ssize_t count = ::pread(it->cmdline, buffer, size, 0);
        it->argumentsRanFor = count >= 0 && it->parsed.threads == 1 ? it->ranNow : Runs{};
        return count;
    }

    // True when the arguments this thread read last for a process of the last listing are still its
    // own: it had one thread when they were read, and that thread has not run since. A program
    // rewrites its arguments, and makes another thread, only while one of its threads runs; the run
    // read is the main thread's alone.
    bool argumentsUnchanged(int32_t pid) const {
        const auto it =
            std::lower_bound(m_known.begin(), m_known.end(), pid,
                             [](const Known& known, int32_t wanted) { return known.pid < wanted; });
        return it != m_known.end() && it->pid == pid && it->ranNow.known() &&
               it->ranNow == it->argumentsRanFor;
    }

    // Has the next listings look at `pid` again as they look at other users' processes.
    void rememberOther(int32_t pid) {
        const auto at = std::lower_bound(m_others.begin(), m_others.end(), pid);
        if (at == m_others.end() || *at != pid)
            m_others.insert(at, pid);
    }

private:
    // Pids are handed out otherwise only where a process is restored with the pid it had: a full
    // listing now and then finds those too.
    static constexpr uint64_t fullListingPeriod = 100;
    static constexpr uint64_t ownerCheckPeriod = 16;
    // Bytes of entries a partial listing asks for at a time: a few dozen processes.
    static constexpr size_t partialBatch = 2048;
    static constexpr size_t shedStep = 32;

    // Whether the pids handed out since the last listing may have gone all the way round, past its
    // last pid, when the last pid moved on by `moved`. Each process or thread made takes the next
    // free pid, so the last pid moves on by at least as many as were made until it goes round; more
    // made than it moved means it went round (or that processes of other pid namespaces, which take
    // no pid of ours, were counted: then the listing is only a full one needlessly).
    bool wentRound(int32_t moved, std::optional<uint64_t> made) const {
        return !made || !m_lastMade || *made - *m_lastMade > static_cast<uint64_t>(moved);
    }

    // How much a process's main thread has run. The run time alone moves only when the kernel
    // settles it, at a tick or when the thread stops running: a thread that woke since, and may be
    // renaming itself right now, still shows the old time. The count of its turns on a processor
    // moves as it is put on one.
    struct Runs {
        uint64_t nanoseconds = 0;
        uint64_t turns = 0; // 0 where unknown: a kernel without the statistics prints "0 0 0"
        bool known() const { return turns != 0; }
        friend bool operator==(const Runs&, const Runs&) = default;
    };
    struct Image {
        uint64_t startCode = 0, endCode = 0, argStart = 0, argEnd = 0;
        friend bool operator==(const Image&, const Image&) = default;
    };
    struct Known {
        int32_t pid = 0;
        int stat = -1;        // the kept descriptor, or -1 where the process is read by its path
        int cmdline = -1;     // kept once the arguments were read through this thread's listings
        int folder = -1;      // kept once the owner was checked again: its owner is the process's own
        int schedstat = -1;   // kept once the process was known: its main thread's run time
        Runs ranFor;          // when the status line was last read
        Runs ranNow;          // as this listing read it
        Runs argumentsRanFor; // when the arguments were last read, if it had one thread; else unknown
        uint64_t starttime = 0;
        Image image;
        uid_t owner = 0;
        bool cutName = false; // the kernel cut the name: its completion is in m_completedNames
        // The last status line read, as a hash, and what it said: the name where it stood in it.
        uint64_t textHash = 0;
        ProcStat parsed; // without the name
        uint16_t nameAt = 0;
        uint16_t nameSize = 0;
        // The name of the last line read, where it fits (the kernel keeps 15 bytes of a process's).
        std::array<char, 16> name{};
        bool nameKept = false;
    };
    // A name the kernel cut, and what it was completed to for the current image.
    struct CompletedName {
        std::string cut;
        std::string completed;
    };

    static Image imageOf(const ProcStat& stat) {
        return {stat.startCode, stat.endCode, stat.argStart, stat.argEnd};
    }

    void beginListing(bool givesWay) {
        ++m_listing;
        if (givesWay != m_givesWay) {
            if (givesWay)
                keptGivingWay.fetch_add(m_kept, std::memory_order_relaxed);
            else
                keptGivingWay.fetch_sub(m_kept, std::memory_order_relaxed);
            m_givesWay = givesWay;
        }
        rlimit files{};
        const rlim_t limit = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
        // Room for the rest of the program: a quarter of a small limit, 512 of a large one. The share
        // is the program's: what the listings of other threads keep counts against it, except that
        // listings which give way count for the others only as what they keep, and the others count
        // for them as what they need. Read apart, the counts may disagree by what another thread
        // opened meanwhile: the share itself is minded at each opening.
        m_share = static_cast<size_t>(limit <= 2048 ? limit * 3 / 4 : limit - 512);
        const size_t every = keptByEveryListing.load(std::memory_order_relaxed);
        const size_t givingWay = keptGivingWay.load(std::memory_order_relaxed);
        const size_t others =
            m_givesWay ? neededFirst.load(std::memory_order_relaxed) + lessOrNone(givingWay, m_kept)
                       : lessOrNone(every, givingWay + m_kept);
        m_capacity = std::min(lessOrNone(m_share, others), m_ceiling);
        // Status files come first, then runs and arguments, then owners: each only where every process
        // fits with it. Beside listings that give way, runs and arguments come after their status
        // files, owners after their runs.
        const size_t processes = m_known.size();
        const size_t beside = m_givesWay ? 0 : listedGivingWay.load(std::memory_order_relaxed);
        m_keeps = processes * 4 + beside * 3 <= m_capacity ? Keeps::everything
                  : processes * 3 + beside <= m_capacity   ? Keeps::runs
                                                           : Keeps::statusFiles;
        keepAtMost(m_capacity);
        publishNeed();
        m_endedBefore.swap(m_ended);
        m_ended.clear();
        if (m_listing == 1)
            m_partialListings = partialListingsWork();
    }

    // Where in /proc the listing of pid 0 would begin, derived from two listed processes and
    // checked on this process: a /proc of another pid namespace, or a kernel that places its
    // entries otherwise, is always listed in full.
    bool partialListingsWork() {
        const int proc = m_proc.get();
        if (!m_loadavg.valid() || ::lseek(proc, 0, SEEK_SET) != 0)
            return false;
        std::optional<int64_t> position;
        int64_t previous = -1;
        forEachProcess(proc, [&](int32_t pid, int64_t next) {
            if (previous >= 0)
                position = previous - pid;
            previous = next;
            return !position;
        });
        if (!position)
            return false;
        const int32_t self = ::getpid();
        if (::lseek(proc, static_cast<off_t>(*position + self), SEEK_SET) != *position + self)
            return false;
        int32_t first = 0;
        forEachProcess(proc, [&](int32_t pid, int64_t) {
            first = pid;
            return false;
        });
        m_pidPosition = *position;
        return first == self;
    }

    bool withinShare() const {
        return m_kept < m_capacity && keptByEveryListing.load(std::memory_order_relaxed) < m_share;
    }
    bool roomFor(Keeps kind) const { return m_keeps >= kind && withinShare(); }
    void tookOne() {
        ++m_kept;
        keptByEveryListing.fetch_add(1, std::memory_order_relaxed);
        if (m_givesWay)
            keptGivingWay.fetch_add(1, std::memory_order_relaxed);
    }

    // What the listings that give way leave to this one's processes, or how many a listing that
    // gives way has.
    void publishNeed() {
        const size_t processes = m_known.size();
        const size_t needed = m_givesWay ? 0 : std::min(processes * static_cast<size_t>(m_keeps), m_capacity);
        const size_t listed = m_givesWay ? processes : 0;
        neededFirst.fetch_add(needed - m_needed, std::memory_order_relaxed);
        listedGivingWay.fetch_add(listed - m_listed, std::memory_order_relaxed);
        m_needed = needed;
        m_listed = listed;
    }

    void close(std::initializer_list<int*> descriptors) {
        for (int* fd : descriptors) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
                --m_kept;
                keptByEveryListing.fetch_sub(1, std::memory_order_relaxed);
                if (m_givesWay)
                    keptGivingWay.fetch_sub(1, std::memory_order_relaxed);
            }
        }
    }
    void closeKept(Known& known) { close({&known.stat, &known.cmdline, &known.folder, &known.schedstat}); }

    // Closes what is kept past `most`, in the reverse of the order they are kept in.
    void keepAtMost(size_t most) {
        for (const Keeps kind : {Keeps::everything, Keeps::runs, Keeps::statusFiles}) {
            for (Known& known : m_known) {
                if (m_kept <= most)
                    return;
                close({&known.folder});
                if (kind <= Keeps::runs)
                    close({&known.cmdline, &known.schedstat});
                if (kind == Keeps::statusFiles)
                    close({&known.stat});
            }
        }
    }

    // Moves the entry into the next listing's list, with its descriptor.
    void keep(Known& known) {
        m_next.push_back(known);
        known.stat = known.cmdline = known.folder = known.schedstat = -1;
    }

    void forget(Known& known) {
        closeKept(known);
        m_ended.push_back(known.pid);
        if (known.cutName)
            m_completedNames.erase(known.pid);
    }

    // The program has run out of descriptors: keep fewer from now on, and free some at once.
    void shed() {
        m_ceiling = m_kept > shedStep ? m_kept - shedStep : 0;
        m_capacity = std::min(m_capacity, m_ceiling);
        for (auto* list : {&m_next, &m_known}) {
            for (Known& known : *list) {
                if (m_kept <= m_ceiling)
                    return;
                closeKept(known);
            }
        }
    }

    int openStat(int proc, PidPath& path) {
        for (int attempt = 0;; ++attempt) {
            const int fd = ::openat(proc, path.file("stat"), O_RDONLY | O_CLOEXEC | O_NOCTTY);
            if (fd >= 0 || attempt > 0 || (errno != EMFILE && errno != ENFILE) || m_kept == 0)
                return fd;
            shed();
        }
    }

    // Reads through the kept descriptor, or by path where none is kept; one opened by path is kept
    // while the share has room. It belongs to whatever process has the pid now: the caller's check of
    // the start time tells a new one.
    ssize_t readStat(int proc, PidPath& path, Known& known, char* text) {
        if (known.stat >= 0)
            return ::pread(known.stat, text, statBuffer, 0);
        const int fd = openStat(proc, path);
        if (fd < 0)
            return -1;
        ssize_t count;
        do {
            count = ::read(fd, text, statBuffer);
        } while (count < 0 && errno == EINTR);
        if (withinShare()) {
            known.stat = fd;
            tookOne();
        } else {
            ::close(fd);
        }
        return count;
    }

    void setName(int proc, PidPath& path, const ProcStat& stat, bool imageChanged, Known& known,
                 LVProcessRecord& out) {
        if (out.status == LV_STATUS_ZOMBIE || stat.comm.size() != kernelNameLimit) {
            copyName(stat.comm, out.name);
            if (known.cutName) {
                m_completedNames.erase(known.pid);
                known.cutName = false;
            }
            return;
        }
        CompletedName& name = m_completedNames[known.pid];
        if (imageChanged || !known.cutName || name.cut != stat.comm) {
            resolveName(proc, path, stat.comm, out.name);
            name.cut.assign(stat.comm);
            name.completed.assign(out.name);
            known.cutName = true;
            return;
        }
        copyName(name.completed, out.name);
    }

    static void remember(Known& known, const ProcStat& stat, std::string_view line, uint64_t hash) {
        known.textHash = hash;
        known.parsed = stat;
        known.parsed.comm = {};
        known.nameAt = static_cast<uint16_t>(stat.comm.data() - line.data());
        known.nameSize = static_cast<uint16_t>(stat.comm.size());
        known.nameKept = stat.comm.size() < known.name.size();
        if (known.nameKept)
            std::memcpy(known.name.data(), stat.comm.data(), stat.comm.size());
    }

    // The run of a known process through a descriptor kept for it, which stays bound to the process;
    // unknown where there is none or it cannot be read.
    Runs runs(int proc, PidPath& path, Known& known) {
        if (known.schedstat < 0 && roomFor(Keeps::runs)) {
            known.schedstat = ::openat(proc, path.file("schedstat"), O_RDONLY | O_CLOEXEC | O_NOCTTY);
            if (known.schedstat >= 0)
                tookOne();
        }
        if (known.schedstat < 0)
            return {};
        // "run time, time waited, turns", in decimal.
        char text[96];
        const ssize_t count = ::pread(known.schedstat, text, sizeof text, 0);
        if (count <= 0)
            return {};
        const char* const end = text + count;
        Runs runs;
        uint64_t waited = 0;
        auto read = std::from_chars(text, end, runs.nanoseconds);
        for (uint64_t* figure : {&waited, &runs.turns}) {
            if (read.ec != std::errc() || read.ptr == end || *read.ptr != ' ')
                return {};
            read = std::from_chars(read.ptr + 1, end, *figure);
        }
        return read.ec == std::errc() ? runs : Runs{};
    }

    bool parentEnded(int32_t parent) const {
        return std::find(m_ended.begin(), m_ended.end(), parent) != m_ended.end() ||
               std::find(m_endedBefore.begin(), m_endedBefore.end(), parent) != m_endedBefore.end();
    }

    // The owner of a known process. The kernel works out the owner of a process's folder afresh for
    // each look at it, and a descriptor of the folder stays bound to the process: looking through
    // one costs a fraction of finding the folder by its path again. A process that ended shows as
    // root's; its status file has failed to read before that matters.
    std::optional<uid_t> currentOwner(int proc, PidPath& path, Known& known) {
        if (known.folder < 0 && roomFor(Keeps::everything)) {
            known.folder = ::openat(proc, path.directory(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (known.folder >= 0)
                tookOne();
        }
        if (known.folder < 0)
            return owner(proc, path);
        struct stat info {};
        if (::fstat(known.folder, &info) != 0)
            return std::nullopt;
        return info.st_uid;
    }

    // Owner of the process's folder, or nothing when it is gone.
    static std::optional<uid_t> owner(int proc, PidPath& path) {
        struct stat info {};
        if (::fstatat(proc, path.directory(), &info, 0) != 0)
            return std::nullopt;
        return info.st_uid;
    }

    ReadOutcome read(int proc, uid_t user, Known& known, bool listed, LVProcessRecord& out) {
        PidPath path(false, known.pid);
        if (readKnown(proc, user, path, known, out)) {
            keep(known);
            return ReadOutcome::filled;
        }
        // The process the entry was made for is gone, has ended or changed its user; the pid may
        // already name another process. Whatever it names now is read afresh.
        forget(known);
        return readNew(proc, user, known.pid, listed, out);
    }

    bool readKnown(int proc, uid_t user, PidPath& path, Known& known, LVProcessRecord& out) {
        if (m_keeps < Keeps::everything)
            close({&known.folder});
        if (m_keeps < Keeps::runs)
            close({&known.cmdline, &known.schedstat});
        const bool ownerDue = (m_listing + static_cast<uint64_t>(known.pid)) % ownerCheckPeriod == 0;
        // Read before the status line: a run between the two shows in the next listing.
        const Runs ranFor = runs(proc, path, known);
        known.ranNow = ranFor;
        if (ranFor.known() && ranFor == known.ranFor && !ownerDue && known.nameKept &&
            known.parsed.threads == 1 && known.parsed.state != 'R' && !parentEnded(known.parsed.ppid)) {
            ProcStat stat = known.parsed;
            stat.comm = std::string_view(known.name.data(), known.nameSize);
            if (known.owner != user)
                return false;
            fillRecord(known.pid, known.owner, stat, out);
            setName(proc, path, stat, false, known, out);
            return true;
        }
        known.ranFor = ranFor;
        char text[statBuffer];
        const ssize_t count = readStat(proc, path, known, text);
        if (count <= 0)
            return false;
        const std::string_view line(text, static_cast<size_t>(count));
        // Most processes sleep through most samples and print the very same line again.
        const uint64_t hash = textHash(line);
        if (hash != known.textHash) {
            const auto parsed = parseProcStat(line);
            // Read by path, an entry cannot tell a reused pid from its process but by the start time.
            if (!parsed || parsed->starttime != known.starttime)
                return false;
            remember(known, *parsed, line, hash);
        }
        ProcStat stat = known.parsed;
        stat.comm = line.substr(known.nameAt, known.nameSize);
        const std::optional<int32_t> thread = takeOverFromLiveThread(proc, known.pid, stat);
        const Image image = imageOf(stat);
        const bool imageChanged = image != known.image;
        if (imageChanged || ownerDue) {
            const auto uid = currentOwner(proc, path, known);
            if (!uid)
                return false;
            known.owner = *uid;
        }
        // A zombie is dropped like a process that is gone, before its slot is written: a slot
        // written for a process that is not counted would hold it past the last record.
        if (known.owner != user || statusForState(stat.state) == LV_STATUS_ZOMBIE)
            return false;
        fillRecord(known.pid, known.owner, stat, out);
        PidPath program(false, known.pid, thread.value_or(0));
        setName(proc, program, stat, imageChanged, known, out);
        known.image = image;
        return true;
    }

    // Another user's process, or one that could not be read, remembered from an earlier listing:
    // looked at again every few listings, since it may have become one of the current user's.
    ReadOutcome lookAgain(int proc, uid_t user, int32_t pid, LVProcessRecord& out) {
        if ((m_listing + static_cast<uint64_t>(pid)) % lunorvale::probes::lookAgainPeriod != 0) {
            m_nextOthers.push_back(pid);
            return ReadOutcome::passedOver;
        }
        return readNew(proc, user, pid, false, out);
    }

    // A process not known before. One that was not listed but remembered, and is gone now, has
    // simply ended; one listed and gone before it could be read counts as unreadable. Another
    // user's process and one that cannot be read are remembered, to be looked at again.
    ReadOutcome readNew(int proc, uid_t user, int32_t pid, bool listed, LVProcessRecord& out) {
        PidPath path(false, pid);
        // Other users' processes are passed over after one look at the folder's owner.
        const auto uid = owner(proc, path);
        if (!uid) {
            if (errno == ENOENT)
                return listed ? ReadOutcome::unreadable : ReadOutcome::passedOver;
            m_nextOthers.push_back(pid);
            return ReadOutcome::unreadable;
        }
        if (*uid != user) {
            m_nextOthers.push_back(pid);
            return ReadOutcome::passedOver;
        }
        // Only the current user's numbers are worth the longer status file; a thread is not
        // remembered, and a process that takes its number later is listed as a new one.
        if (!listed && !leadsThreadGroup(proc, path, pid))
            return ReadOutcome::passedOver;
        Known known;
        known.pid = pid;
        known.owner = *uid;
        char text[statBuffer];
        const ssize_t count = readStat(proc, path, known, text);
        const auto stat =
            count > 0 ? parseProcStat(std::string_view(text, static_cast<size_t>(count))) : std::nullopt;
        if (!stat) {
            closeKept(known);
            m_nextOthers.push_back(pid);
            return ReadOutcome::unreadable;
        }
        ProcStat shown = *stat;
        const std::optional<int32_t> thread = takeOverFromLiveThread(proc, pid, shown);
        if (statusForState(shown.state) == LV_STATUS_ZOMBIE) {
            closeKept(known);
            return ReadOutcome::passedOver;
        }
        fillRecord(pid, *uid, shown, out);
        known.starttime = stat->starttime;
        known.image = imageOf(shown);
        const std::string_view line(text, static_cast<size_t>(count));
        remember(known, *stat, line, textHash(line));
        PidPath program(false, pid, thread.value_or(0));
        setName(proc, program, shown, true, known, out);
        m_next.push_back(known);
        return ReadOutcome::filled;
    }

    Descriptor m_proc;
    Descriptor m_loadavg;
    Descriptor m_stat;
    std::vector<Known> m_known;        // in pid order
    std::vector<Known> m_next;         // built by a listing, then swapped with m_known
    std::vector<int32_t> m_others;     // pids of other users' processes and unreadable ones, in order
    std::vector<int32_t> m_nextOthers; // built by a listing, then swapped with m_others
    std::unordered_map<int32_t, CompletedName> m_completedNames;
    std::vector<int32_t> m_ended;       // known processes that ended in this listing
    std::vector<int32_t> m_endedBefore; // and in the previous one
    std::optional<int32_t> m_lastPid;
    std::optional<uint64_t> m_lastMade; // processes and threads made since boot, at the last listing
    int64_t m_pidPosition = 0;
    bool m_partialListings = false;
    uint64_t m_listing = 0;
    size_t m_kept = 0;
    size_t m_share = 0;
    size_t m_capacity = 0;
    size_t m_needed = 0; // this listing's part of neededFirst
    size_t m_listed = 0; // and of listedGivingWay
    bool m_givesWay = false;
    Keeps m_keeps = Keeps::statusFiles;
    size_t m_ceiling = SIZE_MAX;
};

// Processes whose end takes the user's session down: the login window and window server of the
// other desktop, and here the user's service manager, the session bus, the display server, the
// shell or compositor and the session manager.
constexpr std::array<std::string_view, 20> sessionCriticalNames = {"loginwindow",
                                                                   "WindowServer",
                                                                   "systemd",
                                                                   "dbus-daemon",
                                                                   "dbus-broker",
                                                                   "dbus-broker-launch",
                                                                   "Xorg",
                                                                   "Xwayland",
                                                                   "gnome-shell",
                                                                   "kwin_wayland",
                                                                   "kwin_x11",
                                                                   "plasmashell",
                                                                   "mutter",
                                                                   "xfwm4",
                                                                   "sway",
                                                                   "weston",
                                                                   "gnome-session-binary",
                                                                   "ksmserver",
                                                                   "xfce4-session",
                                                                   "lxsession"};

bool isSessionCritical(std::string_view name) {
    return std::find(sessionCriticalNames.begin(), sessionCriticalNames.end(), name) !=
           sessionCriticalNames.end();
}

// System folders of the other desktop, kept so that a path shaped like them is never offered either.
bool isProtectedPath(std::string_view path) {
    return path.starts_with("/System/") || path.starts_with("/usr/libexec/") || path == "/sbin/launchd";
}

} // namespace

namespace lunorvale::probes {

bool rememberForLookingAgain(int32_t pid) {
    if (listingsOfThisThread == nullptr || pid < 1)
        return false;
    listingsOfThisThread->rememberOther(pid);
    return true;
}

} // namespace lunorvale::probes

extern "C" {

int lv_process_protected(const char* name, const char* executable) {
    const std::string_view path = withoutDeletedMark(executable != nullptr ? executable : "");
    if (isProtectedPath(path))
        return 1;
    return isSessionCritical(name != nullptr ? name : "") || isSessionCritical(basename(path)) ? 1 : 0;
}

int lv_read_process(int32_t pid, LVProcessRecord* out) {
    if (pid < 1 || out == nullptr)
        return 0;
    LVProcessRecord record;
    if (!readProcess(pid, record))
        return 0;
    *out = record;
    return 1;
}

static int collectOnThisThread(LVProcessRecord* records, int32_t capacity, uint32_t* skipped, bool givesWay) {
    if (skipped != nullptr)
        *skipped = 0;
    if (records == nullptr || capacity < 0)
        capacity = 0;
    raiseFileLimitOnce();
    thread_local KnownProcesses known;
    listingsOfThisThread = &known;
    // Each process is read straight into its place; what does not fit, into a spare record.
    struct Sink {
        LVProcessRecord* records;
        int32_t capacity;
        int32_t stored = 0;
        uint32_t skipped = 0;
        LVProcessRecord spare;

        LVProcessRecord& slot() { return stored < capacity ? records[stored] : spare; }
        void found(ReadOutcome outcome) {
            if (outcome == ReadOutcome::unreadable || (outcome == ReadOutcome::filled && stored == capacity))
                ++skipped;
            else if (outcome == ReadOutcome::filled)
                ++stored;
        }
    } sink{records, capacity, 0, 0, {}};
    if (!known.list(::getuid(), givesWay, sink))
        return -1;
    if (skipped != nullptr)
        *skipped = sink.skipped;
    return sink.stored;
}

int lv_collect(LVProcessRecord* records, int32_t capacity, uint32_t* skipped) {
    return collectOnThisThread(records, capacity, skipped, false);
}

int lv_collect_giving_way(LVProcessRecord* records, int32_t capacity, uint32_t* skipped) {
    return collectOnThisThread(records, capacity, skipped, true);
}

void lv_restore_file_limit(void) {
    if (!fileLimitRaised.load(std::memory_order_acquire))
        return;
    rlimit files{};
    // A limit someone changed since is theirs to keep.
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur != raisedSoftLimit)
        return;
    files.rlim_cur = originalSoftLimit;
    ::setrlimit(RLIMIT_NOFILE, &files);
}

int lv_process_path(int32_t pid, char* buffer, uint32_t size) {
    if (size == 0 || buffer == nullptr)
        return 0;
    buffer[0] = '\0';
    if (pid < 1)
        return 0;
    PidPath path(true, pid);
    ssize_t length = ::readlink(path.file("exe"), buffer, size);
    if (length < 0 && errno == ENOENT) {
        if (const int32_t thread = standIn(AT_FDCWD, pid)) {
            PidPath threadPath(true, pid, thread);
            length = ::readlink(threadPath.file("exe"), buffer, size);
        }
    }
    if (length <= 0)
        return 0;
    if (static_cast<uint64_t>(length) >= size) {
        // A cut path would name another file; report it as unreadable.
        buffer[0] = '\0';
        errno = ENAMETOOLONG;
        return 0;
    }
    buffer[length] = '\0';
    return static_cast<int>(length);
}

int lv_process_unit(int32_t pid, char* buffer, uint32_t size) {
    if (size == 0 || buffer == nullptr)
        return 0;
    buffer[0] = '\0';
    if (pid < 1)
        return 0;
    // A dozen hierarchies with deep paths fit; lines beyond a full buffer are left out.
    char text[8192];
    PidPath path(true, pid);
    const ssize_t count = readSmallFile(AT_FDCWD, path.file("cgroup"), text, sizeof text);
    if (count <= 0)
        return 0;
    const std::string_view unit =
        lunorvale::probes::systemdUnit(std::string_view(text, static_cast<size_t>(count)));
    if (unit.empty() || unit.size() >= size)
        return 0;
    std::memcpy(buffer, unit.data(), unit.size());
    buffer[unit.size()] = '\0';
    return static_cast<int>(unit.size());
}

int lv_process_args_unchanged(int32_t pid) {
    return listingsOfThisThread != nullptr && pid > 0 && listingsOfThisThread->argumentsUnchanged(pid) ? 1
                                                                                                       : 0;
}

uint64_t lv_process_args(int32_t pid, char* buffer, uint64_t size) {
    if (size == 0 || buffer == nullptr)
        return 0;
    buffer[0] = '\0';
    if (size == 1 || pid < 1)
        return 0;
    // Read straight into the caller's buffer: one byte more than can be kept tells whether the
    // command line was cut. The collector reads every process's arguments again every few samples:
    // on its thread they are read through a descriptor kept with the process.
    const auto readSize = static_cast<size_t>(std::min<uint64_t>(size, SSIZE_MAX));
    ssize_t count =
        listingsOfThisThread != nullptr ? listingsOfThisThread->readArguments(pid, buffer, readSize) : -1;
    if (count < 0) {
        PidPath path(true, pid);
        count = readSmallFile(AT_FDCWD, path.file("cmdline"), buffer, readSize);
    }
    if (count == 0) {
        if (const int32_t thread = standIn(AT_FDCWD, pid)) {
            PidPath threadPath(true, pid, thread);
            count = readSmallFile(AT_FDCWD, threadPath.file("cmdline"), buffer, readSize);
        }
    }
    if (count <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    size_t length = static_cast<size_t>(count);
    const bool cut = static_cast<uint64_t>(count) == size;
    if (cut)
        length = static_cast<size_t>(size - 1);
    // Arguments end in NUL; the NULs after the last argument (and the padding of processes that
    // rewrite their command line) are no separators. Where the line was cut and the byte after the
    // cut is text, the NULs before it do separate arguments.
    if (!cut || buffer[length] == '\0') {
        while (length > 0 && buffer[length - 1] == '\0')
            --length;
    }
    // Written as a choice for every byte, so that the compiler turns it into whole-vector work.
    for (size_t i = 0; i < length; ++i)
        buffer[i] = buffer[i] == '\0' ? ' ' : buffer[i];
    buffer[length] = '\0';
    return length;
}

uint64_t lv_start_clock_us(void) {
    timespec boot{};
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    return bootTimeSeconds() * 1000000 + static_cast<uint64_t>(boot.tv_sec) * 1000000 +
           static_cast<uint64_t>(boot.tv_nsec) / 1000;
}

int lv_cpu_ticks(uint64_t* busy, uint64_t* total) {
    if (busy == nullptr || total == nullptr)
        return 0;
    char text[1024];
    const ssize_t count = readSmallFile(AT_FDCWD, "/proc/stat", text, sizeof text);
    if (count <= 0)
        return 0;
    std::string_view line(text, static_cast<size_t>(count));
    line = line.substr(0, line.find('\n'));
    if (!line.starts_with("cpu "))
        return 0;
    line.remove_prefix(4);
    // user nice system idle iowait irq softirq steal (guest time is already inside user and nice)
    uint64_t fields[8] = {};
    size_t read = 0;
    while (read < 8) {
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        if (line.empty())
            break;
        auto [ptr, ec] = std::from_chars(line.data(), line.data() + line.size(), fields[read]);
        if (ec != std::errc())
            return 0;
        line.remove_prefix(static_cast<size_t>(ptr - line.data()));
        ++read;
    }
    // Kernels before steal time was counted print fewer fields; what is missing counts as 0.
    if (read < 4)
        return 0;
    const uint64_t busyTicks = fields[0] + fields[1] + fields[2] + fields[5] + fields[6] + fields[7];
    *busy = busyTicks;
    *total = busyTicks + fields[3] + fields[4];
    return 1;
}

} // extern "C"

namespace {

// The memory the zram devices use for their compressed pages, summed.
uint64_t zramMemoryUsed() {
    Descriptor block(::open("/sys/block", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!block.valid())
        return 0;
    uint64_t sum = 0;
    alignas(dirent64) char entries[4096];
    for (;;) {
        const ssize_t count = ::getdents64(block.get(), entries, sizeof entries);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return sum;
        for (ssize_t offset = 0; offset < count;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + offset);
            offset += entry->d_reclen;
            const std::string_view name(entry->d_name);
            if (!name.starts_with("zram") || name.size() > 32)
                continue;
            char path[48];
            std::memcpy(path, name.data(), name.size());
            std::memcpy(path + name.size(), "/mm_stat", 9);
            char text[512];
            const ssize_t length = readSmallFile(block.get(), path, text, sizeof text);
            if (length > 0)
                sum += parseZramMemoryUsed(std::string_view(text, static_cast<size_t>(length))).value_or(0);
        }
    }
}

} // namespace

extern "C" int lv_system_memory(LVSystemMemory* out) {
    if (out == nullptr)
        return 0;
    char text[8192];
    ssize_t count = readSmallFile(AT_FDCWD, "/proc/meminfo", text, sizeof text);
    const MemInfo info =
        count > 0 ? parseMemInfo(std::string_view(text, static_cast<size_t>(count))) : MemInfo{};
    // The devices are looked at only where the figure they add to is shown.
    const uint64_t zram = info.total && info.available ? zramMemoryUsed() : 0;
    count = readSmallFile(AT_FDCWD, "/proc/pressure/memory", text, sizeof text);
    const int32_t pressure =
        count > 0 ? parseMemoryPressure(std::string_view(text, static_cast<size_t>(count))) : 0;
    *out = systemMemoryFrom(info, zram, pressure);
    return out->has_physical || out->has_memory || out->has_swap || out->pressure_level != 0 ? 1 : 0;
}

extern "C" int lv_signal_checked(int32_t pid, uint64_t start_us, uint32_t uid, int32_t signal) {
    if (pid < 2 || pid == ::getpid() || ::getuid() != uid || (signal != SIGTERM && signal != SIGKILL))
        return LV_SIGNAL_REFUSED;

    // Hold the process before checking it: whatever the checks below see is then the process the
    // signal reaches, even if it ends and its pid is reused meanwhile.
    bool havePidfd = true;
    const int opened = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (opened < 0) {
        if (errno == ESRCH || errno == EINVAL)
            return LV_SIGNAL_GONE;
        if (errno != ENOSYS)
            return errno;
        havePidfd = false;
    }
    Descriptor pidfd(opened);

    LVProcessRecord record;
    if (lv_read_process(pid, &record) != 1 || record.status == LV_STATUS_ZOMBIE)
        return LV_SIGNAL_GONE;
    if (record.start_us != start_us || record.uid != uid)
        return LV_SIGNAL_IDENTITY_CHANGED;

    char path[LV_PATH_BUFFER] = {};
    if (lv_process_path(pid, path, sizeof path) < 1 || lv_process_protected(record.name, path))
        return LV_SIGNAL_REFUSED;

    long result;
    if (havePidfd)
        result = ::syscall(SYS_pidfd_send_signal, pidfd.get(), signal, nullptr, 0);
    else
        result = ::kill(pid, signal);
    return result == 0 ? LV_SIGNAL_SENT : errno;
}
