// The overview page over a scripted process table: what stays in place while samples come in.
#include "ui/window/OverviewPage.h"
#include "WindowHarness.h"
#include "core/monitoring/DisplayFormat.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/window/PriorityTaskCard.h"
#include "ui_kit/FocusWalk.h"

#include <QFontMetricsF>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <map>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// Thirty seconds on both clocks with each process at its share of one core, then a sample.
void sampleAt(WindowHarness& h, const std::map<int32_t, double>& shares) {
    h.advance(30);
    for (const auto& entry : shares) {
        const double share = entry.second;
        h.platform.change(entry.first, [share](InMemoryProcessPlatform::Process& p) {
            p.record.cpu_ns += static_cast<uint64_t>(30 * share * 1e9);
        });
    }
    h.sample();
    h.settle();
}

// One busy worker, the only finding, beside four idle processes.
void flagOneWorker(WindowHarness& h) {
    h.quickRules();
    h.store().setValue(AppModel::Keys::hasCompletedOnboarding, true);
    h.add(11, "worker");
    for (int32_t pid = 20; pid < 24; ++pid)
        h.add(pid, "idle");
    h.start();
    h.sample();
    for (int i = 0; i < 3 && h.model->findings().isEmpty(); ++i)
        sampleAt(h, {{11, 0.99}});
    ASSERT_EQ(h.model->findings().size(), 1);
}

QList<int32_t> chipPIDs(const OverviewPage& page, const AppModel& model) {
    QList<int32_t> pids;
    for (const LVButton* chip : page.chips()) {
        for (const Finding& finding : model.findings())
            if (chip->text().contains(QStringLiteral("PID %1 ").arg(finding.sample.identity.pid)))
                pids.append(finding.sample.identity.pid);
    }
    return pids;
}

} // namespace

TEST(OverviewPage, TheFindingsShownStayWhereTheUserSawThem) {
    WindowHarness h;
    h.quickRules();
    h.store().setValue(AppModel::Keys::hasCompletedOnboarding, true);
    h.add(11, "worker");
    h.add(12, "worker");
    h.start();
    h.sample();
    for (int i = 0; i < 3; ++i)
        sampleAt(h, {{11, 0.95}, {12, 0.99}});
    ASSERT_EQ(h.model->findings().size(), 2);
    h.open();
    OverviewPage& page = *h.overview();
    PriorityTaskCard& card = *page.priorityCard();
    ASSERT_EQ(card.finding().sample.identity.pid, 12);
    const QList<LVButton*> chips = page.chips();
    EXPECT_EQ(chipPIDs(page, *h.model), (QList<int32_t>{12, 11}));

    // The loads swap places in the model's order, sample after sample: nothing moves on the page.
    for (int i = 0; i < 3; ++i) {
        sampleAt(h, {{11, 0.99 - i * 0.01}, {12, 0.94 + i * 0.02}});
        EXPECT_EQ(card.finding().sample.identity.pid, 12);
        EXPECT_EQ(page.chips(), chips);
        EXPECT_EQ(chipPIDs(page, *h.model), (QList<int32_t>{12, 11}));
        EXPECT_EQ(chips.first()->kind(), LVButtonKind::primary);
    }

    // "静音 1 小时" pressed while the card shows 12; 12 ends and the card turns to 11 before the
    // release: the click is for 12, which is gone, and 11 stays a finding.
    QTest::mousePress(card.muteButton(), Qt::LeftButton);
    h.platform.remove(12);
    sampleAt(h, {{11, 0.99}});
    ASSERT_EQ(card.finding().sample.identity.pid, 11);
    QTest::mouseRelease(card.muteButton(), Qt::LeftButton);
    h.settle();
    EXPECT_EQ(h.model->findings().size(), 1);
    EXPECT_FALSE(h.model->isIgnored(card.finding().sample));
}

TEST(OverviewPage, AControlThatGoesTakesNeitherFocusNorScrollElsewhere) {
    WindowHarness h;
    ASSERT_NO_FATAL_FAILURE(flagOneWorker(h));
    // The smallest window: the busiest processes lie below the fold.
    h.open(std::nullopt, QSize(1040, 720));
    OverviewPage& page = *h.overview();
    QScrollBar* scroll = page.scrollArea()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);

    // With the evidence open, "静音 1 小时" ends the only finding: the card gives way to the resting
    // panel in its place.
    page.priorityCard()->evidence()->setExpanded(true);
    h.settle();
    QAbstractButton* mute = page.priorityCard()->muteButton();
    QTest::mouseClick(mute, Qt::LeftButton);
    h.settle();
    ASSERT_TRUE(h.model->findings().isEmpty());
    EXPECT_TRUE(page.restingPanel()->isVisible());
    EXPECT_EQ(scroll->value(), 0);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus);
    EXPECT_TRUE(focus->isVisible());
    // On the page, where the user looks.
    QWidget* viewport = page.scrollArea()->viewport();
    ASSERT_TRUE(viewport->isAncestorOf(focus));
    EXPECT_TRUE(QRect(focus->mapTo(viewport, QPoint(0, 0)), focus->size()).intersects(viewport->rect()));
}

TEST(OverviewPage, ThePriorityCardAndTheNextStepsEndOnOneLine) {
    WindowHarness h;
    ASSERT_NO_FATAL_FAILURE(flagOneWorker(h));
    // The next steps end where the card does, whatever its width and however tall its open evidence makes it.
    for (const int width : {1040, 1600}) {
        h.open(std::nullopt, QSize(width, 820));
        PriorityTaskCard* card = h.overview()->priorityCard();
        for (const bool evidence : {false, true}) {
            card->evidence()->setExpanded(evidence);
            h.settle();
            for (const QWidget* panel :
                 card->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                EXPECT_EQ(panel->geometry().bottom(), card->geometry().bottom()) << width << evidence;
        }
    }
}

// At the window's smallest width a long name gives way, on the card and in its chip; the figures beside it
// show whole, and the chips stay on the page.
TEST(OverviewPage, ALongNameGivesWayToTheFiguresBesideIt) {
    const QByteArray names[] = {"org.example.RenderingWorker-" + QByteArray(160, 'x') + "-end",
                                QStringLiteral("很长的后台渲染任务名称").repeated(8).toUtf8()};
    for (const QByteArray& name : names) {
        WindowHarness h;
        h.quickRules();
        h.store().setValue(AppModel::Keys::hasCompletedOnboarding, true);
        h.add(74213, name);
        h.add(12, "worker");
        h.platform.change(74213,
                          [](InMemoryProcessPlatform::Process& p) { p.record.resident_bytes = 1632000000; });
        h.start();
        h.sample();
        for (int i = 0; i < 3 && h.model->findings().size() < 2; ++i)
            sampleAt(h, {{74213, 0.99}, {12, 0.95}});
        ASSERT_EQ(h.model->findings().size(), 2);
        h.open();
        h.view->resize(h.view->minimumSize());
        OverviewPage& page = *h.overview();
        page.priorityCard()->evidence()->setExpanded(true);
        h.settle();

        const Finding& finding = page.priorityCard()->finding();
        ASSERT_EQ(finding.sample.identity.pid, 74213);
        QHash<QString, const LVText*> facts;
        for (const LVText* text : page.priorityCard()->evidence()->findChildren<LVText*>())
            facts.insert(text->text(), text);
        for (const QString& figure :
             {DisplayFormat::memory(finding.sample.residentBytes), QStringLiteral("PID 74213")}) {
            ASSERT_TRUE(facts.contains(figure) && facts[figure]->isVisible()) << figure.toStdString();
            EXPECT_FALSE(facts[figure]->isTruncated()) << figure.toStdString();
        }
        ASSERT_TRUE(facts.contains(finding.sample.name));
        EXPECT_TRUE(facts[finding.sample.name]->isTruncated());

        // The row lies within the page; the long name's chip, no wider than the row, shows its figure
        // whole after the cut name, and the row scrolls to the other chip's whole label.
        const QList<LVButton*> chips = page.chips();
        ASSERT_EQ(chips.size(), 2);
        QWidget* row = page.chipRow()->viewport();
        const QRect onPage(row->mapTo(page.scrollArea()->viewport(), QPoint()), row->size());
        EXPECT_TRUE(page.scrollArea()->viewport()->rect().contains(onPage));
        EXPECT_LE(chips[0]->width(), row->width());
        for (const LVButton* chip : chips)
            EXPECT_LE(QFontMetricsF(chip->font()).horizontalAdvance(chip->shownText()), chip->width());
        EXPECT_EQ(chips[0]->text(), OverviewLogic::chipTitle(finding, false));
        EXPECT_TRUE(chips[0]->shownText().contains(u'…'));
        EXPECT_TRUE(chips[0]->shownText().endsWith(OverviewLogic::chipFigures(finding, false)));
        EXPECT_EQ(chips[1]->shownText(), chips[1]->text());
        EXPECT_GT(page.chipRow()->horizontalScrollBar()->maximum(), 0);
    }
}

// Many findings at the window's smallest width: every chip shows its whole name; the row scrolls to each
// chip Tab reaches, and the wheel moves it along up to its end, then goes on to the page.
TEST(OverviewPage, ManyChipsKeepTheirWholeNamesAndTheRowScrolls) {
    for (const int count : {4, 9}) {
        WindowHarness h;
        h.quickRules();
        h.store().setValue(AppModel::Keys::hasCompletedOnboarding, true);
        std::map<int32_t, double> shares;
        for (int32_t pid = 100; pid < 100 + count; ++pid) {
            h.add(pid, "media-transcoder-worker-" + QByteArray::number(pid));
            shares[pid] = 0.9;
        }
        h.start();
        h.sample();
        for (int i = 0; i < 3 && h.model->findings().size() < count; ++i)
            sampleAt(h, shares);
        ASSERT_EQ(h.model->findings().size(), count);
        h.open(std::nullopt, QSize(1040, 720));
        const OverviewPage& page = *h.overview();
        QWidget* row = page.chipRow()->viewport();
        QScrollBar* across = page.chipRow()->horizontalScrollBar();
        ASSERT_GT(across->maximum(), 0) << count;
        page.chips().first()->setFocus(Qt::TabFocusReason);
        for (const LVButton* chip : page.chips()) {
            EXPECT_EQ(chip->shownText(), chip->text());
            EXPECT_EQ(QApplication::focusWidget(), chip);
            EXPECT_TRUE(row->rect().contains(QRect(chip->mapTo(row, QPoint()), chip->size()))) << count;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (const int from : {0, across->maximum()}) {
            across->setValue(from);
            QWheelEvent wheel(QPointF(4, 4), row->mapToGlobal(QPointF(4, 4)), {}, QPoint(0, -120), {}, {},
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(row, &wheel);
            EXPECT_EQ(wheel.isAccepted(), from == 0);
            EXPECT_EQ(across->value() > from, from == 0);
        }
    }
}

TEST(OverviewPage, EveryControlReachedWithTabShowsItsRing) {
    WindowHarness h;
    ASSERT_NO_FATAL_FAILURE(flagOneWorker(h));
    h.open();
    // Round the whole window: the bars, the page's links, card, next steps and rows.
    QWidget& start = *h.overview()->priorityCard()->evidence()->header();
    EXPECT_TRUE(everyFocusShows(*h.view, *h.view, start, {"LVPlainButton", "ProcessRowButton", "LVButton"}));
}
