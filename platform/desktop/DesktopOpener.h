#pragma once

#include "app/ports/DesktopOpener.h"
#include "app/ports/FileRevealer.h"
#include "app/ports/UrlOpener.h"
#include "platform/desktop/LoginItem.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

namespace lunorvale {

// A program to start and its arguments; the program is looked up on PATH.
struct DesktopCommand {
    QString program;
    QStringList arguments;
    friend bool operator==(const DesktopCommand&, const DesktopCommand&) = default;
};

namespace SystemSettings {
// The notification settings of the first desktop whose settings program is on PATH (GNOME, KDE,
// Xfce); absent when none is.
std::optional<DesktopCommand> notifications(const std::function<bool(const QString&)>& hasProgram);
// KDE's autostart settings; absent elsewhere (the autostart entry is then shown in the file manager).
std::optional<DesktopCommand> loginItems(const std::function<bool(const QString&)>& hasProgram);
} // namespace SystemSettings

// The desktop itself: its settings programs found on PATH and started detached with the program's
// original open-file limit, web pages and folders through `urls`, reveals through `files`. Without
// settings for login items, the autostart entry `loginEntry` is shown in the file manager instead:
// the entry itself, or the folder it would be in, or the folder above that.
class SystemDesktopOpener final : public DesktopOpener {
public:
    // `urls` and `files` outlive the opener.
    SystemDesktopOpener(UrlOpener& urls, FileRevealer& files,
                        QString loginEntry = AutostartLoginItem::defaultEntryPath());

    bool openNotificationSettings() override;
    void openLoginItemSettings() override;
    void revealLoginItems() override;
    bool openURL(const QUrl& url) override;

private:
    void reveal(const QString& path);

    UrlOpener& m_urls;
    FileRevealer& m_files;
    QString m_loginEntry;
};

} // namespace lunorvale
