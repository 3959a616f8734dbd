#pragma once

#include "core/common/CancellationToken.h"
#include "platform/files/CheckedFiles.h"
#include "platform/files/FolderReplace.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <exception>
#include <memory>
#include <optional>

namespace lunorvale {

// The record of one move of an application bundle to the trash, written before anything moves.
struct ApplicationRemovalReceipt {
    enum class State {
        pending,            // written before the move; the outcome was never recorded
        moved,              // in the trash, nothing left at the original path
        movedSourceRemains, // in the trash, but something is at the original path or that is unknown
        incomplete,         // stopped with an error after the receipt was written
    };

    QUuid id; // the removal plan's id
    QDateTime date;
    QString originalPath;
    std::optional<QString> trashPath; // set only after a successful move
    QString state;                    // the state's text as written; files may hold other texts
    // The date, as text, of the record the move writes into the trash: it finds that record again when
    // the move never happened. Absent in receipts written before it was kept.
    std::optional<QString> deletionDate = std::nullopt;

    static QString stateText(State state);
    // A stored state as the user sees it: files keep the words they were written with ("已移入废纸篓"), the
    // screen says what this desktop calls the trash, as SafeText::stored shows a stored text.
    static QString shownState(const QString& stored);

    friend bool operator==(const ApplicationRemovalReceipt&, const ApplicationRemovalReceipt&) = default;
};

// The receipt file holds something other than a JSON array of well-formed receipts.
class RemovalLogFormatError final : public std::exception {
public:
    QString errorDescription() const { return QStringLiteral("未能读取数据，因为它的格式不正确。"); }
    const char* what() const noexcept override { return "removal receipts cannot be decoded"; }
};

// The receipt file could not be read whole: what the checked read found (CheckedFiles::ReadResult).
class RemovalLogReadError final : public std::exception {
public:
    RemovalLogReadError(CheckedFiles::ReadResult::Failure failure, int errorNumber)
        : m_failure(failure), m_errorNumber(errorNumber) {}

    // Why, in ErrorCause's words (a file over the limit is one too large); empty where nothing says why
    // (the file changed or went while it was read).
    QString cause() const;
    // What a removal that it stopped says: the file reader's sentence, followed by the cause.
    QString errorDescription() const;
    const char* what() const noexcept override { return "removal receipts cannot be read"; }

private:
    CheckedFiles::ReadResult::Failure m_failure;
    int m_errorNumber;
};

// The receipt file "application-removals.json": a JSON array of receipts, oldest first, at most 100 and
// 1 MiB, 0600 in a 0700 folder. Holds no receipts of its own: each load reads the file, each save
// replaces it whole, inside the opened folder, so that a reader sees the whole old or the whole new list.
//
// Neither ever writes through a symbolic link, nor changes, moves or deletes a file it cannot read.
// Refusals are ApplicationManagementError::blocked with their sentence; load also throws
// RemovalLogReadError and RemovalLogFormatError, save FileWriteError (folder creation, writing).
class ApplicationRemovalLog final {
public:
    explicit ApplicationRemovalLog(QUrl fileURL, std::shared_ptr<const DurableFileCalls> calls = {});

    // "application-removals.json" in the program's data folder, computed each time.
    static ApplicationRemovalLog standard();
    // A log that lives in memory for as long as any copy of it: the same limits and bytes, no file.
    static ApplicationRemovalLog inMemory();

    // Empty for a log in memory.
    const QUrl& fileURL() const { return m_fileURL; }

    // The receipts in file order; empty when there is no file.
    QList<ApplicationRemovalReceipt> load(const CancellationToken& cancellation = {}) const;
    // Replaces the file by the last 100 receipts; an empty list writes "[]".
    void save(const QList<ApplicationRemovalReceipt>& receipts) const;

    // The file's bytes for a list (compact, keys in field order, no "trashPath" or "deletionDate" when
    // absent).
    static QByteArray encode(const QList<ApplicationRemovalReceipt>& receipts);
    // Every object must carry "id", "date", "originalPath" and "state" with the right types; one bad
    // object fails the whole list. Throws RemovalLogFormatError.
    static QList<ApplicationRemovalReceipt> decode(const QByteArray& bytes);
    // What a save that the system refused says: that nothing was done, and why (a full disk, a
    // read-only home), in ErrorCause's words.
    static QString notSavedSentence(int errorNumber);
    // What the library says while the log cannot be read: that no removal runs until it can, that the
    // file is kept where one is there, and why (`cause`, a sentence in ErrorCause's words), where known.
    static QString unreadableSentence(bool fileKept, const QString& cause);
    // The same for what load() threw: whether a file is kept and why are found out here.
    QString unreadableSentence(const std::exception_ptr& loadError) const;

    static constexpr int receiptLimit = 100;
    static constexpr int64_t byteLimit = 1048576;

private:
    QUrl m_fileURL;
    std::shared_ptr<const DurableFileCalls> m_calls;
    std::shared_ptr<QByteArray> m_memory; // the file's bytes, for a log in memory
};

} // namespace lunorvale
