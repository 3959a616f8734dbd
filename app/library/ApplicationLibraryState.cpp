#include "app/library/ApplicationLibraryState.h"

namespace lunorvale {

namespace {
InstalledApplication sampleApplication(const QString& name, const QString& bundleID, const QString& version,
                                       const QString& executable) {
    return InstalledApplication(
        QUrl::fromLocalFile(QStringLiteral("/Applications/") + name + QStringLiteral(".app")), name, bundleID,
        version, executable, std::nullopt, std::nullopt, std::nullopt);
}
} // namespace

PreviewApplicationLibrary::PreviewApplicationLibrary(bool preview) : m_preview(preview) {
    configurePreview(QStringLiteral("overview"));
}

void PreviewApplicationLibrary::configurePreview(const QString& page) {
    if (!m_preview)
        return;
    m_applications.clear();
    if (page == QLatin1String("applications-empty"))
        return;
    m_applications = {
        sampleApplication(QStringLiteral("Example Utility"), QStringLiteral("com.example.utility"),
                          QStringLiteral("3.2.1"), QStringLiteral("Example Utility")),
        sampleApplication(QStringLiteral("Orbit Browser"), QStringLiteral("com.example.orbit"),
                          QStringLiteral("118.0"), QStringLiteral("Orbit Browser")),
        sampleApplication(QStringLiteral("Atlas Notes"), QStringLiteral("com.example.atlas"),
                          QStringLiteral("2.4"), QStringLiteral("Atlas Notes")),
    };
}

QList<ApplicationAdviceItem> PreviewApplicationLibrary::adviceItems() const {
    QList<ApplicationAdviceItem> items;
    const int64_t sizes[] = {312'000'000, 684'000'000};
    for (qsizetype i = 0; i < std::min<qsizetype>(2, m_applications.size()); ++i)
        items << ApplicationAdviceItem(m_applications.at(i), sizes[i], i == 1);
    return items;
}

} // namespace lunorvale
