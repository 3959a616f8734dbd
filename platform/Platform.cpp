#include "platform/Paths.h"

#include <QDir>
#include <QtGlobal>

namespace lunorvale::Paths {
namespace {
QString xdgDirectory(const char* variable, const char* fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    // XDG base directories ignore relative values.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + u'/' + QString::fromLatin1(fallbackUnderHome));
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
