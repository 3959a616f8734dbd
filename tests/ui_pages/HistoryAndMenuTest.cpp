#include "PageHarness.h"
#include "app/shell/PopoverHost.h"
#include "platform/desktop/AtomicFileWriter.h"
#include "support/Files.h"
#include "ui/kit/AIStatusButton.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVEmptyState.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/Palette.h"
#include "ui/window/HistoryList.h"
#include "ui/window/MenuContent.h"
#include "ui_kit/FocusWalk.h"
#include "ui_kit/WindowWaits.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimeZone>
#include <cerrno>
#include <sys/stat.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

ActivityEvent event(const QDateTime& date, const QString& title, const QString& detail) {
    ActivityEvent e;
    e.date = StoredDate::from(date);
    e.title = title;
    e.detail = detail;
    return e;
}

// Answers when the test says so.
class FakePanel final : public SavePanel {
public:
    void ask(const QString& title, const QString& proposedName, Done done) override {
        asked.append(title + u'|' + proposedName);
        m_done = std::move(done);
    }
    void answer(const std::optional<QString>& path) { std::exchange(m_done, {})(path); }
    QStringList asked;

private:
    Done m_done;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(HistoryPage, ListFiltersDividesAndOffersClearOnlyWhenItCan) {
    ModelHarness h;
    const QDateTime now = h.clock;
    LocalHistoryStore(h.path(QStringLiteral("history.json")))
        .save(
            {event(now.addSecs(-60), QStringLiteral("发现持续高占用"), QStringLiteral("后台任务 · PID 7421")),
             event(now.addSecs(-120), QStringLiteral("未能停止"),
                   QStringLiteral("编译任务 · PID 5 · 停止请求未成功")),
             event(now.addSecs(-180), QStringLiteral("已请求停止"), QStringLiteral("编译任务 · PID 6")),
             event(now.addSecs(-240), "发现持续高占用 photo\u202Egnp.exe", "编译任务 · PID 8 \u202Egnp.exe")},
            now);
    AppModel& model = h.start();
    model.completeOnboarding();
    ModelTesterGuard guard;
    PageWindow window(model, Page::history);
    HistoryPage* page = window.history();
    HistoryListView* list = page->list();
    guard.watch(list->historyModel());
    EXPECT_EQ(page->countText()->text(), QStringLiteral("4 条记录"));
    EXPECT_EQ(page->filterControl()->accessibleName(), QStringLiteral("记录类型"));
    EXPECT_EQ(page->searchField()->accessibleName(), QStringLiteral("搜索记录"));

    // A divider under every entry but the last, also once a filter made another one last.
    const auto dividers = [list] {
        const QImage image = list->viewport()->grab().toImage();
        const QColor line = Palette::line.resolved(Appearance::light);
        QList<bool> found;
        for (int row = 0; row < list->historyModel()->rowCount(); ++row) {
            const QRect rect = list->visualRect(list->historyModel()->index(row));
            found.append(image.pixelColor(rect.left() + 100, rect.bottom()) == line);
        }
        return found;
    };
    EXPECT_EQ(dividers(), (QList<bool>{true, true, true, false}));
    // Texts of the file show what they hold, turned round by none of it, and the detail copies as stored.
    const QModelIndex stored = list->historyModel()->index(3);
    EXPECT_EQ(stored.data(Qt::DisplayRole), "\u2066发现持续高占用 photo\\u202Egnp.exe\u2069");
    EXPECT_EQ(stored.data(Qt::AccessibleTextRole).toString().count("\\u202Egnp.exe"), 2);
    emit list->entered(stored);
    auto* detail = qobject_cast<LVSelectableText*>(list->indexWidget(stored));
    ASSERT_TRUE(detail);
    detail->selectAll();
    detail->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "编译任务 · PID 8 \u202Egnp.exe");
    page->filterControl()->setCurrentIndex(2);
    PageWindow::settle();
    EXPECT_EQ(list->historyModel()->events().size(), 2);
    EXPECT_EQ(list->historyModel()->eventAt(0).title, QStringLiteral("未能停止"));
    EXPECT_EQ(dividers(), (QList<bool>{true, false}));
    QTest::keyClicks(page->searchField(), QStringLiteral("PID 9"));
    PageWindow::settle();
    EXPECT_TRUE(page->emptyState()->isVisible());
    EXPECT_EQ(page->countText()->text(), QStringLiteral("0 条记录"));

    // The detail of an entry becomes selectable text when the pointer reaches it.
    page->searchField()->clear();
    PageWindow::settle();
    const QModelIndex first = list->historyModel()->index(0);
    emit list->entered(first);
    EXPECT_TRUE(list->isPersistentEditorOpen(first));

    EXPECT_TRUE(page->clearButton()->isEnabled());
    model.clearHistory();
    PageWindow::settle();
    EXPECT_FALSE(page->clearButton()->isEnabled());
    EXPECT_FALSE(page->exportButton()->isEnabled());

    // A history file that cannot be read leaves an empty list whose clear button stays available.
    ModelHarness broken;
    ASSERT_TRUE(QDir().mkpath(broken.path(QStringLiteral("history.json"))));
    AppModel& damaged = broken.start();
    damaged.completeOnboarding();
    ASSERT_TRUE(damaged.historyStorageError());
    PageWindow other(damaged, Page::history);
    EXPECT_TRUE(other.history()->storageLine()->isVisible());
    EXPECT_TRUE(other.history()->clearButton()->isEnabled());

    // Nor is a history the clock hides out of reach: events dated a day ahead (a clock set back) show
    // nowhere, but clearing is offered for them, and empties the file.
    ModelHarness behind;
    const LocalHistoryStore file(behind.path(QStringLiteral("history.json")));
    const QDateTime ahead = behind.clock.addDays(1);
    file.save({event(ahead, "已暂停观察", {}), event(ahead, "已恢复观察", {}), event(ahead, "暂时忽略", {})},
              behind.clock);
    AppModel& hiding = behind.start();
    hiding.completeOnboarding();
    PageWindow third(hiding, Page::history);
    EXPECT_TRUE(third.history()->emptyState()->isVisible());
    ASSERT_TRUE(third.history()->clearButton()->isEnabled());
    hiding.clearHistory();
    PageWindow::settle();
    EXPECT_FALSE(third.history()->clearButton()->isEnabled());
    EXPECT_TRUE(file.load(ahead.addDays(1)).isEmpty());
}

// A new event while the user reads further down leaves what is shown where it stands; at the list's
// top the new event is seen first; another filter shows its list from the top.
TEST(HistoryPage, ANewEventLeavesWhatIsShownInPlace) {
    ModelHarness h;
    QList<ActivityEvent> events;
    for (int i = 0; i < 40; ++i) // details of one to three lines: entries of several heights
        events.append(event(h.clock.addSecs(-60 * (i + 1)), QStringLiteral("已请求停止"),
                            QStringLiteral("编译任务 · PID %1").arg(i) +
                                QStringLiteral(" · 一段较长的说明文字").repeated(i % 3 * 6)));
    LocalHistoryStore(h.path(QStringLiteral("history.json"))).save(events, h.clock);
    AppModel& model = h.start();
    model.completeOnboarding();
    PageWindow window(model, Page::history);
    HistoryListView* list = window.history()->list();
    QScrollBar* bar = list->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    const auto shownAtTop = [list] {
        const QModelIndex top = list->indexAt(QPoint(1, 1));
        return std::pair(top.data(HistoryListModel::IdRole).toUuid(), list->visualRect(top).top());
    };

    bar->setValue(list->visualRect(list->historyModel()->index(5)).top() + bar->value() + 11);
    const auto shown = shownAtTop();
    model.toggleMonitoring(); // "已暂停观察"
    PageWindow::settle();
    ASSERT_EQ(list->historyModel()->rowCount(), 41);
    EXPECT_EQ(shownAtTop(), shown);

    bar->setValue(0);
    model.toggleMonitoring(); // "已恢复观察"
    h.runSamples();
    PageWindow::settle();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(list->indexAt(QPoint(1, 1)).data(HistoryListModel::TitleRole).toString(),
              QStringLiteral("已恢复观察"));

    bar->setValue(bar->maximum() / 2);
    window.history()->filterControl()->setCurrentIndex(2);
    PageWindow::settle();
    EXPECT_EQ(bar->value(), 0);
}

TEST(HistoryExport, WritesTheWholeHistoryAsReadAtConfirmation) {
    ModelHarness h;
    h.add(700, "encoder");
    AppModel& model = h.start();
    model.completeOnboarding();
    h.sample();
    model.ignore(*h.listed(700)); // one event
    const QDateTime clock(QDate(2026, 12, 6), QTime(0, 30), QTimeZone(8 * 3600));
    auto panel = std::make_shared<FakePanel>();
    int faultErrno = 0;
    AtomicFile::Step faultStep = AtomicFile::Step::write;
    AtomicFile::Options faults;
    faults.fault = [&](AtomicFile::Step step) {
        return step == faultStep ? faultErrno : 0;
    };
    HistoryExport::Services services{panel, [&] { return clock; },
                                     std::make_shared<AtomicFileWriter>(faults)};
    PageWindow window(model, Page::history, std::nullopt, pageServices(services));
    HistoryPage* page = window.history();
    page->filterControl()->setCurrentIndex(1);
    QTest::keyClicks(page->searchField(), QStringLiteral("nothing matches"));

    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("export.json"));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    ::chmod(QFile::encodeName(target).constData(), 0644);

    // The panel is asked once while open; an event recorded meanwhile is part of the file.
    page->exportButton()->click();
    page->exportButton()->click();
    ASSERT_EQ(panel->asked, QStringList{QStringLiteral("导出岚栖操作记录|Lunorvale-记录-2026-12-05.json")});
    model.unignore(*h.listed(700));
    ASSERT_EQ(model.history().size(), 2);
    panel->answer(target);
    EXPECT_EQ(model.statusMessage(), QStringLiteral("操作记录已导出。"));
    EXPECT_EQ(contents(target), LocalHistoryStore::exportData(model.history(), clock));
    struct stat info {};
    ::stat(QFile::encodeName(target).constData(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Cancelling writes nothing and says nothing.
    model.setStatusMessage(QStringLiteral("before"));
    page->exportButton()->click();
    panel->answer(std::nullopt);
    EXPECT_EQ(model.statusMessage(), QStringLiteral("before"));

    // Every failure names its reason and leaves the file as it was, with no temporary beside it.
    const QByteArray kept = contents(target);
    struct Case {
        QString path;
        int error;
        AtomicFile::Step step;
        QString sentence;
    };
    const QList<Case> cases{
        {QStringLiteral("export.json"), 0, AtomicFile::Step::write, QStringLiteral("所选位置无效。")},
        {folder.path(), 0, AtomicFile::Step::write, QStringLiteral("该位置是一个文件夹。")},
        {folder.filePath(QStringLiteral("missing/export.json")), 0, AtomicFile::Step::write,
         QStringLiteral("文件或文件夹不存在。")},
        {target, ENOSPC, AtomicFile::Step::write, QStringLiteral("磁盘空间不足。")},
        {target, EIO, AtomicFile::Step::flush, QStringLiteral("读写磁盘时出错。")},
        {target, EACCES, AtomicFile::Step::rename, QStringLiteral("没有足够的权限。")},
    };
    for (const Case& c : cases) {
        faultErrno = c.error;
        faultStep = c.step;
        page->exportButton()->click();
        panel->answer(c.path);
        EXPECT_EQ(model.statusMessage(), QStringLiteral("导出失败：") + c.sentence) << c.path.toStdString();
        EXPECT_EQ(contents(target), kept);
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("export.json")});
    }
}

// The system's save dialog starts in the documents folder, or in the home folder where there is none,
// never in the program's working directory; its texts are Chinese.
TEST(HistoryExport, TheSaveDialogStartsInDocumentsOrHome) {
    const std::shared_ptr<void> restoreHome(nullptr,
                                            [home = qgetenv("HOME")](void*) { qputenv("HOME", home); });
    // The dialog keeps its history in the configuration folder: one of the test's own.
    QTemporaryDir config;
    const ScopedVariable configHome("XDG_CONFIG_HOME", config.path());
    for (const bool documents : {true, false}) {
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        if (documents) {
            ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Documents")));
        }
        std::optional<std::optional<QString>> answered;
        FileDialogSavePanel().ask(QStringLiteral("导出岚栖操作记录"), QStringLiteral("x.json"),
                                  [&](const std::optional<QString>& path) { answered = path; });
        QFileDialog* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<QFileDialog*>(widget); found && found->isVisible())
                dialog = found;
        }
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->directory().absolutePath(),
                  documents ? home.filePath(QStringLiteral("Documents")) : home.path());
        const QRegularExpression word(QStringLiteral("[A-Za-z]{3,}"));
        QStringList shown;
        for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
            if (button->isVisible())
                shown << button->text() << button->toolTip();
        }
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            if (label->isVisible())
                shown << label->text();
        }
        for (const QString& text : shown)
            EXPECT_FALSE(text.contains(word)) << text.toStdString();
        dialog->reject();
        EXPECT_TRUE(answered && !*answered); // cancelled
        QApplication::processEvents();       // the dialog deletes itself
    }
}

TEST(MenuContent, TapsChangeTheModelThenOpenTheWindow) {
    ModelHarness h;
    AppModel& model = h.start(true);
    model.configurePreview(QStringLiteral("menu-memory"));
    model.configureAdvicePreview(QStringLiteral("menu-memory"));
    model.softwareUpdater()->configurePreview(QStringLiteral("menu-update-available"));
    QStringList calls;
    QObject::connect(&model, &AppModel::selectedIDChanged, [&] { calls.append(QStringLiteral("select")); });
    QObject::connect(&model, &AppModel::resourceNavigationRequestChanged,
                     [&] { calls.append(QStringLiteral("resources")); });
    MenuActions actions;
    actions.openMain = [&] {
        calls.append(QStringLiteral("open"));
    };
    actions.showAISettings = [&] {
        calls.append(QStringLiteral("ai"));
    };
    actions.showSettings = [&] {
        calls.append(QStringLiteral("settings"));
    };
    actions.requestQuit = [&] {
        calls.append(QStringLiteral("quit"));
    };
    MenuContent content(model, actions);
    content.resize(content.sizeHint());
    content.show();
    QApplication::setActiveWindow(&content);
    ASSERT_TRUE(test::waitForActive(&content));

    EXPECT_EQ(content.stateLine()->text(), QStringLiteral("%1 项资源提醒").arg(model.attentionCount()));
    EXPECT_EQ(content.resourceLine()->text(), QStringLiteral("整机 CPU 39.7% · 内存压力偏高"));
    EXPECT_TRUE(content.observationButton()->isVisible());
    ASSERT_EQ(content.processRows().size(), 3);

    const auto tap = [&](QAbstractButton* button) {
        calls.clear();
        model.setSelectedID(std::nullopt);
        calls.clear();
        button->click();
        return calls;
    };
    EXPECT_EQ(tap(content.processRows()[1]), (QStringList{QStringLiteral("select"), QStringLiteral("open")}));
    EXPECT_EQ(model.selectedID(), content.processRows()[1]->sample().identity);
    EXPECT_EQ(tap(content.adviceButton()), (QStringList{QStringLiteral("select"), QStringLiteral("open")}));
    EXPECT_EQ(tap(content.aiStatusButton()), (QStringList{QStringLiteral("open"), QStringLiteral("ai")}));
    EXPECT_EQ(tap(content.observationButton()),
              (QStringList{QStringLiteral("resources"), QStringLiteral("open")}));
    calls.clear();
    QTest::keyClick(&content, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(calls, QStringList{QStringLiteral("open")});
    EXPECT_EQ(tap(content.updateReminder()), QStringList{QStringLiteral("open")});
    EXPECT_EQ(tap(content.settingsButton()), QStringList{QStringLiteral("settings")});
    EXPECT_EQ(tap(content.quitButton()), QStringList{QStringLiteral("quit")});

    EXPECT_EQ(content.toggleButton()->objectName(), QStringLiteral("menu-toggle-monitoring"));
    EXPECT_EQ(content.sampleButton()->accessibleName(), QStringLiteral("立即采样"));
    EXPECT_EQ(content.settingsButton()->accessibleName(), QStringLiteral("打开设置"));
    EXPECT_EQ(content.quitButton()->accessibleName(), QStringLiteral("退出岚栖，需确认"));

    // A step that changes only what the sample shows is followed as well: the flagged process muted.
    ASSERT_EQ(model.findings().size(), 1);
    const QString flagged = content.stateLine()->text();
    model.ignore(model.findings().first().sample);
    PageWindow::settle();
    EXPECT_FALSE(content.adviceButton()->isVisible());
    EXPECT_NE(content.stateLine()->text(), flagged);
    EXPECT_EQ(content.stateLine()->text(), QStringLiteral("%1 项资源提醒").arg(model.attentionCount()));

    // The popover's own appearance, whatever the desktop's.
    model.setAppearance(QStringLiteral("dark"));
    EXPECT_EQ(Palette::appearanceOf(&content), Appearance::dark);
    EXPECT_EQ(Palette::appearanceOf(QApplication::palette()), Appearance::light);
    model.setAppearance(QStringLiteral("system"));
    EXPECT_EQ(Palette::appearanceOf(&content), Appearance::light);
}

// The key status is read, not published: the popover shows it again when the model says it changed.
TEST(MenuContent, TheAIStatusFollowsTheKeyStatus) {
    ModelHarness h;
    AppModel& model = h.start(true);
    model.setPreviewAIConfiguration({QStringLiteral("https://api.example.invalid/v1"), QStringLiteral("m")});
    model.configureAIStatusPreview(QStringLiteral("settings-ai-authorize"));
    MenuContent content(model, {});
    EXPECT_EQ(content.aiStatusButton()->status().title, QStringLiteral("AI 待授权"));
    model.configureAIStatusPreview(QStringLiteral("settings-ai"));
    model.announceAIKeyStatus();
    PageWindow::settle();
    EXPECT_EQ(content.aiStatusButton()->status().title, QStringLiteral("AI 自动已开启"));
}

TEST(MenuContent, ControlsStayInsideEveryMenuPreview) {
    for (const char* name : {"menu", "menu-memory", "menu-paused", "menu-update-available",
                             "menu-update-ready", "menu-advice", "menu-advice-long"}) {
        const QString page = QString::fromLatin1(name);
        ModelHarness h;
        AppModel& model = h.start(true);
        model.configurePreview(page);
        model.softwareUpdater()->configurePreview(page);
        model.configureAdvicePreview(page);
        model.configureAIStatusPreview(page);
        MenuContent content(model, {});
        content.resize(PopoverGeometry::width,
                       PopoverGeometry::previewHeight(!model.findings().isEmpty(),
                                                      page.contains(QStringLiteral("update-")),
                                                      !model.memoryObservations().isEmpty()));
        content.show();
        QCoreApplication::processEvents();
        const QRect quit = content.quitButton()->geometry();
        EXPECT_TRUE(content.rect().contains(quit)) << name;
        EXPECT_TRUE(content.toggleButton()->isVisible());
        EXPECT_EQ(content.updateReminder()->isVisibleTo(&content), page.contains(QStringLiteral("update-")))
            << name;
        EXPECT_EQ(content.badge()->title(),
                  page == u"menu-paused" ? QStringLiteral("已暂停") : QStringLiteral("观察中"));
        EXPECT_EQ(content.toggleButton()->text(),
                  page == u"menu-paused" ? QStringLiteral("恢复观察") : QStringLiteral("暂停观察"));

        // Under "打开岚栖" the column keeps its spacing down to the divider, whatever room is left.
        const auto top = [&content](const QWidget* widget) {
            return widget->mapTo(&content, QPoint()).y();
        };
        const auto bottom = [&](const QWidget* widget) {
            return top(widget) + widget->height();
        };
        const QList<QWidget*> rows = {content.processRows().first()->parentWidget(), content.openButton(),
                                      content.updateReminder(), content.divider()};
        std::optional<int> spacing;
        const QWidget* above = nullptr;
        for (QWidget* widget : rows) {
            if (!widget->isVisibleTo(&content))
                continue;
            if (above) {
                const int gap = top(widget) - bottom(above);
                if (!spacing)
                    spacing = gap;
                EXPECT_EQ(gap, *spacing) << name << ": above " << widget->metaObject()->className();
            }
            above = widget;
        }
    }
}

TEST(HistoryPage, EveryControlReachedWithTabShowsItsRing) {
    ModelHarness h;
    const QList<ActivityEvent> events = {
        event(h.clock.addSecs(-60), QStringLiteral("已请求停止"), QStringLiteral("编译任务 · PID 7")),
        event(h.clock.addSecs(-120), QStringLiteral("已静音 1 小时"), QStringLiteral("同步助手 · PID 8"))};
    LocalHistoryStore(h.path(QStringLiteral("history.json"))).save(events, h.clock);
    AppModel& model = h.start();
    model.completeOnboarding();
    PageWindow window(model, Page::history);
    HistoryPage* page = window.history();
    EXPECT_TRUE(everyFocusShows(*window.view, *page, *page->filterControl(), {"HistoryListView"}));
}

TEST(MenuContent, EveryControlReachedWithTabShowsItsRing) {
    ModelHarness h;
    AppModel& model = h.start(true);
    model.configurePreview(QStringLiteral("menu-memory"));
    model.configureAdvicePreview(QStringLiteral("menu-memory"));
    model.softwareUpdater()->configurePreview(QStringLiteral("menu-update-available"));
    MenuContent content(model, {});
    content.resize(content.sizeHint());
    content.show();
    QApplication::setActiveWindow(&content);
    ASSERT_TRUE(test::waitForActive(&content));
    EXPECT_TRUE(
        everyFocusShows(content, content, *content.openButton(), {"MenuProcessRow", "MenuControlButton"}));
}

// The advice and the observation are text to their edges: Tab's ring goes around them, on none of it,
// and leaves their text at least the room a process row's ring leaves its own.
TEST(MenuContent, TheRingOfAPressableSectionLiesAroundItsText) {
    ModelHarness h;
    AppModel& model = h.start(true);
    model.configurePreview(QStringLiteral("menu-memory"));
    model.configureAdvicePreview(QStringLiteral("menu-memory"));
    MenuContent content(model, {});
    content.resize(content.sizeHint());
    content.show();
    QApplication::setActiveWindow(&content);
    ASSERT_TRUE(test::waitForActive(&content));
    int rowRoom = -1;
    for (QAbstractButton* area : std::initializer_list<QAbstractButton*>{
             content.processRows().first(), content.adviceButton(), content.observationButton()}) {
        ASSERT_TRUE(area->isVisible());
        content.openButton()->setFocus();
        const QImage plain = content.grab().toImage();
        for (int tabs = 0; tabs < 20 && QApplication::focusWidget() != area; ++tabs)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), area);
        const QImage ringed = content.grab().toImage();
        const QRect text(area->mapTo(&content, QPoint()), area->size());
        int onText = 0;
        QList<QPoint> ring, ink;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x) {
                if (plain.pixel(x, y) != ringed.pixel(x, y))
                    text.contains(x, y) ? void(++onText) : ring.append({x, y});
                else if (text.contains(x, y) && plain.pixel(x, y) != Palette::surface.in(&content).rgb())
                    ink.append({x, y});
            }
        // The fewest pixels across or down from the ring to what the area shows.
        int room = plain.width();
        for (const QPoint r : ring)
            for (const QPoint i : ink)
                room = std::min(room, std::max(std::abs(r.x() - i.x()), std::abs(r.y() - i.y())));
        const std::string name = area->accessibleName().toStdString();
        EXPECT_FALSE(ring.isEmpty()) << name;
        EXPECT_EQ(onText, 0) << name;
        EXPECT_GE(room, rowRoom) << name;
        rowRoom = rowRoom < 0 ? room : rowRoom;
    }
}
