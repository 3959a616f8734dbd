#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Path arithmetic shared by the inventory and the removal checks, as the Mac's file manager does it.
namespace lunorvale::BundlePaths {

// A file URL without a host.
bool isLocalFileURL(const QUrl& url);
QString pathOf(const QUrl& url);
QString childPath(const QString& folder, const QString& name);
QUrl childURL(const QUrl& folder, const QString& relative);
// The folder holding the path; "/" for "/" itself.
QString parentPath(const QString& path);
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
