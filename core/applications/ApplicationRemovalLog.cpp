#include "core/applications/ApplicationRemovalLog.h"

#include "core/applications/ApplicationInventory.h"
#include "core/applications/BundlePaths.h"
#include "core/common/ErrorCause.h"
#include "core/common/JsonWriter.h"
#include "core/common/SafeText.h"
#include "core/common/StoredDates.h"
#include "platform/Paths.h"
#include "platform/files/AtomicFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lunorvale {
namespace {

[[noreturn]] void block(const QString& message) {
    throw ApplicationManagementError::blocked(message);
}

bool isUuidText(const QString& text) {
    if (text.size() != 36)
        return false;
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char16_t unit = text.at(index).unicode();
        const bool hyphen = index == 8 || index == 13 || index == 18 || index == 23;
        const bool hex = (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') ||
                         (unit >= u'A' && unit <= u'F');
        if (hyphen ? unit != u'-' : !hex)
            return false;
    }
    return true;
}

// ".removals-<UUID>.tmp" with the UUID in upper case: the temporary names save() gives, no other file's.
bool isTemporaryName(QByteArrayView name) {
    constexpr QByteArrayView prefix = ".removals-";
    constexpr QByteArrayView suffix = ".tmp";
    if (name.size() != prefix.size() + 36 + suffix.size() || !name.startsWith(prefix) ||
        !name.endsWith(suffix))
        return false;
    const QString uuid = QString::fromLatin1(name.sliced(prefix.size(), 36));
    return isUuidText(uuid) && uuid == uuid.toUpper();
}

// Whether the path, or a folder on its way, is a symbolic link, as far as each can be looked at.
bool leadsThroughLink(const QString& path) {
    for (QString part = path; part.size() > 1; part = BundlePaths::parentPath(part)) {
        const std::optional<FileNode> node = CheckedFiles::linkStatus(part);
        if (node && node->isSymbolicLink())
            return true;
    }
    return false;
}

ApplicationRemovalReceipt decodeReceipt(const QJsonValue& value) {
    if (!value.isObject())
        throw RemovalLogFormatError();
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue date = object.value(QStringLiteral("date"));
    const QJsonValue originalPath = object.value(QStringLiteral("originalPath"));
    const QJsonValue trashPath = object.value(QStringLiteral("trashPath"));
    const QJsonValue state = object.value(QStringLiteral("state"));
    const QJsonValue deletionDate = object.value(QStringLiteral("deletionDate"));
    const auto optionalText = [](const QJsonValue& value) {
        return value.isUndefined() || value.isNull() || value.isString();
    };
    if (!id.isString() || !isUuidText(id.toString()) || !date.isDouble() || !originalPath.isString() ||
        !state.isString() || !optionalText(trashPath) || !optionalText(deletionDate))
        throw RemovalLogFormatError();
    // An escaped half of a surrogate pair is no text: it could not be written back as it was read.
    for (const QJsonValue& text : {originalPath, trashPath, state, deletionDate})
        if (!QStringView(text.toString()).isValidUtf16())
            throw RemovalLogFormatError();
    const std::optional<QDateTime> when = StoredDates::fromSecondsSinceReferenceDate(date.toDouble());
    if (!when)
        throw RemovalLogFormatError();
    return ApplicationRemovalReceipt{
        QUuid(id.toString()),
        *when,
        originalPath.toString(),
        trashPath.isString() ? std::optional<QString>(trashPath.toString()) : std::nullopt,
        state.toString(),
        deletionDate.isString() ? std::optional<QString>(deletionDate.toString()) : std::nullopt};
}

} // namespace

QString ApplicationRemovalReceipt::stateText(State state) {
    switch (state) {
    case State::pending:
        return QStringLiteral("待复查");
    case State::moved:
        return QStringLiteral("已移入废纸篓");
    case State::movedSourceRemains:
        return QStringLiteral("已移入废纸篓，原位置仍有项目或无法确认，请重新扫描并复查");
    case State::incomplete:
        break;
    }
    return QStringLiteral("未完成，请复查原位置和废纸篓");
}

QString ApplicationRemovalReceipt::shownState(const QString& stored) {
    // A state of this or another version is a plain sentence and shows as one. A file that holds more (a
    // line break, a mark that reorders the line, padding) shows it on one line, so that nothing in the
    // file passes for a line of the card's own.
    return SafeText::stored(QString(stored).replace(QStringLiteral("废纸篓"), QStringLiteral("回收站")));
}

ApplicationRemovalLog::ApplicationRemovalLog(QUrl fileURL, std::shared_ptr<const DurableFileCalls> calls)
    : m_fileURL(std::move(fileURL)),
      m_calls(calls ? std::move(calls) : std::make_shared<DurableFileCalls>()) {}

ApplicationRemovalLog ApplicationRemovalLog::standard() {
    return ApplicationRemovalLog(QUrl::fromLocalFile(Paths::applicationSupportDirectory() +
                                                     QStringLiteral("/application-removals.json")));
}

ApplicationRemovalLog ApplicationRemovalLog::inMemory() {
    ApplicationRemovalLog log{QUrl()};
    log.m_memory = std::make_shared<QByteArray>();
    return log;
}

QList<ApplicationRemovalReceipt> ApplicationRemovalLog::load(const CancellationToken& cancellation) const {
    if (m_memory)
        return m_memory->isEmpty() ? QList<ApplicationRemovalReceipt>() : decode(*m_memory);
    if (!ApplicationInventory::pathIsUnlinked(m_fileURL, true))
        block(QStringLiteral("卸载操作清单无法安全读取，原文件已保留。"));
    const QString path = m_fileURL.path(QUrl::FullyDecoded);
    int error = 0;
    if (!CheckedFiles::linkStatus(path, &error) && error == ENOENT)
        return {};
    CheckedFiles::ReadResult read =
        CheckedFiles::readRegularFile(path, byteLimit, [&cancellation] { cancellation.check(); });
    if (!read.ok())
        throw RemovalLogReadError(read.failure, read.errorNumber);
    return decode(read.bytes);
}

void ApplicationRemovalLog::save(const QList<ApplicationRemovalReceipt>& receipts) const {
    const QUrl folderURL = m_fileURL.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash);
    if (!m_memory && (!ApplicationInventory::pathIsUnlinked(folderURL, true) ||
                      !ApplicationInventory::pathIsUnlinked(m_fileURL, true)))
        block(QStringLiteral("卸载操作清单位置存在链接，操作已停止。"));
    const QByteArray bytes = encode(receipts.mid(std::max<qsizetype>(0, receipts.size() - receiptLimit)));
    if (bytes.size() > byteLimit)
        block(QStringLiteral("卸载操作清单过大，操作已停止。"));
    if (m_memory) {
        *m_memory = bytes;
        return;
    }

    const QString folder = folderURL.path(QUrl::FullyDecoded);
    AtomicFile::createDirectories(folder);
    const FileNode node = ApplicationInventory::node(folderURL);
    const QString temporary = QStringLiteral(".removals-") +
                              QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                              QStringLiteral(".tmp");
    const FolderReplace::Result result = FolderReplace::replace(
        folder, node, m_fileURL.fileName(QUrl::FullyDecoded), temporary, bytes, &isTemporaryName, *m_calls);
    using Failure = FolderReplace::Result::Failure;
    switch (result.failure) {
    case Failure::none:
        if (result.folderFlushError != 0)
            qWarning("Removal receipts saved, but their folder could not be flushed: %s",
                     std::strerror(result.folderFlushError));
        return;
    case Failure::openFolder:
        block(QStringLiteral("无法安全打开卸载操作清单目录。"));
    case Failure::folderChanged:
        block(QStringLiteral("卸载操作清单目录已变化，操作已停止。"));
    case Failure::write:
        throw FileWriteError(QStringLiteral("write"), m_fileURL.path(QUrl::FullyDecoded), result.errorNumber);
    case Failure::createTemporary:
    case Failure::sync:
    case Failure::rename:
        break;
    }
    block(notSavedSentence(result.errorNumber));
}

QString ApplicationRemovalLog::notSavedSentence(int errorNumber) {
    return ErrorCause::withCause(QStringLiteral("无法保存卸载操作清单，操作已停止。"), errorNumber);
}

QString ApplicationRemovalLog::unreadableSentence(bool fileKept, const QString& cause) {
    return (fileKept ? QStringLiteral("卸载操作清单无法读取，原文件已保留；在修复前不能执行新的卸载。")
                     : QStringLiteral("卸载操作清单无法读取；在修复前不能执行新的卸载。")) +
           cause;
}

QString ApplicationRemovalLog::unreadableSentence(const std::exception_ptr& loadError) const {
    QString cause;
    try {
        if (loadError)
            std::rethrow_exception(loadError);
    } catch (const RemovalLogReadError& failure) {
        cause = failure.cause();
    } catch (const RemovalLogFormatError& failure) {
        cause = failure.errorDescription();
    } catch (...) {
    }
    // A log in memory keeps its bytes.
    if (m_memory)
        return unreadableSentence(true, cause);
    // load() refuses a path (a link on it, a folder on the way that is none) without the system's reason,
    // so the path is looked at again: a link on it is why, else where nothing can be found at it, the
    // reason for that.
    const QString path = m_fileURL.path(QUrl::FullyDecoded);
    int missing = 0;
    const bool kept = CheckedFiles::linkStatus(path, &missing).has_value();
    if (cause.isEmpty() && leadsThroughLink(path))
        cause = ErrorCause::sentence(FileRefusal::link);
    else if (cause.isEmpty() && !kept)
        cause = ErrorCause::sentence(missing);
    return unreadableSentence(kept, cause);
}

QString RemovalLogReadError::cause() const {
    using Failure = CheckedFiles::ReadResult::Failure;
    switch (m_failure) {
    case Failure::openFailed:
        // Opened without following a final link, for which the system's word is ELOOP.
        if (m_errorNumber == ELOOP)
            return ErrorCause::sentence(FileRefusal::link);
        break;
    case Failure::notRegularFile:
        if (m_errorNumber == 0)
            return ErrorCause::sentence(FileRefusal::notRegularFile);
        break;
    case Failure::tooLarge:
        return ErrorCause::sentence(EFBIG);
    case Failure::none:
    case Failure::notAtResolvedPath:
    case Failure::readFailed:
    case Failure::vanished:
    case Failure::changed:
        break;
    }
    return m_errorNumber == 0 ? QString() : ErrorCause::sentence(m_errorNumber);
}

QString RemovalLogReadError::errorDescription() const {
    return ApplicationInventory::readFailureSentence(m_failure) + cause();
}

QByteArray ApplicationRemovalLog::encode(const QList<ApplicationRemovalReceipt>& receipts) {
    JsonValue list = JsonValue::array();
    for (const ApplicationRemovalReceipt& receipt : receipts) {
        JsonValue object = JsonValue::object();
        object.insert(QStringLiteral("id"), receipt.id.toString(QUuid::WithoutBraces).toUpper());
        object.insert(QStringLiteral("date"), StoredDates::secondsSinceReferenceDate(receipt.date));
        object.insert(QStringLiteral("originalPath"), receipt.originalPath);
        if (receipt.trashPath)
            object.insert(QStringLiteral("trashPath"), *receipt.trashPath);
        object.insert(QStringLiteral("state"), receipt.state);
        if (receipt.deletionDate)
            object.insert(QStringLiteral("deletionDate"), *receipt.deletionDate);
        list.append(std::move(object));
    }
    // The compact form with escaped slashes, as the stored files of this program are written.
    return JsonWriter::write(list, JsonWriter::Options{0, true, false});
}

QList<ApplicationRemovalReceipt> ApplicationRemovalLog::decode(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        throw RemovalLogFormatError();
    QList<ApplicationRemovalReceipt> receipts;
    for (const QJsonValue& value : document.array())
        receipts.append(decodeReceipt(value));
    return receipts;
}

} // namespace lunorvale
