#include "PageHarness.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/kit/LVText.h"
#include "ui/window/ProcessAISection.h"
#include "ui/window/ProcessDetailPane.h"
#include "ui/window/ProcessList.h"
#include "ui/window/ProcessRow.h"
#include "ui_kit/FocusWalk.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

std::optional<ProcessIdentity> highlighted(ProcessListView* list) {
    const QModelIndexList rows = list->selectionModel()->selectedIndexes();
    if (rows.size() != 1)
        return std::nullopt;
    return list->listModel()->sample(rows.first().row()).identity;
}

std::optional<ProcessIdentity> topRow(ProcessListView* list) {
    const QModelIndex top = list->indexAt(QPoint(1, 1));
    return top.isValid() ? std::optional(list->listModel()->sample(top.row()).identity) : std::nullopt;
}

QSet<QWidget*> allWidgets() {
    const QWidgetList widgets = QApplication::allWidgets();
    return {widgets.cbegin(), widgets.cend()};
}

} // namespace

TEST(ProcessesPage, ASampleLeavesWhatTheUserSeesAndDoes) {
    ModelHarness h;
    h.quickRules();
    // Enough processes that the chosen row and the top one lie down a list scrolled to them (50 rows
    // of busy workers), and no more: a sample of two thousand is the processes page's benchmark
    // (bench/window/PagesBench.cpp).
    QList<int32_t> busy;
    for (int32_t pid = 1000; pid < 1150; ++pid) {
        h.add(pid, (pid % 2 ? "helper-" : "worker-") + QByteArray::number(pid));
        h.platform.change(pid,
                          [pid](auto& p) { p.record.resident_bytes = static_cast<uint64_t>(pid) * 4096; });
        if (pid % 3 != 2)
            busy.append(pid);
    }
    AppModel& model = h.start();
    model.completeOnboarding();
    h.sample();
    h.run(60, busy);
    ASSERT_GT(model.findings().size(), 50);

    ModelTesterGuard guard;
    PageWindow window(model, Page::processes);
    ProcessesPage* page = window.processes();
    ASSERT_TRUE(page);
    ProcessListView* list = page->list();
    guard.watch(list->processModel());
    guard.watch(list->listModel());

    QLineEdit* field = page->searchBox()->field();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("wor"));
    field->setCursorPosition(1);
    page->filterControl()->setCurrentIndex(1);
    for (QAction* action : page->sortMenu()->actions())
        if (action->text() == QStringLiteral("内存占用"))
            action->trigger();
    PageWindow::settle();
    EXPECT_EQ(window.view->state().search, QStringLiteral("wor"));
    EXPECT_EQ(window.view->state().processFilter, ProcessFilter::attention);
    EXPECT_EQ(window.view->state().processSort, ProcessSort::memory);
    EXPECT_EQ(page->countText()->text(),
              QString::number(list->listModel()->rowCount()) + QStringLiteral(" 个"));

    // The user picks a row in the middle of the list, scrolled there.
    const QModelIndex middle = list->listModel()->index(list->listModel()->rowCount() / 2);
    list->scrollTo(middle, QAbstractItemView::PositionAtCenter);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(middle).center());
    PageWindow::settle();
    const ProcessIdentity chosen = list->listModel()->sample(middle.row()).identity;
    EXPECT_EQ(model.selectedID(), chosen);
    field->setFocus();
    PageWindow::settle();

    const auto top = topRow(list);
    const int scroll = list->verticalScrollBar()->value();
    const QSet<QWidget*> widgetsBefore = allWidgets();
    ProcessDetailPane* detail = page->detailPane();
    EXPECT_GT(scroll, 0);

    // New figures, one process more, one fewer (neither the chosen nor the top one).
    h.advance(30, busy);
    h.add(5001, "worker-new");
    h.platform.change(5001, [](auto& p) { p.record.resident_bytes = 1; });
    const int32_t gone = list->listModel()->sample(middle.row() + 3).identity.pid;
    h.platform.remove(gone);
    h.sample();
    PageWindow::settle();

    EXPECT_EQ(QApplication::focusWidget(), field);
    EXPECT_EQ(field->text(), QStringLiteral("wor"));
    EXPECT_EQ(field->cursorPosition(), 1);
    EXPECT_EQ(page->filterControl()->currentIndex(), 1);
    EXPECT_EQ(page->sortButton()->text(), QStringLiteral("内存占用"));
    EXPECT_EQ(highlighted(list), chosen);
    EXPECT_EQ(topRow(list), top);
    EXPECT_EQ(page->detailPane(), detail);
    EXPECT_EQ(page->sidePane()->isAncestorOf(detail), true);
    EXPECT_EQ(allWidgets(), widgetsBefore);
    EXPECT_EQ(list->listModel()->rowOf({gone, 5000u + gone}), -1);

    // Opened from a reminder, the chosen process exits: the model keeps it selected, the list shows no
    // row highlighted and leaves the selection alone, and the side pane says it is missing.
    model.openNotification(chosen.key());
    PageWindow::settle();
    EXPECT_EQ(highlighted(list), chosen);
    h.advance(30, busy);
    h.platform.remove(chosen.pid);
    h.sample();
    PageWindow::settle();
    EXPECT_EQ(highlighted(list), std::nullopt);
    EXPECT_EQ(model.selectedID(), chosen);
    EXPECT_TRUE(page->sidePane()->isAncestorOf(page->missingCard()));
    EXPECT_EQ(page->missingTitle()->text(), QStringLiteral("暂时没读到这个进程"));

    // A click and the arrow keys choose; Return and Delete do nothing more.
    const QModelIndex third = list->listModel()->index(2);
    list->scrollTo(third);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(third).center());
    EXPECT_EQ(model.selectedID(), list->listModel()->sample(2).identity);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(model.selectedID(), list->listModel()->sample(3).identity);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Delete})
        QTest::keyClick(list, key);
    PageWindow::settle();
    EXPECT_EQ(model.selectedID(), list->listModel()->sample(3).identity);
    EXPECT_FALSE(window.view->state().sheet);

    // Accessible names, and each row one element with its texts.
    EXPECT_EQ(field->accessibleName(), QStringLiteral("搜索进程"));
    EXPECT_EQ(page->searchBox()->clearButton()->accessibleName(), QStringLiteral("清空搜索"));
    EXPECT_EQ(page->sortButton()->accessibleName(), QStringLiteral("进程排序"));
    EXPECT_EQ(page->filterControl()->accessibleName(), QStringLiteral("显示进程"));
    EXPECT_TRUE(list->listModel()
                    ->index(3)
                    .data(Qt::AccessibleTextRole)
                    .toString()
                    .contains(QStringLiteral("worker")));
}

// The column headings stand over the figures of the rows, whether the list shows its scroll bar or
// not: the last heading ends where the run times end.
TEST(ProcessesPage, HeadingsStandOverTheirColumnsWithAndWithoutAScrollBar) {
    // The rightmost pixel in `area` that differs from the background at its right edge.
    const auto inkRight = [](const QImage& image, const QRect& area) {
        const QColor background = image.pixelColor(area.right(), area.center().y());
        for (int x = area.right(); x >= area.left(); --x)
            for (int y = area.top(); y <= area.bottom(); ++y) {
                const QColor pixel = image.pixelColor(x, y);
                if (std::abs(pixel.red() - background.red()) + std::abs(pixel.green() - background.green()) +
                        std::abs(pixel.blue() - background.blue()) >
                    90)
                    return x;
            }
        return -1;
    };
    for (const int count : {3, 60}) {
        SCOPED_TRACE(count);
        ModelHarness h;
        for (int32_t pid = 1000; pid < 1000 + count; ++pid)
            h.add(pid, "worker-" + QByteArray::number(pid));
        AppModel& model = h.start();
        model.completeOnboarding();
        h.sample();
        PageWindow window(model, Page::processes);
        ProcessListView* list = window.processes()->list();
        ASSERT_EQ(list->verticalScrollBar()->isVisible(), count > 3);
        ASSERT_TRUE(list->selectionModel()->selectedIndexes().isEmpty());

        QWidget* root = window.view.get();
        const QImage image = root->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const auto* headings = window.processes()->findChild<ProcessColumnHeadings*>();
        ASSERT_TRUE(headings);
        const QRect band(headings->mapTo(root, QPoint()), headings->size());
        const QRect row =
            list->visualRect(list->listModel()->index(0)).translated(list->viewport()->mapTo(root, QPoint()));
        const int headingEnd = inkRight(image, band), figureEnd = inkRight(image, row);
        ASSERT_GT(headingEnd, band.center().x());
        EXPECT_NEAR(headingEnd, figureEnd, 2);
    }
}

// Another process is read from the top of its detail; a new sample leaves the detail where it was.
TEST(ProcessesPage, TheDetailOfAnotherProcessStartsAtItsTop) {
    ModelHarness h;
    AppModel& model = flaggedModel(h);
    PageWindow window(model, Page::processes);
    ProcessesPage* page = window.processes();
    for (LVDisclosure* group : page->detailPane()->findChildren<LVDisclosure*>())
        group->setExpanded(true);
    PageWindow::settle();
    QScrollBar* bar = page->detailScroll()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    const int scrolled = bar->value();

    h.run(30, {700});
    PageWindow::settle();
    EXPECT_EQ(bar->value(), scrolled);

    model.setSelectedID(ProcessIdentity{701, 5701});
    PageWindow::settle();
    EXPECT_EQ(page->detailPane()->sample().identity.pid, 701);
    EXPECT_EQ(bar->value(), 0);
}

// Only the user's own acts scroll the list to a row: a process opened from elsewhere (a finding's
// "查看进程") is brought into view; a new search shows its list from the top, with the process still
// selected out of view, even after the list gave way to the empty state.
namespace {
// `count` idle workers from pid 1000 on, listed by name, pid 1000 first, after one sample.
AppModel& idleWorkers(ModelHarness& h, int32_t count) {
    for (int32_t pid = 1000; pid < 1000 + count; ++pid)
        h.add(pid, "worker-" + QByteArray::number(pid));
    AppModel& model = h.start();
    model.completeOnboarding();
    h.sample();
    return model;
}
} // namespace

TEST(ProcessesPage, OnlyTheUsersOwnActsScrollTheListToARow) {
    ModelHarness h;
    AppModel& model = idleWorkers(h, 300);
    PageWindow window(model, Page::processes);
    ProcessesPage* page = window.processes();
    ProcessListView* list = page->list();
    const ProcessIdentity far = h.listed(1250)->identity;
    const auto inView = [&] {
        const QRect row = list->visualRect(list->listModel()->index(list->listModel()->rowOf(far)));
        return row.isValid() && row.top() >= 0 && row.bottom() <= list->viewport()->rect().bottom();
    };
    ASSERT_FALSE(inView());

    model.showProcess(far);
    PageWindow::settle();
    EXPECT_TRUE(inView());

    QLineEdit* field = page->searchBox()->field();
    QTest::keyClicks(field, QStringLiteral("1x"));
    PageWindow::settle();
    ASSERT_EQ(list->listModel()->rowCount(), 0);
    QTest::keyClick(field, Qt::Key_Backspace);
    PageWindow::settle();
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(inView());
    EXPECT_EQ(highlighted(list), far);
    EXPECT_EQ(page->detailPane()->sample().identity, far);
}

TEST(ProcessesPage, EveryControlReachedWithTabShowsItsRing) {
    ModelHarness h;
    AppModel& model = idleWorkers(h, 10);
    PageWindow window(model, Page::processes);
    ProcessesPage* page = window.processes();
    ASSERT_TRUE(page);
    EXPECT_TRUE(
        everyFocusShows(*window.view, *page, *page->searchBox()->field(), {"SortButton", "ProcessListView"}));
}

// With no process chosen, Tab puts the list's keyboard focus, and its ring, on a row without choosing it;
// a sample leaves it on that process wherever the order moves it.
TEST(ProcessesPage, TheRowTabReachesKeepsItsRingThroughSamples) {
    ModelHarness h;
    PageWindow window(idleWorkers(h, 10), Page::processes);
    ProcessListView* list = window.processes()->list();
    QWidget* focused = window.processes()->searchBox()->field();
    focused->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 5 && focused != list; ++i) {
        QTest::keyClick(focused, Qt::Key_Tab);
        focused = QApplication::focusWidget();
    }
    ASSERT_EQ(focused, list);
    ASSERT_TRUE(list->currentIndex().isValid() && FocusRing::shown(*list));
    const int32_t ringed = list->listModel()->sample(list->currentIndex().row()).identity.pid;

    const int32_t busy = ringed == 1000 ? 1001 : 1000;
    h.advance(30, {busy});
    h.sample();
    PageWindow::settle();
    ASSERT_EQ(list->listModel()->sample(0).identity.pid, busy);
    ASSERT_TRUE(list->currentIndex().isValid());
    EXPECT_EQ(list->listModel()->sample(list->currentIndex().row()).identity.pid, ringed);
    EXPECT_EQ(highlighted(list), std::nullopt);
}
