#include "platform/desktop/DesktopOpener.h"
#include "platform/files/AtomicFile.h"
#include "support/EventLoop.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

struct RecordingDesktop final : UrlOpener, FileRevealer {
    QStringList log; // "url:URL", "reveal:PATH"
    bool open(const QUrl& url) override {
        log.append(QStringLiteral("url:") + url.toString());
        return true;
    }
    void reveal(const QUrl& item) override { log.append(QStringLiteral("reveal:") + item.toLocalFile()); }
};

} // namespace

TEST(DesktopOpener, TheDesktopsOwnSettingsComeFromTheFirstProgramFound) {
    const DesktopCommand gnome{QStringLiteral("gnome-control-center"), {QStringLiteral("notifications")}};
    const DesktopCommand kde{QStringLiteral("systemsettings"), {QStringLiteral("kcm_notifications")}};
    const DesktopCommand xfce{QStringLiteral("xfce4-notifyd-config"), {}};
    const DesktopCommand autostart{QStringLiteral("systemsettings"), {QStringLiteral("kcm_autostart")}};
    const struct {
        QStringList onPath;
        std::optional<DesktopCommand> notifications, loginItems;
    } cases[] = {
        {{"xfce4-notifyd-config", "systemsettings", "gnome-control-center"}, gnome, autostart},
        {{"xfce4-notifyd-config", "systemsettings"}, kde, autostart},
        {{"xfce4-notifyd-config"}, xfce, std::nullopt},
        {{}, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto onPath = [&](const QString& name) {
            return c.onPath.contains(name);
        };
        EXPECT_EQ(SystemSettings::notifications(onPath), c.notifications)
            << c.onPath.join(u' ').toStdString();
        EXPECT_EQ(SystemSettings::loginItems(onPath), c.loginItems) << c.onPath.join(u' ').toStdString();
    }
}

// Where the desktop has no settings for login items, the autostart entry is shown in the file manager:
// the entry, else the folder it would be in, else the folder above that. The library's login items are
// the folder itself, or the one above it. With KDE's settings on PATH, those are started instead.
TEST(DesktopOpener, LoginItemsAreTheDesktopsSettingsOrTheAutostartEntry) {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("config/autostart"));
    const QString entry = folder + QStringLiteral("/lunorvale.desktop");
    QTemporaryDir bin;
    const ScopedVariable path("PATH", bin.path());
    const struct {
        const char* name;
        bool makeFolder, makeEntry;
        QString settings, items; // what each shows
    } cases[] = {
        {"entry", true, true, entry, folder},
        {"folder only", true, false, folder, folder},
        {"neither", false, false, home.filePath(QStringLiteral("config")),
         home.filePath(QStringLiteral("config"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder).removeRecursively();
        if (c.makeFolder) {
            ASSERT_TRUE(QDir().mkpath(folder));
        }
        if (c.makeEntry)
            AtomicFile::write(entry, "[Desktop Entry]\n");
        RecordingDesktop desktop;
        SystemDesktopOpener opener(desktop, desktop, entry);
        opener.openLoginItemSettings();
        opener.revealLoginItems();
        EXPECT_EQ(desktop.log, (QStringList{"reveal:" + c.settings, "reveal:" + c.items}));
    }

    // KDE's autostart settings, started detached with their arguments; nothing is revealed.
    const QString record = bin.filePath(QStringLiteral("arguments"));
    AtomicFile::write(
        bin.filePath(QStringLiteral("systemsettings")),
        ("#!/bin/sh\necho \"$@\" > '" + record + "'.tmp\n/bin/mv '" + record + "'.tmp '" + record + "'\n")
            .toUtf8(),
        0755);
    RecordingDesktop desktop;
    SystemDesktopOpener opener(desktop, desktop, entry);
    opener.openLoginItemSettings();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(record); }));
    QFile arguments(record);
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_EQ(arguments.readAll(), QByteArray("kcm_autostart\n"));
    EXPECT_TRUE(desktop.log.isEmpty());
    arguments.close();
    // Without GNOME's, KDE's notification settings; web pages go to the desktop's handler.
    EXPECT_TRUE(opener.openNotificationSettings());
    EXPECT_TRUE(waitUntil([&] {
        QFile written(record);
        return written.open(QIODevice::ReadOnly) && written.readAll() == "kcm_notifications\n";
    }));
    EXPECT_TRUE(opener.openURL(QUrl(QStringLiteral("https://example.invalid/page"))));
    EXPECT_EQ(desktop.log, QStringList{QStringLiteral("url:https://example.invalid/page")});
}
