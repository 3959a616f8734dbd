#include "ui/window/MainViewLogic.h"

#include <QSet>
#include <cmath>

namespace lunorvale {

QString Pages::title(Page page) {
    switch (page) {
    case Page::overview:
        return QStringLiteral("需关注");
    case Page::processes:
        return QStringLiteral("全部进程");
    case Page::resources:
        return QStringLiteral("资源趋势");
    case Page::applications:
        return QStringLiteral("应用管理");
    case Page::history:
        return QStringLiteral("操作记录");
    case Page::settings:
        return QStringLiteral("设置");
    }
    return {};
}

int Pages::index(Page page) {
    return static_cast<int>(page);
}

std::optional<Page> Pages::fromTitle(const QString& title) {
    for (const Page page : all) {
        if (Pages::title(page) == title)
            return page;
    }
    return std::nullopt;
}

QString MainSheet::id() const {
    switch (kind) {
    case Kind::stop:
        return stop ? stop->id.toString(QUuid::WithoutBraces) : QString();
    case Kind::analysis:
        return QStringLiteral("ai-") + (analysis ? analysis->identity.key() : QString());
    case Kind::welcome:
        return QStringLiteral("welcome");
    case Kind::privacy:
        return QStringLiteral("privacy");
    }
    return {};
}

namespace MainRouting {

namespace {

std::optional<Page> previewTablePage(const QString& name) {
    static const QSet<QString> resources = {
        QStringLiteral("resources"),         QStringLiteral("resources-pressure"),
        QStringLiteral("resources-unknown"), QStringLiteral("resources-empty"),
        QStringLiteral("resources-paused"),  QStringLiteral("resources-applications")};
    static const QSet<QString> applications = {
        QStringLiteral("applications"),           QStringLiteral("applications-empty"),
        QStringLiteral("applications-loading"),   QStringLiteral("applications-error"),
        QStringLiteral("applications-ai-result"), QStringLiteral("applications-checking"),
        QStringLiteral("applications-quit"),      QStringLiteral("applications-vendor"),
        QStringLiteral("applications-login"),     QStringLiteral("applications-record-error")};
    static const QSet<QString> processes = {QStringLiteral("processes"),
                                            QStringLiteral("process-empty"),
                                            QStringLiteral("process-protected"),
                                            QStringLiteral("advice-detail"),
                                            QStringLiteral("notification-recovered"),
                                            QStringLiteral("notification-missing"),
                                            QStringLiteral("ai-loading"),
                                            QStringLiteral("ai-error"),
                                            QStringLiteral("ai-result")};
    static const QSet<QString> settings = {QStringLiteral("settings"),
                                           QStringLiteral("settings-rules"),
                                           QStringLiteral("settings-notifications"),
                                           QStringLiteral("settings-ai"),
                                           QStringLiteral("settings-ai-auto"),
                                           QStringLiteral("settings-ai-aliyun"),
                                           QStringLiteral("settings-ai-custom"),
                                           QStringLiteral("settings-ai-authorize"),
                                           QStringLiteral("settings-ai-manual"),
                                           QStringLiteral("settings-ai-unconfigured"),
                                           QStringLiteral("settings-ai-missing"),
                                           QStringLiteral("settings-ai-saved"),
                                           QStringLiteral("settings-appearance"),
                                           QStringLiteral("settings-updates")};
    static const QSet<QString> history = {QStringLiteral("history"), QStringLiteral("history-empty"),
                                          QStringLiteral("history-error")};
    if (resources.contains(name))
        return Page::resources;
    if (applications.contains(name))
        return Page::applications;
    if (processes.contains(name))
        return Page::processes;
    if (settings.contains(name))
        return Page::settings;
    if (history.contains(name))
        return Page::history;
    return std::nullopt;
}

} // namespace

MainViewState initialState(const std::optional<QString>& previewPage) {
    MainViewState state;
    if (!previewPage)
        return state;
    state.page = previewTablePage(*previewPage).value_or(Page::overview);
    state.showingHelp = *previewPage == QLatin1String("help");
    state.detailedAdviceExpanded = *previewPage == QLatin1String("ai-loading") ||
                                   *previewPage == QLatin1String("ai-error") ||
                                   *previewPage == QLatin1String("ai-result");
    return state;
}

bool showsApplicationsFirst(const std::optional<QString>& previewPage) {
    return previewPage == QStringLiteral("resources-applications");
}

std::optional<QString> settingsSection(const std::optional<QString>& previewPage) {
    if (!previewPage)
        return std::nullopt;
    QString section = *previewPage;
    section.replace(QStringLiteral("settings-"), QString());
    return section;
}

bool offersWelcome(bool isPreview, bool hasCompletedOnboarding) {
    return !isPreview && !hasCompletedOnboarding;
}

void navigationRequested(MainViewState& state) {
    state.page = Page::processes;
    state.showingHelp = false;
    state.search.clear();
    state.processFilter = ProcessFilter::all;
    state.detailedAdviceExpanded = false;
    state.sheet.reset();
    ++state.processReveals;
}

void resourceNavigationRequested(MainViewState& state) {
    state.page = Page::resources;
    state.showingHelp = false;
    state.sheet.reset();
}

void showSettingsRequested(MainViewState& state) {
    state.page = Page::settings;
    state.showingHelp = false;
    state.aiSettingsRequest.reset();
}

void openAISettings(MainViewState& state, const QUuid& request) {
    state.aiSettingsRequest = request;
    state.page = Page::settings;
    state.showingHelp = false;
    state.sheet.reset();
}

void showHelpRequested(MainViewState& state) {
    state.showingHelp = true;
}

void automaticAdviceChanged(MainViewState& state, bool enabled) {
    if (enabled)
        state.detailedAdviceExpanded = false;
}

void openProcess(MainViewState& state) {
    state.processFilter = ProcessFilter::all;
    state.search.clear();
    state.page = Page::processes;
    ++state.processReveals;
}

void openProcessForAdvice(MainViewState& state, bool listed) {
    if (!listed) {
        openProcess(state);
        return;
    }
    if (state.page != Page::processes)
        ++state.processReveals;
    state.page = Page::processes;
}

void selectPage(MainViewState& state, Page page) {
    state.page = page;
    state.showingHelp = false;
    if (page == Page::settings)
        state.aiSettingsRequest.reset();
}

void toggleHelp(MainViewState& state) {
    state.showingHelp = !state.showingHelp;
}

bool isSelected(const MainViewState& state, Page page) {
    return state.page == page && !state.showingHelp;
}

} // namespace MainRouting

namespace MainBarTexts {

QString systemCPU(const QString& systemCPUText) {
    return QStringLiteral("整机 CPU ") + systemCPUText;
}

QString processCount(qsizetype count) {
    return QString::number(count) + QStringLiteral(" 个当前用户进程");
}

QString processCountToolTip(qint64 skippedProcessCount) {
    QString tip = QStringLiteral("不包含系统和其他用户进程。");
    if (skippedProcessCount >= 1)
        tip += QStringLiteral("本轮有 ") + QString::number(skippedProcessCount) +
               QStringLiteral(" 项未能读取或超出采集上限。");
    return tip;
}

QString interval(const MonitorSettings& settings) {
    return QStringLiteral("每 ") + QString::number(static_cast<qint64>(std::trunc(settings.safeInterval()))) +
           QStringLiteral(" 秒采样");
}

QString sampleTime(const QDateTime& time) {
    // Chinese clocks read 24 hours, as the history's dates do.
    return time.toLocalTime().time().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace MainBarTexts

} // namespace lunorvale
