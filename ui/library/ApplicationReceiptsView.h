#pragma once

#include "ui/window/PlaceholderParts.h"
#include <functional>

namespace lunorvale {

class ApplicationLibraryModel;

// The receipts of earlier removals.
class ApplicationReceiptsView final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    ApplicationReceiptsView(ApplicationLibraryModel& library, std::function<void()> close,
                            QWidget* parent = nullptr);
};

} // namespace lunorvale
