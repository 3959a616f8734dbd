#include "platform/files/Trash.h"
#include "support/EventLoop.h"
#include "support/Files.h"
#include "support/ScratchMount.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// A home with its data folder and an "Applications" folder beside it, below a resolved temporary path.
struct TrashHome {
    QTemporaryDir temporary;
    QString root = QFileInfo(temporary.path()).canonicalFilePath();
    QString data = root + "/home/.local/share";
    QString trash = data + "/Trash";
    ScopedVariable home{"HOME", root + "/home"};
    ScopedVariable dataHome{"XDG_DATA_HOME", data};

    // A folder standing in for a bundle, with one file inside.
    QString item(const QString& name, const QString& folder = QString()) const {
        const QString path = (folder.isEmpty() ? root + "/Applications" : folder) + u'/' + name;
        writeFile(path + "/Contents/Info.plist", "<plist/>");
        return path;
    }
    QStringList records() const {
        return QDir(trash + "/info").entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

// The original path a record names, as a Trash reader decodes it.
QByteArray recordedPath(const QString& record) {
    for (const QByteArray& line : readFile(record).split('\n'))
        if (line.startsWith("Path="))
            return QByteArray::fromPercentEncoding(line.mid(5));
    return {};
}

// Fails chosen steps the way a crowded, full or read-only file system does.
struct ScriptedCalls final : Trash::TrashCalls {
    int createError = 0;             // every creation fails with this
    mutable qsizetype writable = -1; // bytes written before writes fail with ENOSPC; -1: no limit
    int syncError = 0;               // flushing the record fails with this
    QList<int> renameErrors;         // the n-th move fails with the n-th error; 0 or none: the real move
    mutable int creations = 0;
    mutable int renames = 0;

    int createExclusive(int folder, const char* name) const override {
        ++creations;
        if (createError != 0) {
            errno = createError;
            return -1;
        }
        return TrashCalls::createExclusive(folder, name);
    }
    ssize_t write(int fd, const void* data, size_t size) const override {
        if (writable == 0) {
            errno = ENOSPC;
            return -1;
        }
        const size_t allowed = writable < 0 ? size : std::min(size, static_cast<size_t>(writable));
        const ssize_t written = TrashCalls::write(fd, data, allowed);
        if (writable > 0 && written > 0)
            writable -= written;
        return written;
    }
    int fsync(int fd) const override {
        if (syncError != 0) {
            errno = syncError;
            return -1;
        }
        return TrashCalls::fsync(fd);
    }
    int renameNoReplace(const char* from, int folder, const char* name) const override {
        const int error = renames < renameErrors.size() ? renameErrors.at(renames) : 0;
        ++renames;
        if (error != 0) {
            errno = error;
            return -1;
        }
        return TrashCalls::renameNoReplace(from, folder, name);
    }
};

} // namespace

// Every way the record or the move can fail ends the call at once, with the item where it was and no
// record left behind; a name already taken is passed over within a bounded number of attempts.
TEST(Trash, EveryFailureEndsAtOnceWithTheItemInPlaceAndNoRecord) {
    const struct {
        const char* name;
        std::function<void(ScriptedCalls&)> script;
        bool moved;
        int creations;
        int error; // the cause the outcome carries
    } rows[] = {
        {"every name taken", [](ScriptedCalls& c) { c.createError = EEXIST; }, false, Trash::nameAttempts,
         EEXIST},
        {"no inode left for the record", [](ScriptedCalls& c) { c.createError = ENOSPC; }, false, 1, ENOSPC},
        {"a read-only trash", [](ScriptedCalls& c) { c.createError = EROFS; }, false, 1, EROFS},
        {"the disk fills while the record is written", [](ScriptedCalls& c) { c.writable = 12; }, false, 1,
         ENOSPC},
        {"the disk is full", [](ScriptedCalls& c) { c.writable = 0; }, false, 1, ENOSPC},
        {"the record cannot be flushed", [](ScriptedCalls& c) { c.syncError = EIO; }, false, 1, EIO},
        {"the item cannot leave its file system", [](ScriptedCalls& c) { c.renameErrors = {EXDEV}; }, false,
         1, EXDEV},
        {"an item without a record holds the name", [](ScriptedCalls& c) { c.renameErrors = {EEXIST}; }, true,
         2, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TrashHome home;
        const QString item = home.item("Sample.app");
        ScriptedCalls calls;
        row.script(calls);
        const Trash::Outcome outcome = Trash::moveToTrash(item, calls);
        EXPECT_EQ(outcome.moved, row.moved);
        EXPECT_EQ(outcome.errorNumber, row.error);
        EXPECT_EQ(calls.creations, row.creations);
        EXPECT_EQ(QFileInfo::exists(item), !row.moved);
        if (!row.moved) {
            EXPECT_EQ(home.records(), QStringList());
            EXPECT_FALSE(outcome.location);
            continue;
        }
        ASSERT_TRUE(outcome.location);
        const QString name = QFileInfo(*outcome.location).fileName();
        EXPECT_NE(name, "Sample.app");
        EXPECT_EQ(home.records(), QStringList{name + ".trashinfo"});
        EXPECT_EQ(recordedPath(home.trash + "/info/" + name + ".trashinfo"), QFile::encodeName(item));
    }
}

// A trash that is not a plain folder of this user's is never used, and nothing is written through a
// link. (A record folder nobody may write is a removal's case: RemovalService tests it.)
TEST(Trash, OnlyAPlainTrashOfOurOwnIsUsed) {
    const struct {
        const char* name;
        std::function<bool(const TrashHome&, const QString& elsewhere)> prepare; // false: not possible here
    } rows[] = {
        {"the trash is a file",
         [](const TrashHome& h, const QString&) {
             writeFile(h.trash, "not a folder");
             return true;
         }},
        {"the record folder is a link",
         [](const TrashHome& h, const QString& elsewhere) {
             QDir().mkpath(h.trash + "/files");
             return QFile::link(elsewhere, h.trash + "/info");
         }},
        {"the item folder is a link",
         [](const TrashHome& h, const QString& elsewhere) {
             QDir().mkpath(h.trash + "/info");
             return QFile::link(elsewhere, h.trash + "/files");
         }},
        {"the record folder belongs to someone else",
         [](const TrashHome& h, const QString&) {
             QDir().mkpath(h.trash + "/info");
             QDir().mkpath(h.trash + "/files");
             return ::geteuid() == 0 &&
                    ::chown(QFile::encodeName(h.trash + "/info").constData(), 4321, 4321) == 0;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TrashHome home;
        const QString item = home.item("Sample.app");
        const QString elsewhere = home.root + "/elsewhere";
        QDir().mkpath(elsewhere);
        if (!row.prepare(home, elsewhere))
            continue;
        EXPECT_FALSE(Trash::moveToTrash(item).moved);
        EXPECT_TRUE(QFileInfo::exists(item));
        EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList());
    }
}

// Each record names the exact original path, percent-encoded as the freedesktop Trash format asks, under a
// name that fits the file system, so any other Trash (trash-cli's, the desktop's) restores the item to
// where it was. A volume's own trash records the path from the top of the volume.
TEST(Trash, RecordsNameTheExactOriginalPathForEveryTrashReader) {
    const TrashHome home;
    const QString longName = QString(82, u'岚') + ".app"; // 250 bytes: with ".trashinfo", over 255
    ASSERT_EQ(QFile::encodeName(longName).size(), 250);
    QStringList originals;
    for (const QString& name :
         {QStringLiteral("Plain.app"), QStringLiteral("With Space.app"), QStringLiteral("100%.app"),
          QStringLiteral("x%20y.app"), QStringLiteral("岚栖 笔记.app"), longName, longName})
        originals.append(home.item(name, home.root + "/Applications/" + QString::number(originals.size())));

    // Another file system gets its own ".Trash-UID" at its top, where root may mount one.
    const QString volume = home.root + "/volume";
    const ScratchMount mount = ScratchMount::tmpfs(volume, "size=1m");
    if (mount.mounted())
        originals.append(home.item("On Volume%.app", volume + "/Apps"));

    for (const QString& original : std::as_const(originals)) {
        SCOPED_TRACE(original.toStdString());
        const Trash::Outcome outcome = Trash::moveToTrash(original);
        ASSERT_TRUE(outcome.moved);
        ASSERT_TRUE(outcome.location);
        EXPECT_TRUE(QFileInfo(*outcome.location + "/Contents/Info.plist").isFile());
        const bool onVolume = original.startsWith(volume + u'/');
        const QString trash = onVolume ? volume + "/.Trash-" + QString::number(::getuid()) : home.trash;
        EXPECT_EQ(QFileInfo(*outcome.location).path(), trash + "/files");
        const QString record = trash + "/info/" + QFileInfo(*outcome.location).fileName() + ".trashinfo";
        EXPECT_LE(QFile::encodeName(QFileInfo(record).fileName()).size(), 255);
        EXPECT_EQ(recordedPath(record),
                  QFile::encodeName(onVolume ? original.mid(volume.size() + 1) : original));
        EXPECT_TRUE(readFile(record).startsWith("[Trash Info]\nPath="));
        EXPECT_EQ(modeOf(trash), 0700u);
    }
    EXPECT_TRUE(readFile(home.trash + "/info/x%20y.app.trashinfo").contains("/x%2520y.app\n"));

    const QString trashList = QStandardPaths::findExecutable("trash-list");
    if (trashList.isEmpty())
        GTEST_SKIP() << "trash-list (Debian trash-cli) is not installed";
    QProcess list;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.root + "/home");
    environment.insert("XDG_DATA_HOME", home.data);
    list.setProcessEnvironment(environment);
    list.start(trashList, {});
    ASSERT_TRUE(list.waitForFinished(test::waitBoundMs));
    // "2024-03-01 12:00:00 /path": the date, the time and the original path.
    QStringList listed;
    for (const QString& line : QString::fromUtf8(list.readAllStandardOutput()).split(u'\n'))
        if (line.section(u' ', 2).startsWith(home.root + u'/'))
            listed.append(line.section(u' ', 2));
    listed.sort();
    originals.sort();
    EXPECT_EQ(listed, originals);
}

// On another file system an administrator's shared ".Trash" holds each user's trash in a folder named by
// the user's id, but only when it is a folder, not a link, and sticky, so that no user can take
// another's; otherwise, and where the user's folder in it is not a plain folder of the user's own, the
// volume's ".Trash-UID" takes the item.
TEST(Trash, AVolumeWithASharedTrashUsesTheUsersFolderInIt) {
    const QString uid = QString::number(::getuid());
    const struct {
        const char* name;
        std::function<void(const QString& top, const QString& elsewhere)> prepare;
        const char* trash; // from the top of the volume
    } rows[] = {
        {"sticky and open to all",
         [](const QString& top, const QString&) {
             QDir().mkpath(top + "/.Trash");
             ::chmod(QFile::encodeName(top + "/.Trash").constData(), 01777);
         },
         "/.Trash/UID"},
        {"without the sticky bit",
         [](const QString& top, const QString&) {
             QDir().mkpath(top + "/.Trash");
             ::chmod(QFile::encodeName(top + "/.Trash").constData(), 0777);
         },
         "/.Trash-UID"},
        {"a link to a sticky folder",
         [](const QString& top, const QString& elsewhere) {
             ::chmod(QFile::encodeName(elsewhere).constData(), 01777);
             QFile::link(elsewhere, top + "/.Trash");
         },
         "/.Trash-UID"},
        {"the user's folder in it is a link",
         [uid](const QString& top, const QString& elsewhere) {
             QDir().mkpath(top + "/.Trash");
             ::chmod(QFile::encodeName(top + "/.Trash").constData(), 01777);
             QFile::link(elsewhere, top + "/.Trash/" + uid);
         },
         "/.Trash-UID"},
        {"the user's folder in it belongs to someone else",
         [uid](const QString& top, const QString&) {
             QDir().mkpath(top + "/.Trash/" + uid);
             ::chmod(QFile::encodeName(top + "/.Trash").constData(), 01777);
             EXPECT_EQ(::chown(QFile::encodeName(top + "/.Trash/" + uid).constData(), 4321, 4321), 0);
         },
         "/.Trash-UID"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TrashHome home;
        const QString top = home.root + "/volume";
        const ScratchMount mount = ScratchMount::tmpfs(top, "size=1m");
        if (!mount.mounted())
            GTEST_SKIP() << "mounting a file system needs root";
        const QString elsewhere = top + "/elsewhere";
        QDir().mkpath(elsewhere);
        row.prepare(top, elsewhere);
        const QString item = home.item("Shared.app", top + "/Apps");

        const Trash::Outcome outcome = Trash::moveToTrash(item);
        ASSERT_TRUE(outcome.moved);
        const QString trash = top + QString::fromLatin1(row.trash).replace("UID", uid);
        EXPECT_EQ(outcome.location, trash + "/files/Shared.app");
        EXPECT_EQ(recordedPath(trash + "/info/Shared.app.trashinfo"), "Apps/Shared.app");
        EXPECT_EQ(modeOf(trash), 0700u);
        EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList());
    }
}

// A program killed between writing a record and moving the item leaves a record whose item never
// arrived. Only such records that read exactly as this program writes them, for the path asked about and
// with the very date text asked about, are removed: never one whose item is there, one of another program
// or another path, nor anything through a link. Looking creates nothing. The text decides, not the time it
// reads as: after a change of time zone the same moment has other words.
TEST(Trash, RemovesOnlyItsOwnRecordsWhoseItemNeverArrived) {
    const TrashHome home;
    const QByteArray date = "2001-02-03T04:05:06";
    const QString never = home.item("Never.app");
    EXPECT_EQ(Trash::removeRecordsWithoutItem(never, date), 0);
    EXPECT_FALSE(QFileInfo::exists(home.trash));

    // The record of a move, then the item back where it was, as if the move never happened.
    const auto interrupted = [&date](const QString& item) {
        const Trash::Outcome outcome = Trash::moveToTrash(item, date);
        EXPECT_TRUE(outcome.location && QDir().rename(*outcome.location, item));
        return QFileInfo(*outcome.location).fileName() + ".trashinfo";
    };
    const QString record = interrupted(never);
    const QString moved = home.item("Moved.app");
    ASSERT_TRUE(Trash::moveToTrash(moved, date).moved);
    const QString other = home.item("Other.app");
    const QString otherRecord = interrupted(other);
    // Another program's record of the same path (one line more), and a link to a record of ours.
    writeFile(home.trash + "/info/Never.app.2.trashinfo",
              Trash::infoText(QFile::encodeName(never), date) + "X-Origin=elsewhere\n");
    writeFile(home.root + "/elsewhere/Never.app.trashinfo", Trash::infoText(QFile::encodeName(never), date));
    ASSERT_TRUE(QFile::link(home.root + "/elsewhere/Never.app.trashinfo",
                            home.trash + "/info/Never.app.3.trashinfo"));
    const QStringList before = home.records();

    // A date one second or one hour off, or not a date, leaves the record.
    for (const QByteArray& otherDate : {QByteArray("2001-02-03T04:05:07"), QByteArray("2001-02-03T05:05:06"),
                                        QByteArray("2001-02-03T04:05:06Z"), QByteArray()})
        EXPECT_EQ(Trash::removeRecordsWithoutItem(never, otherDate), 0) << otherDate.constData();
    EXPECT_EQ(Trash::removeRecordsWithoutItem(moved, date), 0);
    EXPECT_EQ(home.records(), before);
    EXPECT_EQ(Trash::removeRecordsWithoutItem(never, date), 1);
    QStringList left = before;
    left.removeOne(record);
    EXPECT_EQ(home.records(), left);
    EXPECT_TRUE(QFileInfo(home.root + "/elsewhere/Never.app.trashinfo").isFile());
    EXPECT_TRUE(left.contains(otherRecord));

    // The user's folder in a volume's shared trash is looked at as well.
    const QString top = home.root + "/volume";
    const ScratchMount mount = ScratchMount::tmpfs(top, "size=1m");
    if (!mount.mounted())
        return;
    QDir().mkpath(top + "/.Trash");
    ::chmod(QFile::encodeName(top + "/.Trash").constData(), 01777);
    const QString onVolume = home.item("Volume.app", top + "/Apps");
    const QString volumeRecord =
        top + "/.Trash/" + QString::number(::getuid()) + "/info/" + interrupted(onVolume);
    ASSERT_TRUE(QFileInfo(volumeRecord).isFile());
    EXPECT_EQ(Trash::removeRecordsWithoutItem(onVolume, date), 1);
    EXPECT_FALSE(QFileInfo::exists(volumeRecord));
    EXPECT_TRUE(QFileInfo(onVolume + "/Contents/Info.plist").isFile());
}
