#pragma once

#include "ui/kit/LVButton.h"

#include <QVBoxLayout>
#include <QWidget>

namespace lunorvale {

// The outer card of a settings panel: `panel` holds it, and its content is stacked in the returned
// column, padded 26 on every side, `spacing` apart.
QVBoxLayout* panelCard(QWidget* panel, int spacing);

// A kit button whose text is also its accessible name.
LVButton* settingsButton(LVButtonKind kind, const QString& text, QWidget* parent);

} // namespace lunorvale
