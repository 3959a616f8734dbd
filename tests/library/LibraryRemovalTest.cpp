#include "LibraryHarness.h"

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

ApplicationManagementGuidance guidance(ApplicationManagementGuidance::Kind kind, const QString& reason,
                                       const QString& nextStep) {
    return {kind, reason, nextStep, std::nullopt};
}

} // namespace

TEST(LibraryRemoval, CheckPublishesAPlanOnlyWhileNothingChanged) {
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B");
    using Kind = ApplicationManagementGuidance::Kind;
    const ApplicationManagementGuidance vendor =
        guidance(Kind::vendorManaged, QStringLiteral("发现卸载工具。"), QStringLiteral("请用厂商方式。"));
    enum class During { nothing, selectOther, cancel };
    struct Case {
        const char* name;
        std::function<void()> refuse; // throws the check's refusal; null: the check passes
        During during;
        bool plan;
        std::optional<QString> message;
        std::optional<ApplicationManagementGuidance> feedback;
    };
    const Case cases[] = {
        {"passes", nullptr, During::nothing, true, {}, {}},
        {"refused with guidance", [&] { throw ApplicationManagementError::guidance(vendor); },
         During::nothing, false, QStringLiteral("A：发现卸载工具。 请用厂商方式。"), vendor},
        {"blocked", [] { throw ApplicationManagementError::blocked(QStringLiteral("签名无效。")); },
         During::nothing, false, QStringLiteral("A：签名无效。"),
         guidance(Kind::unverified, QStringLiteral("签名无效。"),
                  QStringLiteral("请核对应用与操作清单后重新检查；也可以在访达中查看原位置。"))},
        {"selection changed",
         nullptr,
         During::selectOther,
         false,
         QStringLiteral("所选应用已变化，请重新检查。"),
         {}},
        {"cancelled, late plan",
         nullptr,
         During::cancel,
         false,
         QStringLiteral("已取消检查，没有移除应用。"),
         {}},
        {"cancelled, late refusal",
         [&] { throw ApplicationManagementError::guidance(vendor); },
         During::cancel,
         false,
         QStringLiteral("已取消检查，没有移除应用。"),
         {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LibraryHarness h;
        Gate gate;
        h.prepare = [&](const InstalledApplication& application) {
            gate.wait(); // cancellation is ignored here: the result comes late
            if (test.refuse)
                test.refuse();
            return ApplicationRemovalPlan{
                QUuid::createUuid(), application, {}, QDateTime::currentDateTimeUtc()};
        };
        ApplicationLibraryModel& model = h.scanned({a, b});
        QList<std::optional<ApplicationRemovalPhase>> phases;
        QObject::connect(&model, &ApplicationLibraryModel::removalPhaseChanged,
                         [&] { phases.append(model.removalPhase()); });
        model.setSelectedID(a.id());
        model.prepareRemoval(a);
        ASSERT_TRUE(spinUntil([&] { return gate.waiting() && phases.size() == 2; }));
        model.scan();
        model.prepareRemoval(b);
        EXPECT_FALSE(model.scanning()); // neither starts while a check runs
        if (test.during == During::selectOther)
            model.setSelectedID(b.id());
        if (test.during == During::cancel) {
            model.cancelRemovalCheck(true);
            EXPECT_TRUE(model.checkingRemoval() && model.cancellingRemovalCheck());
        }
        gate.open();
        ASSERT_TRUE(spinUntil([&] { return !model.checkingRemoval(); }));

        EXPECT_EQ(phases.first(), ApplicationRemovalPhase::identity);
        EXPECT_EQ(phases[1], ApplicationRemovalPhase::components);
        EXPECT_EQ(phases.last(), std::nullopt);
        EXPECT_EQ(model.removalPlan().has_value(), test.plan);
        EXPECT_EQ(model.message(), test.message);
        EXPECT_EQ(model.removalFeedback(), test.feedback);
        EXPECT_FALSE(model.cancellingRemovalCheck());
        EXPECT_EQ(h.prepared, QList<QString>{a.id()});
    }
}

TEST(LibraryRemoval, RemovalOutcomeUpdatesTheListAndTheMessage) {
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B");
    const QString kept = QStringLiteral("。程序包外的资料、缓存和共享组件保留；废纸篓尚未清空。");
    struct Case {
        const char* name;
        bool runsAgain;
        std::optional<ApplicationRemovalResult> result; // absent: execution fails
        QList<InstalledApplication> applications;
        std::optional<QString> selected;
        QString message;
    };
    const auto outcome = [&](bool gone, bool saved, std::optional<QString> trash) {
        using State = ApplicationRemovalReceipt::State;
        return ApplicationRemovalResult{
            {QUuid(),
             {},
             a.id(),
             std::move(trash),
             ApplicationRemovalReceipt::stateText(gone ? State::moved : State::movedSourceRemains)},
            saved,
            !gone};
    };
    const Case cases[] = {
        {"moved", false, outcome(true, true, "/t/A.app"), {b}, b.id(), "A：已移入废纸篓" + kept},
        {"something still at the path",
         false,
         outcome(false, true, "/t/A.app"),
         {a, b},
         a.id(),
         "A：已移入废纸篓，原位置仍有项目或无法确认，请重新扫描并复查" + kept},
        {"final record not saved",
         false,
         outcome(true, false, "/t/A.app"),
         {b},
         b.id(),
         "A：已移入废纸篓" + kept +
             "操作清单更新失败，请记录原位置：/Applications/A.app；废纸篓位置：/t/A.app。"},
        {"not saved, trash unknown",
         false,
         outcome(true, false, std::nullopt),
         {b},
         b.id(),
         "A：已移入废纸篓" + kept +
             "操作清单更新失败，请记录原位置：/Applications/A.app；废纸篓位置：请在访达中查看。"},
        {"execution fails",
         false,
         std::nullopt,
         {a, b},
         a.id(),
         QStringLiteral("A：应用已更新或被替换，请重新检查。")},
        {"running again",
         true,
         outcome(true, true, "/t/A.app"),
         {a, b},
         a.id(),
         QStringLiteral("A：此应用已重新运行。 请先保存工作并正常退出，再重新检查。")},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LibraryHarness h;
        int executed = 0;
        h.execute = [&](const ApplicationRemovalPlan&) {
            ++executed;
            if (!test.result)
                throw ApplicationManagementError::blocked(QStringLiteral("应用已更新或被替换，请重新检查。"));
            return *test.result;
        };
        ApplicationLibraryModel& model = h.scanned({a, b});
        model.setChecked({a.id(), b.id()});
        h.check(a);
        ASSERT_TRUE(model.removalPlan());
        const ApplicationRemovalPlan plan = *model.removalPlan();
        model.remove(ApplicationRemovalPlan{QUuid::createUuid(), a, {}, {}}); // not the plan shown
        EXPECT_TRUE(model.removalPlan() && !model.removing());
        if (test.runsAgain)
            h.running = {runningTarget(a)};
        model.remove(plan);
        EXPECT_FALSE(model.removalPlan());
        EXPECT_EQ(model.removing(), !test.runsAgain);
        ASSERT_TRUE(spinUntil([&] { return !model.removing(); }));

        EXPECT_EQ(executed, test.runsAgain ? 0 : 1);
        EXPECT_EQ(model.applications(), test.applications);
        EXPECT_EQ(model.selectedID(), test.selected);
        EXPECT_EQ(model.checked().contains(a.id()), test.applications.contains(a));
        EXPECT_EQ(model.sizes().contains(a.id()), test.applications.contains(a));
        EXPECT_EQ(model.message(), test.message);
        EXPECT_EQ(model.removalPhase(), std::nullopt);
    }
}
