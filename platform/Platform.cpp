#include "platform/Paths.h"

#include "platform/files/CheckedFiles.h"

#include <QDir>
#include <QtGlobal>
#include <cerrno>

namespace lunorvale::Paths {
namespace {

// Where a home lies is the system's choice (/home → var/home on image-based systems), not something
// the program's files could have planted: its existing part is resolved, the rest is appended as named,
// so that every file below it is found at its own resolved path and a link below it is still refused.
QString resolvedHome(const QString& clean) {
    QString existing = clean;
    QString missing;
    while (existing.startsWith(u'/')) {
        int error = 0;
        if (const std::optional<QString> resolved = CheckedFiles::resolvedPath(existing, &error))
            return *resolved == u"/" && !missing.isEmpty() ? missing : *resolved + missing;
        if (error != ENOENT || existing == u"/")
            break;
        const qsizetype slash = existing.lastIndexOf(u'/');
        missing.prepend(existing.mid(slash));
        existing = slash == 0 ? QStringLiteral("/") : existing.left(slash);
    }
    return clean;
}

QString xdgDirectory(const char* variable, const char* fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    // XDG base directories ignore relative values.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return resolvedHome(QDir::cleanPath(value));
    return resolvedHome(QDir::cleanPath(QDir::homePath() + u'/' + QString::fromLatin1(fallbackUnderHome)));
}

} // namespace

QString dataHome() {
    return xdgDirectory("XDG_DATA_HOME", ".local/share");
}
QString configHome() {
    return xdgDirectory("XDG_CONFIG_HOME", ".config");
}
QString applicationSupportDirectory() {
    return dataHome() + QStringLiteral("/Lunorvale");
}
QString configDirectory() {
    return configHome() + QStringLiteral("/Lunorvale");
}

} // namespace lunorvale::Paths
