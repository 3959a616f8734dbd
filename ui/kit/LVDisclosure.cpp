#include "ui/kit/LVDisclosure.h"

#include "ui/kit/FocusRing.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVSymbol.h"

#include <QAbstractButton>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

namespace lunorvale {

class LVDisclosure::Header final : public QAbstractButton {
public:
    Header(const QString& title, LVDisclosure* owner) : QAbstractButton(owner), m_owner(owner) {
        setText(title);
        setAccessibleName(title);
        setFocusPolicy(Qt::StrongFocus);
        FocusRing::follow();
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    AdaptiveColor color = Palette::muted;

    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        const int side = chevronSide();
        return {static_cast<int>(std::ceil(side + gap + metrics.horizontalAdvance(text()))),
                static_cast<int>(std::ceil(std::max<qreal>(side, metrics.height())))};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(LVButtonStyle::opacity(isEnabled(), isDown()));
        const QColor colour = color.in(this);
        const int side = chevronSide();
        const QRectF chevron(0, (height() - side) / 2.0, side, side);
        (m_owner->isExpanded() ? LVSymbol("chevron.down") : LVSymbol("chevron.right"))
            .paint(painter, chevron, colour);
        painter.setPen(colour);
        painter.drawText(QRectF(side + gap, 0, width() - side - gap, height()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
        if (FocusRing::shown(*this))
            FocusRing::paint(painter, rect(), 4, *this);
    }

private:
    static constexpr int gap = 5;
    int chevronSide() const { return LVSymbol::side(std::max(8, QFontInfo(font()).pixelSize() - 2)); }

    LVDisclosure* m_owner;
};

LVDisclosure::LVDisclosure(const QString& title, QWidget* content, QWidget* parent)
    : QWidget(parent), m_header(new Header(title, this)), m_content(content) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(m_header, 0, Qt::AlignLeft);
    column->addWidget(m_content);
    m_content->setVisible(false);
    connect(m_header, &QAbstractButton::clicked, this, [this] { setExpanded(!m_expanded); });
}

QAbstractButton* LVDisclosure::header() const {
    return m_header;
}

void LVDisclosure::setExpanded(bool expanded) {
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    m_content->setVisible(expanded);
    m_header->update();
    emit expandedChanged(expanded);
}

void LVDisclosure::setHeaderStyle(AdaptiveColor color, const QFont& font) {
    m_header->color = color;
    m_header->setFont(font);
    m_header->updateGeometry();
    m_header->update();
}

} // namespace lunorvale
