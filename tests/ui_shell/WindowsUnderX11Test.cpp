// The program's windows on an X server (Xvfb, no window manager), clicked the way a user clicks them
// (xdotool through the server): which window lies on top and where a click goes. Each test runs
// itself again in a child on a virtual display with Qt's xcb platform, as on an X11 desktop.
#include "app/model/AppModel.h"
#include "app/model/SoftwareUpdater.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/PopoverHost.h"
#include "app/shell/PreviewScenarios.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "platform/desktop/ColorSchemePortal.h"
#include "platform/desktop/PointerPresses.h"
#include "platform/desktop/SingleInstance.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/VirtualDisplay.h"
#include "ui/kit/LVAlert.h"
#include "ui/kit/LVButton.h"
#include "ui/library/LibraryParts.h"
#include "ui/settings/UpdateWindow.h"
#include "ui/settings/WelcomeView.h"
#include "ui/window/MainView.h"
#include "ui/window/MainViewBars.h"
#include "ui/window/MenuContent.h"

#include <QAbstractButton>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Runs the current test again in a child of this test program, on a display and a session bus of its
// own (where another test's tray host could not count its tray icon), managed by `windowManager` where
// one is named; nothing runs where that cannot start, and `managed` says whether it did.
void runAgainOnVirtualDisplay(const QString& windowManager = {}, bool* managed = nullptr,
                              QSize screen = {1280, 800}) {
    test::VirtualDisplay display(screen);
    ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";
    if (!windowManager.isEmpty() && !(*managed = display.startWindowManager(windowManager)))
        return;
    test::PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    const ::testing::TestInfo* current = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_filter=%1.%2")
             .arg(QString::fromUtf8(current->test_suite_name()), QString::fromUtf8(current->name()))});
    ASSERT_TRUE(child.waitForFinished(90000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << windowManager.toStdString() << "\n" << output.toStdString();
    // Neither skipped nor left out there.
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
}

// A click of the first button at `at` on the screen, through the X server.
void clickAt(QPoint at) {
    ASSERT_TRUE(QGuiApplication::primaryScreen()->geometry().contains(at));
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                {QStringLiteral("mousemove"), QString::number(at.x()),
                                 QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")}),
              0);
}

// The title the X server holds for `window`, as window managers and panels read it.
QString titleOnTheServer(const QWidget& window) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("getwindowname"), QString::number(window.winId())});
    xdotool.waitForFinished(60000);
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

// The same where `widget`'s middle lies.
void clickMiddleOf(const QWidget& widget) {
    clickAt(widget.mapToGlobal(widget.rect().center()));
}

// The desktop program over a scripted process table, launched as from the application menu.
struct X11Program {
    QTemporaryDir folder;
    InMemoryProcessPlatform processes;
    X11PointerPresses presses;
    std::optional<SettingsStore> settings;
    std::unique_ptr<AppDelegate> delegate;

    explicit X11Program(bool onboarded, const QByteArray& storedFrame = {}) {
        processes.put(InMemoryProcessPlatform::process(7, 1, "worker", QStringLiteral("/usr/bin/worker")));
        settings.emplace(folder.filePath(QStringLiteral("defaults.json")));
        settings->setValue(AppModel::Keys::hasCompletedOnboarding, onboarded);
        if (!storedFrame.isEmpty())
            settings->setValue(QString::fromLatin1(AppDelegate::windowFrameKey),
                               QString::fromLatin1(storedFrame.toBase64()));
        ShellServices services;
        services.makeModel = [this](bool preview) {
            AppModelServices model;
            model.processPlatform = &processes;
            model.settingsStore = settings;
            model.historyStore = [this] {
                return LocalHistoryStore(folder.filePath(QStringLiteral("history.json")));
            };
            return std::make_unique<AppModel>(preview, std::move(model));
        };
        services.settings = settings;
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("program"));
        services.makeSingleInstance = [bus] {
            return std::make_unique<SingleInstance>(
                bus, QStringLiteral("dev.lunorvale.Test.x%1").arg(QCoreApplication::applicationPid()));
        };
        services.makeColorScheme = [bus] {
            return std::make_unique<ColorSchemePortal>(bus);
        };
        services.trayHostAvailable = [] {
            return true;
        };
        services.pointerPresses = &presses;
        delegate = std::make_unique<AppDelegate>(std::move(services), std::nullopt, false);
        EXPECT_EQ(delegate->applicationDidFinishLaunching(), AppDelegate::Launch::running);
    }
    ~X11Program() {
        delegate.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("program"));
    }

    MainView& view() const { return *qobject_cast<MainView*>(delegate->window()->centralWidget()); }
};

} // namespace

TEST(WindowsUnderX11, TheWelcomeSheetOfAFirstLaunchLiesOverItsWindowAndTakesClicks) {
    if (!onX11())
        return runAgainOnVirtualDisplay();
    X11Program program(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(program.delegate->window()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.view().sheetDialog() != nullptr; }));
    QDialog* sheet = program.view().sheetDialog();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    EXPECT_EQ(titleOnTheServer(*sheet), QStringLiteral("岚栖"));
    auto* welcome = sheet->findChild<WelcomeView*>();
    ASSERT_TRUE(welcome);
    clickMiddleOf(*welcome->startButton());
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.delegate->model()->hasCompletedOnboarding(); }));
}

TEST(WindowsUnderX11, AClickInTheMainWindowClosesThePopoverAndReachesTheWindow) {
    if (!onX11())
        return runAgainOnVirtualDisplay();
    X11Program program(true);
    QMainWindow& window = *program.delegate->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // The popover opens at the pointer (there is no tray icon here): in the corner, off the bars.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                {QStringLiteral("mousemove"), QString::number(screen.right() - 5),
                                 QString::number(screen.bottom() - 5)}),
              0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QCursor::pos().x() > screen.center().x(); }));
    PopoverHost& popover = *program.delegate->popover();
    program.delegate->togglePopover();
    ASSERT_TRUE(popover.isShown());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popover.window()));

    QAbstractButton* processes = program.view().navigationBar()->pageButton(Pages::index(Page::processes));
    ASSERT_FALSE(popover.window()->geometry().contains(processes->mapToGlobal(processes->rect().center())));
    clickMiddleOf(*processes);
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.view().state().page == Page::processes; }));
    EXPECT_FALSE(popover.isShown());
}

// A click on the bare desktop (here: the root window, which no window manager hands out) takes the
// activation from nobody, yet closes the popover as a menu would; a click on the popover leaves it.
TEST(WindowsUnderX11, AClickOnTheBareDesktopClosesThePopoverAndOneOnItDoesNot) {
    if (!onX11())
        return runAgainOnVirtualDisplay();
    X11Program program(true);
    ASSERT_TRUE(program.presses.listen()) << "no XInput 2 on the display";
    program.presses.stopListening();
    program.delegate->window()->close();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint corner(screen.right() - 5, screen.bottom() - 5);
    ASSERT_EQ(QProcess::execute(
                  QStringLiteral("xdotool"),
                  {QStringLiteral("mousemove"), QString::number(corner.x()), QString::number(corner.y())}),
              0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QCursor::pos() == corner; }));
    PopoverHost& popover = *program.delegate->popover();
    program.delegate->togglePopover();
    ASSERT_TRUE(popover.isShown());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popover.window()));

    int heard = 0;
    QObject::connect(&program.presses, &PointerPresses::pressed, [&] { ++heard; });
    // On the popover's own surface (no control there): heard, and it stays.
    const QRect frame = popover.window()->frameGeometry();
    clickAt(QPoint(frame.left() + 3, frame.center().y()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard == 1; }));
    EXPECT_TRUE(popover.isShown());
    // On the bare desktop: closed.
    const QPoint bare(screen.left() + 20, screen.top() + 20);
    ASSERT_FALSE(frame.contains(bare));
    clickAt(bare);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !popover.isShown(); }));
    EXPECT_EQ(heard, 2);
}

namespace {

// Whether `widget`'s window holds the keys: active for the window manager (_NET_ACTIVE_WINDOW) and
// in the program.
bool holdsTheKeys(const QWidget& widget) {
    QProcess xdotool;
    xdotool.start("xdotool", {"getactivewindow"});
    xdotool.waitForFinished(60000);
    return QGuiApplication::focusWindow() == widget.windowHandle() &&
           xdotool.readAllStandardOutput().trimmed().toULongLong() == widget.winId();
}

} // namespace

// Under a real window manager, which may activate the main window when an alert over a sheet goes
// (a window blocked by the sheet takes no keys), the keys come back to the sheet every time.
TEST(WindowsUnderX11, AfterAnAlertOverASheetEscapeReachesTheSheetUnderAWindowManager) {
    if (!onX11()) {
        bool xfwm4 = false, openbox = false;
        runAgainOnVirtualDisplay(QStringLiteral("xfwm4"), &xfwm4);
        runAgainOnVirtualDisplay(QStringLiteral("openbox"), &openbox);
        if (!xfwm4 && !openbox)
            GTEST_SKIP() << "neither xfwm4 nor openbox could manage a virtual display";
        return;
    }
    QWidget main;
    main.resize(700, 500);
    main.show();
    int cancels = 0;
    auto* sheet = new LibrarySheet(
        new QLabel("卸载操作清单"), [&] { ++cancels; }, &main);
    sheet->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return holdsTheKeys(*sheet); }, 20000));
    const auto press = [](QStringList keys) {
        ASSERT_EQ(QProcess::execute("xdotool", keys), 0);
    };
    for (int round = 1; round <= 10; ++round) {
        // As the receipts sheet asks it, without a nested event loop that would hold this test.
        LVAlert alert({"清空卸载操作清单？", QString(), "清空清单", true}, sheet);
        alert.setWindowModality(Qt::WindowModal);
        alert.open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return holdsTheKeys(alert); }, 20000)) << round;
        press({"key", "Escape"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !alert.isVisible() && holdsTheKeys(*sheet); }, 10000))
            << round;
        press({"key", "Escape"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return cancels == round; }, 10000)) << round;
    }
    // Activated from outside (a taskbar, a click), the window under the sheet hands the keys back.
    press({"windowactivate", QString::number(main.winId())});
    EXPECT_TRUE(QTest::qWaitFor([&] { return holdsTheKeys(*sheet); }, 10000));
}

// Under a window manager the update window opens in front of the active main window and takes the keys,
// every time; Return in the download the user chose there (with Return or a click) leaves it running,
// and once closed, the window stays closed while the download goes on.
TEST(WindowsUnderX11, TheUpdateWindowOpensInFrontAndReturnLeavesTheDownloadChosenThereRunning) {
    if (!onX11()) {
        bool openbox = false, xfwm4 = false;
        runAgainOnVirtualDisplay(QStringLiteral("openbox"), &openbox);
        runAgainOnVirtualDisplay(QStringLiteral("xfwm4"), &xfwm4);
        if (!openbox && !xfwm4)
            GTEST_SKIP() << "neither openbox nor xfwm4 could manage a virtual display";
        return;
    }
    QWidget main;
    main.resize(700, 500);
    main.show();
    UpdateWindow window([&main] { return &main; });
    UpdateOffer offer;
    offer.item.version = QStringLiteral("1.2.0");
    // Holding the keys and stacked above the main window (_NET_CLIENT_LIST_STACKING, bottom first), which
    // may follow the keys a moment later; a window left behind stays there.
    const auto inFront = [&] {
        QProcess xprop;
        xprop.start("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
        xprop.waitForFinished(60000);
        QStringList stack = QString::fromLatin1(xprop.readAllStandardOutput()).section(u'#', 1).split(u',');
        for (QString& id : stack)
            id = id.trimmed();
        const qsizetype below = stack.indexOf(QStringLiteral("0x%1").arg(main.winId(), 0, 16));
        return holdsTheKeys(window) && below >= 0 &&
               stack.indexOf(QStringLiteral("0x%1").arg(window.winId(), 0, 16)) > below;
    };
    const auto press = [](const char* key) {
        ASSERT_EQ(QProcess::execute("xdotool", {"key", key}), 0);
    };
    for (int round = 1; round <= 8; ++round) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return holdsTheKeys(main); }, 20000)) << round;
        int cancels = 0;
        const auto cancel = [&] {
            ++cancels;
        };
        window.showUpdate(offer, [&](UpdateChoice) { window.showProgress(offer.item, 1, 2, cancel); });
        ASSERT_TRUE(QTest::qWaitFor(inFront, 20000)) << round;
        if (round % 2)
            press("Return");
        else
            clickMiddleOf(*window.findChild<QWidget*>(QStringLiteral("install")));
        // Escape closes the window and lets the download go on; once it has, Return came and went. The
        // next piece of the download leaves the closed window closed.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window.defaultButton() && inFront(); }, 20000)) << round;
        press("Return");
        press("Escape");
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.isHidden(); }, 10000)) << round;
        window.showProgress(offer.item, 2, 4, cancel);
        EXPECT_TRUE(window.isHidden()) << round;
        EXPECT_EQ(cancels, 0) << round;
        ASSERT_EQ(QProcess::execute("xdotool", {"windowactivate", QString::number(main.winId())}), 0);
    }
}

namespace {

// Where the X server holds `window`, the window manager's frame (_NET_FRAME_EXTENTS) included.
QRect frameOnTheServer(const QWidget& window) {
    const auto run = [&](const char* program, const QString& property) {
        QProcess process;
        process.start(program, {"-id", QString::number(window.winId()), property});
        process.waitForFinished(60000);
        return QString::fromLatin1(process.readAllStandardOutput());
    };
    QList<int> n; // x, y, width, height; then left, right, top, bottom
    const QRegularExpression field(R"((?:Absolute upper-left [XY]|Width|Height):\s+(-?\d+))");
    for (const QRegularExpressionMatch& match : field.globalMatch(run("xwininfo", "-stats")))
        n << match.captured(1).toInt();
    for (const QString& extent :
         run("xprop", "_NET_FRAME_EXTENTS").section(u'=', 1).split(u',', Qt::SkipEmptyParts))
        n << extent.toInt();
    n.resize(8);
    return QRect(n[0], n[1], n[2], n[3]).marginsAdded(QMargins(n[4], n[6], n[5], n[7]));
}

} // namespace

// On a laptop's 1366 × 768 screen the main window's frame starts at the top and fills the height, down to
// the window's least size, as wide as it is made where it has room: opened at launch, and from a frame
// stored on a larger screen.
TEST(WindowsUnderX11, TheMainWindowFitsASmallScreenUnderAWindowManager) {
    if (!onX11()) {
        bool openbox = false, xfwm4 = false;
        runAgainOnVirtualDisplay(QStringLiteral("openbox"), &openbox, QSize(1366, 768));
        runAgainOnVirtualDisplay(QStringLiteral("xfwm4"), &xfwm4, QSize(1366, 768));
        if (!openbox && !xfwm4)
            GTEST_SKIP() << "neither openbox nor xfwm4 could manage a virtual display";
        return;
    }
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget larger;
    larger.setGeometry(400, 300, 1800, 1000);
    for (const QByteArray& stored : {QByteArray(), larger.saveGeometry()}) {
        X11Program program(true, stored);
        QMainWindow& window = *program.delegate->window();
        const int width = stored.isEmpty() ? PreviewScenarios::mainWindowSize.width() : -1;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QRect frame = frameOnTheServer(window);
                const bool least = window.height() == window.minimumSizeHint().height();
                return frame.top() == 0 && frame.left() >= 0 && frame.right() <= screen.right() &&
                       (frame.bottom() == screen.bottom() || (least && frame.bottom() > screen.bottom())) &&
                       (width < 0 ? frame.width() == screen.width()
                                  : window.centralWidget()->width() == width);
            },
            20000))
            << stored.isEmpty();
    }
}

// The popover grows and shrinks while open under a tray icon (an update on offer comes and goes, a
// finding arrives and leaves): each lower button takes a press sent through the X server where the screen
// shows it, under either window manager, and stays under it until the release.
TEST(WindowsUnderX11, ThePopoversLowerButtonsTakeClicksWhereTheyShowAsItGrowsAndShrinks) {
    if (!onX11()) {
        bool openbox = false, xfwm4 = false;
        runAgainOnVirtualDisplay(QStringLiteral("openbox"), &openbox);
        runAgainOnVirtualDisplay(QStringLiteral("xfwm4"), &xfwm4);
        if (!openbox && !xfwm4)
            GTEST_SKIP() << "neither openbox nor xfwm4 could manage a virtual display";
        return;
    }
    X11Program program(true);
    program.delegate->window()->close();
    const auto press = [](const QString& command, QPoint at) {
        ASSERT_EQ(QProcess::execute("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()),
                                                command, "1"}),
                  0);
    };
    const QPoint icon(QGuiApplication::primaryScreen()->geometry().center().x(), 5);
    // The pointer stands for the tray icon, at the top of the screen: the popover opens downwards.
    QProcess::execute("xdotool", {"mousemove", QString::number(icon.x()), QString::number(icon.y())});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QCursor::pos() == icon; }));
    PopoverHost& popover = *program.delegate->popover();
    program.delegate->togglePopover();
    QWidget* window = popover.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    SoftwareUpdater& updater = *program.delegate->model()->softwareUpdater();
    AppcastItem offer;
    offer.displayVersion = QStringLiteral("9.9");
    const int table = window->height();
    const std::function<void()> steps[] = {
        [&] { updater.didFindValidUpdate(offer); },
        [&] { popover.setLeastHeight(table + 140); },
        [&] { popover.setLeastHeight(table + 40); },
        [&] { updater.didNotFindUpdate(); },
    };
    for (size_t step = 0; step < std::size(steps); ++step) {
        steps[step]();
        ASSERT_TRUE(test::deliverDue());
        // The screen shows, where Qt places the window, what it paints now.
        const auto shown = [window] {
            const QRect frame = window->geometry();
            const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(
                0, frame.x(), frame.y(), frame.width(), frame.height());
            return screen.toImage().convertToFormat(QImage::Format_RGB32) ==
                   window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        };
        ASSERT_TRUE(QTest::qWaitFor(shown, 10000)) << step;
        const auto* menu = qobject_cast<MenuContent*>(popover.content());
        for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
                 menu->toggleButton(), menu->sampleButton(), menu->settingsButton(), menu->quitButton(),
                 menu->openButton()}) {
            int presses = 0;
            const QMetaObject::Connection heard =
                QObject::connect(button, &QAbstractButton::pressed, [&] { ++presses; });
            const QPoint at = button->mapToGlobal(button->rect().center());
            press("mousedown", at);
            const std::string name = button->accessibleName().toStdString() + " " + std::to_string(step);
            EXPECT_TRUE(QTest::qWaitFor([&] { return presses == 1; }, 10000)) << name;
            // The popover follows the model while the button is held (a sample may end then): the
            // release still finds it under the pointer. Let go off it, so that it does nothing.
            emit program.delegate->model()->settingsChanged();
            ASSERT_TRUE(test::deliverDue());
            EXPECT_TRUE(button->rect().contains(button->mapFromGlobal(at))) << name;
            press("mouseup", window->mapToGlobal(QPoint(3, 3)));
            QObject::disconnect(heard);
        }
    }
}
