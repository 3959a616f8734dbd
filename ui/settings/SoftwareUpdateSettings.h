#pragma once

#include "ui/settings/SoftwareUpdateLogic.h"

#include <QWidget>
#include <functional>

namespace lunorvale {

class SoftwareUpdater;

// The updates section of the settings page.
class SoftwareUpdateSettings final : public QWidget {
    Q_OBJECT
public:
    SoftwareUpdateSettings(SoftwareUpdater* updater, QWidget* parent = nullptr);
    void setVersion(const BundleVersion& version);
    void setOpenDownloadPage(std::function<void()> open);

private:
    std::function<void()> m_openDownloadPage;
};

} // namespace lunorvale
