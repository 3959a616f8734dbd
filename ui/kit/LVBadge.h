#pragma once

#include "ui/kit/Palette.h"

#include <QWidget>

namespace lunorvale {

// A short status label: a 6 px dot and the title, both in the badge's colour. No background or
// padding of its own.
class LVBadge final : public QWidget {
    Q_OBJECT
public:
    LVBadge(const QString& title, AdaptiveColor color, QWidget* parent = nullptr);

    const QString& title() const { return m_title; }
    void setTitle(const QString& title);
    void setColor(AdaptiveColor color);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    AdaptiveColor m_color;
};

} // namespace lunorvale
