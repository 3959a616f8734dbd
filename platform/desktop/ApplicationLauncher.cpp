#include "platform/desktop/ApplicationLauncher.h"

#include "platform/ChildProcesses.h"

#include <QDir>

namespace lunorvale {

QString BundleLauncher::programPath(const QUrl& bundle, const QString& executable) {
    if (!bundle.isLocalFile() || executable.isEmpty() || executable.contains(u'/') || executable == u"." ||
        executable == u"..")
        return {};
    return QDir::cleanPath(bundle.toLocalFile()) + QStringLiteral("/Contents/MacOS/") + executable;
}

bool BundleLauncher::open(const QUrl& bundle, const QString& executable) {
    const QString program = programPath(bundle, executable);
    if (program.isEmpty())
        return false;
    // startDetached waits for the exec itself, so a missing or unrunnable program is reported here.
    return startDetached(program, {});
}

} // namespace lunorvale
