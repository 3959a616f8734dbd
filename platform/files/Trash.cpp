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
    try {
        AtomicFile::createDirectories(Paths::dataHome());
    } catch (const FileWriteError&) {
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
