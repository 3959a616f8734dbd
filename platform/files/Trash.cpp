#include "platform/files/Trash.h"

#include "platform/Paths.h"
#include "platform/UniqueFd.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/CheckedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lunorvale::Trash {

int TrashCalls::createExclusive(int folder, const char* name) const {
    return ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

ssize_t TrashCalls::write(int fd, const void* data, size_t size) const {
    return ::write(fd, data, size);
}

int TrashCalls::fsync(int fd) const {
    return ::fsync(fd);
}

int TrashCalls::renameNoReplace(const char* from, int folder, const char* name) const {
    if (::renameat2(AT_FDCWD, from, folder, name, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return -1;
    // A file system without the flag: the name is checked first, which leaves only a moment's race
    // with another program trashing an item of the same name.
    struct stat status {};
    if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(AT_FDCWD, from, folder, name);
}

namespace {

constexpr char infoSuffix[] = ".trashinfo";
constexpr qsizetype infoSuffixBytes = sizeof infoSuffix - 1;
// Longer "extensions" than this are part of the name: they are shortened like the rest of it.
constexpr qsizetype longestExtension = 16;

// A trash folder, opened: its "files" and "info" folders, and how the record names the item.
struct OpenTrash {
    QString path;
    UniqueFd files;
    UniqueFd info;
    QByteArray recordedPath; // absolute for the home trash, relative to the volume's top otherwise
};

std::optional<uint64_t> deviceOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(status.st_dev);
}

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

// `name` inside `parent` as a folder of this user: made 0700 when missing and `create` is set, never
// reached through a link, refused when it belongs to someone else.
UniqueFd ownFolder(int parent, const char* name, bool create) {
    const bool created = create && ::mkdirat(parent, name, 0700) == 0;
    if (create && !created && errno != EEXIST)
        return UniqueFd();
    UniqueFd folder(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!folder.valid() || ::fstat(folder.get(), &status) != 0)
        return UniqueFd();
    if (status.st_uid != ::geteuid()) {
        errno = 0; // refused by this program, not by the system
        return UniqueFd();
    }
    // The umask may have taken bits away; 0700 is what a new trash folder must have.
    if (created && ::fchmod(folder.get(), 0700) != 0)
        return UniqueFd();
    return folder;
}

std::optional<OpenTrash> openTrash(const QString& folderPath, int parent, const char* name,
                                   QByteArray recordedPath, bool create) {
    OpenTrash trash{folderPath, UniqueFd(), UniqueFd(), std::move(recordedPath)};
    const UniqueFd folder = ownFolder(parent, name, create);
    if (!folder.valid())
        return std::nullopt;
    // One after the other, so that errno tells why the first that failed did.
    trash.files = ownFolder(folder.get(), "files", create);
    if (!trash.files.valid())
        return std::nullopt;
    trash.info = ownFolder(folder.get(), "info", create);
    if (!trash.info.valid())
        return std::nullopt;
    return trash;
}

// An administrator's ".Trash" at the top of a volume, shared by its users, each in a folder of their own:
// opened only when it is a folder, not a link, and sticky, so that no user can take another's folder.
UniqueFd sharedTrash(int volume) {
    UniqueFd shared(::openat(volume, ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!shared.valid() || ::fstat(shared.get(), &status) != 0 || (status.st_mode & S_ISVTX) == 0)
        return UniqueFd();
    return shared;
}

// The trash folders an item at `path` on `device` goes to, best first: the home trash when the item lies
// on the home's file system; else, at the top of the item's own file system, the user's folder in a
// shared ".Trash" and then ".Trash-UID". With `create`, missing folders are made and only the first
// trash that opens is given; without it, every one that exists is.
std::vector<OpenTrash> trashesFor(const QString& path, uint64_t device, bool create) {
    std::vector<OpenTrash> trashes;
    const QString dataHome = Paths::dataHome();
    QString existing = dataHome;
    while (existing != u"/" && !CheckedFiles::linkStatus(existing))
        existing = parentOf(existing);
    if (deviceOf(existing) == device) {
        if (create) {
            try {
                AtomicFile::createDirectories(dataHome);
            } catch (const FileWriteError& error) {
                errno = error.errorNumber();
                return trashes;
            }
        }
        const UniqueFd home(
            ::open(QFile::encodeName(dataHome).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!home.valid())
            return trashes;
        if (auto trash = openTrash(dataHome + QStringLiteral("/Trash"), home.get(), "Trash",
                                   QFile::encodeName(path), create))
            trashes.push_back(std::move(*trash));
        return trashes;
    }

    QString top = parentOf(path);
    while (top != u"/" && deviceOf(parentOf(top)) == device)
        top = parentOf(top);
    if (deviceOf(top) != device) {
        errno = 0;
        return trashes;
    }
    const UniqueFd volume(
        ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!volume.valid())
        return trashes;
    const QString topPrefix = top == u"/" ? QString() : top;
    // Records in a volume's trash name the item from the top of the volume, so they stay right wherever
    // the volume is mounted next.
    const QByteArray recorded = QFile::encodeName(path.mid(top == u"/" ? 1 : top.size() + 1));
    const QByteArray uid = QByteArray::number(::getuid());
    // A shared trash where this user's folder cannot be made (the administrator keeps it closed) leaves
    // the user's own trash beside it.
    if (const UniqueFd shared = sharedTrash(volume.get()); shared.valid()) {
        if (auto trash = openTrash(topPrefix + QStringLiteral("/.Trash/") + QString::fromLatin1(uid),
                                   shared.get(), uid.constData(), recorded, create)) {
            trashes.push_back(std::move(*trash));
            if (create)
                return trashes;
        }
    }
    const QByteArray own = ".Trash-" + uid;
    if (auto trash = openTrash(topPrefix + u'/' + QString::fromLatin1(own), volume.get(), own.constData(),
                               recorded, create))
        trashes.push_back(std::move(*trash));
    return trashes;
}

// The first `limit` bytes of `text`, not ending inside a UTF-8 sequence.
QByteArray prefixBytes(const QByteArray& text, qsizetype limit) {
    if (text.size() <= limit)
        return text;
    qsizetype end = limit;
    while (end > 0 && (static_cast<unsigned char>(text.at(end)) & 0xC0) == 0x80)
        --end;
    return text.left(end);
}

// The attempt-th name for the item in "files"; with the record's suffix it stays within `limit` bytes.
// The plain name first, then numbered ones, then random ones that no earlier trashing could have taken.
QByteArray candidateName(const QByteArray& name, int attempt, qsizetype limit) {
    QByteArray stem = name;
    QByteArray extension;
    const qsizetype dot = name.lastIndexOf('.');
    if (dot > 0 && name.size() - dot <= longestExtension) {
        stem = name.left(dot);
        extension = name.mid(dot);
    }
    QByteArray mark;
    if (attempt > 0 && attempt < 8)
        mark = '.' + QByteArray::number(attempt + 1);
    else if (attempt >= 8)
        mark = '.' + QByteArray::number(QRandomGenerator::system()->generate(), 16);
    return prefixBytes(stem, limit - infoSuffixBytes - extension.size() - mark.size()) + mark + extension;
}

qsizetype nameLimit(int folder) {
    const long limit = ::fpathconf(folder, _PC_NAME_MAX);
    return limit > 0 && limit < 255 ? limit : 255;
}

bool writeAll(const TrashCalls& calls, int fd, const QByteArray& data) {
    const char* next = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = calls.write(fd, next, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = 0;
        if (written <= 0)
            return false;
        next += written;
        left -= written;
    }
    return true;
}

// Whether the record `name` in `trash` reads exactly `expected` and its item is missing from "files".
bool isRecordWithoutItem(const OpenTrash& trash, const char* name, const QByteArray& expected) {
    // Only a file of exactly the size of such a record is read.
    struct stat status {};
    if (::fstatat(trash.info.get(), name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size != expected.size())
        return false;
    const UniqueFd record(::openat(trash.info.get(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!record.valid())
        return false;
    QByteArray text(expected.size() + 1, Qt::Uninitialized);
    const ssize_t read = ::read(record.get(), text.data(), static_cast<size_t>(text.size()));
    if (read != expected.size() || text.first(expected.size()) != expected)
        return false;
    // The item's name is the record's without its suffix; only a missing one counts, not an unreadable one.
    const QByteArray item = QByteArray(name).chopped(infoSuffixBytes);
    return ::fstatat(trash.files.get(), item.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 &&
           errno == ENOENT;
}

// Whether `text` is a date as deletionDateText writes it.
bool isDeletionDate(const QByteArray& text) {
    constexpr QByteArrayView shape = "0000-00-00T00:00:00";
    if (text.size() != shape.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == '0' ? !digit : text[i] != shape[i])
            return false;
    }
    return true;
}

} // namespace

QByteArray infoText(const QByteArray& originalPath, const QByteArray& date) {
    return "[Trash Info]\nPath=" + originalPath.toPercentEncoding("/") + "\nDeletionDate=" + date + '\n';
}

bool isTrashLocation(const QString& path) {
    if (!QDir::isAbsolutePath(path) || QDir::cleanPath(path) != path)
        return false;
    const QString files = QFileInfo(path).path();
    const QString trash = QFileInfo(files).path();
    const QString trashName = QFileInfo(trash).fileName();
    return QFileInfo(files).fileName() == u"files" && path != files &&
           (trashName == u"Trash" || trashName.startsWith(QStringLiteral(".Trash-")) ||
            QFileInfo(QFileInfo(trash).path()).fileName() == u".Trash");
}

QByteArray deletionDateText(const QDateTime& when) {
    const std::time_t seconds = static_cast<std::time_t>(when.toSecsSinceEpoch());
    std::tm local{};
    char text[32] = {};
    if (!when.isValid() || ::localtime_r(&seconds, &local) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0)
        return "1970-01-01T00:00:00";
    return text;
}

Outcome moveToTrash(const QString& path, const TrashCalls& calls) {
    return moveToTrash(path, deletionDateText(QDateTime::currentDateTimeUtc()), calls);
}

Outcome moveToTrash(const QString& path, const QByteArray& deletionDate, const TrashCalls& calls) {
    if (!isDeletionDate(deletionDate))
        return {};
    if (!QDir::isAbsolutePath(path) || QDir::cleanPath(path) != path || path == u"/")
        return {};
    const std::optional<FileNode> item = CheckedFiles::linkStatus(path);
    if (!item)
        return {};
    // What refused the trash's folders (a read-only volume, a full one) is the last call that failed.
    errno = 0;
    std::vector<OpenTrash> trashes = trashesFor(path, item->device, true);
    if (trashes.empty())
        return {false, std::nullopt, errno};
    OpenTrash* const trash = &trashes.front();

    const QByteArray source = QFile::encodeName(path);
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    const QByteArray record = infoText(trash->recordedPath, deletionDate);
    const qsizetype limit = std::min(nameLimit(trash->files.get()), nameLimit(trash->info.get()));
    QByteArray previous;
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        const QByteArray candidate = candidateName(name, attempt, limit);
        if (candidate.isEmpty() || candidate == previous)
            continue;
        previous = candidate;
        const QByteArray infoName = candidate + infoSuffix;
        UniqueFd info(calls.createExclusive(trash->info.get(), infoName.constData()));
        if (!info.valid()) {
            if (errno == EEXIST)
                continue;
            return {false, std::nullopt, errno};
        }
        // A record that is not whole on disk before the item moves would leave the item unrestorable.
        const bool recorded = writeAll(calls, info.get(), record) && calls.fsync(info.get()) == 0;
        if (!recorded || info.close() != 0) {
            const int error = errno;
            ::unlinkat(trash->info.get(), infoName.constData(), 0);
            return {false, std::nullopt, error};
        }
        if (calls.renameNoReplace(source.constData(), trash->files.get(), candidate.constData()) != 0) {
            // Also when an item of that name lies in "files" without its record: the next name is tried.
            const int error = errno;
            ::unlinkat(trash->info.get(), infoName.constData(), 0);
            if (error == EEXIST)
                continue;
            return {false, std::nullopt, error};
        }
        // The move is done; a folder that cannot be flushed does not undo it.
        ::fsync(trash->files.get());
        ::fsync(trash->info.get());
        const QString location = trash->path + QStringLiteral("/files/") + QFile::decodeName(candidate);
        if (!isTrashLocation(location) || !CheckedFiles::linkStatus(location))
            return {true, std::nullopt};
        return {true, location};
    }
    return {false, std::nullopt, EEXIST};
}

int removeRecordsWithoutItem(const QString& originalPath, const QByteArray& deletionDate) {
    if (!QDir::isAbsolutePath(originalPath) || QDir::cleanPath(originalPath) != originalPath ||
        originalPath == u"/" || !isDeletionDate(deletionDate))
        return 0;
    // The item may be in place still (it never moved), or gone since: then its folder tells the volume.
    std::optional<uint64_t> device;
    if (const std::optional<FileNode> item = CheckedFiles::linkStatus(originalPath))
        device = item->device;
    else
        device = deviceOf(parentOf(originalPath));
    if (!device)
        return 0;
    int removed = 0;
    for (const OpenTrash& trash : trashesFor(originalPath, *device, false)) {
        const int listed = ::dup(trash.info.get());
        DIR* const folder = listed < 0 ? nullptr : ::fdopendir(listed);
        if (!folder) {
            if (listed >= 0)
                ::close(listed);
            continue;
        }
        std::vector<QByteArray> names;
        while (const dirent* entry = ::readdir(folder)) {
            const QByteArray name(entry->d_name);
            if (name.size() > infoSuffixBytes && name.endsWith(infoSuffix))
                names.push_back(name);
        }
        ::closedir(folder);
        const QByteArray expected = infoText(trash.recordedPath, deletionDate);
        for (const QByteArray& name : names) {
            if (!isRecordWithoutItem(trash, name.constData(), expected))
                continue;
            if (::unlinkat(trash.info.get(), name.constData(), 0) == 0)
                ++removed;
        }
        if (removed > 0)
            ::fsync(trash.info.get());
    }
    return removed;
}

} // namespace lunorvale::Trash
