#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Path arithmetic as the Mac's file manager does it, shared by the inventory, the removal checks and
// whatever else names a file by its path.
namespace lunorvale::BundlePaths {

// Where a bundle keeps its login helpers, relative to the bundle.
inline QString loginItemsFolder() {
    return QStringLiteral("Contents/Library/LoginItems");
}

// A file URL without a host.
bool isLocalFileURL(const QUrl& url);
QString pathOf(const QUrl& url);
QString childPath(const QString& folder, const QString& name);
QUrl childURL(const QUrl& folder, const QString& relative);
// The folder holding the path; "/" for "/" itself.
QString parentPath(const QString& path);
// The last name of the path, trailing slashes left out: "a/b/" gives "b", "/" stays "/".
QString lastPathComponent(const QString& path);
// The text after the last dot of a name that does not begin with it; empty without one.
QString pathExtension(const QString& name);
QString deletingPathExtension(const QString& name);
// A local file URL whose path resolves to itself: no symbolic link, "." or ".." anywhere in it.
bool resolvesExactly(const QUrl& url);
// The names in a folder in the order the file system gives them; std::system_error when it cannot be
// listed (a link is not listed as the folder).
QStringList listNames(const QString& folder);

} // namespace lunorvale::BundlePaths
