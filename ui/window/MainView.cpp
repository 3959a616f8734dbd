#include "ui/window/MainView.h"

#include <QSet>
#include <QVBoxLayout>

namespace lunorvale {

MainView::Page MainView::pageFor(const std::optional<QString>& name) {
    if (!name)
        return Page::overview;
    static const QSet<QString> resources = {"resources",         "resources-pressure",
                                            "resources-unknown", "resources-empty",
                                            "resources-paused",  "resources-applications"};
    static const QSet<QString> applications = {
        "applications",           "applications-empty",       "applications-loading", "applications-error",
        "applications-ai-result", "applications-checking",    "applications-quit",    "applications-vendor",
        "applications-login",     "applications-record-error"};
    static const QSet<QString> processes = {
        "processes", "process-empty", "process-protected",      "ai-loading",          "ai-error",
        "ai-result", "advice-detail", "notification-recovered", "notification-missing"};
    static const QSet<QString> history = {"history", "history-empty", "history-error"};
    if (resources.contains(*name))
        return Page::resources;
    if (applications.contains(*name))
        return Page::applications;
    if (processes.contains(*name))
        return Page::processes;
    if (history.contains(*name))
        return Page::history;
    if (name->startsWith(QLatin1String("settings")) &&
        (*name == QLatin1String("settings") || name->startsWith(QLatin1String("settings-"))))
        return Page::settings;
    if (*name == QLatin1String("help"))
        return Page::help;
    return Page::overview;
}

QString MainView::title(Page page) {
    switch (page) {
    case Page::overview:
        return QStringLiteral("概览");
    case Page::processes:
        return QStringLiteral("进程");
    case Page::resources:
        return QStringLiteral("资源");
    case Page::applications:
        return QStringLiteral("应用库");
    case Page::settings:
        return QStringLiteral("设置");
    case Page::history:
        return QStringLiteral("历史");
    case Page::help:
        return QStringLiteral("帮助");
    }
    return {};
}

MainView::MainView(AppModel& model, const std::optional<QString>& previewPage, QWidget* parent)
    : Screen(title(pageFor(previewPage)), std::nullopt, parent), m_page(pageFor(previewPage)) {
    setObjectName(QStringLiteral("MainView"));
    column()->addWidget(PlaceholderParts::statusLine(model));
    column()->addWidget(PlaceholderParts::aiStatus(model, {}));
    column()->addWidget(PlaceholderParts::processList(model, 8));
    column()->addStretch(1);
}

} // namespace lunorvale
