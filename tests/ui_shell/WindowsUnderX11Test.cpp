// The program's windows on an X server (Xvfb, no window manager), clicked the way a user clicks them
// (xdotool through the server): which window lies on top and where a click goes. Each test runs
// itself again in a child on a virtual display with Qt's xcb platform, as on an X11 desktop.
#include "app/model/AppModel.h"
#include "app/model/SoftwareUpdater.h"
#include "app/preview/PreviewServices.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/PopoverHost.h"
#include "app/shell/PreviewScenarios.h"
#include "core/ai/AIConfiguration.h"
#include "core/ai/KeychainBackend.h"
#include "core/ai/KeychainStore.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "core/monitoring/MonitorSettings.h"
#include "platform/desktop/ColorSchemePortal.h"
#include "platform/desktop/PointerPresses.h"
#include "platform/desktop/SingleInstance.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/VirtualDisplay.h"
#include "ui/kit/AIStatusButton.h"
#include "ui/kit/LVAlert.h"
#include "ui/kit/LVButton.h"
#include "ui/library/ApplicationLibraryView.h"
#include "ui/library/LibraryParts.h"
#include "ui/settings/UpdateWindow.h"
#include "ui/settings/WelcomeView.h"
#include "ui/window/MainView.h"
#include "ui/window/MainViewBars.h"
#include "ui/window/MenuContent.h"
#include "ui/window/OperationBanner.h"
#include "ui_kit/WindowWaits.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

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
    // What the program's dialogs keep (the file dialog's history) goes into a folder of this run.
    QTemporaryDir configuration;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configuration.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_filter=%1.%2")
             .arg(QString::fromUtf8(current->test_suite_name()), QString::fromUtf8(current->name()))});
    // The child's own waits each take the tests' bound: half as much again for its start and its end.
    ASSERT_TRUE(child.waitForFinished(test::waitBoundMs * 3 / 2));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << windowManager.toStdString() << "\n" << output.toStdString();
    // Neither skipped nor left out there.
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
}

// Runs the current test again under openbox and under xfwm4, on a screen of `screen`; skipped where
// neither can start.
void runAgainUnderEitherWindowManager(QSize screen = {1280, 800}) {
    bool openbox = false, xfwm4 = false;
    runAgainOnVirtualDisplay(QStringLiteral("openbox"), &openbox, screen);
    runAgainOnVirtualDisplay(QStringLiteral("xfwm4"), &xfwm4, screen);
    if (!openbox && !xfwm4)
        GTEST_SKIP() << "neither openbox nor xfwm4 could manage a virtual display";
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
    xdotool.waitForFinished(test::waitBoundMs);
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
    // What a click opens on the desktop (a folder, an address, a file to save) goes to stand-ins.
    PreviewServices standIns;
    std::unique_ptr<AppDelegate> delegate;
    int quitAlerts = 0;

    // `prepare` adds to the stored settings and the model's services before the launch; `storedFrame` is
    // the main window's frame as an earlier run left it.
    explicit X11Program(bool onboarded,
                        const std::function<void(SettingsStore&, AppModelServices&)>& prepare = {},
                        const QByteArray& storedFrame = {}) {
        processes.put(InMemoryProcessPlatform::process(7, 1, "worker", QStringLiteral("/usr/bin/worker")));
        settings.emplace(folder.filePath(QStringLiteral("defaults.json")));
        settings->setValue(AppModel::Keys::hasCompletedOnboarding, onboarded);
        if (!storedFrame.isEmpty())
            settings->setValue(QString::fromLatin1(AppDelegate::windowFrameKey),
                               QString::fromLatin1(storedFrame.toBase64()));
        ShellServices services;
        services.makeModel = [this, prepare](bool preview) {
            AppModelServices model;
            model.processPlatform = &processes;
            model.settingsStore = settings;
            model.historyStore = [this] {
                return LocalHistoryStore(folder.filePath(QStringLiteral("history.json")));
            };
            if (prepare)
                prepare(*settings, model);
            return std::make_unique<AppModel>(preview, std::move(model));
        };
        services.makeScreens = ShellServices::preview(standIns).makeScreens;
        services.presentQuit = [this](LVAlert&) {
            return ++quitAlerts, 0;
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
    ASSERT_TRUE(test::waitForExposed(program.delegate->window()));
    ASSERT_TRUE(test::qtWaitFor([&] { return program.view().sheetDialog() != nullptr; }));
    QDialog* sheet = program.view().sheetDialog();
    ASSERT_TRUE(test::waitForExposed(sheet));
    EXPECT_EQ(titleOnTheServer(*sheet), QStringLiteral("岚栖"));
    auto* welcome = sheet->findChild<WelcomeView*>();
    ASSERT_TRUE(welcome);
    clickMiddleOf(*welcome->startButton());
    EXPECT_TRUE(test::qtWaitFor([&] { return program.delegate->model()->hasCompletedOnboarding(); }));
}

TEST(WindowsUnderX11, AClickInTheMainWindowClosesThePopoverAndReachesTheWindow) {
    if (!onX11())
        return runAgainOnVirtualDisplay();
    X11Program program(true);
    QMainWindow& window = *program.delegate->window();
    ASSERT_TRUE(test::waitForExposed(&window));
    // The popover opens at the pointer (there is no tray icon here): in the corner, off the bars.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                {QStringLiteral("mousemove"), QString::number(screen.right() - 5),
                                 QString::number(screen.bottom() - 5)}),
              0);
    ASSERT_TRUE(test::qtWaitFor([&] { return QCursor::pos().x() > screen.center().x(); }));
    PopoverHost& popover = *program.delegate->popover();
    program.delegate->togglePopover();
    ASSERT_TRUE(popover.isShown());
    ASSERT_TRUE(test::waitForExposed(popover.window()));

    QAbstractButton* processes = program.view().navigationBar()->pageButton(Pages::index(Page::processes));
    ASSERT_FALSE(popover.window()->geometry().contains(processes->mapToGlobal(processes->rect().center())));
    clickMiddleOf(*processes);
    EXPECT_TRUE(test::qtWaitFor([&] { return program.view().state().page == Page::processes; }));
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
    ASSERT_TRUE(test::qtWaitFor([&] { return QCursor::pos() == corner; }));
    PopoverHost& popover = *program.delegate->popover();
    program.delegate->togglePopover();
    ASSERT_TRUE(popover.isShown());
    ASSERT_TRUE(test::waitForExposed(popover.window()));

    int heard = 0;
    QObject::connect(&program.presses, &PointerPresses::pressed, [&] { ++heard; });
    // On the popover's own surface (no control there): heard, and it stays.
    const QRect frame = popover.window()->frameGeometry();
    clickAt(QPoint(frame.left() + 3, frame.center().y()));
    ASSERT_TRUE(test::qtWaitFor([&] { return heard == 1; }));
    EXPECT_TRUE(popover.isShown());
    // On the bare desktop: closed.
    const QPoint bare(screen.left() + 20, screen.top() + 20);
    ASSERT_FALSE(frame.contains(bare));
    clickAt(bare);
    EXPECT_TRUE(test::qtWaitFor([&] { return !popover.isShown(); }));
    EXPECT_EQ(heard, 2);
}

namespace {

// Whether `widget`'s window holds the keys: active for the window manager (_NET_ACTIVE_WINDOW) and
// in the program.
bool holdsTheKeys(const QWidget& widget) {
    QProcess xdotool;
    xdotool.start("xdotool", {"getactivewindow"});
    xdotool.waitForFinished(test::waitBoundMs);
    return QGuiApplication::focusWindow() == widget.windowHandle() &&
           xdotool.readAllStandardOutput().trimmed().toULongLong() == widget.winId();
}

// Waits until `window` holds the keys, activating it the way a taskbar does where the manager has not
// given them: xfwm4, just started on a busy machine, now and then frames a new window and leaves no
// window active, which a user mends with a click.
bool takesTheKeys(const QWidget& window) {
    QDeadlineTimer unaided(2000);
    return test::qtWaitFor([&] {
        if (holdsTheKeys(window))
            return true;
        if (unaided.hasExpired()) {
            QProcess::execute("xdotool", {"windowactivate", QString::number(window.winId())});
            unaided.setRemainingTime(2000);
        }
        return false;
    });
}

} // namespace

// Under a real window manager, which may activate the main window when an alert over a sheet goes
// (a window blocked by the sheet takes no keys), the keys come back to the sheet every time.
TEST(WindowsUnderX11, AfterAnAlertOverASheetEscapeReachesTheSheetUnderAWindowManager) {
    if (!onX11())
        return runAgainUnderEitherWindowManager();
    QWidget main;
    main.resize(700, 500);
    main.show();
    int cancels = 0;
    auto* sheet = new LibrarySheet(
        new QLabel("卸载操作清单"), [&] { ++cancels; }, &main);
    sheet->show();
    ASSERT_TRUE(takesTheKeys(*sheet));
    const auto press = [](QStringList keys) {
        ASSERT_EQ(QProcess::execute("xdotool", keys), 0);
    };
    for (int round = 1; round <= 10; ++round) {
        // As the receipts sheet asks it, without a nested event loop that would hold this test.
        LVAlert alert({"清空卸载操作清单？", QString(), "清空清单", true}, sheet);
        alert.setWindowModality(Qt::WindowModal);
        alert.open();
        ASSERT_TRUE(test::qtWaitFor([&] { return holdsTheKeys(alert); })) << round;
        press({"key", "Escape"});
        ASSERT_TRUE(test::qtWaitFor([&] { return !alert.isVisible() && holdsTheKeys(*sheet); })) << round;
        press({"key", "Escape"});
        ASSERT_TRUE(test::qtWaitFor([&] { return cancels == round; })) << round;
    }
    // Activated from outside (a taskbar, a click), the window under the sheet hands the keys back.
    press({"windowactivate", QString::number(main.winId())});
    EXPECT_TRUE(test::qtWaitFor([&] { return holdsTheKeys(*sheet); }));
}

// Under a window manager the update window opens in front of the active main window and takes the keys,
// every time; Return in the download the user chose there (with Return or a click) leaves it running,
// and once closed, the window stays closed while the download goes on.
TEST(WindowsUnderX11, TheUpdateWindowOpensInFrontAndReturnLeavesTheDownloadChosenThereRunning) {
    if (!onX11())
        return runAgainUnderEitherWindowManager();
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
        xprop.waitForFinished(test::waitBoundMs);
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
        ASSERT_TRUE(takesTheKeys(main)) << round;
        int cancels = 0;
        const auto cancel = [&] {
            ++cancels;
        };
        window.showUpdate(offer, [&](UpdateChoice) { window.showProgress(offer.item, 1, 2, cancel); });
        ASSERT_TRUE(test::qtWaitFor(inFront)) << round;
        if (round % 2)
            press("Return");
        else
            clickMiddleOf(*window.findChild<QWidget*>(QStringLiteral("install")));
        // Escape closes the window and lets the download go on; once it has, Return came and went. The
        // next piece of the download leaves the closed window closed.
        ASSERT_TRUE(test::qtWaitFor([&] { return !window.defaultButton() && inFront(); })) << round;
        press("Return");
        press("Escape");
        ASSERT_TRUE(test::qtWaitFor([&] { return window.isHidden(); })) << round;
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
        process.waitForFinished(test::waitBoundMs);
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

// A key store that holds no key.
class NoKeys final : public KeychainBackend {
public:
    qint32 probe(const QString&) override { return KeychainStore::Status::itemNotFound; }
    ReadResult read(const QString&, bool) override { return {KeychainStore::Status::itemNotFound, {}}; }
    qint32 update(const QString&, const QByteArray&) override { return KeychainStore::Status::itemNotFound; }
    qint32 add(const QString&, const QByteArray&) override { return 0; }
    qint32 remove(const QString&) override { return 0; }
};

// Where a click went: the first widget that takes its press, and whether any took its release (a menu
// opened by the press takes it).
class ClickWatch final : public QObject {
public:
    ClickWatch() { qApp->installEventFilter(this); }
    const QObject* pressed = nullptr;
    bool released = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A press soon after the last one near it arrives as a double click.
        const bool press =
            event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
        if (watched->isWidgetType() && press && !pressed)
            pressed = watched;
        if (watched->isWidgetType() && event->type() == QEvent::MouseButtonRelease)
            released = true;
        return false;
    }
};

constexpr uint64_t mebibyte = 1024 * 1024;

const AppcastItem offered = [] {
    AppcastItem item;
    item.version = item.displayVersion = QStringLiteral("9.9.9");
    return item;
}();

struct StatedProgram;

// A state of the program: what is stored before the launch, what is reached after it (again after
// each click, which may have ended it), and the control it adds to the popover (null where it only
// changes what a control says).
struct ProgramState {
    const char* name;
    std::function<void(SettingsStore&, AppModelServices&)> stored;
    std::function<void(StatedProgram&)> reached;
    std::function<QWidget*(const MenuContent&)> added;
};

std::ostream& operator<<(std::ostream& out, const ProgramState& state) {
    return out << state.name;
}

// The program in a state, sampling on the test's clock, with rules that flag a process after two
// samples 30 s apart.
struct StatedProgram {
    test::ManualExecutor sampling;
    QDateTime clock = QDateTime::currentDateTime();
    const ProgramState& state;
    X11Program program;

    explicit StatedProgram(const ProgramState& given)
        : state(given), program(true, [this](SettingsStore& settings, AppModelServices& services) {
              services.sampling = &sampling;
              services.now = [this] {
                  return clock;
              };
              settings.setValue(AppModel::Keys::monitorSettings,
                                MonitorSettings{120, 90, 30, false}.toJson());
              if (state.stored)
                  state.stored(settings, services);
          }) {
        restore();
    }
    AppModel& model() const { return *program.delegate->model(); }

    // A minute later, the processes named at a whole core meanwhile.
    void sampleAfter(const QList<int32_t>& busy) {
        constexpr int seconds = 60;
        clock = clock.addSecs(seconds);
        program.processes.advance(seconds);
        for (const int32_t pid : busy)
            program.processes.change(pid, [](InMemoryProcessPlatform::Process& p) {
                p.record.cpu_ns += static_cast<uint64_t>(seconds * 1e9);
            });
        model().sampleNow();
        settle();
    }
    // What a click started (a sample) runs, what it left to delete goes, and the state comes back.
    void restore() {
        settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (state.reached)
            state.reached(*this);
    }
    void settle() {
        EXPECT_TRUE(sampling.settle());
        EXPECT_TRUE(test::deliverDue());
    }
};

// Clicks through the X server each control that a fresh `surface` of the program in `state` shows (the
// buttons in the widgets it returns), once each and each time on a surface brought up afresh; a
// control is known by its place among all of them, which each fresh surface makes alike. Those `last`
// names come after the others. A click whose effect stays (a process ignored, a filter chosen) hides a
// later control: the program then starts again in the state. Modal windows that a click opens over
// the surface are dismissed, as a user would.
void clickEachControl(const ProgramState& state,
                      const std::function<QList<QWidget*>(StatedProgram&)>& surface,
                      const std::function<bool(const QAbstractButton*)>& last = {}) {
    auto program = std::make_unique<StatedProgram>(state);
    QList<QPointer<QWidget>> roots;
    bool bringingUp = false;
    const auto bringUp = [&] {
        roots.clear();
        QList<QAbstractButton*> all;
        bringingUp = true;
        const QList<QWidget*> shown = surface(*program);
        bringingUp = false;
        for (QWidget* root : shown) {
            if (!root)
                continue;
            roots.append(root);
            all << root->findChildren<QAbstractButton*>();
        }
        return all;
    };
    const auto usable = [](const QAbstractButton* control) {
        return control && control->isVisible() && control->isEnabled();
    };
    QList<qsizetype> places, after;
    const QList<QAbstractButton*> first = bringUp();
    for (qsizetype i = 0; i < first.size(); ++i)
        if (usable(first[i]))
            (last && last(first[i]) ? after : places).append(i);
    places << after;
    ASSERT_FALSE(places.isEmpty());
    // A menu, or a modal window other than the surface's.
    const auto stray = [&]() -> QWidget* {
        if (QWidget* popup = QApplication::activePopupWidget())
            return popup;
        QWidget* modal = QApplication::activeModalWidget();
        const bool ours = std::any_of(roots.begin(), roots.end(), [&](const QPointer<QWidget>& root) {
            return root && root->window() == modal;
        });
        return ours ? nullptr : modal;
    };
    const auto dismissStray = [&] {
        if (QWidget* window = stray()) {
            if (auto* dialog = qobject_cast<QDialog*>(window))
                dialog->reject();
            else
                window->close();
        }
    };
    // One the click opened in an event loop of its own goes once the click has ended.
    QTimer dismiss;
    std::optional<ClickWatch> watch;
    QObject::connect(&dismiss, &QTimer::timeout, [&] {
        if (!bringingUp && (!watch || watch->released))
            dismissStray();
    });
    dismiss.start(50);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (const qsizetype place : places) {
        // The pointer leaves the control it clicked, whose hover might open a bubble over the next.
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                    {QStringLiteral("mousemove"), QString::number(screen.right() - 5),
                                     QString::number(screen.bottom() - 5)}),
                  0);
        QAbstractButton* control = bringUp().value(place);
        if (!usable(control)) {
            program.reset();
            program = std::make_unique<StatedProgram>(state);
            control = bringUp().value(place);
        }
        ASSERT_TRUE(usable(control)) << place;
        const std::string name =
            (control->accessibleName().isEmpty() ? control->text() : control->accessibleName()).toStdString();
        for (QWidget* up = control->parentWidget(); up; up = up->parentWidget())
            if (auto* area = qobject_cast<QScrollArea*>(up))
                area->ensureWidgetVisible(control, 0, 0);
        // Laid out as the window system holds it: a window shown just now may still have a size the X
        // server reported before its own.
        QRect seen;
        ASSERT_TRUE(test::qtWaitFor([&] {
            seen = control->visibleRegion().boundingRect();
            return !seen.isEmpty();
        })) << name;
        ASSERT_TRUE(test::qtWaitFor([&] {
            dismissStray();
            return !stray();
        })) << name;
        watch.emplace();
        clickAt(control->mapToGlobal(seen.center()));
        ASSERT_TRUE(test::qtWaitFor([&] { return watch->released; })) << name;
        EXPECT_EQ(watch->pressed, control) << name;
        watch.reset();
        program->restore();
    }
}

// The worker flagged (started again if a click stopped it).
void showFinding(StatedProgram& program) {
    InMemoryProcessPlatform& processes = program.program.processes;
    if (!processes.readProcess(7))
        processes.put(InMemoryProcessPlatform::process(7, 1, "worker", QStringLiteral("/usr/bin/worker")));
    for (int i = 0; i < 3 && program.model().findings().isEmpty(); ++i)
        program.sampleAfter({7});
}

// A process whose memory keeps growing while the machine's runs short, observed; `busy` meanwhile.
void showReminder(StatedProgram& program, const QList<int32_t>& busy) {
    InMemoryProcessPlatform& processes = program.program.processes;
    if (!processes.readProcess(20))
        processes.put(InMemoryProcessPlatform::process(20, 2, "grower", QStringLiteral("/usr/bin/grower")));
    processes.setSystemMemory(
        LVSystemMemory{16384 * mebibyte, 9000 * mebibyte, 700 * mebibyte, 300 * mebibyte, 1, 1, 1, 1});
    for (int i = 0; i < 8 && program.model().memoryObservations().isEmpty(); ++i) {
        processes.change(
            20, [](InMemoryProcessPlatform::Process& p) { p.record.resident_bytes += 100 * mebibyte; });
        program.sampleAfter(busy);
    }
}

class PopoverUnderX11 : public ::testing::TestWithParam<ProgramState> {};

} // namespace

// Every control of a fresh popover, clicked through the X server once each: whatever it opens, closes
// or replaces, the click ends without touching what went (the sanitizer tree stops at a freed read).
TEST_P(PopoverUnderX11, EachControlTakesItsClick) {
    if (!onX11())
        return runAgainOnVirtualDisplay();
    // The popover opens at the pointer (there is no tray icon here): in the corner.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint corner(screen.right() - 5, screen.bottom() - 5);
    const auto open = [&](StatedProgram& stated) -> QList<QWidget*> {
        AppDelegate& delegate = *stated.program.delegate;
        PopoverHost& popover = *delegate.popover();
        // Qt gives up the activation of a closed window 100 ms after its focus went, unless the focus
        // came back meanwhile; a test blocked in xdotool longer than that would see the popover opened
        // again lose it then, and close. The loss comes first.
        const auto holdsTheActivation = [&] {
            return QGuiApplication::focusWindow() == popover.window()->windowHandle();
        };
        const bool held = holdsTheActivation();
        popover.close();
        if (held) {
            EXPECT_TRUE(test::qtWaitFor([&] { return !holdsTheActivation(); }));
        }
        EXPECT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                    {QStringLiteral("mousemove"), QString::number(corner.x()),
                                     QString::number(corner.y())}),
                  0);
        // A popover that lost the activation just now ignores the tray click that would be that loss.
        const bool shown = test::qtWaitFor([&] {
            if (QCursor::pos() == corner && !popover.isShown())
                delegate.togglePopover();
            return popover.isShown();
        });
        if (!shown || !test::waitForExposed(popover.window()) || !test::qtWaitFor(holdsTheActivation))
            return {};
        // Its queued refresh and the layout that follows come before the clicks.
        EXPECT_TRUE(test::deliverDue());
        const auto* menu = qobject_cast<MenuContent*>(popover.content());
        if (GetParam().added && menu) {
            EXPECT_TRUE(GetParam().added(*menu)->isVisible());
        }
        return {popover.content()};
    };
    // Pausing ends most states.
    clickEachControl(GetParam(), open, [](const QAbstractButton* control) {
        return control->objectName() == QLatin1String("menu-toggle-monitoring");
    });
}

INSTANTIATE_TEST_SUITE_P(
    States, PopoverUnderX11,
    ::testing::Values(
        ProgramState{"ai_unconfigured", {}, {}, {}},
        ProgramState{"key_missing",
                     [](SettingsStore& settings, AppModelServices& services) {
                         settings.setValue(
                             AppModel::Keys::aiConfiguration,
                             AIConfiguration{QStringLiteral("https://api.example.invalid/v1"), "m"}.toJson());
                         services.keychain =
                             std::make_shared<CachedKeychainStore>(std::make_shared<NoKeys>());
                     },
                     {},
                     {}},
        ProgramState{"paused",
                     [](SettingsStore& settings, AppModelServices&) {
                         settings.setValue(AppModel::Keys::monitoringEnabled, false);
                     },
                     {},
                     {}},
        ProgramState{
            "update_offered",
            {},
            [](StatedProgram& program) { program.model().softwareUpdater()->didFindValidUpdate(offered); },
            [](const MenuContent& menu) -> QWidget* {
                return menu.updateReminder();
            }},
        ProgramState{"update_ready",
                     {},
                     [](StatedProgram& program) {
                         program.model().softwareUpdater()->willInstallUpdateOnQuit(offered, {});
                     },
                     [](const MenuContent& menu) -> QWidget* {
                         return menu.updateReminder();
                     }},
        ProgramState{"finding",
                     {},
                     &showFinding,
                     [](const MenuContent& menu) -> QWidget* {
                         return menu.adviceButton();
                     }},
        ProgramState{"reminder",
                     {},
                     [](StatedProgram& program) { showReminder(program, {}); },
                     [](const MenuContent& menu) -> QWidget* {
                         return menu.observationButton();
                     }}),
    [](const ::testing::TestParamInfo<ProgramState>& info) { return std::string(info.param.name); });

namespace {

QWidget* firstProcessRow(const MenuContent& menu) {
    return menu.processRows()[0];
}

// A state whose popover adds a control, and the page of the main window it opens.
class PopoverRouteUnderX11 : public ::testing::TestWithParam<std::pair<ProgramState, Page>> {};

} // namespace

// Under a window manager, a page that a click in the popover opens in the main window, whose opening gave
// 需关注's button the focus, takes the focus to its own button: Space then stays on the page.
TEST_P(PopoverRouteUnderX11, SpaceAfterItsClickStaysOnThePageItOpened) {
    if (!onX11())
        return runAgainUnderEitherWindowManager();
    const ProgramState& state = GetParam().first;
    const Page page = GetParam().second;
    StatedProgram stated(state);
    AppDelegate& delegate = *stated.program.delegate;
    QMainWindow& window = *delegate.window();
    ASSERT_TRUE(takesTheKeys(window));
    // The popover opens at the pointer (there is no tray icon here): in the corner.
    const QPoint corner = QGuiApplication::primaryScreen()->geometry().bottomRight() - QPoint(5, 5);
    QProcess::execute("xdotool", {"mousemove", QString::number(corner.x()), QString::number(corner.y())});
    ASSERT_TRUE(test::qtWaitFor([&] { return QCursor::pos() == corner; }));
    delegate.togglePopover();
    ASSERT_TRUE(test::waitForExposed(delegate.popover()->window()) && test::deliverDue());
    clickMiddleOf(*state.added(*qobject_cast<MenuContent*>(delegate.popover()->content())));
    MainView& view = stated.program.view();
    ASSERT_TRUE(test::qtWaitFor([&] { return view.state().page == page && holdsTheKeys(window); }));
    int pressed = 0;
    for (const Page each : Pages::all)
        QObject::connect(view.navigationBar()->pageButton(Pages::index(each)), &QAbstractButton::clicked,
                         &view, [&] { ++pressed; });
    QProcess::execute("xdotool", {"key", "space"});
    ASSERT_TRUE(test::qtWaitFor([&] { return pressed == 1; }));
    EXPECT_EQ(view.state().page, page);
    EXPECT_EQ(QApplication::focusWidget(), view.navigationBar()->pageButton(Pages::index(page)));
}

INSTANTIATE_TEST_SUITE_P(
    Routes, PopoverRouteUnderX11,
    ::testing::Values(
        std::pair{ProgramState{"ai_capsule", {}, {}, &MenuContent::aiStatusButton}, Page::settings},
        std::pair{ProgramState{"process_row", {}, {}, &firstProcessRow}, Page::processes},
        std::pair{ProgramState{"advice", {}, &showFinding, &MenuContent::adviceButton}, Page::processes}),
    [](const auto& info) { return std::string(info.param.first.name); });

namespace {

// A surface of the main window: its bars, a page, or a sheet.
struct WindowSurface {
    const char* name;
    std::function<QList<QWidget*>(MainView&, AppModel&)> shown;
};

std::ostream& operator<<(std::ostream& out, const WindowSurface& surface) {
    return out << surface.name;
}

class MainWindowUnderX11 : public ::testing::TestWithParam<WindowSurface> {};

// Shows `page`, the worker selected.
QList<QWidget*> onPage(MainView& view, AppModel& model, Page page) {
    view.setPage(page);
    for (const ProcessSample& sample : model.processes())
        if (sample.identity.pid == 7)
            model.setSelectedID(sample.identity);
    EXPECT_TRUE(test::deliverDue());
    EXPECT_TRUE(test::qtWaitFor([&] { return view.pageWidget(page) && view.pageWidget(page)->isVisible(); }));
    return {view.pageWidget(page)};
}

WindowSurface onPageSurface(const char* name, Page page) {
    return {name, [page](MainView& view, AppModel& model) {
                return onPage(view, model, page);
            }};
}

// Shows `sheet` over the overview, exposed. Qt makes a dialog's X window at a stand-in size and moves it
// over its parent in the show event, before giving it the dialog's size: the X server reports the
// stand-in size first, and until its next report the sheet is laid out in that, its buttons outside it.
// Both reports come before the exposure.
QList<QWidget*> withSheet(MainView& view, const MainSheet& sheet) {
    view.setSheet(sheet);
    EXPECT_TRUE(test::deliverDue());
    QDialog* dialog = view.sheetDialog();
    if (!dialog || !test::waitForExposed(dialog) || !test::deliverDue())
        return {};
    return {dialog};
}

ProcessSample worker(const AppModel& model) {
    for (const ProcessSample& sample : model.processes())
        if (sample.identity.pid == 7)
            return sample;
    ADD_FAILURE() << "no worker";
    return {};
}

} // namespace

// On a laptop's 1366 × 768 screen the main window's frame starts at the top and fills the height, down to
// the window's least size, as wide as it is made where it has room: opened at launch, and from a frame
// stored on a larger screen.
TEST(WindowsUnderX11, TheMainWindowFitsASmallScreenUnderAWindowManager) {
    if (!onX11())
        return runAgainUnderEitherWindowManager(QSize(1366, 768));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget larger;
    larger.setGeometry(400, 300, 1800, 1000);
    for (const QByteArray& stored : {QByteArray(), larger.saveGeometry()}) {
        X11Program program(true, {}, stored);
        QMainWindow& window = *program.delegate->window();
        const int width = stored.isEmpty() ? PreviewScenarios::mainWindowSize.width() : -1;
        EXPECT_TRUE(test::qtWaitFor([&] {
            const QRect frame = frameOnTheServer(window);
            const bool least = window.height() == window.minimumSizeHint().height();
            return frame.top() == 0 && frame.left() >= 0 && frame.right() <= screen.right() &&
                   (frame.bottom() == screen.bottom() || (least && frame.bottom() > screen.bottom())) &&
                   (width < 0 ? frame.width() == screen.width() : window.centralWidget()->width() == width);
        })) << stored.isEmpty();
    }
}

// The popover grows and shrinks while open under a tray icon (an update on offer comes and goes, a
// finding arrives and leaves): each lower button takes a press sent through the X server where the screen
// shows it, under either window manager, and stays under it until the release.
TEST(WindowsUnderX11, ThePopoversLowerButtonsTakeClicksWhereTheyShowAsItGrowsAndShrinks) {
    if (!onX11())
        return runAgainUnderEitherWindowManager();
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
    ASSERT_TRUE(test::qtWaitFor([&] { return QCursor::pos() == icon; }));
    PopoverHost& popover = *program.delegate->popover();
    program.delegate->togglePopover();
    QWidget* window = popover.window();
    ASSERT_TRUE(test::waitForExposed(window));
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
        ASSERT_TRUE(test::qtWaitFor(shown)) << step;
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
            EXPECT_TRUE(test::qtWaitFor([&] { return presses == 1; })) << name;
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

// The same sweep over the main window: its bars, each page's buttons and each sheet's, with a finding
// and a growth observation shown.
TEST_P(MainWindowUnderX11, EachControlTakesItsClick) {
    if (!onX11())
        return runAgainOnVirtualDisplay();
    const ProgramState flagged{"flagged",
                               {},
                               [](StatedProgram& program) {
                                   showFinding(program);
                                   showReminder(program, {7});
                               },
                               {}};
    const auto shown = [](StatedProgram& stated) -> QList<QWidget*> {
        AppDelegate& delegate = *stated.program.delegate;
        QMainWindow& window = *delegate.window();
        // Raised again, the window would lie over a sheet that stays open.
        if (!window.isVisible())
            delegate.openMain();
        // Whole on the virtual screen.
        window.move(0, 0);
        window.resize(PreviewScenarios::compactMainWindowSize.width(),
                      PreviewScenarios::compactMainWindowSize.height() + window.menuBar()->height());
        if (!test::waitForExposed(&window))
            return {};
        MainView& view = *qobject_cast<MainView*>(window.centralWidget());
        view.setSheet(std::nullopt);
        view.setPage(Page::overview);
        EXPECT_TRUE(test::deliverDue());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return GetParam().shown(view, stated.model());
    };
    clickEachControl(flagged, shown);
}

INSTANTIATE_TEST_SUITE_P(
    Surfaces, MainWindowUnderX11,
    ::testing::Values(
        WindowSurface{
            "bars",
            [](MainView& view, AppModel&) -> QList<QWidget*> {
                return {view.navigationBar(), view.telemetry(), view.statusBar(), view.operationBanner()};
            }},
        onPageSurface("overview", Page::overview), onPageSurface("processes", Page::processes),
        onPageSurface("resources", Page::resources), onPageSurface("applications", Page::applications),
        onPageSurface("history", Page::history), onPageSurface("settings", Page::settings),
        WindowSurface{"welcome_sheet",
                      [](MainView& view, AppModel&) {
                          return withSheet(view, MainSheet::welcome());
                      }},
        WindowSurface{"privacy_sheet",
                      [](MainView& view, AppModel&) {
                          return withSheet(view, MainSheet::privacy());
                      }},
        WindowSurface{
            "stop_sheet",
            [](MainView& view, AppModel& model) {
                return withSheet(view, MainSheet::stopping({QUuid::createUuid(), worker(model), false}));
            }},
        WindowSurface{"analysis_sheet",
                      [](MainView& view, AppModel& model) {
                          return withSheet(view, MainSheet::analysing(worker(model)));
                      }},
        WindowSurface{"receipts_sheet",
                      [](MainView& view, AppModel& model) -> QList<QWidget*> {
                          onPage(view, model, Page::applications);
                          auto* library = view.findChild<ApplicationLibraryView*>();
                          if (!library)
                              return {};
                          if (!library->sheet())
                              library->receiptsButton()->click();
                          if (!library->sheet() || !test::waitForExposed(library->sheet()))
                              return {};
                          return {library->sheet()};
                      }}),
    [](const ::testing::TestParamInfo<WindowSurface>& info) { return std::string(info.param.name); });
