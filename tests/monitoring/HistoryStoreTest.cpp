#include "SnapshotFixtures.h"
#include "core/common/StoredDates.h"
#include "core/monitoring/LocalHistoryStore.h"
#include "core/monitoring/MutedProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::fixtures;
using Kind = HistoryStorageError::Kind;

namespace {

ActivityEvent event(const QString& uuid, const QDateTime& date, const QString& title,
                    std::optional<QString> category = std::nullopt,
                    const QString& detail = QStringLiteral("d")) {
    return ActivityEvent{QUuid::fromString(uuid), date, title, detail, std::move(category)};
}

ActivityEvent numbered(int n, const QDateTime& date, const QString& title = QStringLiteral("t")) {
    return ActivityEvent{QUuid::createUuidV5(QUuid(), QString::number(n)), date, title, QString(),
                         std::nullopt};
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

std::optional<Kind> loadError(const LocalHistoryStore& store) {
    try {
        store.load(baseDate());
    } catch (const HistoryStorageError& error) {
        return error.kind();
    }
    return std::nullopt;
}

const QString firstID = QStringLiteral("12345678-9abc-def0-1234-56789abcdef0");
const QString secondID = QStringLiteral("00000000-0000-4000-8000-00000000000a");

} // namespace

TEST(LocalHistoryStore, SavesTheCompactEnvelopeAtomicallyWithPrivateModes) {
    QTemporaryDir temporary;
    const LocalHistoryStore store(temporary.path() + QStringLiteral("/a/b/history.json"));
    const QList<ActivityEvent> events{
        event(secondID, baseDate().addSecs(-60), QStringLiteral("已暂停"), std::nullopt, QString()),
        event(firstID, baseDate().addMSecs(250), QStringLiteral("Editor 持续高占用"),
              QStringLiteral("finding"), QStringLiteral("/usr/bin/x \"q\"\n")),
    };
    EXPECT_EQ(store.save(events, baseDate()).size(), 2);

    const QByteArray expected =
        "{\"schemaVersion\":1,\"events\":["
        "{\"id\":\"12345678-9ABC-DEF0-1234-56789ABCDEF0\",\"date\":791539509.25,"
        "\"title\":\"Editor \xE6\x8C\x81\xE7\xBB\xAD\xE9\xAB\x98\xE5\x8D\xA0\xE7\x94\xA8\","
        "\"detail\":\"\\/usr\\/bin\\/x \\\"q\\\"\\n\",\"category\":\"finding\"},"
        "{\"id\":\"00000000-0000-4000-8000-00000000000A\",\"date\":791539449,"
        "\"title\":\"\xE5\xB7\xB2\xE6\x9A\x82\xE5\x81\x9C\",\"detail\":\"\"}]}";
    EXPECT_EQ(readAll(store.fileURL()), expected);
    EXPECT_EQ(modeOf(store.fileURL()), 0600u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/a")), 0700u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/a/b")), 0700u);
    EXPECT_EQ(QDir(temporary.path() + QStringLiteral("/a/b")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("history.json")});

    const QList<ActivityEvent> loaded = store.load(baseDate());
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(loaded[0], events[1]);
    EXPECT_EQ(loaded[1], events[0]);
}

TEST(LocalHistoryStore, LoadErrorsLeaveTheFileUntouched) {
    const QByteArray validEvent =
        "{\"id\":\"" + firstID.toLatin1() + "\",\"date\":791539509,\"title\":\"t\",\"detail\":\"\"}";
    QByteArray exactLimit = "{\"schemaVersion\":1,\"events\":[" + validEvent + "]}";
    exactLimit.append(QByteArray(LocalHistoryStore::maximumFileBytes - exactLimit.size(), ' '));
    struct Case {
        const char* label;
        QByteArray content;
        std::optional<Kind> error;
        qsizetype events;
    };
    const Case cases[] = {
        {"over the limit", exactLimit + ' ', Kind::fileTooLarge, 0},
        {"exactly the limit", exactLimit, std::nullopt, 1},
        {"empty", QByteArray(), Kind::invalidFile, 0},
        {"not JSON", "{\"schemaVersion\":1,", Kind::invalidFile, 0},
        {"version 2", "{\"schemaVersion\":2,\"events\":[" + validEvent + "]}", Kind::unsupportedVersion, 0},
        {"version 0", "{\"schemaVersion\":0,\"events\":[]}", Kind::unsupportedVersion, 0},
        {"version as text", "{\"schemaVersion\":\"1\",\"events\":[]}", Kind::invalidFile, 0},
        {"no version", "{\"events\":[" + validEvent + "]}", Kind::invalidFile, 0},
        {"version 2, bad events", "{\"schemaVersion\":2,\"events\":[{}]}", Kind::invalidFile, 0},
        {"bare array", "[" + validEvent + "]", std::nullopt, 1},
        {"unknown keys", "{\"x\":0,\"schemaVersion\":1,\"events\":[]}", std::nullopt, 0},
        {"missing detail", "[{\"id\":\"" + firstID.toLatin1() + "\",\"date\":1,\"title\":\"t\"}]",
         Kind::invalidFile, 0},
        {"bad id", "[{\"id\":\"not-a-uuid\",\"date\":1,\"title\":\"t\",\"detail\":\"\"}]", Kind::invalidFile,
         0},
        {"date as text",
         "[{\"id\":\"" + firstID.toLatin1() + "\",\"date\":\"1\",\"title\":\"t\",\"detail\":\"\"}]",
         Kind::invalidFile, 0},
        {"category as number",
         "[{\"id\":\"" + firstID.toLatin1() +
             "\",\"date\":1,\"title\":\"t\",\"detail\":\"\",\"category\":1}]",
         Kind::invalidFile, 0},
        {"scalar", "1", Kind::invalidFile, 0},
    };
    for (const Case& c : cases) {
        QTemporaryDir temporary;
        const LocalHistoryStore store(temporary.path() + QStringLiteral("/history.json"));
        ASSERT_TRUE(writeAll(store.fileURL(), c.content));
        if (c.error) {
            EXPECT_EQ(loadError(store), c.error) << c.label;
        } else {
            EXPECT_EQ(store.load(baseDate()).size(), c.events) << c.label;
        }
        EXPECT_EQ(readAll(store.fileURL()), c.content) << c.label;
    }
}

TEST(LocalHistoryStore, MissingUnreadableAndUnwritableFiles) {
    QTemporaryDir temporary;
    const LocalHistoryStore missing(temporary.path() + QStringLiteral("/none/history.json"));
    EXPECT_TRUE(missing.load(baseDate()).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(temporary.path() + QStringLiteral("/none")));

    ASSERT_TRUE(QDir().mkpath(temporary.path() + QStringLiteral("/folder/history.json")));
    EXPECT_EQ(loadError(LocalHistoryStore(temporary.path() + QStringLiteral("/folder/history.json"))),
              Kind::unavailable);

    ASSERT_TRUE(writeAll(temporary.path() + QStringLiteral("/plain"), "x"));
    const LocalHistoryStore blocked(temporary.path() + QStringLiteral("/plain/history.json"));
    try {
        blocked.save({numbered(1, baseDate())}, baseDate());
        ADD_FAILURE() << "save into a folder that is a file succeeded";
    } catch (const HistoryStorageError& error) {
        EXPECT_EQ(error.kind(), Kind::unavailable);
        EXPECT_EQ(error.errorDescription(),
                  QStringLiteral("无法读写本地历史记录，请检查磁盘空间及文件访问权限。"));
    }
    EXPECT_EQ(readAll(temporary.path() + QStringLiteral("/plain")), "x");

    if (::geteuid() != 0) {
        const LocalHistoryStore locked(temporary.path() + QStringLiteral("/locked.json"));
        ASSERT_TRUE(writeAll(locked.fileURL(), "[]"));
        ::chmod(QFile::encodeName(locked.fileURL()).constData(), 0);
        EXPECT_EQ(loadError(locked), Kind::unavailable);
        ::chmod(QFile::encodeName(locked.fileURL()).constData(), 0600);
    }

    // Clearing the history replaces a damaged file.
    const LocalHistoryStore damaged(temporary.path() + QStringLiteral("/damaged.json"));
    ASSERT_TRUE(writeAll(damaged.fileURL(), "garbage"));
    damaged.save({}, baseDate());
    EXPECT_EQ(readAll(damaged.fileURL()), "{\"schemaVersion\":1,\"events\":[]}");
}

TEST(LocalHistoryStore, RetentionRules) {
    const QDateTime now = baseDate();
    const QString ascii512(512, u'a');
    const QString han170(170, QChar(0x5C9A)); // 3 bytes each
    struct Case {
        const char* label;
        ActivityEvent event;
        bool kept;
    };
    const Case cases[] = {
        {"30 days exactly", numbered(1, now.addSecs(-2592000)), true},
        {"30 days and a second", numbered(2, now.addSecs(-2592001)), false},
        {"300 s ahead", numbered(3, now.addSecs(300)), true},
        {"301 s ahead", numbered(4, now.addSecs(301)), false},
        {"invalid date", numbered(5, QDateTime()), false},
        {"empty title", numbered(6, now, QString()), false},
        {"512-byte title", numbered(7, now, ascii512), true},
        {"513-byte title", numbered(8, now, ascii512 + u'a'), false},
        {"510 bytes in Chinese", numbered(9, now, han170), true},
        {"513 bytes in Chinese", numbered(10, now, han170 + QChar(0x5C9A)), false},
        {"2048-byte detail",
         ActivityEvent{QUuid::createUuid(), now, QStringLiteral("t"), QString(2048, u'd'), {}}, true},
        {"2049-byte detail",
         ActivityEvent{QUuid::createUuid(), now, QStringLiteral("t"), QString(2049, u'd'), {}}, false},
        {"64-byte category",
         ActivityEvent{QUuid::createUuid(), now, QStringLiteral("t"), {}, QString(64, u'c')}, true},
        {"65-byte category",
         ActivityEvent{QUuid::createUuid(), now, QStringLiteral("t"), {}, QString(65, u'c')}, false},
        {"empty category", ActivityEvent{QUuid::createUuid(), now, QStringLiteral("t"), {}, QString()}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocalHistoryStore::retained({c.event}, now).size(), c.kept ? 1 : 0) << c.label;

    // Newest first, stable for equal dates; one event per id, the newer (or, on a tie, the earlier one).
    const QUuid shared = QUuid::createUuid();
    const QList<ActivityEvent> events{
        ActivityEvent{shared, now.addSecs(-10), QStringLiteral("old"), {}, {}},
        ActivityEvent{QUuid::createUuid(), now.addSecs(-5), QStringLiteral("a"), {}, {}},
        ActivityEvent{shared, now.addSecs(-1), QStringLiteral("new"), {}, {}},
        ActivityEvent{QUuid::createUuid(), now.addSecs(-5), QStringLiteral("b"), {}, {}},
        ActivityEvent{shared, now.addSecs(-1), QStringLiteral("new too"), {}, {}},
    };
    QStringList titles;
    for (const auto& kept : LocalHistoryStore::retained(events, now))
        titles << kept.title;
    EXPECT_EQ(titles, (QStringList{QStringLiteral("new"), QStringLiteral("a"), QStringLiteral("b")}));

    QList<ActivityEvent> many;
    for (int i = 0; i < 600; ++i)
        many.append(numbered(i, now.addSecs(-i)));
    const auto kept = LocalHistoryStore::retained(many, now);
    ASSERT_EQ(kept.size(), 500);
    EXPECT_EQ(kept.first(), many[0]);
    EXPECT_EQ(kept.last(), many[499]);
}

TEST(LocalHistoryStore, SaveLeavesOutTheOldestEventsWhenTheFileWouldBeTooLarge) {
    QTemporaryDir temporary;
    const LocalHistoryStore store(temporary.path() + QStringLiteral("/history.json"));
    QList<ActivityEvent> events;
    for (int i = 0; i < 500; ++i) {
        // Near the allowed sizes, with slashes that grow when escaped.
        events.append(ActivityEvent{QUuid::createUuid(), baseDate().addSecs(-i), QString(512, u'/'),
                                    QString(2048, u'x'), QString(64, u'c')});
    }
    ASSERT_GT(LocalHistoryStore::encodeFile(events).size(), LocalHistoryStore::maximumFileBytes);

    const QList<ActivityEvent> written = store.save(events, baseDate());
    ASSERT_FALSE(written.isEmpty());
    ASSERT_LT(written.size(), 500);
    EXPECT_EQ(written, events.mid(0, written.size()));
    const QByteArray file = readAll(store.fileURL());
    EXPECT_LE(file.size(), LocalHistoryStore::maximumFileBytes);
    EXPECT_GT(LocalHistoryStore::encodeFile(events.mid(0, written.size() + 1)).size(),
              LocalHistoryStore::maximumFileBytes);
    EXPECT_EQ(file, LocalHistoryStore::encodeFile(written));
    EXPECT_EQ(store.load(baseDate()), written);
}

TEST(LocalHistoryStore, ExportHasFiveSortedKeysAndIsoDates) {
    const QByteArray empty = LocalHistoryStore::exportData({}, baseDate().addMSecs(999));
    EXPECT_EQ(empty, "{\n  \"application\" : \"Lunorvale\",\n  \"events\" : [],\n  \"exportedAt\" : "
                     "\"2026-01-31T08:05:09Z\",\n"
                     "  \"retentionDays\" : 30,\n  \"schemaVersion\" : 1\n}");

    const QList<ActivityEvent> events{
        event(secondID, baseDate().addSecs(-3600), QStringLiteral("a/b")),
        event(firstID, baseDate().addSecs(-60), QStringLiteral("x"), QStringLiteral("muted")),
        event(firstID, baseDate().addSecs(-2592001), QStringLiteral("too old")),
    };
    EXPECT_EQ(
        LocalHistoryStore::exportData(events, baseDate()),
        "{\n  \"application\" : \"Lunorvale\",\n  \"events\" : [\n"
        "    {\n      \"category\" : \"muted\",\n      \"date\" : \"2026-01-31T08:04:09Z\",\n      "
        "\"detail\" : \"d\",\n"
        "      \"id\" : \"12345678-9ABC-DEF0-1234-56789ABCDEF0\",\n      \"title\" : \"x\"\n    },\n"
        "    {\n      \"date\" : \"2026-01-31T07:05:09Z\",\n      \"detail\" : \"d\",\n"
        "      \"id\" : \"00000000-0000-4000-8000-00000000000A\",\n      \"title\" : \"a\\/b\"\n    }\n  ],\n"
        "  \"exportedAt\" : \"2026-01-31T08:05:09Z\",\n  \"retentionDays\" : 30,\n  \"schemaVersion\" : "
        "1\n}");
}

TEST(LocalHistoryStore, ApplicationStoreLivesInTheDataFolder) {
    QTemporaryDir temporary;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(temporary.path()));
    const LocalHistoryStore store = LocalHistoryStore::applicationStore();
    if (wasSet)
        qputenv("XDG_DATA_HOME", saved);
    else
        qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(store.fileURL(), temporary.path() + QStringLiteral("/Lunorvale/history.json"));
    EXPECT_FALSE(QFileInfo::exists(temporary.path() + QStringLiteral("/Lunorvale")));
}

TEST(MutedProcess, ActiveRules) {
    const QDateTime now = baseDate();
    const ProcessIdentity a{100, 5};
    const ProcessIdentity b{200, 6};
    struct Case {
        const char* label;
        MutedProcess entry;
        bool kept;
    };
    const Case cases[] = {
        {"expires now", {a, now}, false},
        {"expires in 3600 s", {a, now.addSecs(3600)}, true},
        {"expires in 3601 s", {a, now.addSecs(3601)}, false},
        {"pid 1", {ProcessIdentity{1, 5}, now.addSecs(60)}, false},
        {"negative pid", {ProcessIdentity{-4, 5}, now.addSecs(60)}, false},
        {"start time 0", {ProcessIdentity{100, 0}, now.addSecs(60)}, false},
        {"invalid expiry", {a, QDateTime()}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MutedProcess::active({c.entry}, now, std::nullopt).size(), c.kept ? 1 : 0) << c.label;

    const QList<MutedProcess> muted{{a, now.addSecs(10)}, {b, now.addSecs(20)}, {a, now.addSecs(30)}};
    EXPECT_EQ(MutedProcess::active(muted, now, std::nullopt), (QList<MutedProcess>{muted[0], muted[1]}));
    EXPECT_TRUE(MutedProcess::active(muted, now, QSet<ProcessIdentity>{}).isEmpty());
    EXPECT_EQ(MutedProcess::active(muted, now, QSet<ProcessIdentity>{b}), (QList<MutedProcess>{muted[1]}));
    // An expired first entry does not shadow a later one that is still in force.
    EXPECT_EQ(MutedProcess::active({{a, now.addSecs(-1)}, muted[2]}, now, std::nullopt),
              (QList<MutedProcess>{muted[2]}));
}

TEST(MutedProcess, JsonRoundTrip) {
    const MutedProcess entry{ProcessIdentity{4242, 1700000000123456ull}, baseDate().addMSecs(500)};
    const QByteArray text = JsonWriter::write(entry.toJson());
    EXPECT_EQ(text, "{\"identity\":{\"pid\":4242,\"startTime\":1700000000123456},\"expiresAt\":791539509.5}");
    EXPECT_EQ(MutedProcess::fromJson(QJsonDocument::fromJson(text).object()), entry);
    for (const char* bad :
         {"{\"identity\":{\"pid\":1},\"expiresAt\":1}", "{\"identity\":{\"pid\":1,\"startTime\":2}}",
          "{\"identity\":{\"pid\":1.5,\"startTime\":2},\"expiresAt\":1}",
          "{\"identity\":{\"pid\":1,\"startTime\":-2},\"expiresAt\":1}"})
        EXPECT_FALSE(MutedProcess::fromJson(QJsonDocument::fromJson(bad).object())) << bad;
}
