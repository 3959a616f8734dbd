#include "platform/files/StaleTemporaries.h"

#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QList>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lunorvale::StaleTemporaries {
namespace {

// A writer takes its lock right after it created its file: an empty file this young may still be waiting
// for that moment.
constexpr std::time_t minimumAgeSeconds = 60;

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

} // namespace

void hold(int fd) {
    ::flock(fd, LOCK_EX | LOCK_NB);
}

int remove(int folder, const std::function<bool(QByteArrayView name)>& ours) {
    // The listing gets a descriptor of its own: closedir closes it, the caller's stays open.
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0)
        return 0;
    const std::unique_ptr<DIR, DirectoryCloser> directory(::fdopendir(listed));
    if (!directory) {
        ::close(listed);
        return 0;
    }
    QList<QByteArray> candidates;
    while (const dirent* entry = ::readdir(directory.get()))
        if (ours(QByteArrayView(entry->d_name)))
            candidates.append(QByteArray(entry->d_name));

    const std::time_t now = std::time(nullptr);
    int removed = 0;
    for (const QByteArray& name : std::as_const(candidates)) {
        const UniqueFd file(
            ::openat(folder, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened {};
        if (!file.valid() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            (opened.st_size == 0 && now - opened.st_mtime < minimumAgeSeconds) ||
            ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Only the very file that was found free is removed, not one that took its name meanwhile.
        struct stat named {};
        if (::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
            ::unlinkat(folder, name.constData(), 0) == 0)
            ++removed;
    }
    return removed;
}

} // namespace lunorvale::StaleTemporaries
