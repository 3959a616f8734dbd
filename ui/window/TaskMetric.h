#pragma once

#include <QWidget>

namespace lunorvale {

class LVText;

// One figure with its caption: the caption small and muted, the figure large on one line, shrinking
// to three quarters of its size before it is cut; an accent figure is larger and amber.
class TaskMetric final : public QWidget {
    Q_OBJECT
public:
    TaskMetric(const QString& title, const QString& value, bool accent, QWidget* parent = nullptr);

    void setValue(const QString& value);

private:
    LVText* m_value;
};

} // namespace lunorvale
