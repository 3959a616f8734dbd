#include "ui/window/OperationBanner.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVFill.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVSelectableText.h"

#include <QHBoxLayout>

namespace lunorvale {

OperationBanner::OperationBanner(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(24, 8, 24, 0);
    auto* panel = new LVFill(Palette::soft, 10, this);
    outer->addWidget(panel);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(18, 11, 18, 11);
    row->setSpacing(10);
    row->addWidget(new LVSymbolView(LVSymbol("info.circle"), 12, Palette::accent, panel), 0,
                   Qt::AlignVCenter);
    // Selectable, so that the sentence (a PID, a path) can be copied.
    m_message = new LVSelectableText(QString(), Fonts::system(12), Palette::ink, panel);
    row->addWidget(m_message, 1);
    m_close = new LVPlainButton({}, LVSymbol("xmark"), Palette::ink, Fonts::system(12), panel);
    m_close->setAccessibleName(QStringLiteral("关闭操作结果"));
    m_close->setToolTip(QStringLiteral("关闭操作结果"));
    connect(m_close, &QAbstractButton::clicked, this, [this] { m_model.setOperationMessage(std::nullopt); });
    row->addWidget(m_close, 0, Qt::AlignVCenter);
    refresh();
}

void OperationBanner::refresh() {
    const std::optional<QString>& message = m_model.operationMessage();
    m_message->setText(message.value_or(QString()));
    setVisible(message.has_value());
}

} // namespace lunorvale
