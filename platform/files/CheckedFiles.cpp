#include "platform/files/CheckedFiles.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace lunorvale::CheckedFiles {
namespace {

constexpr int64_t chunkBytes = 65536;

FileNode nodeFrom(const struct stat& status) {
    FileNode node;
    node.device = static_cast<uint64_t>(status.st_dev);
    node.inode = static_cast<uint64_t>(status.st_ino);
    node.mode = static_cast<uint32_t>(status.st_mode);
    node.size = static_cast<int64_t>(status.st_size);
    if (S_ISDIR(status.st_mode))
        node.type = FileNode::Type::directory;
    else if (S_ISREG(status.st_mode))
        node.type = FileNode::Type::regular;
    else if (S_ISLNK(status.st_mode))
        node.type = FileNode::Type::symbolicLink;
    return node;
}

using Descriptor = UniqueFd;

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

} // namespace

std::optional<FileNode> linkStatus(const QString& path, int* errorNumber) {
    struct stat status {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        if (errorNumber)
            *errorNumber = path.isEmpty() ? ENOENT : errno;
        return std::nullopt;
    }
    return nodeFrom(status);
}

bool exists(const QString& path) {
    struct stat status {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &status) == 0;
}

std::optional<QString> resolvedPath(const QString& path, int* errorNumber) {
    if (path.isEmpty()) {
        if (errorNumber)
            *errorNumber = ENOENT;
        return std::nullopt;
    }
    // Only the allocating form: a fixed buffer overflows on long paths.
    char* resolved = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (resolved == nullptr) {
        if (errorNumber)
            *errorNumber = errno;
        return std::nullopt;
    }
    QString result = QFile::decodeName(resolved);
    std::free(resolved);
    return result;
}

bool isAtResolvedPath(const QString& path) {
    const std::optional<QString> resolved = resolvedPath(path);
    return resolved && *resolved == path;
}

bool forEachName(const QString& path, const std::function<void(QByteArrayView)>& take, int* errorNumber) {
    const auto failed = [errorNumber](int error) {
        if (errorNumber)
            *errorNumber = error;
        return false;
    };
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    std::unique_ptr<DIR, DirectoryCloser> directory(::fdopendir(fd));
    if (!directory) {
        const int error = errno;
        ::close(fd);
        return failed(error);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(directory.get());
        if (entry == nullptr)
            return errno == 0 || failed(errno);
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        take(QByteArrayView(name));
    }
}

PrefixRead readPrefix(const QString& path, int64_t maximumBytes) {
    PrefixRead result;
    const Descriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            result.status = PrefixRead::Status::missing;
        result.errorNumber = errno;
        return result;
    }
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0) {
        result.errorNumber = errno;
        return result;
    }
    if (!S_ISREG(opened.st_mode)) {
        result.errorNumber = S_ISDIR(opened.st_mode) ? EISDIR : 0;
        return result;
    }
    QByteArray bytes;
    while (static_cast<int64_t>(bytes.size()) < maximumBytes) {
        const int64_t wanted = std::min(chunkBytes, maximumBytes - static_cast<int64_t>(bytes.size()));
        const qsizetype before = bytes.size();
        bytes.resize(before + static_cast<qsizetype>(wanted));
        ssize_t got = 0;
        do {
            got = ::read(fd.get(), bytes.data() + before, static_cast<size_t>(wanted));
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            result.errorNumber = errno;
            return result;
        }
        bytes.resize(before + static_cast<qsizetype>(got));
        if (got == 0)
            break;
    }
    result.status = PrefixRead::Status::read;
    result.bytes = std::move(bytes);
    return result;
}

ReadResult readRegularFile(const QString& path, int64_t maximumBytes,
                           const std::function<void()>& beforeChunk) {
    ReadResult result;
    const auto fail = [&result](ReadResult::Failure failure, int errorNumber = 0) {
        result.failure = failure;
        result.errorNumber = errorNumber;
        result.bytes.clear();
        return result;
    };
    if (!isAtResolvedPath(path))
        return fail(ReadResult::Failure::notAtResolvedPath);

    const QByteArray encoded = QFile::encodeName(path);
    const Descriptor fd(::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return fail(ReadResult::Failure::openFailed, errno);

    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_size < 0 ||
        static_cast<int64_t>(opened.st_size) > maximumBytes)
        return fail(ReadResult::Failure::notRegularOrTooLarge);

    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(opened.st_size));
    while (static_cast<int64_t>(bytes.size()) <= maximumBytes) {
        if (beforeChunk)
            beforeChunk();
        // One byte beyond the limit tells a file that grew; written so that no limit can overflow.
        const int64_t remaining = maximumBytes - static_cast<int64_t>(bytes.size());
        const int64_t wanted = remaining >= chunkBytes ? chunkBytes : remaining + 1;
        const qsizetype before = bytes.size();
        bytes.resize(before + static_cast<qsizetype>(wanted));
        ssize_t got = 0;
        do {
            got = ::read(fd.get(), bytes.data() + before, static_cast<size_t>(wanted));
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            const int error = errno;
            return fail(ReadResult::Failure::readFailed, error);
        }
        bytes.resize(before + static_cast<qsizetype>(got));
        if (got == 0)
            break;
    }

    // The file must still be the one that was opened, at the same place, with the size it had.
    const std::optional<FileNode> atPath = linkStatus(path);
    if (!atPath)
        return fail(ReadResult::Failure::vanished);
    struct stat after {};
    if (static_cast<int64_t>(bytes.size()) > maximumBytes || ::fstat(fd.get(), &after) != 0 ||
        after.st_size != opened.st_size ||
        static_cast<int64_t>(bytes.size()) != static_cast<int64_t>(opened.st_size) ||
        atPath->device != static_cast<uint64_t>(opened.st_dev) ||
        atPath->inode != static_cast<uint64_t>(opened.st_ino) || !isAtResolvedPath(path))
        return fail(ReadResult::Failure::changed);

    result.bytes = std::move(bytes);
    return result;
}

} // namespace lunorvale::CheckedFiles
