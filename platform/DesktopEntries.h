#pragma once

#include "core/monitoring/ProcessPlatform.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace lunorvale {

// Desktop entries (freedesktop .desktop files) looked up by desktop-file ID in the application
// folders, the first found winning. What was read for an ID is kept, with the status of its file,
// until that file or one of the folders changes: a lookup then costs a status read of each folder
// and of the file. A file is read only up to a limit and in one pass, so a huge, binary or malformed
// one costs bounded time and memory. Safe to use from several threads.
class DesktopEntries final {
public:
    // $XDG_DATA_HOME/applications, then the applications folder of each absolute entry of
    // $XDG_DATA_DIRS (/usr/local/share and /usr/share where it is unset or empty).
    static QStringList standardFolders();

    // Absolute folders, searched in this order.
    explicit DesktopEntries(QStringList folders);

    // For each ID, in order, its entry; an ID without a file is named by itself.
    QList<ApplicationEntry> entries(const QList<QStringView>& ids);
    // The entry of the first ID that has a file, else the last ID's; absent for no ID.
    std::optional<ApplicationEntry> firstFound(const QStringList& ids);

    // The name the text of a desktop file gives in its "Desktop Entry" group: Name[zh_CN], Name[zh]
    // or Name, the first of them with a usable value (escapes undone, UTF-8, shown as SafeText shows a
    // name: one line, without what draws nothing or reorders the text); absent for none.
    static std::optional<QString> name(QByteArrayView text);

private:
    // What tells that a file or folder is still the one read: absent when nothing is there.
    struct Stamp {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modifiedSeconds = 0;
        int64_t modifiedNanoseconds = 0;
        bool regular = false;
        bool exists = false;

        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    struct Kept {
        QString path; // empty: no file in any folder
        Stamp stamp;
        QString name;
    };

    static Stamp stampOf(const QString& path);
    // Forgets every entry once a folder changed (a file added, removed or renamed there).
    void checkFolders();
    const Kept& lookUp(const QString& id);

    const QStringList m_folders;
    std::mutex m_lock;
    std::vector<Stamp> m_folderStamps;
    QHash<QString, Kept> m_kept;
};

} // namespace lunorvale
