#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <exception>
#include <optional>

namespace lunorvale {

enum class LoginItemStatus { notRegistered, enabled, requiresApproval, notFound, unknown };
// What the settings show for a status: "未开启", "已开启", "等待系统批准", "应用位置不可用", "状态未知".
QString title(LoginItemStatus status);

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

// The XDG autostart entry $XDG_CONFIG_HOME/autostart/lunorvale.desktop, whose Exec is the absolute
// program path followed by `loginLaunchArgument`. An entry switched off by the desktop (Hidden, or
// X-GNOME-Autostart-enabled=false) is not registered; one naming another program path (an older copy
// elsewhere) or a program that is gone is not found; one that cannot be read is unknown.
class AutostartLoginItem final : public LoginItem {
public:
    static constexpr char loginLaunchArgument[] = "--login-launch";

    // The entry's default place.
    static QString defaultEntryPath();

    AutostartLoginItem(QString programPath, QString entryPath = defaultEntryPath());

    LoginItemStatus status() override;
    void registerItem() override;
    void unregisterItem() override;

    // The entry's text for a program path; absent when the path cannot be written into an entry.
    static std::optional<QByteArray> entryText(const QString& programPath);
    // The arguments of an Exec value (after the entry's own escapes), with quoting undone.
    static std::optional<QStringList> execArguments(const QString& value);

private:
    QString m_programPath;
    QString m_entryPath;
};

} // namespace lunorvale
