#include "ui/window/MainView.h"

#include "app/model/AppModel.h"
#include "ui/kit/RefreshCoalescer.h"
#include "ui/kit/SheetActivation.h"
#include "ui/window/MainViewBars.h"
#include "ui/window/OperationBanner.h"
#include "ui/window/OverviewLogic.h"
#include "ui/window/ProcessRow.h"
#include "ui/window/ProcessesLogic.h"
#include "ui/window/ResourceDashboardView.h"
#include "ui/window/WindowRequests.h"

#include <QAction>
#include <QDialog>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace lunorvale {

namespace {

// Padding 24 around the help and the settings page.
QWidget* padded(QWidget* content) {
    auto* frame = new QWidget;
    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(24, 24, 24, 24);
    column->addWidget(content);
    return frame;
}

// A window-modal sheet that only its host closes: Escape reaching the dialog and the window
// manager's close are the sheet's own cancel (nothing for a sheet without one), which the host
// answers by closing it.
class HostedSheetDialog final : public QDialog {
public:
    HostedSheetDialog(QWidget* parent, std::function<void()> cancel)
        : QDialog(parent), m_cancel(std::move(cancel)) {
        // The window manager shows it in the title bar and the window list.
        setWindowTitle(QStringLiteral("岚栖"));
        keepActivation(*this);
    }
    void reject() override {
        if (m_cancel)
            m_cancel();
    }

private:
    std::function<void()> m_cancel;
};

// Whether the processes page, searched and filtered as the user left it, lists `sample`.
bool listsProcess(const AppModel& model, const MainViewState& state, const ProcessSample& sample) {
    ProcessesLogic::Filter filter{state.processFilter, {}, {}};
    if (filter.key == ProcessFilter::attention)
        filter.flagged = ProcessesLogic::flaggedIdentities(model.findings());
    if (filter.key == ProcessFilter::muted && model.isIgnored(sample))
        filter.muted.insert(sample.identity);
    return !ProcessesLogic::visibleProcesses({sample}, state.search, filter).isEmpty();
}

} // namespace

MainView::MainView(AppModel& model, const std::optional<QString>& previewPage, MainViewServices services,
                   QWidget* parent)
    : QWidget(parent), m_model(model), m_previewPage(previewPage), m_services(std::move(services)),
      m_state(MainRouting::initialState(previewPage)),
      m_automaticAdviceEnabled(model.automaticAdviceEnabled()) {
    setObjectName(QStringLiteral("MainView"));
    setAutoFillBackground(true); // the palette's window colour is the canvas
    setMinimumSize(1040, 720);
    m_refresh = new RefreshCoalescer(
        this, [this] { refresh(); }, RefreshCoalescer::WhileHidden::wait);
    // A request made before the window was built (a reminder clicked while only the tray icon stood)
    // is the one it opens for. Each request opens the window, which builds it, so at most one was made.
    if (!model.navigationRequest().isNull())
        MainRouting::navigationRequested(m_state);
    else if (!model.resourceNavigationRequest().isNull())
        MainRouting::resourceNavigationRequested(m_state);
    if (!m_services.presentAlert)
        m_services.presentAlert = presentAlertModally;

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_navigation = new NavigationBar(*this, this);
    column->addWidget(m_navigation);
    m_telemetry = new TelemetryHeader(*this, this);
    column->addWidget(m_telemetry);
    if (m_services.pages.updateBanner) {
        m_updateBanner = m_services.pages.updateBanner(model);
        column->addWidget(m_updateBanner);
    }
    m_banner = new OperationBanner(model, this);
    column->addWidget(m_banner);
    m_stack = new QStackedWidget(this);
    column->addWidget(m_stack, 1);
    m_statusBar = new StatusBar(*this, this);
    column->addWidget(m_statusBar);

    connectModel();
    addShortcuts();
    if (WindowRequests* requests = m_services.requests) {
        connect(requests, &WindowRequests::showSettings, this,
                [this] { change(MainRouting::showSettingsRequested); });
        connect(requests, &WindowRequests::showAISettings, this, &MainView::openAISettings);
        connect(requests, &WindowRequests::showHelp, this,
                [this] { change(MainRouting::showHelpRequested); });
    }
    showCurrentPage(false, m_state.page);
}

MainView::~MainView() {
    closeSheetDialog();
}

std::optional<QString> MainView::settingsSection() const {
    return MainRouting::settingsSection(m_previewPage);
}

ResourceDashboardView* MainView::resourcesPage() const {
    return static_cast<ResourceDashboardView*>(pageWidget(Page::resources));
}

QWidget* MainView::processColumnHeadings(bool compact) {
    return new ProcessColumnHeadings(compact);
}

void MainView::setSearch(const QString& search) {
    change([&](MainViewState& s) { s.search = search; });
}
void MainView::setProcessFilter(ProcessFilter filter) {
    change([&](MainViewState& s) { s.processFilter = filter; });
}
void MainView::setProcessSort(ProcessSort sort) {
    change([&](MainViewState& s) { s.processSort = sort; });
}
void MainView::setHistoryFilter(HistoryFilter filter) {
    change([&](MainViewState& s) { s.historyFilter = filter; });
}
void MainView::setHistorySearch(const QString& search) {
    change([&](MainViewState& s) { s.historySearch = search; });
}
void MainView::setClearingHistory(bool clearing) {
    change([&](MainViewState& s) { s.clearingHistory = clearing; });
}
void MainView::setSheet(const std::optional<MainSheet>& sheet) {
    change([&](MainViewState& s) { s.sheet = sheet; });
}
void MainView::setPreferredFinding(const std::optional<ProcessIdentity>& identity) {
    change([&](MainViewState& s) { s.preferredFinding = identity; });
}
void MainView::setDetailedAdviceExpanded(bool expanded) {
    change([&](MainViewState& s) { s.detailedAdviceExpanded = expanded; });
}
void MainView::setPage(Page page) {
    change([&](MainViewState& s) { s.page = page; });
}
void MainView::selectPage(Page page) {
    change([&](MainViewState& s) { MainRouting::selectPage(s, page); });
}
void MainView::toggleHelp() {
    change(MainRouting::toggleHelp);
}

void MainView::openAISettings() {
    change([](MainViewState& s) { MainRouting::openAISettings(s, QUuid::createUuid()); });
}

void MainView::openProcess(const ProcessSample& sample) {
    m_model.setSelectedID(sample.identity);
    change(MainRouting::openProcess);
}

void MainView::requestAnalysis(const ProcessSample& sample) {
    const LocalProcessAdvice advice = m_model.localAdvice(sample);
    const OverviewLogic::AnalysisInputs inputs{
        advice.state, m_model.aiConfiguration().model, m_model.automaticAdvice().entry(sample),
        m_model.aiDecision().has_value(), m_model.automaticAdviceEnabled()};
    const OverviewLogic::AnalysisRoute route = OverviewLogic::analysisRoute(inputs);
    // The search and filter the user chose stay while they list the process, as they do when it is asked
    // about from its own detail; only where they would hide it are they cleared.
    const bool listed = listsProcess(m_model, m_state, sample);
    const auto showProcess = [&] {
        m_model.setSelectedID(sample.identity);
        change([listed](MainViewState& s) { MainRouting::openProcessForAdvice(s, listed); });
    };
    if (route == OverviewLogic::AnalysisRoute::openProcessOnly) {
        showProcess();
        return;
    }
    m_model.setSelectedID(sample.identity);
    setDetailedAdviceExpanded(true);
    if (route == OverviewLogic::AnalysisRoute::openAISettings) {
        openAISettings();
        return;
    }
    showProcess();
    if (route == OverviewLogic::AnalysisRoute::askConsent)
        setSheet(MainSheet::analysing(sample));
    else if (route == OverviewLogic::AnalysisRoute::analyze)
        m_model.analyze(sample, std::nullopt, std::nullopt);
}

void MainView::change(const std::function<void(MainViewState&)>& edit) {
    const MainViewState before = m_state;
    edit(m_state);
    if (m_state == before)
        return;
    reflect(before);
    emit stateChanged();
}

void MainView::reflect(const MainViewState& before) {
    const bool pageChanged = before.page != m_state.page || before.showingHelp != m_state.showingHelp;
    if (pageChanged)
        showCurrentPage(!before.showingHelp, before.page);
    if (before.aiSettingsRequest != m_state.aiSettingsRequest)
        emit aiSettingsRequestChanged();
    if (before.sheet != m_state.sheet)
        presentSheet();
    if (m_state.clearingHistory && !before.clearingHistory && !m_alertPending) {
        // After this change has settled: the alert runs an event loop of its own.
        m_alertPending = true;
        QMetaObject::invokeMethod(this, &MainView::presentClearHistoryAlert, Qt::QueuedConnection);
    }
    m_navigation->refresh();
    if (!pageChanged && (before.preferredFinding != m_state.preferredFinding))
        m_refresh->schedule();
}

void MainView::showCurrentPage(bool previousPageWasShown, Page previous) {
    QWidget* shown = nullptr;
    if (m_state.showingHelp) {
        if (!m_help) {
            m_help = padded(m_services.pages.help ? m_services.pages.help(m_model) : new QWidget);
            m_stack->addWidget(m_help);
        }
        shown = m_help;
    } else {
        QWidget*& page = m_pages[Pages::index(m_state.page)];
        if (!page) {
            page = makePage(m_state.page);
            m_stack->addWidget(page);
        }
        shown = page;
    }
    const bool resourcesWereShown = previousPageWasShown && previous == Page::resources;
    m_stack->setCurrentWidget(shown);
    if (shown == pageWidget(Page::resources) && !resourcesWereShown)
        resourcesPage()->enter();
    // Space presses the control with the focus. Left on the button of the page left, it would turn back
    // to that page, and on a control of that page (which the stack hands on to the new page's first
    // control) it would press one the user never chose: the focus moves on to the shown page's button.
    // So it does from wherever it was where the page was changed from outside the window (the popover,
    // a reminder, a sheet), which then opens on the page's button. A control of the bars keeps it.
    QWidget* const focus = window()->focusWidget();
    m_navigation->focusShownPage(!window()->isActiveWindow() || m_stack->isAncestorOf(focus));
}

QWidget* MainView::makePage(Page page) {
    const MainPages& pages = m_services.pages;
    const auto made = [this](const MainPages::Page& maker) -> QWidget* {
        return maker ? maker(*this) : new QWidget;
    };
    switch (page) {
    case Page::overview:
        return made(pages.overview);
    case Page::resources:
        return new ResourceDashboardView(m_model, MainRouting::showsApplicationsFirst(m_previewPage));
    case Page::processes:
        return made(pages.processes);
    case Page::applications:
        return made(pages.applications);
    case Page::history:
        return made(pages.history);
    case Page::settings:
        return padded(made(pages.settings));
    }
    return new QWidget;
}

void MainView::presentSheet() {
    const QString id = m_state.sheet ? m_state.sheet->id() : QString();
    if (id == m_sheetID)
        return;
    closeSheetDialog();
    m_sheetID = id;
    if (!m_state.sheet)
        return;
    const MainSheet sheet = *m_state.sheet;
    const MainPages& pages = m_services.pages;
    // Every callback acts only while its own sheet is the one shown, so a second click does nothing.
    const auto close = [this, id] {
        if (m_sheetID == id)
            setSheet(std::nullopt);
    };
    QWidget* content = nullptr;
    std::function<void()> cancel = close;
    switch (sheet.kind) {
    case MainSheet::Kind::stop: {
        const StopRequest request = *sheet.stop;
        const auto confirm = [this, id, request] {
            if (m_sheetID != id)
                return;
            m_model.stop(request.sample, request.force);
            setSheet(std::nullopt);
        };
        if (pages.stopConfirmation)
            content = pages.stopConfirmation(m_model, request, close, confirm);
        break;
    }
    case MainSheet::Kind::analysis:
        if (pages.analysisConsent)
            content = pages.analysisConsent(m_model, *sheet.analysis, close);
        break;
    case MainSheet::Kind::welcome:
        cancel = nullptr; // only its start button ends it
        if (pages.welcome)
            content = pages.welcome(m_model, [this, id] {
                if (m_sheetID != id)
                    return;
                m_model.completeOnboarding();
                setSheet(std::nullopt);
            });
        break;
    case MainSheet::Kind::privacy:
        if (pages.privacy)
            content = pages.privacy(close);
        break;
    }
    auto* dialog = new HostedSheetDialog(this, std::move(cancel));
    dialog->setWindowModality(Qt::WindowModal);
    auto* column = new QVBoxLayout(dialog);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(content ? content : new QWidget);
    // Closed by some other way than the host.
    connect(dialog, &QDialog::finished, this, [this, dialog, id] {
        if (m_sheetDialog != dialog)
            return;
        m_sheetDialog = nullptr;
        dialog->deleteLater();
        if (m_sheetID == id)
            setSheet(std::nullopt);
    });
    m_sheetDialog = dialog;
    dialog->open();
    // The keys go to the sheet (Escape, Return), not to the window it blocks.
    dialog->activateWindow();
}

void MainView::closeSheetDialog() {
    if (QDialog* dialog = m_sheetDialog) {
        m_sheetDialog = nullptr;
        dialog->disconnect(this);
        dialog->hide();
        dialog->deleteLater();
    }
    m_sheetID.clear();
}

void MainView::presentClearHistoryAlert() {
    m_alertPending = false;
    if (!m_state.clearingHistory)
        return;
    const bool confirmed = confirmAlert(
        m_services.presentAlert, this,
        {QStringLiteral("清空本机操作记录？"),
         QStringLiteral("本机保存的全部记录将被删除，无法恢复。观察规则和已保存的 AI 配置会保留。"),
         QStringLiteral("清空记录"), true});
    setClearingHistory(false);
    if (confirmed)
        m_model.clearHistory();
}

void MainView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Shown with no focus yet (the first time), the window gives it to the shown page's button when it is
    // activated, not to the first control of all, 需关注's button, whatever page it opens on.
    m_navigation->focusShownPage(false);
    // The welcome sheet opens after the window has been raised and activated, which whoever shows the
    // window does right after this: a sheet mapped before its window stays under it with some window
    // managers (openbox), and the window it blocks then ignores every click.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isVisible() &&
                MainRouting::offersWelcome(m_model.isPreview(), m_model.hasCompletedOnboarding()))
                setSheet(MainSheet::welcome());
        },
        Qt::QueuedConnection);
}

void MainView::refresh() {
    m_navigation->refresh();
    m_telemetry->refresh();
    m_banner->refresh();
    m_statusBar->refresh();
    m_sampleAction->setEnabled(!m_model.isSampling() && !m_model.isPreview());
    if (ResourceDashboardView* resources = resourcesPage(); resources && resources->isVisibleTo(this))
        resources->refresh();
    emit refreshed();
}

void MainView::automaticAdviceMayHaveChanged() {
    const bool enabled = m_model.automaticAdviceEnabled();
    if (enabled == m_automaticAdviceEnabled)
        return;
    m_automaticAdviceEnabled = enabled;
    change([enabled](MainViewState& s) { MainRouting::automaticAdviceChanged(s, enabled); });
}

void MainView::connectModel() {
    AppModel* model = &m_model;
    m_refresh->watch(
        model, &AppModel::sampleStateChanged, &AppModel::settingsChanged, &AppModel::aiConfigurationChanged,
        &AppModel::automaticAdviceAuthorizationChanged, &AppModel::automaticAdvicePreferenceChanged,
        &AppModel::isMonitoringChanged, &AppModel::isSamplingChanged, &AppModel::statusMessageChanged,
        &AppModel::selectedIDChanged, &AppModel::aiDecisionChanged, &AppModel::stoppingIDsChanged,
        &AppModel::operationMessageChanged, &AppModel::aiKeyStatusChanged);
    m_refresh->watch(&m_model.automaticAdvice(), &AutomaticProcessAdvice::entriesChanged);
    for (const auto signal :
         {&AppModel::aiConfigurationChanged, &AppModel::automaticAdviceAuthorizationChanged,
          &AppModel::automaticAdvicePreferenceChanged})
        connect(model, signal, this, &MainView::automaticAdviceMayHaveChanged);
    connect(model, &AppModel::navigationRequestChanged, this,
            [this] { change(MainRouting::navigationRequested); });
    connect(model, &AppModel::resourceNavigationRequestChanged, this,
            [this] { change(MainRouting::resourceNavigationRequested); });
}

void MainView::addShortcuts() {
    for (const Page page : Pages::all) {
        auto* action = new QAction(Pages::title(page), this);
        action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + Pages::index(page))));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, page] { selectPage(page); });
        addAction(action);
    }
    // Enabled while the sample button is (see refresh); checked again when it fires.
    m_sampleAction = new QAction(QStringLiteral("立即采样"), this);
    m_sampleAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_sampleAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_sampleAction, &QAction::triggered, this, [this] {
        if (!m_model.isSampling() && !m_model.isPreview())
            m_model.sampleNow();
    });
    addAction(m_sampleAction);
}

} // namespace lunorvale
