#pragma once

#include "core/monitoring/MonitorSettings.h"
#include "core/monitoring/ProcessSample.h"
#include "ui/window/HistoryLogic.h"
#include "ui/window/ProcessesLogic.h"

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <array>
#include <optional>

namespace lunorvale {

// The main window's pages, in the order of the navigation bar.
enum class Page { overview, processes, resources, applications, history, settings };

namespace Pages {
inline constexpr std::array<Page, 6> all = {Page::overview,     Page::processes, Page::resources,
                                            Page::applications, Page::history,   Page::settings};
// The title in the navigation bar, which is also the page's text value.
QString title(Page page);
// Its position in `all`, 0…5; Ctrl plus the position + 1 selects it.
int index(Page page);
// The page whose title is exactly `title` (no trimming, no case folding).
std::optional<Page> fromTitle(const QString& title);
} // namespace Pages

// A stop the user asked for, awaiting confirmation. Every request has an id of its own, so two
// requests for one process are two sheets.
struct StopRequest {
    QUuid id;
    ProcessSample sample;
    bool force = false;

    friend bool operator==(const StopRequest&, const StopRequest&) = default;
};

// The sheet the main window shows, identified by `id`: the same id keeps the sheet on screen, another
// one replaces it.
struct MainSheet {
    enum class Kind { stop, analysis, welcome, privacy };

    Kind kind = Kind::welcome;
    std::optional<StopRequest> stop;       // for `stop`
    std::optional<ProcessSample> analysis; // for `analysis`: the process whose summary would be sent

    static MainSheet stopping(const StopRequest& request) { return {Kind::stop, request, std::nullopt}; }
    static MainSheet analysing(const ProcessSample& sample) { return {Kind::analysis, std::nullopt, sample}; }
    static MainSheet welcome() { return {Kind::welcome, std::nullopt, std::nullopt}; }
    static MainSheet privacy() { return {Kind::privacy, std::nullopt, std::nullopt}; }

    // The request's UUID, "ai-" and the identity key, "welcome" or "privacy".
    QString id() const;

    friend bool operator==(const MainSheet&, const MainSheet&) = default;
};

// What the main window shows and what its pages share. Lives as long as the window's content; nothing of
// it is stored.
struct MainViewState {
    Page page = Page::overview;
    bool showingHelp = false;
    QString search;
    ProcessFilter processFilter = ProcessFilter::all;
    ProcessSort processSort = ProcessSort::cpu;
    HistoryFilter historyFilter = HistoryFilter::all;
    QString historySearch;
    bool clearingHistory = false;
    std::optional<MainSheet> sheet;
    std::optional<ProcessIdentity> preferredFinding;
    std::optional<QUuid> aiSettingsRequest;
    bool detailedAdviceExpanded = false;
    // How many times a process was opened from elsewhere: each new request scrolls the processes list
    // to the selected row once, the only scrolling to a row the user did not make in the list itself.
    int processReveals = 0;

    friend bool operator==(const MainViewState&, const MainViewState&) = default;
};

// How requests from the bars, the pages and the rest of the program change the window's state. Each
// function does exactly its own steps; the model's side (a selection, a sample) is the caller's.
namespace MainRouting {

// The state a window starts in: the page and flags a screenshot name asks for; the overview otherwise.
MainViewState initialState(const std::optional<QString>& previewPage);
// Only "resources-applications" opens the resources page scrolled to its application list.
bool showsApplicationsFirst(const std::optional<QString>& previewPage);
// The settings page's section for a screenshot name: the name without "settings-".
std::optional<QString> settingsSection(const std::optional<QString>& previewPage);
// Whether the onboarding sheet opens when the window's content comes on screen.
bool offersWelcome(bool isPreview, bool hasCompletedOnboarding);

// The model published a new process navigation request (a reminder, a finding's "查看进程").
void navigationRequested(MainViewState& state);
// Someone asked for the resources page.
void resourceNavigationRequested(MainViewState& state);
void showSettingsRequested(MainViewState& state);
// The one way to the AI section of the settings, with a request id of its own.
void openAISettings(MainViewState& state, const QUuid& request);
void showHelpRequested(MainViewState& state);
// Automatic advice was switched on or off.
void automaticAdviceChanged(MainViewState& state, bool enabled);
// The view's side of showing one process (the caller selects it in the model).
void openProcess(MainViewState& state);
// The same for a process the user asked advice about: the search and filter stay while the list shows it
// (`listed`), and are cleared only where they would hide it. Asked from its own detail beside the list
// that shows it, the list stays where the user reads.
void openProcessForAdvice(MainViewState& state, bool listed);

// A page button of the navigation bar or its shortcut.
void selectPage(MainViewState& state, Page page);
void toggleHelp(MainViewState& state);
// Checked (highlighted) in the navigation bar: its page while no help is shown.
bool isSelected(const MainViewState& state, Page page);

} // namespace MainRouting

// The texts of the telemetry header and the status bar.
namespace MainBarTexts {
QString systemCPU(const QString& systemCPUText);
QString processCount(qsizetype count);
QString processCountToolTip(qint64 skippedProcessCount);
QString interval(const MonitorSettings& settings);
// The local time of a sample, as "15:07:09".
QString sampleTime(const QDateTime& time);
} // namespace MainBarTexts

} // namespace lunorvale
