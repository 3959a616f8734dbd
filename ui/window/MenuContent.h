#pragma once

#include "ui/window/PlaceholderParts.h"
#include "ui/window/ScreenFactory.h"

namespace lunorvale {

// The tray popover's content: the state at a glance and the ways into the program. Built anew at
// each opening.
class MenuContent final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    MenuContent(AppModel& model, const MenuActions& actions, QWidget* parent = nullptr);
};

} // namespace lunorvale
