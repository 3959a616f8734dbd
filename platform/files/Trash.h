#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace lunorvale::Trash {

struct Outcome {
    bool moved = false;
    // Where the item now lies: an absolute path inside a trash folder's "files" folder. Absent when
    // nothing moved, and also when something moved but the place it landed cannot be confirmed.
    std::optional<QString> location;
    // Why nothing moved, as the system call that refused it said (EROFS, ENOSPC, EXDEV…); 0 where it moved
    // or where no call failed (an item or trash that is not what it must be).
    int errorNumber = 0;
};

// The calls that create and fill the record of a trashed item and move the item. Tests substitute ones
// that fail as a full, read-only or crowded file system would.
class TrashCalls {
public:
    virtual ~TrashCalls() = default;
    // openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)
    virtual int createExclusive(int folder, const char* name) const;
    virtual ssize_t write(int fd, const void* data, size_t size) const;
    virtual int fsync(int fd) const;
    // Moves `from` (an absolute path) to `name` in `folder` unless something already has that name.
    virtual int renameNoReplace(const char* from, int folder, const char* name) const;
};

// Moves the file or folder at `path` (absolute and clean) into the freedesktop trash of its file
// system: the home trash ($XDG_DATA_HOME/Trash) when the item lies on the home's file system, else at
// the top of its file system the user's folder "UID" in an administrator's ".Trash" (used only when that
// is a folder, not a link, and sticky), or else the volume's own ".Trash-UID". Each trash folder is made
// 0700 when missing and refused when it is a link or belongs to someone else; a shared trash where the
// user's folder is refused leaves ".Trash-UID". The record in "info" is created exclusively under a name that
// fits the file system's name limit, written whole and flushed before the item moves, and removed again when
// the move fails; at most `nameAttempts` names are tried. Every step is one bounded system call: a crowded,
// full or read-only trash ends the call with `moved` false instead of retrying.
//
// The record is dated `deletionDate`, a text as deletionDateText gives it (any other text moves nothing),
// which a caller keeps to find the record again; the form without it dates the record now.
Outcome moveToTrash(const QString& path, const QByteArray& deletionDate,
                    const TrashCalls& calls = TrashCalls());
Outcome moveToTrash(const QString& path, const TrashCalls& calls = TrashCalls());

// The local time of `when` to the second, as trash records carry it ("2024-05-06T07:08:09").
QByteArray deletionDateText(const QDateTime& when);

inline constexpr int nameAttempts = 64;

// Removes, from the trash folders an item at `originalPath` may have gone to, the records that name it
// but whose item never arrived in "files" (a program ended between writing a record and moving the
// item), when they read exactly as moveToTrash writes them with `deletionDate`. The date is matched as
// text, never as a time: the local time of the record says nothing once the time zone has changed. A
// record of another program, one dated otherwise and one whose item is there are left alone; nothing
// is created and no link is followed. Returns how many records were removed.
int removeRecordsWithoutItem(const QString& originalPath, const QByteArray& deletionDate);

// The whole record of one trashed item: its original path (as the file system's bytes, percent-encoded
// as in URLs, "/" kept) and the local time of deletion.
QByteArray infoText(const QByteArray& originalPath, const QByteArray& deletionDate);

// Whether `path` is absolute, clean and directly inside the "files" folder of a home trash
// ("…/Trash/files") or a volume trash (".Trash-UID/files", ".Trash/UID/files").
bool isTrashLocation(const QString& path);

} // namespace lunorvale::Trash
