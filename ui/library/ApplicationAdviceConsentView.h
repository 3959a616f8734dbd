#pragma once

#include "ui/window/PlaceholderParts.h"
#include "ui/window/ScreenFactory.h"

namespace lunorvale {

// Asks before the checked applications are sent for advice; in preview its actions do nothing.
class ApplicationAdviceConsentView final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    ApplicationAdviceConsentView(const ApplicationAdviceConsent& consent, bool preview,
                                 std::function<void()> onCancel, std::function<void()> onConfirm,
                                 QWidget* parent = nullptr);
};

} // namespace lunorvale
