#include "PageHarness.h"
#include "core/ai/AIServiceError.h"
#include "platform/desktop/AIClient.h"
#include "support/LoopbackHttpServer.h"
#include "support/ModelTesterGuard.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/library/ApplicationAdviceConsentView.h"
#include "ui/library/ApplicationReceiptsView.h"
#include "ui/library/ApplicationRemovalConfirmation.h"
#include "ui_kit/WindowWaits.h"

#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// Runs the scan the shown page started until its list is published; the sizes and the look at the
// running applications that follow stay waiting.
ApplicationLibraryModel& scanned(PageHarness& h, qsizetype count) {
    while (h.model().applications().size() != count && h.library.executor.runNext())
        h.settle();
    EXPECT_EQ(h.model().applications().size(), count);
    h.settle();
    return h.model();
}

} // namespace

// Typing filters at once; sizes arriving change rows in place, so nothing the user holds is lost.
TEST(LibraryPage, ListNarrowsPerKeystrokeAndSizesNeverResetIt) {
    PageHarness h;
    h.library.listed = numberedApplications(40);
    h.library.services.bundleSize = [&](const InstalledApplication& application, const CancellationToken&) {
        return int64_t(application.name().size() * 1000);
    };
    ApplicationLibraryView& view = h.show();
    ApplicationLibraryModel& model = scanned(h, 40);
    QAbstractItemModelTester tester(view.listModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(view.countText()->text(), "40 个应用");

    QStringList counts;
    QObject::connect(view.searchField(), &QLineEdit::textChanged,
                     [&] { counts.append(view.countText()->text()); });
    QTest::keyClicks(view.searchField(), "App 1");
    EXPECT_EQ(counts, QStringList({"40 个应用", "40 个应用", "40 个应用", "40 个应用", "10 个应用"}));
    QTest::keyClick(view.searchField(), Qt::Key_Backspace);
    view.searchField()->setCursorPosition(2);
    view.list()->scrollToBottom();
    h.clickRow(38);
    view.searchField()->setFocus();
    h.settle();

    QSignalSpy resets(view.listModel(), &QAbstractItemModel::modelAboutToBeReset);
    const int scroll = view.list()->verticalScrollBar()->value();
    QWidget* const details = view.details()->detailsBlock();
    const std::optional<QString> selected = model.selectedID();
    ASSERT_TRUE(selected);
    EXPECT_EQ(view.listModel()->data(view.listModel()->index(0), ApplicationListModel::SizeRole), "计算中…");
    EXPECT_TRUE(model.sizing());
    h.runWork();
    ASSERT_FALSE(model.sizing());
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(view.list()->verticalScrollBar()->value(), scroll);
    EXPECT_EQ(QApplication::focusWidget(), view.searchField());
    EXPECT_EQ(view.searchField()->cursorPosition(), 2);
    EXPECT_EQ(model.selectedID(), selected);
    EXPECT_EQ(view.details()->detailsBlock(), details);
    EXPECT_EQ(view.listModel()->data(view.listModel()->index(0), ApplicationListModel::SizeRole), "6 kB");

    // What assistive technology reads.
    EXPECT_EQ(view.filterButton()->accessibleName(), "应用筛选");
    EXPECT_EQ(view.sortButton()->accessibleName(), "应用排序");
    EXPECT_EQ(view.bannerClose()->accessibleName(), "关闭应用操作结果");
    EXPECT_EQ(view.searchField()->accessibleName(), "搜索应用名称、标识或位置");
    const QModelIndex first = view.listModel()->index(0);
    EXPECT_EQ(first.data(Qt::AccessibleTextRole), "App 00");
    EXPECT_EQ(first.data(Qt::AccessibleDescriptionRole), "\u20681.0\u2069 · 可检查移除，6 kB");
    view.setShowAISelection(true);
    EXPECT_EQ(first.data(ApplicationListModel::TickNameRole), "将 \u2068App 00\u2069 加入 AI 清单");
}

TEST(LibraryPage, TicksStopAtTwentyAndBoxesStayUsableWhileRowsAreBlocked) {
    PageHarness h;
    h.library.listed = numberedApplications(21);
    h.library.prepare = [&](const InstalledApplication& application) {
        return ApplicationRemovalPlan{QUuid::createUuid(), application, {}, QDateTime::currentDateTimeUtc()};
    };
    ApplicationLibraryView& view = h.show();
    ApplicationLibraryModel& model = scanned(h, 21);
    QTest::mouseClick(view.selectionToggle(), Qt::LeftButton);
    h.settle();
    ASSERT_TRUE(view.selectionText()->isVisible());
    for (int row = 0; row < 19; ++row)
        model.setChecked(model.checked() + QSet<QString>{model.applications()[row].id()});
    for (const int row : {19, 20}) {
        view.list()->scrollTo(view.listModel()->index(row));
        h.clickRow(row, true);
    }
    EXPECT_EQ(model.checked().size(), 20);
    EXPECT_FALSE(model.checked().contains(model.applications().last().id()));
    EXPECT_EQ(model.message(), "每次最多选择 20 个应用。");
    EXPECT_EQ(view.selectionText()->text(), "已选 20 项，仅用于 AI 分析");

    const QSet<QString> kept = {model.applications().first().id()};
    model.setChecked(kept);
    QTest::mouseClick(view.selectVisibleButton(), Qt::LeftButton);
    EXPECT_EQ(model.message(), "每次最多分析 20 个应用，请先搜索筛选，或逐项勾选。");
    EXPECT_EQ(model.checked(), kept);
    QTest::keyClicks(view.searchField(), "App 1");
    QTest::mouseClick(view.selectVisibleButton(), Qt::LeftButton);
    EXPECT_EQ(model.checked().size(), 10);
    EXPECT_FALSE(model.checked().contains(kept.values().first()));
    view.searchField()->clear();
    h.settle();

    // A check in progress holds the selection; the boxes still toggle.
    view.list()->scrollToTop();
    h.clickRow(0);
    const QString selected = model.selectedID().value();
    model.prepareRemoval(model.applications().first());
    h.settle();
    ASSERT_TRUE(model.checkingRemoval());
    h.clickRow(3);
    view.list()->setFocus();
    QTest::keyClick(view.list(), Qt::Key_Down);
    EXPECT_EQ(model.selectedID(), selected);
    const bool ticked = model.checked().contains(model.applications()[3].id());
    h.clickRow(3, true);
    EXPECT_NE(model.checked().contains(model.applications()[3].id()), ticked);
    // Cancelling shows while the check winds down, and cannot be asked twice.
    QTest::mouseClick(view.details()->cancelCheckButton(), Qt::LeftButton);
    h.settle();
    EXPECT_EQ(view.details()->progressText()->text(), "已取消，正在结束当前检查…");
    EXPECT_FALSE(view.details()->cancelCheckButton()->isEnabled());
    h.runWork();
    ASSERT_FALSE(model.checkingRemoval());
    EXPECT_EQ(model.message(), "已取消检查，没有移除应用。");
    EXPECT_FALSE(model.removalPlan());
    QTest::keyClick(view.list(), Qt::Key_Down);
    EXPECT_NE(model.selectedID(), selected);
}

TEST(LibraryPage, AppearsWhenShownAndLeavesWhenHiddenNotWhenMinimised) {
    PageHarness h;
    int scans = 0, receiptReads = 0, runningReads = 0;
    h.library.listed = {listedApplication("A")};
    h.library.reached = [&](const char* what) {
        runningReads += QByteArray(what) == "processes";
    };
    const auto scan = h.library.services.scan;
    h.library.services.scan = [&, scan](const CancellationToken& token) {
        return ++scans, scan(token);
    };
    const auto log = h.library.services.removalLog;
    h.library.services.removalLog = [&, log] {
        return ++receiptReads, log();
    };
    ApplicationLibraryModel& model = h.library.start();

    QStackedWidget host;
    auto* other = new QWidget;
    ApplicationLibraryView* view = new ApplicationLibraryView(model, h.configuration, {});
    host.addWidget(other);
    host.addWidget(view);
    host.show();
    ASSERT_TRUE(test::waitForExposed(&host));
    EXPECT_EQ(scans, 0);
    EXPECT_FALSE(view->runningTimer()->isActive());

    host.setCurrentWidget(view);
    h.runWork();
    EXPECT_TRUE(model.scannedAt().has_value());
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(receiptReads, 1);
    EXPECT_TRUE(view->runningTimer()->isActive());

    host.setCurrentWidget(other); // a page switch, as the help panel also does
    EXPECT_FALSE(view->runningTimer()->isActive());
    // Shown again, the page looks at the running applications afresh at once (its timer may add more
    // looks later) and reads the receipts again, without a new scan.
    const int reads = runningReads;
    host.setCurrentWidget(view);
    EXPECT_EQ(h.library.executor.pending(), 1);
    h.runWork();
    EXPECT_GE(runningReads, reads + 1);
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(receiptReads, 2);

    host.showMinimized();
    h.settle();
    EXPECT_TRUE(view->runningTimer()->isActive());
    host.close();
    EXPECT_FALSE(view->runningTimer()->isActive());
    EXPECT_FALSE(view->hasAppeared());

    PageHarness preview;
    QStringList reached;
    preview.library.reached = [&](const char* what) {
        reached.append(what);
    };
    ApplicationLibraryView& shown = preview.show(true);
    shown.hide();
    preview.settle();
    EXPECT_TRUE(reached.isEmpty()) << reached.join(',').toStdString();
    EXPECT_FALSE(shown.icons());
}

TEST(LibraryPage, SheetsComeOneAtATimeEscapeCancelsAndReturnNeverConfirms) {
    PageHarness h;
    int executed = 0;
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B");
    h.library.listed = {a, b};
    h.library.execute = [&](const ApplicationRemovalPlan& plan) {
        ++executed;
        return ApplicationRemovalResult{
            {plan.id, {}, plan.application.id(), "/t/A.app", "已移入废纸篓"}, true, false};
    };
    ApplicationLibraryView& view = h.show();
    ApplicationLibraryModel& model = scanned(h, 2);
    model.setSelectedID(a.id());
    h.settle();

    const auto checked = [&] {
        QTest::mouseClick(view.details()->removeButton(), Qt::LeftButton);
        h.runWork();
        EXPECT_TRUE(model.removalPlan().has_value());
        return qobject_cast<ApplicationRemovalConfirmation*>(view.sheet() ? view.sheet()->content()
                                                                          : nullptr);
    };
    ApplicationRemovalConfirmation* first = checked();
    ASSERT_TRUE(first);
    const QUuid plan = model.removalPlan()->id;
    QTest::keyClick(view.sheet(), Qt::Key_Return);
    QTest::keyClick(first, Qt::Key_Enter);
    h.settle();
    EXPECT_EQ(model.removalPlan()->id, plan);
    QTest::keyClick(first, Qt::Key_Escape);
    h.settle();
    EXPECT_FALSE(model.removalPlan());
    EXPECT_FALSE(view.sheet());

    // The receipts are open when a plan arrives: it waits for them to close.
    QTest::mouseClick(view.receiptsButton(), Qt::LeftButton);
    h.settle();
    QWidget* receipts = view.sheet()->content();
    model.prepareRemoval(a);
    h.runWork();
    ASSERT_TRUE(model.removalPlan().has_value());
    EXPECT_EQ(view.sheet()->content(), receipts);
    QTest::keyClick(receipts, Qt::Key_Escape);
    h.settle();
    auto* second = qobject_cast<ApplicationRemovalConfirmation*>(view.sheet()->content());
    ASSERT_TRUE(second);
    EXPECT_NE(model.removalPlan()->id, plan);
    QTest::mouseClick(second->cancelButton(), Qt::LeftButton);
    h.settle();
    EXPECT_EQ(executed, 0);

    ApplicationRemovalConfirmation* third = checked();
    ASSERT_TRUE(third);
    QTest::mouseClick(third->confirmButton(), Qt::LeftButton);
    QTest::mouseClick(third->confirmButton(), Qt::LeftButton);
    h.runWork();
    ASSERT_FALSE(model.removing() || model.applications().contains(a));
    EXPECT_EQ(executed, 1);
    EXPECT_FALSE(view.sheet());
    EXPECT_EQ(model.selectedID(), b.id());

    // The quit alert: "取消" does nothing; confirming starts the wait.
    h.library.running = {runningTarget(b)};
    model.refreshRunning();
    h.runWork();
    ASSERT_TRUE(model.runningIDs().contains(b.id()));
    ASSERT_TRUE(view.details()->quitButton()->isVisible());
    QTest::mouseClick(view.details()->quitButton(), Qt::LeftButton);
    ASSERT_EQ(h.alerts.size(), 1);
    EXPECT_EQ(h.alerts[0].title, "保存工作后请求退出？");
    EXPECT_TRUE(h.alerts[0].message.startsWith("请先保存 \u2068B\u2069 中的工作。"));
    EXPECT_FALSE(h.alerts[0].destructive);
    EXPECT_FALSE(model.quittingApplicationID());
    h.answer = true;
    QTest::mouseClick(view.details()->quitButton(), Qt::LeftButton);
    EXPECT_EQ(model.quittingApplicationID(), b.id());
    h.settle();
    EXPECT_TRUE(view.details()->quitWait()->isVisible());
    EXPECT_TRUE(view.details()->stopWaitingButton()->isEnabled());
}

// Consent gates every request: only the sheet's confirm button sends, and it sends what was shown.
TEST(LibraryPage, NothingIsSentBeforeTheShownListIsConfirmed) {
    LoopbackHttpServer server;
    server.setDefaultReply(LoopbackHttpServer::chatReply("**粗体**"));
    PageHarness h;
    h.library.services.analyze = AIClient().request();
    h.library.listed = {listedApplication("A"), listedApplication("B")};
    h.configuration = {server.baseURL(), "m"};
    ApplicationLibraryView& view = h.show();
    ApplicationLibraryModel& model = scanned(h, 2);
    model.setChecked({model.applications()[0].id()});
    view.setShowAISelection(true);

    const auto consentSheet = [&] {
        QTest::mouseClick(view.adviceButton(), Qt::LeftButton);
        h.settle();
        return qobject_cast<ApplicationAdviceConsentView*>(view.sheet() ? view.sheet()->content() : nullptr);
    };
    ApplicationAdviceConsentView* sheet = consentSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->cardCount(), 1);
    QTest::keyClick(sheet, Qt::Key_Return);
    QTest::keyClick(sheet, Qt::Key_Escape);
    h.settle();
    EXPECT_FALSE(view.sheet());
    sheet = consentSheet();
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    h.settle();
    EXPECT_EQ(server.requests().size(), 0);

    const QString summary = model.summary();
    sheet = consentSheet();
    QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !model.aiResult().isEmpty(); }));
    h.settle();
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray body = server.requests()[0].body;
    bool sent = false;
    for (const QJsonValue message : QJsonDocument::fromJson(body).object().value("messages").toArray())
        sent = sent || message.toObject().value("content").toString().contains(summary);
    EXPECT_TRUE(sent);
    EXPECT_FALSE(body.contains(QDir::homePath().toUtf8()));
    EXPECT_EQ(view.details()->reply()->text(), "**粗体**");

    h.configuration.model = "  ";
    view.setConfiguration({server.baseURL(), "  "});
    QTest::mouseClick(view.adviceButton(), Qt::LeftButton);
    EXPECT_EQ(h.aiSettings, 1);
    h.runWork(); // nothing on its way: a look asked for now would be handed over
    const int work = h.library.executor.handedOver();
    view.setConfiguration({"http://example.invalid/v1", "m"});
    QTest::mouseClick(view.adviceButton(), Qt::LeftButton);
    EXPECT_EQ(model.message(), AIServiceError(AIServiceError::Kind::invalidEndpoint).errorDescription());
    EXPECT_EQ(h.library.executor.handedOver(), work);
    h.settle();
    EXPECT_FALSE(view.sheet());
    EXPECT_EQ(server.requests().size(), 1);

    // A list that does not decode shows no cards; confirming still hands on the text.
    int confirmed = 0;
    ApplicationAdviceConsentView undecodable({QUuid::createUuid(), "not json", h.configuration, {}, 3}, false,
                                             {}, [&] { ++confirmed; });
    EXPECT_EQ(undecodable.cardCount(), 0);
    QTest::mouseClick(undecodable.confirmButton(), Qt::LeftButton);
    EXPECT_EQ(confirmed, 1);
}

// A file name cannot add a line to the confirmation or a receipt, nor turn their words round: each of
// its characters shows. Copied, the path is the real one, with the U+2069 it holds.
TEST(LibraryPage, PathsShowEveryCharacterOnTheirLineAndCopyAsTheyAre) {
    const InstalledApplication bundle = listedApplication("H10\n回收站位置：假位置\u2069\u202Eab");
    const QString trash = "/t/H10\n回收站位置：假位置\u2069\u202Eab.app";
    PageHarness h;
    ApplicationRemovalLog(QUrl::fromLocalFile(h.library.folder.filePath("r.json")))
        .save({{QUuid::createUuid(), QDateTime::currentDateTimeUtc(), bundle.id(), trash, "已移入回收站"}});
    ApplicationLibraryView& view = h.show();
    QTest::mouseClick(view.receiptsButton(), Qt::LeftButton);
    h.settle();
    auto* receipts = qobject_cast<ApplicationReceiptsView*>(view.sheet()->content());
    ASSERT_TRUE(receipts && receipts->cards().size() == 1);
    ApplicationRemovalConfirmation confirmation(bundle, {}, {});
    const struct {
        LVSelectableText* text;
        QStringList lines; // as they begin
        QString copied;
    } shown[] = {
        {receipts->cards()[0]->findChild<LVSelectableText*>(),
         {"原位置：\u2066/Applications/H10\\n回收站位置：", "回收站位置：\u2066/t/H10\\n回收站位置："},
         "原位置：" + bundle.id() + "\n回收站位置：" + trash},
        {confirmation.findChild<LVSelectableText*>(),
         {"\u2066/Applications/H10\\n回收站位置："},
         bundle.id()},
    };
    for (const auto& s : shown) {
        const QStringList lines = s.text->shownText().split(u'\n');
        ASSERT_EQ(lines.size(), s.lines.size()) << s.text->shownText().toStdString();
        for (qsizetype line = 0; line < lines.size(); ++line)
            EXPECT_TRUE(lines[line].startsWith(s.lines[line])) << lines[line].toStdString();
        EXPECT_FALSE(s.text->shownText().contains(u'\u202E'));
        s.text->selectAll();
        s.text->copy();
        EXPECT_EQ(QApplication::clipboard()->text(), s.copied);
    }
}

TEST(LibraryPage, ReceiptsListNewestFirstAndClearOnlyThroughTheAlert) {
    PageHarness h;
    const QDateTime older(QDate(2026, 1, 2), QTime(3, 4)), newer = older.addDays(1);
    const ApplicationRemovalReceipt kept{QUuid::createUuid(), older, "/gone/A.app", std::nullopt,
                                         "待复查\n已移入废纸篓" + QString(3000, u'长')};
    const ApplicationRemovalReceipt moved{QUuid::createUuid(), newer, "/gone/B.app", "/gone/trash/B.app",
                                          "已移入废纸篓"};
    ApplicationRemovalLog(QUrl::fromLocalFile(h.library.folder.filePath("r.json"))).save({kept, moved});
    ApplicationLibraryView& view = h.show();
    ApplicationLibraryModel& model = h.model();
    QTest::mouseClick(view.receiptsButton(), Qt::LeftButton);
    h.settle();
    auto* receipts = qobject_cast<ApplicationReceiptsView*>(view.sheet()->content());
    ASSERT_TRUE(receipts);
    ASSERT_EQ(receipts->cards().size(), 2);
    EXPECT_EQ(receipts->cards()[0]->findChild<LVText*>()->text(), "已移入回收站"); // stored "已移入废纸篓"
    QWidget* first = receipts->cards()[1];
    EXPECT_FALSE(first->findChild<LVText*>()->text().contains(u'\n')); // a state the file forged
    EXPECT_EQ(first->findChild<LVText*>()->lineCount(), 1);            // cut, not wrapped
    EXPECT_EQ(first->findChild<LVSelectableText*>()->text(),
              "原位置：\u2066/gone/A.app\u2069\n回收站位置：未记录，请手动复查");
    const QList<LVButton*> buttons = first->findChildren<LVButton*>();
    EXPECT_TRUE(buttons[0]->isEnabled());
    EXPECT_FALSE(buttons[1]->isEnabled());
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(model.receiptActionMessage(), "原位置已不存在或不可访问；可查看记录中的回收站位置。");

    QTest::mouseClick(receipts->clearButton(), Qt::LeftButton);
    ASSERT_EQ(h.alerts.size(), 1);
    EXPECT_EQ(h.alerts[0].title, "清空卸载操作清单？");
    EXPECT_TRUE(h.alerts[0].destructive);
    EXPECT_EQ(model.receipts().size(), 2);
    h.answer = true;
    QTest::mouseClick(receipts->clearButton(), Qt::LeftButton);
    h.settle();
    EXPECT_TRUE(model.receipts().isEmpty());
    EXPECT_FALSE(receipts->clearButton()->isEnabled());
    QTest::keyClick(receipts, Qt::Key_Escape);
    h.settle();
    EXPECT_FALSE(view.sheet());
}

// The list keeps its place while its data changes and starts over for another search: a keystroke shows
// the new list from its top, wherever the selected application is listed; the removal of the selected
// application scrolled out above it leaves the row at the top where it stood, the selection shown, and
// the model never reset.
TEST(LibraryPage, TypingShowsTheNewListAndRemovingKeepsItsPlace) {
    PageHarness h;
    h.library.listed = numberedApplications(200);
    h.library.execute = [](const ApplicationRemovalPlan& plan) {
        return ApplicationRemovalResult{
            {plan.id, {}, plan.application.id(), plan.application.id(), "已移入废纸篓"}, true, false};
    };
    ApplicationLibraryView& view = h.show();
    ApplicationLibraryModel& model = scanned(h, 200);
    ModelTesterGuard guard;
    guard.watch(view.listModel());
    QSignalSpy resets(view.listModel(), &QAbstractItemModel::modelAboutToBeReset);
    ApplicationListModel* rows = view.listModel();
    QListView* list = view.list();
    const auto topRow = [&] {
        const QModelIndex top = list->indexAt(QPoint(1, 1));
        return std::pair(top.data(Qt::DisplayRole).toString(), list->visualRect(top).top());
    };
    const auto shownSelected = [&] {
        QStringList shown;
        for (int row = 0; row < rows->rowCount(); ++row)
            if (rows->index(row).data(ApplicationListModel::SelectedRole).toBool())
                shown.append(rows->index(row).data(Qt::DisplayRole).toString());
        return shown;
    };
    const auto inView = [&](int application) {
        const QRect row = list->visualRect(rows->index(rows->rowOf(h.library.listed[application].id())));
        return row.isValid() && row.top() >= 0 && row.bottom() <= list->viewport()->rect().bottom();
    };
    const auto scrollToApp150 = [&] {
        list->scrollTo(rows->index(rows->rowOf(h.library.listed[150].id())),
                       QAbstractItemView::PositionAtTop);
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->value() + 9); // part of a row hidden
        return topRow();
    };

    model.setSelectedID(h.library.listed[120].id());
    h.settle();
    ASSERT_EQ(scrollToApp150().first, "App 150");
    EXPECT_FALSE(inView(120));

    // "1" keeps the selected application, "19" hides it: either way the list shows its top.
    QTest::keyClicks(view.searchField(), "1");
    h.settle();
    EXPECT_LT(rows->rowCount(), 200);
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    EXPECT_EQ(shownSelected(), QStringList{"App 120"});
    QTest::keyClicks(view.searchField(), "9");
    h.settle();
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    EXPECT_EQ(list->indexAt(QPoint(1, 1)).row(), 0);
    QTest::keyClick(view.searchField(), Qt::Key_Backspace);
    QTest::keyClick(view.searchField(), Qt::Key_Backspace);
    h.settle();
    EXPECT_EQ(rows->rowCount(), 200);
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(inView(120));
    EXPECT_EQ(shownSelected(), QStringList{"App 120"});

    const auto top = scrollToApp150();
    QTest::mouseClick(view.details()->removeButton(), Qt::LeftButton);
    h.runWork();
    ASSERT_TRUE(model.removalPlan().has_value());
    auto* confirmation = qobject_cast<ApplicationRemovalConfirmation*>(view.sheet()->content());
    ASSERT_TRUE(confirmation);
    QTest::mouseClick(confirmation->confirmButton(), Qt::LeftButton);
    h.runWork();
    ASSERT_FALSE(model.removing());
    EXPECT_EQ(rows->rowOf(h.library.listed[120].id()), -1);
    EXPECT_EQ(topRow(), top);
    EXPECT_EQ(shownSelected(), QStringList{"App 00"});
    EXPECT_EQ(resets.count(), 0);
}

// A click on a row and an arrow key choose their row after a search hid the selected application: the
// list holds no stale row of its own for the selection.
TEST(LibraryPage, EveryClickAndArrowKeyChoosesItsRowWhenTheSelectionIsHidden) {
    for (const bool byKey : {false, true}) {
        SCOPED_TRACE(byKey ? "arrow key" : "click");
        PageHarness h;
        h.library.listed = numberedApplications(12);
        ApplicationLibraryView& view = h.show();
        ApplicationLibraryModel& model = scanned(h, 12);
        h.clickRow(0);
        ASSERT_EQ(model.selectedID(), h.library.listed[0].id());
        QTest::keyClicks(view.searchField(), "1");
        h.settle();
        ASSERT_EQ(view.listModel()->rowOf(h.library.listed[0].id()), -1);
        if (byKey) {
            view.list()->setFocus();
            QTest::keyClick(view.list(), Qt::Key_Down);
            h.settle();
        } else {
            h.clickRow(0);
        }
        EXPECT_EQ(model.selectedID(), view.listModel()->rows().at(0).path);
        EXPECT_TRUE(view.listModel()->index(0).data(ApplicationListModel::SelectedRole).toBool());
    }
}
