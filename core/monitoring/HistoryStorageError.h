#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace lunorvale {

// The ways the activity history file can fail, each with its sentence for the user.
class HistoryStorageError final : public std::exception {
public:
    enum class Kind { unavailable, invalidFile, fileTooLarge, unsupportedVersion };

    explicit HistoryStorageError(Kind kind);

    Kind kind() const { return m_kind; }
    QString errorDescription() const;
    const char* what() const noexcept override { return m_utf8.constData(); }

    friend bool operator==(const HistoryStorageError& a, const HistoryStorageError& b) {
        return a.m_kind == b.m_kind;
    }

private:
    Kind m_kind;
    QByteArray m_utf8;
};

} // namespace lunorvale
