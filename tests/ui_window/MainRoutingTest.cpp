#include "monitoring/SnapshotFixtures.h"
#include "ui/window/MainViewLogic.h"

#include <QTimeZone>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::fixtures;

namespace {

// Everything a handler could touch set away from its default.
MainViewState busyState() {
    MainViewState state;
    state.page = Page::history;
    state.showingHelp = true;
    state.search = QStringLiteral("orb");
    state.processFilter = ProcessFilter::attention;
    state.processSort = ProcessSort::memory;
    state.sheet = MainSheet::analysing(process(7, 95));
    state.aiSettingsRequest = QUuid::createUuid();
    state.detailedAdviceExpanded = true;
    return state;
}

} // namespace

TEST(MainRouting, EachHandlerChangesOnlyItsOwnFields) {
    const QUuid request = QUuid::createUuid();
    const struct {
        const char* name;
        std::function<void(MainViewState&)> handler;
        std::function<void(MainViewState&)> expected; // applied to the starting state
    } cases[] = {
        {"navigation request", MainRouting::navigationRequested,
         [](MainViewState& s) {
             s.page = Page::processes, s.showingHelp = false, s.search.clear();
             s.processFilter = ProcessFilter::all, s.detailedAdviceExpanded = false, s.sheet.reset();
             ++s.processReveals;
         }},
        {"resource request", MainRouting::resourceNavigationRequested,
         [](MainViewState& s) {
             s.page = Page::resources, s.showingHelp = false, s.sheet.reset();
         }},
        {"show settings", MainRouting::showSettingsRequested,
         [](MainViewState& s) {
             s.page = Page::settings, s.showingHelp = false, s.aiSettingsRequest.reset();
         }},
        {"open AI settings", [&](MainViewState& s) { MainRouting::openAISettings(s, request); },
         [&](MainViewState& s) {
             s.aiSettingsRequest = request, s.page = Page::settings, s.showingHelp = false, s.sheet.reset();
         }},
        {"show help", MainRouting::showHelpRequested,
         [](MainViewState&) {
         }},
        {"automatic advice on", [](MainViewState& s) { MainRouting::automaticAdviceChanged(s, true); },
         [](MainViewState& s) {
             s.detailedAdviceExpanded = false;
         }},
        {"automatic advice off", [](MainViewState& s) { MainRouting::automaticAdviceChanged(s, false); },
         [](MainViewState&) {
         }},
        {"open process", MainRouting::openProcess,
         [](MainViewState& s) {
             s.processFilter = ProcessFilter::all, s.search.clear(), s.page = Page::processes;
             ++s.processReveals;
         }},
        {"advice on a listed process", [](MainViewState& s) { MainRouting::openProcessForAdvice(s, true); },
         [](MainViewState& s) {
             s.page = Page::processes, ++s.processReveals;
         }},
        {"advice from the detail beside the list",
         [](MainViewState& s) {
             s.page = Page::processes;
             MainRouting::openProcessForAdvice(s, true);
         },
         [](MainViewState& s) {
             s.page = Page::processes;
         }},
        {"advice on a hidden process", [](MainViewState& s) { MainRouting::openProcessForAdvice(s, false); },
         [](MainViewState& s) {
             s.processFilter = ProcessFilter::all, s.search.clear(), s.page = Page::processes;
             ++s.processReveals;
         }},
        {"settings button", [](MainViewState& s) { MainRouting::selectPage(s, Page::settings); },
         [](MainViewState& s) {
             s.page = Page::settings, s.showingHelp = false, s.aiSettingsRequest.reset();
         }},
        {"resources button", [](MainViewState& s) { MainRouting::selectPage(s, Page::resources); },
         [](MainViewState& s) {
             s.page = Page::resources, s.showingHelp = false;
         }},
        {"help button", MainRouting::toggleHelp,
         [](MainViewState& s) {
             s.showingHelp = false;
         }},
    };
    for (const auto& c : cases) {
        MainViewState actual = busyState();
        MainViewState expected = busyState();
        expected.aiSettingsRequest = actual.aiSettingsRequest;
        c.handler(actual);
        c.expected(expected);
        EXPECT_EQ(actual, expected) << c.name;
    }
    // Two AI-settings requests are two different requests; the help shows no page as selected.
    MainViewState state;
    MainRouting::openAISettings(state, QUuid::createUuid());
    const auto first = state.aiSettingsRequest;
    MainRouting::openAISettings(state, QUuid::createUuid());
    EXPECT_NE(state.aiSettingsRequest, first);
    MainRouting::toggleHelp(state);
    for (const Page page : Pages::all)
        EXPECT_FALSE(MainRouting::isSelected(state, page));
}

TEST(MainRouting, PreviewTable) {
    // Page, and as letters: h help shown, e advice expanded, a applications first; the settings section
    // ("=" for the name itself).
    const struct {
        std::optional<QString> name;
        Page page;
        const char* flags;
        std::optional<QString> section;
    } cases[] = {
        {std::nullopt, Page::overview, "", std::nullopt},
        {QStringLiteral("help"), Page::overview, "h", "="},
        {QStringLiteral("no-such-page"), Page::overview, "", "="},
        {QStringLiteral("resources-applications"), Page::resources, "a", "="},
        {QStringLiteral("applications-record-error"), Page::applications, "", "="},
        {QStringLiteral("notification-missing"), Page::processes, "", "="},
        {QStringLiteral("ai-result"), Page::processes, "e", "="},
        {QStringLiteral("settings"), Page::settings, "", "="},
        {QStringLiteral("settings-ai-aliyun"), Page::settings, "", QStringLiteral("ai-aliyun")},
        {QStringLiteral("settings-bogus"), Page::overview, "", QStringLiteral("bogus")},
        {QStringLiteral("history-error"), Page::history, "", "="},
    };
    for (const auto& c : cases) {
        const MainViewState state = MainRouting::initialState(c.name);
        const std::string name = c.name.value_or(QStringLiteral("(none)")).toStdString();
        MainViewState expected;
        expected.page = c.page;
        expected.showingHelp = std::strchr(c.flags, 'h');
        expected.detailedAdviceExpanded = std::strchr(c.flags, 'e');
        EXPECT_EQ(state, expected) << name;
        EXPECT_EQ(MainRouting::showsApplicationsFirst(c.name), std::strchr(c.flags, 'a') != nullptr) << name;
        EXPECT_EQ(MainRouting::settingsSection(c.name), c.section == QStringLiteral("=") ? c.name : c.section)
            << name;
    }
    EXPECT_TRUE(MainRouting::offersWelcome(false, false));
    EXPECT_FALSE(MainRouting::offersWelcome(true, false) || MainRouting::offersWelcome(false, true));
    EXPECT_EQ(Pages::fromTitle(QStringLiteral("操作记录")), Page::history);
    for (const QString& text : {QStringLiteral("history"), QString(), QStringLiteral("设置 ")})
        EXPECT_EQ(Pages::fromTitle(text), std::nullopt) << text.toStdString();
}

TEST(MainBarTexts, TelemetryAndStatusTexts) {
    EXPECT_EQ(MainBarTexts::processCountToolTip(0), QStringLiteral("不包含系统和其他用户进程。"));
    EXPECT_EQ(MainBarTexts::processCountToolTip(3),
              QStringLiteral("不包含系统和其他用户进程。本轮有 3 项未能读取或超出采集上限。"));
    const std::pair<double, const char*> intervals[] = {
        {7.9, "每 7 秒采样"}, {NAN, "每 30 秒采样"}, {0, "每 5 秒采样"}, {300, "每 120 秒采样"}};
    for (const auto& [stored, text] : intervals) {
        MonitorSettings settings;
        settings.sampleInterval = stored;
        EXPECT_EQ(MainBarTexts::interval(settings), QString::fromUtf8(text)) << stored;
    }
    const QDateTime afternoon(QDate(2026, 1, 31), QTime(15, 7, 9), QTimeZone::systemTimeZone());
    EXPECT_EQ(MainBarTexts::sampleTime(afternoon), QStringLiteral("15:07:09"));
    const QDateTime morning(QDate(2026, 1, 31), QTime(9, 30, 0), QTimeZone::systemTimeZone());
    EXPECT_EQ(MainBarTexts::sampleTime(morning), QStringLiteral("09:30:00"));
}
