#include "platform/files/FolderReplace.h"

#include "platform/UniqueFd.h"
#include "platform/files/StaleTemporaries.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lunorvale {

int DurableFileCalls::fsync(int fd) const {
    return ::fsync(fd);
}

int DurableFileCalls::renameat(int folder, const char* from, const char* to) const {
    return ::renameat(folder, from, folder, to);
}

namespace FolderReplace {
namespace {

using Failure = Result::Failure;

Result failed(Failure failure, int errorNumber = 0) {
    return {failure, errorNumber};
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

Result replace(const QString& folder, const FileNode& expected, const QString& name,
               const QString& temporaryName, const QByteArray& data,
               const std::function<bool(QByteArrayView name)>& ownTemporary, const DurableFileCalls& calls) {
    const UniqueFd directory(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory.valid())
        return failed(Failure::openFolder, errno);
    struct stat opened {};
    if (::fstat(directory.get(), &opened) != 0 || static_cast<uint64_t>(opened.st_dev) != expected.device ||
        static_cast<uint64_t>(opened.st_ino) != expected.inode || !CheckedFiles::isAtResolvedPath(folder))
        return failed(Failure::folderChanged);

    if (ownTemporary)
        StaleTemporaries::remove(directory.get(), ownTemporary);
    const QByteArray temporary = QFile::encodeName(temporaryName);
    const QByteArray target = QFile::encodeName(name);
    UniqueFd file(::openat(directory.get(), temporary.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid())
        return failed(Failure::createTemporary, errno);
    StaleTemporaries::hold(file.get());

    Result result;
    // The umask may have taken bits away from the mode asked for; 0600 is what the file must have.
    if (::fchmod(file.get(), 0600) != 0 || !writeAll(file.get(), data.constData(), data.size()))
        result = failed(Failure::write, errno);
    else if (calls.fsync(file.get()) != 0)
        result = failed(Failure::sync, errno);
    else if (calls.renameat(directory.get(), temporary.constData(), target.constData()) != 0)
        result = failed(Failure::rename, errno);
    // Without this the rename can be lost in a crash while whatever the caller does next is not. Yet
    // the new file is in place and every reader sees it: the save happened. Some file systems cannot
    // flush a folder and say so with EINVAL.
    else if (calls.fsync(directory.get()) != 0 && errno != EINVAL)
        result.folderFlushError = errno;

    file.reset();
    ::unlinkat(directory.get(), temporary.constData(), 0);
    return result;
}

} // namespace FolderReplace
} // namespace lunorvale
