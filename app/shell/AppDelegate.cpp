#include "app/shell/AppDelegate.h"

#include "app/library/ApplicationLibraryModel.h"
#include "app/model/AppModel.h"
#include "app/model/SoftwareUpdater.h"
#include "app/preview/PreviewServices.h"
#include "app/shell/PopoverHost.h"
#include "app/shell/StatusItem.h"
#include "app/shell/WindowAppearance.h"
#include "core/ai/AIServicePreset.h"
#include "platform/FreeMemory.h"
#include "platform/desktop/ColorSchemePortal.h"
#include "platform/desktop/SingleInstance.h"
#include "ui/window/ScreenFactory.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <utility>

namespace lunorvale {

namespace {

// The main window: closing it only hides it, and its frame is kept for the next run.
class MainWindow final : public QMainWindow {
public:
    explicit MainWindow(std::function<void()> frameChanged) : m_frameChanged(std::move(frameChanged)) {
        setWindowTitle(QStringLiteral("岚栖 · Lunorvale"));
    }

    // Keeps the whole frame inside the free area of its screen, from now on each time it is shown: a size
    // the screen cannot hold shrinks (never below what the content needs, where the title still shows)
    // and a frame left on a larger screen comes back. The window manager's title and borders are known
    // only once it has framed the window, so this runs again when the window is first drawn.
    void keepInsideScreen() {
        m_keepsInsideScreen = true;
        create(); // a platform that knows its frame says so from here on
        fitIntoScreen();
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        if (m_frameChanged)
            m_frameChanged();
        QMainWindow::closeEvent(event);
    }

    void showEvent(QShowEvent* event) override {
        QMainWindow::showEvent(event);
        if (!m_keepsInsideScreen || event->spontaneous() || !windowHandle())
            return;
        m_fitWhenExposed = true;
        windowHandle()->removeEventFilter(this);
        windowHandle()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (m_fitWhenExposed && event->type() == QEvent::Expose && watched == windowHandle() &&
            windowHandle()->isExposed()) {
            m_fitWhenExposed = false;
            fitIntoScreen();
        }
        return QMainWindow::eventFilter(watched, event);
    }

private:
    void fitIntoScreen() {
        const QRect frame = frameGeometry();
        const QRect inner = geometry();
        const QScreen* screen = QGuiApplication::screenAt(frame.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect available = screen->availableGeometry();
        const QMargins decorations(inner.left() - frame.left(), inner.top() - frame.top(),
                                   frame.right() - inner.right(), frame.bottom() - inner.bottom());
        const QSize fitted =
            size().boundedTo(available.size().shrunkBy(decorations)).expandedTo(minimumSizeHint());
        if (fitted != size())
            resize(fitted);
        // Where even the least frame is larger than the area, its top left (the title) stays on it.
        const QSize outer = fitted.grownBy(decorations);
        const QPoint at(
            std::max(available.left(), std::min(frame.left(), available.right() + 1 - outer.width())),
            std::max(available.top(), std::min(frame.top(), available.bottom() + 1 - outer.height())));
        if (at != frame.topLeft())
            move(at);
    }

    std::function<void()> m_frameChanged;
    bool m_keepsInsideScreen = false;
    bool m_fitWhenExposed = false;
};

// The text field (or other editor) with the focus takes the edit menu's commands it knows.
void sendToFocus(const char* slot) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return;
    const QByteArray signature = QByteArray(slot) + "()";
    if (focus->metaObject()->indexOfMethod(signature.constData()) >= 0)
        QMetaObject::invokeMethod(focus, slot);
}

// The service a screenshot page shows in the AI settings.
AIConfiguration previewAIConfiguration(const QString& page) {
    static const QStringList deepSeekPages = {
        "settings-ai",        "settings-ai-auto",         "settings-ai-authorize",
        "settings-ai-manual", "settings-ai-unconfigured", "settings-ai-missing",
        "settings-ai-saved"};
    if (deepSeekPages.contains(page))
        return {AIServicePreset(AIServicePreset::Kind::deepSeek).baseURL(),
                QStringLiteral("deepseek-v4-flash")};
    if (page == QLatin1String("settings-ai-aliyun")) {
        const AIServicePreset aliyun(AIServicePreset::Kind::aliyunSingapore);
        return {aliyun.baseURL(), aliyun.models().value(0)};
    }
    if (page == QLatin1String("settings-ai-custom"))
        return {QStringLiteral("https://api.example.com/v1"), QStringLiteral("my-model")};
    return {AIServicePreset(AIServicePreset::Kind::ollama).baseURL(), QStringLiteral("local-model")};
}

} // namespace

ShellServices ShellServices::preview(PreviewServices& services) {
    ShellServices shell;
    shell.makeModel = [&services](bool preview) {
        return std::make_unique<AppModel>(preview, services.modelServices());
    };
    shell.makeLibrary = [&services](bool preview) {
        return std::make_unique<ApplicationLibraryModel>(preview, services.libraryServices());
    };
    shell.makeScreens = [&services] {
        const std::shared_ptr<PreviewDesktop>& desktop = services.desktop();
        ViewServices views;
        views.desktop = std::shared_ptr<DesktopOpener>(desktop, desktop.get());
        views.revealer = desktop.get();
        views.urlOpener = desktop.get();
        views.fileWriter = std::shared_ptr<FileWriter>(desktop, desktop.get());
        return makeStandardScreens(std::move(views));
    };
    shell.settings = services.settingsStore();
    return shell;
}

AppDelegate::AppDelegate(ShellServices services, std::optional<PreviewRequest> preview, bool loginLaunch,
                         QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_preview(std::move(preview)),
      m_loginLaunch(loginLaunch),
      m_popoverDismissal(new MenuPopoverDismissal(m_services.pointerPresses, this)),
      m_quitConfirmation(m_services.presentQuit, m_services.terminate) {
    if (!m_services.trayHostAvailable)
        m_services.trayHostAvailable = &StatusItem::isHostAvailable;
    if (!m_services.endPreview)
        m_services.endPreview = [](int status) {
            QCoreApplication::exit(status);
        };
    connect(this, &AppDelegate::lunorvaleShowSettings, &m_requests, &WindowRequests::showSettings);
    connect(this, &AppDelegate::lunorvaleShowAISettings, &m_requests, &WindowRequests::showAISettings);
    connect(this, &AppDelegate::lunorvaleShowHelp, &m_requests, &WindowRequests::showHelp);
    // Once the pages have taken a sample (their refreshes are queued behind it), not on every change.
    m_releaseMemory.setSingleShot(true);
    m_releaseMemory.setTimerType(Qt::CoarseTimer);
    m_releaseMemory.setInterval(2000);
    connect(&m_releaseMemory, &QTimer::timeout, this, &returnFreeMemory);
}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
    delete m_popover;
    delete m_statusItem;
    delete m_window;
}

bool AppDelegate::opensWindowAtLaunch(bool loginLaunch, bool onboardingDone, bool trayHost) {
    // Only a launch at login after onboarding stays in the tray, and only where there is a tray.
    return !(loginLaunch && onboardingDone && trayHost);
}

AppDelegate::Launch AppDelegate::applicationDidFinishLaunching() {
    if (isPreview()) {
        makeScreens();
        launchPreview();
        return Launch::running;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    // 1. One copy per session.
    if (m_services.makeSingleInstance) {
        m_singleInstance = m_services.makeSingleInstance().release();
        m_singleInstance->setParent(this);
        if (m_singleInstance->claim() == SingleInstance::Outcome::secondary)
            return Launch::secondCopy;
        connect(m_singleInstance, &SingleInstance::activated, this, &AppDelegate::openMain);
    }

    // 2. The screens, the model (with its updater) and the library: what reaches the desktop is made
    // only once this is the one copy.
    makeScreens();
    m_model = m_services.makeModel(false);
    m_library = makeLibrary(false);
    m_model->setApplicationLibrary(m_library.get());
    m_library->removeUnfinishedTrashRecords();

    // 3–6. The main window, hidden, with its menu bar. Its content is made when it first opens: a
    // program that stays in the tray never lays out (or loads the fonts for) a page nobody sees.
    m_window = new MainWindow([this] {
        saveWindowFrame();
        releaseMemorySoon();
    });
    buildApplicationMenu();

    // 7–8. The tray icon and the popover, following the model.
    createStatusItem();

    // 9. Appearance: the stored setting, resolved against the desktop.
    if (m_services.makeColorScheme) {
        m_portal = m_services.makeColorScheme().release();
        m_portal->setParent(this);
    }
    m_appearance = new WindowAppearance(m_portal, &Palette::apply, this);
    m_appearance->setSetting(m_model->appearance());
    connect(m_model.get(), &AppModel::appearanceChanged, m_appearance,
            [this] { m_appearance->setSetting(m_model->appearance()); });

    // 10. Reminders: a click shows the window; coming to the front refreshes the system status.
    connect(m_model.get(), &AppModel::mainWindowRequested, this, &AppDelegate::openMain);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && m_model)
            m_model->refreshSystemStatus();
    });

    connect(m_model.get(), &AppModel::sampleStateChanged, this, &AppDelegate::releaseMemorySoon);

    // 11. Sampling.
    m_model->armTimer();
    if (m_model->isMonitoring())
        m_model->sampleNow();

    // 12. Updates.
    updater()->start();

    // 13. The window.
    decideWindowAtLaunch();
    return Launch::running;
}

void AppDelegate::launchPreview() {
    const PreviewRequest& request = *m_preview;
    const QString page = request.configuredPage();
    m_model = m_services.makeModel(true);
    m_library = makeLibrary(true);
    m_model->setApplicationLibrary(m_library.get());
    m_model->configurePreview(page);
    updater()->configurePreview(page);
    m_library->configurePreview(page);
    m_model->setAppearance(request.isDark() ? QStringLiteral("dark") : QStringLiteral("light"));
    m_model->setPreviewAIConfiguration(previewAIConfiguration(page));
    m_model->configureAdvicePreview(request.page.value_or(QString()));
    m_model->configureAIStatusPreview(request.page.value_or(QString()));
    if (request.page == QLatin1String("process-empty"))
        m_model->clearPreviewProcesses();

    m_appearance = new WindowAppearance(nullptr, &Palette::apply, this);
    m_appearance->setSetting(m_model->appearance());

    QPointer<AppDelegate> self(this);
    const auto renderLater = [self] {
        // The wait lets the screen finish its first layout before it is captured.
        QTimer::singleShot(600, qApp, [self] {
            if (self)
                self->m_services.endPreview(self->renderPreview());
        });
    };
    if (request.page == QLatin1String("menu-quit")) {
        m_previewAlert = UserQuitConfirmation::makeAlert(false, false);
        m_previewAlert->show();
        m_previewAlert->raise();
        renderLater();
        return;
    }
    createPreviewWindow(previewScene());
    m_window->show();
    m_window->raise();
    renderLater();
}

AppDelegate::Scene AppDelegate::previewScene() {
    const QSize mainSize = isPreview() && m_preview->compact ? PreviewScenarios::compactMainWindowSize
                                                             : PreviewScenarios::mainWindowSize;
    if (!isPreview() || !m_preview->page)
        return {m_screens->mainView(*m_model, std::nullopt, &m_requests), mainSize};
    const QString page = *m_preview->page;
    const auto mainWindow = [&] {
        return Scene{m_screens->mainView(*m_model, page, &m_requests), mainSize};
    };
    const PreviewSceneKind kind = PreviewScenarios::sceneKind(page);
    const QSize fixed = PreviewScenarios::fixedSize(kind).value_or(mainSize);
    const auto selected = [&]() -> std::optional<ProcessSample> {
        if (!m_model->selectedID())
            return std::nullopt;
        for (const ProcessSample& sample : m_model->processes()) {
            if (sample.identity == *m_model->selectedID())
                return sample;
        }
        return std::nullopt;
    };
    switch (kind) {
    case PreviewSceneKind::applicationRemoval: {
        // An empty library has no application to confirm: the main window shows the page instead.
        const QList<InstalledApplication> applications = m_library->applications();
        if (applications.isEmpty())
            return mainWindow();
        // The sheet is as tall as its text, as the page presents it: a taller frame would only stretch
        // the gaps between its lines.
        QWidget* sheet = m_screens->applicationRemovalConfirmation(applications.first(), {}, {});
        return {sheet, QSize(fixed.width(), sheet->sizeHint().height())};
    }
    case PreviewSceneKind::removalReceipts:
        return {m_screens->applicationReceipts(*m_library, {}), fixed};
    case PreviewSceneKind::applicationAdviceConsent: {
        const QList<ApplicationAdviceItem> items = m_library->adviceItems();
        try {
            const ApplicationAdviceConsent consent{QUuid::createUuid(), m_library->summary(),
                                                   m_model->aiConfiguration(), QDateTime::currentDateTime(),
                                                   static_cast<int>(items.size())};
            return {m_screens->applicationAdviceConsent(consent, true, {}, {}), fixed};
        } catch (const ApplicationManagementError&) {
            return mainWindow();
        }
    }
    case PreviewSceneKind::menu: {
        const int height = PopoverGeometry::previewHeight(!m_model->findings().isEmpty(),
                                                          page.contains(QLatin1String("update-")),
                                                          !m_model->memoryObservations().isEmpty());
        return {m_screens->menuContent(*m_model, {}), QSize(PopoverGeometry::width, height)};
    }
    case PreviewSceneKind::welcome:
        return {m_screens->welcome(*m_model, {}), fixed};
    case PreviewSceneKind::privacy:
        return {m_screens->privacy(), fixed};
    case PreviewSceneKind::stop:
    case PreviewSceneKind::forceStop: {
        const std::optional<ProcessSample> sample = selected();
        if (!sample)
            return mainWindow();
        const StopRequest stop{QUuid::createUuid(), *sample, kind == PreviewSceneKind::forceStop};
        return {m_screens->stopConfirmation(*m_model, stop, {}, {}), fixed};
    }
    case PreviewSceneKind::analysisConsent: {
        const std::optional<ProcessSample> sample = selected();
        if (!sample)
            return mainWindow();
        return {m_screens->analysisConsent(*m_model, *sample, {}), fixed};
    }
    case PreviewSceneKind::quitAlert:
    case PreviewSceneKind::mainWindow:
        break;
    }
    return mainWindow();
}

void AppDelegate::fillMainWindow() {
    if (m_window->centralWidget())
        return;
    const Scene scene = previewScene();
    m_window->setCentralWidget(scene.view);
    scene.view->setMinimumSize(PreviewScenarios::compactMainWindowSize);
    scene.view->resize(scene.size);
    restoreWindowFrame();
}

void AppDelegate::createPreviewWindow(const Scene& scene) {
    // The window holds the scene at exactly its size: no menu bar, no smaller size.
    m_window = new MainWindow({});
    m_window->setCentralWidget(scene.view);
    scene.view->setMinimumSize(scene.size);
    scene.view->resize(scene.size);
    m_window->resize(scene.size);
}

void AppDelegate::restoreWindowFrame() {
    auto* window = static_cast<MainWindow*>(m_window);
    // The content keeps its size under the menu bar where the screen has room for it.
    window->resize(PreviewScenarios::mainWindowSize.width(),
                   PreviewScenarios::mainWindowSize.height() + window->menuBar()->sizeHint().height());
    window->keepInsideScreen();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    const std::optional<QString> saved =
        m_services.settings ? m_services.settings->stringValue(QString::fromLatin1(windowFrameKey))
                            : std::nullopt;
    if (saved)
        window->restoreGeometry(QByteArray::fromBase64(saved->toLatin1()));
    window->keepInsideScreen();
}

void AppDelegate::saveWindowFrame() {
    if (!m_services.settings || !m_window || !m_window->centralWidget())
        return;
    const QString frame = QString::fromLatin1(m_window->saveGeometry().toBase64());
    if (m_services.settings->stringValue(QString::fromLatin1(windowFrameKey)) != frame)
        m_services.settings->setValue(QString::fromLatin1(windowFrameKey), frame);
}

void AppDelegate::buildApplicationMenu() {
    QMenuBar* bar = m_window->menuBar();
    const auto add = [this](QMenu* menu, const QString& title, QKeySequence key, auto action) {
        QAction* item = menu->addAction(title);
        item->setShortcut(key);
        connect(item, &QAction::triggered, this, action);
        return item;
    };

    QMenu* application = bar->addMenu(QStringLiteral("岚栖"));
    add(application, QStringLiteral("关于岚栖"), {}, [this] { showHelp(); });
    application->addSeparator();
    add(application, QStringLiteral("设置…"), QKeySequence(Qt::CTRL | Qt::Key_Comma),
        [this] { showSettings(); });
    m_checkForUpdatesActions << add(application, QStringLiteral("检查更新…"), {},
                                    [this] { checkForUpdates(); });
    application->addSeparator();
    add(application, QStringLiteral("隐藏岚栖"), QKeySequence(Qt::CTRL | Qt::Key_H), [this] {
        if (m_popover)
            m_popover->close();
        saveWindowFrame();
        m_window->hide();
        releaseMemorySoon();
    });
    add(application, QStringLiteral("退出岚栖…"), QKeySequence(Qt::CTRL | Qt::Key_Q),
        [this] { requestQuit(); });

    QMenu* edit = bar->addMenu(QStringLiteral("编辑"));
    add(edit, QStringLiteral("撤销"), QKeySequence(Qt::CTRL | Qt::Key_Z), [] { sendToFocus("undo"); });
    add(edit, QStringLiteral("重做"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
        [] { sendToFocus("redo"); });
    edit->addSeparator();
    add(edit, QStringLiteral("剪切"), QKeySequence(Qt::CTRL | Qt::Key_X), [] { sendToFocus("cut"); });
    add(edit, QStringLiteral("复制"), QKeySequence(Qt::CTRL | Qt::Key_C), [] { sendToFocus("copy"); });
    add(edit, QStringLiteral("粘贴"), QKeySequence(Qt::CTRL | Qt::Key_V), [] { sendToFocus("paste"); });
    add(edit, QStringLiteral("全选"), QKeySequence(Qt::CTRL | Qt::Key_A), [] { sendToFocus("selectAll"); });

    QMenu* windows = bar->addMenu(QStringLiteral("窗口"));
    add(windows, QStringLiteral("打开岚栖"), QKeySequence(Qt::CTRL | Qt::Key_0),
        [this] { openMainFromMenu(); });
    add(windows, QStringLiteral("最小化"), QKeySequence(Qt::CTRL | Qt::Key_M), [] {
        if (QWidget* active = QApplication::activeWindow())
            active->showMinimized();
    });
    add(windows, QStringLiteral("关闭窗口"), QKeySequence(Qt::CTRL | Qt::Key_W), [] {
        if (QWidget* active = QApplication::activeWindow())
            active->close();
    });
}

QMenu* AppDelegate::buildTrayMenu() {
    m_trayMenu = std::make_unique<QMenu>();
    connect(m_trayMenu->addAction(QStringLiteral("打开岚栖")), &QAction::triggered, this,
            [this] { openMain(); });
    connect(m_trayMenu->addAction(QStringLiteral("设置…")), &QAction::triggered, this,
            [this] { showSettings(); });
    QAction* check = m_trayMenu->addAction(QStringLiteral("检查更新…"));
    connect(check, &QAction::triggered, this, [this] { checkForUpdates(); });
    m_checkForUpdatesActions << check;
    m_trayMenu->addSeparator();
    connect(m_trayMenu->addAction(QStringLiteral("退出岚栖…")), &QAction::triggered, this,
            [this] { requestQuit(); });
    return m_trayMenu.get();
}

void AppDelegate::createStatusItem() {
    QMenu* trayMenu = buildTrayMenu();
    // "检查更新…" is offered exactly while the updater can check.
    const auto enableChecks = [this] {
        for (QAction* action : std::as_const(m_checkForUpdatesActions))
            action->setEnabled(updater()->canCheckForUpdates());
    };
    enableChecks();
    connect(updater(), &SoftwareUpdater::canCheckForUpdatesChanged, this, enableChecks);

    m_statusItem = new StatusItem(trayMenu);
    connect(m_statusItem, &StatusItem::clicked, this, &AppDelegate::togglePopover);
    m_popover = new PopoverHost;
    connect(m_popover, &PopoverHost::closed, this, &AppDelegate::popoverDidClose);

    // What the icon counts is also what the popover's height is chosen by: an open popover follows.
    const auto changed = [this] {
        updateStatusItem();
        if (m_popover->isShown())
            m_popover->setLeastHeight(popoverTableHeight());
    };
    connect(m_model.get(), &AppModel::sampleStateChanged, this, changed);
    connect(updater(), &SoftwareUpdater::availableVersionChanged, this, changed);
    updateStatusItem();
}

void AppDelegate::updateStatusItem() {
    if (!m_statusItem || !m_model)
        return;
    const int count = StatusItemText::reminderCount(m_model->findings(), m_model->memoryObservations(),
                                                    m_model->applicationCPUFindings());
    m_statusItem->show({count, updater()->availableVersion()});
}

void AppDelegate::decideWindowAtLaunch() {
    const bool onboarded = m_model->hasCompletedOnboarding();
    if (m_loginLaunch && onboarded && !m_services.trayHostAvailable()) {
        // The panel may start after us: give it a moment before the window stands in for the tray.
        QPointer<AppDelegate> self(this);
        QTimer::singleShot(m_services.trayHostWait, this, [self] {
            if (self && !self->m_services.trayHostAvailable())
                self->openMain();
        });
        return;
    }
    if (opensWindowAtLaunch(m_loginLaunch, onboarded, m_services.trayHostAvailable()))
        openMain();
}

void AppDelegate::openMain() {
    if (m_popover)
        m_popover->close();
    if (!m_window)
        return;
    fillMainWindow();
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void AppDelegate::showSettings() {
    openMain();
    emit lunorvaleShowSettings();
}

void AppDelegate::showHelp() {
    openMain();
    emit lunorvaleShowHelp();
}

void AppDelegate::checkForUpdates() {
    if (m_model)
        updater()->checkForUpdates();
}

SoftwareUpdater* AppDelegate::updater() const {
    return m_model ? m_model->softwareUpdater() : nullptr;
}

bool AppDelegate::requestQuit() {
    if (isPreview() || !m_model)
        return false;
    if (m_popover)
        m_popover->close();
    if (m_window && m_window->isVisible())
        m_window->activateWindow();
    return m_quitConfirmation.request(m_library && m_library->removing(), updater()->readyToInstall());
}

bool AppDelegate::quitToInstallUpdate() {
    if (isPreview() || !m_model)
        return false;
    if (m_popover)
        m_popover->close();
    return m_quitConfirmation.endForUpdate(m_library && m_library->removing());
}

void AppDelegate::makeScreens() {
    m_screens = m_services.makeScreens ? m_services.makeScreens() : makeStandardScreens();
}

std::unique_ptr<ApplicationLibraryModel> AppDelegate::makeLibrary(bool preview) const {
    if (m_services.makeLibrary)
        return m_services.makeLibrary(preview);
    return std::make_unique<ApplicationLibraryModel>(preview, ApplicationLibraryServices{});
}

MenuActions AppDelegate::menuActions() {
    QPointer<AppDelegate> self(this);
    return {
        [self] {
            if (self)
                self->openMain();
        },
        [self] {
            if (self)
                self->showSettings();
        },
        [self] {
            if (self)
                self->requestQuit();
        },
        [self] {
            if (self)
                emit self->lunorvaleShowAISettings();
        },
    };
}

void AppDelegate::togglePopover() {
    if (!m_statusItem || !m_popover || !m_model)
        return;
    if (m_popover->isShown()) {
        m_popover->close();
        return;
    }
    // The click that just closed the popover from outside, passed on again by the tray host.
    if (PopoverGeometry::isEchoOfDismissal(m_popover->lastOutsideDismissal(),
                                           std::chrono::steady_clock::now()))
        return;
    m_model->refreshSystemStatus();
    const std::optional<QRect> icon = m_statusItem->geometry();
    const QRect anchor = icon.value_or(QRect(QCursor::pos(), QSize(1, 1)));
    m_popover->show(m_screens->menuContent(*m_model, menuActions()),
                    QSize(PopoverGeometry::width, popoverTableHeight()), anchor);
    if (!m_popover->isShown())
        return;
    QPointer<PopoverHost> popover(m_popover);
    m_popoverDismissal->start(m_popover->window(), icon, [popover] {
        if (popover)
            popover->closeFromOutside();
    });
}

int AppDelegate::popoverTableHeight() const {
    const bool others =
        !m_model->memoryObservations().isEmpty() || !m_model->applicationCPUFindings().isEmpty();
    return PopoverGeometry::height(!m_model->findings().isEmpty(), others,
                                   updater()->availableVersion().has_value());
}

void AppDelegate::popoverDidClose() {
    m_popoverDismissal->stop();
    releaseMemorySoon();
}

void AppDelegate::releaseMemorySoon() {
    m_releaseMemory.start();
}

void AppDelegate::applicationWillTerminate() {
    if (std::exchange(m_terminated, true))
        return;
    m_popoverDismissal->stop();
    saveWindowFrame();
    if (m_model)
        m_model->applicationWillTerminate();
}

int AppDelegate::renderPreview() {
    if (!isPreview())
        return 1;
    QWidget* content = m_previewAlert ? static_cast<QWidget*>(m_previewAlert.get())
                                      : (m_window ? m_window->centralWidget() : nullptr);
    if (!content)
        return 1;
    QImage image = content->grab().toImage();
    if (image.isNull()) {
        std::fputs("Preview bitmap unavailable\n", stderr);
        return 1;
    }
    if (m_previewAlert) {
        // The alert's window is drawn over the grey of the desktop behind it: no transparent pixel.
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.setDevicePixelRatio(image.devicePixelRatio());
        flat.fill(m_preview->isDark() ? QColor::fromRgbF(0.17f, 0.17f, 0.17f)
                                      : QColor::fromRgbF(0.94f, 0.94f, 0.94f));
        QPainter painter(&flat);
        painter.drawImage(QPoint(0, 0), image);
        painter.end();
        image = flat;
    }
    QString error;
    if (!PreviewScenarios::write(image, m_preview->path, &error)) {
        if (!error.isEmpty())
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    const QByteArray line = "PREVIEW_OK " + m_preview->path.toLocal8Bit() + "\n";
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace lunorvale
