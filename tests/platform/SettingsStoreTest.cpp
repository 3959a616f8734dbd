#include "platform/files/SettingsStore.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// While it lives, this thread opens files as a user other than their owner: as root, whose permission
// checks would pass, the file system checks it as nobody (setfsuid also drops root's file capabilities);
// as anyone else, nothing changes and mode 0000 shuts the owner out.
class AsAnotherUser final {
public:
    AsAnotherUser() {
        if (m_root)
            ::setfsuid(65534);
    }
    ~AsAnotherUser() {
        if (m_root)
            ::setfsuid(0);
    }
    AsAnotherUser(const AsAnotherUser&) = delete;
    AsAnotherUser& operator=(const AsAnotherUser&) = delete;

private:
    const bool m_root = ::geteuid() == 0;
};

} // namespace

TEST(SettingsStore, KeepsTypedValuesAcrossStoresOverOneFile) {
    QTemporaryDir temporary;
    const QString path = temporary.path() + QStringLiteral("/Lunorvale/defaults.json");
    SettingsStore model(path);
    SettingsStore updater(path);
    EXPECT_FALSE(model.value(QStringLiteral("appearance")));

    EXPECT_TRUE(model.setValue(QStringLiteral("appearance"), QStringLiteral("dark")));
    EXPECT_TRUE(model.setValue(QStringLiteral("attempts"), QJsonArray{1.5, 1e9}));
    // The second store never saw these keys; its change must not drop them.
    EXPECT_TRUE(updater.setValue(QStringLiteral("skipped"), QStringLiteral("1.2.0")));
    EXPECT_TRUE(model.setValue(QStringLiteral("onboarded"), true));
    EXPECT_TRUE(model.remove(QStringLiteral("attempts")));

    SettingsStore reopened(path);
    EXPECT_EQ(reopened.stringValue(QStringLiteral("appearance")), QStringLiteral("dark"));
    EXPECT_EQ(reopened.stringValue(QStringLiteral("skipped")), QStringLiteral("1.2.0"));
    EXPECT_EQ(reopened.boolValue(QStringLiteral("onboarded")), true);
    EXPECT_FALSE(reopened.value(QStringLiteral("attempts")));
    // A value of another type is not converted.
    EXPECT_FALSE(reopened.boolValue(QStringLiteral("appearance")));
    EXPECT_FALSE(reopened.doubleValue(QStringLiteral("onboarded")));

    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/Lunorvale")), 0700u);
}

// A store without a file (a screenshot run's) keeps its changes for its life; reading again loses none.
TEST(SettingsStore, InMemoryKeepsItsChanges) {
    SettingsStore store = SettingsStore::inMemory();
    EXPECT_TRUE(store.path().isEmpty());
    EXPECT_TRUE(store.setValue(QStringLiteral("appearance"), QStringLiteral("dark")));
    EXPECT_TRUE(store.setValue(QStringLiteral("onboarded"), true));
    EXPECT_TRUE(store.remove(QStringLiteral("onboarded")));
    store.reload();
    EXPECT_EQ(store.stringValue(QStringLiteral("appearance")), QStringLiteral("dark"));
    EXPECT_FALSE(store.value(QStringLiteral("onboarded")));
    EXPECT_TRUE(store.lastError().isEmpty());
    EXPECT_FALSE(SettingsStore::inMemory().value(QStringLiteral("appearance")));
}

TEST(SettingsStore, KeepsADamagedFileAside) {
    QTemporaryDir temporary;
    const QString path = temporary.path() + QStringLiteral("/defaults.json");
    for (const QByteArray& damaged : {QByteArray("{\"appearance\": \"dark\""), QByteArray("[1, 2]")}) {
        QDir(temporary.path()).removeRecursively();
        QDir().mkpath(temporary.path());
        writeFile(path, damaged);
        SettingsStore store(path);
        EXPECT_FALSE(store.value(QStringLiteral("appearance")));
        EXPECT_TRUE(store.setValue(QStringLiteral("appearance"), QStringLiteral("light")));
        EXPECT_EQ(readFile(path + QStringLiteral(".damaged-1")), damaged);
        // Named once, for the user to be told.
        EXPECT_EQ(store.takeSetAsideCopy(), path + QStringLiteral(".damaged-1"));
        EXPECT_EQ(store.takeSetAsideCopy(), std::nullopt);
        EXPECT_EQ(SettingsStore(path).stringValue(QStringLiteral("appearance")), QStringLiteral("light"));
    }
}

// A file that cannot be read is not damaged: it may hold every choice of the user, so it stays as it is,
// nothing is stored while it stays so, and once it can be read again a change keeps what it holds.
TEST(SettingsStore, AnUnreadableFileIsKeptAndNothingIsStoredWhileItStaysSo) {
    const QByteArray choices = R"({"appearance": "dark", "monitoringEnabled": false})";
    enum class Unreadable { link, folder, closedToUser, failingRead };
    for (const Unreadable unreadable :
         {Unreadable::link, Unreadable::folder, Unreadable::closedToUser, Unreadable::failingRead}) {
        SCOPED_TRACE(int(unreadable));
        QTemporaryDir temporary;
        // Open to the other user, so that only the file itself keeps it out.
        ASSERT_TRUE(QFile::setPermissions(temporary.path(), QFile::Permissions(0x7777)));
        const QString path = temporary.filePath(QStringLiteral("defaults.json"));
        const QString kept = temporary.filePath(QStringLiteral("dotfiles.json"));
        bool failing = unreadable == Unreadable::failingRead;
        SettingsStore::FileReader reader = [&failing](const QString& file, int64_t limit) {
            return failing ? SettingsFileRead{SettingsFileRead::Status::unreadable, {}, EIO}
                           : SettingsStore::readDisk(file, limit);
        };
        switch (unreadable) {
        case Unreadable::link:
            writeFile(kept, choices);
            ASSERT_TRUE(QFile::link(kept, path));
            break;
        case Unreadable::folder:
            ASSERT_TRUE(QDir().mkpath(path));
            break;
        case Unreadable::closedToUser:
            // Root's own file, as a run as root leaves it; for anyone else, mode 0000.
            writeFile(path, choices);
            ASSERT_TRUE(QFile::setPermissions(path, ::geteuid() == 0 ? QFile::ReadOwner | QFile::WriteOwner
                                                                     : QFile::Permissions()));
            break;
        case Unreadable::failingRead:
            writeFile(path, choices);
            break;
        }
        {
            const AsAnotherUser other;
            SettingsStore store(path, reader);
            EXPECT_FALSE(store.value(QStringLiteral("appearance")));
            EXPECT_TRUE(store.isUnreadable());
            EXPECT_FALSE(store.setValue(QStringLiteral("appearance"), QStringLiteral("light")));
            EXPECT_FALSE(store.lastError().isEmpty());
            // Held for this run.
            EXPECT_EQ(store.stringValue(QStringLiteral("appearance")), QStringLiteral("light"));
            EXPECT_EQ(store.takeSetAsideCopy(), std::nullopt);
        }
        EXPECT_EQ(
            QDir(temporary.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(),
            unreadable == Unreadable::link ? 2 : 1);
        EXPECT_EQ(QFileInfo(path).isSymLink(), unreadable == Unreadable::link);
        EXPECT_EQ(QFileInfo(path).isDir(), unreadable == Unreadable::folder);
        if (unreadable != Unreadable::folder) {
            ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
            EXPECT_EQ(readFile(path), choices);
        }

        if (unreadable == Unreadable::failingRead) {
            failing = false;
            SettingsStore store(path, reader);
            EXPECT_FALSE(store.isUnreadable());
            EXPECT_TRUE(store.setValue(QStringLiteral("appearance"), QStringLiteral("light")));
            const SettingsStore reopened(path);
            EXPECT_EQ(reopened.stringValue(QStringLiteral("appearance")), QStringLiteral("light"));
            EXPECT_EQ(reopened.boolValue(QStringLiteral("monitoringEnabled")), false);
        }
    }
}
