#pragma once

#include "platform/files/CheckedFiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

namespace lunorvale {

// The calls that make a replacement durable. Tests substitute ones that fail.
class DurableFileCalls {
public:
    virtual ~DurableFileCalls() = default;
    virtual int fsync(int fd) const;
    virtual int renameat(int folder, const char* from, const char* to) const;
};

// Replaces one file inside a folder that is opened once, without following links, and held while the
// new content is written to an exclusively created temporary file, flushed, renamed over the old name
// and the folder flushed, so that the rename survives a crash. The old file stays byte for byte
// unless the rename happened; the temporary name is removed on every path. Temporaries that earlier
// saves left behind when they were killed are removed first, through the same opened folder.
namespace FolderReplace {

struct Result {
    enum class Failure {
        none,
        openFolder,      // not a folder, or a link
        folderChanged,   // the opened folder is not `expected`, or its path does not resolve to itself
        createTemporary, // the temporary name exists or cannot be created
        write,           // errorNumber tells why
        sync,            // flushing the file failed
        rename,
    };
    Failure failure = Failure::none;
    int errorNumber = 0;
    // The new file is in place, but flushing the folder after the rename failed with this error: the
    // rename may not survive a crash of the whole system. Worth a log line, not a failed save.
    int folderFlushError = 0;
};

// `expected` is the folder's lstat record, taken by the caller before. The new file has mode 0600.
// `ownTemporary` tells the names this caller gives its temporaries (`temporaryName` among them).
Result replace(const QString& folder, const FileNode& expected, const QString& name,
               const QString& temporaryName, const QByteArray& data,
               const std::function<bool(QByteArrayView name)>& ownTemporary,
               const DurableFileCalls& calls = DurableFileCalls());

} // namespace FolderReplace
} // namespace lunorvale
