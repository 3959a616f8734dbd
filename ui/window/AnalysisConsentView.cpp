#include "ui/window/AnalysisConsentView.h"

#include <QVBoxLayout>

namespace lunorvale {

AnalysisConsentView::AnalysisConsentView(AppModel& model, const ProcessSample& sample,
                                         std::function<void()> onDismiss, QWidget* parent)
    : Screen(QStringLiteral("AI 分析"), std::nullopt, parent) {
    setObjectName(QStringLiteral("AnalysisConsentView"));
    column()->addWidget(PlaceholderParts::processRow(sample));
    column()->addWidget(PlaceholderParts::aiStatus(model, {}));
    column()->addStretch(1);
    column()->addWidget(PlaceholderParts::buttonRow({
        {LVButtonKind::secondary, QStringLiteral("取消"), std::move(onDismiss)},
    }));
}

} // namespace lunorvale
