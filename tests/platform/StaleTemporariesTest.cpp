#include "core/applications/ApplicationRemovalLog.h"
#include "platform/files/AtomicFile.h"
#include "support/Files.h"

#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::test;

// What a save killed half-way leaves (its temporary file) goes at the next save of the same file, through
// the folder that save opened; a temporary another save is still writing, an empty one only just made
// (its save may not have taken its lock yet), and everything not named as this writer names its
// temporaries stay.
TEST(StaleTemporaries, ASaveRemovesWhatKilledSavesOfTheSameFileLeft) {
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const struct {
        const char* name;
        QString file;
        std::function<QString(int)> temporary; // the n-th name as this writer names its temporaries
        QStringList others;                    // names alike, not its own
    } writers[] = {
        {"receipt log",
         "application-removals.json",
         [](int) {
             return ".removals-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".tmp";
         },
         {".removals-" + uuid.toLower() + ".tmp", ".removals-" + uuid + ".tmp.bak",
          "removals-" + uuid + ".tmp", "notes.tmp"}},
        {"atomic file",
         "data.json",
         [](int n) { return ".data.json.Ab12C" + QString::number(n); },
         {".data.json.Ab12C", ".data.json.Ab12C-", ".other.json.Ab12Cd", "data.json.Ab12Cd"}},
    };
    for (const auto& writer : writers) {
        SCOPED_TRACE(writer.name);
        QTemporaryDir temporary;
        const QString folder = QFileInfo(temporary.path()).canonicalFilePath() + "/Lunorvale";
        QDir().mkpath(folder);
        const auto make = [&folder](const QString& name, const QByteArray& content, bool old) {
            const QString path = folder + u'/' + name;
            writeFile(path, content);
            if (old) {
                const std::time_t then = ::time(nullptr) - 3600;
                const struct timespec anHourAgo[2] = {{then, 0}, {then, 0}};
                ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), anHourAgo, AT_SYMLINK_NOFOLLOW);
            }
            return QFileInfo(path).fileName();
        };
        const QStringList killed{make(writer.temporary(0), "partial", false), // killed while writing
                                 make(writer.temporary(1), {}, true)};        // killed before it wrote
        QStringList kept{make(writer.temporary(2), {}, false)};               // only just made
        // Still being written by a save that is alive: it holds its file.
        kept.append(make(writer.temporary(3), "partial", true));
        const int holder =
            ::open(QFile::encodeName(folder + u'/' + kept.last()).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
        for (const QString& other : writer.others)
            kept.append(make(other, "partial", true));
        // A folder or a link of such a name is no temporary file of ours.
        kept.append(writer.temporary(4));
        QDir().mkpath(folder + u'/' + kept.last());
        kept.append(writer.temporary(5));
        ASSERT_TRUE(
            QFile::link(folder + u'/' + make("target", "partial", true), folder + u'/' + kept.last()));
        kept.append("target");

        const QString file = folder + u'/' + writer.file;
        if (writer.file.startsWith("application"))
            ApplicationRemovalLog(QUrl::fromLocalFile(file)).save({});
        else
            AtomicFile::write(file, "[]");
        ::close(holder);

        kept.append(writer.file);
        kept.sort();
        QStringList left =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        left.sort();
        EXPECT_EQ(left.join(u'\n').toStdString(), kept.join(u'\n').toStdString());
        EXPECT_EQ(readFile(file), "[]");
    }
}
