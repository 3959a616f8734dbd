#pragma once

#include <QDir>
#include <QString>
#include <QUrl>

namespace lunorvale {

// Shows an item selected in the desktop's file manager. Returns at once; whether a window came up is not
// reported, as no file manager says so.
class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    // `item` is a local file URL: a file or a folder, shown inside its parent folder.
    virtual void reveal(const QUrl& item) = 0;

    // The folder that holds the item (for a folder, the folder above it).
    static QUrl parentFolder(const QUrl& item) {
        QString path = QDir::cleanPath(item.toLocalFile());
        const qsizetype slash = path.lastIndexOf(u'/');
        path = slash <= 0 ? QStringLiteral("/") : path.left(slash);
        return QUrl::fromLocalFile(path);
    }
};

} // namespace lunorvale
