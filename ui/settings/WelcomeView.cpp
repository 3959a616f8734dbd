#include "ui/settings/WelcomeView.h"

#include <QVBoxLayout>

namespace lunorvale {

WelcomeView::WelcomeView(AppModel& model, std::function<void()> onComplete, QWidget* parent)
    : Screen(QStringLiteral("欢迎使用岚栖"), std::nullopt, parent) {
    setObjectName(QStringLiteral("WelcomeView"));
    column()->addWidget(PlaceholderParts::statusLine(model));
    column()->addWidget(PlaceholderParts::aiStatus(model, {}));
    column()->addStretch(1);
    column()->addWidget(PlaceholderParts::buttonRow({
        {LVButtonKind::primary, QStringLiteral("开始使用"), std::move(onComplete)},
    }));
}

} // namespace lunorvale
