#include "ui/kit/LVEmptyState.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVText.h"

#include <QVBoxLayout>

namespace lunorvale {

LVEmptyState::LVEmptyState(const LVSymbol& symbol, const QString& title, const QString& detail,
                           QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(32, 32, 32, 32);
    column->setSpacing(12);

    m_symbol = new LVSymbolView(symbol, 30, Palette::accent, this);
    column->addWidget(m_symbol, 0, Qt::AlignHCenter);
    column->addSpacing(5);

    m_title = new LVText(title, Fonts::system(19, FontWeight::semibold), Palette::ink, this);
    m_title->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    column->addWidget(m_title, 0, Qt::AlignHCenter);

    m_detail = new LVText(detail, Fonts::system(12), Palette::muted, this);
    m_detail->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_detail->setLineSpacing(5);
    m_detail->setBreaksAtPauses(true);
    m_detail->setMaximumWidth(480);
    column->addWidget(m_detail, 0, Qt::AlignHCenter);
}

void LVEmptyState::setSymbol(const LVSymbol& symbol) {
    m_symbol->setSymbol(symbol);
}

void LVEmptyState::setTitle(const QString& title) {
    m_title->setText(title);
}

void LVEmptyState::setDetail(const QString& detail) {
    m_detail->setText(detail);
}

} // namespace lunorvale
