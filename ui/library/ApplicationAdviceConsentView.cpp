#include "ui/library/ApplicationAdviceConsentView.h"

#include <QVBoxLayout>

namespace lunorvale {

ApplicationAdviceConsentView::ApplicationAdviceConsentView(const ApplicationAdviceConsent& consent,
                                                           bool preview, std::function<void()> onCancel,
                                                           std::function<void()> onConfirm, QWidget* parent)
    : Screen(QStringLiteral("应用建议"), consent.configuration.model, parent) {
    setObjectName(QStringLiteral("ApplicationAdviceConsentView"));
    auto* summary = PlaceholderParts::paragraph(consent.summary);
    column()->addWidget(summary, 1);
    column()->addWidget(PlaceholderParts::buttonRow({
        {LVButtonKind::secondary, QStringLiteral("取消"),
         preview ? std::function<void()>() : std::move(onCancel)},
        {LVButtonKind::primary, QStringLiteral("发送"),
         preview ? std::function<void()>() : std::move(onConfirm)},
    }));
}

} // namespace lunorvale
