#include "SnapshotFixtures.h"
#include "core/monitoring/LocalHistoryStore.h"
#include "core/monitoring/MutedProcess.h"
#include "support/Files.h"
#include "support/ScratchMount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>

using namespace lunorvale;
using namespace lunorvale::fixtures;
using namespace lunorvale::test;
using Kind = HistoryStorageError::Kind;

namespace {
const QDateTime now = baseDate();
const QString firstID = QStringLiteral("12345678-9abc-def0-1234-56789abcdef0");
const QString secondID = QStringLiteral("00000000-0000-4000-8000-00000000000a");

ActivityEvent event(const QDateTime& date, const QString& title = QStringLiteral("t"), QString detail = {},
                    std::optional<QString> category = {}, QUuid id = QUuid::createUuid()) {
    return ActivityEvent{id, StoredDate::from(date), title, std::move(detail), std::move(category)};
}

template <typename Call> std::optional<Kind> errorOf(Call call) {
    try {
        call();
    } catch (const HistoryStorageError& error) {
        return error.kind();
    }
    return std::nullopt;
}

template <typename Call> QString sentenceOf(Call call) {
    try {
        call();
    } catch (const HistoryStorageError& error) {
        return error.errorDescription();
    }
    return {};
}
} // namespace

TEST(LocalHistoryStore, SavesTheCompactEnvelopeAtomicallyAndExports) {
    QTemporaryDir temporary;
    const LocalHistoryStore store(temporary.path() + QStringLiteral("/a/b/history.json"));
    const QList<ActivityEvent> events{
        event(now.addMSecs(250), QStringLiteral("Editor 持续高占用"), QStringLiteral("/usr/bin/x \"q\"\n"),
              QStringLiteral("finding"), QUuid::fromString(firstID)),
        event(now.addSecs(-60), QStringLiteral("已暂停"), {}, {}, QUuid::fromString(secondID)),
    };
    EXPECT_EQ(store.save(events, now).size(), 2);
    EXPECT_EQ(readFile(store.fileURL()),
              "{\"schemaVersion\":1,\"events\":["
              "{\"id\":\"12345678-9ABC-DEF0-1234-56789ABCDEF0\",\"date\":791539509.25,"
              "\"title\":\"Editor \xE6\x8C\x81\xE7\xBB\xAD\xE9\xAB\x98\xE5\x8D\xA0\xE7\x94\xA8\","
              "\"detail\":\"\\/usr\\/bin\\/x \\\"q\\\"\\n\",\"category\":\"finding\"},"
              "{\"id\":\"00000000-0000-4000-8000-00000000000A\",\"date\":791539449,"
              "\"title\":\"\xE5\xB7\xB2\xE6\x9A\x82\xE5\x81\x9C\",\"detail\":\"\"}]}");
    EXPECT_EQ(modeOf(store.fileURL()), 0600u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/a")), 0700u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/a/b")), 0700u);
    EXPECT_EQ(QDir(temporary.path() + QStringLiteral("/a/b")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("history.json")});
    EXPECT_EQ(store.load(now), events);

    // The export: five keys in order, ISO-8601 dates to the second, only retained events.
    EXPECT_EQ(
        LocalHistoryStore::exportData(events + QList{event(now.addSecs(-2592001))}, now),
        "{\n  \"application\" : \"Lunorvale\",\n  \"events\" : [\n    {\n      \"category\" : \"finding\",\n"
        "      \"date\" : \"2026-01-31T08:05:09Z\",\n      \"detail\" : \"\\/usr\\/bin\\/x \\\"q\\\"\\n\",\n"
        "      \"id\" : \"12345678-9ABC-DEF0-1234-56789ABCDEF0\",\n      \"title\" : \"Editor 持续高占用\"\n "
        "   },\n"
        "    {\n      \"date\" : \"2026-01-31T08:04:09Z\",\n      \"detail\" : \"\",\n"
        "      \"id\" : \"00000000-0000-4000-8000-00000000000A\",\n      \"title\" : \"已暂停\"\n    }\n  "
        "],\n"
        "  \"exportedAt\" : \"2026-01-31T08:05:09Z\",\n  \"retentionDays\" : 30,\n  \"schemaVersion\" : "
        "1\n}");
    EXPECT_EQ(LocalHistoryStore::exportData({}, now.addMSecs(999)),
              "{\n  \"application\" : \"Lunorvale\",\n  \"events\" : [],\n  \"exportedAt\" : "
              "\"2026-01-31T08:05:09Z\",\n"
              "  \"retentionDays\" : 30,\n  \"schemaVersion\" : 1\n}");
}

TEST(LocalHistoryStore, LoadErrorsLeaveTheFileUntouched) {
    const QByteArray valid =
        "{\"id\":\"" + firstID.toLatin1() + "\",\"date\":791539509,\"title\":\"t\",\"detail\":\"\"";
    QByteArray exactLimit = "{\"schemaVersion\":1,\"events\":[" + valid + "}]}";
    exactLimit.append(QByteArray(LocalHistoryStore::maximumFileBytes - exactLimit.size(), ' '));
    // content, error (absent: loads the one event, or none for an empty list)
    const std::pair<QByteArray, std::optional<Kind>> cases[] = {
        {exactLimit + ' ', Kind::fileTooLarge},
        {exactLimit, {}},
        {"", Kind::invalidFile},
        {"1", Kind::invalidFile},
        {"{\"schemaVersion\":2,\"events\":[" + valid + "}]}", Kind::unsupportedVersion},
        {"{\"schemaVersion\":0,\"events\":[]}", Kind::unsupportedVersion},
        {"{\"schemaVersion\":\"1\",\"events\":[]}", Kind::invalidFile},
        {"{\"events\":[" + valid + "}]}", Kind::invalidFile},
        {"{\"schemaVersion\":2,\"events\":[{}]}", Kind::invalidFile}, // version looked at last
        {"[" + valid + "}]", {}},
        {"{\"x\":0,\"schemaVersion\":1,\"events\":[]}", {}},
        {"[" + valid + ",\"category\":null}]", {}},
        {"[{\"id\":\"" + firstID.toLatin1() + "\",\"date\":1e300,\"title\":\"t\",\"detail\":\"\"}]",
         {}}, // kept however far ahead
        {"[{\"id\":\"" + firstID.toLatin1() + "\",\"date\":1,\"title\":\"t\"}]", Kind::invalidFile},
        {"[{\"id\":\"not-a-uuid\",\"date\":1,\"title\":\"t\",\"detail\":\"\"}]", Kind::invalidFile},
        {"[" + valid + ",\"category\":1}]", Kind::invalidFile},
    };
    for (const auto& [content, error] : cases) {
        QTemporaryDir temporary;
        const LocalHistoryStore store(temporary.path() + QStringLiteral("/history.json"));
        writeFile(store.fileURL(), content);
        QList<ActivityEvent> loaded;
        EXPECT_EQ(errorOf([&] { loaded = store.load(now); }), error) << content.left(60).constData();
        EXPECT_EQ(loaded.size(), !error && content.contains(firstID.toLatin1()) ? 1 : 0);
        EXPECT_EQ(readFile(store.fileURL()), content);
    }
}

TEST(LocalHistoryStore, MissingUnreadableAndUnwritableFiles) {
    QTemporaryDir temporary;
    const QString root = temporary.path();
    EXPECT_TRUE(LocalHistoryStore(root + QStringLiteral("/none/history.json")).load(now).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/none")));

    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/folder/history.json")));
    EXPECT_EQ(errorOf([&] { LocalHistoryStore(root + QStringLiteral("/folder/history.json")).load(now); }),
              Kind::unavailable);

    writeFile(root + QStringLiteral("/plain"), "x");
    const LocalHistoryStore blocked(root + QStringLiteral("/plain/history.json"));
    EXPECT_EQ(errorOf([&] { blocked.save({event(now)}, now); }), Kind::unavailable);
    EXPECT_EQ(HistoryStorageError(Kind::unavailable).errorDescription(),
              QStringLiteral("无法读写本地历史记录，请检查磁盘空间及文件访问权限。"));
    EXPECT_EQ(readFile(root + QStringLiteral("/plain")), "x");

    // Without a valid clock every event would fall out of the window: nothing is read or replaced.
    const LocalHistoryStore store(root + QStringLiteral("/history.json"));
    store.save({event(now)}, now);
    const QByteArray saved = readFile(store.fileURL());
    EXPECT_EQ(errorOf([&] { store.save({event(now)}, QDateTime()); }), Kind::unavailable);
    EXPECT_EQ(errorOf([&] { store.load(QDateTime()); }), Kind::unavailable);
    EXPECT_EQ(readFile(store.fileURL()), saved);

    // Clearing the history replaces a damaged file.
    writeFile(store.fileURL(), "garbage");
    store.save({}, now);
    EXPECT_EQ(readFile(store.fileURL()), "{\"schemaVersion\":1,\"events\":[]}");

    // Why the system refused follows the sentence, where it said. A full volume needs root to mount.
    const QString sentence = QStringLiteral("无法读写本地历史记录，请检查磁盘空间及文件访问权限。");
    EXPECT_EQ(sentenceOf([&] { LocalHistoryStore(root + QStringLiteral("/folder/history.json")).load(now); }),
              sentence + QStringLiteral("该位置是一个文件夹。"));
    EXPECT_EQ(sentenceOf([&] { blocked.save({event(now)}, now); }),
              sentence + QStringLiteral("路径中有一项不是文件夹。"));
    EXPECT_EQ(sentenceOf([&] { store.save({event(now)}, QDateTime()); }), sentence);
    const QString full = root + QStringLiteral("/full");
    const ScratchMount volume = ScratchMount::tmpfs(full, "size=64k");
    if (!volume.mounted()) {
        std::cout << "skipped: a full volume needs a file system mounted by root\n";
        return;
    }
    ScratchMount::takeAllSpace(full);
    EXPECT_EQ(sentenceOf(
                  [&] { LocalHistoryStore(full + QStringLiteral("/history.json")).save({event(now)}, now); }),
              sentence + QStringLiteral("磁盘空间不足。"));
}

TEST(LocalHistoryStore, RetentionRules) {
    const QString ascii512(512, u'a');
    const QString han170(170, QChar(0x5C9A)); // 3 bytes each
    const QString t = QStringLiteral("t");
    // Each pair: the event at a limit is kept, the one just beyond it dropped.
    const std::pair<ActivityEvent, ActivityEvent> cases[] = {
        {event(now.addSecs(-2592000)), event(now.addSecs(-2592001))},
        {event(now.addSecs(300)), event(now.addSecs(301))},
        {event(now, ascii512), event(now, ascii512 + u'a')},
        {event(now, han170), event(now, han170 + QChar(0x5C9A))},
        {event(now, t, QString(2048, u'd')), event(now, t, QString(2049, u'd'))},
        {event(now, t, {}, QString(64, u'c')), event(now, t, {}, QString(65, u'c'))},
        {event(now, t, {}, QString()), event(now, QString())},
        // A lone surrogate is stored as U+FFFD: three bytes.
        {event(now, ascii512.left(509) + QChar(0xD800)), event(now, ascii512.left(510) + QChar(0xDC00))},
        {event(now, t, {}, {}), event(QDateTime())},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(LocalHistoryStore::retained({cases[i].first, cases[i].second}, now), QList{cases[i].first})
            << i;

    // Newest first, stable for equal dates; one event per id, the newer (on a tie, the earlier one).
    const QUuid shared = QUuid::createUuid();
    const QList<ActivityEvent> input{event(now.addSecs(-10), t, {}, {}, shared), event(now.addSecs(-5)),
                                     event(now.addSecs(-1), t, {}, {}, shared), event(now.addSecs(-5)),
                                     event(now.addSecs(-1), t, QStringLiteral("later"), {}, shared)};
    EXPECT_EQ(LocalHistoryStore::retained(input, now), (QList{input[2], input[1], input[3]}));

    QList<ActivityEvent> many;
    for (int i = 0; i < 600; ++i)
        many.append(event(now.addSecs(-i)));
    EXPECT_EQ(LocalHistoryStore::retained(many, now), many.mid(0, 500));

    // A wall clock set back hides what it dates ahead, and the file keeps it, however far ahead.
    const QList<ActivityEvent> real{event(now.addSecs(-600)), event(now.addSecs(-3600)),
                                    event(now.addDays(-1)), event(now.addDays(400)), event(now.addDays(-31))};
    QTemporaryDir temporary;
    const LocalHistoryStore store(temporary.path() + QStringLiteral("/history.json"));
    for (const QDateTime& early : {now.addSecs(-3 * 3600), now.addDays(-31), now.addYears(-1)}) {
        store.save(real, early);
        EXPECT_EQ(store.load(now), real.mid(0, 4)) << early.toString(Qt::ISODate).toStdString();
    }
    EXPECT_EQ(LocalHistoryStore::retained(store.load(now.addSecs(-3 * 3600)), now.addSecs(-3 * 3600)),
              QList{real[2]});

    // The room goes by the order of recording, the latest first, whatever the dates; an id keeps the
    // copy recorded last, though it is dated ahead and an earlier one would show.
    QList<ActivityEvent> crowded{event(now.addSecs(-5)),
                                 event(now.addDays(2), QStringLiteral("later"), {}, {}, real[0].id)};
    for (int i = 0; i < LocalHistoryStore::maximumEvents; ++i)
        crowded.append(event(now.addDays(1).addSecs(i)));
    crowded.append(real[0]);
    const QList<ActivityEvent> kept = store.save(crowded, now);
    EXPECT_EQ(kept, crowded.mid(0, LocalHistoryStore::maximumEvents));
    EXPECT_EQ(LocalHistoryStore::retained(kept, now), QList{crowded[0]});
    EXPECT_EQ(store.load(now), kept);

    // A full history and a clock a year behind: what is recorded meanwhile costs the oldest event, and
    // goes itself once the clock is right.
    QList<ActivityEvent> month;
    for (int i = 0; i < LocalHistoryStore::maximumEvents; ++i)
        month.append(event(now.addSecs(-i * 5000)));
    store.save(QList{event(now.addYears(-1))} + month, now.addYears(-1));
    EXPECT_EQ(store.load(now), month.mid(0, LocalHistoryStore::maximumEvents - 1));

    // The same for a clock hours behind or ahead, whose dates mix with the real ones, and for a file
    // whose latest records a clock set a year ahead misdated: a record costs the earliest recorded.
    QList<ActivityEvent> misdated = month;
    for (int i = 0; i < 100; ++i)
        misdated[i].date = StoredDate::from(now.addYears(1).addSecs(-i));
    const std::pair<QList<ActivityEvent>, QDateTime> records[] = {
        {month, now.addSecs(-3 * 3600)}, {month, now.addSecs(3 * 3600)}, {misdated, now}};
    for (const auto& [before, clock] : records) {
        store.save(before, now);
        const ActivityEvent recorded = event(clock);
        store.save(QList{recorded} + store.load(clock), clock);
        EXPECT_EQ(store.load(now), QList{recorded} + before.mid(0, LocalHistoryStore::maximumEvents - 1))
            << clock.toString(Qt::ISODate).toStdString();
    }
}

TEST(LocalHistoryStore, DatesKeepTheirWholeFractionThroughLoadAndSave) {
    QTemporaryDir temporary;
    const LocalHistoryStore store(temporary.path() + QStringLiteral("/history.json"));
    const QByteArray newer = "{\"id\":\"" + firstID.toUpper().toLatin1() +
                             "\",\"date\":791539508.9999,\"title\":\"t\",\"detail\":\"\"}";
    const QByteArray older = "{\"id\":\"" + secondID.toUpper().toLatin1() +
                             "\",\"date\":791539508.9996,\"title\":\"t\",\"detail\":\"\"}";
    writeFile(store.fileURL(), "[" + older + "," + newer + "]");
    // Less than a millisecond apart, still ordered where shown; saved again byte for byte.
    const QList<ActivityEvent> loaded = store.load(now);
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(LocalHistoryStore::retained(loaded, now).first().id, QUuid::fromString(firstID));
    store.save(loaded, now);
    EXPECT_EQ(readFile(store.fileURL()), "{\"schemaVersion\":1,\"events\":[" + older + "," + newer + "]}");
    EXPECT_EQ(StoredDates::iso8601(loaded[1].date), QStringLiteral("2026-01-31T08:05:08Z"));
}

TEST(LocalHistoryStore, SaveLeavesOutTheOldestEventsWhenTheFileWouldBeTooLarge) {
    QTemporaryDir temporary;
    const LocalHistoryStore store(temporary.path() + QStringLiteral("/history.json"));
    // The earliest recorded go, whether the dates follow the order of recording or run against it.
    for (const int step : {-1, 1}) {
        QList<ActivityEvent> events;
        for (int i = 0; i < 500; ++i) // near the allowed sizes, with slashes that grow when escaped
            events.append(event(now.addSecs(step * i - 600), QString(512, u'/'), QString(2048, u'x'),
                                QString(64, u'c')));
        const QList<ActivityEvent> written = store.save(events, now);
        ASSERT_FALSE(written.isEmpty());
        EXPECT_EQ(written, events.mid(0, written.size())) << step;
        const QByteArray file = readFile(store.fileURL());
        EXPECT_EQ(file, LocalHistoryStore::encodeFile(written));
        EXPECT_LE(file.size(), LocalHistoryStore::maximumFileBytes);
        EXPECT_GT(LocalHistoryStore::encodeFile(events.mid(0, written.size() + 1)).size(),
                  LocalHistoryStore::maximumFileBytes);
        EXPECT_EQ(store.load(now), written);
    }
}

// A store in memory (a screenshot run's) keeps the file's rules and bytes, shared by its copies.
TEST(LocalHistoryStore, InMemoryKeepsTheRulesWithoutAFile) {
    const LocalHistoryStore store = LocalHistoryStore::inMemory();
    EXPECT_TRUE(store.fileURL().isEmpty());
    EXPECT_TRUE(store.load(now).isEmpty());
    QList<ActivityEvent> events;
    for (int i = 0; i <= LocalHistoryStore::maximumEvents; ++i)
        events.append(event(now.addSecs(-i)));
    events.append(event(now.addSecs(-2592001))); // expired
    EXPECT_EQ(store.save(events, now).size(), LocalHistoryStore::maximumEvents);
    const LocalHistoryStore copy = store;
    EXPECT_EQ(copy.load(now), events.mid(0, LocalHistoryStore::maximumEvents));
    EXPECT_EQ(errorOf([&] { copy.save({}, QDateTime()); }), Kind::unavailable);
    EXPECT_TRUE(LocalHistoryStore::inMemory().load(now).isEmpty());
}

TEST(LocalHistoryStore, ApplicationStoreLivesInTheDataFolder) {
    QTemporaryDir temporary;
    const ScopedVariable data("XDG_DATA_HOME", temporary.path());
    EXPECT_EQ(LocalHistoryStore::applicationStore().fileURL(),
              temporary.path() + QStringLiteral("/Lunorvale/history.json"));
    EXPECT_FALSE(QFileInfo::exists(temporary.path() + QStringLiteral("/Lunorvale")));
}

TEST(MutedProcess, ActiveRulesAndJson) {
    const ProcessIdentity a{100, 5};
    const ProcessIdentity b{200, 6};
    const std::pair<MutedProcess, bool> cases[] = {
        {{a, now}, false},
        {{a, now.addSecs(3600)}, true},
        {{a, now.addSecs(3601)}, false},
        {{ProcessIdentity{1, 5}, now.addSecs(60)}, false},
        {{ProcessIdentity{-4, 5}, now.addSecs(60)}, false},
        {{ProcessIdentity{100, 0}, now.addSecs(60)}, false},
        {{a, QDateTime()}, false},
    };
    for (const auto& [entry, kept] : cases)
        EXPECT_EQ(MutedProcess::active({entry}, now, std::nullopt).size(), kept ? 1 : 0)
            << entry.identity.key().toStdString();

    const QList<MutedProcess> muted{{a, now.addSecs(10)}, {b, now.addSecs(20)}, {a, now.addSecs(30)}};
    EXPECT_EQ(MutedProcess::active(muted, now, std::nullopt), muted.mid(0, 2));
    EXPECT_TRUE(MutedProcess::active(muted, now, QSet<ProcessIdentity>{}).isEmpty());
    EXPECT_EQ(MutedProcess::active(muted, now, QSet<ProcessIdentity>{b}), muted.mid(1, 1));
    // An expired first entry does not shadow a later one that is still in force.
    EXPECT_EQ(MutedProcess::active({{a, now.addSecs(-1)}, muted[2]}, now, std::nullopt), muted.mid(2));

    const MutedProcess entry{ProcessIdentity{4242, 1700000000123456ull}, now.addMSecs(500)};
    const QByteArray text = JsonWriter::write(entry.toJson());
    EXPECT_EQ(text, "{\"identity\":{\"pid\":4242,\"startTime\":1700000000123456},\"expiresAt\":791539509.5}");
    EXPECT_EQ(MutedProcess::fromJson(QJsonDocument::fromJson(text).object()), entry);
    for (const char* bad :
         {"{\"identity\":{\"pid\":1},\"expiresAt\":1}", "{\"identity\":{\"pid\":1,\"startTime\":2}}",
          "{\"identity\":{\"pid\":1.5,\"startTime\":2},\"expiresAt\":1}",
          "{\"identity\":{\"pid\":1,\"startTime\":-2},\"expiresAt\":1}"})
        EXPECT_FALSE(MutedProcess::fromJson(QJsonDocument::fromJson(bad).object())) << bad;
}
