#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace lunorvale {

// The ways the activity history file can fail, each with its sentence for the user.
class HistoryStorageError final : public std::exception {
public:
    enum class Kind { unavailable, invalidFile, fileTooLarge, unsupportedVersion };

    // `errorNumber`: why the system refused the file, where it did; 0 where nothing says why.
    explicit HistoryStorageError(Kind kind, int errorNumber = 0);

    Kind kind() const { return m_kind; }
    // The kind's sentence; for a file that could not be read or written, followed by the cause where it
    // is known.
    QString errorDescription() const;
    const char* what() const noexcept override { return m_utf8.constData(); }

    friend bool operator==(const HistoryStorageError& a, const HistoryStorageError& b) {
        return a.m_kind == b.m_kind && a.m_errorNumber == b.m_errorNumber;
    }

private:
    Kind m_kind;
    int m_errorNumber;
    QByteArray m_utf8;
};

} // namespace lunorvale
