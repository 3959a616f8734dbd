#pragma once

#include "ui/window/PlaceholderParts.h"

namespace lunorvale {

// What the program keeps and what it sends.
class PrivacyView final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    explicit PrivacyView(QWidget* parent = nullptr);
};

} // namespace lunorvale
