#include "platform/files/SettingsStore.h"

#include "platform/Paths.h"
#include "platform/UniqueFd.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/CheckedFiles.h"

#include <QFile>
#include <QJsonDocument>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace lunorvale {
namespace {
// Far above any real preferences file; a larger one is treated as damaged, not read into memory.
constexpr int64_t maximumFileBytes = 4 * 1024 * 1024;

SettingsFileRead unreadable(int errorNumber) {
    return {SettingsFileRead::Status::unreadable, {}, errorNumber};
}
} // namespace

struct SettingsStore::Contents {
    enum class State { object, damaged, unreadable };
    State state = State::object;
    QJsonObject values;
    int errorNumber = 0;
};

SettingsStore SettingsStore::applicationStore() {
    return SettingsStore(Paths::configDirectory() + QStringLiteral("/defaults.json"));
}

SettingsStore SettingsStore::inMemory() {
    return SettingsStore(QString());
}

SettingsStore::SettingsStore(QString path, FileReader reader)
    : m_path(std::move(path)), m_reader(reader ? std::move(reader) : FileReader(&SettingsStore::readDisk)) {
    reload();
}

SettingsFileRead SettingsStore::readDisk(const QString& path, int64_t maximumBytes) {
    // Links above the file are the user's business (a linked home folder is common); the file itself
    // must be a plain file.
    int error = 0;
    const std::optional<FileNode> node = CheckedFiles::linkStatus(path, &error);
    if (!node)
        return error == ENOENT ? SettingsFileRead{} : unreadable(error);
    if (node->isSymbolicLink())
        return unreadable(ELOOP);
    if (!node->isRegularFile())
        return unreadable(node->isDirectory() ? EISDIR : EINVAL);
    const UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (!fd.valid() || ::fstat(fd.get(), &opened) != 0)
        return unreadable(errno);
    if (!S_ISREG(opened.st_mode))
        return unreadable(EINVAL);
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
    const SettingsFileRead read = m_reader(m_path, maximumFileBytes);
    switch (read.status) {
    case SettingsFileRead::Status::missing:
        return {};
    case SettingsFileRead::Status::unreadable:
        return {Contents::State::unreadable, {}, read.errorNumber};
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
    if (!m_path.isEmpty())
        m_values = readFile().values;
}

std::optional<QJsonValue> SettingsStore::value(const QString& key) const {
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
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
    if (value.isUndefined())
        m_values.remove(key);
    else
        m_values.insert(key, value);
}

bool SettingsStore::setValue(const QString& key, const QJsonValue& value) {
    if (m_path.isEmpty()) {
        keep(key, value);
        return true;
    }
    Contents onDisk = readFile();
    if (onDisk.state == Contents::State::unreadable) {
        // Whatever it holds may be all the user's choices: it is neither replaced nor moved.
        m_lastError = QStringLiteral("cannot read ") + m_path + QStringLiteral(" (") +
                      qt_error_string(onDisk.errorNumber) +
                      QStringLiteral("); it is left as it is and nothing is stored");
        keep(key, value);
        return false;
    }
    if (onDisk.state == Contents::State::damaged) {
        // Keep the damaged file under a name no earlier damaged copy holds.
        std::optional<QString> kept;
        for (int n = 1; n < 1000 && !kept; ++n) {
            const QString aside = m_path + QStringLiteral(".damaged-") + QString::number(n);
            if (!CheckedFiles::linkStatus(aside) && QFile::rename(m_path, aside))
                kept = aside;
        }
        if (!kept) {
            m_lastError = QStringLiteral("cannot move the damaged file ") + m_path + QStringLiteral(" aside");
            keep(key, value);
            return false;
        }
        m_setAsideCopy = kept;
        // What this run already holds is all that is left of the old preferences.
        onDisk.values = m_values;
    }
    if (value.isUndefined())
        onDisk.values.remove(key);
    else
        onDisk.values.insert(key, value);
    m_values = onDisk.values;
    try {
        AtomicFile::write(m_path, QJsonDocument(m_values).toJson(QJsonDocument::Indented));
    } catch (const FileWriteError& error) {
        m_lastError = error.errorDescription();
        return false;
    }
    m_lastError.clear();
    return true;
}

} // namespace lunorvale
