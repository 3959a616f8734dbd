#pragma once

#include "platform/files/AtomicFile.h"
#include "platform/files/CheckedFiles.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace lunorvale {

// What reading the settings file found. The store judges the bytes; this only says whether there were any.
struct SettingsFileRead {
    enum class Status {
        missing,    // nothing at the path: nothing stored yet
        read,       // a regular file was read: `bytes` holds it, or the limit and one byte more
        unreadable, // something is there that cannot be read (a link, a folder, a file closed to this user,
                    // a failing disk): `errorNumber` says why, `refusal` too where the reader refused it
    };

    Status status = Status::missing;
    QByteArray bytes;
    int errorNumber = 0;
    // What the reader refused where the system would have read it; errorNumber is then what the system
    // says of such a file when it is opened as one (ELOOP for a link, EINVAL for anything else).
    std::optional<FileRefusal> refusal = std::nullopt;
};

// Said by a settings file shared by several stores (see SettingsStore::onSetAside).
class SettingsFileEvents final : public QObject {
    Q_OBJECT

signals:
    void damagedFileSetAside();
};

// The program's preferences: one JSON object in one file, each key a setting, written whole and
// atomically (0600 in a 0700 folder) on every change. Values are kept as the caller stored them;
// readers decide what a value of the wrong type means.
//
// A copy of a store is the same store: every part of a run that keeps settings (the model, the update
// layer, the window frame) holds a copy of the one store the run made, so they share what was read and
// what was changed, and the one place that sets a damaged file aside.
//
// A file that was read but is not a JSON object (or is far too large) is damaged and never overwritten:
// the first change, by whichever copy, moves it aside to "<file>.damaged-<n>" and starts a new file that
// names that copy under `setAsideCopyKey` until `takeSetAsideCopy` takes the name, so that the user is
// told of it once, even when the change was the last act of a run that ended. A file that cannot be read
// at all is not damaged: it may hold every choice of the user (a file left to root by a run as root, a
// link a dotfile manager made), so it stays where it is, untouched, and no change is stored while it
// stays so; the store starts from nothing and keeps changes for this run only.
// Every change re-reads the file first, so two stores over one file (two runs) never drop each other's
// keys. Changes that could not be written (a full disk) are kept and written with the next change that
// can be, so that no later change drops them. A store and its copies are used on one thread.
class SettingsStore final {
public:
    // Reads the file at the path, at most `maximumBytes` + 1 bytes of it.
    using FileReader = std::function<SettingsFileRead(const QString& path, int64_t maximumBytes)>;

    // Where a new file names the damaged copy it replaced, until the name is taken.
    static const QString setAsideCopyKey;
    // Far above any real preferences file; a larger one is treated as damaged, not read into memory.
    static constexpr int64_t maximumFileBytes = 4 * 1024 * 1024;

    // The store over $XDG_CONFIG_HOME/Lunorvale/defaults.json.
    static SettingsStore applicationStore();
    // A store without a file: it starts empty and keeps every change for as long as it lives.
    static SettingsStore inMemory();
    // `reader` null: readDisk. `writing` is how the file is written (tests inject failures through it).
    explicit SettingsStore(QString path, FileReader reader = {}, AtomicFile::Options writing = {});

    // The file itself, never through a final link: a link, or anything but a regular file, is unreadable.
    static SettingsFileRead readDisk(const QString& path, int64_t maximumBytes);

    // The file's path; empty for a store in memory.
    const QString& path() const;

    // The stored value, as of the last read or change; absent when the key is not stored.
    std::optional<QJsonValue> value(const QString& key) const;
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;

    // Stores the value (an undefined value removes the key). False when the file could not be
    // read or written; the value is still kept for this run and `lastError()` says why.
    bool setValue(const QString& key, const QJsonValue& value);
    bool remove(const QString& key) { return setValue(key, QJsonValue(QJsonValue::Undefined)); }

    // Reads the file again.
    void reload();
    // Whether the last read or change found a file it could not read (see above).
    bool isUnreadable() const;
    // Why, while it is so: what the reader refused there, where it did, and the system's error number (0
    // where nothing said); nothing and 0 while the file reads.
    std::optional<FileRefusal> unreadableRefusal() const;
    int unreadableErrorNumber() const;
    // Why the last change could not be stored (English, for logs and tests); empty after a success.
    const QString& lastError() const;
    // The system's error number for the last change that could not be written; 0 when there was none or
    // nothing was written.
    int lastErrorNumber() const;
    // Whether a damaged file was set aside in this run and no write has taken its place yet (its
    // successor could not be written): the next start would show the defaults.
    bool isSetAsideFileUnreplaced() const;
    // The damaged copy that a change of this run or of an earlier one set aside and nobody has been told
    // of; taking it removes the name from the file, so that it is said once.
    std::optional<QString> takeSetAsideCopy();
    // Calls `announce` each time this store or a copy of it has just set a damaged file aside, for as
    // long as `context` lives.
    QMetaObject::Connection onSetAside(const QObject* context, std::function<void()> announce) const;

private:
    struct Contents;
    struct File;
    Contents readFile() const;
    void noteUnreadable(const Contents& read);
    void keep(const QString& key, const QJsonValue& value);
    // Moves the damaged file to a name no earlier damaged copy holds; that name, or nothing.
    std::optional<QString> setAside() const;

    std::shared_ptr<File> m_file;
};

} // namespace lunorvale
