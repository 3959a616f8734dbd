#pragma once

#include "ui/window/ResourceDashboardLogic.h"

#include <QHash>
#include <QWidget>

class QChart;
class QChartView;
class QCategoryAxis;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QStackedWidget;
class QValueAxis;

namespace lunorvale {

class LVText;

// One chart card of the resources page: the machine's CPU, or compressed memory and swap in GiB, over
// the page's time window. A line per run of continuous points (never joined across a break), a dot
// per value; a placeholder of the same height while there is nothing to draw.
//
// The dots are the lines' own point markers rather than scatter series: a scatter series is a graphics
// item per point, and a full hour of three figures made one sample cost 3.6 ms more.
class ResourceChartCard final : public QWidget {
    Q_OBJECT
public:
    enum class Kind { cpu, memory };

    explicit ResourceChartCard(Kind kind, QWidget* parent = nullptr);

    // `headerValue`: the CPU card's current figure (ignored by the memory card).
    void setData(const QList<ResourceHistoryPoint>& points, const ResourceDashboardLogic::DateRange& range,
                 int minutes, const QString& headerValue);

    QChartView* chartView() const { return m_view; }
    QChart* chart() const { return m_chart; }
    bool showsPlaceholder() const;
    // The line series of a figure, by series key ("3", "压缩-3", "交换-3").
    QList<QLineSeries*> lines() const;
    // The time axis: marks at round minutes of the shared range.
    QCategoryAxis* timeAxis() const { return m_time; }
    // The marks' hour and minute, in the axis's order. The card draws them itself: the axis would centre
    // one near either end of the plot on its mark, half of it out and cut.
    const QList<QGraphicsSimpleTextItem*>& timeLabels() const { return m_timeLabels; }

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Figure {
        AdaptiveColor color;
        QHash<QString, QLineSeries*> lines;
    };
    void show(Figure& figure, const ResourceDashboardLogic::ChartSeries& series);
    void applyAppearance();
    void setTimeRange(const ResourceDashboardLogic::DateRange& range);
    void placeTimeLabels();
    void styleTimeLabel(QGraphicsSimpleTextItem* label);
    void style(QLineSeries* line, const AdaptiveColor& color);

    Kind m_kind;
    LVText* m_header = nullptr;
    QStackedWidget* m_stack;
    QChartView* m_view;
    QChart* m_chart;
    LVText* m_placeholder;
    QCategoryAxis* m_time;
    QList<QGraphicsSimpleTextItem*> m_timeLabels;
    QValueAxis* m_values;
    Figure m_first;  // CPU, or compressed memory
    Figure m_second; // swap (memory card only)
    // What is drawn, to skip a redraw of the same points.
    QList<ResourceHistoryPoint> m_points;
    ResourceDashboardLogic::DateRange m_range;
};

} // namespace lunorvale
