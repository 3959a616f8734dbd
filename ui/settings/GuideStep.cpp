#include "ui/settings/GuideStep.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVText.h"
#include "ui/kit/Palette.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace lunorvale {

namespace {

class NumberBadge final : public QWidget {
public:
    NumberBadge(const QString& number, QWidget* parent) : QWidget(parent), m_number(number) {
        setFixedSize(29, 29);
        setFont(Fonts::system(13, FontWeight::semibold));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = Palette::accent.in(this);
        fill.setAlphaF(0.09f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(QRectF(rect()));
        painter.setPen(Palette::accent.in(this));
        painter.drawText(rect(), Qt::AlignCenter, m_number);
    }

private:
    QString m_number;
};

} // namespace

GuideStep::GuideStep(const QString& number, const QString& title, const QString& detail, QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(15);
    row->addWidget(new NumberBadge(number, this), 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 4, 0, 0);
    texts->setSpacing(8);
    m_title = new LVText(title, Fonts::system(14, FontWeight::semibold), Palette::ink, this);
    m_detail = new LVText(detail, Fonts::system(12), Palette::muted, this);
    m_detail->setLineSpacing(5);
    texts->addWidget(m_title);
    texts->addWidget(m_detail);
    row->addLayout(texts, 1);
}

HelpAnswer::HelpAnswer(const QString& title, const QString& detail, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    column->addWidget(new LVText(title, Fonts::system(12, FontWeight::semibold), Palette::ink, this));
    auto* text = new LVText(detail, Fonts::system(11), Palette::muted, this);
    text->setLineSpacing(4);
    column->addWidget(text);
}

} // namespace lunorvale
