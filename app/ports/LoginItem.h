#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <utility>

namespace lunorvale {

enum class LoginItemStatus { notRegistered, enabled, requiresApproval, notFound, unknown };

// What the settings show for a status.
inline QString title(LoginItemStatus status) {
    switch (status) {
    case LoginItemStatus::notRegistered:
        return QStringLiteral("未开启");
    case LoginItemStatus::enabled:
        return QStringLiteral("已开启");
    case LoginItemStatus::requiresApproval:
        return QStringLiteral("等待系统批准");
    case LoginItemStatus::notFound:
        return QStringLiteral("应用位置不可用");
    case LoginItemStatus::unknown:
        break;
    }
    return QStringLiteral("状态未知");
}

// A failed change of the login item, with the sentence shown to the user.
class LoginItemError final : public std::exception {
public:
    explicit LoginItemError(QString sentence)
        : m_sentence(std::move(sentence)), m_utf8(m_sentence.toUtf8()) {}
    const QString& errorDescription() const { return m_sentence; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_sentence;
    QByteArray m_utf8;
};

// Starting the program when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual LoginItemStatus status() = 0;
    // Both throw LoginItemError.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
};

} // namespace lunorvale
