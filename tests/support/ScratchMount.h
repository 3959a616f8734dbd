#pragma once

// File systems that a test mounts for itself, to meet a full disk, a volume without free inodes or a
// folder nobody may write, even as root. Mounting needs root (or CAP_SYS_ADMIN): where it is refused,
// mounted() is false and the test skips that part. The mount goes away with the object.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <utility>

namespace lunorvale::test {

class ScratchMount final {
public:
    // A tmpfs at `folder` (made when missing) with options such as "size=1m,nr_inodes=64".
    static ScratchMount tmpfs(const QString& folder, const QByteArray& options) {
        QDir().mkpath(folder);
        const QByteArray target = QFile::encodeName(folder);
        const QByteArray data = "mode=0755," + options;
        return ScratchMount(folder, ::mount("tmpfs", target.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                                            data.constData()) == 0);
    }

    // `folder` bound onto itself read-only: no one may create anything in it, root included.
    static ScratchMount readOnly(const QString& folder) {
        const QByteArray target = QFile::encodeName(folder);
        if (::mount(target.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
            return ScratchMount(folder, false);
        ScratchMount bound(folder, true);
        bound.m_mounted =
            ::mount(nullptr, target.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
        if (!bound.m_mounted)
            ::umount2(target.constData(), MNT_DETACH);
        return bound;
    }

    ScratchMount(ScratchMount&& other) noexcept
        : m_folder(std::move(other.m_folder)), m_mounted(std::exchange(other.m_mounted, false)) {}
    ScratchMount& operator=(ScratchMount&&) = delete;
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;
    ~ScratchMount() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }

    bool mounted() const { return m_mounted; }

    // Takes every free inode of the file system with empty files in `folder`.
    static void takeAllInodes(const QString& folder) {
        const QByteArray prefix = QFile::encodeName(folder) + "/inode-";
        for (int index = 0;; ++index) {
            const int fd = ::open((prefix + QByteArray::number(index)).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0)
                return;
            ::close(fd);
        }
    }

    // Takes every free block with one file in `folder`.
    static void takeAllSpace(const QString& folder) {
        const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/space")).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const QByteArray block(65536, 'x');
        for (qsizetype size = block.size(); fd >= 0 && size > 0; size /= 2)
            while (::write(fd, block.constData(), static_cast<size_t>(size)) == size) {
            }
        if (fd >= 0)
            ::close(fd);
    }

private:
    ScratchMount(QString folder, bool mounted) : m_folder(std::move(folder)), m_mounted(mounted) {}

    QString m_folder;
    bool m_mounted;
};

} // namespace lunorvale::test
