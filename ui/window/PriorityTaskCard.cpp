#include "ui/window/PriorityTaskCard.h"

#include "app/model/AppModel.h"
#include "core/monitoring/DisplayFormat.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVFill.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVText.h"
#include "ui/window/MainView.h"
#include "ui/window/OverviewLogic.h"
#include "ui/window/PageParts.h"
#include "ui/window/ProcessAdviceView.h"
#include "ui/window/TaskMetric.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

PriorityTaskCard::PriorityTaskCard(MainView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    outer->addWidget(card(content));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(25, 25, 25, 25);
    column->setSpacing(18);

    column->addWidget(new LVBadge(QStringLiteral("需要关注"), Palette::amber, content), 0, Qt::AlignLeft);

    auto* heading = new QVBoxLayout;
    heading->setSpacing(7);
    m_title = new LVText({}, Fonts::system(25, FontWeight::semibold), Palette::ink, content);
    m_title->setMaximumLines(2);
    m_subtitle = new LVText({}, Fonts::system(12), Palette::muted, content);
    m_subtitle->setMaximumLines(1);
    heading->addWidget(m_title);
    heading->addWidget(m_subtitle);
    column->addLayout(heading);

    m_advice = new ProcessAdviceView(view.model().automaticAdvice(), false, content);
    column->addWidget(m_advice);

    // The evidence: three figures, the threshold note, the process's facts.
    auto* evidence = new QWidget;
    auto* evidenceColumn = new QVBoxLayout(evidence);
    evidenceColumn->setContentsMargins(0, 0, 0, 0);
    evidenceColumn->setSpacing(8);
    auto* metrics = new QHBoxLayout;
    metrics->setContentsMargins(0, 3, 0, 3);
    metrics->setSpacing(24);
    m_cpu = new TaskMetric(QStringLiteral("CPU"), {}, true, evidence);
    m_observed = new TaskMetric(QStringLiteral("已观察"), {}, false, evidence);
    m_running = new TaskMetric(QStringLiteral("已运行"), {}, false, evidence);
    metrics->addWidget(m_cpu, 1);
    metrics->addWidget(new LVRule(QSize(1, 40), 1.0, evidence));
    metrics->addWidget(m_observed, 1);
    metrics->addWidget(new LVRule(QSize(1, 40), 1.0, evidence));
    metrics->addWidget(m_running, 1);
    evidenceColumn->addLayout(metrics);
    // The amber note on the warning background.
    auto* note = new LVFill(Palette::warning, 8, evidence);
    auto* noteRow = new QHBoxLayout(note);
    noteRow->setContentsMargins(11, 11, 11, 11);
    noteRow->setSpacing(5);
    noteRow->addWidget(new LVSymbolView(LVSymbol("exclamationmark.circle.fill"), 11, Palette::amber, note), 0,
                       Qt::AlignTop);
    m_threshold = new LVText({}, Fonts::system(11), Palette::amber, note);
    noteRow->addWidget(m_threshold, 1);
    evidenceColumn->addWidget(note);
    auto* facts = new QHBoxLayout;
    facts->setSpacing(15);
    const QFont small = Fonts::system(11);
    m_name = new LVLabel(LVSymbol("app.dashed"), {}, small, Palette::muted, evidence);
    m_memory = new LVLabel(LVSymbol("memorychip"), {}, small, Palette::muted, evidence);
    m_pid = new LVText({}, Fonts::monospacedDigits(11), Palette::muted, evidence);
    m_pid->setMaximumLines(1);
    // Only the name gives way on a narrow card: a figure cut short tells nothing.
    for (QWidget* figure : {static_cast<QWidget*>(m_memory), static_cast<QWidget*>(m_pid)})
        figure->setSizePolicy(QSizePolicy::Fixed, figure->sizePolicy().verticalPolicy());
    facts->addWidget(m_name);
    facts->addWidget(new LVRule(QSize(1, 12), 1.0, evidence));
    facts->addWidget(m_memory);
    facts->addWidget(new LVRule(QSize(1, 12), 1.0, evidence));
    facts->addWidget(m_pid);
    facts->addStretch(1);
    evidenceColumn->addLayout(facts);
    m_evidence = new LVDisclosure(QStringLiteral("查看占用依据"), evidence, content);
    m_evidence->setHeaderStyle(Palette::muted, small);
    column->addWidget(m_evidence);

    auto* actions = new QVBoxLayout;
    actions->setSpacing(8);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(9);
    m_inspect = new LVButton(LVButtonKind::primary, {}, content);
    m_details = new LVButton(LVButtonKind::lunor, QStringLiteral("查看详情"), content);
    m_stop = new LVButton(LVButtonKind::secondary, QStringLiteral("请求退出"), content);
    m_mute = new LVButton(LVButtonKind::lunor, QStringLiteral("静音 1 小时"), content);
    for (LVButton* button : {m_inspect, m_details, m_stop, m_mute})
        buttons->addWidget(button);
    buttons->addStretch(1);
    actions->addLayout(buttons);
    m_footnote = new LVText({}, Fonts::system(10), Palette::muted, content);
    actions->addWidget(m_footnote);
    column->addLayout(actions);
    // Taller than its content when the next steps beside it are, the card keeps its content at the top.
    column->addStretch(1);

    const auto shown = [this] {
        return m_finding.sample;
    };
    PageParts::actOnWhatWasShown(
        m_inspect, shown, [this](const ProcessSample& sample) { m_view.model().inspectProcess(sample); });
    PageParts::actOnWhatWasShown(m_details, shown,
                                 [this](const ProcessSample& sample) { m_view.openProcess(sample); });
    PageParts::actOnWhatWasShown(m_stop, shown, [this](const ProcessSample& sample) {
        m_view.setSheet(MainSheet::stopping(StopRequest{QUuid::createUuid(), sample, false}));
    });
    PageParts::actOnWhatWasShown(m_mute, shown,
                                 [this](const ProcessSample& sample) { m_view.model().ignore(sample); });
}

void PriorityTaskCard::setFinding(const Finding& finding) {
    m_finding = finding;
    AppModel& model = m_view.model();
    const ProcessSample& sample = finding.sample;
    OverviewLogic::PriorityTaskInputs inputs;
    inputs.isPreview = model.isPreview();
    inputs.stopping = model.stoppingIDs().contains(sample.identity);
    inputs.ownerFound = [&] {
        return model.inspectionApplication(sample).has_value();
    };
    inputs.canStop = [&] {
        return model.canStop(sample);
    };
    inputs.settings = model.settings();
    const OverviewLogic::PriorityTaskTexts texts = OverviewLogic::priorityTask(finding, inputs);

    m_title->setText(finding.title);
    m_subtitle->setText(texts.subtitle);
    m_advice->setContent(sample, model.localAdvice(sample), std::nullopt);
    m_cpu->setValue(DisplayFormat::cpu(sample.cpuPercent));
    m_observed->setValue(DisplayFormat::duration(finding.sustainedSeconds));
    m_running->setValue(DisplayFormat::duration(sample.elapsedSeconds));
    m_threshold->setText(texts.thresholdNote);
    m_name->setText(sample.name);
    m_memory->setText(DisplayFormat::memory(sample.residentBytes));
    m_pid->setText(QStringLiteral("PID ") + QString::number(sample.identity.pid));
    m_inspect->setText(texts.inspectTitle);
    m_inspect->setAccessibleName(texts.inspectTitle);
    m_inspect->updateGeometry();
    m_inspect->setEnabled(texts.inspectEnabled);
    m_stop->setEnabled(texts.stopEnabled);
    m_mute->setEnabled(texts.muteEnabled);
    m_footnote->setText(texts.footnote);
}

void PriorityTaskCard::collapseEvidence() {
    m_evidence->setExpanded(false);
}

} // namespace lunorvale
