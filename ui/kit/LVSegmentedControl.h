#pragma once

#include <QStringList>
#include <QWidget>

namespace lunorvale {

// A row of mutually exclusive segments, one always chosen: the design's segmented picker. A click or
// the arrow keys choose; callers give it its width and accessible name.
class LVSegmentedControl final : public QWidget {
    Q_OBJECT
public:
    explicit LVSegmentedControl(const QStringList& titles, QWidget* parent = nullptr);

    int currentIndex() const { return m_current; }
    // Out-of-range indices are ignored; a change is announced.
    void setCurrentIndex(int index);
    const QStringList& titles() const { return m_titles; }
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentIndexChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStringList m_titles;
    int m_current = 0;
};

} // namespace lunorvale
