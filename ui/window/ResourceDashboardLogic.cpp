#include "ui/window/ResourceDashboardLogic.h"

#include "core/common/SafeText.h"
#include "core/monitoring/DisplayFormat.h"
#include "core/monitoring/ProcessResourceGrouper.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <utility>

namespace lunorvale::ResourceDashboardLogic {

namespace {

// The point with the latest monotonic time (the last of equals), if any has one.
const ResourceHistoryPoint* newestOf(const QList<ResourceHistoryPoint>& points) {
    const ResourceHistoryPoint* newest = nullptr;
    for (const ResourceHistoryPoint& point : points) {
        if (std::isfinite(point.monotonicTime) && (!newest || !(point.monotonicTime < newest->monotonicTime)))
            newest = &point;
    }
    return newest;
}

} // namespace

QList<ResourceHistoryPoint> windowPoints(const QList<ResourceHistoryPoint>& points, int minutes) {
    QList<ResourceHistoryPoint> window;
    const ResourceHistoryPoint* newest = newestOf(points);
    if (!newest)
        return window;
    const double latest = newest->monotonicTime;
    const double span = minutes * 60.0;
    for (const ResourceHistoryPoint& point : points) {
        // Written so that a time that is not a number fails both tests.
        if (latest - point.monotonicTime <= span && point.monotonicTime <= latest)
            window.append(point);
    }
    // The history records in this order; the wall-clock times may run in any.
    std::stable_sort(window.begin(), window.end(),
                     [](const ResourceHistoryPoint& a, const ResourceHistoryPoint& b) {
                         return a.monotonicTime < b.monotonicTime;
                     });
    return window;
}

double chartTime(const ResourceHistoryPoint& point, const ResourceHistoryPoint& newest) {
    return static_cast<double>(newest.timestamp.toMSecsSinceEpoch()) +
           (point.monotonicTime - newest.monotonicTime) * 1000;
}

DateRange chartRange(const QList<ResourceHistoryPoint>& points, int minutes, const QDateTime& now) {
    const ResourceHistoryPoint* newest = newestOf(points);
    const QDateTime end = newest ? newest->timestamp : now;
    QDateTime earliest = end.addSecs(-60);
    if (newest) {
        double first = newest->monotonicTime;
        for (const ResourceHistoryPoint& point : points) {
            if (std::isfinite(point.monotonicTime))
                first = std::min(first, point.monotonicTime);
        }
        // Never further back than the window, and rounded outwards, so the earliest point lies inside.
        const double back = std::min(newest->monotonicTime - first, minutes * 60.0);
        earliest = end.addMSecs(-std::llround(std::ceil(back * 1000)));
    }
    QDateTime start = std::max(end.addSecs(-minutes * 60), earliest);
    start = std::min(start, end.addSecs(-1));
    return {start, end};
}

QList<TimeMark> timeMarks(const DateRange& range, int desired) {
    QList<TimeMark> marks;
    if (!range.start.isValid() || !range.end.isValid() || range.end <= range.start || desired < 1)
        return marks;
    constexpr qint64 minute = 60'000;
    // Counted on the local clock, so that marks fall on its round minutes and hours.
    const QDateTime local = range.start.toLocalTime();
    const qint64 offset = qint64(local.offsetFromUtc()) * 1000;
    const qint64 wall = local.toMSecsSinceEpoch() + offset;
    const qint64 end = range.end.toMSecsSinceEpoch();
    const auto firstAt = [&](qint64 step) {
        return (wall / step + (wall % step > 0 ? 1 : 0)) * step - offset;
    };
    const auto count = [&](qint64 step) {
        const qint64 first = firstAt(step);
        return first > end ? qint64(0) : (end - first) / step + 1;
    };
    // A step is judged by the marks it really puts inside the range, not by the span alone: 3 min 44 s
    // hold two steps of two minutes but may hold only one of their marks. A step with fewer than two
    // marks loses to any with two; of two equally near `desired`, the longer step (fewer labels) wins.
    qint64 step = 0;
    qint64 bestCount = 0;
    for (const qint64 minutes : {1, 2, 5, 10, 15, 30, 60}) {
        const qint64 candidate = minutes * minute;
        const qint64 n = count(candidate);
        const auto rank = [desired](qint64 c) {
            return std::pair(c < 2, std::abs(c - desired));
        };
        if (step == 0 || !(rank(bestCount) < rank(n))) {
            step = candidate;
            bestCount = n;
        }
    }
    for (qint64 at = firstAt(step); at <= end; at += step) {
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(at).toLocalTime();
        marks.append({when, when.toString(QStringLiteral("HH:mm"))});
    }
    return marks;
}

GroupIndex::GroupIndex(const QList<ApplicationResourceGroup>& groups, bool inNameOrder) : m_groups(groups) {
    m_entries.reserve(groups.size());
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const std::optional<double> cpu = groups[i].cpuPercent();
        m_entries.push_back({cpu.value_or(-1), cpu.has_value(), groups[i].residentBytes(), i});
    }
    if (inNameOrder || groups.isEmpty())
        return;
    // Names the collator ranks equal ("foo", "Foo") are ranked by id, whether or not the texts are the
    // same, so that the order stays a strict weak one.
    const QCollator collator = ProcessResourceGrouper::nameCollator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(groups.size());
    for (const ApplicationResourceGroup& group : groups)
        keys.push_back(collator.sortKey(group.name));
    std::vector<qsizetype> byName(groups.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(), [&](qsizetype a, qsizetype b) {
        const int names = keys[a].compare(keys[b]);
        return names != 0 ? names < 0 : groups[a].id < groups[b].id;
    });
    for (qsizetype rank = 0; rank < static_cast<qsizetype>(byName.size()); ++rank)
        m_entries[byName[rank]].rank = rank;
}

const std::vector<GroupIndex::SearchText>& GroupIndex::searchTexts() const {
    if (m_search.empty() && !m_entries.empty()) {
        m_search.reserve(m_entries.size());
        for (const ApplicationResourceGroup& group : m_groups) {
            SearchText text{group.name.toCaseFolded(), {}, {}};
            text.members.reserve(group.members.size());
            text.pids.reserve(group.members.size());
            for (const ProcessSample& member : group.members) {
                text.members.append(member.name.toCaseFolded());
                text.pids.append(QString::number(member.identity.pid));
            }
            m_search.push_back(std::move(text));
        }
    }
    return m_search;
}

bool GroupIndex::before(qsizetype ia, qsizetype ib, GroupSort sort) const {
    const Entry& a = m_entries[ia];
    const Entry& b = m_entries[ib];
    if (sort == GroupSort::memory && a.resident != b.resident)
        return a.resident > b.resident;
    // A missing figure differs from any present one and counts as -1.
    if (sort == GroupSort::cpu && (a.hasCPU != b.hasCPU || a.cpu != b.cpu))
        return a.cpu > b.cpu;
    return a.rank < b.rank;
}

bool GroupIndex::contains(const SearchText& text, const QString& folded, const QString& search) {
    if (text.name.contains(folded))
        return true;
    for (const QString& member : text.members) {
        if (member.contains(folded))
            return true;
    }
    for (const QString& pid : text.pids) {
        if (pid.contains(search))
            return true;
    }
    return false;
}

bool GroupIndex::matches(qsizetype index, const QString& search) const {
    return search.isEmpty() || contains(searchTexts()[index], search.toCaseFolded(), search);
}

QList<qsizetype> GroupIndex::select(const QString& search, GroupSort sort) const {
    QList<qsizetype> selected;
    selected.reserve(size());
    if (search.isEmpty()) {
        for (qsizetype i = 0; i < size(); ++i)
            selected.append(i);
    } else {
        const QString folded = search.toCaseFolded();
        const std::vector<SearchText>& texts = searchTexts();
        for (qsizetype i = 0; i < size(); ++i) {
            if (contains(texts[i], folded, search))
                selected.append(i);
        }
    }
    std::sort(selected.begin(), selected.end(),
              [this, sort](qsizetype a, qsizetype b) { return before(a, b, sort); });
    return selected;
}

QList<ProcessSample> memberOrder(const QList<ProcessSample>& members) {
    QList<ProcessSample> ordered = members;
    std::stable_sort(ordered.begin(), ordered.end(), [](const ProcessSample& a, const ProcessSample& b) {
        return a.cpuPercent.value_or(-1) > b.cpuPercent.value_or(-1);
    });
    return ordered;
}

std::optional<QString> firstGroupWithSeveralMembers(const QList<ApplicationResourceGroup>& groups) {
    for (const ApplicationResourceGroup& group : groups) {
        if (group.members.size() > 1)
            return group.id;
    }
    return std::nullopt;
}

namespace {

// Adds a value to the line of its series, starting a new line when the series changes.
void append(ChartSeries& series, const QString& key, const QPointF& value) {
    if (series.lines.isEmpty() || series.lines.last().key != key)
        series.lines.append({key, {}});
    series.lines.last().points.append(value);
    series.dots.append(value);
}

// Calls `add` with every point that has a place on the time axis, and that place.
template <typename Add> void eachPlaced(const QList<ResourceHistoryPoint>& points, const Add& add) {
    const ResourceHistoryPoint* newest = newestOf(points);
    if (!newest)
        return;
    for (const ResourceHistoryPoint& point : points) {
        const double x = chartTime(point, *newest);
        if (std::isfinite(x))
            add(point, x);
    }
}

} // namespace

ChartSeries cpuSeries(const QList<ResourceHistoryPoint>& points) {
    ChartSeries series;
    eachPlaced(points, [&](const ResourceHistoryPoint& point, double x) {
        if (point.systemCPU)
            append(series, QString::number(point.segmentID), {x, *point.systemCPU});
    });
    return series;
}

ChartSeries memorySeries(const QList<ResourceHistoryPoint>& points, MemoryFigure figure) {
    ChartSeries series;
    const QString prefix =
        figure == MemoryFigure::compressed ? QStringLiteral("压缩-") : QStringLiteral("交换-");
    eachPlaced(points, [&](const ResourceHistoryPoint& point, double x) {
        if (!point.systemMemory)
            return;
        const std::optional<uint64_t>& bytes = figure == MemoryFigure::compressed
                                                   ? point.systemMemory->compressedBytes
                                                   : point.systemMemory->swapUsedBytes;
        if (bytes)
            append(series, prefix + QString::number(point.segmentID), {x, gibibytes(*bytes)});
    });
    return series;
}

double gibibytes(uint64_t bytes) {
    return std::ldexp(static_cast<double>(bytes), -30);
}

double memoryAxisTop(const ChartSeries& compressed, const ChartSeries& swap) {
    double top = 0;
    for (const ChartSeries* series : {&compressed, &swap}) {
        for (const QPointF& dot : series->dots)
            top = std::max(top, dot.y());
    }
    return top > 0 ? top : 1;
}

std::optional<QString> collectionNotice(const std::optional<QString>& collectionError, bool isMonitoring) {
    if (collectionError)
        return QStringLiteral("本次读取失败，曲线保留到上次有效采样。");
    if (!isMonitoring)
        return QStringLiteral("观察已暂停，曲线保留到上次采样。");
    return std::nullopt;
}

PressureBadge memoryPressure(const std::optional<SystemMemorySnapshot>& memory) {
    const SystemMemoryPressure pressure = memory ? memory->pressure : SystemMemoryPressure::unknown;
    PressureBadge badge;
    switch (pressure) {
    case SystemMemoryPressure::unknown:
        badge = {QStringLiteral("暂不可读取"), Palette::muted, {}};
        break;
    case SystemMemoryPressure::normal:
        badge = {QStringLiteral("正常"), Palette::success, {}};
        break;
    case SystemMemoryPressure::warning:
        badge = {QStringLiteral("偏高"), Palette::amber, {}};
        break;
    case SystemMemoryPressure::critical:
        badge = {QStringLiteral("很高"), Palette::danger, {}};
        break;
    }
    badge.title = QStringLiteral("压力 · ") + badge.title;
    if (pressure == SystemMemoryPressure::normal)
        badge.sentence = QStringLiteral("当前系统内存压力正常。缓存和少量交换空间不单独代表异常。");
    else if (pressure == SystemMemoryPressure::unknown)
        badge.sentence = QStringLiteral("暂未读取到系统压力，不能仅凭占用大小判断内存是否紧张。");
    else
        badge.sentence = QStringLiteral("系统内存压力偏高。先保存工作，再查看占用靠前的应用及近期变化。");
    return badge;
}

QString metricValue(const std::optional<uint64_t>& bytes) {
    return bytes ? DisplayFormat::memory(*bytes) : QStringLiteral("暂不可用");
}

QString applicationFindingTitle(const ApplicationCPUFinding& finding) {
    return SafeText::isolated(finding.group.name) + QStringLiteral(" · 应用整体持续高占用");
}

QString applicationFindingDetail(const ApplicationCPUFinding& finding) {
    return QString::number(finding.group.members.size()) + QStringLiteral(" 个进程合计 ") +
           DisplayFormat::cpu(finding.group.cpuPercent()) + QStringLiteral("，已观察 ") +
           DisplayFormat::duration(finding.sustainedSeconds) +
           QStringLiteral("。请先查看任务进度，有进展可以继续等待。");
}

QString chartAccessibleName(bool cpu, int minutes) {
    return QStringLiteral("最近 ") + QString::number(minutes) +
           (cpu ? QStringLiteral(" 分钟整机 CPU 趋势") : QStringLiteral(" 分钟压缩内存与交换空间趋势"));
}

QString summary(qsizetype processCount, qsizetype groupCount, qint64 skippedProcessCount) {
    QString text = QString::number(processCount) + QStringLiteral(" 个当前用户进程归为 ") +
                   QString::number(groupCount) + QStringLiteral(" 项；系统和其他用户进程未列入。");
    if (skippedProcessCount >= 1)
        text += QStringLiteral("本轮有 ") + QString::number(skippedProcessCount) +
                QStringLiteral(" 项未能读取或超出采集上限。");
    return text;
}

QString emptyListText(bool hasGroups) {
    return hasGroups ? QStringLiteral("没有匹配结果，试试其他名称或 PID。")
                     : QStringLiteral("完成采样后显示应用资源。");
}

QString groupSubtitle(const ApplicationResourceGroup& group) {
    return group.isApplication() ? QString::number(group.members.size()) + QStringLiteral(" 个进程")
                                 : QStringLiteral("独立进程 · 未确定应用归属");
}

QString groupCPU(const ApplicationResourceGroup& group) {
    return group.hasCompleteCPU() ? DisplayFormat::cpu(group.cpuPercent()) : QStringLiteral("CPU 待采样");
}

} // namespace lunorvale::ResourceDashboardLogic
