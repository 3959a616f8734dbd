#pragma once

// Reading the files of /proc, shared by the probes' sources.

#include "platform/UniqueFd.h"
#include "platform/probes/ProcStatParse.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace lunorvale::probes {

using Descriptor = lunorvale::UniqueFd;

// "PID/leaf" relative to an open /proc, or "/proc/PID/leaf" for single reads, built on the stack; with
// a thread, "PID/task/TID/leaf".
class PidPath final {
public:
    PidPath(bool absolute, int32_t pid, int32_t thread = 0) {
        constexpr std::string_view prefix = "/proc/";
        constexpr std::string_view tasks = "/task/";
        char* out = text_.data();
        if (absolute) {
            std::memcpy(out, prefix.data(), prefix.size());
            out += prefix.size();
        }
        out = std::to_chars(out, text_.data() + 24, pid).ptr;
        if (thread > 0) {
            std::memcpy(out, tasks.data(), tasks.size());
            out = std::to_chars(out + tasks.size(), text_.data() + 40, thread).ptr;
        }
        end_ = static_cast<size_t>(out - text_.data());
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
    std::array<char, 56> text_{};
    size_t end_ = 0;
};

// One read of a small /proc file. Files of /proc hand over their whole text (up to the buffer) in
// one read, so a short count means the end; no second read just to see zero.
inline ssize_t readSmallFile(int directory, const char* path, char* buffer, size_t size) {
    Descriptor fd(::openat(directory, path, O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return -1;
    ssize_t count;
    do {
        count = ::read(fd.get(), buffer, size);
    } while (count < 0 && errno == EINTR);
    return count;
}

inline std::string_view basename(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The kernel marks the link of an executable removed since the start with this suffix.
inline std::string_view withoutDeletedMark(std::string_view path) {
    constexpr std::string_view mark = " (deleted)";
    if (path.size() > mark.size() && path.ends_with(mark))
        path.remove_suffix(mark.size());
    return path;
}

// The kernel keeps 15 bytes of a name; a name that long was probably cut, and the executable's or
// argv[0]'s file name that begins with it is the whole one.
constexpr size_t kernelNameLimit = 15;

// Numeric entries of /proc are processes (thread-group leaders), those of a process's task folder its
// threads; everything else is passed over.
inline int32_t pidFromEntry(const char* name) {
    const char* end = name + std::strlen(name);
    if (name == end || *name < '1' || *name > '9')
        return 0;
    int32_t pid = 0;
    auto [ptr, ec] = std::from_chars(name, end, pid);
    return ec == std::errc() && ptr == end ? pid : 0;
}

// Calls `visit(pid, position)` for every process listed in the open /proc (or thread in an open task
// folder) from its current position on, `position` being where the listing goes on after it; false when the
// list cannot be read. `visit` returns false to stop early. The kernel looks up every entry it hands over, so
// a listing that will stop soon asks for few at a time.
template <typename Visit> bool forEachProcess(int proc, Visit&& visit, size_t batch = 16384) {
    alignas(dirent64) char entries[16384];
    batch = std::min(batch, sizeof entries);
    for (;;) {
        const ssize_t count = ::getdents64(proc, entries, batch);
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
            if (!visit(pid, entry->d_off))
                return true;
        }
    }
}

// The status line's fields end well before this even with the longest names and numbers; a line
// cut after the resident size still parses.
constexpr size_t statBuffer = 1024;

// A program whose main thread has ended (pthread_exit) while other threads run on: the kernel shows its
// leader as a zombie until the last thread ends, with the whole group's CPU time in the leader's status
// line, but without the state, memory and program image that went with the leader's own thread, and
// its executable link and arguments are gone too. What it no longer has is read from a live thread,
// whose number is returned, into `stat`; nothing for a zombie none of whose threads lives.
std::optional<int32_t> takeOverFromLiveThread(int directory, int32_t pid, ProcStat& stat);

// The live thread that stands in for a process whose main thread has ended (see above), or 0: for a
// process whose main thread lives, one that is gone, and a zombie.
int32_t standIn(int directory, int32_t pid);

} // namespace lunorvale::probes
