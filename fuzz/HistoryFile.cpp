// The activity history file: what loads is already pruned; saving it keeps the events in the order they
// were recorded and leaves out only the earliest recorded, only for room; loading again loses nothing and is
// then stable; a damaged file fails as a HistoryStorageError and nothing else.

#include "core/monitoring/LocalHistoryStore.h"
#include "fuzz/support/Fuzz.h"

#include <QFile>
#include <QTemporaryDir>

using namespace lunorvale;
using lunorvale::fuzz::check;

namespace {

const QDateTime now = QDateTime::fromMSecsSinceEpoch(1769846709250, Qt::UTC);

const LocalHistoryStore& store() {
    static const QTemporaryDir folder;
    static const LocalHistoryStore history(folder.path() + QStringLiteral("/history.json"));
    return history;
}

std::optional<QList<ActivityEvent>> loaded() {
    try {
        return store().load(now);
    } catch (const HistoryStorageError&) {
        return std::nullopt;
    }
}

QList<QUuid> ids(const QList<ActivityEvent>& events) {
    QList<QUuid> result;
    for (const ActivityEvent& event : events)
        result.append(event.id);
    return result;
}

ActivityEvent event(qint64 secondsAgo, const QString& title, std::optional<QString> category) {
    ActivityEvent result;
    result.date = StoredDate::from(now.addMSecs(-secondsAgo * 1000 - 125));
    result.title = title;
    result.detail = QStringLiteral("进程 \"a/b\" 的 CPU 占用\n持续偏高");
    result.category = std::move(category);
    return result;
}

} // namespace

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    return {LocalHistoryStore::encodeFile({event(10, QStringLiteral("发现高 CPU"), QStringLiteral("finding")),
                                           event(3600, QString(510, u'x'), std::nullopt),
                                           event(86400 * 29, QStringLiteral("暂停监控"), QString()),
                                           event(-86400 * 400, QStringLiteral("已恢复观察"), std::nullopt)}),
            R"([{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","date":791539500.5,"title":"t","detail":""}])",
            R"({"schemaVersion":2,"events":[]})"};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        QFile file(store().fileURL());
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the temporary history file opens");
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const std::optional<QList<ActivityEvent>> first = loaded();
    if (!first)
        return 0;
    check(LocalHistoryStore::stored(*first, now) == *first, "loaded events are already pruned");

    const QList<ActivityEvent> kept = store().save(*first, now);
    check(kept == first->mid(0, kept.size()) &&
              (kept.size() == first->size() ||
               LocalHistoryStore::encodeFile(*first).size() > LocalHistoryStore::maximumFileBytes),
          "saving leaves out only the earliest recorded events, only for room");
    const std::optional<QList<ActivityEvent>> second = loaded();
    check(second && ids(*second) == ids(kept), "every saved event loads again");

    store().save(*second, now);
    check(loaded() == second, "a saved history loads as it was saved");
    return 0;
}
