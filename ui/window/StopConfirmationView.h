#pragma once

#include "ui/window/PlaceholderParts.h"
#include "ui/window/ScreenFactory.h"

namespace lunorvale {

// Asks before a process is stopped, normally or by force.
class StopConfirmationView final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    StopConfirmationView(AppModel& model, const StopRequest& request, std::function<void()> onCancel,
                         std::function<void()> onConfirm, QWidget* parent = nullptr);
};

} // namespace lunorvale
