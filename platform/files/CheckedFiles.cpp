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

QString decodedName(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    const auto at = [&](qsizetype k) {
        return static_cast<unsigned char>(bytes[k]);
    };
    for (qsizetype i = 0; i < bytes.size();) {
        const unsigned char lead = at(i);
        if (lead < 0x80) {
            text.append(QChar(char16_t(lead)));
            ++i;
            continue;
        }
        // The length a lead byte announces, and the least value and the range its second byte may take,
        // so that neither an overlong form nor a surrogate nor anything past U+10FFFF decodes.
        qsizetype length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        bool valid = length > 0 && i + length <= bytes.size() && at(i + 1) >= low && at(i + 1) <= high;
        for (qsizetype k = 2; valid && k < length; ++k)
            valid = at(i + k) >= 0x80 && at(i + k) <= 0xBF;
        if (!valid) {
            text.append(QChar(char16_t(byteSurrogateBase + lead)));
            ++i;
            continue;
        }
        char32_t c = lead & (0x7F >> length);
        for (qsizetype k = 1; k < length; ++k)
            c = (c << 6) | (at(i + k) & 0x3F);
        text.append(QString::fromUcs4(&c, 1));
        i += length;
    }
    return text;
}

QByteArray encodedName(QStringView text) {
    QByteArray bytes;
    qsizetype run = 0; // where the text not yet encoded begins
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // After a high surrogate the same value is the second half of a character, which decodedName
        // gives for a character beyond U+FFFF (U+1F480 is U+D83D U+DC80).
        if (c < byteSurrogateBase + 0x80 || c > byteSurrogateBase + 0xFF ||
            (i > 0 && text[i - 1].isHighSurrogate()))
            continue;
        bytes += QFile::encodeName(text.sliced(run, i - run).toString());
        bytes += char(c - byteSurrogateBase);
        run = i + 1;
    }
    bytes += QFile::encodeName(text.sliced(run).toString());
    return bytes;
}

std::optional<FileNode> linkStatus(const QString& path, int* errorNumber) {
    struct stat status {};
    if (path.isEmpty() || ::lstat(encodedName(path).constData(), &status) != 0) {
        if (errorNumber)
            *errorNumber = path.isEmpty() ? ENOENT : errno;
        return std::nullopt;
    }
    return nodeFrom(status);
}

bool exists(const QString& path) {
    struct stat status {};
    return !path.isEmpty() && ::stat(encodedName(path).constData(), &status) == 0;
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
    const int fd = ::open(encodedName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
    const Descriptor fd(::open(encodedName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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

    const QByteArray encoded = encodedName(path);
    const Descriptor fd(::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        // A socket or a device refuses to be opened (ENXIO, ENODEV) in words that say nothing of what
        // stands there.
        struct stat node {};
        if (::lstat(encoded.constData(), &node) == 0 && !S_ISREG(node.st_mode) && !S_ISDIR(node.st_mode) &&
            !S_ISLNK(node.st_mode))
            return fail(ReadResult::Failure::notRegularFile);
        return fail(ReadResult::Failure::openFailed, error);
    }

    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0)
        return fail(ReadResult::Failure::openFailed, errno);
    if (!S_ISREG(opened.st_mode))
        return fail(ReadResult::Failure::notRegularFile, S_ISDIR(opened.st_mode) ? EISDIR : 0);
    if (opened.st_size < 0 || static_cast<int64_t>(opened.st_size) > maximumBytes)
        return fail(ReadResult::Failure::tooLarge);

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
