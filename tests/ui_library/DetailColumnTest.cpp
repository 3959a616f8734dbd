// The detail column's scroll position and focus as the selection, a removal check and an advice request
// go on.

#include "PageHarness.h"
#include "core/ai/AIServiceError.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/library/ApplicationRemovalConfirmation.h"
#include "ui_kit/WindowWaits.h"

#include <QScrollArea>
#include <QScrollBar>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

const InstalledApplication a = listedApplication("A"), b = listedApplication("B");

// A page small enough that the details scroll; A selected.
ApplicationLibraryView& shown(PageHarness& h) {
    h.library.listed = {a, b};
    ApplicationLibraryView& view = h.show();
    view.resize(1040, 560);
    h.runWork();
    EXPECT_TRUE(h.model().scannedAt().has_value() && !h.model().sizing());
    h.model().setSelectedID(a.id());
    h.settle();
    return view;
}

QScrollArea* detailScroll(ApplicationLibraryView& view) {
    return view.details()->findChild<QScrollArea*>();
}

// Whether the line's first row of text lies within the column's visible part.
bool inView(ApplicationLibraryView& view, QWidget* line) {
    QWidget* viewport = detailScroll(view)->viewport();
    const int top = line->mapTo(viewport, QPoint(0, 0)).y();
    return line->isVisible() && top >= 0 && top + line->fontMetrics().height() <= viewport->height();
}

} // namespace

TEST(DetailColumn, AnotherApplicationStartsAtTheTopAndARefreshKeepsThePlace) {
    struct Case {
        const char* name;
        std::function<void(PageHarness&)> change;
        bool top;
    };
    const Case cases[] = {
        {"another row clicked", [](PageHarness& h) { h.clickRow(h.view->listModel()->rowOf(b.id())); }, true},
        {"the model selects another", [](PageHarness& h) { h.model().setSelectedID(b.id()); }, true},
        {"a tick", [](PageHarness& h) { h.model().setChecked({b.id()}); }, false},
        {"a message",
         [](PageHarness& h) { h.model().setMessage(QStringLiteral("已取消检查，没有移除应用。")); }, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        PageHarness h;
        ApplicationLibraryView& view = shown(h);
        QScrollBar* bar = detailScroll(view)->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        const int scrolled = bar->value();
        test.change(h);
        h.settle();
        EXPECT_EQ(bar->value(), test.top ? 0 : scrolled);
    }
}

// The control that was used goes away; focus moves to the one that took its place, never down the page.
TEST(DetailColumn, FocusStaysWithTheRemovalActionsThroughACheck) {
    enum class End { sheetCancelled, failed };
    for (const End end : {End::sheetCancelled, End::failed}) {
        SCOPED_TRACE(int(end));
        PageHarness h;
        // The check runs when the test steps the library's work.
        h.library.prepare = [&](const InstalledApplication& application) {
            if (end == End::failed)
                throw ApplicationManagementError::blocked(QStringLiteral("签名无效。"));
            return ApplicationRemovalPlan{
                QUuid::createUuid(), application, {}, QDateTime::currentDateTimeUtc()};
        };
        ApplicationLibraryView& view = shown(h);
        view.activateWindow();
        ASSERT_TRUE(test::waitForActive(&view));
        ApplicationLibraryDetails& details = *view.details();

        QTest::mouseClick(details.removeButton(), Qt::LeftButton);
        h.settle();
        ASSERT_TRUE(h.model().checkingRemoval());
        EXPECT_EQ(QApplication::focusWidget(), details.cancelCheckButton());

        h.runWork();
        ASSERT_FALSE(h.model().checkingRemoval());
        h.settle();
        if (end == End::sheetCancelled) {
            ASSERT_TRUE(qobject_cast<ApplicationRemovalConfirmation*>(view.sheet()->content()));
            QTest::keyClick(view.sheet(), Qt::Key_Escape);
            h.settle();
            ASSERT_FALSE(view.sheet());
            // The window system gives the window back its activation.
            view.activateWindow();
            ASSERT_TRUE(test::waitForActive(&view));
        }
        EXPECT_EQ(QApplication::focusWidget(), details.removeButton());
    }
}

// Whatever the request produces comes into view, even below long details the user scrolled away from.
TEST(DetailColumn, TheAdviceSectionComesIntoViewWithEachOutcome) {
    const AIServiceError failure(AIServiceError::Kind::invalidEndpoint);
    for (const bool replies : {true, false}) {
        SCOPED_TRACE(replies);
        PageHarness h;
        AICompletion completion;
        h.library.services.analyze = [&](const QString&, const AIConfiguration&, const QString&,
                                         AIAnalysisPurpose, AICompletion done) {
            completion = std::move(done);
            return AIRequestHandle();
        };
        ApplicationLibraryView& view = shown(h);
        ApplicationLibraryDetails& details = *view.details();
        QScrollBar* bar = detailScroll(view)->verticalScrollBar();

        h.model().analyze("[]", h.configuration, QDateTime::currentDateTime());
        h.settle();
        EXPECT_TRUE(inView(view, details.adviceProgress()));
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        ASSERT_FALSE(inView(view, details.adviceProgress()));

        completion(replies ? AIAnalysisOutcome{QStringLiteral("保留 A。"), {}, false}
                           : AIAnalysisOutcome{{}, failure, false});
        h.settle();
        EXPECT_TRUE(inView(view, replies ? static_cast<QWidget*>(details.reply()) : details.adviceError()));
    }
}
