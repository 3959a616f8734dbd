#include "platform/files/AtomicFile.h"
#include "platform/UniqueFd.h"
#include "platform/files/StaleTemporaries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lunorvale {

FileWriteError::FileWriteError(QString step, QString path, int errorNumber, bool replaced)
    : m_errorNumber(errorNumber), m_replaced(replaced) {
    m_description =
        step + u' ' + path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errorNumber));
    m_utf8 = m_description.toUtf8();
}

namespace AtomicFile {
namespace {

using Descriptor = UniqueFd;

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

void createDirectories(const QString& path) {
    const QString clean =
        QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
    const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    QString current;
    for (const QString& part : parts) {
        current += u'/' + part;
        const QByteArray native = QFile::encodeName(current);
        if (::mkdir(native.constData(), 0700) == 0) {
            // The umask may have taken bits away; 0700 is what the folder must have.
            if (::chmod(native.constData(), 0700) != 0)
                throw FileWriteError(QStringLiteral("chmod"), current, errno);
            continue;
        }
        const int error = errno;
        struct stat info {};
        if (::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        throw FileWriteError(QStringLiteral("mkdir"), current, error == EEXIST ? ENOTDIR : error);
    }
}

void write(const QString& path, const QByteArray& data, unsigned mode) {
    Options options;
    options.mode = mode;
    write(path, data, options);
}

void write(const QString& path, const QByteArray& data, const Options& options) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (options.createFolders)
        createDirectories(folder);
    const auto failed = [&options](Step step) {
        const int error = options.fault ? options.fault(step) : 0;
        errno = error;
        return error != 0;
    };

    // ".<name>.XXXXXX": what a write of this very file left behind when it was killed goes first.
    const QByteArray name = QFile::encodeName(info.fileName());
    const auto ours = [&name](QByteArrayView candidate) {
        const QByteArrayView random = candidate.sliced(std::min(candidate.size(), name.size() + 2));
        return candidate.size() == name.size() + 8 && candidate.startsWith('.') &&
               candidate.sliced(1).startsWith(name) && candidate.at(name.size() + 1) == '.' &&
               std::all_of(random.begin(), random.end(), [](char c) { return std::isalnum(uchar(c)) != 0; });
    };
    Descriptor directory(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid())
        StaleTemporaries::remove(directory.get(), ours);

    QByteArray temporary = QFile::encodeName(folder) + "/." + name + ".XXXXXX";
    Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0)
        throw FileWriteError(QStringLiteral("create temporary file in"), folder, errno);
    StaleTemporaries::hold(file.get());
    // The lock lives as long as any descriptor of the file: this one keeps it past the close, until the
    // rename has taken the temporary name away.
    const Descriptor lock(::fcntl(file.get(), F_DUPFD_CLOEXEC, 0));

    const auto fail = [&](const char* step) {
        const int error = errno;
        ::unlink(temporary.constData());
        throw FileWriteError(QString::fromLatin1(step), path, error);
    };
    if (::fchmod(file.get(), static_cast<mode_t>(options.mode)) != 0)
        fail("chmod");
    if (failed(Step::write) || !writeAll(file.get(), data.constData(), data.size()))
        fail("write");
    if (failed(Step::flush) || ::fsync(file.get()) != 0)
        fail("fsync");
    if (file.close() != 0)
        fail("close");
    if (failed(Step::rename) || ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        fail("rename");

    // The rename itself becomes durable only once the folder is flushed.
    if (!directory.valid())
        directory =
            Descriptor(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0)
        throw FileWriteError(QStringLiteral("open folder"), folder, errno, true);
    // Some file systems cannot flush a folder and say so with EINVAL; the data is in place regardless.
    if (::fsync(directory.get()) != 0 && errno != EINVAL)
        throw FileWriteError(QStringLiteral("fsync folder"), folder, errno, true);
}

} // namespace AtomicFile
} // namespace lunorvale
