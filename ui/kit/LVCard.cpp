#include "ui/kit/LVCard.h"

#include "ui/kit/Palette.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace lunorvale {

// The stroke lies over the content (content that reaches the edge does not hide it), so it is a child
// of its own, kept above the others and transparent to the mouse.
class LVCard::Stroke final : public QWidget {
public:
    explicit Stroke(LVCard* card) : QWidget(card), m_card(card) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor color = Palette::line.in(this);
        color.setAlphaF(m_card->strokeOpacity());
        painter.setPen(QPen(color, 1));
        QPainterPath path;
        // Just inside the edge rather than half outside it, where the widget's bounds would cut it.
        const qreal radius = m_card->cornerRadius() - 0.5;
        path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        painter.drawPath(path);
    }

private:
    LVCard* m_card;
};

LVCard::LVCard(LVCardKind kind, QWidget* content, QWidget* parent) : QWidget(parent), m_kind(kind) {
    m_stroke = new Stroke(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (content)
        setContent(content);
}

void LVCard::setContent(QWidget* content) {
    if (content == m_content)
        return;
    delete m_content;
    m_content = content;
    if (content)
        layout()->addWidget(content);
    m_stroke->raise();
}

qreal LVCard::cornerRadius() const {
    return m_kind == LVCardKind::card ? 16 : 13;
}

qreal LVCard::strokeOpacity() const {
    return m_kind == LVCardKind::card ? 0.7 : 0.65;
}

void LVCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius(), cornerRadius());
    painter.fillPath(path, (m_kind == LVCardKind::card ? Palette::surface : Palette::secondary).in(this));
}

bool LVCard::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Resize:
        if (m_stroke)
            m_stroke->setGeometry(rect());
        break;
    case QEvent::ChildAdded:
    case QEvent::ChildPolished:
        if (m_stroke)
            m_stroke->raise();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

LVCard* card(QWidget* content) {
    return new LVCard(LVCardKind::card, content);
}

LVCard* lunorCard(QWidget* content) {
    return new LVCard(LVCardKind::lunorCard, content);
}

} // namespace lunorvale
