#pragma once

#include "ui/kit/Palette.h"

#include <QWidget>

namespace lunorvale {

// A rounded patch of one palette colour behind its content, without an outline: callers lay out and
// pad the content themselves.
class LVFill final : public QWidget {
    Q_OBJECT
public:
    LVFill(AdaptiveColor color, qreal radius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AdaptiveColor m_color;
    qreal m_radius;
};

} // namespace lunorvale
