// The desktop program assembled in this process over a scripted process table: launch, window,
// menus, tray popover, quit requests and reminders.
#include "app/shell/AppDelegate.h"
#include "app/library/ApplicationLibraryModel.h"
#include "app/model/AppModel.h"
#include "app/ports/UserNotificationCenter.h"
#include "app/shell/PopoverHost.h"
#include "app/shell/StatusItem.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "core/monitoring/MonitorSettings.h"
#include "platform/desktop/ColorSchemePortal.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/files/AtomicFile.h"
#include "support/EventLoop.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/library/ApplicationLibraryView.h"
#include "ui/settings/WelcomeView.h"
#include "ui/window/DashboardApplicationList.h"
#include "ui/window/MainView.h"
#include "ui/window/MenuContent.h"
#include "ui/window/ResourceDashboardView.h"
#include "ui_kit/ContextMenu.h"
#include "ui_kit/WindowWaits.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

class FakeController final : public UpdaterController {
public:
    bool canCheck = false;
    int checks = 0;

    void setCanCheck(bool value) {
        canCheck = value;
        emit canCheckForUpdatesChanged(value);
    }
    std::optional<UpdateError> startUpdater() override { return std::nullopt; }
    void checkForUpdates() override { ++checks; }
    bool canCheckForUpdates() const override { return canCheck; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    bool automaticallyDownloadsUpdates() const override { return false; }
    void setAutomaticallyDownloadsUpdates(bool) override {}
    QDateTime lastUpdateCheckDate() const override { return {}; }
};

class FakeReminders final : public UserNotificationCenter {
public:
    void authorizationStatus(AuthorizationAnswer answer) override {
        answer(NotificationAuthorization::authorized);
    }
    void requestAuthorization(PermissionAnswer answer) override { answer(true, std::nullopt); }
    void add(const UserNotification&, Posted posted) override { posted(std::nullopt); }
    void remove(const QStringList&) override {}
};

// One assembled program with its fakes.
struct Program {
    QTemporaryDir folder;
    InMemoryProcessPlatform processes;
    test::ManualExecutor sampling;    // runs the samples when the test says so
    test::ManualExecutor libraryWork; // the library's, run by no test
    FakeReminders reminders;
    FakeController* controller = nullptr;
    std::optional<SettingsStore> settings;
    int quitAlerts = 0;
    int terminations = 0;
    int historyRefusal = 0; // of every history write, as a full disk refuses it
    std::unique_ptr<AppDelegate> delegate;

    struct Options {
        bool loginLaunch = false;
        bool onboarded = true;
        bool monitoring = true;
        bool trayHost = true;
        std::optional<PreviewRequest> preview = std::nullopt;
        bool emptyLibrary = false;
        // Rules that flag a process after two samples 30 s apart, on the test's clock (`advance`).
        bool quickRules = false;
    };
    QDateTime clock = QDateTime::currentDateTime();

    explicit Program(const Options& options) {
        processes.put(InMemoryProcessPlatform::process(7, 1, "worker", QStringLiteral("/usr/bin/worker")));
        settings.emplace(folder.filePath(QStringLiteral("defaults.json")));
        settings->setValue(AppModel::Keys::hasCompletedOnboarding, options.onboarded);
        settings->setValue(AppModel::Keys::monitoringEnabled, options.monitoring);
        if (options.quickRules)
            settings->setValue(AppModel::Keys::monitorSettings, MonitorSettings{120, 90, 30, false}.toJson());
        ShellServices services;
        services.makeModel = [this, scripted = options.quickRules](bool preview) {
            AppModelServices model;
            model.processPlatform = &processes;
            model.sampling = &sampling;
            if (scripted)
                model.now = [this] {
                    return clock;
                };
            if (!preview) {
                model.settingsStore = settings;
                model.notifications = &reminders;
                model.updaterFactory = [this](UpdaterDelegate&) {
                    auto made = std::make_unique<FakeController>();
                    controller = made.get();
                    return made;
                };
                model.historyStore = [this] {
                    AtomicFile::Options writing;
                    writing.fault = [this](AtomicFile::Step) {
                        return historyRefusal;
                    };
                    return LocalHistoryStore(historyPath(), writing);
                };
            }
            return std::make_unique<AppModel>(preview, std::move(model));
        };
        // A library that lists nothing, sees nothing running, refuses every removal and keeps its
        // receipts in memory; an empty one is not a screenshot's either, so it has no sample data.
        services.makeLibrary = [this, empty = options.emptyLibrary](bool preview) {
            ApplicationLibraryServices library;
            library.scan = [](const CancellationToken&) {
                return ApplicationScan{};
            };
            library.removalLog = [log = ApplicationRemovalLog::inMemory()] {
                return log;
            };
            library.work = library.looks = &libraryWork;
            return std::make_unique<ApplicationLibraryModel>(preview && !empty, std::move(library));
        };
        services.settings = settings;
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("program"));
        services.makeSingleInstance = [bus] {
            return std::make_unique<SingleInstance>(bus, name());
        };
        services.makeColorScheme = [bus] {
            return std::make_unique<ColorSchemePortal>(bus);
        };
        services.presentQuit = [this](LVAlert&) {
            return ++quitAlerts, 1;
        };
        services.terminate = [this] {
            ++terminations;
        };
        services.trayHostAvailable = [host = options.trayHost] {
            return host;
        };
        services.trayHostWait = std::chrono::milliseconds(0);
        delegate = std::make_unique<AppDelegate>(std::move(services), options.preview, options.loginLaunch);
        EXPECT_EQ(delegate->applicationDidFinishLaunching(), AppDelegate::Launch::running);
    }
    ~Program() {
        delegate.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("program"));
    }

    // Tests run side by side on one bus, each program under a name of its own.
    static QString name() {
        return QStringLiteral("dev.lunorvale.Test.p%1").arg(QCoreApplication::applicationPid());
    }

    QString historyPath() const { return folder.filePath(QStringLiteral("history.json")); }
    QMainWindow& window() const { return *delegate->window(); }
    AppModel& model() const { return *delegate->model(); }

    // Moves both clocks `seconds` on, the busy processes at a whole core meanwhile, and samples.
    void sampleAfter(double seconds, const QList<int32_t>& busy) {
        clock = clock.addMSecs(static_cast<qint64>(seconds * 1000));
        processes.advance(seconds);
        for (const int32_t pid : busy)
            processes.change(pid, [seconds](InMemoryProcessPlatform::Process& p) {
                p.record.cpu_ns += static_cast<uint64_t>(seconds * 1e9);
            });
        model().sampleNow();
        EXPECT_TRUE(sampling.settle());
        EXPECT_TRUE(test::deliverDue());
    }
};

QStringList titles(const QList<QAction*>& actions) {
    QStringList result;
    for (const QAction* action : actions)
        result << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return result;
}

} // namespace

TEST(AppDelegate, LaunchBuildsEverythingAndSamplesOnlyWhileObserving) {
    for (const bool monitoring : {true, false}) {
        Program program({.loginLaunch = true, .monitoring = monitoring});
        // A login launch after onboarding, with a tray: everything stands, the window stays hidden.
        EXPECT_FALSE(program.window().isVisible());
        EXPECT_EQ(program.window().windowTitle(), "岚栖 · Lunorvale");
        ASSERT_NE(program.delegate->statusItem(), nullptr);
        EXPECT_EQ(program.delegate->statusItem()->toolTip(), "岚栖 · 当前没有资源提醒");
        // The timer runs either way (its ticks sample nothing while paused); the first sample only
        // while observing.
        EXPECT_EQ(program.model().samplingInterval().has_value(), monitoring);
        ASSERT_TRUE(program.sampling.settle());
        EXPECT_EQ(program.sampling.handedOver(), monitoring ? 1 : 0);
        EXPECT_EQ(program.model().lastUpdate().has_value(), monitoring);
        EXPECT_EQ(program.model().processes().isEmpty(), !monitoring);

        // The content, made at the first opening: 1180 × 820 under the menu bar, down to 1040 × 720 where
        // the screen has no room for it (the offscreen one, 800 × 800: the window's frame fills its height).
        program.delegate->openMain();
        EXPECT_EQ(program.window().centralWidget()->width(), 1040);
        EXPECT_EQ(program.window().frameGeometry().height(),
                  QGuiApplication::primaryScreen()->availableGeometry().height());
        EXPECT_EQ(program.window().centralWidget()->minimumSize(), QSize(1040, 720));
    }
}

TEST(AppDelegate, WhenTheWindowOpensAtLaunch) {
    struct Case {
        bool loginLaunch, onboarded, trayHost, opens;
    };
    const Case cases[] = {
        {true, true, true, false},  {true, true, false, true},   {true, false, true, true},
        {true, false, false, true}, {false, true, true, true},   {false, true, false, true},
        {false, false, true, true}, {false, false, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AppDelegate::opensWindowAtLaunch(c.loginLaunch, c.onboarded, c.trayHost), c.opens);
        Program program({.loginLaunch = c.loginLaunch, .onboarded = c.onboarded, .trayHost = c.trayHost});
        // A login launch without a tray waits for a late panel first (no wait here).
        EXPECT_TRUE(test::deliverDue());
        EXPECT_EQ(program.window().isVisible(), c.opens) << c.loginLaunch << c.onboarded << c.trayHost;
        // Closing the window leaves the program running, the window kept for the next opening.
        program.window().close();
        EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
    }
}

TEST(AppDelegate, MenuBarCommands) {
    Program program({.loginLaunch = true});
    QMenuBar* bar = program.window().menuBar();
    EXPECT_EQ(titles(bar->actions()), (QStringList{"岚栖", "编辑", "窗口"}));
    const QList<QAction*> application = bar->actions().at(0)->menu()->actions();
    EXPECT_EQ(titles(application),
              (QStringList{"关于岚栖", "-", "设置…", "检查更新…", "-", "隐藏岚栖", "退出岚栖…"}));
    EXPECT_EQ(titles(bar->actions().at(1)->menu()->actions()),
              (QStringList{"撤销", "重做", "-", "剪切", "复制", "粘贴", "全选"}));
    EXPECT_EQ(titles(bar->actions().at(2)->menu()->actions()),
              (QStringList{"打开岚栖", "最小化", "关闭窗口"}));
    QStringList shortcuts;
    for (QMenu* menu : bar->findChildren<QMenu*>())
        for (const QAction* action : menu->actions())
            if (!action->shortcut().isEmpty())
                shortcuts << action->shortcut().toString(QKeySequence::PortableText);
    EXPECT_EQ(QSet<QString>(shortcuts.begin(), shortcuts.end()),
              (QSet<QString>{"Ctrl+,", "Ctrl+H", "Ctrl+Q", "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+X", "Ctrl+C",
                             "Ctrl+V", "Ctrl+A", "Ctrl+0", "Ctrl+M", "Ctrl+W"}));

    // "检查更新…" follows the updater, in the menu bar and the tray menu alike.
    QAction* check = application.at(3);
    ASSERT_NE(program.controller, nullptr);
    EXPECT_FALSE(check->isEnabled());
    program.controller->setCanCheck(true);
    EXPECT_TRUE(check->isEnabled());
    check->trigger();
    EXPECT_EQ(program.controller->checks, 1);
    program.controller->setCanCheck(false);
    EXPECT_FALSE(check->isEnabled());

    // "设置…" and "关于岚栖" show the closed window first, then ask for their page.
    for (const auto& [index, signal] :
         {std::pair{2, &AppDelegate::lunorvaleShowSettings}, std::pair{0, &AppDelegate::lunorvaleShowHelp}}) {
        program.window().close();
        bool visibleWhenAsked = false;
        QSignalSpy asked(program.delegate.get(), signal);
        auto connection = QObject::connect(program.delegate.get(), signal,
                                           [&] { visibleWhenAsked = program.window().isVisible(); });
        application.at(index)->trigger();
        EXPECT_EQ(asked.count(), 1);
        EXPECT_TRUE(visibleWhenAsked);
        QObject::disconnect(connection);
    }

    // Quitting asks first; the answer "退出岚栖" ends the program once, and a record that could not be
    // written while the disk was full is written as it ends.
    program.historyRefusal = ENOSPC;
    program.model().toggleMonitoring();
    program.historyRefusal = 0;
    application.at(6)->trigger();
    EXPECT_EQ(program.quitAlerts, 1);
    EXPECT_EQ(program.terminations, 1);
    EXPECT_TRUE(program.model().historyStorageError());
    program.delegate->applicationWillTerminate();
    EXPECT_FALSE(program.model().historyStorageError());
    EXPECT_EQ(LocalHistoryStore(program.historyPath()).load(QDateTime::currentDateTimeUtc()),
              program.model().history());
    // An update the user chose to install now ends it without asking again.
    EXPECT_TRUE(program.delegate->quitToInstallUpdate());
    EXPECT_EQ(program.quitAlerts, 1);
    EXPECT_EQ(program.terminations, 2);
}

// The menu bar's "复制" over a path field's selection pastes the path, not the escapes the field shows.
TEST(AppDelegate, MenuBarCopiesThePathOfAPathField) {
    Program program({});
    const QString bundle = QStringLiteral("/Applications/R\u202Efdp\n.app");
    program.processes.put(InMemoryProcessPlatform::process(8, 1, "tool", bundle + "/Contents/MacOS/tool"));
    program.sampleAfter(30, {});
    auto* view = program.window().findChild<MainView*>();
    view->setPage(Page::resources);
    DashboardApplicationList* list = view->resourcesPage()->applications();
    const QModelIndex group = list->model()->indexOfGroup("application:" + bundle);
    QTest::mouseClick(list->view()->viewport(), Qt::LeftButton, {}, list->view()->visualRect(group).center());
    QWidget* field = list->view()->indexWidget(list->model()->index(0, 0, group));
    ASSERT_TRUE(field);
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QGuiApplication::clipboard()->clear();
    QMenuBar* bar = program.window().menuBar();
    QAction* edit = bar->actions().at(1);
    QTest::mouseClick(bar->window()->windowHandle(), Qt::LeftButton, {},
                      test::inWindow(*bar, bar->actionGeometry(edit).center()));
    ASSERT_TRUE(test::chooseFromMenu(edit->menu(), QStringLiteral("复制")));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), bundle.toStdString());
}

TEST(AppDelegate, PopoverContentIsNewAtEachOpening) {
    Program program({.loginLaunch = true});
    PopoverHost& popover = *program.delegate->popover();
    program.delegate->togglePopover();
    ASSERT_TRUE(popover.isShown());
    // The table's height, unless the content needs more.
    EXPECT_EQ(popover.window()->size(), QSize(344, std::max(405, popover.content()->sizeHint().height())));
    QPointer<QWidget> first = popover.content();
    program.delegate->togglePopover();
    EXPECT_FALSE(popover.isShown());
    // Hidden at once, deleted once the event that closed it is over.
    EXPECT_TRUE(first->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());

    program.delegate->togglePopover();
    QPointer<QWidget> second = popover.content();
    ASSERT_FALSE(second.isNull());
    program.delegate->openMain();
    EXPECT_FALSE(popover.isShown());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(program.window().isVisible());
}

namespace {

// The windows on screen whose title holds no Chinese, by class; `seen` gathers the classes of all.
QStringList windowsTitledOtherwise(QSet<QString>& seen) {
    QStringList others;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowType() == Qt::ToolTip || window->windowType() == Qt::Popup)
            continue;
        const QString kind = QString::fromLatin1(window->metaObject()->className());
        seen.insert(kind);
        const QString title = window->windowTitle();
        if (std::none_of(title.begin(), title.end(), [](QChar c) { return c.script() == QChar::Script_Han; }))
            others << kind + QStringLiteral(" \"") + title + QStringLiteral("\"");
    }
    return others;
}

} // namespace

// Each kind of window the program opens (the main window, the sheets of the window, of the settings and
// of the library, the popover, the alerts) names itself in Chinese: the desktop shows the title in its
// window list and switcher.
TEST(AppDelegate, EveryWindowIsTitledInChinese) {
    Program program({.onboarded = false});
    QSet<QString> seen;
    // A first launch: the window with the welcome sheet, and over it the privacy sheet.
    auto* view = qobject_cast<MainView*>(program.window().centralWidget());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(test::qtWaitFor([&] { return view->sheetDialog() != nullptr; }));
    auto* welcome = view->sheetDialog()->findChild<WelcomeView*>();
    ASSERT_NE(welcome, nullptr);
    welcome->privacyButton()->click();
    EXPECT_EQ(windowsTitledOtherwise(seen), QStringList());
    EXPECT_EQ(seen.size(), 3) << QStringList(seen.begin(), seen.end()).join(' ').toStdString();

    // The library's sheets.
    welcome->startButton()->click();
    view->setPage(Page::applications);
    auto* library = view->findChild<ApplicationLibraryView*>();
    ASSERT_NE(library, nullptr);
    library->receiptsButton()->click();
    ASSERT_NE(library->sheet(), nullptr);
    EXPECT_EQ(windowsTitledOtherwise(seen), QStringList());

    // The popover, and an alert.
    program.delegate->togglePopover();
    EXPECT_EQ(windowsTitledOtherwise(seen), QStringList());
    const auto alert = UserQuitConfirmation::makeAlert(false, false);
    alert->show();
    EXPECT_EQ(windowsTitledOtherwise(seen), QStringList());
    EXPECT_GE(seen.size(), 6) << QStringList(seen.begin(), seen.end()).join(' ').toStdString();
}

// Opened with nothing to report, the popover grows when findings arrive: "打开岚栖" stays in sight.
TEST(AppDelegate, AnOpenPopoverGrowsWithItsFindings) {
    Program program({.loginLaunch = true, .quickRules = true});
    for (const int32_t pid : {8, 9})
        program.processes.put(InMemoryProcessPlatform::process(pid, 1, "worker" + QByteArray::number(pid),
                                                               QStringLiteral("/usr/bin/worker%1").arg(pid)));
    program.sampleAfter(0, {});
    PopoverHost& popover = *program.delegate->popover();
    program.delegate->togglePopover();
    ASSERT_TRUE(popover.isShown());
    ASSERT_TRUE(program.model().findings().isEmpty());
    const int opened = popover.window()->height();
    const QPoint corner = popover.window()->pos();

    for (int step = 0; step < 5 && program.model().findings().size() < 3; ++step)
        program.sampleAfter(30, {7, 8, 9});
    ASSERT_EQ(program.model().findings().size(), 3);
    EXPECT_TRUE(popover.isShown());
    EXPECT_GT(popover.window()->height(), opened);
    EXPECT_EQ(popover.window()->pos().x(), corner.x());
    const auto* menu = qobject_cast<MenuContent*>(popover.content());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->openButton()->visibleRegion().boundingRect(), menu->openButton()->rect());
    EXPECT_GE(popover.window()->height(), 505);
}

TEST(AppDelegate, ActivationAndRemindersShowTheSameWindow) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    Program program({.loginLaunch = true});
    program.delegate->openMain();
    const QRect frame = program.window().geometry();
    QWidget* const widget = &program.window();
    program.window().close();

    // Another copy's Activate, answered while this thread waits.
    QDBusConnection caller =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("caller"));
    QDBusMessage activate = QDBusMessage::createMethodCall(Program::name(), SingleInstance::objectPath,
                                                           SingleInstance::interfaceName, "Activate");
    activate << QVariantMap();
    caller.asyncCall(activate);
    ASSERT_TRUE(test::waitUntil([&] { return program.window().isVisible(); }));
    EXPECT_EQ(&program.window(), widget);
    // Same size and place (the offscreen platform moves a window it shows again by its 2-pixel frame).
    EXPECT_EQ(program.window().size(), frame.size());
    EXPECT_LE((program.window().geometry().topLeft() - frame.topLeft()).manhattanLength(), 4);
    QDBusConnection::disconnectFromBus(QStringLiteral("caller"));

    // A click on a reminder.
    program.window().close();
    emit program.reminders.activated({{QStringLiteral("processIdentity"), QStringLiteral("7:1")}});
    EXPECT_TRUE(program.window().isVisible());
}

TEST(AppDelegate, ARequestMadeBeforeTheWindowExistedIsWhereItOpens) {
    // After a launch at login only the tray icon stands; the request's opening builds the window.
    const struct {
        const char* way;
        std::function<void(Program&)> request;
    } ways[] = {
        {"reminder",
         [](Program& program) {
             emit program.reminders.activated({{QStringLiteral("processIdentity"), QStringLiteral("7:1")}});
         }},
        {"popover row",
         [](Program& program) {
             program.delegate->togglePopover();
             auto* menu = qobject_cast<MenuContent*>(program.delegate->popover()->content());
             ASSERT_TRUE(menu && !menu->processRows().isEmpty());
             menu->processRows().first()->click();
         }},
    };
    for (const auto& way : ways) {
        Program program({.loginLaunch = true});
        // The first sample, so that the process the request names is known.
        ASSERT_TRUE(program.sampling.settle());
        ASSERT_TRUE(program.model().lastUpdate().has_value());
        ASSERT_EQ(program.window().centralWidget(), nullptr);
        way.request(program);
        EXPECT_TRUE(program.window().isVisible()) << way.way;
        const auto* view = qobject_cast<MainView*>(program.window().centralWidget());
        ASSERT_TRUE(view) << way.way;
        EXPECT_EQ(view->state().page, Page::processes) << way.way;
        EXPECT_EQ(program.model().selectedID(), (ProcessIdentity{7, 1})) << way.way;
    }
}

namespace {

// Every character of `text` that `font` cannot draw (it would show as a box). Format characters, such
// as the isolates around names in sentences, are never drawn.
QString missingGlyphs(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    QString missing;
    for (const char32_t c : text.toUcs4()) {
        if (!QChar::isSpace(c) && QChar::category(c) != QChar::Other_Format && !metrics.inFontUcs4(c))
            missing += QString::fromUcs4(&c, 1);
    }
    return missing;
}

// The rows of a list or tree, each as assistive technology reads it.
void rowTexts(const QAbstractItemModel& model, const QModelIndex& parent, QStringList& texts) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        texts << index.data(Qt::AccessibleTextRole).toString();
        rowTexts(model, index, texts);
    }
}

// Every text a screen shows, as widgets hold it, checked against each widget's own font.
QString missingGlyphsShown(const QWidget& root, int& texts) {
    QString missing;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        QStringList shown;
        if (const auto* text = qobject_cast<const LVText*>(widget))
            shown << text->text();
        else if (const auto* selectable = qobject_cast<const LVSelectableText*>(widget))
            shown << selectable->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            shown << button->text() << button->accessibleName();
        else if (const auto* label = qobject_cast<const QLabel*>(widget))
            shown << label->text();
        else if (const auto* field = qobject_cast<const QLineEdit*>(widget))
            shown << field->placeholderText();
        else if (const auto* list = qobject_cast<const QAbstractItemView*>(widget); list && list->model())
            rowTexts(*list->model(), list->rootIndex(), shown);
        texts += shown.join(QString()).size();
        missing += missingGlyphs(widget->font(), shown.join(QString()));
    }
    return missing;
}

// Every screenshot page, in the smaller window where it has one, shows only characters its fonts have:
// four pages a case, in the order of the list, each page a program of its own (eight made a case
// that ran for a minute under the sanitizers on a machine busy with twice as many tests as cores).
struct PageRun {
    QStringList pages;
};

std::vector<PageRun> pageRuns() {
    constexpr qsizetype pagesPerRun = 4;
    std::vector<PageRun> runs;
    const QStringList& all = PreviewScenarios::pages();
    for (qsizetype first = 0; first < all.size(); first += pagesPerRun)
        runs.push_back({all.mid(first, pagesPerRun)});
    return runs;
}

// The first and the last page of the run: "menu_to_menu_quit".
std::string runName(const PageRun& run) {
    QString name = run.pages.first() + QStringLiteral("_to_") + run.pages.last();
    return name.replace(QLatin1Char('-'), QLatin1Char('_')).toStdString();
}

void PrintTo(const PageRun& run, std::ostream* out) {
    *out << run.pages.join(QStringLiteral(", ")).toStdString();
}

class ScreenshotPages : public ::testing::TestWithParam<PageRun> {};

} // namespace

TEST_P(ScreenshotPages, ShowOnlyCharactersOfTheFont) {
    for (const QString& page : GetParam().pages) {
        SCOPED_TRACE(page.toStdString());
        Program program(
            {.preview = PreviewRequest{QStringLiteral("/nonexistent/x.png"), page, "dark", true}});
        const QWidget* shown = program.delegate->previewAlert()
                                   ? static_cast<QWidget*>(program.delegate->previewAlert())
                                   : program.window().centralWidget();
        ASSERT_NE(shown, nullptr);
        int texts = 0;
        const QString missing = missingGlyphsShown(*shown, texts);
        EXPECT_GT(texts, 0);
        EXPECT_TRUE(missing.isEmpty()) << missing.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(AppDelegate, ScreenshotPages, ::testing::ValuesIn(pageRuns()),
                         [](const ::testing::TestParamInfo<PageRun>& info) { return runName(info.param); });

TEST(AppDelegate, PreviewRunsHaveNoSideEffectsAndFallBackToTheMainWindow) {
    {
        Program program({.preview = PreviewRequest{"/nonexistent/x.png", "menu", "light", false}});
        EXPECT_EQ(program.delegate->statusItem(), nullptr);
        EXPECT_TRUE(program.window().menuBar()->actions().isEmpty());
        EXPECT_FALSE(program.model().samplingInterval().has_value());
        EXPECT_EQ(program.controller, nullptr); // the updater never started
        program.delegate->requestQuit();
        EXPECT_EQ(program.quitAlerts, 0);
        EXPECT_EQ(program.window().centralWidget()->size(), QSize(344, 505));
    }
    // No selected process: the stop and consent sheets give way to the main window with the page.
    for (const QString page : {"stop", "force-stop", "ai-consent"}) {
        Program program({.preview = PreviewRequest{"/nonexistent/x.png", page, "light", false}});
        program.model().setSelectedID(std::nullopt);
        const AppDelegate::Scene scene = program.delegate->previewScene();
        EXPECT_EQ(scene.size, QSize(1180, 820));
        EXPECT_TRUE(qobject_cast<MainView*>(scene.view)) << page.toStdString();
        delete scene.view;
    }
    // An empty library has no application whose removal to confirm.
    Program empty({.preview = PreviewRequest{"/nonexistent/x.png", "applications-remove", "light", false},
                   .emptyLibrary = true});
    EXPECT_TRUE(qobject_cast<MainView*>(empty.window().centralWidget()));
    EXPECT_EQ(empty.window().centralWidget()->size(), QSize(1180, 820));
}

// A sheet without a height of its own is drawn as tall as its text, as the page presents it: a taller
// frame would stretch the gaps between its lines.
TEST(AppDelegate, TheRemovalSheetPreviewIsAsTallAsItsText) {
    Program program({.preview = PreviewRequest{"/nonexistent/x.png", "applications-remove", "light", false}});
    const QWidget* sheet = program.window().centralWidget();
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(qobject_cast<const MainView*>(sheet));
    EXPECT_EQ(sheet->height(), sheet->sizeHint().height());
}
