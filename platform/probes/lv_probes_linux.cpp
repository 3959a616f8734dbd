// The process probes over /proc. This file is the only place that knows how Linux publishes process
// information; everything above it sees the fixed records of lv_probes.h.

#include "platform/UniqueFd.h"
#include "platform/probes/ProcStatParse.h"
#include "platform/probes/lv_probes.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
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

using lunorvale::probes::parseProcStat;
using lunorvale::probes::ProcStat;
using lunorvale::probes::statusForState;

using Descriptor = lunorvale::UniqueFd;

// "PID/leaf" relative to an open /proc, or "/proc/PID/leaf" for single reads, built on the stack.
class PidPath final {
public:
    PidPath(bool absolute, int32_t pid) {
        constexpr std::string_view prefix = "/proc/";
        char* out = text_.data();
        if (absolute) {
            std::memcpy(out, prefix.data(), prefix.size());
            out += prefix.size();
        }
        auto result = std::to_chars(out, text_.data() + 24, pid);
        end_ = static_cast<size_t>(result.ptr - text_.data());
        text_[end_] = '\0';
    }
    const char* directory() {
        text_[end_] = '\0';
        return text_.data();
    }
    const char* file(std::string_view leaf) {
        text_[end_] = '/';
        std::memcpy(text_.data() + end_ + 1, leaf.data(), leaf.size());
        text_[end_ + 1 + leaf.size()] = '\0';
        return text_.data();
    }

private:
    std::array<char, 48> text_{};
    size_t end_ = 0;
};

// One read of a small /proc file. Files of /proc hand over their whole text (up to the buffer) in
// one read, so a short count means the end; no second read just to see zero.
ssize_t readSmallFile(int directory, const char* path, char* buffer, size_t size) {
    Descriptor fd(::openat(directory, path, O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return -1;
    ssize_t count;
    do {
        count = ::read(fd.get(), buffer, size);
    } while (count < 0 && errno == EINTR);
    return count;
}

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

// ticks × unit / ticks-per-second without overflowing for any realistic tick count.
uint64_t ticksTo(uint64_t ticks, uint64_t unit) {
    const uint64_t hz = clockTicksPerSecond();
    return ticks / hz * unit + ticks % hz * unit / hz;
}

uint64_t readBootTimeSeconds() {
    // The boot time the kernel reports is recomputed from the wall clock on each read and moves
    // with clock adjustments; reading it once keeps every start time of a run stable.
    Descriptor fd(::open("/proc/stat", O_RDONLY | O_CLOEXEC));
    if (fd.valid()) {
        std::string text;
        char chunk[16384];
        for (;;) {
            const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            text.append(chunk, static_cast<size_t>(count));
        }
        constexpr std::string_view key = "\nbtime ";
        const size_t at = text.find(key);
        if (at != std::string::npos) {
            const char* begin = text.data() + at + key.size();
            const char* end = text.data() + text.size();
            uint64_t seconds = 0;
            auto [ptr, ec] = std::from_chars(begin, end, seconds);
            if (ec == std::errc() && ptr != begin)
                return seconds;
        }
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

std::string_view basename(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The kernel marks the link of an executable removed since the start with this suffix.
std::string_view withoutDeletedMark(std::string_view path) {
    constexpr std::string_view mark = " (deleted)";
    if (path.size() > mark.size() && path.ends_with(mark))
        path.remove_suffix(mark.size());
    return path;
}

// The kernel keeps 15 bytes of a name; a name that long was probably cut, and the executable's or
// argv[0]'s file name that begins with it is the whole one.
constexpr size_t kernelNameLimit = 15;

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

enum class ReadOutcome { filled, otherUser, unreadable };

// Fills `out` from the text of a stat file. `directory` and `path` reach the process's other files
// for completing a cut name.
bool fillRecord(int directory, PidPath& path, int32_t pid, uid_t uid, std::string_view text,
                LVProcessRecord& out) {
    const auto stat = parseProcStat(text);
    if (!stat)
        return false;
    std::memset(&out, 0, sizeof out);
    out.pid = pid;
    out.ppid = stat->ppid;
    out.uid = uid;
    out.status = statusForState(stat->state);
    out.start_us = bootTimeSeconds() * 1000000 + ticksTo(stat->starttime, 1000000);
    out.cpu_ns = ticksTo(stat->utime + stat->stime, 1000000000);
    out.resident_bytes = stat->rss * pageSize();
    if (out.status == LV_STATUS_ZOMBIE)
        copyName(stat->comm, out.name);
    else
        resolveName(directory, path, stat->comm, out.name);
    return true;
}

// Reads one process through `directory` (an open /proc, or AT_FDCWD with absolute paths). When
// `onlyUser` is set, a process of another user is reported as such before its status is read.
ReadOutcome readProcess(int directory, bool absolute, int32_t pid, const uid_t* onlyUser,
                        LVProcessRecord& out) {
    PidPath path(absolute, pid);
    // The directory's owner is the process's effective user even where the files inside show root.
    struct stat info {};
    if (::fstatat(directory, path.directory(), &info, 0) != 0)
        return ReadOutcome::unreadable;
    if (onlyUser != nullptr && info.st_uid != *onlyUser)
        return ReadOutcome::otherUser;

    // The fields needed end well before 1 KiB even with the longest names; a cut line still parses.
    char text[1024];
    const ssize_t count = readSmallFile(directory, path.file("stat"), text, sizeof text);
    if (count <= 0)
        return ReadOutcome::unreadable;
    return fillRecord(directory, path, pid, info.st_uid, std::string_view(text, static_cast<size_t>(count)),
                      out)
               ? ReadOutcome::filled
               : ReadOutcome::unreadable;
}

// The descriptors of the current user's processes, kept open between listings of one thread, so
// that a process seen before costs two system calls (the folder's owner, one read of its status)
// instead of four. A kept descriptor stays bound to the process it was opened for: once that
// process ends, reads fail even if its pid has been given to another process, which is then read
// afresh. Descriptors of processes that are no longer listed are closed after each listing.
class KeptDescriptors final {
public:
    struct Process {
        int directory = -1;
        int stat = -1;
        uint64_t listing = 0;
    };

    KeptDescriptors() {
        // Two descriptors per kept process; keep well below the open-file limit, raised once
        // towards its hard limit for this purpose.
        static const rlim_t limit = [] {
            rlimit files{};
            if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
                return rlim_t{1024};
            const rlim_t wanted = std::min<rlim_t>(files.rlim_max, 65536);
            if (files.rlim_cur < wanted) {
                rlimit raised = files;
                raised.rlim_cur = wanted;
                if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
                    return wanted;
            }
            return files.rlim_cur;
        }();
        capacity_ = limit > 1024 ? static_cast<size_t>((limit - 512) / 2) : size_t{256};
    }
    ~KeptDescriptors() {
        for (auto& entry : kept_)
            closeBoth(entry.second);
    }
    KeptDescriptors(const KeptDescriptors&) = delete;
    KeptDescriptors& operator=(const KeptDescriptors&) = delete;

    void beginListing() { ++listing_; }
    void markListed(Process& process) const { process.listing = listing_; }
    Process* find(int32_t pid) {
        const auto it = kept_.find(pid);
        return it == kept_.end() ? nullptr : &it->second;
    }
    void drop(int32_t pid) {
        const auto it = kept_.find(pid);
        if (it == kept_.end())
            return;
        closeBoth(it->second);
        kept_.erase(it);
    }
    // Takes ownership of both descriptors, or closes them when no more can be kept.
    void keep(int32_t pid, int directory, int stat) {
        if (kept_.size() >= capacity_) {
            Process spare{directory, stat, 0};
            closeBoth(spare);
            return;
        }
        kept_[pid] = Process{directory, stat, listing_};
    }
    void closeUnlisted() {
        for (auto it = kept_.begin(); it != kept_.end();) {
            if (it->second.listing != listing_) {
                closeBoth(it->second);
                it = kept_.erase(it);
            } else {
                ++it;
            }
        }
    }

private:
    static void closeBoth(Process& process) {
        if (process.directory >= 0)
            ::close(process.directory);
        if (process.stat >= 0)
            ::close(process.stat);
        process.directory = process.stat = -1;
    }

    std::unordered_map<int32_t, Process> kept_;
    uint64_t listing_ = 0;
    size_t capacity_ = 0;
};

// One process of a listing. Reading never touches the shared descriptor cache, so that listed
// processes can be read on several threads; what is to be kept or dropped is applied afterwards.
struct ListedProcess {
    int32_t pid = 0;
    KeptDescriptors::Process* known = nullptr;
    bool keepKnown = false;
    int newDirectory = -1;
    int newStat = -1;
    ReadOutcome outcome = ReadOutcome::unreadable;
    LVProcessRecord record;
};

void readListedProcess(int proc, uid_t user, ListedProcess& item) {
    char text[1024];
    PidPath path(false, item.pid);
    if (item.known != nullptr) {
        struct stat info {};
        // A folder whose process has ended reports root as its owner: such a pid is read afresh.
        if (::fstat(item.known->directory, &info) == 0 && info.st_uid == user) {
            const ssize_t count = ::pread(item.known->stat, text, sizeof text, 0);
            if (count > 0 && fillRecord(proc, path, item.pid, info.st_uid,
                                        std::string_view(text, static_cast<size_t>(count)), item.record)) {
                item.outcome = ReadOutcome::filled;
                item.keepKnown = item.record.status != LV_STATUS_ZOMBIE;
                return;
            }
        }
        // The process the descriptors belong to is gone; the pid may already name another one.
    }

    // Other users' processes are passed over after one look at the folder's owner.
    struct stat info {};
    if (::fstatat(proc, path.directory(), &info, 0) != 0)
        return;
    if (info.st_uid != user) {
        item.outcome = ReadOutcome::otherUser;
        return;
    }
    const int directory = ::openat(proc, path.directory(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return;
    const int stat = ::openat(directory, "stat", O_RDONLY | O_CLOEXEC | O_NOCTTY);
    ssize_t count = -1;
    if (stat >= 0) {
        do {
            count = ::read(stat, text, sizeof text);
        } while (count < 0 && errno == EINTR);
    }
    if (count > 0 && fillRecord(proc, path, item.pid, info.st_uid,
                                std::string_view(text, static_cast<size_t>(count)), item.record))
        item.outcome = ReadOutcome::filled;
    if (item.outcome == ReadOutcome::filled && item.record.status != LV_STATUS_ZOMBIE) {
        item.newDirectory = directory;
        item.newStat = stat;
    } else {
        ::close(directory);
        if (stat >= 0)
            ::close(stat);
    }
}

// Reading a process's status costs the kernel several microseconds; with many processes the
// listing is split over a few threads. Small listings stay on the calling thread.
void readListedProcesses(int proc, uid_t user, std::vector<ListedProcess>& items) {
    constexpr size_t perThread = 400;
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t threads = std::min({cores, size_t{4}, std::max(size_t{1}, items.size() / perThread)});
    if (threads <= 1) {
        for (auto& item : items)
            readListedProcess(proc, user, item);
        return;
    }
    const size_t slice = (items.size() + threads - 1) / threads;
    const auto readSlice = [&](size_t first) {
        const size_t last = std::min(items.size(), first + slice);
        for (size_t i = first; i < last; ++i)
            readListedProcess(proc, user, items[i]);
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    try {
        for (size_t t = 1; t < threads; ++t)
            helpers.emplace_back(readSlice, t * slice);
    } catch (const std::system_error&) {
        // No thread to be had: the slices left over are read here.
        for (size_t t = helpers.size() + 1; t < threads; ++t)
            readSlice(t * slice);
    }
    readSlice(0);
    for (auto& helper : helpers)
        helper.join();
}

// Numeric /proc entries are processes (thread-group leaders); everything else is passed over.
int32_t pidFromEntry(const char* name) {
    const char* end = name + std::strlen(name);
    if (name == end || *name < '1' || *name > '9')
        return 0;
    int32_t pid = 0;
    auto [ptr, ec] = std::from_chars(name, end, pid);
    return ec == std::errc() && ptr == end ? pid : 0;
}

// Calls `visit(pid)` for every process listed in the open /proc; false when the list cannot be
// read. `visit` returns false to stop early.
template <typename Visit> bool forEachProcess(int proc, Visit&& visit) {
    alignas(dirent64) char entries[16384];
    for (;;) {
        const ssize_t count = ::getdents64(proc, entries, sizeof entries);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (count == 0)
            return true;
        for (ssize_t offset = 0; offset < count;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + offset);
            offset += entry->d_reclen;
            if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)
                continue;
            const int32_t pid = pidFromEntry(entry->d_name);
            if (pid < 1)
                continue;
            if (!visit(pid))
                return true;
        }
    }
}

// Does `path` (n bytes) name `executable` itself or a folder holding it?
bool pathHolds(std::string_view path, std::string_view executable) {
    return executable.size() >= path.size() && executable.starts_with(path) &&
           (executable.size() == path.size() || executable[path.size()] == '/');
}

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
    if (readProcess(AT_FDCWD, true, pid, nullptr, record) != ReadOutcome::filled)
        return 0;
    *out = record;
    return 1;
}

int lv_collect(LVProcessRecord* records, int32_t capacity, uint32_t* skipped) {
    uint32_t skippedCount = 0;
    if (skipped != nullptr)
        *skipped = 0;
    if (records == nullptr || capacity < 0)
        capacity = 0;
    const uid_t user = ::getuid();
    Descriptor proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc.valid())
        return -1;

    thread_local KeptDescriptors kept;
    thread_local std::vector<ListedProcess> items;
    items.clear();
    kept.beginListing();
    const bool listed = forEachProcess(proc.get(), [&](int32_t pid) {
        ListedProcess& item = items.emplace_back();
        item.pid = pid;
        item.known = kept.find(pid);
        return true;
    });
    if (!listed)
        return -1;
    readListedProcesses(proc.get(), user, items);

    int32_t stored = 0;
    for (auto& item : items) {
        if (item.known != nullptr) {
            if (item.keepKnown)
                kept.markListed(*item.known);
            else
                kept.drop(item.pid);
        }
        if (item.newDirectory >= 0)
            kept.keep(item.pid, item.newDirectory, item.newStat);
        switch (item.outcome) {
        case ReadOutcome::otherUser:
            break;
        case ReadOutcome::unreadable:
            ++skippedCount;
            break;
        case ReadOutcome::filled:
            if (item.record.status == LV_STATUS_ZOMBIE)
                break;
            if (stored < capacity)
                records[stored++] = item.record;
            else
                ++skippedCount;
            break;
        }
    }
    kept.closeUnlisted();
    if (skipped != nullptr)
        *skipped = skippedCount;
    return stored;
}

int lv_process_path(int32_t pid, char* buffer, uint32_t size) {
    if (size == 0 || buffer == nullptr)
        return 0;
    buffer[0] = '\0';
    if (pid < 1)
        return 0;
    PidPath path(true, pid);
    const ssize_t length = ::readlink(path.file("exe"), buffer, size);
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

uint64_t lv_process_args(int32_t pid, char* buffer, uint64_t size) {
    if (size == 0 || buffer == nullptr)
        return 0;
    buffer[0] = '\0';
    if (size == 1 || pid < 1)
        return 0;
    // Read straight into the caller's buffer: one byte more than can be kept tells whether the
    // command line was cut.
    PidPath path(true, pid);
    const ssize_t count = readSmallFile(AT_FDCWD, path.file("cmdline"), buffer,
                                        static_cast<size_t>(std::min<uint64_t>(size, SSIZE_MAX)));
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
    for (size_t i = 0; i < length; ++i) {
        if (buffer[i] == '\0')
            buffer[i] = ' ';
    }
    buffer[length] = '\0';
    return length;
}

int lv_application_running(const char* path) {
    if (path == nullptr || path[0] != '/')
        return -1;
    std::string_view wanted(path);
    // "/a/X.app/" names the same folder as "/a/X.app".
    while (wanted.size() > 1 && wanted.back() == '/')
        wanted.remove_suffix(1);

    const uid_t user = ::getuid();
    bool found = false;
    bool doubt = false;
    Descriptor procDirectory(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!procDirectory.valid())
        return -1;
    const int proc = procDirectory.get();
    const bool listed = forEachProcess(proc, [&](int32_t pid) {
        PidPath entry(false, pid);
        struct stat info {};
        if (::fstatat(proc, entry.directory(), &info, 0) != 0 || info.st_uid != user)
            return true;
        char link[LV_PATH_BUFFER];
        const ssize_t length = ::readlinkat(proc, entry.file("exe"), link, sizeof link);
        if (length > 0 && static_cast<size_t>(length) < sizeof link) {
            if (pathHolds(wanted, withoutDeletedMark(std::string_view(link, static_cast<size_t>(length))))) {
                found = true;
                return false;
            }
            return true;
        }
        // Vanished processes, zombies and kernel threads have no executable link.
        if (length < 0 && errno == ENOENT)
            return true;
        // The link of a non-dumpable process is closed to its own user; an absolute argv[0] tells.
        char arguments[LV_PATH_BUFFER];
        const ssize_t count = readSmallFile(proc, entry.file("cmdline"), arguments, sizeof arguments);
        if (count > 0) {
            std::string_view first(arguments, static_cast<size_t>(count));
            first = first.substr(0, first.find('\0'));
            if (first.starts_with('/')) {
                if (pathHolds(wanted, first)) {
                    found = true;
                    return false;
                }
                return true;
            }
        }
        char text[1024];
        const ssize_t statLength = readSmallFile(proc, entry.file("stat"), text, sizeof text);
        if (statLength <= 0)
            return true;
        const auto stat = parseProcStat(std::string_view(text, static_cast<size_t>(statLength)));
        if (!stat || statusForState(stat->state) != LV_STATUS_ZOMBIE)
            doubt = true;
        return true;
    });
    if (!listed)
        return -1;
    if (found)
        return 1;
    return doubt ? -1 : 0;
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

struct MemInfo {
    bool hasTotal = false, hasAvailable = false, hasSwapTotal = false, hasSwapFree = false, hasZswap = false;
    uint64_t total = 0, available = 0, swapTotal = 0, swapFree = 0, zswap = 0;
};

MemInfo readMemInfo() {
    MemInfo info;
    char text[8192];
    const ssize_t count = readSmallFile(AT_FDCWD, "/proc/meminfo", text, sizeof text);
    if (count <= 0)
        return info;
    std::string_view rest(text, static_cast<size_t>(count));
    while (!rest.empty()) {
        const size_t newline = rest.find('\n');
        std::string_view line = rest.substr(0, newline);
        rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, colon);
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        uint64_t number = 0;
        auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (ec != std::errc())
            continue;
        if (std::string_view(ptr, static_cast<size_t>(value.data() + value.size() - ptr)).starts_with(" kB"))
            number *= 1024;
        if (key == "MemTotal") {
            info.total = number;
            info.hasTotal = true;
        } else if (key == "MemAvailable") {
            info.available = number;
            info.hasAvailable = true;
        } else if (key == "SwapTotal") {
            info.swapTotal = number;
            info.hasSwapTotal = true;
        } else if (key == "SwapFree") {
            info.swapFree = number;
            info.hasSwapFree = true;
        } else if (key == "Zswap") {
            info.zswap = number;
            info.hasZswap = true;
        }
    }
    return info;
}

// Memory the zram devices use for their compressed pages (third field of mm_stat, in bytes).
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
            if (length <= 0)
                continue;
            std::string_view fields(text, static_cast<size_t>(length));
            uint64_t value = 0;
            bool parsed = false;
            for (int field = 0; field < 3; ++field) {
                while (!fields.empty() && (fields.front() == ' ' || fields.front() == '\t'))
                    fields.remove_prefix(1);
                auto [ptr, ec] = std::from_chars(fields.data(), fields.data() + fields.size(), value);
                parsed = ec == std::errc();
                if (!parsed)
                    break;
                fields.remove_prefix(static_cast<size_t>(ptr - fields.data()));
            }
            if (parsed)
                sum += value;
        }
    }
}

// The avg10 figure of the "some" or "full" line of the pressure file, or nothing.
bool pressureAverage(std::string_view text, std::string_view kind, double& value) {
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        if (!line.starts_with(kind) || line.size() <= kind.size() || line[kind.size()] != ' ')
            continue;
        constexpr std::string_view key = "avg10=";
        const size_t at = line.find(key);
        if (at == std::string_view::npos)
            return false;
        const char* begin = line.data() + at + key.size();
        auto [ptr, ec] = std::from_chars(begin, line.data() + line.size(), value);
        return ec == std::errc() && ptr != begin;
    }
    return false;
}

int32_t pressureLevel() {
    char text[512];
    const ssize_t count = readSmallFile(AT_FDCWD, "/proc/pressure/memory", text, sizeof text);
    if (count <= 0)
        return 0;
    const std::string_view view(text, static_cast<size_t>(count));
    double some = 0;
    if (!pressureAverage(view, "some", some))
        return 0;
    double full = 0;
    const bool hasFull = pressureAverage(view, "full", full);
    if ((hasFull && full >= 10.0) || some >= 40.0)
        return 4;
    if (some >= 10.0)
        return 2;
    return 1;
}

} // namespace

extern "C" int lv_system_memory(LVSystemMemory* out) {
    if (out == nullptr)
        return 0;
    std::memset(out, 0, sizeof *out);
    const MemInfo info = readMemInfo();
    if (info.hasTotal && info.total != 0) {
        out->physical_bytes = info.total;
        out->has_physical = 1;
    }
    if (info.hasTotal && info.hasAvailable) {
        out->used_bytes = info.total > info.available ? info.total - info.available : 0;
        // Both compressors may be active at once (zswap in front of a zram swap); their pools add up.
        out->compressed_bytes = (info.hasZswap ? info.zswap : 0) + zramMemoryUsed();
        out->has_memory = 1;
    }
    if (info.hasSwapTotal && info.hasSwapFree) {
        out->swap_used_bytes = info.swapTotal > info.swapFree ? info.swapTotal - info.swapFree : 0;
        out->has_swap = 1;
    }
    out->pressure_level = pressureLevel();
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
