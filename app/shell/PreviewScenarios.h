#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace lunorvale {

// A screenshot request from the command line: `--render-preview OUT.png [PAGE [APPEARANCE]]`, with
// "compact" anywhere for the smaller main window.
struct PreviewRequest {
    QString path;
    std::optional<QString> page;
    QString appearance = QStringLiteral("light"); // only "dark" selects the dark appearance
    bool compact = false;

    bool isDark() const { return appearance == QLatin1String("dark"); }
    // The page the models are configured for: the name given, else "overview".
    QString configuredPage() const { return page.value_or(QStringLiteral("overview")); }

    // Absent when "--render-preview" is missing or the last argument. `arguments` starts with the
    // program path.
    static std::optional<PreviewRequest> fromArguments(const QStringList& arguments);

    friend bool operator==(const PreviewRequest&, const PreviewRequest&) = default;
};

// What a page name renders.
enum class PreviewSceneKind {
    mainWindow,
    menu,
    stop,
    forceStop,
    analysisConsent,
    welcome,
    privacy,
    applicationRemoval,
    removalReceipts,
    applicationAdviceConsent,
    quitAlert,
};

namespace PreviewScenarios {

// Every page name the program renders on purpose: the screens of their own, each state of the
// sample data and each page of the main window. Any other name renders the main window's overview.
const QStringList& pages();

PreviewSceneKind sceneKind(const std::optional<QString>& page);

// Main-window content sizes.
inline constexpr QSize mainWindowSize{1180, 820};
inline constexpr QSize compactMainWindowSize{1040, 720};

// The fixed content size of a scene of its own (a height of 0: as tall as its content at that width);
// absent for the main window, the menu and the alert, whose size comes from elsewhere.
std::optional<QSize> fixedSize(PreviewSceneKind kind);

// The image of a rendered window as its PNG file, through a temporary file beside it.
// "Preview write failed" (and false) when it cannot be written there.
bool write(const QImage& image, const QString& path, QString* error);

} // namespace PreviewScenarios
} // namespace lunorvale
