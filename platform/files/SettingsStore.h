#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>

namespace lunorvale {

// The program's preferences: one JSON object in one file, each key a setting, written whole and
// atomically (0600 in a 0700 folder) on every change. Values are kept as the caller stored them;
// readers decide what a value of the wrong type means.
//
// A file that cannot be read as a JSON object is never overwritten: the first change moves it aside
// to "<file>.damaged-<n>" and starts a new file, so the user's old preferences stay on disk.
// Every change re-reads the file first, so two stores over one file (the model and the update layer,
// or a second run) never drop each other's keys. One store per thread.
class SettingsStore final {
public:
    // The store over $XDG_CONFIG_HOME/Lunorvale/defaults.json.
    static SettingsStore applicationStore();
    // A store without a file: it starts empty and keeps every change for as long as it lives.
    static SettingsStore inMemory();
    explicit SettingsStore(QString path);

    // The file's path; empty for a store in memory.
    const QString& path() const { return m_path; }

    // The stored value, as of the last read or change; absent when the key is not stored.
    std::optional<QJsonValue> value(const QString& key) const;
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;

    // Stores the value (an undefined value removes the key). False when the file could not be
    // written; the value is still kept for this run and `lastError()` says why.
    bool setValue(const QString& key, const QJsonValue& value);
    bool remove(const QString& key) { return setValue(key, QJsonValue(QJsonValue::Undefined)); }

    // Reads the file again.
    void reload();
    // Why the last change could not be written (English, for logs and tests); empty after a success.
    const QString& lastError() const { return m_lastError; }

private:
    // The file's object; absent when the file exists but is not a JSON object.
    std::optional<QJsonObject> readFile() const;

    QString m_path;
    QJsonObject m_values;
    QString m_lastError;
};

} // namespace lunorvale
