#include "platform/files/SettingsStore.h"

#include "platform/Paths.h"
#include "platform/UniqueFd.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/CheckedFiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QMap>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace lunorvale {
namespace {
SettingsFileRead unreadable(int errorNumber) {
    return {SettingsFileRead::Status::unreadable, {}, errorNumber};
}

// With the number the system gives such a file when it is opened as one, for the logs.
SettingsFileRead refused(FileRefusal refusal) {
    return {SettingsFileRead::Status::unreadable, {}, refusal == FileRefusal::link ? ELOOP : EINVAL, refusal};
}

// An undefined value removes the key.
void apply(QJsonObject& values, const QString& key, const QJsonValue& value) {
    if (value.isUndefined())
        values.remove(key);
    else
        values.insert(key, value);
}
} // namespace

struct SettingsStore::Contents {
    enum class State { object, damaged, unreadable };
    State state = State::object;
    QJsonObject values;
    int errorNumber = 0;
    std::optional<FileRefusal> refusal = std::nullopt;
};

struct SettingsStore::File {
    QString path;
    FileReader reader;
    AtomicFile::Options writing;
    QJsonObject values;
    // Changes of this run that no write has stored yet, each key with its value (undefined: removed).
    QMap<QString, QJsonValue> unsaved;
    QString lastError;
    int lastErrorNumber = 0;
    // The last read or change found the file unreadable, and why.
    bool unreadable = false;
    int unreadableErrorNumber = 0;
    std::optional<FileRefusal> unreadableRefusal;
    // A damaged file was moved aside and no write has replaced it yet.
    bool setAsideUnreplaced = false;
    SettingsFileEvents events;
};

const QString SettingsStore::setAsideCopyKey = QStringLiteral("Lunorvale.DamagedSettingsCopy");

SettingsStore SettingsStore::applicationStore() {
    return SettingsStore(Paths::configDirectory() + QStringLiteral("/defaults.json"));
}

SettingsStore SettingsStore::inMemory() {
    return SettingsStore(QString());
}

SettingsStore::SettingsStore(QString path, FileReader reader, AtomicFile::Options writing)
    : m_file(std::make_shared<File>()) {
    m_file->path = std::move(path);
    m_file->reader = reader ? std::move(reader) : FileReader(&SettingsStore::readDisk);
    m_file->writing = std::move(writing);
    reload();
}

const QString& SettingsStore::path() const {
    return m_file->path;
}

bool SettingsStore::isUnreadable() const {
    return m_file->unreadable;
}

std::optional<FileRefusal> SettingsStore::unreadableRefusal() const {
    return m_file->unreadableRefusal;
}

int SettingsStore::unreadableErrorNumber() const {
    return m_file->unreadableErrorNumber;
}

const QString& SettingsStore::lastError() const {
    return m_file->lastError;
}

int SettingsStore::lastErrorNumber() const {
    return m_file->lastErrorNumber;
}

bool SettingsStore::isSetAsideFileUnreplaced() const {
    return m_file->setAsideUnreplaced;
}

SettingsFileRead SettingsStore::readDisk(const QString& path, int64_t maximumBytes) {
    // Links above the file are the user's business (a linked home folder is common); the file itself
    // must be a plain file.
    int error = 0;
    const std::optional<FileNode> node = CheckedFiles::linkStatus(path, &error);
    if (!node)
        return error == ENOENT ? SettingsFileRead{} : unreadable(error);
    if (node->isSymbolicLink())
        return refused(FileRefusal::link);
    if (node->isDirectory())
        return unreadable(EISDIR);
    if (!node->isRegularFile())
        return refused(FileRefusal::notRegularFile);
    const UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (!fd.valid() || ::fstat(fd.get(), &opened) != 0)
        return unreadable(errno);
    if (!S_ISREG(opened.st_mode))
        return S_ISDIR(opened.st_mode) ? unreadable(EISDIR) : refused(FileRefusal::notRegularFile);
    SettingsFileRead result{SettingsFileRead::Status::read, {}, 0};
    char chunk[65536];
    while (result.bytes.size() <= maximumBytes) {
        const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return unreadable(errno);
        if (count == 0)
            break;
        result.bytes.append(chunk, count);
    }
    return result;
}

SettingsStore::Contents SettingsStore::readFile() const {
    const SettingsFileRead read = m_file->reader(m_file->path, maximumFileBytes);
    switch (read.status) {
    case SettingsFileRead::Status::missing:
        return {};
    case SettingsFileRead::Status::unreadable:
        return {Contents::State::unreadable, {}, read.errorNumber, read.refusal};
    case SettingsFileRead::Status::read:
        break;
    }
    if (read.bytes.size() > maximumFileBytes)
        return {Contents::State::damaged, {}, 0};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(read.bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {Contents::State::damaged, {}, 0};
    return {Contents::State::object, document.object(), 0};
}

void SettingsStore::reload() {
    if (m_file->path.isEmpty())
        return;
    const Contents read = readFile();
    m_file->values = read.values;
    noteUnreadable(read);
}

void SettingsStore::noteUnreadable(const Contents& read) {
    const bool unreadable = read.state == Contents::State::unreadable;
    m_file->unreadable = unreadable;
    m_file->unreadableErrorNumber = unreadable ? read.errorNumber : 0;
    m_file->unreadableRefusal = unreadable ? read.refusal : std::nullopt;
}

std::optional<QJsonValue> SettingsStore::value(const QString& key) const {
    const QJsonObject& values = m_file->values;
    const auto it = values.constFind(key);
    if (it == values.constEnd())
        return std::nullopt;
    return it.value();
}

std::optional<bool> SettingsStore::boolValue(const QString& key) const {
    const auto stored = value(key);
    return stored && stored->isBool() ? std::optional(stored->toBool()) : std::nullopt;
}

std::optional<double> SettingsStore::doubleValue(const QString& key) const {
    const auto stored = value(key);
    return stored && stored->isDouble() ? std::optional(stored->toDouble()) : std::nullopt;
}

std::optional<QString> SettingsStore::stringValue(const QString& key) const {
    const auto stored = value(key);
    return stored && stored->isString() ? std::optional(stored->toString()) : std::nullopt;
}

void SettingsStore::keep(const QString& key, const QJsonValue& value) {
    apply(m_file->values, key, value);
}

std::optional<QString> SettingsStore::setAside() const {
    for (int n = 1; n < 1000; ++n) {
        const QString aside = m_file->path + QStringLiteral(".damaged-") + QString::number(n);
        if (!CheckedFiles::linkStatus(aside) && QFile::rename(m_file->path, aside))
            return aside;
    }
    return std::nullopt;
}

bool SettingsStore::setValue(const QString& key, const QJsonValue& value) {
    File& file = *m_file;
    if (file.path.isEmpty()) {
        keep(key, value);
        return true;
    }
    Contents onDisk = readFile();
    noteUnreadable(onDisk);
    if (file.unreadable) {
        // Whatever it holds may be all the user's choices: it is neither replaced nor moved.
        file.lastError = QStringLiteral("cannot read ") + file.path + QStringLiteral(" (") +
                         qt_error_string(onDisk.errorNumber) +
                         QStringLiteral("); it is left as it is and nothing is stored");
        // Nothing was written: the start already named the file that cannot be read.
        file.lastErrorNumber = 0;
        keep(key, value);
        return false;
    }
    bool setAsideNow = false;
    if (onDisk.state == Contents::State::damaged) {
        const std::optional<QString> kept = setAside();
        if (!kept) {
            file.lastError =
                QStringLiteral("cannot move the damaged file ") + file.path + QStringLiteral(" aside");
            file.lastErrorNumber = 0;
            keep(key, value);
            return false;
        }
        // What this run already holds is all that is left of the old preferences; the new file names
        // the copy until the user has been told of it.
        onDisk.values = file.values;
        onDisk.values.insert(setAsideCopyKey, *kept);
        file.setAsideUnreplaced = setAsideNow = true;
        // Nothing but this run holds these any more, the copy's name among them.
        for (auto it = onDisk.values.constBegin(); it != onDisk.values.constEnd(); ++it)
            file.unsaved.insert(it.key(), it.value());
    } else {
        for (auto it = file.unsaved.constBegin(); it != file.unsaved.constEnd(); ++it)
            apply(onDisk.values, it.key(), it.value());
    }
    apply(onDisk.values, key, value);
    file.unsaved.insert(key, value);
    file.values = onDisk.values;
    bool stored = true;
    try {
        AtomicFile::write(file.path, QJsonDocument(file.values).toJson(QJsonDocument::Indented),
                          file.writing);
        file.lastError.clear();
        file.lastErrorNumber = 0;
        file.unsaved.clear();
        file.setAsideUnreplaced = false;
    } catch (const FileWriteError& error) {
        file.lastError = error.errorDescription();
        file.lastErrorNumber = error.errorNumber();
        // A write that failed after its rename still replaced the file.
        file.setAsideUnreplaced = file.setAsideUnreplaced && !error.replaced();
        qWarning("Settings not stored: %s", qUtf8Printable(file.lastError));
        stored = false;
    }
    // Last, once this change is complete: whoever is told may take the name at once, a change of its own.
    if (setAsideNow)
        emit file.events.damagedFileSetAside();
    return stored;
}

std::optional<QString> SettingsStore::takeSetAsideCopy() {
    const std::optional<QString> copy = stringValue(setAsideCopyKey);
    if (value(setAsideCopyKey))
        remove(setAsideCopyKey);
    return copy;
}

QMetaObject::Connection SettingsStore::onSetAside(const QObject* context,
                                                  std::function<void()> announce) const {
    return QObject::connect(&m_file->events, &SettingsFileEvents::damagedFileSetAside, context,
                            std::move(announce));
}

} // namespace lunorvale
