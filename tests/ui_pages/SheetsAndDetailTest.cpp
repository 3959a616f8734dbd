#include "PageHarness.h"
#include "support/LoopbackHttpServer.h"
#include "ui/kit/KitStyle.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/window/AnalysisConsentView.h"
#include "ui/window/HistoryList.h"
#include "ui/window/HistoryLogic.h"
#include "ui/window/MenuContent.h"
#include "ui/window/ProcessAISection.h"
#include "ui/window/ProcessDetailPane.h"
#include "ui/window/ProcessList.h"
#include "ui/window/StopConfirmationView.h"
#include "ui_kit/WindowWaits.h"

#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <csignal>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

template <typename View> View* shownSheet(MainView& view) {
    PageWindow::settle();
    return view.sheetDialog() ? view.sheetDialog()->findChild<View*>() : nullptr;
}

} // namespace

TEST(ProcessDetail, ActionsOnlyAskTheWindowAndFollowTheModel) {
    ModelHarness h;
    AppModel& model =
        flaggedModel(h, AIConfiguration{QStringLiteral("http://127.0.0.1:9/v1"), QStringLiteral("  ")});
    ASSERT_EQ(model.findings().size(), 1);
    PageWindow window(model, Page::processes);
    ProcessDetailPane* detail = window.processes()->detailPane();
    EXPECT_EQ(detail->sample().identity.pid, 700);

    // Both stop controls only set a sheet, each time with a new id.
    detail->forceStopAction()->trigger();
    const auto forced = window.view->state().sheet;
    ASSERT_TRUE(forced && forced->stop);
    EXPECT_TRUE(forced->stop->force);
    window.view->setSheet(std::nullopt);
    detail->stopButton()->click();
    const auto normal = window.view->state().sheet;
    ASSERT_TRUE(normal && normal->stop);
    EXPECT_FALSE(normal->stop->force);
    EXPECT_NE(normal->stop->id, forced->stop->id);
    EXPECT_TRUE(h.platform.sentSignals().isEmpty());
    window.view->setSheet(std::nullopt);

    // A model name of blanks reads as configured, and asking leads to the AI settings.
    ProcessAISection* ai = detail->aiSection();
    EXPECT_TRUE(ai->aiGroup()->isVisibleTo(detail));
    EXPECT_EQ(ai->requestButton()->text(), QStringLiteral("获取简短建议"));
    ai->requestButton()->click();
    EXPECT_EQ(window.view->state().page, Page::settings);
    EXPECT_TRUE(window.view->state().aiSettingsRequest);

    // Muting follows the model.
    window.view->setPage(Page::processes);
    detail->muteButton()->click();
    PageWindow::settle();
    EXPECT_TRUE(model.isIgnored(detail->sample()));
    EXPECT_FALSE(detail->mutedBadge()->isHidden());
    EXPECT_EQ(detail->muteButton()->text(), QStringLiteral("恢复这个进程的提醒"));
}

TEST(ProcessDetail, PreviewDisablesEveryActionButTheAISettings) {
    ModelHarness h;
    AppModel& model = h.start(true);
    model.configurePreview(QStringLiteral("ai-error"));
    PageWindow window(model, Page::processes, QStringLiteral("ai-error"));
    ProcessDetailPane* detail = window.processes()->detailPane();
    ProcessAISection* ai = detail->aiSection();
    EXPECT_TRUE(ai->aiGroup()->isExpanded());
    EXPECT_TRUE(ai->errorRow()->isVisibleTo(detail));
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(ai->inspectButton()), static_cast<QAbstractButton*>(ai->muteButton()),
          static_cast<QAbstractButton*>(ai->requestButton()),
          static_cast<QAbstractButton*>(detail->stopButton()),
          static_cast<QAbstractButton*>(detail->muteButton())})
        EXPECT_FALSE(button->isEnabledTo(window.view.get())) << button->text().toStdString();
    EXPECT_EQ(ai->inspectButton()->text(), QStringLiteral("查看任务进度"));
    EXPECT_TRUE(ai->settingsButton()->isEnabledTo(window.view.get()));
    EXPECT_EQ(detail->footnoteText()->text(), QStringLiteral("演示模式中的操作不会执行。"));
    // Neither sheet confirms from preview data.
    StopConfirmationView stop(model, {QUuid::createUuid(), detail->sample(), false}, {}, {});
    AnalysisConsentView consent(model, detail->sample(), {});
    EXPECT_FALSE(stop.confirmButton()->isEnabled());
    EXPECT_FALSE(consent.confirmButton()->isEnabled());
}

TEST(StopSheet, ConfirmFollowsTheModelAndTheOutcomeIsReported) {
    ModelHarness h;
    AppModel& model = flaggedModel(h);
    const ProcessSample encoder = *h.listed(700);

    // Texts of both variants; the confirm button refuses whatever may not be stopped.
    for (const bool force : {false, true}) {
        StopConfirmationView sheet(model, {QUuid::createUuid(), encoder, force}, {}, {});
        EXPECT_EQ(sheet.findChild<SectionHeading*>()->titleText()->text(),
                  force ? QStringLiteral("强制结束这个进程？") : QStringLiteral("请求这个进程退出？"));
        EXPECT_EQ(sheet.confirmButton()->text(),
                  force ? QStringLiteral("确认强制结束") : QStringLiteral("确认请求退出"));
        EXPECT_TRUE(sheet.confirmButton()->isEnabled());
    }
    const auto variant = [&encoder](const std::function<void(ProcessSample&)>& edit) {
        ProcessSample sample = encoder;
        edit(sample);
        return sample;
    };
    for (const ProcessSample& refused :
         {variant([](auto& s) { s.identity.pid = 1; }), variant([](auto& s) { s.identity.pid = 99; }),
          variant([](auto& s) { s.uid = 0; }),
          variant([](auto& s) { s.executable = QStringLiteral("/sbin/launchd"); }),
          variant([](auto& s) { s.name = QStringLiteral("gnome-shell"); })}) {
        StopConfirmationView sheet(model, {QUuid::createUuid(), refused, false}, {}, {});
        EXPECT_FALSE(sheet.confirmButton()->isEnabled()) << refused.name.toStdString();
    }

    // In a dialog as the window shows it: Escape cancels once and leaves closing to the host; Return on
    // the focused confirm button does nothing.
    {
        int cancelled = 0, confirmed = 0;
        QDialog dialog;
        auto* sheet = new StopConfirmationView(
            model, {QUuid::createUuid(), encoder, false}, [&] { ++cancelled; }, [&] { ++confirmed; });
        (new QVBoxLayout(&dialog))->addWidget(sheet);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(test::waitForActive(&dialog));
        sheet->confirmButton()->setFocus();
        QTest::keyClick(sheet->confirmButton(), Qt::Key_Return);
        QTest::keyClick(sheet->confirmButton(), Qt::Key_Enter);
        QTest::keyClick(sheet->confirmButton(), Qt::Key_Escape);
        EXPECT_EQ(cancelled, 1);
        EXPECT_EQ(confirmed, 0);
        EXPECT_TRUE(dialog.isVisible());
    }

    // Through the window: a stale identity sends nothing.
    PageWindow window(model, Page::processes, std::nullopt, pageServices());
    const auto confirmStop = [&](const ProcessSample& sample, bool force) {
        window.view->setSheet(MainSheet::stopping({QUuid::createUuid(), sample, force}));
        StopConfirmationView* sheet = shownSheet<StopConfirmationView>(*window.view);
        ASSERT_TRUE(sheet);
        sheet->confirmButton()->click();
        EXPECT_FALSE(window.view->state().sheet);
    };
    confirmStop(variant([](auto& s) { s.identity.startTime = 1; }), false);
    EXPECT_EQ(model.statusMessage(), QStringLiteral("任务已退出或发生变化，请刷新后重新确认。"));
    EXPECT_TRUE(h.platform.sentSignals().isEmpty());

    // A refused signal.
    h.platform.setSignalResult(LV_SIGNAL_REFUSED);
    confirmStop(encoder, false);
    EXPECT_TRUE(
        model.statusMessage().startsWith(QStringLiteral("未能停止 \u2068encoder\u2069（PID 700）：")));
    EXPECT_GT(model.statusMessage().size(),
              QStringLiteral("未能停止 \u2068encoder\u2069（PID 700）：").size());

    // A sent one: rechecked while the confirm of a new sheet for it stays disabled, then reported.
    h.platform.setSignalResult(LV_SIGNAL_SENT);
    confirmStop(encoder, false);
    EXPECT_EQ(model.statusMessage(),
              QStringLiteral("已向 \u2068encoder\u2069（PID 700）发送退出请求，正在复查…"));
    ASSERT_TRUE(model.stoppingIDs().contains(encoder.identity));
    StopConfirmationView again(model, {QUuid::createUuid(), encoder, true}, {}, {});
    EXPECT_FALSE(again.confirmButton()->isEnabled());
    PageWindow::settle();
    h.runSamples();
    ASSERT_TRUE(model.stoppingIDs().isEmpty());
    EXPECT_TRUE(again.confirmButton()->isEnabled()); // the signal was scripted: the process still runs
    EXPECT_EQ(model.operationMessage(),
              QStringLiteral("\u2068encoder\u2069（PID 700）仍在运行。可继续等待，或在详情中选择强制停止。"));
    confirmStop(*h.listed(700), true);
    h.platform.remove(700); // gone by the recheck
    PageWindow::settle();
    h.runSamples();
    ASSERT_TRUE(model.stoppingIDs().isEmpty());
    EXPECT_EQ(model.operationMessage(), QStringLiteral("已确认 \u2068encoder\u2069（PID 700）退出。"));

    // The history page lists the outcomes, a stop that failed or still runs with the cross.
    window.view->setPage(Page::history);
    PageWindow::settle();
    HistoryListModel* history = window.history()->list()->historyModel();
    QStringList shown;
    for (const ActivityEvent& event : history->events())
        shown.append(event.title + u':' + QString::fromLatin1(HistoryLogic::eventIcon(event.title).symbol));
    for (const char* expected :
         {"未能停止:xmark.circle", "已请求停止:checkmark.circle", "停止后仍在运行:xmark.circle",
          "已发送强制停止:checkmark.circle", "已确认退出:checkmark.circle"})
        EXPECT_TRUE(shown.contains(QString::fromUtf8(expected))) << expected;
}

TEST(ConsentSheet, EveryManualRequestWaitsForConsentAndSendsWhatWasShown) {
    LoopbackHttpServer first, second;
    first.setDefaultReply(LoopbackHttpServer::Reply{200, {}, {}, std::nullopt, false, true}); // never answers
    const AIConfiguration service{first.baseURL(), QStringLiteral("m")};
    ModelHarness h;
    AppModel& model = flaggedModel(h, service);
    PageWindow window(model, Page::processes, std::nullopt, pageServices());
    ProcessesPage* page = window.processes();

    // Rows, arrows and the popover send nothing; the request button opens the sheet and sends nothing
    // either.
    QTest::keyClick(page->list(), Qt::Key_Down);
    QTest::keyClick(page->list(), Qt::Key_Up);
    {
        MenuContent popover(model, {});
        popover.adviceButton()->click();
        for (MenuProcessRow* row : popover.processRows())
            if (row->isVisibleTo(&popover))
                row->click();
    }
    model.setSelectedID(ProcessIdentity{700, 5700});
    PageWindow::settle();
    ProcessAISection* ai = page->detailPane()->aiSection();
    ai->requestButton()->click();
    AnalysisConsentView* sheet = shownSheet<AnalysisConsentView>(*window.view);
    ASSERT_TRUE(sheet);
    QTest::keyClick(sheet->confirmButton(), Qt::Key_Return);
    PageWindow::settle();
    EXPECT_EQ(shownSheet<AnalysisConsentView>(*window.view), sheet);
    QTest::keyClick(sheet->confirmButton(), Qt::Key_Escape);
    EXPECT_FALSE(shownSheet<AnalysisConsentView>(*window.view));
    EXPECT_EQ(first.requests().size(), 0);

    // What is shown stays while the service and the figures change.
    ai->requestButton()->click();
    sheet = shownSheet<AnalysisConsentView>(*window.view);
    ASSERT_TRUE(sheet);
    const QString summary = sheet->summaryText()->text();
    EXPECT_EQ(sheet->addressText()->text(), service.baseURL);
    model.saveAIConfiguration({second.baseURL(), QStringLiteral("other")}, std::nullopt, false);
    h.run(60, {700, 701});
    PageWindow::settle();
    EXPECT_EQ(sheet->summaryText()->text(), summary);
    EXPECT_EQ(sheet->addressText()->text(), service.baseURL);
    EXPECT_EQ(sheet->snapshot().configuration, service);

    // Confirming sends exactly that, once, to the service shown.
    sheet->confirmButton()->click();
    ASSERT_TRUE(waitUntil([&] { return first.requests().size() == 1; }));
    PageWindow::settle();
    EXPECT_EQ(second.requests().size(), 0);
    const QJsonObject body = QJsonDocument::fromJson(first.requests().first().body).object();
    EXPECT_EQ(body.value(QStringLiteral("model")).toString(), QStringLiteral("m"));
    EXPECT_EQ(body.value(QStringLiteral("messages"))
                  .toArray()
                  .at(1)
                  .toObject()
                  .value(QStringLiteral("content"))
                  .toString(),
              summary);

    // While the request runs a new sheet cannot confirm; once it ends it can.
    ASSERT_TRUE(model.aiBusy());
    AnalysisConsentView busy(model, *h.listed(700), {});
    EXPECT_FALSE(busy.confirmButton()->isEnabled());
    model.clearAnalysis();
    EXPECT_TRUE(busy.confirmButton()->isEnabled());

    // Automatic advice authorised for this very service skips the sheet once its own request is over.
    // Both flagged processes get an automatic request: the count starts once neither is on its way.
    first.setDefaultReply(LoopbackHttpServer::jsonReply(500, "{}"));
    model.saveAIConfiguration(service, std::nullopt, true);
    ASSERT_TRUE(waitUntil([&] {
        for (const int32_t pid : {700, 701}) {
            const auto entry = model.automaticAdvice().entry(*h.listed(pid));
            if (!entry || entry->pending)
                return false;
        }
        return true;
    }));
    const qsizetype asked = first.requests().size();
    PageWindow::settle();
    ai->requestButton()->click();
    EXPECT_FALSE(window.view->state().sheet);
    ASSERT_TRUE(waitUntil([&] { return first.requests().size() > asked; }));
    EXPECT_EQ(first.requests().size(), asked + 1);
}

// Asking for advice keeps the search and the filter that list the process, and clears those that would
// hide it.
TEST(ProcessDetail, AskingForAdviceKeepsASearchThatListsTheProcess) {
    ModelHarness h;
    AppModel& model =
        flaggedModel(h, AIConfiguration{QStringLiteral("http://127.0.0.1:9/v1"), QStringLiteral("m")});
    PageWindow window(model, Page::processes, std::nullopt, pageServices());
    MainView& view = *window.view;
    const ProcessSample encoder = *h.listed(700);
    const struct {
        QString search;
        ProcessFilter filter;
        bool kept;
    } cases[] = {
        {QStringLiteral("ENC"), ProcessFilter::attention, true},
        {QStringLiteral("700"), ProcessFilter::all, true},
        {QStringLiteral("shell"), ProcessFilter::all, false},
        {QString(), ProcessFilter::muted, false},
    };
    for (const auto& c : cases) {
        view.setSheet(std::nullopt);
        view.setPage(Page::overview);
        view.setSearch(c.search);
        view.setProcessFilter(c.filter);
        PageWindow::settle();
        view.requestAnalysis(encoder);
        PageWindow::settle();
        // Consent is asked for the process, shown on the processes page.
        EXPECT_EQ(view.state().page, Page::processes);
        ASSERT_TRUE(view.state().sheet && view.state().sheet->analysis);
        EXPECT_EQ(model.selectedID(), encoder.identity);
        EXPECT_EQ(view.state().search, c.kept ? c.search : QString()) << c.search.toStdString();
        EXPECT_EQ(view.state().processFilter, c.kept ? c.filter : ProcessFilter::all)
            << c.search.toStdString();
    }
    // From the detail itself, with the list searched down to the process.
    view.setSheet(std::nullopt);
    view.setSearch(QStringLiteral("enc"));
    PageWindow::settle();
    window.processes()->detailPane()->aiSection()->requestButton()->click();
    PageWindow::settle();
    EXPECT_TRUE(view.state().sheet);
    EXPECT_EQ(view.state().search, QStringLiteral("enc"));
}

// Seen live: cancelling a request with the mouse left a focus ring on the heading "资源占用与观察依据",
// to which Qt had passed the focus of the hidden "取消".
TEST(ProcessDetail, CancellingARequestWithTheMouseRingsNothing) {
    LoopbackHttpServer service;
    service.setDefaultReply(
        LoopbackHttpServer::Reply{200, {}, {}, std::nullopt, false, true}); // never answers
    ModelHarness h;
    AppModel& model = flaggedModel(h, AIConfiguration{service.baseURL(), QStringLiteral("m")});
    PageWindow window(model, Page::processes, std::nullopt, pageServices());
    ProcessDetailPane* detail = window.processes()->detailPane();
    detail->aiSection()->requestButton()->click();
    AnalysisConsentView* sheet = shownSheet<AnalysisConsentView>(*window.view);
    ASSERT_TRUE(sheet);
    sheet->confirmButton()->click();
    PageWindow::settle();
    ASSERT_TRUE(model.aiBusy());
    QApplication::setActiveWindow(window.view.get());
    ASSERT_TRUE(test::waitForActive(window.view.get()));
    LVButton* cancel = detail->aiSection()->cancelButton();
    ASSERT_TRUE(cancel->isVisible());
    QTest::mouseClick(cancel, Qt::LeftButton);
    PageWindow::settle();
    ASSERT_FALSE(model.aiBusy());
    QWidget* focused = QApplication::focusWidget();
    ASSERT_EQ(focused, detail->resourcesGroup()->header());
    const QImage shown = focused->grab().toImage();
    focused->clearFocus();
    EXPECT_EQ(shown, focused->grab().toImage());
}

// A long name: the stop sheet wraps it and still shows the PID after it; the detail pane cuts it after
// two lines with "…" and keeps the whole name to copy.
TEST(ProcessDetail, ALongNameWrapsInTheSheetAndIsCutWithAnEllipsisInTheDetail) {
    const char* names[] = {
        "Quarterly Report Rendering Pipeline Background Export Worker For Shared Documents",
        "quarterly-report-rendering-pipeline-background-export-worker-for-shared-documents",
        "季度报告渲染管线后台导出任务工作进程季度报告渲染管线后台导出任务工作进程长名称",
    };
    ModelHarness h;
    int32_t pid = 710;
    for (const char* name : names)
        h.add(pid++, name);
    AppModel& model = h.start();
    model.completeOnboarding();
    h.sample();
    PageWindow window(model, Page::processes, std::nullopt, pageServices());
    pid = 710;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const ProcessSample sample = *h.listed(pid++);
        ASSERT_EQ(sample.name, QString::fromUtf8(name));

        window.view->setSheet(MainSheet::stopping({QUuid::createUuid(), sample, false}));
        StopConfirmationView* sheet = shownSheet<StopConfirmationView>(*window.view);
        ASSERT_TRUE(sheet);
        LVText* line = sheet->processText();
        EXPECT_TRUE(line->text().endsWith(QStringLiteral(" · PID ") + QString::number(sample.identity.pid)));
        EXPECT_GT(line->lineCount(), 1);
        EXPECT_FALSE(line->isTruncated());
        EXPECT_GE(line->height(), line->heightForWidth(line->width()));
        EXPECT_LE(line->mapTo(sheet, QPoint(0, line->height())).y(), sheet->height());
        window.view->setSheet(std::nullopt);

        model.setSelectedID(sample.identity);
        PageWindow::settle();
        LVSelectableText* shown = window.processes()->detailPane()->nameText();
        EXPECT_EQ(shown->text(), sample.name);
        EXPECT_TRUE(shown->isTruncated());
        EXPECT_TRUE(shown->shownText().endsWith(QChar(0x2026)));
    }
}

// The pane's figures and the AI progress line take their group's muted colour; the forced stop in
// "更多" is drawn destructive.
TEST(ProcessDetail, GroupTextsAreMutedAndTheForcedStopIsDestructive) {
    ModelHarness h;
    AppModel& model = h.start(true);
    model.configurePreview(QStringLiteral("ai-loading"));
    PageWindow window(model, Page::processes, QStringLiteral("ai-loading"));
    ProcessDetailPane* detail = window.processes()->detailPane();
    ASSERT_TRUE(detail->aiSection()->busyRow()->isVisibleTo(detail));
    QList<LVText*> texts = detail->figureTexts();
    texts.append(detail->aiSection()->busyText());
    for (const LVText* text : texts)
        EXPECT_EQ(text->color(), std::optional(Palette::muted)) << text->text().toStdString();
    EXPECT_TRUE(KitStyle::isDestructive(detail->forceStopAction()));
    EXPECT_TRUE(detail->moreMenu()->actions().contains(detail->forceStopAction()));
}

// The protected-process preview selects a process this program may not stop, and its detail says so;
// the ordinary preview keeps the note that nothing is carried out.
TEST(ProcessDetail, TheProtectedPreviewShowsAProcessThatCannotBeStopped) {
    const struct {
        const char* page;
        bool canStop;
        const char* footnote;
    } cases[] = {
        {"processes", true, "演示模式中的操作不会执行。"},
        {"process-protected", false, "这是受保护或不可操作的进程。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        ModelHarness h;
        AppModel& model = h.start(true);
        model.configurePreview(QString::fromLatin1(c.page));
        PageWindow window(model, Page::processes, QString::fromLatin1(c.page));
        ProcessDetailPane* detail = window.processes()->detailPane();
        ASSERT_TRUE(window.processes()->sidePane()->isAncestorOf(detail));
        EXPECT_EQ(model.canStop(detail->sample()), c.canStop);
        EXPECT_EQ(detail->footnoteText()->text(), QString::fromUtf8(c.footnote));
        EXPECT_FALSE(detail->stopButton()->isEnabledTo(window.view.get()));
    }
}
