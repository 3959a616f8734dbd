#include "ui/window/ResourceCharts.h"

#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVText.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtMath>
#include <algorithm>

namespace lunorvale {

namespace {

constexpr int chartHeight = 135;
constexpr qreal dotSize = 3;
// From the plot's bottom edge to the top of the time labels: the length of the axis's ticks.
constexpr qreal timeLabelDrop = 4;

QColor colorIn(const AdaptiveColor& color, const QWidget* widget) {
    return color.in(widget);
}

} // namespace

ResourceChartCard::ResourceChartCard(Kind kind, QWidget* parent) : QWidget(parent), m_kind(kind) {
    m_first.color = Palette::accent;
    m_second.color = Palette::amber;
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    outer->addWidget(card(content));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    if (kind == Kind::cpu) {
        header->addWidget(new LVText(QStringLiteral("整机 CPU"), Fonts::system(13, FontWeight::semibold),
                                     Palette::ink, content));
        header->addStretch(1);
        m_header = new LVText({}, Fonts::monospacedDigits(13), Palette::accent, content);
        m_header->setMaximumLines(1);
        header->addWidget(m_header);
    } else {
        header->addWidget(new LVText(QStringLiteral("内存变化 · GiB"),
                                     Fonts::system(13, FontWeight::semibold), Palette::ink, content));
        header->addStretch(1);
        header->addWidget(new LVText(QStringLiteral("压缩"), Fonts::system(11), Palette::accent, content));
        header->addWidget(new LVText(QStringLiteral("交换"), Fonts::system(11), Palette::amber, content));
    }
    column->addLayout(header);

    m_stack = new QStackedWidget(content);
    m_stack->setFixedHeight(chartHeight);
    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setBackgroundVisible(false);
    m_chart->setPlotAreaBackgroundVisible(false);
    m_chart->setMargins(QMargins(0, 0, 0, 0));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setBackgroundRoundness(0);
    m_chart->setLocale(QLocale(QLocale::Chinese, QLocale::China));
    m_time = new QCategoryAxis(m_chart);
    m_time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    // The card draws the time labels itself, in the room the chart leaves below the plot.
    m_time->setLabelsVisible(false);
    connect(m_chart, &QChart::plotAreaChanged, this, &ResourceChartCard::placeTimeLabels);
    m_values = new QValueAxis(m_chart);
    m_values->setLabelFormat(kind == Kind::cpu ? QStringLiteral("%.0f") : QStringLiteral("%.1f"));
    if (kind == Kind::cpu) {
        m_values->setRange(0, 100);
        m_values->setTickCount(3);
    }
    m_chart->addAxis(m_time, Qt::AlignBottom);
    m_chart->addAxis(m_values, Qt::AlignLeft);
    m_view = new QChartView(m_chart, m_stack);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setStyleSheet(QStringLiteral("background: transparent"));
    m_view->setAccessibleName(ResourceDashboardLogic::chartAccessibleName(kind == Kind::cpu, 15));
    // Tab stops at the chart to say what it shows; its axis labels reach its edges.
    FocusRing::surround(*m_view, 3, 8);
    m_placeholder = new LVText({}, Fonts::system(12), Palette::muted, m_stack);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setText(kind == Kind::cpu ? QStringLiteral("两次有效采样后显示 CPU 曲线")
                                             : QStringLiteral("完成有效采样后显示内存曲线"));
    m_stack->addWidget(m_view);
    m_stack->addWidget(m_placeholder);
    column->addWidget(m_stack);

    column->addWidget(new LVText(kind == Kind::cpu
                                     ? QStringLiteral("整机为 0–100%；暂停和采样断档处不连线。")
                                     : QStringLiteral("结合系统压力查看；曲线上涨不能直接证明内存泄漏。"),
                                 Fonts::system(10), Palette::muted, content));
    applyAppearance();
}

bool ResourceChartCard::showsPlaceholder() const {
    return m_stack->currentWidget() == m_placeholder;
}

QList<QLineSeries*> ResourceChartCard::lines() const {
    QList<QLineSeries*> all = m_first.lines.values();
    all += m_second.lines.values();
    return all;
}

void ResourceChartCard::setData(const QList<ResourceHistoryPoint>& points,
                                const ResourceDashboardLogic::DateRange& range, int minutes,
                                const QString& headerValue) {
    using namespace ResourceDashboardLogic;
    if (m_header)
        m_header->setText(headerValue);
    m_view->setAccessibleName(chartAccessibleName(m_kind == Kind::cpu, minutes));
    if (points == m_points && range == m_range && !m_points.isEmpty())
        return;
    m_points = points;
    m_range = range;
    bool empty = true;
    if (m_kind == Kind::cpu) {
        const ChartSeries cpu = cpuSeries(points);
        empty = cpu.dots.isEmpty();
        show(m_first, cpu);
    } else {
        const ChartSeries compressed = memorySeries(points, MemoryFigure::compressed);
        const ChartSeries swap = memorySeries(points, MemoryFigure::swap);
        empty = compressed.dots.isEmpty() && swap.dots.isEmpty();
        show(m_first, compressed);
        show(m_second, swap);
        m_values->setTickCount(3);
        m_values->setRange(0, memoryAxisTop(compressed, swap));
        m_values->applyNiceNumbers();
    }
    setTimeRange(range);
    m_stack->setCurrentWidget(empty ? static_cast<QWidget*>(m_placeholder) : m_view);
}

void ResourceChartCard::setTimeRange(const ResourceDashboardLogic::DateRange& range) {
    // x is the series' chartTime: the newest point's wall clock, so marks of that clock fall on it.
    const qreal start = static_cast<qreal>(range.start.toMSecsSinceEpoch());
    m_time->setRange(start, static_cast<qreal>(range.end.toMSecsSinceEpoch()));
    const QList<ResourceDashboardLogic::TimeMark> marks = ResourceDashboardLogic::timeMarks(range);
    QStringList labels;
    for (const ResourceDashboardLogic::TimeMark& mark : marks)
        labels.append(mark.label);
    const bool changed = labels != m_time->categoriesLabels();
    if (changed) {
        for (const QString& label : m_time->categoriesLabels())
            m_time->remove(label);
    }
    m_time->setStartValue(start);
    if (changed) {
        for (const ResourceDashboardLogic::TimeMark& mark : marks)
            m_time->append(mark.label, static_cast<qreal>(mark.at.toMSecsSinceEpoch()));
        while (m_timeLabels.size() > labels.size())
            delete m_timeLabels.takeLast();
        while (m_timeLabels.size() < labels.size()) {
            m_timeLabels.append(new QGraphicsSimpleTextItem(m_chart));
            styleTimeLabel(m_timeLabels.last());
        }
        for (qsizetype i = 0; i < labels.size(); ++i)
            m_timeLabels[i]->setText(labels[i]);
    }
    placeTimeLabels();
}

void ResourceChartCard::placeTimeLabels() {
    const QRectF plot = m_chart->plotArea();
    const qreal span = m_time->max() - m_time->min();
    if (plot.isEmpty() || !(span > 0))
        return;
    // Centred on its mark, or moved in to end at the plot's edge. There are at most five marks to a plot
    // several hundred pixels wide even in the smallest window, so labels a few dozen wide never meet.
    for (QGraphicsSimpleTextItem* label : std::as_const(m_timeLabels)) {
        const qreal width = label->boundingRect().width();
        const qreal at =
            plot.left() + (m_time->endValue(label->text()) - m_time->min()) / span * plot.width();
        label->setPos(std::clamp(at - width / 2, plot.left(), std::max(plot.left(), plot.right() - width)),
                      plot.bottom() + timeLabelDrop);
    }
}

void ResourceChartCard::show(Figure& figure, const ResourceDashboardLogic::ChartSeries& series) {
    // Lines are kept by series key, so a new sample only moves points.
    QHash<QString, QLineSeries*> kept;
    for (const ResourceDashboardLogic::ChartLine& line : series.lines) {
        QLineSeries* shown = figure.lines.take(line.key);
        if (!shown) {
            shown = new QLineSeries(m_chart);
            m_chart->addSeries(shown);
            shown->attachAxis(m_time);
            shown->attachAxis(m_values);
            style(shown, figure.color);
        }
        if (shown->points() != line.points)
            shown->replace(line.points);
        kept.insert(line.key, shown);
    }
    for (QLineSeries* gone : std::as_const(figure.lines)) {
        m_chart->removeSeries(gone);
        delete gone;
    }
    figure.lines = kept;
}

void ResourceChartCard::style(QLineSeries* line, const AdaptiveColor& color) {
    const QColor colour = colorIn(color, this);
    QPen pen(colour);
    pen.setWidthF(1.6);
    line->setPen(pen);
    line->setPointsVisible(true);
    line->setMarkerSize(dotSize);
    line->setBrush(colour);
}

void ResourceChartCard::applyAppearance() {
    // A theme restyles every series and axis, so the palette's colours go on afterwards.
    const bool dark = Palette::appearanceOf(this) == Appearance::dark;
    m_chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    m_chart->legend()->hide();
    m_chart->setBackgroundVisible(false);
    m_chart->setPlotAreaBackgroundVisible(false);
    for (Figure* figure : {&m_first, &m_second}) {
        for (QLineSeries* line : std::as_const(figure->lines))
            style(line, figure->color);
    }
    const QFont labels = Fonts::system(9);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(m_time), static_cast<QAbstractAxis*>(m_values)}) {
        axis->setLabelsFont(labels);
        axis->setLabelsColor(colorIn(Palette::muted, this));
        axis->setGridLineColor(colorIn(Palette::line, this));
        axis->setLinePenColor(colorIn(Palette::line, this));
        axis->setShadesVisible(false);
    }
    for (QGraphicsSimpleTextItem* label : std::as_const(m_timeLabels))
        styleTimeLabel(label);
    // Below the plot, room for a line of time labels.
    m_chart->setMargins(QMargins(0, 0, 0, qCeil(QFontMetricsF(labels).height() + timeLabelDrop)));
    placeTimeLabels();
}

void ResourceChartCard::styleTimeLabel(QGraphicsSimpleTextItem* label) {
    label->setFont(Fonts::system(9));
    label->setBrush(colorIn(Palette::muted, this));
}

void ResourceChartCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        applyAppearance();
    QWidget::changeEvent(event);
}

} // namespace lunorvale
