#include "ui/window/StopConfirmationView.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVText.h"
#include "ui/kit/ProcessGlyph.h"
#include "ui/kit/SectionHeading.h"
#include "ui/window/ProcessesLogic.h"
#include "ui/window/SheetLogic.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

StopConfirmationView::StopConfirmationView(AppModel& model, const StopRequest& request,
                                           std::function<void()> onCancel, std::function<void()> onConfirm,
                                           QWidget* parent)
    : SheetContent(490, 30, 22, onCancel, parent), m_model(model), m_sample(request.sample) {
    const ProcessSample& sample = request.sample;
    const StopSheet::Texts texts = StopSheet::texts(request.force);
    QVBoxLayout* column = this->column();

    auto* icon = new LVSymbolView(LVSymbol(texts.symbol), 31, texts.color, this);
    column->addWidget(icon, 0, Qt::AlignLeft);
    column->addWidget(new SectionHeading(texts.title, texts.subtitle, std::nullopt, this));

    auto* processBox = new QWidget;
    auto* processRow = new QHBoxLayout(processBox);
    processRow->setContentsMargins(16, 16, 16, 16);
    processRow->setSpacing(13);
    processRow->addWidget(new ProcessGlyph(sample.name, processBox));
    auto* lines = new QVBoxLayout;
    lines->setSpacing(6);
    // A long name wraps rather than being cut, so the PID after it, which says which process is
    // meant, is always shown.
    m_process = new LVText(ProcessesLogic::oneLine(StopSheet::processLine(sample)),
                           Fonts::system(14, FontWeight::semibold), Palette::ink, processBox);
    auto* source = new LVText(sample.displaySource(), Fonts::system(12), Palette::muted, processBox);
    source->setMaximumLines(2);
    lines->addWidget(m_process);
    lines->addWidget(source);
    processRow->addLayout(lines, 1);
    column->addWidget(lunorCard(processBox));

    auto* warning = new LVText(texts.warning, Fonts::system(12), Palette::muted, this);
    warning->setLineSpacing(5);
    column->addWidget(warning);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cancel = new LVButton(LVButtonKind::secondary, QStringLiteral("取消"), this);
    m_confirm = new LVButton(LVButtonKind::danger, texts.confirmTitle, this);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    column->addLayout(buttons);

    connect(m_cancel, &LVButton::clicked, this, &StopConfirmationView::cancel);
    connect(m_confirm, &LVButton::clicked, this, [onConfirm = std::move(onConfirm)] {
        if (onConfirm)
            onConfirm();
    });
    connect(&model, &AppModel::stoppingIDsChanged, this, &StopConfirmationView::refresh);
    refresh();
}

void StopConfirmationView::refresh() {
    m_confirm->setEnabled(StopSheet::confirmEnabled(
        m_model.isPreview(), m_model.stoppingIDs().contains(m_sample.identity), m_model.canStop(m_sample)));
}

} // namespace lunorvale
