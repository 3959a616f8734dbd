#pragma once

#include "app/ports/LoginItem.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace lunorvale {

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
