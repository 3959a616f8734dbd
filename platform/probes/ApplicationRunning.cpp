// Whether code from a folder runs (lv_application_running): each of the current user's processes is
// judged by its executable link, where that names a dynamic loader by the files it maps, and where that
// is closed by what it says of itself.

#include "platform/probes/LoadedProgram.h"
#include "platform/probes/PathHolds.h"
#include "platform/probes/ProcFiles.h"
#include "platform/probes/ProcStatParse.h"
#include "platform/probes/lv_probes.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

using lunorvale::probes::basename;
using lunorvale::probes::Descriptor;
using lunorvale::probes::forEachProcess;
using lunorvale::probes::ImageKind;
using lunorvale::probes::imageKind;
using lunorvale::probes::kernelNameLimit;
using lunorvale::probes::mapsCodeFrom;
using lunorvale::probes::parseProcStat;
using lunorvale::probes::pathHolds;
using lunorvale::probes::PidPath;
using lunorvale::probes::ProcStat;
using lunorvale::probes::readSmallFile;
using lunorvale::probes::standIn;
using lunorvale::probes::statBuffer;
using lunorvale::probes::statusForState;
using lunorvale::probes::withoutDeletedMark;

// Whether the executable `path` (an argv[0], or a link without its deletion mark whose file cannot be read)
// is a dynamic loader, whose link names itself while it runs the program its arguments name: its file name
// is the kind the C libraries give theirs, "ld*.so" or "ld*.so.*" (ld-linux-x86-64.so.2, ld64.so.2,
// ld-musl-x86_64.so.1, ld-2.31.so). Wherever it lies: a folder would only let the system's own loader pass
// where a store or a container keeps it elsewhere, and a program merely named so is judged by what can
// only tie it.
bool isDynamicLoader(std::string_view path) {
    const std::string_view name = basename(path);
    if (!name.starts_with("ld"))
        return false;
    for (size_t at = name.find(".so", 2); at != std::string_view::npos; at = name.find(".so", at + 1)) {
        if (at + 3 == name.size() || name[at + 3] == '.')
            return true;
    }
    return false;
}

// The loader's options that take the next argument as their value; any other "--…" stands alone, and
// "--" ends them. The program comes first after them.
constexpr std::array<std::string_view, 7> loaderOptionsWithValue = {
    "--library-path",         "--inhibit-rpath",    "--audit", "--preload", "--argv0",
    "--glibc-hwcaps-prepend", "--glibc-hwcaps-mask"};

// Whether `path`, absolute, names a file that exists at or below `bundle`, through links too. One that
// names a file outside proves nothing: a launcher may run the bundle's program under its own argv[0], and
// the bundle may have been renamed since the start with a new copy put at its old path.
bool fileInside(std::string_view bundle, const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    // Through a link (one in a folder of PATH, say) the program may still be the bundle's.
    char* resolved = ::realpath(path.c_str(), nullptr);
    const bool inside = pathHolds(bundle, path) || (resolved != nullptr && pathHolds(bundle, resolved));
    std::free(resolved);
    return inside;
}

// What the arguments of a process whose executable link is closed, or names a dynamic loader whose mappings
// cannot be read, say of the folder `bundle`. They are the process's own word: they may tie it to the folder,
// never clear it.
struct ArgumentsTell {
    bool runsInside = false;  // its program, argv[0] or the loader's, is a file in the folder
    bool namesInside = false; // a later argument, or what follows an '=' in it, names a path in the folder
    std::string program;      // argv[0]'s file name
    std::string loaded;       // where argv[0] is a loader's, the file name of the program it was given
};

// `loader` where the process's link names a dynamic loader; one whose link is closed runs under one where
// its argv[0] is a loader's.
ArgumentsTell argumentsTell(int proc, PidPath& entry, std::string_view bundle, bool loader) {
    ArgumentsTell told;
    Descriptor fd(::openat(proc, entry.file("cmdline"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return told;
    // argv[0] is kept while it fits a path, and so is every argument up to a loader's program. Whether a
    // later argument names a path in the folder shows in its first bytes, or in those after an '='
    // ("--data=PATH"): the folder's path and a slash, or the path alone. Those are kept; the rest is read
    // past, however long.
    std::string program;
    std::string whole;
    bool fits = true;
    std::string loaded;
    bool loadedFound = false;
    bool valueNext = false;
    bool optionsEnded = false;
    const size_t kept = bundle.size() + 1;
    std::string start;
    size_t argument = 0;
    const auto check = [&] {
        told.namesInside = told.namesInside || pathHolds(bundle, start);
        start.clear();
    };
    const auto keptWhole = [&] {
        return argument == 0 || (loader && !loadedFound);
    };
    const auto take = [&](char c) {
        if (keptWhole()) {
            fits = fits && whole.size() < LV_PATH_BUFFER;
            if (fits)
                whole.push_back(c);
        }
        if (argument == 0)
            return;
        if (c == '=')
            check();
        else if (start.size() < kept)
            start.push_back(c);
    };
    // A loader's program is its first argument that is neither an option nor an option's value.
    const auto finish = [&] {
        if (argument == 0) {
            program = fits ? whole : std::string();
            loader = loader || isDynamicLoader(program);
        } else if (keptWhole()) {
            const std::string_view given(whole);
            if (valueNext) {
                valueNext = false;
            } else if (!optionsEnded && given == "--") {
                optionsEnded = true;
            } else if (!optionsEnded && given.starts_with("--")) {
                valueNext = std::find(loaderOptionsWithValue.begin(), loaderOptionsWithValue.end(), given) !=
                            loaderOptionsWithValue.end();
            } else {
                loadedFound = true;
                loaded = fits ? whole : std::string();
            }
        }
        whole.clear();
        fits = true;
    };
    char chunk[LV_PATH_BUFFER];
    bool open = false; // an argument has begun and not ended
    for (;;) {
        const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        for (const char c : std::string_view(chunk, static_cast<size_t>(count))) {
            if (c != '\0') {
                take(c);
                open = true;
                continue;
            }
            if (argument > 0)
                check();
            finish();
            ++argument;
            open = false;
        }
    }
    // A process that rewrote its arguments may end them without a NUL.
    if (open) {
        if (argument > 0)
            check();
        finish();
    }
    if (!program.empty()) {
        told.runsInside = program.front() == '/' && fileInside(bundle, program);
        told.program = basename(program);
    }
    if (loaded.empty())
        return told;
    // The loader opens a program given with a slash from the folder it started in, which the process
    // may have left since: resolved against the one it is in now, the path can only tie it. A bare name
    // it looks for as it looks for a library: only the name can tie it.
    std::string path = loaded;
    if (loaded.front() != '/') {
        char folder[LV_PATH_BUFFER];
        const ssize_t length = ::readlinkat(proc, entry.file("cwd"), folder, sizeof folder);
        path =
            loaded.find('/') != std::string::npos && length > 0 && static_cast<size_t>(length) < sizeof folder
                ? std::string(folder, static_cast<size_t>(length)) + '/' + loaded
                : std::string();
    }
    told.runsInside = told.runsInside || (!path.empty() && fileInside(bundle, path));
    told.loaded = basename(loaded);
    return told;
}

// How the executable of the process at `entry` runs, by its first bytes. Read through the link, they are
// those of the file the process runs, even where its path has gone since or names another file now.
ImageKind executableKind(int proc, PidPath& entry) {
    Descriptor fd(::openat(proc, entry.file("exe"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return ImageKind::unknown;
    // The linkers put the program headers right after the ELF header, well within a page.
    char head[4096];
    ssize_t count;
    do {
        count = ::pread(fd.get(), head, sizeof head, 0);
    } while (count < 0 && errno == EINTR);
    return count > 0 ? imageKind(std::string_view(head, static_cast<size_t>(count))) : ImageKind::unknown;
}

// Whether the process at `entry`, whose link reads `loader`, maps code from `bundle` (see mapsCodeFrom);
// nothing where its mappings cannot be read (those of a non-dumpable process are closed as its link is)
// or read empty: a process whose memory is gone has ended, or its main thread has since its link was
// read, and the threads left are found by its arguments as they would be with the link closed.
std::optional<bool> mapsCodeOf(int proc, PidPath& entry, std::string_view loader, std::string_view bundle) {
    Descriptor fd(::openat(proc, entry.file("maps"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return std::nullopt;
    std::string maps;
    char chunk[16384];
    for (;;) {
        const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        maps.append(chunk, static_cast<size_t>(count));
    }
    if (maps.empty())
        return std::nullopt;
    return mapsCodeFrom(maps, loader, bundle);
}

// Whether a thread of the process `pid` (the one whose leader started at `start`, in ticks since boot,
// where that was read) goes by a name `names` ties. A thread renames itself alone (PR_SET_NAME), so a
// program whose main thread took another name may run on in threads that keep the name of the bundle's
// program. The task folder stays bound to the process it was opened for: a thread that ends while it is
// read is passed over, and one of another process never read, even where its id was once this
// process's. Once the pid names another process (the leader's start differs), none of it is read.
template <typename Names>
bool threadNamed(int proc, int32_t pid, std::optional<uint64_t> start, const Names& names) {
    PidPath path(false, pid);
    Descriptor tasks(::openat(proc, path.file("task"), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!tasks.valid())
        return false;
    if (start) {
        PidPath leader(false, pid);
        char text[statBuffer];
        const ssize_t count = readSmallFile(tasks.get(), leader.file("stat"), text, sizeof text);
        const auto stat =
            count > 0 ? parseProcStat(std::string_view(text, static_cast<size_t>(count))) : std::nullopt;
        if (!stat || stat->starttime != *start)
            return false;
    }
    bool named = false;
    forEachProcess(tasks.get(), [&](int32_t thread, int64_t) {
        PidPath threadPath(false, thread);
        // The name and a line break.
        char name[kernelNameLimit + 2] = {};
        const ssize_t count = readSmallFile(tasks.get(), threadPath.file("comm"), name, sizeof name - 1);
        if (count <= 0)
            return true;
        if (name[count - 1] == '\n')
            name[count - 1] = '\0';
        named = names(name);
        return !named;
    });
    return named;
}

} // namespace

extern "C" int lv_application_running(const char* path, LVBundleNameCheck names_bundle_file, void* context,
                                      LVNamedProcess* named) {
    if (named != nullptr)
        *named = LVNamedProcess{};
    if (path == nullptr || path[0] != '/')
        return -1;
    std::string_view wanted(path);
    // "/a/X.app/" names the same folder as "/a/X.app".
    while (wanted.size() > 1 && wanted.back() == '/')
        wanted.remove_suffix(1);

    const uid_t user = ::getuid();
    // The process found running, named where no link shows it (pid 0 otherwise), and the first in doubt.
    std::optional<LVNamedProcess> found;
    std::optional<LVNamedProcess> doubt;
    Descriptor procDirectory(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!procDirectory.valid())
        return -1;
    const int proc = procDirectory.get();
    const bool listed = forEachProcess(proc, [&](int32_t pid, int64_t) {
        PidPath leader(false, pid);
        struct stat info {};
        if (::fstatat(proc, leader.directory(), &info, 0) != 0 || info.st_uid != user)
            return true;
        char link[LV_PATH_BUFFER];
        ssize_t length = ::readlinkat(proc, leader.file("exe"), link, sizeof link);
        // A process whose main thread has ended runs what its live threads run: its leader, a zombie,
        // has lost its link, or (non-dumpable) keeps it closed. Vanished processes, zombies and kernel
        // threads have no link and no live thread.
        int32_t thread = 0;
        if (length < 0) {
            const bool noLink = errno == ENOENT;
            thread = standIn(proc, pid);
            if (noLink && thread == 0)
                return true;
        }
        PidPath entry(false, pid, thread);
        if (thread != 0)
            length = ::readlinkat(proc, entry.file("exe"), link, sizeof link);
        char text[statBuffer];
        ssize_t statLength = 0;
        std::optional<ProcStat> stat;
        LVNamedProcess process{};
        // No link shows the user which process it is (a loader's shows the loader): it is named.
        const auto readProcess = [&] {
            statLength = readSmallFile(proc, leader.file("stat"), text, sizeof text);
            stat = statLength > 0 ? parseProcStat(std::string_view(text, static_cast<size_t>(statLength)))
                                  : std::nullopt;
            process.pid = pid;
            if (stat) {
                const std::string_view name = stat->comm.substr(0, sizeof process.name - 1);
                std::memcpy(process.name, name.data(), name.size());
            }
        };
        bool loader = false;
        if (length > 0 && static_cast<size_t>(length) < sizeof link) {
            const std::string_view kernelPath(link, static_cast<size_t>(length));
            const std::string_view executable = withoutDeletedMark(kernelPath);
            if (pathHolds(wanted, executable)) {
                found = LVNamedProcess{};
                return false;
            }
            // A program run through a dynamic loader shows the loader as its executable: an image that
            // asks for no interpreter, as the loaders of glibc and musl are under any name. The loader
            // maps the program it runs, by its real path, and the libraries it loads for it; a static-pie
            // program maps nothing but itself and so is judged by its link. The program, not what its
            // arguments say, tells where it runs: a bundle's program may blank them, and one outside may
            // be given a bundle's file to read. Where the image tells neither, the file's name does.
            const ImageKind image = executableKind(proc, entry);
            if (image == ImageKind::itself || (image == ImageKind::unknown && !isDynamicLoader(executable)))
                return true;
            if (const std::optional<bool> inside = mapsCodeOf(proc, entry, kernelPath, wanted)) {
                if (!*inside)
                    return true;
                readProcess();
                found = process;
                return false;
            }
            loader = true;
        } else if (length < 0 && errno == ENOENT) {
            return true;
        }
        // The link of a non-dumpable process is closed to its own user; an absolute argv[0] into the
        // folder tells it runs there, as does a loader's program.
        const ArgumentsTell arguments = argumentsTell(proc, entry, wanted, loader);
        if (!arguments.runsInside && doubt)
            return true;
        readProcess();
        if (arguments.runsInside) {
            found = process;
            return false;
        }
        // Otherwise the process leaves the answer open only where its arguments or its names tie it
        // to the bundle: every user has such processes (a setgid agent started by its bare name), and
        // most have nothing to do with the bundle.
        if (statLength <= 0 || (stat && thread == 0 && statusForState(stat->state) == LV_STATUS_ZOMBIE))
            return true;
        // A program that renames itself keeps its argv[0], one run from a descriptor or a copy in
        // memory is named by its descriptor and keeps it too.
        const auto names = [&](const char* name) {
            return names_bundle_file != nullptr && name[0] != '\0' && names_bundle_file(name, context) != 0;
        };
        if (arguments.namesInside || names(process.name) || names(arguments.program.c_str()) ||
            names(arguments.loaded.c_str()) ||
            threadNamed(proc, pid, stat ? std::optional(stat->starttime) : std::nullopt, names))
            doubt = process;
        return true;
    });
    if (!listed)
        return -1;
    if (found) {
        if (named != nullptr)
            *named = *found;
        return 1;
    }
    if (!doubt)
        return 0;
    if (named != nullptr)
        *named = *doubt;
    return -1;
}
