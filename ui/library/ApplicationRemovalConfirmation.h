#pragma once

#include "core/applications/InstalledApplication.h"
#include "ui/window/PlaceholderParts.h"

#include <functional>

namespace lunorvale {

// Asks before one application is moved to the Trash.
class ApplicationRemovalConfirmation final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    ApplicationRemovalConfirmation(const InstalledApplication& application, std::function<void()> onCancel,
                                   std::function<void()> onConfirm, QWidget* parent = nullptr);
};

} // namespace lunorvale
