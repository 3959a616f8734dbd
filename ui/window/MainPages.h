#pragma once

#include "ui/window/MainViewLogic.h"
#include "ui/window/ViewServices.h"

#include <QWidget>
#include <functional>

namespace lunorvale {

class AppModel;
class MainView;

// Everything the main window hosts that is built elsewhere: five pages, the help, the update banner and
// the four sheets. Each maker returns a new widget without parent; the window owns it.
//
// Pages get the window itself: they read and write its state (`MainView::state`, the setters) and call
// its actions (`openAISettings`, `openProcess`, `requestAnalysis`), and refresh on `MainView::refreshed`
// while visible (through a RefreshCoalescer). The settings page reads `state().aiSettingsRequest` when made
// and follows `MainView::aiSettingsRequestChanged` while it lives. Sheets get the callbacks that close them.
struct MainPages {
    using Page = std::function<QWidget*(MainView& view)>;

    Page overview;     // preferredFinding, sheet; the evidence closes when the overview leaves the screen
    Page processes;    // search, processFilter, processSort, sheet, detailedAdviceExpanded
    Page history;      // historyFilter, historySearch, setClearingHistory(true) for the clear alert
    Page applications; // the application library; its AI request goes to openAISettings
    Page settings;     // settingsSection() and aiSettingsRequest
    std::function<QWidget*(AppModel& model)> help;
    std::function<QWidget*(AppModel& model)> updateBanner; // shows itself only while an update waits

    std::function<QWidget*(AppModel& model, const StopRequest& request, std::function<void()> onCancel,
                           std::function<void()> onConfirm)>
        stopConfirmation;
    std::function<QWidget*(AppModel& model, const ProcessSample& sample, std::function<void()> onDismiss)>
        analysisConsent;
    std::function<QWidget*(AppModel& model, std::function<void()> onComplete)> welcome;
    std::function<QWidget*(std::function<void()> dismiss)> privacy;

    // The program's own pages, reaching the desktop through `views` only.
    static MainPages standard(const ViewServices& views = {});
};

} // namespace lunorvale
