#include "ui/settings/SoftwareUpdateBanner.h"

#include "app/model/SoftwareUpdater.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/settings/SoftwareUpdateButton.h"
#include "ui/settings/SoftwareUpdateLogic.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

SoftwareUpdateBanner::SoftwareUpdateBanner(SoftwareUpdater* updater, QWidget* parent)
    : QWidget(parent), m_updater(updater) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 8, 24, 0);
    auto* inner = new QWidget;
    outer->addWidget(lunorCard(inner));
    auto* row = new QHBoxLayout(inner);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);
    row->addWidget(new LVSymbolView(LVSymbol("arrow.down.circle.fill"), 13, Palette::accent, inner));
    m_text = new LVText({}, Fonts::system(12), Palette::ink, inner);
    row->addWidget(m_text, 1);
    m_button = new SoftwareUpdateButton(updater, LVButtonKind::secondary, {}, inner);
    row->addWidget(m_button);
    if (updater) {
        connect(updater, &SoftwareUpdater::availableVersionChanged, this, &SoftwareUpdateBanner::refresh);
        connect(updater, &SoftwareUpdater::readyToInstallChanged, this, &SoftwareUpdateBanner::refresh);
    }
    refresh();
}

void SoftwareUpdateBanner::refresh() {
    const std::optional<QString> version = m_updater ? m_updater->availableVersion() : std::nullopt;
    m_text->setText(SoftwareUpdateTexts::bannerText(version, m_updater && m_updater->readyToInstall()));
    setVisible(version.has_value());
}

} // namespace lunorvale
