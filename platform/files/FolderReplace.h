#pragma once

#include "platform/files/CheckedFiles.h"

#include <QByteArray>
#include <QString>

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
// unless the rename happened; the temporary name is removed on every path.
namespace FolderReplace {

struct Result {
    enum class Failure {
        none,
        openFolder,      // not a folder, or a link
        folderChanged,   // the opened folder is not `expected`, or its path does not resolve to itself
        createTemporary, // the temporary name exists or cannot be created
        write,           // errorNumber tells why
        sync,            // flushing the file or, after the rename, the folder failed
        rename,
    };
    Failure failure = Failure::none;
    int errorNumber = 0;
};

// `expected` is the folder's lstat record, taken by the caller before. The new file has mode 0600.
Result replace(const QString& folder, const FileNode& expected, const QString& name,
               const QString& temporaryName, const QByteArray& data,
               const DurableFileCalls& calls = DurableFileCalls());

} // namespace FolderReplace
} // namespace lunorvale
