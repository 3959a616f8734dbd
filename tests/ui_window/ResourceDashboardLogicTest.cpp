#include "ui/window/ResourceDashboardLogic.h"
#include "monitoring/SnapshotFixtures.h"
#include "ui/kit/ListEdits.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace lunorvale;
using namespace lunorvale::fixtures;
using namespace lunorvale::ResourceDashboardLogic;

namespace {

ResourceHistoryPoint point(double t, int64_t segment, std::optional<double> cpu,
                           std::optional<SystemMemorySnapshot> memory = std::nullopt) {
    return {baseDate().addMSecs(qint64(t * 1000)), t, segment, cpu, memory};
}

QList<double> times(const QList<ResourceHistoryPoint>& points) {
    QList<double> out;
    for (const ResourceHistoryPoint& p : points)
        out.append(p.monotonicTime);
    return out;
}

ApplicationResourceGroup group(const QString& id, const QString& name, QList<ProcessSample> members) {
    return {id, name, std::nullopt, std::move(members)};
}

ProcessSample member(int32_t pid, const QString& name, std::optional<double> cpu, uint64_t resident = 0) {
    ProcessSample sample = process(pid, cpu);
    sample.name = name;
    sample.residentBytes = resident;
    return sample;
}

QStringList ids(const QList<ApplicationResourceGroup>& groups, const QList<qsizetype>& order) {
    QStringList out;
    for (const qsizetype i : order)
        out.append(groups[i].id);
    return out;
}

} // namespace

TEST(ResourceDashboardLogic, WindowAndRange) {
    // 20 minutes of points, one every 5 minutes, then a point from a clock set back.
    QList<ResourceHistoryPoint> history;
    for (int minute = 0; minute <= 20; minute += 5)
        history.append(point(minute * 60.0, 1, 10));
    EXPECT_EQ(times(windowPoints(history, 15)), (QList<double>{300, 600, 900, 1200}));
    EXPECT_EQ(windowPoints(history, 60).size(), 5);
    QList<ResourceHistoryPoint> stepped = history;
    stepped.insert(4, point(1100, 1, 10));
    stepped[4].timestamp = baseDate().addSecs(3600); // wall clock after the newest point
    // Whatever the wall clock said then, the point is recent by the monotonic clock.
    EXPECT_EQ(times(windowPoints(stepped, 60)), (QList<double>{0, 300, 600, 900, 1100, 1200}));
    QList<ResourceHistoryPoint> broken = history;
    broken[1].monotonicTime = NAN;
    EXPECT_EQ(times(windowPoints(broken, 60)).size(), 4);

    // The wall clock set back or forward 3 h after the point at 600 s: the quarter hour still holds its
    // points, in monotonic order, placed by their monotonic times on the newest point's wall clock.
    for (const int step : {-3 * 3600, 3 * 3600}) {
        QList<ResourceHistoryPoint> clock = history;
        for (qsizetype i = 3; i < clock.size(); ++i) {
            clock[i].timestamp = clock[i].timestamp.addSecs(step);
            clock[i].segmentID = 2;
        }
        std::swap(clock[0], clock[4]); // handed over in another order
        const QList<ResourceHistoryPoint> window = windowPoints(clock, 15);
        EXPECT_EQ(times(window), (QList<double>{300, 600, 900, 1200})) << step;
        const QDateTime newest = baseDate().addSecs(1200 + step);
        QList<double> x;
        for (const QPointF& dot : cpuSeries(window).dots)
            x.append(dot.x());
        const double end = double(newest.toMSecsSinceEpoch());
        EXPECT_EQ(x, (QList<double>{end - 900'000, end - 600'000, end - 300'000, end})) << step;
        EXPECT_EQ(chartRange(window, 15, baseDate()), (DateRange{newest.addSecs(-900), newest})) << step;
    }

    const QDateTime now = baseDate();
    const struct {
        QList<ResourceHistoryPoint> points;
        int minutes;
        DateRange range;
    } ranges[] = {
        {{}, 15, {now.addSecs(-60), now}},
        {{point(10, 1, 1)}, 15, {baseDate().addSecs(9), baseDate().addSecs(10)}},
        {{point(0, 1, 1), point(300, 1, 1)}, 15, {baseDate(), baseDate().addSecs(300)}},
        {windowPoints(history, 60), 15, {baseDate().addSecs(300), baseDate().addSecs(1200)}},
    };
    for (const auto& c : ranges)
        EXPECT_EQ(chartRange(c.points, c.minutes, now), c.range);
}

TEST(ResourceDashboardLogic, TimeMarksAtRoundMinutesOfTheLocalClock) {
    const QDateTime at(QDate(2026, 1, 31), QTime(10, 30, 0));
    const struct {
        int fromSecond;
        int seconds;
        QStringList labels;
    } cases[] = {
        {10, 10, {}},                     // no whole minute inside
        {0, 60, {"10:30", "10:31"}},      // both ends on the minute
        {50, 5 * 60, {"10:32", "10:34"}}, // every two minutes
        {0, 30 * 60, {"10:30", "10:45", "11:00"}},
        {0, 0, {}}, // no span
        // Two steps of two minutes fit, but only one of their marks: 13:24:04 to 13:27:48 seen live.
        {3 * 60 + 4, 3 * 60 + 44, {"10:34", "10:35", "10:36"}},
    };
    for (const auto& c : cases) {
        const QDateTime start = at.addSecs(c.fromSecond);
        QStringList labels;
        for (const TimeMark& mark : timeMarks({start, start.addSecs(c.seconds)})) {
            EXPECT_EQ(mark.at.time().second(), 0);
            labels << mark.label;
        }
        EXPECT_EQ(labels, c.labels) << c.fromSecond << "+" << c.seconds;
    }
}

// Every span of two minutes or more, wherever it starts, gets at least two labels at one round step.
TEST(ResourceDashboardLogic, TimeMarksLabelEverySpanOfTwoMinutesTwice) {
    const QDateTime at(QDate(2026, 1, 31), QTime(13, 0, 0));
    const int spans[] = {2 * 60,      3 * 60,  3 * 60 + 44, 4 * 60,  5 * 60,  6 * 60,
                         7 * 60 + 30, 8 * 60,  9 * 60,      10 * 60, 11 * 60, 14 * 60,
                         15 * 60,     20 * 60, 29 * 60,     45 * 60, 60 * 60};
    for (const int span : spans) {
        // Starts over a whole hour, so that every alignment with every step is met.
        for (int from = 0; from < 3600; from += 13) {
            const DateRange range{at.addSecs(from), at.addSecs(from + span)};
            const QList<TimeMark> marks = timeMarks(range);
            ASSERT_GE(marks.size(), 2) << span << " s from " << from;
            EXPECT_LE(marks.size(), 5) << span << " s from " << from;
            const qint64 step = marks[0].at.msecsTo(marks[1].at);
            EXPECT_EQ(step % 60'000, 0);
            for (qsizetype i = 0; i < marks.size(); ++i) {
                EXPECT_TRUE(range.start <= marks[i].at && marks[i].at <= range.end);
                EXPECT_EQ(marks[i].label, marks[i].at.toString(QStringLiteral("HH:mm")));
                if (i > 0) {
                    EXPECT_EQ(marks[i - 1].at.msecsTo(marks[i].at), step) << span << " s from " << from;
                }
            }
        }
    }
}

TEST(ResourceDashboardLogic, GroupsFilteredAndOrdered) {
    ApplicationResourceGroup orbit = group(QStringLiteral("a:orbit"), QStringLiteral("Orbit Browser"),
                                           {member(4123, QStringLiteral("orbit-helper"), 20, 300)});
    const QList<ApplicationResourceGroup> groups = {
        group(QStringLiteral("p:10"), QStringLiteral("App 10"), {member(10, QStringLiteral("app"), 50, 100)}),
        group(QStringLiteral("p:2"), QStringLiteral("App 2"), {member(2, QStringLiteral("app"), 50, 100)}),
        group(QStringLiteral("p:none"), QStringLiteral("Idle"),
              {member(5, QStringLiteral("idle"), std::nullopt, 900)}),
        group(QStringLiteral("p:big"), QStringLiteral("Render"),
              {member(6, QStringLiteral("Canvas Worker"), 120, 100)}),
        orbit,
        group(QStringLiteral("p:b"), QStringLiteral("foo"),
              {member(8, QStringLiteral("foo"), std::nullopt, 100)}),
        group(QStringLiteral("p:a"), QStringLiteral("foo"),
              {member(9, QStringLiteral("foo"), std::nullopt, 100)}),
    };
    const GroupIndex index(groups);
    const struct {
        QString search;
        GroupSort sort;
        QStringList order;
    } cases[] = {
        {{},
         GroupSort::cpu,
         {"p:big", "p:2", "p:10", "a:orbit", "p:a", "p:b", "p:none"}}, // numbers by value, same names by id
        {{}, GroupSort::memory, {"p:none", "a:orbit", "p:2", "p:10", "p:a", "p:b", "p:big"}},
        {{}, GroupSort::name, {"p:2", "p:10", "p:a", "p:b", "p:none", "a:orbit", "p:big"}},
        {QStringLiteral("ORB"), GroupSort::cpu, {"a:orbit"}},    // case ignored
        {QStringLiteral("canvas w"), GroupSort::cpu, {"p:big"}}, // a member's name keeps the group
        {QStringLiteral("41"), GroupSort::cpu, {"a:orbit"}},     // pid 4123
        {QStringLiteral("o.*"), GroupSort::cpu, {}},             // never a pattern
        {QStringLiteral(" "), GroupSort::cpu, {"p:big", "p:2", "p:10", "a:orbit"}}, // a space counts
    };
    for (const auto& c : cases)
        EXPECT_EQ(ids(groups, index.select(c.search, c.sort)), c.order) << c.search.toStdString();
}

// Names the collator ranks equal but that differ in letter case used to order by name in some pairs
// and by id in others, which is no strict weak order.
TEST(ResourceDashboardLogic, GroupOrderIsAStrictWeakOrder) {
    const QStringList names = {
        QStringLiteral("foo"),     QStringLiteral("Foo"),    QStringLiteral("FOO"),
        QStringLiteral("foo 2"),   QStringLiteral("Foo 10"), QStringLiteral("python3"),
        QStringLiteral("Python3"), QStringLiteral("é"),      QStringLiteral("e\u0301")};
    QRandomGenerator random(14);
    QList<ApplicationResourceGroup> groups;
    for (int i = 0; i < 60; ++i) {
        const std::optional<double> cpu =
            random.bounded(3) == 0 ? std::nullopt : std::optional(double(random.bounded(3)));
        groups.append(group(QStringLiteral("p:%1").arg(random.bounded(1000)),
                            names[random.bounded(names.size())],
                            {member(i + 1, QStringLiteral("m"), cpu, random.bounded(3))}));
    }
    const GroupIndex index(groups);
    for (const GroupSort sort : {GroupSort::cpu, GroupSort::memory, GroupSort::name}) {
        for (qsizetype a = 0; a < 60; ++a) {
            ASSERT_FALSE(index.before(a, a, sort));
            for (qsizetype b = 0; b < 60; ++b) {
                for (qsizetype c = 0; c < 60; ++c) {
                    const bool ab = index.before(a, b, sort), bc = index.before(b, c, sort);
                    if (ab && bc) {
                        ASSERT_TRUE(index.before(a, c, sort)) << a << " " << b << " " << c;
                    }
                    // Incomparability is transitive too.
                    const bool eab = !ab && !index.before(b, a, sort), ebc = !bc && !index.before(c, b, sort);
                    if (eab && ebc) {
                        ASSERT_TRUE(!index.before(a, c, sort) && !index.before(c, a, sort));
                    }
                }
            }
        }
    }
}

TEST(ResourceDashboardLogic, ChartSeriesSplitAtBreaks) {
    const SystemMemorySnapshot both{{}, {}, 3221225472ull, 536870912ull, SystemMemoryPressure::normal};
    const SystemMemorySnapshot compressedOnly{
        {}, {}, 1073741824ull, std::nullopt, SystemMemoryPressure::normal};
    const QList<ResourceHistoryPoint> points = {
        point(0, 1, std::nullopt, both), // the first sample: memory but no CPU
        point(5, 1, 10, both),
        point(10, 1, 20, both),
        point(60, 2, 30, compressedOnly), // after a pause
        point(65, 2, 40, SystemMemorySnapshot{}),
    };
    const ChartSeries cpu = cpuSeries(points);
    ASSERT_EQ(cpu.lines.size(), 2);
    EXPECT_EQ(cpu.lines[0].key, QStringLiteral("1"));
    EXPECT_EQ(cpu.lines[0].points.size(), 2);
    EXPECT_EQ(cpu.lines[1].points.size(), 2);
    EXPECT_EQ(cpu.dots.size(), 4);
    EXPECT_EQ(cpu.dots[0], QPointF(baseDate().addSecs(5).toMSecsSinceEpoch(), 10));

    const ChartSeries compressed = memorySeries(points, MemoryFigure::compressed);
    const ChartSeries swap = memorySeries(points, MemoryFigure::swap);
    EXPECT_EQ(compressed.lines.size(), 2);
    EXPECT_EQ(compressed.lines[1].key, QStringLiteral("压缩-2"));
    EXPECT_EQ(compressed.dots[0].y(), 3.0);
    EXPECT_EQ(compressed.dots[3].y(), 1.0);
    EXPECT_EQ(swap.lines.size(), 1);
    EXPECT_EQ(swap.lines[0].key, QStringLiteral("交换-1"));
    EXPECT_EQ(swap.dots[0].y(), 0.5);
    EXPECT_EQ(memoryAxisTop(compressed, swap), 3.0);
    EXPECT_EQ(memoryAxisTop({}, {}), 1.0);
    EXPECT_TRUE(cpuSeries({point(0, 1, std::nullopt, both)}).dots.isEmpty());
}

TEST(ResourceDashboardLogic, MembersSummaryAndTexts) {
    const QList<ProcessSample> members = {member(1, "a", std::nullopt), member(2, "b", 5), member(3, "c", 30),
                                          member(4, "d", 5), member(5, "e", std::nullopt)};
    QList<int32_t> order;
    for (const ProcessSample& sample : memberOrder(members))
        order.append(sample.identity.pid);
    EXPECT_EQ(order, (QList<int32_t>{3, 2, 4, 1, 5}));

    EXPECT_EQ(summary(0, 0, 0), QStringLiteral("0 个当前用户进程归为 0 项；系统和其他用户进程未列入。"));
    EXPECT_EQ(summary(12, 9, 3), QStringLiteral("12 个当前用户进程归为 9 项；系统和其他用户进程未列入。"
                                                "本轮有 3 项未能读取或超出采集上限。"));
    EXPECT_EQ(emptyListText(false), QStringLiteral("完成采样后显示应用资源。"));
    EXPECT_EQ(emptyListText(true), QStringLiteral("没有匹配结果，试试其他名称或 PID。"));

    ApplicationResourceGroup bundle = group(QStringLiteral("process:7:1"), QStringLiteral("Orbit"), members);
    EXPECT_EQ(groupCPU(bundle), QStringLiteral("CPU 待采样"));
    EXPECT_EQ(groupSubtitle(bundle), QStringLiteral("独立进程 · 未确定应用归属"));
    // A desktop application without a desktop entry is an application too.
    bundle.id = QStringLiteral("application:org.example.Orbit");
    EXPECT_EQ(groupSubtitle(bundle), QStringLiteral("5 个进程"));
    bundle.id = QStringLiteral("application:/Applications/Orbit.app");
    bundle.bundlePath = QStringLiteral("/Applications/Orbit.app");
    EXPECT_EQ(groupSubtitle(bundle), QStringLiteral("5 个进程"));
    EXPECT_EQ(applicationFindingDetail({bundle, 90}),
              QStringLiteral("5 个进程合计 采样中，已观察 1 分钟。请先查看任务进度，有进展可以继续等待。"));

    const auto critical =
        memoryPressure(SystemMemorySnapshot{{}, {}, {}, {}, SystemMemoryPressure::critical});
    const auto warning = memoryPressure(SystemMemorySnapshot{{}, {}, {}, {}, SystemMemoryPressure::warning});
    EXPECT_EQ(critical.title, QStringLiteral("压力 · 很高"));
    EXPECT_EQ(critical.color, Palette::danger);
    EXPECT_EQ(critical.sentence, warning.sentence);
    EXPECT_EQ(memoryPressure(std::nullopt).title, QStringLiteral("压力 · 暂不可读取"));
    EXPECT_EQ(collectionNotice(QStringLiteral("x"), false),
              QStringLiteral("本次读取失败，曲线保留到上次有效采样。"));
    EXPECT_EQ(collectionNotice(std::nullopt, true), std::nullopt);
}

TEST(ListEdits, TurnEveryListIntoTheNextWithFewMoves) {
    QRandomGenerator random(7);
    for (int round = 0; round < 300; ++round) {
        QList<QString> before, after;
        for (int i = 0; i < 12; ++i) {
            if (random.bounded(4))
                before.append(QString::number(i));
            if (random.bounded(4))
                after.append(QString::number(i));
        }
        std::shuffle(after.begin(), after.end(), std::mt19937(round));
        if (round % 3 == 0)
            after = before; // unchanged lists need no step at all
        const QList<ListEdit> edits = listEdits(before, after);
        QList<QString> rows = before;
        applyListEdits(rows, edits, [&](int i) { return after[i]; });
        ASSERT_EQ(rows, after);
        if (round % 3 == 0) {
            EXPECT_TRUE(edits.isEmpty());
        }
        for (const ListEdit& edit : edits) { // as an item model must be told
            if (edit.kind == ListEdit::Kind::move) {
                EXPECT_TRUE(edit.destination < edit.first || edit.destination > edit.first + 1);
            }
        }
    }
    // One row from the top to the bottom is one move.
    const QList<ListEdit> edits = listEdits({"a", "b", "c", "d"}, {"b", "c", "d", "a"});
    EXPECT_EQ(edits, (QList<ListEdit>{{ListEdit::Kind::move, 0, 0, 4, 0, 0}}));
}
