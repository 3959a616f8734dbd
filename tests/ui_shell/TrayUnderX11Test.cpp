// The tray icon as a panel sees it: the program under Xvfb, registering with a StatusNotifierWatcher
// that this test plays (its properties listed in its introspection data, as Qt asks for them).
#include "app/model/AppModel.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/ProgramRun.h"
#include "support/VirtualDisplay.h"
#include "ui_kit/WindowWaits.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace lunorvale;
using lunorvale::test::RunningProgram;
using lunorvale::test::VirtualDisplay;

TEST(TrayUnderX11, OneItemWithAPlainTooltipWhosePopoverTogglesAndNoWindowAtLogin) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    VirtualDisplay display;
    ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";

    QThread thread;
    thread.start();
    test::FakeStatusNotifierWatcher watcher;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllContents));
    // Registered first: QtDBus gives the object a child that relays its signals, which moves along.
    watcher.moveToThread(&thread);
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

    const QMap<QString, QString> x11 = {{"DISPLAY", display.name()}, {"QT_QPA_PLATFORM", "xcb"}};
    // A screenshot run makes no tray icon.
    QTemporaryDir output;
    RunningProgram preview({"--render-preview", output.filePath(QStringLiteral("x.png")), "menu"}, x11);
    EXPECT_EQ(preview.finish(), 0);
    EXPECT_TRUE(watcher.items().isEmpty());

    // Onboarding done: a launch at login shows the tray icon only.
    QMap<QString, QString> onboarded = x11;
    onboarded.insert(QStringLiteral("XDG_CONFIG_HOME"), output.path());
    SettingsStore(output.filePath(QStringLiteral("Lunorvale/defaults.json")))
        .setValue(AppModel::Keys::hasCompletedOnboarding, true);
    RunningProgram program({"--login-launch"}, onboarded);
    ASSERT_TRUE(test::qtWaitFor([&] { return !watcher.items().isEmpty(); }));
    EXPECT_FALSE(display.showsWindowOfSize(344, 405));

    QString service = watcher.items().first();
    QString path = QStringLiteral("/StatusNotifierItem");
    if (service.contains(QLatin1Char('/'))) {
        path = service.mid(service.indexOf(QLatin1Char('/')));
        service = service.left(service.indexOf(QLatin1Char('/')));
    }

    // The panel draws the tooltip itself, from plain text.
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("ToolTip");
    const QDBusMessage toolTip = QDBusConnection::sessionBus().call(get, QDBus::Block, 5000);
    ASSERT_EQ(toolTip.type(), QDBusMessage::ReplyMessage) << toolTip.errorMessage().toStdString();
    const QDBusArgument tip =
        toolTip.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    QString iconName, title, subtitle;
    tip.beginStructure();
    tip >> iconName;
    tip.beginArray();
    while (!tip.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        tip.beginStructure();
        tip >> width >> height >> pixels;
        tip.endStructure();
    }
    tip.endArray();
    tip >> title >> subtitle;
    tip.endStructure();
    EXPECT_TRUE(title.startsWith(QStringLiteral("岚栖 · "))) << title.toStdString();
    EXPECT_FALSE(title.contains(u'<') || subtitle.contains(u'<')) << title.toStdString();

    // Where the panel lists its items by name, the program's own.
    QDBusMessage getTitle = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    getTitle << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Title");
    const QDBusMessage itemTitle = QDBusConnection::sessionBus().call(getTitle, QDBus::Block, 5000);
    ASSERT_EQ(itemTitle.type(), QDBusMessage::ReplyMessage) << itemTitle.errorMessage().toStdString();
    EXPECT_EQ(itemTitle.arguments().value(0).value<QDBusVariant>().variant().toString(),
              QStringLiteral("岚栖"));

    // The panel's activation opens the popover; a second closes it.
    const auto activate = [&] {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
        call << 640 << 10;
        return QDBusConnection::sessionBus().call(call, QDBus::Block, test::waitBoundMs).type() ==
               QDBusMessage::ReplyMessage;
    };
    ASSERT_TRUE(activate());
    EXPECT_TRUE(test::qtWaitFor([&] { return display.showsWindowOfSize(344, 405); }));
    // Typed as a menu, it gets the shadow the desktop draws under menus.
    EXPECT_TRUE(display.property(display.windowOfSize(344, 405), QStringLiteral("_NET_WM_WINDOW_TYPE"))
                    .contains(QStringLiteral("_NET_WM_WINDOW_TYPE_POPUP_MENU")));
    // Window rules match an ASCII class (a Latin-1 property), while the title stays the program's own.
    const std::string asciiClass = "WM_CLASS(STRING) = \"lunorvale\", \"Lunorvale\"\n";
    EXPECT_EQ(display.property(display.windowOfSize(344, 405), QStringLiteral("WM_CLASS")).toStdString(),
              asciiClass);
    EXPECT_EQ(display.title(display.windowOfSize(344, 405)), QStringLiteral("岚栖 · 菜单"));
    // The program answered the panel after its launch had ended: one icon, and no main window.
    EXPECT_EQ(watcher.items().size(), 1);
    EXPECT_FALSE(display.showsWindowOfSize(1180, -1));
    ASSERT_TRUE(activate());
    EXPECT_TRUE(test::qtWaitFor([&] { return !display.showsWindowOfSize(344, 405); }));

    // A second start shows the running copy's window, titled exactly as the program names it.
    RunningProgram second({}, onboarded);
    EXPECT_EQ(second.finish(), 0);
    EXPECT_TRUE(test::qtWaitFor([&] { return display.showsWindowOfSize(1180, -1); }));
    EXPECT_EQ(display.title(display.windowOfSize(1180, -1)), QStringLiteral("岚栖 · Lunorvale"));
    EXPECT_EQ(display.property(display.windowOfSize(1180, -1), QStringLiteral("WM_CLASS")).toStdString(),
              asciiClass);
    // With the program's icon for the taskbar and the window switcher, large enough for either.
    EXPECT_TRUE(display.property(display.windowOfSize(1180, -1), QStringLiteral("_NET_WM_ICON"))
                    .contains(QStringLiteral("Icon (128 x 128)")));

    program.signal(SIGTERM);
    EXPECT_EQ(program.finish(), 0);

    bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    thread.quit();
    thread.wait();
}
