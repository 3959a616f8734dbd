#include "platform/DesktopEntries.h"
#include "platform/DesktopLaunch.h"
#include "platform/probes/ProcCgroupParse.h"
#include "support/Files.h"

#include <QTemporaryDir>
#include <charconv>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(ProcCgroupParse, TheUnitOfSystemdsHierarchy) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        // Unified only (a current desktop).
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-firefox\\x2desr-3412.scope\n",
         "app-gnome-firefox\\x2desr-3412.scope"},
        // Hybrid: systemd's own hierarchy wins over the unified one, wherever it stands.
        {"12:pids:/user.slice\n1:name=systemd:/user.slice/user-1000.slice/session-2.scope\n"
         "0::/app-flatpak-org.gnome.Maps-1.scope\n",
         "session-2.scope"},
        // Hybrid where systemd's hierarchy shows the root: the unified one.
        {"9:name=systemd:/\n0::/app-gnome-org.example.Busy-42.scope\n",
         "app-gnome-org.example.Busy-42.scope"},
        // Colons belong to the path.
        {"0::/user.slice/app-dbus\\x2d:1.2\\x2dorg.gnome.Nautilus@0.service\n",
         "app-dbus\\x2d:1.2\\x2dorg.gnome.Nautilus@0.service"},
        {"0::/\n", ""},
        {"3:memory:/x.scope\n", ""},
        // A line cut short by the buffer is no name.
        {"0::/user.slice/app-gnome-org.gnome.Calcul", ""},
        {"", ""},
    };
    for (const auto& [text, unit] : cases)
        EXPECT_EQ(probes::systemdUnit(text), unit) << text;
}

TEST(DesktopLaunch, IDsOfDesktopLaunchUnits) {
    const std::string longSnap = "snap." + std::string(200, 'a') + '.' + std::string(50, 'b') +
                                 "-4706fe54-7802-4808-aa7e-ae8b567239e0.scope";
    const std::pair<std::string_view, QStringList> cases[] = {
        // GNOME: launcher, escaped dashes.
        {"app-gnome-org.gnome.Nautilus-3456.scope", {"gnome-org.gnome.Nautilus", "org.gnome.Nautilus"}},
        {"app-gnome-google\\x2dchrome-8842.scope", {"gnome-google-chrome", "google-chrome"}},
        {"app-gnome-org.example.Busy-42.scope", {"gnome-org.example.Busy", "org.example.Busy"}},
        // KDE: no launcher, a service with a random instance, autostart, a scope.
        {"app-org.kde.dolphin@5a8e2a4f0b3c4d7e.service", {"org.kde.dolphin"}},
        {"app-org.kde.kdeconnect.daemon@autostart.service", {"org.kde.kdeconnect.daemon"}},
        {"app-org.kde.konsole-8d4c1f3a9e0b4f5d.scope", {"org.kde.konsole"}},
        {"app-firefox\\x2desr.service", {"firefox-esr"}},
        // Flatpak.
        {"app-flatpak-org.mozilla.firefox-12345.scope",
         {"flatpak-org.mozilla.firefox", "org.mozilla.firefox"}},
        // Snap: the UUID is joined with a dash; hooks name no desktop file.
        {"snap.firefox.firefox-6b1e2d5a-3c4f-4e8a-9b7d-0123456789ab.scope", {"firefox_firefox"}},
        {"snap.hello-world.sh-4706fe54-7802-4808-aa7e-ae8b567239e0.scope", {"hello-world_sh"}},
        {"snap.lxd.hook.configure-4706fe54-7802-4808-aa7e-ae8b567239e0.scope", {}},
        {"snap.firefox.firefox.scope", {}},
        // Each part fits a file name, the joined ID does not.
        {longSnap, {}},
        // Escapes: other bytes, UTF-8 and what a file name cannot hold.
        {"app-gnome-org.example.Caf\\xc3\\xa9-1.scope", {"gnome-org.example.Café", "org.example.Café"}},
        {"app-gnome-\\x2e\\x2e\\x2fetc\\x2fpasswd-1.scope", {}},
        {"app-gnome-bad\\xff-1.scope", {}},
        {"app-gnome-org.x\\x0a-1.scope", {}},
        {"app-\xc2\x91sp-1.scope", {}}, // a control character of the wider range, unescaped
        // A byte-order mark is part of the name, leading it or not: never dropped, so never an empty ID.
        {"app-grp-\xef\xbb\xbf-34\xb5.scope", {QStringLiteral("grp-\uFEFF"), QStringLiteral("\uFEFF")}},
        {"app-gnome-\xef\xbb\xbf-42.scope", {QStringLiteral("gnome-\uFEFF"), QStringLiteral("\uFEFF")}},
        {"app-\xef\xbb\xbf-42.scope", {QStringLiteral("\uFEFF")}},
        {"app-gnome-\\xef\\xbb\\xbffirefox-1.scope",
         {QStringLiteral("gnome-\uFEFFfirefox"), QStringLiteral("\uFEFFfirefox")}},
        // Not desktop launches: they stay standalone.
        {"vte-spawn-5f0b6b2e-9e1c-4c3a-8a51-3b2d0f5e4c71.scope", {}},
        {"session-2.scope", {}},
        {"user@1000.service", {}},
        {"init.scope", {}},
        {"app.slice", {}},
        {"app-org.gnome.Terminal.slice", {}},
        {"app-nodash.scope", {}},
        {"app-gnome-org.x-.scope", {}},
        {"", {}},
    };
    for (const auto& [unit, ids] : cases)
        EXPECT_EQ(DesktopLaunch::applicationIDs(unit), ids) << unit;
}

TEST(DesktopEntries, NameOfADesktopFile) {
    const std::pair<QByteArray, std::optional<QString>> cases[] = {
        {"[Desktop Entry]\nName=Files\nName[zh]=文件\nName[zh_CN]=文件管理\n", QStringLiteral("文件管理")},
        {"[Desktop Entry]\nName=Files\nName[zh]=文件\n", QStringLiteral("文件")},
        {"[Desktop Entry]\r\n# comment\r\nType=Application\r\nName = Files \r\n", QStringLiteral("Files")},
        {"[Desktop Entry]\nName[zh_CN]=\nName=Files\n", QStringLiteral("Files")},
        {"[Desktop Entry]\nName=A\\sB\\nC\\tD\\\\E\n", QStringLiteral("A B C D\\E")},
        // Only the entry's group counts: keys before it, and other groups after it, do not.
        {"Name=Loose\n[Desktop Entry]\nType=Application\n[Desktop Action new]\nName=New window\n",
         std::nullopt},
        {"[Desktop Action x]\nName=X\n[Desktop Entry]\nName=Y\n", std::nullopt},
        {"[Desktop Entry]\nName[zh_CN]=\xff\xfe\nName[zh]=\xe6\x96\x87\n", QStringLiteral("文")},
        {QByteArray::fromStdString(std::string("[Desktop Entry]\nName[zh_CN]=Bi\0nary\nName=X\n", 43)),
         QStringLiteral("X")},
        {"[Desktop Entry]\nName=" + QByteArray(5000, 'x') + "\nName[zh]=短\n", QStringLiteral("短")},
        {"", std::nullopt},
    };
    for (const auto& [text, name] : cases)
        EXPECT_EQ(DesktopEntries::name(text), name) << text.left(80).toStdString();
}

// A name from a desktop file reads as what it holds: no bidirectional marks or overrides, and no remains
// of a terminal's escape sequences.
TEST(DesktopEntries, HostileNamesKeepOnlyWhatTheyShow) {
    // Literals are split where a hex escape would run on into the next character.
    const std::pair<QByteArray, std::optional<QString>> cases[] = {
        {"[Desktop Entry]\nName=\xe2\x80\xae"
         "exe.txt\xe2\x80\xac Viewer\n",
         QStringLiteral("exe.txt Viewer")},
        {"[Desktop Entry]\nName=\xe2\x81\xa6"
         "A\xe2\x81\xa9\xe2\x80\x8e\xe2\x80\x8f"
         "B\n",
         QStringLiteral("AB")},
        {"[Desktop Entry]\nName=\x1b[31mRed\x1b[0m Files\n", QStringLiteral("Red Files")},
        {"[Desktop Entry]\nName=\x1b]0;pwned\x07Title\n", QStringLiteral("Title")},
        {"[Desktop Entry]\nName=Ring\x07"
         "Bell\n",
         QStringLiteral("RingBell")},
        {"[Desktop Entry]\nName[zh_CN]=\xe2\x80\xae\x1b[0m\nName=Files\n", QStringLiteral("Files")},
        // What draws nothing is no name: the next one, or none so that the ID is shown.
        {"[Desktop Entry]\nName=\x1b\xef\xbb\xbf", std::nullopt},
        {"[Desktop Entry]\nName=\xe2\x80\x8b\n", std::nullopt},
        {"[Desktop Entry]\nName[zh_CN]=\xe2\x80\x8b\xe2\x81\xa0\xd8\x9c\nName=Files\n",
         QStringLiteral("Files")},
        {"[Desktop Entry]\nName[zh]=\xf3\xa0\x80\x81\xf3\xa0\x81\xbf\nName=Files\n", QStringLiteral("Files")},
        {"[Desktop Entry]\nName=Fi\xe2\x80\x8dles\xef\xbb\xbf\n", QStringLiteral("Files")},
    };
    for (const auto& [text, name] : cases)
        EXPECT_EQ(DesktopEntries::name(text), name) << text.toStdString();
}

TEST(DesktopEntries, FirstFolderWinsAndChangesAreSeen) {
    QTemporaryDir root;
    const QString home = root.filePath(QStringLiteral("home"));
    const QString system = root.filePath(QStringLiteral("system"));
    ASSERT_TRUE(QDir().mkpath(system));
    writeFile(system + QStringLiteral("/org.example.Busy.desktop"), "[Desktop Entry]\nName=System Busy\n");
    writeFile(system + QStringLiteral("/org.example.Plain.desktop"), "[Desktop Entry]\nType=Application\n");
    DesktopEntries entries({home, system});
    const auto entry = [&](const QString& id) {
        return entries.entries({id}).value(0);
    };

    EXPECT_EQ(entry(QStringLiteral("org.example.Busy")),
              (ApplicationEntry{"org.example.Busy", "System Busy", system + "/org.example.Busy.desktop"}));
    EXPECT_EQ(entry(QStringLiteral("org.example.Plain")).name, QStringLiteral("org.example.Plain"));
    EXPECT_EQ(entry(QStringLiteral("org.example.None")),
              (ApplicationEntry{"org.example.None", "org.example.None", {}}));
    EXPECT_EQ(entries.firstFound({"gnome-org.example.Busy", "org.example.Busy"})->path,
              system + "/org.example.Busy.desktop");
    EXPECT_EQ(entries.firstFound({"gnome-org.example.None", "org.example.None"})->id, "org.example.None");

    // A file of the user's own, in a folder that did not exist, comes first from now on.
    writeFile(home + QStringLiteral("/org.example.Busy.desktop"), "[Desktop Entry]\nName[zh_CN]=忙碌\n");
    EXPECT_EQ(entry(QStringLiteral("org.example.Busy")).path, home + "/org.example.Busy.desktop");
    // A file is read again once its modification time or size changed, and only then.
    const QString file = home + QStringLiteral("/org.example.Busy.desktop");
    const auto rewrite = [&](const QByteArray& text, time_t modified) {
        writeFile(file, text);
        const utimbuf times{modified, modified};
        ASSERT_EQ(::utime(QFile::encodeName(file).constData(), &times), 0);
    };
    rewrite("[Desktop Entry]\nName[zh_CN]=很忙\n", 1'700'000'000);
    EXPECT_EQ(entry(QStringLiteral("org.example.Busy")).name, QStringLiteral("很忙"));
    rewrite("[Desktop Entry]\nName[zh_CN]=很闲\n", 1'700'000'000);
    EXPECT_EQ(entry(QStringLiteral("org.example.Busy")).name, QStringLiteral("很忙"));
    rewrite("[Desktop Entry]\nName[zh_CN]=很闲\n", 1'700'000'010);
    EXPECT_EQ(entry(QStringLiteral("org.example.Busy")).name, QStringLiteral("很闲"));
}

TEST(DesktopEntries, HostileFilesCostBoundedWork) {
    QTemporaryDir folder;
    // Past the read limit nothing is looked at: a name after 8 MiB of keys is never found.
    // Written in place: an allocation a line would cost a minute under the sanitizers.
    QByteArray huge = "[Desktop Entry]\n";
    huge.reserve(8 * 1024 * 1024 + 64);
    while (huge.size() < 8 * 1024 * 1024) {
        char number[24];
        const auto end = std::to_chars(number, number + sizeof number, huge.size()).ptr;
        huge.append("X-Key-").append(number, end - number).append("=value\n");
    }
    writeFile(folder.filePath(QStringLiteral("huge.desktop")), huge + "Name=Late\n");
    QByteArray binary(64 * 1024, '\0');
    for (qsizetype i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7919 % 251);
    writeFile(folder.filePath(QStringLiteral("binary.desktop")), binary);
    writeFile(folder.filePath(QStringLiteral("long.desktop")),
              "[Desktop Entry]\nName=" + QByteArray(1024 * 1024, 'n') + "\n");
    // A pipe under the name would block a plain read.
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("pipe.desktop"))).constData(), 0600),
              0);
    DesktopEntries entries({folder.path()});
    for (const char* id : {"huge", "binary", "long", "pipe"})
        EXPECT_EQ(entries.entries({QString::fromLatin1(id)}).value(0).name, QString::fromLatin1(id)) << id;
    EXPECT_TRUE(entries.entries({QStringLiteral("pipe")}).value(0).path.isEmpty());
}
