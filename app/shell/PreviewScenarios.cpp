#include "app/shell/PreviewScenarios.h"

#include <QBuffer>
#include <QSaveFile>

namespace lunorvale {

std::optional<PreviewRequest> PreviewRequest::fromArguments(const QStringList& arguments) {
    const QStringList given = arguments.mid(1);
    const qsizetype at = given.indexOf(QStringLiteral("--render-preview"));
    if (at < 0 || at + 1 >= given.size())
        return std::nullopt;
    PreviewRequest request;
    request.path = given.at(at + 1);
    if (at + 2 < given.size())
        request.page = given.at(at + 2);
    if (at + 3 < given.size())
        request.appearance = given.at(at + 3);
    request.compact = given.contains(QStringLiteral("compact"));
    return request;
}

namespace PreviewScenarios {

const QStringList& pages() {
    static const QStringList all = {
        // Screens of their own.
        "menu", "menu-memory", "menu-paused", "menu-update-available", "menu-update-ready", "menu-advice",
        "menu-advice-long", "menu-quit", "stop", "force-stop", "ai-consent", "welcome", "privacy",
        "applications-remove", "applications-record-error", "applications-ai-consent",
        // States of the sample data, shown on the overview.
        "overview", "empty", "healthy", "paused", "error", "collection-error", "loading", "sampling",
        "onboarding", "stopping", "ignored", "permissions-denied", "advice-ready", "advice-pending",
        "advice-unavailable", "update-available", "update-ready", "help",
        // Resources.
        "resources", "resources-pressure", "resources-unknown", "resources-empty", "resources-paused",
        "resources-applications",
        // Application library.
        "applications", "applications-empty", "applications-loading", "applications-error",
        "applications-ai-result", "applications-checking", "applications-quit", "applications-vendor",
        "applications-login",
        // Processes.
        "processes", "process-empty", "process-protected", "ai-loading", "ai-error", "ai-result",
        "advice-detail", "notification-recovered", "notification-missing",
        // Settings.
        "settings", "settings-rules", "settings-notifications", "settings-ai", "settings-ai-auto",
        "settings-ai-aliyun", "settings-ai-custom", "settings-ai-authorize", "settings-ai-manual",
        "settings-ai-unconfigured", "settings-ai-missing", "settings-ai-saved", "settings-appearance",
        "settings-updates",
        // History.
        "history", "history-empty", "history-error"};
    return all;
}

PreviewSceneKind sceneKind(const std::optional<QString>& page) {
    if (!page)
        return PreviewSceneKind::mainWindow;
    const QString& name = *page;
    if (name == QLatin1String("menu-quit"))
        return PreviewSceneKind::quitAlert;
    if (name == QLatin1String("menu") || name == QLatin1String("menu-memory") ||
        name == QLatin1String("menu-paused") || name == QLatin1String("menu-update-available") ||
        name == QLatin1String("menu-update-ready") || name == QLatin1String("menu-advice") ||
        name == QLatin1String("menu-advice-long"))
        return PreviewSceneKind::menu;
    if (name == QLatin1String("applications-remove"))
        return PreviewSceneKind::applicationRemoval;
    if (name == QLatin1String("applications-record-error"))
        return PreviewSceneKind::removalReceipts;
    if (name == QLatin1String("applications-ai-consent"))
        return PreviewSceneKind::applicationAdviceConsent;
    if (name == QLatin1String("welcome"))
        return PreviewSceneKind::welcome;
    if (name == QLatin1String("privacy"))
        return PreviewSceneKind::privacy;
    if (name == QLatin1String("stop"))
        return PreviewSceneKind::stop;
    if (name == QLatin1String("force-stop"))
        return PreviewSceneKind::forceStop;
    if (name == QLatin1String("ai-consent"))
        return PreviewSceneKind::analysisConsent;
    return PreviewSceneKind::mainWindow;
}

std::optional<QSize> fixedSize(PreviewSceneKind kind) {
    switch (kind) {
    case PreviewSceneKind::applicationRemoval:
        return QSize(586, 0); // as tall as the sheet's text
    case PreviewSceneKind::removalReceipts:
        return QSize(712, 602);
    case PreviewSceneKind::applicationAdviceConsent:
        return QSize(682, 672);
    case PreviewSceneKind::welcome:
        return QSize(710, 628);
    case PreviewSceneKind::privacy:
        return QSize(700, 680);
    case PreviewSceneKind::stop:
    case PreviewSceneKind::forceStop:
        return QSize(550, 410);
    case PreviewSceneKind::analysisConsent:
        return QSize(626, 590);
    case PreviewSceneKind::mainWindow:
    case PreviewSceneKind::menu:
    case PreviewSceneKind::quitAlert:
        return std::nullopt;
    }
    return std::nullopt;
}

bool write(const QImage& image, const QString& path, QString* error) {
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        if (error)
            error->clear(); // an image that cannot be encoded ends the run without a message
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Preview write failed");
        return false;
    }
    return true;
}

} // namespace PreviewScenarios
} // namespace lunorvale
