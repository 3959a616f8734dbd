#include "ui/window/StopConfirmationView.h"

#include <QVBoxLayout>

namespace lunorvale {

StopConfirmationView::StopConfirmationView(AppModel&, const StopRequest& request,
                                           std::function<void()> onCancel, std::function<void()> onConfirm,
                                           QWidget* parent)
    : Screen(request.force ? QStringLiteral("强制结束进程") : QStringLiteral("停止进程"), std::nullopt,
             parent) {
    setObjectName(QStringLiteral("StopConfirmationView"));
    column()->addWidget(PlaceholderParts::processRow(request.sample));
    column()->addStretch(1);
    column()->addWidget(PlaceholderParts::buttonRow({
        {LVButtonKind::secondary, QStringLiteral("取消"), std::move(onCancel)},
        {LVButtonKind::danger, request.force ? QStringLiteral("强制结束") : QStringLiteral("停止"),
         std::move(onConfirm)},
    }));
}

} // namespace lunorvale
