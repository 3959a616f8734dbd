#include "app/shell/ShellUpdates.h"

namespace lunorvale {

namespace {

class NoUpdates final : public ShellUpdates {
public:
    explicit NoUpdates(bool preview) : m_preview(preview) {}

    bool canCheckForUpdates() const override { return false; }
    std::optional<QString> availableVersion() const override { return m_version; }
    bool readyToInstall() const override { return m_ready; }
    void start() override {}
    void checkForUpdates() override {}
    void configurePreview(const QString& page) override {
        if (!m_preview || (!page.contains(QLatin1String("update-available")) &&
                           !page.contains(QLatin1String("update-ready"))))
            return;
        m_version = QStringLiteral("1.1.1");
        m_ready = page.contains(QLatin1String("update-ready"));
        emit availableVersionChanged();
    }

private:
    bool m_preview;
    std::optional<QString> m_version;
    bool m_ready = false;
};

} // namespace

std::unique_ptr<ShellUpdates> ShellUpdates::none(bool preview) {
    return std::make_unique<NoUpdates>(preview);
}

} // namespace lunorvale
