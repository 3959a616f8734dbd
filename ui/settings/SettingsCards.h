#pragma once

#include "ui/kit/LVButton.h"

#include <QSize>
#include <QVBoxLayout>
#include <QWidget>

class QScrollArea;

namespace lunorvale {

// The outer card of a settings panel: `panel` holds it, and its content is stacked in the returned
// column, padded 26 on every side, `spacing` apart.
QVBoxLayout* panelCard(QWidget* panel, int spacing);

// A vertical scroll area around `content` for a page or a sheet's body: no frame, no focus of its own,
// no horizontal bar, and a viewport that leaves the window behind it showing.
QScrollArea* scrollingBody(QWidget* content, QWidget* parent);

// Makes `sheet` a fixed-size sheet on the window colour; its parts are stacked edge to edge in the
// returned column.
QVBoxLayout* sheetColumn(QWidget* sheet, QSize size);

// A panel's closing note: muted text, wrapped, in a lunor card padded 16.
QWidget* noteCard(const QString& text);

// A kit button whose text is also its accessible name.
LVButton* settingsButton(LVButtonKind kind, const QString& text, QWidget* parent);

} // namespace lunorvale
