#include "platform/update/ProgramInstaller.h"

#include "platform/ChildProcesses.h"
#include "platform/files/AtomicFile.h"
#include "platform/update/UpdateFailureText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace lunorvale::ProgramInstaller {
namespace {

QString realPath(const QString& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(QFile::encodeName(path).constData(), nullptr), &std::free);
    return resolved ? QFile::decodeName(resolved.get()) : QString();
}

bool listedIn(const QString& listFile, const QString& programPath) {
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = QFile::encodeName(programPath);
    while (!file.atEnd()) {
        if (file.readLine().trimmed() == wanted)
            return true;
    }
    return false;
}

} // namespace

QString installedProgramPath() {
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    if (!appImage.isEmpty() && QDir::isAbsolutePath(appImage))
        return appImage;
    return QCoreApplication::applicationFilePath();
}

InstallKind classify(const QString& programPath, const QString& packageDatabase) {
    const QString real = realPath(programPath);
    static const char* const systemFolders[] = {"/usr/",   "/bin/",  "/sbin/", "/lib/", "/lib32/",
                                                "/lib64/", "/snap/", "/nix/",  "/gnu/", "/var/lib/flatpak/"};
    for (const QString& path : {programPath, real}) {
        for (const char* folder : systemFolders) {
            if (path.startsWith(QLatin1String(folder)))
                return InstallKind::packageManaged;
        }
    }
    const QStringList lists =
        QDir(packageDatabase).entryList({QStringLiteral("lunorvale*.list")}, QDir::Files | QDir::Readable);
    for (const QString& list : lists) {
        const QString listPath = packageDatabase + u'/' + list;
        if (listedIn(listPath, programPath) || (!real.isEmpty() && listedIn(listPath, real)))
            return InstallKind::packageManaged;
    }
    if (real.isEmpty() || ::access(QFile::encodeName(real).constData(), W_OK) != 0 ||
        ::access(QFile::encodeName(QFileInfo(real).absolutePath()).constData(), W_OK) != 0)
        return InstallKind::notWritable;
    return InstallKind::selfContained;
}

void install(const QByteArray& program, const QString& programPath) {
    // A link to the program (a launcher in ~/bin) stays a link; the file it names is replaced.
    const QString target = realPath(programPath);
    if (target.isEmpty() || !QFileInfo(target).isFile())
        throw UpdateError::make(UpdateError::installationFailed, QStringLiteral("找不到已安装的岚栖。"),
                                programPath);
    try {
        AtomicFile::write(target, program, 0755);
    } catch (const FileWriteError& error) {
        throw UpdateError::make(UpdateError::installationFailed, QStringLiteral("无法替换已安装的岚栖。"),
                                UpdateFailureText::system(error.errorNumber()),
                                QStringLiteral("请从官网下载新版。"));
    }
}

bool relaunchAfterExit(const QString& programPath, qint64 pid) {
    // A second copy started while this one runs would hand over to it and exit, so the new copy waits.
    static const QString script =
        QStringLiteral("while kill -0 \"$1\" 2>/dev/null; do sleep 0.2; done; exec \"$2\"");
    return startDetached(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"), script, QStringLiteral("lunorvale-relaunch"),
                          QString::number(pid), programPath});
}

} // namespace lunorvale::ProgramInstaller
