#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace lunorvale {

// A file that could not be written; the old file, if any, is still in place unless the
// failure came after the new data had replaced it (see `replaced()`).
class FileWriteError final : public std::exception {
public:
    FileWriteError(QString step, QString path, int errorNumber, bool replaced = false);

    // "step path: reason", in English; callers show their own sentence to the user.
    QString errorDescription() const { return m_description; }
    int errorNumber() const { return m_errorNumber; }
    bool replaced() const { return m_replaced; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
    int m_errorNumber;
    bool m_replaced;
};

} // namespace lunorvale
