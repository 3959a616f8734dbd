// The tray icon as a panel sees it: the program under Xvfb, registering with a StatusNotifierWatcher
// that this test plays (its properties listed in its introspection data, as Qt asks for them).
#include "app/model/AppModel.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/ProgramRun.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace lunorvale;
using lunorvale::test::RunningProgram;

namespace {

// A virtual X display for the length of a test.
class VirtualDisplay final {
public:
    VirtualDisplay() {
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
        if (m_server.waitForReadyRead(60000))
            m_name = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~VirtualDisplay() {
        m_server.terminate();
        m_server.waitForFinished();
    }
    const QString& name() const { return m_name; }

    // Whether a window of this size is mapped and viewable.
    bool showsWindowOfSize(int width, int height) const {
        QProcess tree;
        tree.start(QStringLiteral("xwininfo"),
                   {QStringLiteral("-display"), m_name, QStringLiteral("-root"), QStringLiteral("-tree")});
        tree.waitForFinished(60000);
        const QRegularExpression window(QStringLiteral(R"((0x[0-9a-f]+) .*\s(\d+)x(\d+)\+)"));
        for (const QString& line : QString::fromUtf8(tree.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch match = window.match(line);
            if (!match.hasMatch() || match.captured(2).toInt() != width ||
                match.captured(3).toInt() != height)
                continue;
            QProcess info;
            info.start(QStringLiteral("xwininfo"),
                       {QStringLiteral("-display"), m_name, QStringLiteral("-id"), match.captured(1)});
            info.waitForFinished(60000);
            if (info.readAllStandardOutput().contains("IsViewable"))
                return true;
        }
        return false;
    }

private:
    QProcess m_server;
    QString m_name;
};

} // namespace

TEST(TrayUnderX11, OneItemWhosePopoverTogglesAndNoWindowAtLogin) {
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items().isEmpty(); }, 60000));
    EXPECT_FALSE(display.showsWindowOfSize(344, 405));

    // The panel's activation opens the popover; a second closes it.
    QString service = watcher.items().first();
    QString path = QStringLiteral("/StatusNotifierItem");
    if (service.contains(QLatin1Char('/'))) {
        path = service.mid(service.indexOf(QLatin1Char('/')));
        service = service.left(service.indexOf(QLatin1Char('/')));
    }
    const auto activate = [&] {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
        call << 640 << 10;
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 60000).type() ==
               QDBusMessage::ReplyMessage;
    };
    ASSERT_TRUE(activate());
    EXPECT_TRUE(QTest::qWaitFor([&] { return display.showsWindowOfSize(344, 405); }, 60000));
    // The program answered the panel after its launch had ended: one icon, and no main window.
    EXPECT_EQ(watcher.items().size(), 1);
    EXPECT_FALSE(display.showsWindowOfSize(1180, 820));
    ASSERT_TRUE(activate());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !display.showsWindowOfSize(344, 405); }, 60000));

    program.signal(SIGTERM);
    EXPECT_EQ(program.finish(), 0);

    bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    thread.quit();
    thread.wait();
}
