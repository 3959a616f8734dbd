#include "ui/window/ProcessAISection.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVText.h"
#include "ui/library/LibraryParts.h"
#include "ui/window/MainView.h"
#include "ui/window/ProcessAdviceView.h"
#include "ui/window/ProcessDetailLogic.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

void toggleMute(AppModel& model, const ProcessSample& sample) {
    if (model.isIgnored(sample))
        model.unignore(sample);
    else
        model.ignore(sample);
}

ProcessAISection::ProcessAISection(MainView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    AppModel& model = view.model();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    m_advice = new ProcessAdviceView(model.automaticAdvice(), false, this);
    column->addWidget(m_advice);

    m_inspect = new LVButton(LVButtonKind::primary, {}, this);
    m_mute = new LVButton(LVButtonKind::lunor, {}, this);
    m_refresh = new LVButton(LVButtonKind::secondary, {}, this);
    for (LVButton* button : {m_inspect, m_mute, m_refresh})
        column->addWidget(button, 0, Qt::AlignLeft);
    connect(m_inspect, &QAbstractButton::clicked, this, [this] { m_view.model().inspectProcess(m_sample); });
    connect(m_mute, &QAbstractButton::clicked, this, [this] { toggleMute(m_view.model(), m_sample); });
    connect(m_refresh, &QAbstractButton::clicked, this, [this] {
        AppModel& model = m_view.model();
        if (model.isMonitoring())
            model.sampleNow();
        else
            model.toggleMonitoring();
    });

    auto* groupContent = new QWidget;
    auto* groupColumn = new QVBoxLayout(groupContent);
    groupColumn->setContentsMargins(0, 8, 0, 0);
    groupColumn->setSpacing(9);

    m_busyRow = new QWidget(groupContent);
    auto* busy = new QHBoxLayout(m_busyRow);
    busy->setContentsMargins(0, 0, 0, 0);
    busy->setSpacing(9);
    auto* indicator = new BusyIndicator(14, m_busyRow);
    indicator->setAnimated(!model.isPreview());
    busy->addWidget(indicator);
    // Muted like every text of its group.
    m_busyText =
        new LVText(QStringLiteral("正在获取简短建议…"), Fonts::system(11), Palette::muted, m_busyRow);
    busy->addWidget(m_busyText);
    m_cancel = new LVButton(LVButtonKind::secondary, QStringLiteral("取消"), m_busyRow);
    busy->addWidget(m_cancel);
    busy->addStretch(1);
    groupColumn->addWidget(m_busyRow);
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { m_view.model().clearAnalysis(); });

    m_status = new LVText({}, Fonts::system(11), Palette::muted, groupContent);
    groupColumn->addWidget(m_status);
    m_request = new LVButton(LVButtonKind::secondary, {}, groupContent);
    m_request->setSymbol(LVSymbol("sparkles"));
    groupColumn->addWidget(m_request, 0, Qt::AlignLeft);
    connect(m_request, &QAbstractButton::clicked, this, [this] { m_view.requestAnalysis(m_sample); });

    m_errorRow = new QWidget(groupContent);
    auto* error = new QVBoxLayout(m_errorRow);
    error->setContentsMargins(0, 0, 0, 0);
    error->setSpacing(9);
    m_error = new LVText({}, Fonts::system(11), Palette::danger, m_errorRow);
    error->addWidget(m_error);
    m_settings = new LVButton(LVButtonKind::lunor, QStringLiteral("检查 AI 设置"), m_errorRow);
    error->addWidget(m_settings, 0, Qt::AlignLeft);
    groupColumn->addWidget(m_errorRow);
    connect(m_settings, &QAbstractButton::clicked, this, [this] { m_view.openAISettings(); });

    m_group = new LVDisclosure(QStringLiteral("AI 补充建议（可选）"), groupContent, this);
    m_group->setHeaderStyle(Palette::muted, Fonts::system(11));
    column->addWidget(m_group);
    // The group's state is the window's: it stays open across processes and the request opens it.
    connect(m_group, &LVDisclosure::expandedChanged, this,
            [this](bool expanded) { m_view.setDetailedAdviceExpanded(expanded); });
}

void ProcessAISection::setSample(const ProcessSample& sample) {
    m_sample = sample;
    refresh();
}

void ProcessAISection::refresh() {
    AppModel& model = m_view.model();
    const LocalProcessAdvice local = model.localAdvice(m_sample);
    m_advice->setContent(m_sample, local, model.aiDecision());

    AISection::Input input;
    input.advice = local;
    input.entry = model.automaticAdvice().entry(m_sample);
    input.hasDecision = model.aiDecision().has_value();
    input.aiBusy = model.aiBusy();
    input.aiError = model.aiError();
    input.model = model.aiConfiguration().model;
    input.isMuted = model.isIgnored(m_sample);
    input.isMonitoring = model.isMonitoring();
    input.isSampling = model.isSampling();
    input.isPreview = model.isPreview();
    input.hasOwningApplication = [&model, this] {
        return model.inspectionApplication(m_sample).has_value();
    };
    const AISection::Texts texts = AISection::texts(input);

    for (LVButton* button : {m_inspect, m_mute, m_refresh})
        button->hide();
    for (const AISection::Step& step : texts.steps) {
        LVButton* button = step.action == AISection::Step::Action::inspect ? m_inspect
                           : step.action == AISection::Step::Action::mute  ? m_mute
                                                                           : m_refresh;
        button->setText(step.title);
        button->setEnabled(step.enabled);
        button->show();
    }

    m_group->setVisible(texts.showsAIGroup);
    if (m_group->isExpanded() != m_view.state().detailedAdviceExpanded) {
        const QSignalBlocker blocker(m_group);
        m_group->setExpanded(m_view.state().detailedAdviceExpanded);
    }
    const bool busy = texts.status == AISection::Status::busy;
    m_busyRow->setVisible(busy);
    m_cancel->setEnabled(texts.cancelEnabled);
    m_status->setVisible(!busy);
    m_status->setText(texts.statusText);
    const bool request = texts.status == AISection::Status::request;
    m_request->setVisible(request);
    m_request->setText(texts.requestTitle);
    m_request->setEnabled(texts.requestEnabled);
    m_errorRow->setVisible(texts.error.has_value());
    m_error->setText(texts.error.value_or(QString()));
}

} // namespace lunorvale
