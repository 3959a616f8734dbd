#include "WindowHarness.h"
#include "core/common/SafeText.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVEmptyState.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/window/DashboardApplicationList.h"
#include "ui/window/MainViewBars.h"
#include "ui/window/OverviewPage.h"
#include "ui/window/PriorityTaskCard.h"
#include "ui/window/ProcessRow.h"
#include "ui/window/ResourceCharts.h"
#include "ui/window/ResourceDashboardView.h"
#include "ui/window/ResourceOverviewStrip.h"
#include "ui_kit/ContextMenu.h"
#include "ui_kit/FocusWalk.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QGraphicsSimpleTextItem>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

constexpr uint64_t mebibyte = 1024 * 1024;
const QString orbitID = QStringLiteral("application:/Applications/Orbit Browser.app");

// Orbit Browser with two busy processes, a process whose memory keeps growing and an idle one, after
// six samples a minute apart: two findings, an application finding and a growth observation.
void busyMachine(WindowHarness& h) {
    h.quickRules();
    h.store().setValue(AppModel::Keys::hasCompletedOnboarding, true);
    h.addInBundle(11, "orbit", QStringLiteral("Orbit Browser"));
    h.addInBundle(12, "orbit-helper", QStringLiteral("Orbit Browser"));
    h.add(20, "grower");
    h.add(21, "idle");
    h.platform.setSystemMemory(
        LVSystemMemory{16384 * mebibyte, 9000 * mebibyte, 700 * mebibyte, 300 * mebibyte, 1, 1, 1, 1});
    h.start();
    h.sample();
    for (int i = 0; i < 6; ++i) {
        h.platform.change(
            20, [](InMemoryProcessPlatform::Process& p) { p.record.resident_bytes += 100 * mebibyte; });
        h.advance(60, {11, 12});
        h.sample();
    }
}

void sampleBusy(WindowHarness& h) {
    h.advance(60, {11, 12});
    h.sample();
    h.settle();
}

QAbstractButton* button(const QList<QWidget*>& buttons, const QString& text) {
    for (QWidget* widget : buttons) {
        if (auto* b = qobject_cast<QAbstractButton*>(widget); b && b->text() == text)
            return b;
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

QModelIndex memberRow(const ApplicationGroupsModel& model, int32_t pid) {
    for (int g = 0; g < model.rowCount(); ++g) {
        const QModelIndex group = model.index(g, 0);
        for (int c = 0; c < model.rowCount(group); ++c) {
            const QModelIndex child = model.index(c, 0, group);
            if (model.kind(child) == ApplicationGroupsModel::RowKind::member &&
                model.member(child).identity.pid == pid)
                return child;
        }
    }
    return {};
}

// Scrolled so that the application card's top is at the viewport's top, or to the end.
void expectScrolledToApplications(ResourceDashboardView* page) {
    QScrollBar* bar = page->scrollArea()->verticalScrollBar();
    const int top = page->applicationCard()->mapTo(page->scrollArea()->widget(), QPoint(0, 0)).y();
    EXPECT_GT(top, 0);
    EXPECT_EQ(bar->value(), std::min(top, bar->maximum()));
}

std::optional<int32_t> selectedPID(const AppModel& model) {
    return model.selectedID() ? std::optional(model.selectedID()->pid) : std::nullopt;
}

} // namespace

TEST(ResourcePages, EachWayToAnotherPage) {
    WindowHarness h;
    busyMachine(h);
    ASSERT_EQ(h.model->findings().size(), 2);
    ASSERT_EQ(h.model->applicationCPUFindings().size(), 1);
    ASSERT_EQ(h.model->memoryObservations().size(), 1);
    MainView& view = h.open();
    OverviewPage* overview = h.overview();
    const Finding primary = h.model->findings().first();

    const auto fromOverview = [&](const std::function<QAbstractButton*()>& find, Page expected) {
        view.setPage(Page::overview);
        h.settle();
        QAbstractButton* clicked = find();
        ASSERT_TRUE(clicked);
        clicked->click();
        h.settle();
        EXPECT_EQ(view.state().page, expected) << clicked->text().toStdString();
    };
    fromOverview([&] { return overview->priorityCard()->detailsButton(); }, Page::processes);
    EXPECT_EQ(selectedPID(*h.model), primary.sample.identity.pid);
    int32_t topPID = 0;
    fromOverview(
        [&] {
            topPID = overview->topRows().first()->sample().identity.pid;
            return overview->topRows().first();
        },
        Page::processes);
    EXPECT_EQ(selectedPID(*h.model).value_or(-1), topPID);
    fromOverview([&] { return overview->allProcessesLink(); }, Page::processes);
    fromOverview([&] { return overview->strip()->findChild<LVPlainButton*>(); }, Page::resources);

    // The resources page: a memory finding's process, then an application found, opened and scrolled to.
    ResourceDashboardView* resources = view.resourcesPage();
    button(resources->findingButtons(), QStringLiteral("查看进程"))->click();
    h.settle();
    EXPECT_EQ(view.state().page, Page::processes);
    EXPECT_EQ(selectedPID(*h.model), 20);
    view.setPage(Page::resources);
    h.settle();
    for (int press = 0; press < 2; ++press) {
        resources->scrollArea()->verticalScrollBar()->setValue(0);
        button(resources->findingButtons(), QStringLiteral("展开应用"))->click();
        h.settle();
        EXPECT_EQ(resources->search(), QStringLiteral("Orbit Browser"));
        EXPECT_EQ(resources->applications()->searchField()->text(), QStringLiteral("Orbit Browser"));
        EXPECT_TRUE(resources->expanded().contains(orbitID));
        expectScrolledToApplications(resources);
    }
    // "查看任务" on a member.
    QTreeView* list = resources->applications()->view();
    const QModelIndex member = memberRow(*resources->applications()->model(), 12);
    ASSERT_TRUE(member.isValid());
    const QRect link = GroupRowDelegate::linkRect(list->visualRect(member));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, link.center());
    h.settle();
    EXPECT_EQ(view.state().page, Page::processes);
    EXPECT_EQ(h.model->selectedID(), h.listed(12)->identity);

    // Nothing flagged, but resources worth a look: the resting panel leads to the resources page.
    const QList<Finding> findings = h.model->findings();
    for (const Finding& finding : findings)
        h.model->ignore(finding.sample);
    fromOverview([&] { return overview->restingButton(); }, Page::resources);
    EXPECT_EQ(overview->restingState()->titleText()->text(), QStringLiteral("资源变化值得查看"));

    // The reminder settings come without an AI request; the privacy link opens its sheet.
    view.openAISettings();
    fromOverview([&] { return overview->reminderButton(); }, Page::settings);
    EXPECT_FALSE(view.state().aiSettingsRequest);
    view.statusBar()->privacyButton()->click();
    EXPECT_EQ(view.state().sheet, MainSheet::privacy());
}

TEST(ResourcePages, ASampleChangesThePagesInPlace) {
    WindowHarness h;
    busyMachine(h);
    MainView& view = h.open();
    view.setPage(Page::resources);
    h.settle();
    ResourceDashboardView* resources = view.resourcesPage();
    DashboardApplicationList* applications = resources->applications();
    // The tester reports through warnings; any warning fails the test.
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type != QtDebugMsg && type != QtInfoMsg)
                warnings.append(text);
        });
    QAbstractItemModelTester tester(applications->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);

    QTreeView* list = applications->view();
    const QModelIndex orbit = applications->model()->indexOfGroup(orbitID);
    ASSERT_TRUE(orbit.isValid());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(orbit).center());
    ASSERT_TRUE(list->isExpanded(orbit));
    list->setCurrentIndex(memberRow(*applications->model(), 12));
    QLineEdit* field = applications->searchField();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("orb"));
    field->setCursorPosition(2);
    resources->scrollArea()->verticalScrollBar()->setValue(150);
    const int scroll = resources->scrollArea()->verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);

    sampleBusy(h);
    EXPECT_EQ(QApplication::focusWidget(), field);
    EXPECT_EQ(applications->searchField(), field);
    EXPECT_EQ(field->text(), QStringLiteral("orb"));
    EXPECT_EQ(field->cursorPosition(), 2);
    EXPECT_EQ(resources->scrollArea()->verticalScrollBar()->value(), scroll);
    EXPECT_TRUE(list->isExpanded(applications->model()->indexOfGroup(orbitID)));
    EXPECT_EQ(applications->model()->member(list->currentIndex()).identity.pid, 12);

    // Groups come, go and change places under the model tester.
    resources->setSearch({});
    h.add(30, "newcomer");
    sampleBusy(h);
    h.platform.remove(21);
    sampleBusy(h);
    h.advance(60, {20, 30});
    h.sample();
    h.settle();
    EXPECT_EQ(applications->model()->rowCount(), h.model->resourceGroups().size());
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, QStringList());

    // The overview keeps its open evidence and its chips.
    view.setPage(Page::overview);
    sampleBusy(h);
    OverviewPage* overview = h.overview();
    ASSERT_EQ(overview->chips().size(), 2);
    overview->priorityCard()->evidence()->setExpanded(true);
    const QList<LVButton*> chips = overview->chips();
    sampleBusy(h);
    EXPECT_TRUE(overview->priorityCard()->evidence()->isExpanded());
    EXPECT_EQ(overview->chips(), chips);
    // Leaving the overview closes it.
    view.setPage(Page::resources);
    EXPECT_FALSE(overview->priorityCard()->evidence()->isExpanded());

    // The same processes once more: not a widget made or lost.
    sampleBusy(h);
    const QList<QWidget*> before = QApplication::allWidgets();
    sampleBusy(h);
    const QList<QWidget*> after = QApplication::allWidgets();
    EXPECT_EQ(QSet<QWidget*>(before.begin(), before.end()), QSet<QWidget*>(after.begin(), after.end()));
}

TEST(ResourcePages, StatesAndScreenshotPages) {
    {
        // The first sample has memory but no CPU yet.
        WindowHarness h;
        h.add(7, "worker");
        h.platform.setSystemMemory(
            LVSystemMemory{16384 * mebibyte, 9000 * mebibyte, 700 * mebibyte, 300 * mebibyte, 1, 1, 1, 1});
        h.start();
        h.sample();
        MainView& view = h.open();
        view.setSheet(std::nullopt);
        view.setPage(Page::resources);
        h.settle();
        EXPECT_TRUE(view.resourcesPage()->cpuChart()->showsPlaceholder());
        EXPECT_FALSE(view.resourcesPage()->memoryChart()->showsPlaceholder());
    }
    {
        WindowHarness h;
        ResourceDashboardView* page = h.openPreview(QStringLiteral("resources-unknown")).resourcesPage();
        EXPECT_EQ(page->pressureBadge()->title(), QStringLiteral("压力 · 暂不可读取"));
        for (const LVText* value : page->metricValues())
            EXPECT_EQ(value->text(), QStringLiteral("暂不可用"));
        EXPECT_TRUE(page->memoryChart()->showsPlaceholder());
    }
    {
        WindowHarness h;
        ResourceDashboardView* page = h.openPreview(QStringLiteral("resources-empty")).resourcesPage();
        EXPECT_TRUE(page->cpuChart()->showsPlaceholder());
        EXPECT_TRUE(page->memoryChart()->showsPlaceholder());
        EXPECT_EQ(page->applications()->emptyText()->text(), QStringLiteral("完成采样后显示应用资源。"));
        EXPECT_TRUE(page->applications()->emptyText()->isVisibleTo(page));
        EXPECT_EQ(page->applications()->summaryText()->text(),
                  QStringLiteral("0 个当前用户进程归为 0 项；系统和其他用户进程未列入。"));
    }
    {
        WindowHarness h;
        expectScrolledToApplications(h.openPreview(QStringLiteral("resources-applications")).resourcesPage());
    }
}

TEST(ResourcePages, AppearanceSwitchRestylesTheChartsInPlace) {
    WindowHarness h;
    ResourceDashboardView* page = h.openPreview(QStringLiteral("resources")).resourcesPage();
    const QChartView* cpuView = page->cpuChart()->chartView();
    page->windowControl()->setCurrentIndex(1);
    EXPECT_EQ(page->minutes(), 60);
    EXPECT_EQ(page->memoryChart()->chartView()->accessibleName(),
              QStringLiteral("最近 60 分钟压缩内存与交换空间趋势"));
    ASSERT_FALSE(page->cpuChart()->timeLabels().isEmpty());
    const auto colours = [&] {
        QStringList names{page->cpuChart()->timeLabels().first()->brush().color().name()};
        for (const ResourceChartCard* card : {page->cpuChart(), page->memoryChart()})
            for (const QLineSeries* line : card->lines())
                names.append(line->pen().color().name());
        return names;
    };
    const QStringList light = colours();
    for (const Appearance appearance : {Appearance::dark, Appearance::light}) {
        Palette::apply(appearance);
        h.settle();
        EXPECT_EQ(page->cpuChart()->chartView(), cpuView);
        EXPECT_EQ(colours() == light, appearance == Appearance::light);
    }
    EXPECT_EQ(light.first(), Palette::muted.resolved(Appearance::light).name());
}

TEST(ResourcePages, TimeAxisMarksRoundMinutesEachOnce) {
    // Ranges on the local clock: 40 s across a minute, a quarter of an hour off the minute, an hour, and
    // both windows ending three seconds past a mark.
    const QDateTime start(QDate(2026, 1, 31), QTime(10, 30, 50));
    const struct {
        int seconds;
        QStringList labels;
    } cases[] = {
        {40, {"10:31"}},
        {15 * 60, {"10:35", "10:40", "10:45"}},
        {60 * 60, {"11:00", "11:30"}},
        {14 * 60 + 13, {"10:35", "10:40", "10:45"}},
        {59 * 60 + 13, {"11:00", "11:30"}},
    };
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        Palette::apply(appearance);
        for (const int width : {440, 800}) {
            for (const auto& c : cases) {
                ResourceChartCard card(ResourceChartCard::Kind::cpu);
                card.resize(width, 230);
                card.QWidget::show();
                const QList<ResourceHistoryPoint> points = {
                    {start, 0, 1, 20.0, std::nullopt},
                    {start.addSecs(c.seconds), double(c.seconds), 1, 40.0, std::nullopt}};
                card.setData(points, {start, start.addSecs(c.seconds)}, 15, QStringLiteral("40%"));
                WindowHarness::settle();
                // The labels drawn under the plot, left to right: whole within the plot's width and the
                // chart's height, each centred on its minute where there is room, else over it at an end.
                QChart* chart = card.chart();
                const QRectF plot = chart->plotArea();
                QStringList labels;
                for (const QGraphicsSimpleTextItem* label : card.timeLabels()) {
                    const QDateTime minute(start.date(),
                                           QTime::fromString(label->text(), QStringLiteral("HH:mm")));
                    const qreal at =
                        chart->mapToPosition(QPointF(minute.toMSecsSinceEpoch(), 0), chart->series().first())
                            .x();
                    const QRectF drawn = label->mapRectToParent(label->boundingRect());
                    EXPECT_TRUE(plot.left() <= drawn.left() && drawn.right() <= plot.right() &&
                                drawn.bottom() <= chart->size().height())
                        << label->text().toStdString() << " at " << width;
                    EXPECT_TRUE(std::abs(drawn.center().x() - at) <= 2 ||
                                (drawn.left() <= at && at <= drawn.right() &&
                                 (drawn.left() == plot.left() || drawn.right() == plot.right())))
                        << label->text().toStdString() << " at " << width;
                    labels << label->text();
                }
                EXPECT_EQ(labels, c.labels) << c.seconds << " at " << width;
            }
        }
    }
    Palette::apply(Appearance::light);
}

TEST(ResourcePages, TheOpenGroupsPathCanBeSelectedAndCopied) {
    const QString bundle = QStringLiteral("/Applications/Orbit Browser.app");
    const QString desktopFile = QStringLiteral("/usr/share/applications/org.example.Busy.desktop");
    // Shown on one line, each character of it; copied as it is.
    const QString forged = QStringLiteral("/tmp/H10\n回收站位置：假位置\u2069\u202Eab.app");
    ProcessSample member;
    member.identity = {41, 4100};
    member.name = QStringLiteral("orbit");
    const QList<ApplicationResourceGroup> groups = {
        {QStringLiteral("application:") + bundle, QStringLiteral("Orbit Browser"), bundle, {member}},
        {QStringLiteral("desktop:") + desktopFile, QStringLiteral("忙碌示例"), desktopFile, {member}},
        {QStringLiteral("application:") + forged, QStringLiteral("H10"), forged, {member}},
    };
    DashboardApplicationList list;
    list.resize(900, 600);
    list.show();
    list.setContent(groups, {groups[0].id, groups[1].id, groups[2].id}, {});
    WindowHarness::settle();
    for (const ApplicationResourceGroup& group : groups) {
        const QModelIndex open = list.model()->indexOfGroup(group.id);
        const QModelIndex path = list.model()->index(0, 0, open);
        ASSERT_EQ(list.model()->kind(path), ApplicationGroupsModel::RowKind::path);
        auto* field = qobject_cast<QLineEdit*>(list.view()->indexWidget(path));
        ASSERT_TRUE(field) << group.name.toStdString();
        EXPECT_TRUE(field->isVisible());
        EXPECT_EQ(field->text(), SafeText::verbatim(*group.bundlePath));
        // A screen reader and the keyboard search get what the field shows, without its marks.
        for (const int role : {int(Qt::DisplayRole), int(Qt::AccessibleTextRole)})
            EXPECT_EQ(u'\u2066' + path.data(role).toString() + u'\u2069', field->text()) << role;
        // Selected and copied as the user does it; typing changes nothing.
        QTest::mouseDClick(field, Qt::LeftButton, {}, QPoint(4, field->height() / 2));
        EXPECT_TRUE(field->hasSelectedText());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), *group.bundlePath);
        QTest::keyClicks(field, QStringLiteral("x"));
        EXPECT_EQ(field->text(), SafeText::verbatim(*group.bundlePath));
    }
    // A group closed again shows no field.
    list.setContent(groups, {groups[1].id}, {});
    WindowHarness::settle();
    EXPECT_FALSE(
        list.view()->indexWidget(list.model()->index(0, 0, list.model()->indexOfGroup(groups[0].id))));
}

// "复制" from the path field's own menu, over a selection made with "全选" or the mouse, pastes the path.
TEST(ResourcePages, ThePathFieldsMenuCopiesThePath) {
    ProcessSample member;
    member.name = QStringLiteral("tool");
    DashboardApplicationList list;
    list.show();
    for (const QString path : {"/Applications/Plain Tool.app", "/tmp/R\u202Efdp\n.app"}) {
        for (const bool all : {true, false}) {
            const ApplicationResourceGroup group{
                "application:" + path, QStringLiteral("Tool"), path, {member}};
            list.setContent({group}, {group.id}, {});
            WindowHarness::settle();
            const auto* field =
                list.view()->indexWidget(list.model()->index(0, 0, list.model()->index(0, 0)));
            ASSERT_TRUE(field);
            const QPoint middle = field->rect().center();
            QGuiApplication::clipboard()->clear();
            if (all)
                ASSERT_TRUE(chooseFromContextMenu(*field, middle, "全选"));
            else
                dragMouse(*field, {1, middle.y()}, {field->width() - 1, middle.y()});
            ASSERT_TRUE(chooseFromContextMenu(*field, middle, "复制"));
            EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), path.toStdString()) << all;
        }
    }
}

// Seen live: "展开应用" opened the group with its path line wholly selected; the view selects the text of
// every editor it opens.
TEST(ResourcePages, OpeningAGroupSelectsNothing) {
    WindowHarness h;
    busyMachine(h);
    MainView& view = h.open();
    view.setPage(Page::resources);
    h.settle();
    ResourceDashboardView* resources = view.resourcesPage();
    DashboardApplicationList* list = resources->applications();
    const ApplicationGroupsModel& model = *list->model();
    const auto pathField = [&] {
        return qobject_cast<QLineEdit*>(
            list->view()->indexWidget(model.index(0, 0, model.indexOfGroup(orbitID))));
    };
    // "展开应用", then the group closed and opened again by a click on its row.
    QTest::mouseClick(button(resources->findingButtons(), QStringLiteral("展开应用")), Qt::LeftButton);
    h.settle();
    ASSERT_TRUE(pathField());
    EXPECT_FALSE(pathField()->hasSelectedText());
    for (int click = 0; click < 2; ++click) {
        const QRect row = list->view()->visualRect(model.indexOfGroup(orbitID));
        QTest::mouseClick(list->view()->viewport(), Qt::LeftButton, {}, row.center());
        h.settle();
    }
    ASSERT_TRUE(pathField());
    EXPECT_FALSE(pathField()->hasSelectedText());
}

TEST(ResourcePages, EveryControlReachedWithTabShowsItsRing) {
    WindowHarness h;
    busyMachine(h);
    MainView& view = h.open();
    view.setPage(Page::resources);
    h.settle();
    ResourceDashboardView* resources = view.resourcesPage();
    QTest::mouseClick(button(resources->findingButtons(), QStringLiteral("展开应用")), Qt::LeftButton);
    h.settle();
    // The open group's path is a text field too.
    EXPECT_TRUE(
        everyFocusShows(view, *resources, *resources->windowControl(),
                        {"QLineEdit 搜索应用", "QTreeView", "lunorvale::PathField \u2066/Applications"}));
}
