#include "app/library/ApplicationLibraryModel.h"
#include "app/model/AppModel.h"
#include "app/modes/LunorvaleEntry.h"
#include "app/preview/PreviewServices.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/ProgramIdentity.h"
#include "core/ai/KeychainStore.h"
#include "core/applications/ApplicationInventory.h"
#include "core/applications/ApplicationRemovalService.h"
#include "core/common/ThreadExecutors.h"
#include "platform/DesktopEntries.h"
#include "platform/LinuxProcessPlatform.h"
#include "platform/desktop/AIClient.h"
#include "platform/desktop/ApplicationLauncher.h"
#include "platform/desktop/AtomicFileWriter.h"
#include "platform/desktop/ColorSchemePortal.h"
#include "platform/desktop/DesktopApplications.h"
#include "platform/desktop/DesktopOpener.h"
#include "platform/desktop/DesktopUrlOpener.h"
#include "platform/desktop/FileReveal.h"
#include "platform/desktop/FreedesktopNotifications.h"
#include "platform/desktop/GraphicalSession.h"
#include "platform/desktop/LoginItem.h"
#include "platform/desktop/PointerPresses.h"
#include "platform/desktop/SecretServiceBackend.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/desktop/SleepWatcher.h"
#include "platform/desktop/TerminationSignals.h"
#include "platform/gui/X11WindowClass.h"
#include "platform/update/StandardUpdaterController.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/KitStyle.h"
#include "ui/kit/QtTranslations.h"
#include "ui/settings/UpdateWindow.h"
#include "ui/window/ScreenFactory.h"

#include <QApplication>
#include <QMainWindow>
#include <cstdio>

namespace lunorvale {

namespace {

// The desktop's services of a normal run: the one place that makes them, and with them every member of
// the services the shell, the models and the screens are given. Each is made only once the run is
// known to be the one copy (the shell asks for the screens, the model and the library after claiming
// it): a second copy touches none of them, and a screenshot run has its own (PreviewServices).
struct DesktopServices {
    LinuxProcessPlatform processes;
    std::unique_ptr<FreedesktopNotifications> notifications;
    std::unique_ptr<LogindSleepWatcher> sleep;
    std::unique_ptr<AutostartLoginItem> loginItem;
    std::unique_ptr<LinuxDesktopApplications> applications;
    std::shared_ptr<CachedKeychainStore> keychain;
    DesktopUrlOpener urlOpener;
    std::unique_ptr<FreedesktopFileRevealer> revealer;
    BundleLauncher launcher;
    std::unique_ptr<X11PointerPresses> pointerPresses;
    // The one settings store of the run: the shell, the model and the update layer hold copies of it.
    std::optional<SettingsStore> settings;
    // The threads: the samples on one of their own; the library's scans, sizes, checks and removals on
    // two at low priority (they must not slow the interface or the sampling), its looks at the running
    // applications on one. Last, so that they go first, each waiting for its jobs while everything
    // those reach still exists.
    std::unique_ptr<ThreadExecutor> sampling;
    std::unique_ptr<PoolExecutor> libraryWork;
    std::unique_ptr<PoolExecutor> libraryLooks;

    // Asked when the user chose to install an update now: the program ends unless a removal runs.
    std::function<bool()> quitToInstall;
    // The window the update window opens over.
    std::function<QWidget*()> mainWindow;

    ShellServices shell() {
        ShellServices services;
        services.makeModel = [this](bool preview) {
            return makeModel(preview);
        };
        services.makeLibrary = [this](bool preview) {
            return makeLibrary(preview);
        };
        services.makeScreens = [this] {
            return makeStandardScreens(views());
        };
        settings = SettingsStore::applicationStore();
        services.settings = settings;
        services.makeSingleInstance = [] {
            return std::make_unique<SingleInstance>();
        };
        services.makeColorScheme = [] {
            return std::make_unique<ColorSchemePortal>();
        };
        // Clicks outside the program are heard on X11 only; elsewhere the popover closes when it
        // loses activation.
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            pointerPresses = std::make_unique<X11PointerPresses>();
            services.pointerPresses = pointerPresses.get();
        }
        return services;
    }

    std::unique_ptr<AppModel> makeModel(bool preview) {
        AppModelServices services;
        services.processPlatform = &processes;
        notifications = std::make_unique<FreedesktopNotifications>();
        notifications->setImage(ProgramIdentity::notificationImage(64));
        sleep = std::make_unique<LogindSleepWatcher>();
        loginItem = std::make_unique<AutostartLoginItem>(QCoreApplication::applicationFilePath());
        applications = std::make_unique<LinuxDesktopApplications>();
        sampling = std::make_unique<ThreadExecutor>(QStringLiteral("sampling"));
        services.settingsStore = settings;
        services.historyStore = &LocalHistoryStore::applicationStore;
        keychain = std::make_shared<CachedKeychainStore>(std::make_shared<SecretServiceBackend>());
        services.keychain = keychain;
        services.notifications = notifications.get();
        services.sleepWatcher = sleep.get();
        services.loginItem = loginItem.get();
        services.desktopApplications = applications.get();
        services.now = &QDateTime::currentDateTimeUtc;
        services.sampling = sampling.get();
        services.analyze = AIClient().request();
        UpdateEnvironment environment = UpdateEnvironment::standard(*settings);
        environment.quitToInstall = [this] {
            return quitToInstall && quitToInstall();
        };
        services.updaterFactory = StandardUpdaterController::factory(
            [this] {
                return std::make_unique<UpdateWindow>(
                    [this]() -> QWidget* { return mainWindow ? mainWindow() : nullptr; });
            },
            std::move(environment));
        return std::make_unique<AppModel>(preview, std::move(services));
    }

    // After the model: the library shares its key store.
    std::unique_ptr<ApplicationLibraryModel> makeLibrary(bool preview) {
        using PhaseCallback = ApplicationLibraryServices::PhaseCallback;
        libraryWork = std::make_unique<PoolExecutor>(2, QThread::LowPriority);
        libraryLooks = std::make_unique<PoolExecutor>(1);
        ApplicationLibraryServices services;
        services.processes = &processes;
        services.runningApplications = ApplicationLibraryServices::runningBundles(processes);
        services.scan = [](const CancellationToken& cancellation) {
            return ApplicationInventory(ApplicationInventory::defaultRoots()).scan(cancellation);
        };
        services.bundleSize = &ApplicationInventory::bundleSize;
        // A fresh removal service for each call: each runs on a worker thread of its own.
        services.prepare = [](const InstalledApplication& application, const PhaseCallback& onPhase,
                              const CancellationToken& cancellation) {
            return ApplicationRemovalService().prepare(application, onPhase, cancellation);
        };
        services.execute = [](const ApplicationRemovalPlan& plan, const PhaseCallback& onPhase,
                              const CancellationToken& cancellation) {
            return ApplicationRemovalService().execute(plan, onPhase, cancellation);
        };
        services.removeUnfinishedTrashRecords = [](const QList<ApplicationRemovalReceipt>& receipts,
                                                   const QDateTime& before) {
            ApplicationRemovalService::removeUnfinishedTrashRecords(receipts, before);
        };
        services.removalLog = &ApplicationRemovalLog::standard;
        services.revealer = fileRevealer();
        services.launcher = &launcher;
        services.keychain = keychain;
        services.analyze = AIClient().request();
        services.uptime = [this] {
            return processes.uptime();
        };
        services.now = &QDateTime::currentDateTimeUtc;
        services.work = libraryWork.get();
        services.looks = libraryLooks.get();
        return std::make_unique<ApplicationLibraryModel>(preview, std::move(services));
    }

    // What the screens reach of the desktop.
    ViewServices views() {
        ViewServices services;
        services.desktop = std::make_shared<SystemDesktopOpener>(urlOpener, *fileRevealer());
        services.revealer = fileRevealer();
        services.urlOpener = &urlOpener;
        services.makeIconLoader = [] {
            return std::make_unique<ApplicationIconLoader>();
        };
        services.fileWriter = std::make_shared<AtomicFileWriter>();
        return services;
    }

    FileRevealer* fileRevealer() {
        if (!revealer)
            revealer = std::make_unique<FreedesktopFileRevealer>(&urlOpener);
        return revealer.get();
    }
};

// A screenshot run on the offscreen platform: its notices about window-manager requests it cannot
// serve are no news; everything else is written as usual.
QtMessageHandler otherMessages = nullptr;

void quietOffscreenNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (otherMessages) {
        otherMessages(type, context, message);
        return;
    }
    const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

} // namespace

int LunorvaleEntry::application(int argc, char** argv, const QStringList& arguments) {
    const std::optional<PreviewRequest> preview = PreviewRequest::fromArguments(arguments);
    // A screenshot is drawn off screen even where there is a display: nothing flashes on the desktop
    // and the image has the screen's logical size. That holds whatever platform the environment names:
    // a session's "xcb" would otherwise have to answer where no display is left, for a picture that
    // never reaches it.
    if (preview) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        otherMessages = qInstallMessageHandler(quietOffscreenNotices);
    }
    // Qt would end the process with advice to reinstall it; the command-line modes need no display and
    // never come here.
    std::optional<GraphicalSession> session = GraphicalSession::connect(arguments);
    if (!session) {
        std::fputs("岚栖需要图形桌面会话才能运行。\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    session.reset();
    // The name, not a display name: Qt shows the name on a window without a title of its own and as the
    // tray item's title, and would append a display name to every title ("岚栖 · Lunorvale — 岚栖").
    QApplication::setApplicationName(ProgramIdentity::name());
    // The name is for people; window managers match an ASCII class, set before any window exists.
    const X11WindowClass windowClass;
    if (const std::optional<QString> desktopFile =
            ProgramIdentity::desktopFileName(DesktopEntries::standardFolders()))
        QGuiApplication::setDesktopFileName(*desktopFile);
    // The kit's style before any widget exists: set later, it would repolish the hidden window's menu
    // bar, which lays itself out and loads the fonts a program in the tray never shows.
    QApplication::setStyle(new KitStyle);
    Fonts::install();
    QtTranslations::install();
    // Every window's, for the taskbar and the window switcher; a screenshot shows none.
    if (!preview)
        QApplication::setWindowIcon(ProgramIdentity::icon());

    // The services of the run, chosen once: the desktop's own, or for a screenshot ones that keep
    // everything in memory.
    DesktopServices desktop;
    std::optional<PreviewServices> previewServices;
    if (preview)
        previewServices.emplace();
    ShellServices services = preview ? ShellServices::preview(*previewServices) : desktop.shell();
    const bool loginLaunch =
        arguments.mid(1).contains(QString::fromLatin1(AutostartLoginItem::loginLaunchArgument));
    AppDelegate delegate(std::move(services), preview, loginLaunch);
    desktop.quitToInstall = [&delegate] {
        return delegate.quitToInstallUpdate();
    };
    desktop.mainWindow = [&delegate]() -> QWidget* {
        return delegate.window();
    };

    // The session ending or the terminal's interrupt: no confirmation, an ordinary end.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [] { QCoreApplication::exit(0); });

    if (delegate.applicationDidFinishLaunching() == AppDelegate::Launch::secondCopy)
        return 0;
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}

} // namespace lunorvale
