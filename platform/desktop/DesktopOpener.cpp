#include "platform/desktop/DesktopOpener.h"

#include "platform/ChildProcesses.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lunorvale {

namespace SystemSettings {

std::optional<DesktopCommand> notifications(const std::function<bool(const QString&)>& hasProgram) {
    static const QList<DesktopCommand> commands{
        {QStringLiteral("gnome-control-center"), {QStringLiteral("notifications")}},
        {QStringLiteral("systemsettings"), {QStringLiteral("kcm_notifications")}},
        {QStringLiteral("xfce4-notifyd-config"), {}}};
    for (const DesktopCommand& command : commands) {
        if (hasProgram(command.program))
            return command;
    }
    return std::nullopt;
}

std::optional<DesktopCommand> loginItems(const std::function<bool(const QString&)>& hasProgram) {
    const DesktopCommand command{QStringLiteral("systemsettings"), {QStringLiteral("kcm_autostart")}};
    if (hasProgram(command.program))
        return command;
    return std::nullopt;
}

} // namespace SystemSettings

namespace {

bool onPath(const QString& name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

bool start(const std::optional<DesktopCommand>& command) {
    return command && startDetached(command->program, command->arguments);
}

} // namespace

SystemDesktopOpener::SystemDesktopOpener(UrlOpener& urls, FileRevealer& files, QString loginEntry)
    : m_urls(urls), m_files(files), m_loginEntry(std::move(loginEntry)) {}

bool SystemDesktopOpener::openNotificationSettings() {
    return start(SystemSettings::notifications(&onPath));
}

void SystemDesktopOpener::openLoginItemSettings() {
    if (start(SystemSettings::loginItems(&onPath)) || m_loginEntry.isEmpty())
        return;
    // No settings of the desktop's own: the entry itself, or the folder it would be in.
    const QFileInfo entry(m_loginEntry);
    if (entry.exists())
        reveal(entry.absoluteFilePath());
    else if (QFileInfo(entry.absolutePath()).isDir())
        reveal(entry.absolutePath());
    else
        reveal(QFileInfo(entry.absolutePath()).absolutePath());
}

void SystemDesktopOpener::revealLoginItems() {
    if (m_loginEntry.isEmpty())
        return;
    // The desktop's login items are the autostart entries: their folder, or the one above it when
    // there is none yet.
    const QString autostart = QFileInfo(m_loginEntry).absolutePath();
    reveal(QDir(autostart).exists() ? autostart : QFileInfo(autostart).absolutePath());
}

bool SystemDesktopOpener::openURL(const QUrl& url) {
    return m_urls.open(url);
}

void SystemDesktopOpener::reveal(const QString& path) {
    m_files.reveal(QUrl::fromLocalFile(path));
}

} // namespace lunorvale
