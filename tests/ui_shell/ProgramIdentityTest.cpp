// Where the desktop meets the program outside its windows: the icon each reminder carries, and the
// desktop file the windows are matched with.
#include "app/shell/ProgramIdentity.h"
#include "app/shell/StatusItem.h"
#include "platform/desktop/FreedesktopNotifications.h"
#include "support/EventLoop.h"
#include "support/FakeDesktop.h"
#include "support/PrivateBus.h"

#include <QDBusArgument>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lunorvale;

TEST(ProgramIdentity, EveryReminderCarriesTheProgramIconAsItsImage) {
    test::PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    test::FakeNotificationServer server(bus.connect(QStringLiteral("server")));
    FreedesktopNotifications center(bus.connect(QStringLiteral("client")));
    center.setImage(ProgramIdentity::notificationImage(48));

    int posted = 0;
    for (const QString& identifier : {QStringLiteral("7:1:a"), QStringLiteral("8:1:b")})
        center.add({identifier, QStringLiteral("标题"), QStringLiteral("正文"), {}},
                   [&](const std::optional<QString>& error) {
                       EXPECT_FALSE(error) << error->toStdString();
                       ++posted;
                   });
    ASSERT_TRUE(test::waitUntil([&] { return posted == 2; }));
    ASSERT_EQ(server.shown.size(), 2);

    // The icon is drawn as the tray draws it with nothing to report, pixel for pixel.
    const QImage expected = StatusItem::iconPixmap(48, {}).toImage().convertToFormat(QImage::Format_RGBA8888);
    for (const test::FakeNotificationServer::Shown& shown : server.shown) {
        // No theme holds an icon of that name: none is asked for.
        EXPECT_TRUE(shown.appIcon.isEmpty()) << shown.appIcon.toStdString();
        ASSERT_TRUE(shown.hints.contains(QStringLiteral("image-data")));
        const auto argument = shown.hints.value(QStringLiteral("image-data")).value<QDBusArgument>();
        EXPECT_EQ(argument.currentSignature(), QStringLiteral("(iiibiiay)"));
        NotificationImage image;
        argument >> image;
        EXPECT_EQ(image.width, 48);
        EXPECT_EQ(image.height, 48);
        EXPECT_TRUE(image.hasAlpha);
        EXPECT_EQ(image.bitsPerSample, 8);
        EXPECT_EQ(image.channels, 4);
        ASSERT_GE(image.rowStride, image.width * 4);
        ASSERT_EQ(image.pixels.size(), qsizetype(image.rowStride) * image.height);
        const QImage received(reinterpret_cast<const uchar*>(image.pixels.constData()), image.width,
                              image.height, image.rowStride, QImage::Format_RGBA8888);
        EXPECT_EQ(received, expected);
    }

    // Without an image a reminder carries none.
    FreedesktopNotifications plain(bus.connect(QStringLiteral("plain")));
    plain.add({QStringLiteral("9:1:c"), QStringLiteral("标题"), QStringLiteral("正文"), {}},
              [&](const std::optional<QString>&) { ++posted; });
    ASSERT_TRUE(test::waitUntil([&] { return posted == 3; }));
    EXPECT_FALSE(server.shown.last().hints.contains(QStringLiteral("image-data")));
}

TEST(ProgramIdentity, ADesktopFileIsNamedOnlyWhereOneIsInstalled) {
    QTemporaryDir home, system;
    const QStringList folders = {home.filePath(QStringLiteral("applications")),
                                 system.filePath(QStringLiteral("applications"))};
    const auto install = [](const QString& folder, const QString& file) {
        ASSERT_TRUE(QDir().mkpath(folder));
        QFile entry(folder + QLatin1Char('/') + file);
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Lunorvale\nName[zh_CN]=岚栖\n");
    };
    EXPECT_EQ(ProgramIdentity::desktopFileName(folders), std::nullopt);
    // Another program's file is no reason.
    install(folders[0], QStringLiteral("other.desktop"));
    EXPECT_EQ(ProgramIdentity::desktopFileName(folders), std::nullopt);
    // The program's own, in any of the folders.
    install(folders[1], QStringLiteral("lunorvale.desktop"));
    EXPECT_EQ(ProgramIdentity::desktopFileName(folders), QStringLiteral("lunorvale"));
}
