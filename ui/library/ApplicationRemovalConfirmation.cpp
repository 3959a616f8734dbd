#include "ui/library/ApplicationRemovalConfirmation.h"

#include <QVBoxLayout>

namespace lunorvale {

ApplicationRemovalConfirmation::ApplicationRemovalConfirmation(const InstalledApplication& application,
                                                               std::function<void()> onCancel,
                                                               std::function<void()> onConfirm,
                                                               QWidget* parent)
    : Screen(QStringLiteral("移除应用"), application.name() + QStringLiteral(" ") + application.version(),
             parent) {
    setObjectName(QStringLiteral("ApplicationRemovalConfirmation"));
    column()->addWidget(PlaceholderParts::paragraph(application.url().toLocalFile()));
    column()->addStretch(1);
    column()->addWidget(PlaceholderParts::buttonRow({
        {LVButtonKind::secondary, QStringLiteral("取消"), std::move(onCancel)},
        {LVButtonKind::danger, QStringLiteral("移到废纸篓"), std::move(onConfirm)},
    }));
}

} // namespace lunorvale
