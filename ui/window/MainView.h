#pragma once

#include "ui/kit/LVAlert.h"
#include "ui/window/MainPages.h"
#include "ui/window/MainViewLogic.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QAction;
class QStackedWidget;

namespace lunorvale {

class AppModel;
class NavigationBar;
class OperationBanner;
class RefreshCoalescer;
class ResourceDashboardView;
class StatusBar;
class TelemetryHeader;
class WindowRequests;

// What the main window's content is given besides the model.
struct MainViewServices {
    WindowRequests* requests = nullptr; // absent: no requests from outside the window
    MainPages pages = MainPages::standard();
    AlertPresenter presentAlert; // empty: a window-modal alert
};

// The main window's content: the navigation bar, the telemetry header, the update and operation
// banners, the page (or the help) and the status bar. It owns the state its pages share, presents the
// sheets (window-modal dialogs keyed by sheet id) and the clear-history alert, and turns requests from
// the rest of the program into page changes.
//
// What the model publishes is followed through a RefreshCoalescer: one refresh per pass of the event
// loop, of the bars and the resources page while on screen, announced by `refreshed`; every other
// page follows `refreshed` the same way, and each refreshes when it comes on screen. A hidden view
// does not refresh at all until it shows again.
class MainView final : public QWidget {
    Q_OBJECT
public:
    MainView(AppModel& model, const std::optional<QString>& previewPage,
             MainViewServices services = MainViewServices(), QWidget* parent = nullptr);
    ~MainView() override;

    AppModel& model() const { return m_model; }
    const std::optional<QString>& previewPage() const { return m_previewPage; }
    const MainViewState& state() const { return m_state; }
    // The section the settings page opens at for the screenshot name.
    std::optional<QString> settingsSection() const;
    // How the window's alerts are shown; its pages show theirs the same way.
    const AlertPresenter& alertPresenter() const { return m_services.presentAlert; }

    // The state the pages write. Each announces a change with `stateChanged`.
    void setSearch(const QString& search);
    void setProcessFilter(ProcessFilter filter);
    void setProcessSort(ProcessSort sort);
    void setHistoryFilter(HistoryFilter filter);
    void setHistorySearch(const QString& search);
    // True presents the clear-history alert, which sets it back to false when it closes.
    void setClearingHistory(bool clearing);
    void setSheet(const std::optional<MainSheet>& sheet);
    void setPreferredFinding(const std::optional<ProcessIdentity>& identity);
    void setDetailedAdviceExpanded(bool expanded);
    // A link on a page.
    void setPage(Page page);
    // A page button of the navigation bar, or its shortcut.
    void selectPage(Page page);
    void toggleHelp();

    // The one way to the AI section of the settings.
    void openAISettings();
    // Selects the process and shows it on the processes page.
    void openProcess(const ProcessSample& sample);
    // Asks for AI advice on the process: the AI settings, the consent sheet or the analysis itself.
    void requestAnalysis(const ProcessSample& sample);

    // The process list's column headings, styled, in the widths of `ProcessRow`.
    static QWidget* processColumnHeadings(bool compact);

    // Parts, for pages and tests. A page is made the first time it shows; null before.
    QWidget* pageWidget(Page page) const { return m_pages[Pages::index(page)]; }
    QWidget* helpWidget() const { return m_help; }
    QDialog* sheetDialog() const { return m_sheetDialog; }
    NavigationBar* navigationBar() const { return m_navigation; }
    TelemetryHeader* telemetry() const { return m_telemetry; }
    StatusBar* statusBar() const { return m_statusBar; }
    OperationBanner* operationBanner() const { return m_banner; }
    // Ctrl+R: enabled exactly while the sample button is.
    QAction* sampleAction() const { return m_sampleAction; }
    ResourceDashboardView* resourcesPage() const;

signals:
    void stateChanged();
    void aiSettingsRequestChanged();
    // Once per pass of the event loop in which what the window reads of the model changed, after the
    // bars: the pages refresh on it.
    void refreshed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void change(const std::function<void(MainViewState&)>& edit);
    void reflect(const MainViewState& before);
    void showCurrentPage(bool wasOnScreen, Page previous);
    QWidget* makePage(Page page);
    void presentSheet();
    void closeSheetDialog();
    void presentClearHistoryAlert();
    void refresh();
    void automaticAdviceMayHaveChanged();
    void connectModel();
    void addShortcuts();

    AppModel& m_model;
    const std::optional<QString> m_previewPage;
    MainViewServices m_services;
    MainViewState m_state;
    bool m_automaticAdviceEnabled = false;
    bool m_alertPending = false;
    RefreshCoalescer* m_refresh = nullptr;

    NavigationBar* m_navigation;
    TelemetryHeader* m_telemetry;
    QWidget* m_updateBanner = nullptr;
    OperationBanner* m_banner;
    QStackedWidget* m_stack;
    StatusBar* m_statusBar;
    QAction* m_sampleAction = nullptr;
    std::array<QWidget*, 6> m_pages{};
    QWidget* m_help = nullptr;
    QPointer<QDialog> m_sheetDialog;
    QString m_sheetID;
};

} // namespace lunorvale
