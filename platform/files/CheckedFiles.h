#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace lunorvale {

// The status of one path itself (a final symbolic link is described, not followed).
struct FileNode {
    enum class Type { directory, regular, symbolicLink, other };

    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t mode = 0;
    int64_t size = 0;
    Type type = Type::other;

    bool isDirectory() const { return type == Type::directory; }
    bool isRegularFile() const { return type == Type::regular; }
    bool isSymbolicLink() const { return type == Type::symbolicLink; }
};

// What the program's readers refuse to read where the system would have opened it: a file reached through
// a symbolic link, which they never follow, or something other than a regular file or a folder (a
// device, a pipe, a socket).
enum class FileRefusal { link, notRegularFile };

// File access that never follows a symbolic link it was not told to. Paths are absolute local paths;
// nothing here keeps state, so every function may run on any thread.
//
// A path is opened by the bytes its text stands for (encodedName), so that a name listed by forEachName
// and decoded by decodedName names the file it was listed as, whether it is UTF-8 or not. resolvedPath
// alone reads and gives a path as UTF-8: a path holding a byte that is no UTF-8 never resolves to
// itself, and isAtResolvedPath and readRegularFile refuse it.
namespace CheckedFiles {

// Bytes from the system (a file name, a path, a command line) as a text that keeps them all: UTF-8 is
// decoded, and each byte that is none (a Latin-1 name, a sequence cut short) becomes the lone surrogate
// U+DC80 to U+DCFF, which no decoding of UTF-8 gives, so that two different files stay two texts.
QString decodedName(QByteArrayView bytes);
// The bytes a text from decodedName was decoded from. A lone surrogate of any other value, which
// decodedName never gives, is written as U+FFFD, as QFile::encodeName writes it.
QByteArray encodedName(QStringView text);
// The lone surrogate that stands for the byte b in a text from decodedName is byteSurrogateBase + b.
constexpr char16_t byteSurrogateBase = 0xDC00;

// lstat of the path; absent when it fails, with the reason in errorNumber when one is given.
std::optional<FileNode> linkStatus(const QString& path, int* errorNumber = nullptr);
// Whether anything exists at the path, links followed.
bool exists(const QString& path);
// The path with every link and "." or ".." resolved; absent when that fails, with the reason in
// errorNumber when one is given.
std::optional<QString> resolvedPath(const QString& path, int* errorNumber = nullptr);
// True when the path resolves to itself: no link anywhere along it, nothing to clean up.
bool isAtResolvedPath(const QString& path);

// Hands the bytes of each name in a folder to `take` ("." and ".." left out, hidden names kept) in the
// order the file system gives them; false when the folder cannot be opened or listed. A symbolic link is
// not opened as the folder. No list of names is built here, so a folder of millions of entries costs no
// memory. The caller decodes: decodedName keeps a name that is no UTF-8 apart from any other.
// errorNumber, when given, receives the reason of a failure.
bool forEachName(const QString& path, const std::function<void(QByteArrayView)>& take,
                 int* errorNumber = nullptr);

// Reading a small regular file so that what was read is known to be the whole file as it stood.
struct ReadResult {
    enum class Failure {
        none,
        notAtResolvedPath, // a link somewhere along the path, or the path is not clean
        openFailed,        // the file could not be opened; errorNumber tells why (ELOOP: a final link)
        notRegularFile,    // not a regular file when opened; errorNumber is EISDIR for a folder, else 0
        tooLarge,          // larger than the limit when opened
        readFailed,        // the read itself failed; errorNumber tells why
        vanished,          // after reading, nothing could be found at the path any more
        changed,           // the file moved, grew, shrank or was replaced while it was read
    };

    Failure failure = Failure::none;
    int errorNumber = 0;
    QByteArray bytes;

    bool ok() const { return failure == Failure::none; }
};

// The first bytes of a regular file, for the program's own files: links are followed, since the
// data folder may lie under a linked home folder.
struct PrefixRead {
    enum class Status {
        read,
        missing, // nothing at the path, or a folder on the way is missing
        failed,  // not a regular file, or it could not be opened or read
    };

    Status status = Status::failed;
    QByteArray bytes;
    int errorNumber = 0; // why it failed, where the system said (EISDIR for a folder)
};

// At most maximumBytes of the file at the path, opened read-only, non-blocking and close-on-exec.
PrefixRead readPrefix(const QString& path, int64_t maximumBytes);

// Opens the path read-only, non-blocking, without following a final link and close-on-exec; reads it
// in chunks of at most 65536 bytes while at most maximumBytes were read; afterwards checks that the
// path still names the same file, that the file's size did not change and equals what was read.
// beforeChunk runs before every chunk; it may throw (cancellation) and the descriptor is still closed.
ReadResult readRegularFile(const QString& path, int64_t maximumBytes,
                           const std::function<void()>& beforeChunk = {});

} // namespace CheckedFiles
} // namespace lunorvale
