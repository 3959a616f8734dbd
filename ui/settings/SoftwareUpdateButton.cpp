#include "ui/settings/SoftwareUpdateButton.h"

#include "app/model/SoftwareUpdater.h"
#include "ui/settings/SoftwareUpdateLogic.h"

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
    connect(m_button, &QAbstractButton::clicked, this, [this] {
        if (m_beforeCheck)
            m_beforeCheck();
        if (m_updater)
            m_updater->checkForUpdates();
    });
    if (updater) {
        for (const auto signal :
             {&SoftwareUpdater::availableVersionChanged, &SoftwareUpdater::readyToInstallChanged,
              &SoftwareUpdater::canCheckForUpdatesChanged, &SoftwareUpdater::buttonTitleChanged})
            connect(updater, signal, this, &SoftwareUpdateButton::refresh);
    }
    refresh();
}

void SoftwareUpdateButton::refresh() {
    const std::optional<QString> version = m_updater ? m_updater->availableVersion() : std::nullopt;
    const QString title = m_updater ? m_updater->buttonTitle() : QStringLiteral("检查更新…");
    if (m_button->text() != title) {
        m_button->setText(title);
        m_button->updateGeometry();
    }
    m_button->setAccessibleName(title);
    m_button->setSymbol(LVSymbol(SoftwareUpdateTexts::buttonSymbol(version)));
    m_button->setEnabled(m_updater && m_updater->canCheckForUpdates());
}

} // namespace lunorvale
