#pragma once

#include "core/monitoring/ApplicationResourceGroup.h"
#include "core/monitoring/MemoryObservation.h"
#include "core/monitoring/ResourceHistory.h"
#include "ui/kit/Palette.h"

#include <QCollatorSortKey>
#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace lunorvale {

// What the resources page shows, derived from the model and the page's own state.
namespace ResourceDashboardLogic {

// The charts place, order and choose their points by the monotonic time each carries; the wall clock only
// names the times. A wall clock set back or forward (by hand, or by a time server) then neither empties
// the window nor crowds its points, and the time axis reads the newest point's wall clock: a point lies
// where its monotonic distance from the newest puts it.

// The history points of the last `minutes`, measured on the monotonic clock back from the newest point
// (the latest monotonic time), in monotonic order; a point without a monotonic time is left out.
QList<ResourceHistoryPoint> windowPoints(const QList<ResourceHistoryPoint>& points, int minutes);

// Where `point` lies on the time axis, in milliseconds since 1970: the wall-clock time of `newest`
// moved by the monotonic distance between the two. Not finite for a point without a monotonic time.
double chartTime(const ResourceHistoryPoint& point, const ResourceHistoryPoint& newest);

// The time span both charts share, on the axis chartTime places points on: from the earliest point (at
// most `minutes` back) to the newest, at least one second long; the minute before `now` when there are
// no points.
struct DateRange {
    QDateTime start;
    QDateTime end;
    friend bool operator==(const DateRange&, const DateRange&) = default;
};
DateRange chartRange(const QList<ResourceHistoryPoint>& points, int minutes, const QDateTime& now);

// A mark of the shared time axis, labelled with its hour and minute.
struct TimeMark {
    QDateTime at;
    QString label;
    friend bool operator==(const TimeMark&, const TimeMark&) = default;
};
// The marks over `range`: whole minutes of local time at a round step (1, 2, 5, 10, 15, 30 or 60 minutes)
// whose marks inside the range number closest to `desired`, never two with the same label. A range of two
// minutes or more always gets at least two marks; of two steps equally near `desired`, the longer one.
// None when the range holds no whole minute.
QList<TimeMark> timeMarks(const DateRange& range, int desired = 3);

// The page offers CPU and memory; by name alone is the order of equal figures.
enum class GroupSort { cpu, memory, name };

// The groups of one sample, made ready for ordering and searching many times. Search texts are folded
// on the first search of a sample.
class GroupIndex final {
public:
    // `inNameOrder`: the groups come as the grouper orders them (by its name collator, then by id), as
    // the model publishes them, so a group's place is its name rank and no name is compared again.
    // Otherwise the ranks are worked out here.
    explicit GroupIndex(const QList<ApplicationResourceGroup>& groups = {}, bool inNameOrder = false);

    qsizetype size() const { return static_cast<qsizetype>(m_entries.size()); }

    // Strict weak order: the figure of `sort` (more first; a group without a complete CPU figure after
    // every group with one), then the name by the grouper's collator, then, for names it ranks equal,
    // the id by code points.
    bool before(qsizetype a, qsizetype b, GroupSort sort) const;
    // The name, a member's name (letter case ignored) or a member's pid in decimal contains `search`;
    // everything matches an empty search.
    bool matches(qsizetype index, const QString& search) const;
    // The indices of the groups that match, in order.
    QList<qsizetype> select(const QString& search, GroupSort sort) const;

private:
    struct Entry {
        double cpu = -1; // -1: no complete figure
        bool hasCPU = false;
        uint64_t resident = 0;
        qsizetype rank = 0; // by name, then id
    };
    struct SearchText {
        QString name;
        QStringList members;
        QStringList pids;
    };
    const std::vector<SearchText>& searchTexts() const;
    static bool contains(const SearchText& text, const QString& folded, const QString& search);

    QList<ApplicationResourceGroup> m_groups;
    std::vector<Entry> m_entries;
    mutable std::vector<SearchText> m_search; // empty until the first search
};

// Members by CPU, highest first, members without a figure last; equal figures keep the group's order.
QList<ProcessSample> memberOrder(const QList<ProcessSample>& members);

// The first group (model order) with more than one member; the preview opens it.
std::optional<QString> firstGroupWithSeveralMembers(const QList<ApplicationResourceGroup>& groups);

// Charts. x is chartTime (the newest point's own x is its wall-clock time), y percent or GiB.
struct ChartLine {
    QString key; // the series: the segment number, or "压缩-"/"交换-" and the segment number
    QList<QPointF> points;
    friend bool operator==(const ChartLine&, const ChartLine&) = default;
};
// One line per run of continuous points; a dot for every value.
struct ChartSeries {
    QList<ChartLine> lines;
    QList<QPointF> dots;
    friend bool operator==(const ChartSeries&, const ChartSeries&) = default;
};
enum class MemoryFigure { compressed, swap };
ChartSeries cpuSeries(const QList<ResourceHistoryPoint>& points);
ChartSeries memorySeries(const QList<ResourceHistoryPoint>& points, MemoryFigure figure);
double gibibytes(uint64_t bytes);
// The largest plotted value of the memory chart; 1 when every value is 0 or there is none.
double memoryAxisTop(const ChartSeries& compressed, const ChartSeries& swap);

// Texts of the page.
std::optional<QString> collectionNotice(const std::optional<QString>& collectionError, bool isMonitoring);
struct PressureBadge {
    QString title;
    AdaptiveColor color;
    QString sentence;
};
PressureBadge memoryPressure(const std::optional<SystemMemorySnapshot>& memory);
QString metricValue(const std::optional<uint64_t>& bytes);
QString applicationFindingTitle(const ApplicationCPUFinding& finding);
QString applicationFindingDetail(const ApplicationCPUFinding& finding);
QString chartAccessibleName(bool cpu, int minutes);

// The application list.
QString summary(qsizetype processCount, qsizetype groupCount, qint64 skippedProcessCount);
QString emptyListText(bool hasGroups);
QString groupSubtitle(const ApplicationResourceGroup& group);
QString groupCPU(const ApplicationResourceGroup& group);

} // namespace ResourceDashboardLogic
} // namespace lunorvale
