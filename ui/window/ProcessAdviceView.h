#pragma once

#include "app/advice/AutomaticProcessAdvice.h"
#include "core/monitoring/LocalProcessAdvice.h"

#include <QWidget>
#include <optional>

namespace lunorvale {

class LVPlainButton;
class LVSymbolView;
class LVText;

// What to do about one process: its local advice and, in the full layout, one line about AI advice
// (the decision beside a high-CPU state, or that automatic advice is on its way or unavailable). The
// compact layout is a title row ending in a chevron and the next step. Follows the automatic-advice
// queue by itself; performs no action.
class ProcessAdviceView final : public QWidget {
    Q_OBJECT
public:
    ProcessAdviceView(AutomaticProcessAdvice& advice, bool compact, QWidget* parent = nullptr);

    void setContent(const ProcessSample& sample, const LocalProcessAdvice& localAdvice,
                    const std::optional<ProcessDecisionAdvice>& manualAdvice);

    LVText* titleText() const { return m_title; }

private:
    void applyAILine();

    AutomaticProcessAdvice& m_advice;
    bool m_compact;
    ProcessSample m_sample;
    LocalProcessAdvice m_local;
    std::optional<ProcessDecisionAdvice> m_manual;
    LVText* m_title = nullptr;
    LVText* m_explanation = nullptr;
    LVText* m_nextStep = nullptr;
    QWidget* m_aiLabel = nullptr;
    LVText* m_aiText = nullptr;
};

} // namespace lunorvale
