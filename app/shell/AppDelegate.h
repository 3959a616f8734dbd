#pragma once

#include "app/shell/MenuBarInteraction.h"
#include "app/shell/PreviewScenarios.h"
#include "platform/files/SettingsStore.h"
#include "ui/window/ScreenFactory.h"
#include "ui/window/WindowRequests.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMainWindow;
class QMenu;
class QWidget;

namespace lunorvale {

class AppModel;
class ApplicationLibraryModel;
class ColorSchemePortal;
class SoftwareUpdater;
class PopoverHost;
class PreviewServices;
class ScreenFactory;
class SingleInstance;
class StatusItem;
class WindowAppearance;

// What the shell builds its run from. The program passes the desktop's own, or for a screenshot
// `preview()`; tests their fakes.
struct ShellServices {
    // The one model of a run; `preview` fixes preview mode.
    std::function<std::unique_ptr<AppModel>(bool preview)> makeModel;
    // The application library of a run (default: one over no desktop services, which lists nothing;
    // in preview mode its sample applications).
    std::function<std::unique_ptr<ApplicationLibraryModel>(bool preview)> makeLibrary;
    std::function<std::unique_ptr<ScreenFactory>()> makeScreens;
    // Where the main window's frame is kept; absent: not kept.
    std::optional<SettingsStore> settings;
    // What keeps one copy per session (absent: every run is the one copy) and the desktop's colour
    // scheme (absent: the palette's lightness). Made only by a run that is not a screenshot, before
    // anything else.
    std::function<std::unique_ptr<SingleInstance>()> makeSingleInstance;
    std::function<std::unique_ptr<ColorSchemePortal>()> makeColorScheme;
    // How the quit alert is shown and the program ended (defaults: modal alert, leave the event loop).
    UserQuitConfirmation::Present presentQuit;
    UserQuitConfirmation::Terminate terminate;
    // How a screenshot run ends once its image is written, or could not be (default: leave the event
    // loop with the status).
    std::function<void(int status)> endPreview;
    // Whether a tray host shows the icon now (default: Qt's answer).
    std::function<bool()> trayHostAvailable;
    // How long a launch at login waits for a tray host that is not there yet.
    std::chrono::milliseconds trayHostWait{10000};
    // Clicks anywhere on the screen, which close the popover (absent: only this program's own, and the
    // loss of activation); outlives the run.
    PointerPresses* pointerPresses = nullptr;

    // A screenshot run's: models, screens and the window frame's store over `services`. `services`
    // outlives the run.
    static ShellServices preview(PreviewServices& services);
};

// Holds the desktop program together for the life of the process: one copy per session, the model,
// the main window with its menu bar, the tray icon with its popover, the quit confirmation, the
// appearance; or, for a screenshot request, one screen rendered into a PNG file.
//
// Requests from one part of the interface to another travel as its signals (the main window shows
// the settings, the AI settings or the help on them).
class AppDelegate final : public QObject {
    Q_OBJECT

public:
    static constexpr char windowFrameKey[] = "Lunorvale.MainWindow";

    AppDelegate(ShellServices services, std::optional<PreviewRequest> preview, bool loginLaunch,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    enum class Launch {
        running,    // the program runs: enter the event loop
        secondCopy, // another copy was asked to show itself: end with status 0
    };
    // Builds the program (or the screenshot run), in this order: single copy, model, main window
    // (hidden), menu bar, tray icon and popover, their subscriptions, appearance, sampling timer and
    // first sample, updater, and the decision whether the window opens.
    Launch applicationDidFinishLaunching();

    // The one way to show the main window: closes the popover, shows and raises the window.
    void openMain();
    void showSettings();
    void showHelp();
    void checkForUpdates();
    void openMainFromMenu() { openMain(); }
    // Every way of quitting goes here: nothing in a screenshot run; otherwise the quit confirmation,
    // told whether a removal runs and whether an update waits.
    // True when the program is about to end.
    bool requestQuit();
    // The update window's "install and restart": ends the program without the quit alert, unless a
    // removal runs. True when the program is about to end.
    bool quitToInstallUpdate();
    void togglePopover();
    // The program is ending, whichever way it was asked to (the menus, the signals of a session's
    // end): the popover's watch ends, the window's frame is kept and a history write that failed is
    // tried once more. Once only; the destructor calls it too.
    void applicationWillTerminate();

    // What the window shows for this run and the size of its content.
    struct Scene {
        QWidget* view = nullptr; // new, without parent
        QSize size;
    };
    Scene previewScene();
    // Captures the screenshot, writes it and ends the run: 0 after "PREVIEW_OK <path>", 1 otherwise.
    int renderPreview();

    // Whether the main window opens at the end of a launch.
    static bool opensWindowAtLaunch(bool loginLaunch, bool onboardingDone, bool trayHost);

    AppModel* model() const { return m_model.get(); }
    // The model's update controller.
    SoftwareUpdater* updater() const;
    QMainWindow* window() const { return m_window; }
    StatusItem* statusItem() const { return m_statusItem; }
    PopoverHost* popover() const { return m_popover; }
    WindowAppearance* appearance() const { return m_appearance; }
    LVAlert* previewAlert() const { return m_previewAlert.get(); }

signals:
    void lunorvaleShowSettings();
    void lunorvaleShowAISettings();
    void lunorvaleShowHelp();

private:
    void launchPreview();
    void createPreviewWindow(const Scene& scene);
    // Gives the main window its content and frame the first time it opens.
    void fillMainWindow();
    void restoreWindowFrame();
    void saveWindowFrame();
    void buildApplicationMenu();
    QMenu* buildTrayMenu();
    void createStatusItem();
    void updateStatusItem();
    void decideWindowAtLaunch();
    void popoverDidClose();
    // The popover's height by the table: by findings, other reminders and an update on offer.
    int popoverTableHeight() const;
    // After a sample has settled or a window has closed: the freed memory goes back to the system.
    void releaseMemorySoon();
    MenuActions menuActions();
    void makeScreens();
    std::unique_ptr<ApplicationLibraryModel> makeLibrary(bool preview) const;
    bool isPreview() const { return m_preview.has_value(); }

    ShellServices m_services;
    std::optional<PreviewRequest> m_preview;
    bool m_loginLaunch;
    bool m_terminated = false;

    SingleInstance* m_singleInstance = nullptr;
    ColorSchemePortal* m_portal = nullptr;
    WindowAppearance* m_appearance = nullptr;
    // The main window's content follows it; the signals above are forwarded to it.
    WindowRequests m_requests;
    std::unique_ptr<ScreenFactory> m_screens;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<ApplicationLibraryModel> m_library;
    QMainWindow* m_window = nullptr;
    StatusItem* m_statusItem = nullptr;
    std::unique_ptr<QMenu> m_trayMenu;
    PopoverHost* m_popover = nullptr;
    MenuPopoverDismissal* m_popoverDismissal;
    UserQuitConfirmation m_quitConfirmation;
    std::unique_ptr<LVAlert> m_previewAlert;
    QList<QAction*> m_checkForUpdatesActions;
    QTimer m_releaseMemory;
};

} // namespace lunorvale
