#include "platform/desktop/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lunorvale;

// What the desktop or the user may leave in the autostart folder, and what each means for this copy.
TEST(AutostartLoginItem, StatusOfTheEntryFoundThere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = QCoreApplication::applicationFilePath();
    const QString entry = dir.filePath(QStringLiteral("autostart/lunorvale.desktop"));
    const QByteArray ours = "Exec=" + program.toUtf8() + " --login-launch\n";
    const struct {
        const char* name;
        std::optional<QByteArray> text; // absent: no entry
        LoginItemStatus expected;
    } cases[] = {
        {"absent", std::nullopt, LoginItemStatus::notRegistered},
        {"ours", "[Desktop Entry]\n" + ours, LoginItemStatus::enabled},
        {"hidden", "[Desktop Entry]\nHidden=true\n" + ours, LoginItemStatus::notRegistered},
        {"switched off", "[Desktop Entry]\n" + ours + "X-GNOME-Autostart-enabled=false\n",
         LoginItemStatus::notRegistered},
        {"hidden copy elsewhere", "[Desktop Entry]\nHidden=true\nExec=/opt/old/lunorvale\n",
         LoginItemStatus::notRegistered},
        {"another copy", "[Desktop Entry]\nExec=/opt/old/lunorvale --login-launch\n",
         LoginItemStatus::notFound},
        {"no Exec", "[Desktop Entry]\nType=Application\n", LoginItemStatus::unknown},
        {"Exec in another group", "[Other]\n" + ours, LoginItemStatus::unknown},
        {"open quote", "[Desktop Entry]\nExec=\"" + program.toUtf8() + "\n", LoginItemStatus::unknown},
    };
    for (const auto& c : cases) {
        QFile::remove(entry);
        if (c.text) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(entry).path()));
            QFile file(entry);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(*c.text);
        }
        EXPECT_EQ(AutostartLoginItem(program, entry).status(), c.expected) << c.name;
    }
    // A program that has gone from where the entry names it.
    const QString gone = dir.filePath(QStringLiteral("moved/lunorvale"));
    AutostartLoginItem moved(gone, entry);
    moved.registerItem();
    EXPECT_EQ(moved.status(), LoginItemStatus::notFound);
    // An entry that cannot be read.
    QFile::remove(entry);
    ASSERT_TRUE(QDir().mkpath(entry));
    EXPECT_EQ(AutostartLoginItem(program, entry).status(), LoginItemStatus::unknown);
}
