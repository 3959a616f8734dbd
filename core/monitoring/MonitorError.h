#pragma once

#include <QString>
#include <exception>

namespace lunorvale {

// The error of collecting and of stopping a process.
class MonitorError final : public std::exception {
public:
    enum class Kind { action, unavailable };

    static MonitorError action(QString sentence) { return MonitorError(Kind::action, std::move(sentence)); }
    static MonitorError unavailable() { return MonitorError(Kind::unavailable, {}); }

    Kind kind() const { return m_kind; }
    // The sentence shown to the user.
    QString errorDescription() const;
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    MonitorError(Kind kind, QString message);

    Kind m_kind;
    QString m_message;
    QByteArray m_utf8;
};

} // namespace lunorvale
