#include "platform/probes/ProcFiles.h"

#include "platform/probes/lv_probes.h"

namespace lunorvale::probes {

std::optional<int32_t> takeOverFromLiveThread(int directory, int32_t pid, ProcStat& stat) {
    // A zombie counts itself among its threads until it is reaped.
    if (statusForState(stat.state) != LV_STATUS_ZOMBIE || stat.threads < 2)
        return std::nullopt;
    PidPath path(directory == AT_FDCWD, pid);
    Descriptor tasks(::openat(directory, path.file("task"), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!tasks.valid())
        return std::nullopt;
    std::optional<int32_t> found;
    forEachProcess(tasks.get(), [&](int32_t thread, int64_t) {
        PidPath threadPath(false, thread);
        char text[statBuffer];
        const ssize_t count =
            thread == pid ? 0 : readSmallFile(tasks.get(), threadPath.file("stat"), text, sizeof text);
        const auto live =
            count > 0 ? parseProcStat(std::string_view(text, static_cast<size_t>(count))) : std::nullopt;
        if (!live || statusForState(live->state) == LV_STATUS_ZOMBIE)
            return true;
        stat.state = live->state;
        stat.rss = live->rss;
        stat.startCode = live->startCode;
        stat.endCode = live->endCode;
        stat.argStart = live->argStart;
        stat.argEnd = live->argEnd;
        found = thread;
        return false;
    });
    return found;
}

int32_t standIn(int directory, int32_t pid) {
    PidPath path(directory == AT_FDCWD, pid);
    char text[statBuffer];
    const ssize_t count = readSmallFile(directory, path.file("stat"), text, sizeof text);
    auto stat = count > 0 ? parseProcStat(std::string_view(text, static_cast<size_t>(count))) : std::nullopt;
    return stat ? takeOverFromLiveThread(directory, pid, *stat).value_or(0) : 0;
}

} // namespace lunorvale::probes
