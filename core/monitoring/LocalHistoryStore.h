#pragma once

#include "core/monitoring/ActivityEvent.h"
#include "core/monitoring/HistoryStorageError.h"
#include "platform/files/AtomicFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <memory>

namespace lunorvale {

// The activity history file: one compact JSON envelope {"schemaVersion":1,"events":[...]}, the events
// in the order they were recorded, the latest first, pruned to 30 days and 500 events. No cache: every
// call reads or writes the file.
//
// What is shown and exported are the events up to 300 s ahead of the clock, newest first (`retained`);
// the file keeps those dated further ahead too, however far (`stored`): a wall clock set back, by hand,
// by a late correction of a clock kept in local time or by a flat clock battery before the network time
// answers, would otherwise make the next save drop the events it now dates ahead. Room is given by the
// order of recording, never by date: under a wrong clock no date tells the real events from the others,
// while the order of recording holds whatever the clock said.
class LocalHistoryStore final {
public:
    static constexpr int maximumEvents = 500;
    static constexpr int retentionDays = 30;
    static constexpr double retentionSeconds = retentionDays * 86400.0;
    static constexpr qint64 maximumFileBytes = 1048576;

    // `writing` lets tests fail a write as a full disk would.
    explicit LocalHistoryStore(QString fileURL, AtomicFile::Options writing = {})
        : m_fileURL(std::move(fileURL)), m_writing(std::move(writing)) {}

    // The path of the history file; empty for a store in memory.
    const QString& fileURL() const { return m_fileURL; }

    // history.json in the program's data folder. Creates nothing. Throws HistoryStorageError.
    static LocalHistoryStore applicationStore();
    // A history that lives in memory for as long as any copy of the store: the same rules, the same
    // bytes, no file.
    static LocalHistoryStore inMemory();

    // The stored events of the file, those ahead of the clock too; empty when there is no file. Never
    // changes the file. Throws HistoryStorageError (unavailable for an invalid `now`, here and in save).
    QList<ActivityEvent> load(const QDateTime& now) const;

    // Writes the stored events atomically (0600 file, 0700 folders). When they would not fit in
    // maximumFileBytes, the earliest recorded are left out until they do. Returns the events written,
    // in the order of recording.
    // Throws HistoryStorageError.
    QList<ActivityEvent> save(const QList<ActivityEvent>& events, const QDateTime& now) const;

    // The pruning rule: in the window [now - 30 days, now + 300 s], non-empty title of at most
    // 512 UTF-8 bytes as the file stores them, detail at most 2048, category at most 64; newest
    // first; one event per id; at most 500.
    static QList<ActivityEvent> retained(const QList<ActivityEvent>& events, const QDateTime& now);
    // What the file keeps: the same rules over every event from 30 days ago on, however far ahead, in
    // the order given, which is the order of recording, the latest first. One event per id, the first
    // given; the first 500.
    static QList<ActivityEvent> stored(const QList<ActivityEvent>& events, const QDateTime& now);

    // The bytes of the export file: pretty-printed, keys sorted, ISO-8601 dates.
    static QByteArray exportData(const QList<ActivityEvent>& events, const QDateTime& now);

    // The envelope as written to the file (no pruning, no size limit).
    static QByteArray encodeFile(const QList<ActivityEvent>& events);

private:
    QString m_fileURL;
    AtomicFile::Options m_writing;
    std::shared_ptr<QByteArray> m_memory; // the file's bytes, for a store in memory
};

} // namespace lunorvale
