#include "ui/kit/SectionHeading.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVText.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

SectionHeading::SectionHeading(const QString& title, const std::optional<QString>& subtitle,
                               const std::optional<LVSymbol>& symbol, QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(11);

    // The symbol sits in a 24 px column, 1 px lower than the title's top.
    m_symbolFrame = new QWidget(this);
    m_symbolFrame->setFixedWidth(24);
    auto* symbolColumn = new QVBoxLayout(m_symbolFrame);
    symbolColumn->setContentsMargins(0, 1, 0, 0);
    m_symbol = new LVSymbolView(symbol.value_or(LVSymbol(QString())), 18, Palette::accent, m_symbolFrame);
    symbolColumn->addWidget(m_symbol, 0, Qt::AlignHCenter | Qt::AlignTop);
    m_symbolFrame->setVisible(symbol.has_value());
    row->addWidget(m_symbolFrame, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    m_title = new LVText(title, Fonts::system(17, FontWeight::semibold), Palette::ink, this);
    m_subtitle = new LVText(subtitle.value_or(QString()), Fonts::system(12), Palette::muted, this);
    m_subtitle->setLineSpacing(3);
    m_subtitle->setVisible(subtitle.has_value());
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    row->addLayout(texts, 1);
}

void SectionHeading::setTitle(const QString& title) {
    m_title->setText(title);
}

void SectionHeading::setSubtitle(const std::optional<QString>& subtitle) {
    m_subtitle->setText(subtitle.value_or(QString()));
    m_subtitle->setVisible(subtitle.has_value());
}

void SectionHeading::setSymbol(const std::optional<LVSymbol>& symbol) {
    if (symbol)
        m_symbol->setSymbol(*symbol);
    m_symbolFrame->setVisible(symbol.has_value());
}

} // namespace lunorvale
