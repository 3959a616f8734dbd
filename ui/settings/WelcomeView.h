#pragma once

#include "ui/window/PlaceholderParts.h"
#include <functional>

namespace lunorvale {

class AppModel;

// The first-run sheet.
class WelcomeView final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    WelcomeView(AppModel& model, std::function<void()> onComplete, QWidget* parent = nullptr);
};

} // namespace lunorvale
