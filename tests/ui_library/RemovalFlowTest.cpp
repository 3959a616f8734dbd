// The page over the real inventory, removal service, receipts and trash, in a temporary home.

#include "PageHarness.h"
#include "applications/SignedBundle.h"
#include "core/applications/ApplicationInventory.h"
#include "core/common/ThreadExecutors.h"
#include "platform/LinuxProcessPlatform.h"
#include "platform/Paths.h"
#include "platform/desktop/FileReveal.h"
#include "support/ChildProcess.h"
#include "support/FakeDesktop.h"
#include "support/PrivateBus.h"
#include "ui/library/ApplicationReceiptsView.h"
#include "ui/library/ApplicationRemovalConfirmation.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <QStorageInfo>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// A home folder in the fixture's temporary tree holding the signed "Sample" and four plain bundles, the
// page over the real services, and a file manager on a bus of its own.
struct Flow {
    fixture::SignedApp app;
    ScopedVariable home{"HOME", app.root.path};
    ScopedVariable data{"XDG_DATA_HOME", app.root.path + "/.local/share"};
    ScopedVariable config{"XDG_CONFIG_HOME", app.root.path + "/.config"};
    PrivateBus bus;
    FakeFileManager files{bus.connect("manager")};
    FreedesktopFileRevealer revealer{nullptr, bus.connect("page")};
    LinuxProcessPlatform processes;
    PoolExecutor work{2, QThread::LowPriority}, looks{1}; // threads as the program's
    QString topTrash = QStorageInfo(app.root.path).rootPath() + "/.Trash-" + QString::number(getuid());
    bool hadTopTrash = QFileInfo::exists(topTrash);
    PageHarness page;
    bool ownThreads = false;

    explicit Flow(const fixture::CodeSpec& spec = {},
                  const std::function<void(const QString&)>& beforeSigning = {})
        : app(spec, "Sample.app", beforeSigning) {
        for (const char* name : {"Alpha", "Beta", "Gamma", "Delta"})
            fixture::makeBundle(app.folder, QString(name) + ".app",
                                fixture::appInfo(QString("com.example.") + name));
    }
    // The page, its scan done. The work runs when the test says, or, where a real child has to end
    // first, on threads as the program's.
    ApplicationLibraryView& show(bool ownThreads = false) {
        this->ownThreads = ownThreads;
        ApplicationLibraryServices services;
        services.revealer = &revealer;
        services.processes = &processes;
        services.runningApplications = ApplicationLibraryServices::runningBundles(processes);
        services.scan = [](const CancellationToken& cancellation) {
            return ApplicationInventory(ApplicationInventory::defaultRoots()).scan(cancellation);
        };
        services.bundleSize = &ApplicationInventory::bundleSize;
        services.prepare = [](const InstalledApplication& application,
                              const ApplicationLibraryServices::PhaseCallback& onPhase,
                              const CancellationToken& cancellation) {
            return ApplicationRemovalService().prepare(application, onPhase, cancellation);
        };
        services.execute = [](const ApplicationRemovalPlan& plan,
                              const ApplicationLibraryServices::PhaseCallback& onPhase,
                              const CancellationToken& cancellation) {
            return ApplicationRemovalService().execute(plan, onPhase, cancellation);
        };
        services.removalLog = &ApplicationRemovalLog::standard;
        services.work = ownThreads ? static_cast<Executor*>(&work) : &page.library.executor;
        services.looks = ownThreads ? static_cast<Executor*>(&looks) : &page.library.executor;
        page.library.model = std::make_unique<ApplicationLibraryModel>(false, services);
        ApplicationLibraryView& view = page.show();
        EXPECT_TRUE(settled([&] { return page.model().scannedAt() && !page.model().sizing(); }));
        page.model().setSelectedID(app.path);
        page.settle();
        return view;
    }
    // Runs the work to its end, or waits for the threads to bring `done` about.
    bool settled(const std::function<bool()>& done) {
        if (ownThreads)
            return waitUntil(done);
        page.runWork();
        return done();
    }
    ApplicationLibraryModel& model() { return page.model(); }
    // Starts the check and waits for its end, noting each progress text shown.
    QStringList check() {
        QStringList shown;
        QMetaObject::Connection noting =
            QObject::connect(&model(), &ApplicationLibraryModel::removalPhaseChanged, [&] {
                page.view->refresh();
                if (page.view->details()->progressText()->isVisibleTo(page.view.get()))
                    shown.append(page.view->details()->progressText()->text());
            });
        QTest::mouseClick(page.view->details()->removeButton(), Qt::LeftButton);
        EXPECT_TRUE(settled([&] { return !model().checkingRemoval(); }));
        QObject::disconnect(noting);
        page.settle();
        return shown;
    }
    ApplicationRemovalConfirmation* sheet() const {
        return qobject_cast<ApplicationRemovalConfirmation*>(
            page.view->sheet() ? page.view->sheet()->content() : nullptr);
    }
    ApplicationReceiptsView* receipts() {
        QTest::mouseClick(page.view->receiptsButton(), Qt::LeftButton);
        page.settle();
        return qobject_cast<ApplicationReceiptsView*>(page.view->sheet()->content());
    }
    // Every file the flow made lies in the temporary tree; no trash appeared at the volume's top.
    void expectContained() {
        EXPECT_TRUE(Paths::applicationSupportDirectory().startsWith(app.root.path));
        EXPECT_EQ(QFileInfo::exists(topTrash), hadTopTrash);
    }
};

QString cardText(QWidget* card, int line) {
    return card->findChildren<LVText*>().at(line)->text();
}

} // namespace

TEST(LibraryRemovalFlow, SignedBundleGoesToTheTrashAfterConfirmation) {
    Flow flow;
    ApplicationLibraryView& view = flow.show();
    EXPECT_EQ(view.countText()->text(), "5 个应用");
    ApplicationLibraryModel& model = flow.model();

    EXPECT_EQ(flow.check(), QStringList({"核对所选应用", "检查登录助手与后台组件",
                                         "验证程序签名（大应用可能较慢）", "确认应用及助手已退出"}));
    ASSERT_TRUE(flow.sheet());
    bool cancelShown = false;
    QObject::connect(&model, &ApplicationLibraryModel::removalPhaseChanged, [&] {
        view.refresh();
        cancelShown = cancelShown || view.details()->cancelCheckButton()->isVisibleTo(&view);
    });
    QTest::mouseClick(flow.sheet()->confirmButton(), Qt::LeftButton);
    ASSERT_TRUE(flow.settled([&] { return !model.removing(); }));
    flow.page.settle();
    EXPECT_FALSE(cancelShown);
    EXPECT_EQ(model.message(),
              "\u2068Sample\u2069：已移入回收站。程序包外的资料、缓存和共享组件保留；回收站尚未清空。");
    EXPECT_EQ(view.listModel()->rowOf(flow.app.path), -1);
    EXPECT_EQ(view.countText()->text(), "4 个应用");
    EXPECT_EQ(model.selectedID(), model.applications().first().id());

    const QString trash = flow.app.root.path + "/.local/share/Trash";
    EXPECT_TRUE(QFileInfo::exists(trash + "/files/Sample.app/Contents/Info.plist"));
    EXPECT_TRUE(QFileInfo::exists(trash + "/info/Sample.app.trashinfo"));
    ApplicationReceiptsView* receipts = flow.receipts();
    ASSERT_EQ(receipts->cards().size(), 1);
    EXPECT_EQ(cardText(receipts->cards()[0], 0), "已移入回收站");
    QList<LVButton*> buttons = receipts->cards()[0]->findChildren<LVButton*>();
    QTest::mouseClick(buttons.at(1), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !flow.files.shown.isEmpty(); }));
    EXPECT_EQ(flow.files.shown.first(),
              QStringList{QUrl::fromLocalFile(trash + "/files/Sample.app").toString()});
    flow.expectContained();
}

// Each refusal is shown where the user looks for it, and nothing moves.
TEST(LibraryRemovalFlow, RefusalsAreShownAndMoveNothing) {
    const QString unreadable = "\u2068Sample\u2069：无法读取应用签名，请使用原安装方式管理。";
    struct Case {
        const char* name;
        bool sign;
        std::function<void(Flow&)> before;
        QString messageStart;
        QString receiptState; // of the receipt left, if any
    };
    const Case cases[] = {
        {"unsigned", false, {}, unreadable, {}},
        {"trash blocked", true,
         [](Flow& flow) { fixture::writeFile(flow.app.root.path + "/.local/share/Trash", "not a folder"); },
         "\u2068Sample\u2069：未能移到回收站。", "未完成，请复查原位置和回收站"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Flow flow(fixture::CodeSpec({fixture::SliceSpec(false, true, test.sign)}));
        if (test.before)
            test.before(flow);
        ApplicationLibraryView& view = flow.show();
        flow.check();
        if (flow.sheet()) {
            QTest::mouseClick(flow.sheet()->confirmButton(), Qt::LeftButton);
            ASSERT_TRUE(flow.settled([&] { return !flow.model().removing(); }));
            flow.page.settle();
        }
        EXPECT_TRUE(flow.model().message().value_or("").startsWith(test.messageStart))
            << flow.model().message().value_or("").toStdString();
        EXPECT_TRUE(QFileInfo::exists(flow.app.path + "/Contents/Info.plist"));
        EXPECT_EQ(view.details()->removeButton()->text(), "重新检查并移除程序…");
        if (test.receiptState.isEmpty()) {
            EXPECT_EQ(view.details()->guidanceTitle()->text(), "检查未完成");
            const int row = view.listModel()->rowOf(flow.app.path);
            EXPECT_EQ(view.listModel()->index(row).data(ApplicationListModel::SubtitleRole),
                      "\u20681.0\u2069 · 检查未完成");
        } else {
            ApplicationReceiptsView* receipts = flow.receipts();
            ASSERT_EQ(receipts->cards().size(), 1);
            EXPECT_EQ(cardText(receipts->cards()[0], 0), test.receiptState);
        }
        flow.expectContained();
    }
}

TEST(LibraryRemovalFlow, UnreadableReceiptsBlockRemovalAndAreNeverOverwritten) {
    Flow flow;
    const QString file = Paths::applicationSupportDirectory() + "/application-removals.json";
    fixture::writeFile(file, "{not a list");
    ApplicationLibraryView& view = flow.show();
    EXPECT_FALSE(view.details()->removeButton()->isEnabled());
    EXPECT_TRUE(view.details()->receiptNote()->isVisible());
    ApplicationReceiptsView* receipts = flow.receipts();
    EXPECT_TRUE(receipts->rereadButton()->isVisible());
    EXPECT_FALSE(receipts->clearButton()->isEnabled());
    QFile kept(file);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "{not a list");
}

// A running bundle takes the way over the quit alert; it ends on SIGTERM and is checked right after.
TEST(LibraryRemovalFlow, RunningBundleIsAskedToQuitThenChecked) {
    Flow flow(fixture::CodeSpec({fixture::SliceSpec(false, true, false)}));
    const QString program = flow.app.path + "/Contents/MacOS/Sample";
    ASSERT_TRUE(QFile::remove(program) && QFile::copy(QStandardPaths::findExecutable("sleep"), program));
    std::unique_ptr<ChildProcess> running =
        ChildProcess::spawn({(flow.app.path + "/Contents/MacOS/Sample").toStdString(), "60"});
    ASSERT_TRUE(running);
    ApplicationLibraryView& view = flow.show(true);
    ApplicationLibraryModel& model = flow.model();
    ASSERT_TRUE(view.details()->quitButton()->isVisible());
    QTest::mouseClick(view.details()->quitButton(), Qt::LeftButton);
    EXPECT_FALSE(model.quittingApplicationID());
    flow.page.answer = true;
    bool waitShown = false;
    QObject::connect(&model, &ApplicationLibraryModel::quittingApplicationIDChanged, [&] {
        view.refresh();
        waitShown = waitShown || view.details()->quitWait()->isVisibleTo(&view);
    });
    QTest::mouseClick(view.details()->quitButton(), Qt::LeftButton);
    EXPECT_TRUE(waitShown);
    ASSERT_TRUE(waitUntil([&] { return !model.quittingApplicationID() && !model.checkingRemoval(); }));
    EXPECT_EQ(model.message(), "\u2068Sample\u2069：无法读取应用签名，请使用原安装方式管理。");
    EXPECT_EQ(flow.page.alerts.size(), 2);
}
