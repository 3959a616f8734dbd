#include "platform/files/SettingsStore.h"

#include "platform/Paths.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/CheckedFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace lunorvale {
namespace {
// Far above any real preferences file; a larger one is treated as damaged, not read into memory.
constexpr int64_t maximumFileBytes = 4 * 1024 * 1024;
} // namespace

SettingsStore SettingsStore::applicationStore() {
    return SettingsStore(Paths::configDirectory() + QStringLiteral("/defaults.json"));
}

SettingsStore SettingsStore::inMemory() {
    return SettingsStore(QString());
}

SettingsStore::SettingsStore(QString path) : m_path(std::move(path)) {
    reload();
}

std::optional<QJsonObject> SettingsStore::readFile() const {
    // Links above the file are the user's business (a linked home folder is common); the file itself
    // must be a plain file of a sane size.
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return QJsonObject();
    if (info.isSymLink() || !info.isFile() || info.size() > maximumFileBytes)
        return std::nullopt;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(maximumFileBytes + 1);
    if (bytes.size() > maximumFileBytes)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

void SettingsStore::reload() {
    if (!m_path.isEmpty())
        m_values = readFile().value_or(QJsonObject());
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

bool SettingsStore::setValue(const QString& key, const QJsonValue& value) {
    if (m_path.isEmpty()) {
        if (value.isUndefined())
            m_values.remove(key);
        else
            m_values.insert(key, value);
        return true;
    }
    std::optional<QJsonObject> onDisk = readFile();
    if (!onDisk) {
        // Keep the damaged file under a name no earlier damaged copy holds.
        bool kept = false;
        for (int n = 1; n < 1000 && !kept; ++n) {
            const QString aside = m_path + QStringLiteral(".damaged-") + QString::number(n);
            if (!CheckedFiles::linkStatus(aside))
                kept = QFile::rename(m_path, aside);
        }
        if (!kept) {
            m_lastError = QStringLiteral("cannot move the damaged file ") + m_path + QStringLiteral(" aside");
            if (value.isUndefined())
                m_values.remove(key);
            else
                m_values.insert(key, value);
            return false;
        }
        // What this run already holds is all that is left of the old preferences.
        onDisk = m_values;
    }
    if (value.isUndefined())
        onDisk->remove(key);
    else
        onDisk->insert(key, value);
    m_values = *onDisk;
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
