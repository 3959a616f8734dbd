#pragma once

#include "core/monitoring/ProcessSample.h"
#include "ui/window/SheetContent.h"
#include "ui/window/SheetLogic.h"

#include <functional>

namespace lunorvale {

class AppModel;
class LVButton;
class LVSelectableText;

// Asks before one process's diagnostic summary goes to the AI service. The summary and the service are
// taken once, when the sheet is made: later samples or settings change nothing shown, and confirming
// sends exactly what is shown, to the service shown.
class AnalysisConsentView final : public SheetContent {
    Q_OBJECT
public:
    AnalysisConsentView(AppModel& model, const ProcessSample& sample, std::function<void()> onDismiss,
                        QWidget* parent = nullptr);

    const AnalysisConsent::Snapshot& snapshot() const { return m_snapshot; }
    LVButton* cancelButton() const { return m_cancel; }
    LVButton* confirmButton() const { return m_confirm; }
    LVSelectableText* addressText() const { return m_address; }
    LVSelectableText* summaryText() const { return m_summary; }

private:
    void refresh();
    void confirm();

    AppModel& m_model;
    ProcessSample m_sample;
    AnalysisConsent::Snapshot m_snapshot;
    std::function<void()> m_onDismiss;
    LVSelectableText* m_address;
    LVSelectableText* m_summary;
    LVButton* m_cancel;
    LVButton* m_confirm;
};

} // namespace lunorvale
