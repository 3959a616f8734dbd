#pragma once

#include "ui/window/PlaceholderParts.h"
#include <functional>

#include "core/monitoring/ProcessSample.h"

namespace lunorvale {

class AppModel;

// Asks before one process's summary is sent to the AI service.
class AnalysisConsentView final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    AnalysisConsentView(AppModel& model, const ProcessSample& sample, std::function<void()> onDismiss,
                        QWidget* parent = nullptr);
};

} // namespace lunorvale
