#include "ui/window/MenuContent.h"

#include <QVBoxLayout>

namespace lunorvale {

MenuContent::MenuContent(AppModel& model, const MenuActions& actions, QWidget* parent)
    : Screen(QStringLiteral("岚栖"), std::nullopt, parent) {
    setObjectName(QStringLiteral("MenuContent"));
    column()->addWidget(PlaceholderParts::statusLine(model));
    column()->addWidget(PlaceholderParts::aiStatus(model, actions.showSettings));
    column()->addWidget(PlaceholderParts::processList(model, 3));
    column()->addStretch(1);
    column()->addWidget(PlaceholderParts::buttonRow({
        {LVButtonKind::secondary, QStringLiteral("退出岚栖…"), actions.requestQuit},
        {LVButtonKind::secondary, QStringLiteral("设置…"), actions.showSettings},
        {LVButtonKind::primary, QStringLiteral("打开岚栖"), actions.openMain},
    }));
}

} // namespace lunorvale
