#include "LibraryHarness.h"
#include "core/common/ErrorCause.h"

#include <QDir>
#include <cerrno>

using namespace lunorvale;
using namespace lunorvale::test;

// The check publishes a plan only while nothing changed; the removal of that plan updates the list and
// tells where the bundle went.
TEST(LibraryRemoval, CheckThenRemovalEndAsTheirOutcomeSays) {
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B");
    const QString moved = QStringLiteral("已移入废纸篓"),
                  remains = ApplicationRemovalReceipt::stateText(
                      ApplicationRemovalReceipt::State::movedSourceRemains);
    // The receipt keeps the words it was written with; the message says what this desktop calls the trash.
    const QString shown = QStringLiteral("已移入回收站"),
                  shownRemains = QStringLiteral("已移入回收站，原位置仍有项目或无法确认，请重新扫描并复查");
    const QString kept = QStringLiteral("。程序包外的资料、缓存和共享组件保留；回收站尚未清空。");
    // The name and the paths sit between isolates, so that no letter of theirs reorders the sentence.
    const QString named = QStringLiteral("\u2068A\u2069：");
    const QString unsaved =
        QStringLiteral("操作清单更新失败，请记录原位置：\u2066/Applications/A.app\u2069；回收站位置：");
    enum class During { nothing, refusal, selectOther, cancel, runAgain };
    struct Case {
        During during;
        QString state; // of the receipt the removal returns
        bool logSaved;
        std::optional<QString> trash;
        std::optional<QString> message;
        bool gone;
    };
    const Case cases[] = {
        {During::nothing, moved, true, "/t/A.app", named + shown + kept, true},
        {During::nothing, remains, true, "/t/A.app", named + shownRemains + kept, false},
        {During::nothing, moved, false, "/t/A.app", named + shown + kept + unsaved + "\u2066/t/A.app\u2069。",
         true},
        {During::nothing, moved, false, {}, named + shown + kept + unsaved + "请在文件管理器中查看。", true},
        {During::refusal, {}, true, {}, named + "签名无效。", false},
        {During::selectOther, {}, true, {}, "所选应用已变化，请重新检查。", false},
        {During::cancel, {}, true, {}, "已取消检查，没有移除应用。", false},
        {During::runAgain,
         {},
         true,
         {},
         named + "此应用已重新运行。 请先保存工作并正常退出，再重新检查。",
         false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.message.value_or(QString()).toStdString());
        LibraryHarness h;
        QList<std::optional<ApplicationRemovalPhase>> phases;
        // The user acts while the check is in its components phase; its result comes after, cancelled
        // or not.
        h.prepare = [&](const InstalledApplication& application) {
            ApplicationLibraryModel& model = *h.model;
            EXPECT_TRUE(deliverDue());
            EXPECT_EQ(phases.size(), 2);
            model.scan();
            model.prepareRemoval(b); // neither starts while a check runs
            if (test.during == During::selectOther)
                model.setSelectedID(b.id());
            if (test.during == During::cancel) {
                model.cancelRemovalCheck(true);
                EXPECT_TRUE(model.checkingRemoval() && model.cancellingRemovalCheck());
            }
            if (test.during == During::refusal)
                throw ApplicationManagementError::blocked(QStringLiteral("签名无效。"));
            return ApplicationRemovalPlan{
                QUuid::createUuid(), application, {}, QDateTime::currentDateTimeUtc()};
        };
        h.execute = [&](const ApplicationRemovalPlan&) {
            return ApplicationRemovalResult{
                {QUuid(), {}, a.id(), test.trash, test.state}, test.logSaved, test.state != moved};
        };
        ApplicationLibraryModel& model = h.scanned({a, b});
        model.setChecked({a.id(), b.id()});
        QObject::connect(&model, &ApplicationLibraryModel::removalPhaseChanged,
                         [&] { phases.append(model.removalPhase()); });
        model.setSelectedID(a.id());
        model.prepareRemoval(a);
        ASSERT_TRUE(h.executor.settle());
        EXPECT_FALSE(model.checkingRemoval());
        EXPECT_EQ(phases,
                  (QList<std::optional<ApplicationRemovalPhase>>{
                      ApplicationRemovalPhase::identity, ApplicationRemovalPhase::components, std::nullopt}));
        EXPECT_FALSE(model.scanning() || model.cancellingRemovalCheck());
        EXPECT_EQ(h.checks, 1);

        if (model.removalPlan()) {
            model.remove(ApplicationRemovalPlan{QUuid::createUuid(), a, {}, {}}); // not the plan shown
            EXPECT_TRUE(model.removalPlan() && !model.removing());
            if (test.during == During::runAgain)
                h.running = {runningTarget(a)};
            model.remove(*model.removalPlan());
            EXPECT_FALSE(model.removalPlan());
            EXPECT_TRUE(model.removing());
            ASSERT_TRUE(h.executor.settle());
            EXPECT_FALSE(model.removing());
        }
        EXPECT_EQ(model.message(), test.message);
        EXPECT_EQ(model.removalFeedback().has_value(),
                  test.during == During::refusal || test.during == During::runAgain);
        EXPECT_EQ(model.applications(), (test.gone ? QList{b} : QList{a, b}));
        EXPECT_EQ(model.selectedID(), (test.gone || test.during == During::selectOther ? b.id() : a.id()));
        EXPECT_EQ(model.checked().contains(a.id()), !test.gone);
        EXPECT_EQ(model.sizes().contains(a.id()), !test.gone);
        EXPECT_EQ(model.removalPhase(), std::nullopt);
    }
}

// The receipt is saved before anything moves; where the system refuses the list, the removal stops and the
// message says why (a full disk, a read-only home), not only that it stopped.
TEST(LibraryRemoval, AReceiptListThatCannotBeSavedStopsTheRemovalAndSaysWhy) {
    struct FailingFlush final : DurableFileCalls {
        explicit FailingFlush(int error) : error(error) {}
        int fsync(int) const override { return errno = error, -1; }
        int error;
    };
    const InstalledApplication a = listedApplication("A");
    for (const int cause : {ENOSPC, EROFS}) {
        LibraryHarness h;
        const QString folder = h.folder.filePath("Lunorvale");
        ASSERT_TRUE(QDir().mkpath(folder));
        const ApplicationRemovalLog log(QUrl::fromLocalFile(folder + "/r.json"),
                                        std::make_shared<FailingFlush>(cause));
        h.services.removalLog = [log] {
            return log;
        };
        h.execute = [&](const ApplicationRemovalPlan& plan) {
            log.save({{plan.id, {}, plan.application.id(), {}, "待复查"}});
            return ApplicationRemovalResult{};
        };
        ApplicationLibraryModel& model = h.scanned({a});
        h.check(a);
        model.remove(*model.removalPlan());
        ASSERT_TRUE(h.executor.settle());
        EXPECT_EQ(model.message(),
                  "\u2068A\u2069：无法保存卸载操作清单，操作已停止。" + ErrorCause::sentence(cause));
    }
}
