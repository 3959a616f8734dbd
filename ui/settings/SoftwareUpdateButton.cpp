#include "ui/settings/SoftwareUpdateButton.h"

#include <QVBoxLayout>

namespace lunorvale {

SoftwareUpdateButton::SoftwareUpdateButton(SoftwareUpdater* updater, LVButtonKind kind,
                                           std::function<void()> beforeCheck, QWidget* parent)
    : QWidget(parent), m_updater(updater), m_beforeCheck(std::move(beforeCheck)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_button = new LVButton(kind, QStringLiteral("检查更新…"), this);
    m_button->setObjectName(QStringLiteral("check-for-updates"));
    layout->addWidget(m_button);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    refresh();
}

void SoftwareUpdateButton::refresh() {
    m_button->setEnabled(false);
}

} // namespace lunorvale
