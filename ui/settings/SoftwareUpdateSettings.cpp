#include "ui/settings/SoftwareUpdateSettings.h"

namespace lunorvale {

SoftwareUpdateSettings::SoftwareUpdateSettings(SoftwareUpdater*, QWidget* parent) : QWidget(parent) {}

void SoftwareUpdateSettings::setVersion(const BundleVersion&) {}

void SoftwareUpdateSettings::setOpenDownloadPage(std::function<void()> open) {
    m_openDownloadPage = std::move(open);
}

} // namespace lunorvale
