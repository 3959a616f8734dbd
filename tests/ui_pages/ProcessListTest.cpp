#include "ui/window/ProcessList.h"
#include "PageHarness.h"
#include "support/EventLoop.h"
#include "support/ModelTesterGuard.h"
#include "ui/window/ProcessDetailPane.h"

#include <QLineEdit>
#include <QScrollBar>
#include <functional>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

ProcessSample process(int32_t pid, const QString& name, std::optional<double> cpu, uint64_t resident,
                      double elapsed) {
    ProcessSample sample;
    sample.identity = {pid, 100u + static_cast<uint64_t>(pid)};
    sample.name = name;
    sample.source = pid % 2 ? QStringLiteral("构建") : QString();
    sample.cpuPercent = cpu;
    sample.residentBytes = resident;
    sample.elapsedSeconds = elapsed;
    return sample;
}

QList<ProcessIdentity> identities(const QList<ProcessSample>& samples) {
    QList<ProcessIdentity> result;
    for (const ProcessSample& sample : samples)
        result.append(sample.identity);
    return result;
}

QList<ProcessIdentity> shownIdentities(const ProcessSortFilterModel& shown) {
    QList<ProcessIdentity> result;
    for (int row = 0; row < shown.rowCount(); ++row)
        result.append(shown.index(row).data(ProcessListModel::IdentityRole).value<ProcessIdentity>());
    return result;
}

} // namespace

// Samples that change figures, names and the set of processes, each seen through every order, filter
// and search: the proxy shows what the pure rules give (ProcessOrder, then the page's filter), under the
// model tester for both models.
TEST(ProcessList, TheProxyShowsTheListOrderAndFilterThroughEverySample) {
    ModelTesterGuard guard;
    ProcessListModel processes;
    ProcessSortFilterModel shown(&processes);
    guard.watch(&processes);
    guard.watch(&shown);

    // Ties in every figure, names that differ only in case or digits, a share not yet measured.
    const QList<QList<ProcessSample>> samples{
        {process(10, "worker 10", 5, 3000, 60), process(11, "worker 2", 5, 1000, 60),
         process(12, "Alpha", std::nullopt, 3000, 30), process(13, "alpha", 0, 2000, 90),
         process(14, "beta", 0, 2000, 90)},
        {process(10, "worker 10", 0, 3000, 90), process(11, "worker 2", 40, 1000, 90),
         process(13, "alpha", 0, 5000, 120), process(14, "beta", 5, 2000, 120),
         process(15, "worker 1", std::nullopt, 100, 0), process(16, "delta", 40, 2000, 10)},
        {process(16, "delta", 0, 2000, 40), process(11, "worker 20", 40, 1000, 120),
         process(12, "Alpha", 2, 3000, 0), process(15, "worker 1", 0, 100, 30)},
    };
    struct Choice {
        ProcessSort order;
        ProcessFilter filter;
        const char* search;
    };
    const QList<Choice> choices{{ProcessSort::cpu, ProcessFilter::all, ""},
                                {ProcessSort::memory, ProcessFilter::all, " WORKER "},
                                {ProcessSort::duration, ProcessFilter::attention, ""},
                                {ProcessSort::memory, ProcessFilter::muted, "1"},
                                {ProcessSort::cpu, ProcessFilter::all, "构建"},
                                {ProcessSort::duration, ProcessFilter::all, "beta"}};
    const auto identity = [&](int32_t pid) {
        return process(pid, {}, {}, 0, 0).identity;
    };
    const QSet<ProcessIdentity> flagged{identity(10), identity(12)}, muted{identity(11), identity(13)};
    QList<ProcessSample> sample;
    const auto expectShown = [&](const Choice& choice, const char* when) {
        const ProcessesLogic::Filter filter{choice.filter, flagged, muted};
        const QString search = QString::fromUtf8(choice.search);
        EXPECT_EQ(shownIdentities(shown), identities(ProcessesLogic::visibleProcesses(
                                              ProcessOrder().sorted(sample, choice.order), search, filter)))
            << when << ": " << int(choice.order) << " / " << int(choice.filter) << " / " << choice.search;
    };
    for (const Choice& choice : choices) {
        shown.setOrder(choice.order);
        shown.setFilter({choice.filter, flagged, muted}, QString::fromUtf8(choice.search));
        expectShown(choice, "chosen");
        for (const QList<ProcessSample>& next : samples) {
            sample = next;
            processes.setProcesses(sample);
            expectShown(choice, "sampled");
        }
    }

    // Raw values beside the texts; an unmeasured share is no number at all.
    processes.setProcesses({process(20, "encoder", std::nullopt, 4096, 5), process(21, "idle", 0, 1, 5)});
    EXPECT_FALSE(processes.index(0).data(ProcessListModel::CpuRole).isValid());
    EXPECT_EQ(processes.index(1).data(ProcessListModel::CpuRole), QVariant(0.0));
    EXPECT_EQ(processes.index(0).data(ProcessListModel::MemoryRole).toULongLong(), 4096u);
}

// Where the list stands after a change, from its top or from a place the user scrolled to: a sample
// leaves a scrolled list in place and a list at its top at its top; another order, search or filter
// shows the new list from its top, wherever the selected process now stands, still highlighted.
TEST(ProcessList, ASampleKeepsThePlaceAndAnotherChoiceShowsTheTop) {
    // 200 processes: the busiest have the least memory, so the two orders run opposite ways.
    QList<ProcessSample> sample;
    for (int32_t pid = 1000; pid < 1200; ++pid)
        sample.append(process(pid, QStringLiteral("task-%1").arg(pid), pid - 1000.0, 5000 - pid, pid));
    const ProcessIdentity busiest = sample.last().identity, idlest = sample.first().identity;
    ProcessSample newcomer = process(1500, QStringLiteral("encoder"), 900, 1, 1);

    enum class Shows { top, sameTopRow };
    const ProcessesLogic::Filter all{ProcessFilter::all, {}, {}};
    ProcessesLogic::Filter flagged{ProcessFilter::attention, {}, {}};
    for (qsizetype i = 1; i < sample.size(); i += 3)
        flagged.flagged.insert(sample[i].identity);
    const struct Case {
        const char* what;
        bool scrolled;
        bool newcomer; // a new busiest process in the sample
        ProcessesLogic::Filter filter;
        const char* search;
        ProcessSort order;
        std::optional<ProcessIdentity> selected;
        Shows shows;
    } cases[] = {
        {"at the top, a sample", false, true, all, "", ProcessSort::cpu, std::nullopt, Shows::top},
        {"scrolled, a sample", true, true, all, "", ProcessSort::cpu, busiest, Shows::sameTopRow},
        {"scrolled, another order", true, false, all, "", ProcessSort::memory, std::nullopt, Shows::top},
        {"scrolled, another order, selected", true, false, all, "", ProcessSort::memory, busiest, Shows::top},
        {"scrolled, a search hiding the selected", true, false, all, "task-11", ProcessSort::cpu, idlest,
         Shows::top},
        {"scrolled, a search, selected", true, false, all, "1", ProcessSort::cpu, idlest, Shows::top},
        {"at the top, a search, selected", false, false, all, "10", ProcessSort::cpu, idlest, Shows::top},
        {"scrolled, another filter", true, false, flagged, "", ProcessSort::cpu, std::nullopt, Shows::top},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProcessListView list;
        list.resize(520, 300);
        list.show();
        list.setProcesses(sample, all, {}, ProcessSort::cpu, c.selected);
        ASSERT_TRUE(deliverDue());
        QScrollBar* bar = list.verticalScrollBar();
        if (c.scrolled) {
            list.scrollTo(list.listModel()->index(60), QAbstractItemView::PositionAtTop);
            bar->setValue(bar->value() + 9); // part of a row hidden
        }
        const QModelIndex top = list.indexAt(QPoint(1, 1));
        const auto topBefore = list.listModel()->sample(top.row()).identity;
        const int offsetBefore = list.visualRect(top).top();

        QList<ProcessSample> next = sample;
        if (c.newcomer)
            next.append(newcomer);
        list.setProcesses(next, c.filter, QString::fromUtf8(c.search), c.order, c.selected);
        ASSERT_TRUE(deliverDue());

        const QModelIndex topAfter = list.indexAt(QPoint(1, 1));
        ASSERT_TRUE(topAfter.isValid());
        switch (c.shows) {
        case Shows::top:
            EXPECT_EQ(bar->value(), 0);
            EXPECT_EQ(topAfter.row(), 0);
            if (c.newcomer) {
                EXPECT_EQ(list.listModel()->sample(0).identity, newcomer.identity);
            }
            break;
        case Shows::sameTopRow:
            EXPECT_EQ(list.listModel()->sample(topAfter.row()).identity, topBefore);
            EXPECT_EQ(list.visualRect(topAfter).top(), offsetBefore);
            break;
        }
        const int selectedRow = c.selected ? list.listModel()->rowOf(*c.selected) : -1;
        const QModelIndexList highlighted = list.selectionModel()->selectedIndexes();
        EXPECT_EQ(highlighted.size(), selectedRow < 0 ? 0 : 1);
        if (selectedRow >= 0 && highlighted.size() == 1) {
            EXPECT_EQ(highlighted.first().row(), selectedRow);
        }
    }
}

// Where a scrolled list stands after a sample under the same choices, over 2,000 rows sorted by CPU: the
// view never follows a row to where the new order put it (a busy process at the top of the view that
// goes idle sorts to the end; the list stays where the user reads), the selected one included, which
// stays highlighted out of view; rows that come or go above the view leave what is shown in place, and
// a list that shrinks under the view ends at its new end.
TEST(ProcessList, ASampleNeverMovesTheViewToWhereARowWent) {
    QList<ProcessSample> sample;
    for (int32_t pid = 1000; pid < 3000; ++pid) // the higher the pid, the busier
        sample.append(process(pid, QStringLiteral("task-%1").arg(pid), pid - 1000.0, 1, 1));
    const auto pidAtRow = [&](int row) {
        return int32_t(2999 - row);
    };
    const auto identityOf = [&](int32_t pid) {
        return process(pid, {}, {}, 0, 0).identity;
    };
    const auto setCpu = [](QList<ProcessSample>& next, int32_t pid, double cpu) {
        for (ProcessSample& s : next)
            if (s.identity.pid == pid)
                s.cpuPercent = cpu;
    };

    enum class Shows { sameScroll, sameTopRow, selectedUnfollowed, end };
    const struct Case {
        const char* what;
        int scrolledToRow; // -1: to the end
        std::optional<int32_t> selected;
        std::function<void(QList<ProcessSample>&)> change;
        Shows shows;
        std::function<void(QList<ProcessSample>&)> then = {}; // a second sample, on the first
    } cases[] = {
        {"the top row's process goes idle", 3, std::nullopt,
         [&](QList<ProcessSample>& next) { setCpu(next, pidAtRow(3), 0); }, Shows::sameScroll},
        {"the same, the selected process out of view", 3, 1500,
         [&](QList<ProcessSample>& next) { setCpu(next, pidAtRow(3), 0); }, Shows::sameScroll},
        {"processes above come and go", 100, std::nullopt,
         [&](QList<ProcessSample>& next) {
             next.removeIf([&](const ProcessSample& s) { return s.identity.pid >= pidAtRow(2); });
             next.append(process(4000, QStringLiteral("encoder"), 5000, 1, 1));
         },
         Shows::sameTopRow},
        {"the selected process, seen, moves in the order", 100, pidAtRow(104),
         [&](QList<ProcessSample>& next) { setCpu(next, pidAtRow(104), pidAtRow(150) - 1000 + 0.5); },
         Shows::selectedUnfollowed},
        {"the selected top row is stopped: two rows down, then idle", 3, pidAtRow(3),
         [&](QList<ProcessSample>& next) { setCpu(next, pidAtRow(3), pidAtRow(5) - 1000 - 0.5); },
         Shows::selectedUnfollowed,
         [&](QList<ProcessSample>& next) {
             setCpu(next, pidAtRow(3), 0);
         }},
        {"at the end, the list shrinks", -1, std::nullopt,
         [&](QList<ProcessSample>& next) {
             next.removeIf([](const ProcessSample& s) { return s.identity.pid < 1200; });
         },
         Shows::end},
    };
    const ProcessesLogic::Filter all{ProcessFilter::all, {}, {}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProcessListView list;
        list.resize(520, 300);
        list.show();
        const std::optional<ProcessIdentity> selected =
            c.selected ? std::optional(identityOf(*c.selected)) : std::nullopt;
        list.setProcesses(sample, all, {}, ProcessSort::cpu, selected);
        ASSERT_TRUE(deliverDue());
        QScrollBar* bar = list.verticalScrollBar();
        if (c.scrolledToRow < 0) {
            list.scrollToBottom();
        } else {
            list.scrollTo(list.listModel()->index(c.scrolledToRow), QAbstractItemView::PositionAtTop);
            bar->setValue(bar->value() + 9); // part of a row hidden
        }
        const int scroll = bar->value();
        const QModelIndex top = list.indexAt(QPoint(1, 1));
        const ProcessIdentity topBefore = list.listModel()->sample(top.row()).identity;
        const int topOffset = list.visualRect(top).top();
        const auto highlightedRow = [&] {
            const QModelIndexList rows = list.selectionModel()->selectedIndexes();
            return rows.size() == 1 ? rows.first().row() : -1;
        };

        QList<ProcessSample> next = sample;
        for (const auto& change : {c.change, c.then}) {
            if (!change)
                continue;
            change(next);
            list.setProcesses(next, all, {}, ProcessSort::cpu, selected);
            ASSERT_TRUE(deliverDue());
            if (selected) {
                EXPECT_EQ(highlightedRow(), list.listModel()->rowOf(*selected));
            }
        }

        const QModelIndex topAfter = list.indexAt(QPoint(1, 1));
        ASSERT_TRUE(topAfter.isValid());
        switch (c.shows) {
        case Shows::sameScroll:
            EXPECT_EQ(bar->value(), scroll);
            EXPECT_GT(list.listModel()->rowOf(topBefore), 1900); // where it went, unfollowed
            break;
        case Shows::sameTopRow:
            EXPECT_EQ(list.listModel()->sample(topAfter.row()).identity, topBefore);
            EXPECT_EQ(list.visualRect(topAfter).top(), topOffset);
            break;
        case Shows::selectedUnfollowed:
            EXPECT_EQ(bar->value(), scroll);
            EXPECT_GT(list.visualRect(list.listModel()->index(highlightedRow())).top(),
                      list.viewport()->height());
            break;
        case Shows::end:
            EXPECT_EQ(bar->value(), bar->maximum());
            EXPECT_LT(bar->maximum(), scroll);
            break;
        }
    }
}

// A click on a row and an arrow key choose the row they highlight, whatever happened to the list
// before: after a search hid the selected process, or after it exited (the view then puts its own
// current row on a neighbour), the model's selection is the highlighted row and the side pane shows it
// at once.
TEST(ProcessList, EveryClickAndArrowKeyChoosesItsRow) {
    enum class Gone { hiddenBySearch, exited };
    enum class By { click, arrowKey };
    for (const Gone gone : {Gone::hiddenBySearch, Gone::exited})
        for (const By by : {By::click, By::arrowKey}) {
            SCOPED_TRACE(testing::Message() << (gone == Gone::exited ? "exited, " : "hidden, ")
                                            << (by == By::click ? "click" : "arrow key"));
            ModelHarness h;
            // All idle: listed by name, "encoder" first.
            for (const auto& [pid, name] : {std::pair(700, "encoder"), std::pair(701, "shell"),
                                            std::pair(702, "shell-helper"), std::pair(703, "viewer")})
                h.add(pid, name);
            AppModel& model = h.start();
            model.completeOnboarding();
            h.sample();
            PageWindow window(model, Page::processes);
            ProcessesPage* page = window.processes();
            ProcessListView* list = page->list();
            ProcessSortFilterModel* rows = list->listModel();
            const auto highlightedRow = [&]() -> std::optional<ProcessIdentity> {
                const QModelIndexList selected = list->selectionModel()->selectedIndexes();
                if (selected.size() != 1)
                    return std::nullopt;
                return rows->sample(selected.first().row()).identity;
            };

            const ProcessIdentity encoder = h.listed(700)->identity;
            ASSERT_EQ(rows->rowOf(encoder), 0);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualRect(rows->index(0)).center());
            PageWindow::settle();
            ASSERT_EQ(model.selectedID(), encoder);

            if (gone == Gone::hiddenBySearch) {
                QTest::keyClicks(page->searchBox()->field(), QStringLiteral("sh"));
            } else {
                h.platform.remove(700);
                h.advance(5);
                h.sample();
            }
            PageWindow::settle();
            ASSERT_EQ(rows->rowOf(encoder), -1);
            ASSERT_EQ(highlightedRow(), std::nullopt);

            if (by == By::click) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualRect(rows->index(0)).center());
            } else {
                list->setFocus();
                QTest::keyClick(list, Qt::Key_Down);
            }
            PageWindow::settle();
            const auto chosen = highlightedRow();
            ASSERT_TRUE(chosen.has_value());
            EXPECT_EQ(model.selectedID(), chosen);
            EXPECT_TRUE(page->sidePane()->isAncestorOf(page->detailPane()));
            EXPECT_EQ(page->detailPane()->sample().identity, *chosen);
            // The key, too, starts from the list's first row: no row was left standing for the selection.
            EXPECT_EQ(*chosen, rows->sample(0).identity);
        }
}
