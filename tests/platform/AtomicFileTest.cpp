#include "platform/files/AtomicFile.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(AtomicFile, WritesPrivateFileInPrivateFoldersAndReplaces) {
    QTemporaryDir temporary;
    const QString path = temporary.path() + QStringLiteral("/x/y/data.json");
    const mode_t previous = ::umask(0);
    AtomicFile::write(path, "first");
    ::umask(previous);
    EXPECT_EQ(readFile(path), "first");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/x")), 0700u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/x/y")), 0700u);

    // An existing file with other modes is replaced by a 0600 one; an existing folder keeps its mode.
    ::chmod(QFile::encodeName(path).constData(), 0644);
    ::chmod(QFile::encodeName(temporary.path() + QStringLiteral("/x")).constData(), 0755);
    AtomicFile::write(path, QByteArray("second\0bytes", 12));
    EXPECT_EQ(readFile(path), QByteArray("second\0bytes", 12));
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/x")), 0755u);
    EXPECT_EQ(QDir(temporary.path() + QStringLiteral("/x/y")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("data.json")});
}

TEST(AtomicFile, FailuresLeaveTheOldFileAndNoTemporary) {
    QTemporaryDir temporary;
    // The target is a folder: the rename fails after the temporary was written.
    const QString folder = temporary.path() + QStringLiteral("/target");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/inside")));
    try {
        AtomicFile::write(folder, "data");
        ADD_FAILURE() << "writing over a folder succeeded";
    } catch (const FileWriteError& error) {
        EXPECT_FALSE(error.replaced());
        EXPECT_TRUE(error.errorDescription().startsWith(QStringLiteral("rename ")));
    }
    EXPECT_EQ(QDir(temporary.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("target")});

    // A parent that is a file cannot become a folder.
    const QString file = temporary.path() + QStringLiteral("/plain");
    AtomicFile::write(file, "kept");
    EXPECT_THROW(AtomicFile::write(file + QStringLiteral("/child"), "x"), FileWriteError);
    EXPECT_EQ(readFile(file), "kept");

    if (::geteuid() != 0) {
        const QString locked = temporary.path() + QStringLiteral("/locked");
        AtomicFile::write(locked + QStringLiteral("/data"), "old");
        ::chmod(QFile::encodeName(locked).constData(), 0500);
        EXPECT_THROW(AtomicFile::write(locked + QStringLiteral("/data"), "new"), FileWriteError);
        ::chmod(QFile::encodeName(locked).constData(), 0700);
        EXPECT_EQ(readFile(locked + QStringLiteral("/data")), "old");
    }
}
