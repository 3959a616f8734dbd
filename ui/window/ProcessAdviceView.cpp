#include "ui/window/ProcessAdviceView.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVText.h"
#include "ui/window/OverviewLogic.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

ProcessAdviceView::ProcessAdviceView(AutomaticProcessAdvice& advice, bool compact, QWidget* parent)
    : QWidget(parent), m_advice(advice), m_compact(compact) {
    setObjectName(QStringLiteral("process-decision-advice"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(compact ? 6 : 9);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    if (compact) {
        auto* titleRow = new QHBoxLayout;
        titleRow->setSpacing(6);
        m_title = new LVText({}, Fonts::system(12, FontWeight::semibold), Palette::ink, this);
        titleRow->addWidget(m_title, 1);
        titleRow->addWidget(new LVSymbolView(LVSymbol("chevron.right"), 9, Palette::accent, this), 0,
                            Qt::AlignVCenter);
        column->addLayout(titleRow);
        m_explanation = new LVText({}, Fonts::system(11), Palette::muted, this);
        m_explanation->setLineSpacing(3);
        m_explanation->setMaximumLines(3);
        column->addWidget(m_explanation);
        return;
    }

    column->addWidget(new LVLabel(LVSymbol("checkmark.shield"), QStringLiteral("现在怎么做"),
                                  Fonts::system(11, FontWeight::medium), Palette::muted, this),
                      0, Qt::AlignLeft);
    m_title = new LVText({}, Fonts::system(18, FontWeight::semibold), Palette::ink, this);
    column->addWidget(m_title);
    m_explanation = new LVText({}, Fonts::system(12), Palette::muted, this);
    m_explanation->setLineSpacing(3);
    column->addWidget(m_explanation);
    m_nextStep = new LVText({}, Fonts::system(12), Palette::ink, this);
    m_nextStep->setLineSpacing(3);
    column->addWidget(m_nextStep);
    m_aiLabel =
        new LVLabel(LVSymbol("sparkles"), QStringLiteral("AI 补充"), Fonts::system(10), Palette::muted, this);
    column->addWidget(m_aiLabel, 0, Qt::AlignLeft);
    m_aiText = new LVText({}, Fonts::system(11), Palette::muted, this);
    m_aiText->setLineSpacing(3);
    column->addWidget(m_aiText);
    m_aiLabel->hide();
    m_aiText->hide();
    connect(&m_advice, &AutomaticProcessAdvice::entriesChanged, this, &ProcessAdviceView::applyAILine);
}

void ProcessAdviceView::setContent(const ProcessSample& sample, const LocalProcessAdvice& localAdvice,
                                   const std::optional<ProcessDecisionAdvice>& manualAdvice) {
    m_sample = sample;
    m_local = localAdvice;
    m_manual = manualAdvice;
    m_title->setText(localAdvice.title);
    if (m_compact) {
        m_explanation->setText(localAdvice.nextStep);
        return;
    }
    m_explanation->setText(localAdvice.reason);
    m_nextStep->setText(localAdvice.nextStep);
    applyAILine();
}

void ProcessAdviceView::applyAILine() {
    if (m_compact)
        return;
    const OverviewLogic::AdviceAILine line =
        OverviewLogic::adviceAILine(m_local.state, m_manual, m_advice.entry(m_sample));
    const bool decision = line.kind == OverviewLogic::AdviceAILine::Kind::decision;
    m_aiLabel->setVisible(decision);
    m_aiText->setVisible(line.kind != OverviewLogic::AdviceAILine::Kind::none);
    m_aiText->setText(line.text);
    m_aiText->setFont(Fonts::system(decision ? 11 : 10));
    m_aiText->setMaximumLines(decision ? 4 : 0);
}

} // namespace lunorvale
