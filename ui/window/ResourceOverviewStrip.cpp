#include "ui/window/ResourceOverviewStrip.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVText.h"
#include "ui/window/MainViewLogic.h"
#include "ui/window/OverviewLogic.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

ResourceOverviewStrip::ResourceOverviewStrip(AppModel& model, std::function<void()> open, QWidget* parent)
    : QWidget(parent), m_model(model) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(17, 17, 17, 17);
    column->setSpacing(10);
    outer->addWidget(card(content));

    const QFont font = Fonts::system(12, FontWeight::medium);
    auto* row = new QHBoxLayout;
    row->setSpacing(20);
    m_cpu = new LVLabel(LVSymbol("cpu"), {}, font, Palette::ink, content);
    m_pressure = new LVLabel(LVSymbol("memorychip"), {}, font, Palette::muted, content);
    auto* link =
        new LVPlainButton(QStringLiteral("查看资源趋势 →"), std::nullopt, Palette::accent, font, content);
    connect(link, &QAbstractButton::clicked, this, [open = std::move(open)] {
        if (open)
            open();
    });
    row->addWidget(m_cpu);
    row->addWidget(m_pressure);
    row->addStretch(1);
    row->addWidget(link);
    column->addLayout(row);

    m_observation = new LVText({}, Fonts::system(11), Palette::amber, content);
    m_observation->hide();
    column->addWidget(m_observation);
    refresh();
}

void ResourceOverviewStrip::refresh() {
    m_cpu->setText(MainBarTexts::systemCPU(m_model.systemCPUText()));
    const OverviewLogic::PressureLabel pressure = OverviewLogic::pressure(m_model.systemMemory());
    m_pressure->setText(QStringLiteral("内存压力 · ") + pressure.word);
    m_pressure->setColor(pressure.color);
    const std::optional<QString> observation =
        OverviewLogic::stripObservation(m_model.memoryObservations(), m_model.applicationCPUFindings());
    m_observation->setText(observation.value_or(QString()));
    m_observation->setVisible(observation.has_value());
}

} // namespace lunorvale
