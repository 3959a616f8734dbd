#include "SignedBundle.h"
#include "core/common/ErrorCause.h"

#include <cerrno>

using namespace lunorvale;
using namespace lunorvale::test;
using fixture::url;
using State = ApplicationRemovalReceipt::State;

namespace {

ApplicationRemovalReceipt receipt(int index, const QString& path = QStringLiteral("/Applications/A.app")) {
    return {QUuid::createUuid(),
            QDateTime::fromMSecsSinceEpoch(1700000000000 + index * 1500, Qt::UTC),
            path,
            index % 2 ? std::optional<QString>(QStringLiteral("/trash/A.app")) : std::nullopt,
            ApplicationRemovalReceipt::stateText(index % 2 ? State::moved : State::pending),
            index % 3 ? std::optional<QString>(QStringLiteral("2023-11-14T22:13:20")) : std::nullopt};
}

QStringList temporaries(const QString& folder) {
    return QDir(folder).entryList({".removals-*"}, QDir::Hidden | QDir::Files);
}

// Fails the n-th fsync or every rename.
struct FailingCalls final : DurableFileCalls {
    int failingSync = 0;
    bool failRename = false;
    mutable int syncs = 0;
    int fsync(int fd) const override {
        if (++syncs == failingSync) {
            errno = EIO;
            return -1;
        }
        return DurableFileCalls::fsync(fd);
    }
    int renameat(int folder, const char* from, const char* to) const override {
        if (failRename) {
            errno = EIO;
            return -1;
        }
        return DurableFileCalls::renameat(folder, from, to);
    }
};

} // namespace

TEST(RemovalLog, KeepsTheLastHundredInItsFileFormat) {
    fixture::Root root;
    const QString folder = root.path + "/data/Lunorvale";
    const ApplicationRemovalLog log(url(folder + "/application-removals.json"));
    EXPECT_TRUE(log.load().isEmpty());

    QList<ApplicationRemovalReceipt> receipts;
    for (int index = 0; index < 101; ++index)
        receipts.append(receipt(index));
    log.save(receipts);
    EXPECT_EQ(log.load(), receipts.mid(1));
    EXPECT_EQ(modeOf(log.fileURL().path()), 0600u);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_TRUE(temporaries(folder).isEmpty());

    const ApplicationRemovalReceipt one{QUuid("{6a2b7c1e-0f3d-4e5a-9b8c-7d6e5f4a3b2c}"),
                                        QDateTime(QDate(2001, 1, 1), QTime(0, 1, 40, 500), Qt::UTC),
                                        "/a/B.app", std::nullopt, "待复查"};
    EXPECT_EQ(
        ApplicationRemovalLog::encode({one}),
        QByteArray(
            R"([{"id":"6A2B7C1E-0F3D-4E5A-9B8C-7D6E5F4A3B2C","date":100.5,"originalPath":"\/a\/B.app","state":"待复查"}])"));
    log.save({});
    EXPECT_EQ(readFile(log.fileURL().path()), "[]");
}

// A log in memory (a screenshot run's) keeps the same limit, shared by its copies.
TEST(RemovalLog, InMemoryKeepsTheLastHundredWithoutAFile) {
    const ApplicationRemovalLog log = ApplicationRemovalLog::inMemory();
    EXPECT_TRUE(log.fileURL().isEmpty());
    EXPECT_TRUE(log.load().isEmpty());
    QList<ApplicationRemovalReceipt> receipts;
    for (int index = 0; index <= ApplicationRemovalLog::receiptLimit; ++index)
        receipts.append(receipt(index));
    log.save(receipts);
    const ApplicationRemovalLog copy = log;
    EXPECT_EQ(copy.load(), receipts.mid(1));
    copy.save({});
    EXPECT_TRUE(log.load().isEmpty());
    EXPECT_TRUE(ApplicationRemovalLog::inMemory().load().isEmpty());
}

// Files keep the state a receipt was written with; the user reads what this desktop calls the trash.
TEST(RemovalLog, StoredStatesAreShownInThisDesktopsWords) {
    const struct {
        QString stored, shown;
    } cases[] = {
        {ApplicationRemovalReceipt::stateText(State::moved), "已移入回收站"},
        {ApplicationRemovalReceipt::stateText(State::movedSourceRemains),
         "已移入回收站，原位置仍有项目或无法确认，请重新扫描并复查"},
        {ApplicationRemovalReceipt::stateText(State::incomplete), "未完成，请复查原位置和回收站"},
        {ApplicationRemovalReceipt::stateText(State::pending), "待复查"},
        {"已移入废纸篓；请复查废纸篓", "已移入回收站；请复查回收站"}, // texts of other versions too
        {"", ""},
        {"待复查\n已移入废纸篓", "\u2066待复查\\n已移入回收站\u2069"},          // no forged second line
        {" 待复查 \u3000  回收站位置：/假.app ", "待复查 回收站位置：/假.app"}, // nothing pushed away
        {"  \n 待复查 \n  ", "待复查"},                                         // breaks around it only pad
        {"\t\r\n待复查\r\n", "待复查"},
        {"\n待复查\n已移入废纸篓\n", "\u2066待复查\\n已移入回收站\u2069"},
    };
    for (const auto& [stored, shown] : cases)
        EXPECT_EQ(ApplicationRemovalReceipt::shownState(stored), shown) << stored.toStdString();
}

TEST(RemovalLog, OneBadObjectFailsTheWholeLoad) {
    const QByteArray good =
        R"({"id":"6A2B7C1E-0F3D-4E5A-9B8C-7D6E5F4A3B2C","date":1,"originalPath":"/a","state":"s")";
    const struct {
        QByteArray json;
        bool readable;
    } rows[] = {
        {"[" + good + "}]", true},
        {"[" + good + R"(,"trashPath":null,"other":1}])", true},
        {"[" + good + R"(,"trashPath":"/t"},)" + good + "}]", true},
        {"[" + good + "}," + QByteArray(good).replace("\"state\":\"s\"", "\"x\":1") + "}]", false},
        {R"([{"id":"6a2b7c1e0f3d4e5a9b8c7d6e5f4a3b2c","date":1,"originalPath":"/a","state":"s"}])", false},
        {R"([{"id":"6A2B7C1E-0F3D-4E5A-9B8C-7D6E5F4A3B2C","date":"1","originalPath":"/a","state":"s"}])",
         false},
        {"[" + good + R"(,"trashPath":1}])", false},
        {"[" + good + R"(,"trashPath":"\ud83d"}])", false},
        {"[" + good + R"(,"deletionDate":"2001-02-03T04:05:06"}])", true},
        {"[" + good + R"(,"deletionDate":1}])", false},
        {"{}", false},
        {"", false},
    };
    for (const auto& row : rows) {
        const bool failed = test::thrownBy<RemovalLogFormatError>([&] {
                                ApplicationRemovalLog::decode(row.json);
                            }).has_value();
        EXPECT_EQ(failed, !row.readable) << row.json.constData();
    }
    const auto decoded = ApplicationRemovalLog::decode("[" + good + R"(,"trashPath":null}])");
    ASSERT_EQ(decoded.size(), 1);
    EXPECT_FALSE(decoded.first().trashPath);
}

TEST(RemovalLog, ALinkAnywhereInItsPathRefusesAndKeepsTheFile) {
    const struct {
        QString link, target; // below the root; a target ending in ".json" is a file holding "[]"
        QString log;
    } rows[] = {
        {"data", "real", "data/Lunorvale/log.json"},
        {"data/Lunorvale", "real", "data/Lunorvale/log.json"},
        {"data/log.json", "data/real.json", "data/log.json"},
        {"data/Lunorvale", "data/missing", "data/Lunorvale/log.json"}, // dangling
        {"", "", "data/Lunorvale/../Lunorvale/log.json"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.log.toStdString() + " " + row.link.toStdString());
        fixture::Root root;
        QDir().mkpath(root.path + "/data/Lunorvale");
        if (row.target.endsWith(".json"))
            fixture::writeFile(root.path + u'/' + row.target, "[]");
        else if (!row.target.isEmpty() && !row.target.endsWith("missing"))
            QDir().mkpath(root.path + u'/' + row.target + "/Lunorvale");
        if (!row.link.isEmpty()) {
            QDir(root.path + u'/' + row.link).removeRecursively();
            QFile::link(root.path + u'/' + row.target, root.path + u'/' + row.link);
        }
        const QString resolved = QFileInfo(root.path + u'/' + row.log).canonicalFilePath();
        const QByteArray before = readFile(resolved);
        const ApplicationRemovalLog log(url(root.path + u'/' + row.log));
        EXPECT_EQ(fixture::errorOf([&] { log.load(); }), "卸载操作清单无法安全读取，原文件已保留。");
        // The library names the link as why; a path that only goes back on itself has none to name.
        std::exception_ptr refusal;
        try {
            log.load();
        } catch (const ApplicationManagementError&) {
            refusal = std::current_exception();
        }
        EXPECT_EQ(log.unreadableSentence(refusal).endsWith(ErrorCause::sentence(FileRefusal::link)),
                  !row.link.isEmpty());
        EXPECT_EQ(fixture::errorOf([&] { log.save({receipt(1)}); }),
                  "卸载操作清单位置存在链接，操作已停止。");
        EXPECT_EQ(readFile(resolved), before);
    }
}

TEST(RemovalLog, AFailedSaveLeavesTheOldFileAsItWas) {
    fixture::Root root;
    const QString path = root.path + "/Lunorvale/log.json";
    const ApplicationRemovalReceipt old = receipt(1);
    ApplicationRemovalLog(url(path)).save({old});
    const QByteArray before = readFile(path);
    const QString failed = "无法保存卸载操作清单，操作已停止。" + ErrorCause::sentence(EIO);
    // A folder that cannot be flushed after the rename: the new list is what every reader sees, so
    // the save happened.
    const struct {
        int failingSync;
        bool failRename;
        bool replaced;
        QString error;
    } rows[] = {{1, false, false, failed}, {0, true, false, failed}, {2, false, true, {}}};
    for (const auto& row : rows) {
        auto calls = std::make_shared<FailingCalls>();
        calls->failingSync = row.failingSync;
        calls->failRename = row.failRename;
        EXPECT_EQ(fixture::errorOf([&] { ApplicationRemovalLog(url(path), calls).save({receipt(2)}); }),
                  row.error);
        EXPECT_EQ(readFile(path) == before, !row.replaced);
        EXPECT_TRUE(temporaries(root.path + "/Lunorvale").isEmpty());
        ApplicationRemovalLog(url(path)).save({old});
    }

    // The size limit holds for the encoded list; nothing is created for a list over it.
    QList<ApplicationRemovalReceipt> large;
    for (int index = 0; index < 100; ++index)
        large.append(receipt(index, {}));
    const qsizetype missing = ApplicationRemovalLog::byteLimit - ApplicationRemovalLog::encode(large).size();
    for (int index = 0; index < 100; ++index)
        large[index].originalPath = QString(missing / 100 + (index < missing % 100 ? 1 : 0), u'a');
    const ApplicationRemovalLog fresh(url(root.path + "/new/log.json"));
    fresh.save(large);
    EXPECT_EQ(QFileInfo(fresh.fileURL().path()).size(), ApplicationRemovalLog::byteLimit);
    large[0].originalPath += u'a';
    const ApplicationRemovalLog other(url(root.path + "/other/log.json"));
    EXPECT_EQ(fixture::errorOf([&] { other.save(large); }), "卸载操作清单过大，操作已停止。");
    EXPECT_FALSE(QFileInfo::exists(root.path + "/other"));
}
