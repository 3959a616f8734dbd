#include "ui/settings/PrivacyView.h"

#include <QVBoxLayout>

namespace lunorvale {

PrivacyView::PrivacyView(QWidget* parent) : Screen(QStringLiteral("隐私说明"), std::nullopt, parent) {
    setObjectName(QStringLiteral("PrivacyView"));
    column()->addWidget(
        PlaceholderParts::paragraph(QStringLiteral("岚栖只在这台电脑上读取你自己的进程信息。")));
    column()->addStretch(1);
}

} // namespace lunorvale
