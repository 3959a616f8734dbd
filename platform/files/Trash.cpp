#include "platform/files/Trash.h"

#include "platform/Paths.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/CheckedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lunorvale::Trash {

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

Outcome moveToTrash(const QString& path) {
    // The home trash must stand before anything moves: where Qt 6.4 cannot set it up (a plain file where
    // the folder goes), it moves the item into "files" of the current directory and reports success.
    const QString trash = Paths::dataHome() + QStringLiteral("/Trash");
    try {
        for (const QString& folder : {trash + QStringLiteral("/files"), trash + QStringLiteral("/info")})
            AtomicFile::createDirectories(folder);
    } catch (const FileWriteError&) {
        return {};
    }
    for (const QString& folder : {trash, trash + QStringLiteral("/files"), trash + QStringLiteral("/info")}) {
        const std::optional<FileNode> node = CheckedFiles::linkStatus(folder);
        if (!node || !node->isDirectory())
            return {};
    }
    QString location;
    if (!QFile::moveToTrash(path, &location))
        return {};
    if (!isTrashLocation(location) || !CheckedFiles::linkStatus(location))
        return {true, std::nullopt};
    return {true, location};
}

} // namespace lunorvale::Trash
