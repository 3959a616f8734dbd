#include "ui/window/ProcessDetailPane.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/KitStyle.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/ProcessGlyph.h"
#include "ui/window/MainView.h"
#include "ui/window/PageParts.h"
#include "ui/window/ProcessAISection.h"
#include "ui/window/ProcessDetailLogic.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QUuid>
#include <QVBoxLayout>

namespace lunorvale {

namespace {

// A collapsible group whose title and texts are small and muted.
LVDisclosure* group(const QString& title, QWidget* content, QWidget* parent) {
    auto* disclosure = new LVDisclosure(title, content, parent);
    disclosure->setHeaderStyle(Palette::muted, Fonts::system(11));
    return disclosure;
}

// The selectable text of a command or a path, under its group's title.
LVSelectableText* codeText(QWidget** box) {
    auto* text = new LVSelectableText({}, PageParts::monospaced(10), Palette::muted);
    text->setLineSpacing(3);
    *box = PageParts::padded(text, 0, 8, 0, 0);
    return text;
}

} // namespace

ProcessDetailPane::ProcessDetailPane(MainView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(21, 21, 21, 21);
    column->setSpacing(19);

    auto* header = new QHBoxLayout;
    m_glyph = new ProcessGlyph(QString(), this);
    header->addWidget(m_glyph, 0, Qt::AlignVCenter);
    auto* identity = new QVBoxLayout;
    identity->setSpacing(4);
    m_name = new LVSelectableText({}, Fonts::system(20, FontWeight::semibold), Palette::ink, this);
    m_name->setMaximumLines(2);
    m_pidLine = new LVText({}, PageParts::monospaced(10), Palette::muted, this);
    m_pidLine->setMaximumLines(1);
    identity->addWidget(m_name);
    identity->addWidget(m_pidLine);
    header->addLayout(identity, 1);
    column->addLayout(header);

    m_origin = new LVSelectableText({}, Fonts::system(12), Palette::muted, this);
    m_origin->setLineSpacing(3);
    column->addWidget(m_origin);

    m_ai = new ProcessAISection(view, this);
    column->addWidget(m_ai);

    // Resources and the local judgement.
    auto* resources = new QWidget;
    auto* resourceColumn = new QVBoxLayout(resources);
    resourceColumn->setContentsMargins(0, 8, 0, 0);
    resourceColumn->setSpacing(12);
    auto* figure = new QHBoxLayout;
    m_cpu = new LVText({}, Fonts::monospacedDigits(34, FontWeight::semibold), Palette::ink, resources);
    m_cpu->setMaximumLines(1);
    figure->addWidget(m_cpu, 0, Qt::AlignBottom);
    figure->addWidget(new LVText(QStringLiteral("CPU"), Fonts::system(11), Palette::muted, resources), 0,
                      Qt::AlignBottom);
    figure->addStretch(1);
    m_mutedBadge = new LVBadge(QStringLiteral("已静音"), Palette::amber, resources);
    figure->addWidget(m_mutedBadge, 0, Qt::AlignBottom);
    resourceColumn->addLayout(figure);

    auto* rows = new QWidget;
    auto* rowColumn = new QVBoxLayout(rows);
    rowColumn->setContentsMargins(13, 13, 13, 13);
    rowColumn->setSpacing(10);
    const auto detailRow = [rows, rowColumn](const QString& label) {
        auto* row = new QHBoxLayout;
        row->addWidget(new LVText(label, Fonts::system(11), Palette::muted, rows));
        row->addStretch(1);
        // The group's texts are muted, the figures with them.
        auto* value = new LVText({}, Fonts::monospacedDigits(11), Palette::muted, rows);
        value->setMaximumLines(1);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(value);
        rowColumn->addLayout(row);
        return value;
    };
    m_memory = detailRow(QStringLiteral("驻留内存"));
    m_elapsed = detailRow(QStringLiteral("已运行"));
    m_cpuTotal = detailRow(QStringLiteral("累计 CPU 时间"));
    resourceColumn->addWidget(lunorCard(rows));

    auto* judgement = new QVBoxLayout;
    judgement->setSpacing(8);
    judgement->addWidget(new LVLabel(LVSymbol("checkmark.shield"), QStringLiteral("本地判断"),
                                     Fonts::system(12, FontWeight::semibold), Palette::muted, resources),
                         0, Qt::AlignLeft);
    m_explanation = new LVText({}, Fonts::system(11), Palette::muted, resources);
    m_explanation->setLineSpacing(4);
    judgement->addWidget(m_explanation);
    resourceColumn->addLayout(judgement);
    m_resources = group(QStringLiteral("资源占用与观察依据"), resources, this);
    column->addWidget(m_resources);

    column->addWidget(new LVRule({}, 1.0, this));

    // Stopping and muting.
    auto* actions = new QVBoxLayout;
    actions->setSpacing(10);
    actions->addWidget(new LVText(QStringLiteral("需要退出时"), Fonts::system(12, FontWeight::semibold),
                                  Palette::ink, this));
    m_stopControls = new QWidget(this);
    auto* stopRow = new QHBoxLayout(m_stopControls);
    stopRow->setContentsMargins(0, 0, 0, 0);
    stopRow->setSpacing(8);
    m_stop = new LVButton(LVButtonKind::secondary, QStringLiteral("请求退出"), m_stopControls);
    stopRow->addWidget(m_stop);
    m_more = new LVPlainButton(QStringLiteral("更多"), std::nullopt, Palette::ink, Fonts::system(13),
                               m_stopControls);
    m_more->setAccessibleName(QStringLiteral("更多"));
    m_more->setContentsMargins(8, 0, 8, 0);
    stopRow->addWidget(m_more);
    stopRow->addStretch(1);
    auto* menu = m_moreMenu = new QMenu(m_more);
    m_forceStop = menu->addAction(QStringLiteral("强制结束…"));
    KitStyle::setDestructive(m_forceStop);
    connect(m_more, &QAbstractButton::clicked, this,
            [this, menu] { menu->popup(m_more->mapToGlobal(QPoint(0, m_more->height()))); });
    connect(m_stop, &QAbstractButton::clicked, this, [this] { requestStop(false); });
    connect(m_forceStop, &QAction::triggered, this, [this] { requestStop(true); });
    actions->addWidget(m_stopControls);

    m_mute = new LVPlainButton({}, std::nullopt, Palette::accent, Fonts::system(11), this);
    connect(m_mute, &QAbstractButton::clicked, this, [this] { toggleMute(m_view.model(), m_sample); });
    actions->addWidget(m_mute, 0, Qt::AlignLeft);
    m_footnote = new LVText({}, Fonts::system(10), Palette::muted, this);
    m_footnote->setLineSpacing(3);
    actions->addWidget(m_footnote);
    column->addLayout(actions);

    column->addWidget(new LVRule({}, 1.0, this));

    QWidget* commandBox = nullptr;
    m_command = codeText(&commandBox);
    column->addWidget(group(QStringLiteral("启动命令 · 仅在本机显示"), commandBox, this));
    QWidget* executableBox = nullptr;
    m_executable = codeText(&executableBox);
    column->addWidget(group(QStringLiteral("可执行文件"), executableBox, this));
    column->addStretch(1);
}

void ProcessDetailPane::setSample(const ProcessSample& sample) {
    m_sample = sample;
    refresh();
}

void ProcessDetailPane::requestStop(bool force) {
    // Only the sheet is asked for; the stop itself waits for the confirmation.
    m_view.setSheet(MainSheet::stopping(StopRequest{QUuid::createUuid(), m_sample, force}));
}

void ProcessDetailPane::refresh() {
    const AppModel& model = m_view.model();
    ProcessDetail::Input input;
    input.sample = m_sample;
    input.finding = ProcessDetail::findingFor(model.findings(), m_sample.identity);
    input.stopping = model.stoppingIDs().contains(m_sample.identity);
    input.isPreview = model.isPreview();
    input.canStop = model.canStop(m_sample);
    input.isMuted = model.isIgnored(m_sample);
    const ProcessDetail::Texts t = ProcessDetail::texts(input);

    m_glyph->setName(m_sample.name);
    m_name->setText(m_sample.name);
    m_pidLine->setText(t.pidLine);
    m_origin->setText(t.origin);
    m_ai->setSample(m_sample);
    m_cpu->setText(t.cpu);
    m_cpu->setColor(t.cpuHighlighted ? Palette::amber : Palette::ink);
    m_mutedBadge->setVisible(t.showsMutedBadge);
    m_memory->setText(t.memory);
    m_elapsed->setText(t.elapsed);
    m_cpuTotal->setText(t.cpuTotal);
    m_explanation->setText(t.explanation);
    m_stop->setText(t.stopTitle);
    m_stopControls->setEnabled(t.stopEnabled);
    m_mute->setLabel(t.muteTitle);
    m_mute->setAccessibleName(t.muteTitle);
    m_mute->setEnabled(t.muteEnabled);
    m_footnote->setText(t.footnote);
    m_command->setText(t.command);
    m_executable->setText(t.executable);
}

} // namespace lunorvale
