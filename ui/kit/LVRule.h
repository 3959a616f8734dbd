#pragma once

#include <QWidget>

namespace lunorvale {

// A hairline or short divider in the palette's line colour: fixed to `size`, or (an empty size) one
// pixel high across the width it is given.
class LVRule final : public QWidget {
    Q_OBJECT
public:
    explicit LVRule(QSize size = {}, qreal opacity = 1.0, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_opacity;
};

} // namespace lunorvale
