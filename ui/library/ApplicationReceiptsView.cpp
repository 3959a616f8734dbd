#include "ui/library/ApplicationReceiptsView.h"

#include <QVBoxLayout>

namespace lunorvale {

ApplicationReceiptsView::ApplicationReceiptsView(ApplicationLibraryModel&, std::function<void()> close,
                                                 QWidget* parent)
    : Screen(QStringLiteral("操作记录"), std::nullopt, parent) {
    setObjectName(QStringLiteral("ApplicationReceiptsView"));
    column()->addStretch(1);
    column()->addWidget(PlaceholderParts::buttonRow({
        {LVButtonKind::primary, QStringLiteral("完成"), std::move(close)},
    }));
}

} // namespace lunorvale
