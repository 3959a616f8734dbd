#include "core/monitoring/LocalHistoryStore.h"

#include "core/common/JsonWriter.h"
#include "core/common/StoredDates.h"
#include "platform/Paths.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/CheckedFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace lunorvale {
namespace {

using Kind = HistoryStorageError::Kind;

// One byte over the limit is enough to tell that a file is too large.
constexpr qint64 readLimit = LocalHistoryStore::maximumFileBytes + 1;
constexpr double futureSkewSeconds = 300;

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(const QString& text) {
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < 36; ++i) {
        const QChar c = text.at(i);
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hexDigit =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (hyphenPlace ? c != u'-' : !hexDigit)
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

std::optional<ActivityEvent> decodeEvent(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue date = object.value(QStringLiteral("date"));
    const QJsonValue title = object.value(QStringLiteral("title"));
    const QJsonValue detail = object.value(QStringLiteral("detail"));
    const QJsonValue category = object.value(QStringLiteral("category"));
    if (!id.isString() || !date.isDouble() || !title.isString() || !detail.isString())
        return std::nullopt;
    if (!category.isUndefined() && !category.isNull() && !category.isString())
        return std::nullopt;
    const auto uuid = uuidFromText(id.toString());
    if (!uuid)
        return std::nullopt;
    ActivityEvent event;
    event.id = *uuid;
    // Kept as read, fraction and all: re-saving writes the same number.
    event.date = StoredDate{date.toDouble()};
    event.title = title.toString();
    event.detail = detail.toString();
    if (category.isString())
        event.category = category.toString();
    return event;
}

std::optional<QList<ActivityEvent>> decodeEvents(const QJsonValue& value) {
    if (!value.isArray())
        return std::nullopt;
    const QJsonArray array = value.toArray();
    QList<ActivityEvent> events;
    events.reserve(array.size());
    for (const QJsonValue& element : array) {
        auto event = decodeEvent(element);
        if (!event)
            return std::nullopt;
        events.append(std::move(*event));
    }
    return events;
}

QList<ActivityEvent> decodeFile(const QByteArray& data) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        throw HistoryStorageError(Kind::invalidFile);
    if (document.isArray()) {
        if (auto events = decodeEvents(document.array()))
            return *events;
        throw HistoryStorageError(Kind::invalidFile);
    }
    const QJsonObject envelope = document.object();
    const QJsonValue version = envelope.value(QStringLiteral("schemaVersion"));
    const double number = version.toDouble();
    if (!version.isDouble() || number != std::trunc(number) || std::fabs(number) > 9.2e18)
        throw HistoryStorageError(Kind::invalidFile);
    auto events = decodeEvents(envelope.value(QStringLiteral("events")));
    if (!events)
        throw HistoryStorageError(Kind::invalidFile);
    if (number != 1)
        throw HistoryStorageError(Kind::unsupportedVersion);
    return *events;
}

// Absent when there is no file at all.
std::optional<QByteArray> readCapped(const QString& path) {
    CheckedFiles::PrefixRead read = CheckedFiles::readPrefix(path, readLimit);
    switch (read.status) {
    case CheckedFiles::PrefixRead::Status::read:
        return std::move(read.bytes);
    case CheckedFiles::PrefixRead::Status::missing:
        return std::nullopt;
    case CheckedFiles::PrefixRead::Status::failed:
        break;
    }
    // Anything else would let a later save replace a file nobody could read.
    throw HistoryStorageError(Kind::unavailable, read.errorNumber);
}

// The history file writes the date as seconds since 2001, the export as ISO-8601 text.
JsonValue eventObject(const ActivityEvent& event, JsonValue date) {
    JsonValue object = JsonValue::object();
    object.insert(QStringLiteral("id"), uuidText(event.id));
    object.insert(QStringLiteral("date"), std::move(date));
    object.insert(QStringLiteral("title"), event.title);
    object.insert(QStringLiteral("detail"), event.detail);
    if (event.category)
        object.insert(QStringLiteral("category"), *event.category);
    return object;
}

const JsonWriter::Options fileOptions{0, true, false};

QByteArray encodeEnvelope(const std::vector<QByteArray>& encodedEvents, size_t count) {
    QByteArray out = QByteArrayLiteral("{\"schemaVersion\":1,\"events\":[");
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            out.append(',');
        out.append(encodedEvents[i]);
    }
    out.append("]}");
    return out;
}

QList<ActivityEvent> newestFirst(QList<ActivityEvent> events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const ActivityEvent& a, const ActivityEvent& b) { return a.date > b.date; });
    return events;
}

// Whether an event may be kept at all: from 30 days ago on, however far ahead, its texts within their
// limits as the file will hold them.
bool admissible(const ActivityEvent& event, const StoredDate& cutoff) {
    const auto fits = [](const QString& text, qsizetype limit) {
        return JsonWriter::utf8Size(text) <= limit;
    };
    // Written so that a date that is not a number fails the test.
    if (!(event.date >= cutoff))
        return false;
    if (event.title.isEmpty() || !fits(event.title, 512) || !fits(event.detail, 2048))
        return false;
    return !event.category || fits(*event.category, 64);
}

StoredDate cutoffAt(const QDateTime& now) {
    return StoredDate::from(now.addMSecs(static_cast<qint64>(-LocalHistoryStore::retentionSeconds * 1000)));
}

// The first `room` events of `events` with an id not seen before, in their order.
QList<ActivityEvent> firstOfEachID(const QList<ActivityEvent>& events, qsizetype room) {
    QSet<QUuid> seen;
    QList<ActivityEvent> result;
    for (const ActivityEvent& event : events) {
        if (result.size() >= room)
            break;
        if (!seen.contains(event.id)) {
            seen.insert(event.id);
            result.append(event);
        }
    }
    return result;
}

} // namespace

LocalHistoryStore LocalHistoryStore::applicationStore() {
    const QString folder = Paths::applicationSupportDirectory();
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        throw HistoryStorageError(Kind::unavailable);
    return LocalHistoryStore(folder + QStringLiteral("/history.json"));
}

LocalHistoryStore LocalHistoryStore::inMemory() {
    LocalHistoryStore store{QString()};
    store.m_memory = std::make_shared<QByteArray>();
    return store;
}

QList<ActivityEvent> LocalHistoryStore::load(const QDateTime& now) const {
    // Without a valid clock retention would drop every event: an empty result here, or an empty
    // file from save, would lose the whole history.
    if (!now.isValid())
        throw HistoryStorageError(Kind::unavailable);
    const std::optional<QByteArray> data =
        m_memory ? (m_memory->isEmpty() ? std::nullopt : std::optional(*m_memory)) : readCapped(m_fileURL);
    if (!data)
        return {};
    if (data->size() >= readLimit)
        throw HistoryStorageError(Kind::fileTooLarge);
    return stored(decodeFile(*data), now);
}

QList<ActivityEvent> LocalHistoryStore::save(const QList<ActivityEvent>& events, const QDateTime& now) const {
    if (!now.isValid())
        throw HistoryStorageError(Kind::unavailable);
    QList<ActivityEvent> kept = stored(events, now);
    QByteArray data;
    try {
        std::vector<QByteArray> encoded;
        encoded.reserve(kept.size());
        for (const ActivityEvent& event : kept)
            encoded.push_back(JsonWriter::write(eventObject(event, event.date.seconds), fileOptions));
        // An over-long history loses its earliest recorded events, as the 500 do, rather than every
        // later save.
        qint64 total = encodeEnvelope({}, 0).size();
        size_t count = 0;
        for (; count < encoded.size(); ++count) {
            const qint64 next = total + encoded[count].size() + (count > 0 ? 1 : 0);
            if (next > maximumFileBytes)
                break;
            total = next;
        }
        kept.resize(qsizetype(count));
        data = encodeEnvelope(encoded, count);
    } catch (const JsonWriteError&) {
        throw HistoryStorageError(Kind::unavailable);
    }
    if (m_memory) {
        *m_memory = data;
        return kept;
    }
    try {
        AtomicFile::write(m_fileURL, data, m_writing);
    } catch (const FileWriteError& error) {
        throw HistoryStorageError(Kind::unavailable, error.errorNumber());
    }
    return kept;
}

QList<ActivityEvent> LocalHistoryStore::retained(const QList<ActivityEvent>& events, const QDateTime& now) {
    const StoredDate cutoff = cutoffAt(now);
    const StoredDate futureLimit =
        StoredDate::from(now.addMSecs(static_cast<qint64>(futureSkewSeconds * 1000)));
    QList<ActivityEvent> shown;
    for (const ActivityEvent& event : events) {
        if (admissible(event, cutoff) && event.date <= futureLimit)
            shown.append(event);
    }
    return firstOfEachID(newestFirst(std::move(shown)), maximumEvents);
}

QList<ActivityEvent> LocalHistoryStore::stored(const QList<ActivityEvent>& events, const QDateTime& now) {
    const StoredDate cutoff = cutoffAt(now);
    QList<ActivityEvent> admitted;
    admitted.reserve(events.size());
    for (const ActivityEvent& event : events) {
        if (admissible(event, cutoff))
            admitted.append(event);
    }
    return firstOfEachID(admitted, maximumEvents);
}

QByteArray LocalHistoryStore::encodeFile(const QList<ActivityEvent>& events) {
    std::vector<QByteArray> encoded;
    encoded.reserve(events.size());
    for (const ActivityEvent& event : events)
        encoded.push_back(JsonWriter::write(eventObject(event, event.date.seconds), fileOptions));
    return encodeEnvelope(encoded, encoded.size());
}

QByteArray LocalHistoryStore::exportData(const QList<ActivityEvent>& events, const QDateTime& now) {
    JsonValue list = JsonValue::array();
    for (const ActivityEvent& event : retained(events, now))
        list.append(eventObject(event, StoredDates::iso8601(event.date)));
    // The writer sorts the keys at every level.
    JsonValue root = JsonValue::object();
    root.insert(QStringLiteral("schemaVersion"), 1);
    root.insert(QStringLiteral("application"), QStringLiteral("Lunorvale"));
    root.insert(QStringLiteral("exportedAt"), StoredDates::iso8601(now));
    root.insert(QStringLiteral("retentionDays"), retentionDays);
    root.insert(QStringLiteral("events"), std::move(list));
    return JsonWriter::write(root, JsonWriter::Options{2, true, true});
}

} // namespace lunorvale
