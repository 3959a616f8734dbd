#include "ui/window/TaskMetric.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVText.h"

#include <QVBoxLayout>

namespace lunorvale {

TaskMetric::TaskMetric(const QString& title, const QString& value, bool accent, QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(new LVText(title, Fonts::system(11), Palette::muted, this));
    m_value = new LVText(value, Fonts::monospacedDigits(accent ? 34 : 24, FontWeight::semibold),
                         accent ? Palette::amber : Palette::ink, this);
    m_value->setMaximumLines(1);
    m_value->setMinimumScaleFactor(0.75);
    column->addWidget(m_value);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void TaskMetric::setValue(const QString& value) {
    m_value->setText(value);
}

} // namespace lunorvale
