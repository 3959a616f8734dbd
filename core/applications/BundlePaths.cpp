#include "core/applications/BundlePaths.h"

#include "core/common/SafeText.h"
#include "platform/files/CheckedFiles.h"

#include <system_error>

namespace lunorvale::BundlePaths {

bool isLocalFileURL(const QUrl& url) {
    return url.isLocalFile() && url.host().isEmpty();
}

QString pathOf(const QUrl& url) {
    return url.path(QUrl::FullyDecoded);
}

QString childPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QUrl childURL(const QUrl& folder, const QString& relative) {
    return QUrl::fromLocalFile(childPath(pathOf(folder), relative));
}

QString parentPath(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : trimmed.left(slash);
}

QString lastPathComponent(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    return slash < 0 || trimmed.size() == 1 ? trimmed : trimmed.mid(slash + 1);
}

QString pathExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.mid(dot + 1) : QString();
}

QString deletingPathExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

bool resolvesExactly(const QUrl& url) {
    return isLocalFileURL(url) && CheckedFiles::isAtResolvedPath(pathOf(url));
}

QStringList listNames(const QString& folder) {
    QStringList names;
    int error = 0;
    if (!CheckedFiles::forEachName(
            folder, [&names](QByteArrayView name) { names.append(SafeText::decoded(name)); }, &error))
        throw std::system_error(error, std::generic_category(), folder.toStdString());
    return names;
}

} // namespace lunorvale::BundlePaths
