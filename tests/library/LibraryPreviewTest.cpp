#include "LibraryHarness.h"
#include "core/ai/ApplicationAdviceSummary.h"

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// Every published property; plans by id.
struct State {
    QList<InstalledApplication> applications;
    QHash<QString, qint64> sizes;
    QSet<QString> sizeErrors, checked, runningIDs;
    QStringList issues;
    bool scanning, sizing, checkingRemoval, cancellingRemovalCheck, removing, aiBusy;
    std::optional<QString> selectedID, message, removalFeedbackID, quittingApplicationID, receiptError,
        receiptActionMessage, aiError;
    std::optional<QDateTime> scannedAt, aiSnapshotDate;
    std::optional<ApplicationRemovalPhase> removalPhase;
    std::optional<ApplicationManagementGuidance> removalFeedback;
    std::optional<QUuid> removalPlan;
    QList<ApplicationRemovalReceipt> receipts;
    QString aiResult;

    friend bool operator==(const State&, const State&) = default;
};

State stateOf(const ApplicationLibraryModel& m) {
    return {m.applications(),      m.sizes(),
            m.sizeErrors(),        m.checked(),
            m.runningIDs(),        m.issues(),
            m.scanning(),          m.sizing(),
            m.checkingRemoval(),   m.cancellingRemovalCheck(),
            m.removing(),          m.aiBusy(),
            m.selectedID(),        m.message(),
            m.removalFeedbackID(), m.quittingApplicationID(),
            m.receiptError(),      m.receiptActionMessage(),
            m.aiError(),           m.scannedAt(),
            m.aiSnapshotDate(),    m.removalPhase(),
            m.removalFeedback(),   m.removalPlan() ? std::optional(m.removalPlan()->id) : std::nullopt,
            m.receipts(),          m.aiResult()};
}

const QDateTime fixedNow = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

// Services that fail the test when anything reaches them.
ApplicationLibraryServices failingServices(FakeRevealer& revealer) {
    const auto reached = [](const char* what) {
        ADD_FAILURE() << "preview reached " << what;
    };
    ApplicationLibraryServices s;
    s.runningApplications = [=] {
        return reached("the workspace"), QList<ApplicationRunningTarget>();
    };
    s.scan = [=](const CancellationToken&) {
        return reached("the disk"), ApplicationScan();
    };
    s.bundleSize = [=](const InstalledApplication&, const CancellationToken&) {
        return reached("the disk"), int64_t(0);
    };
    s.prepare = [=](const InstalledApplication&, const auto&,
                    const CancellationToken&) -> ApplicationRemovalPlan {
        reached("the removal service");
        throw CancellationError();
    };
    s.execute = [=](const ApplicationRemovalPlan&, const auto&,
                    const CancellationToken&) -> ApplicationRemovalResult {
        reached("the removal service");
        throw CancellationError();
    };
    s.removalLog = [=] {
        return reached("the receipts"), ApplicationRemovalLog(QUrl());
    };
    s.analyze = [=](const QString&, const AIConfiguration&, const QString&, AIAnalysisPurpose,
                    AIClient::Completion) {
        return reached("the network"), AIRequestHandle();
    };
    s.uptime = [=] {
        return reached("the fixedNow of a quit wait"), 0.0;
    };
    s.now = [] {
        return fixedNow;
    };
    s.revealer = &revealer;
    return s;
}

} // namespace

TEST(LibraryPreview, EachScenarioSetsExactlyItsStateAndNothingReachesTheSystem) {
    const QString canvas = QStringLiteral("/Applications/Canvas Studio.app");
    const QString orbit = QStringLiteral("/Applications/Orbit Browser.app");
    const QString record = QStringLiteral("卸载操作清单无法读取，原文件已保留；在修复前不能执行新的卸载。");
    using Kind = ApplicationManagementGuidance::Kind;
    const auto empty = [](State& s) {
        s.applications.clear();
        s.selectedID.reset();
        s.checked.clear();
        s.sizes.clear();
    };
    const std::pair<const char*, std::function<void(State&)>> scenarios[] = {
        {"",
         [](State&) {
         }},
        {"applications",
         [](State&) {
         }},
        {"applications-empty", empty},
        {"applications-loading",
         [&](State& s) {
             empty(s), s.scanning = true;
         }},
        {"applications-error",
         [](State& s) {
             s.issues = {QStringLiteral("无法读取：/Applications/Example Restricted Folder"),
                         QStringLiteral("目录不存在或不可访问：~/Applications")};
             s.message = QStringLiteral("部分目录未能读取，列表可能不完整。请展开扫描范围查看详情。");
         }},
        {"applications-checking",
         [&](State& s) {
             s.checkingRemoval = true, s.removalPhase = ApplicationRemovalPhase::signature;
         }},
        {"applications-quit",
         [&](State& s) {
             s.selectedID = orbit;
         }},
        {"applications-vendor",
         [&](State& s) {
             s.removalFeedbackID = canvas;
             s.removalFeedback = {
                 Kind::vendorManaged, QStringLiteral("发现厂商提供的卸载工具。"),
                 QStringLiteral("请先查看厂商的卸载方式；发现的项目只供访达定位，不会自动运行或删除。"),
                 QUrl::fromLocalFile("/Applications/Canvas Studio/Uninstall Canvas Studio.app")};
         }},
        {"applications-login",
         [&](State& s) {
             const InstalledApplication& first = s.applications[0];
             s.applications[0] = InstalledApplication(
                 first.url(), first.name(), first.bundleID(), first.version(), {}, {}, {},
                 ApplicationManagementGuidance{
                     Kind::embeddedLoginItems,
                     QStringLiteral("程序包内包含登录助手，需要额外检查其结构、签名和运行状态。"),
                     QStringLiteral("先在原应用中关闭登录启动并退出；检查通过后可一起移走程序包。"),
                     std::nullopt});
         }},
        {"applications-record-error",
         [&](State& s) {
             s.receiptError = record, s.message = record;
         }},
        {"applications-ai-result",
         [](State& s) {
             s.aiSnapshotDate = fixedNow;
             s.aiResult = QStringLiteral(
                 "Canvas Studio：程序本体约 2.34 GB，是所选项目中较大的一项。如果已不再需要，可"
                 "考虑移除程序；项目和关联资料应保留。\n\nNotes Desk：体积较小，单凭清单没有卸载依"
                 "据。请先核实是否仍用它打开笔记。\n\n没有使用历史，不能判断哪个应用长期闲置。");
         }},
    };
    FakeRevealer revealer;
    const ApplicationLibraryModel plain(false, failingServices(revealer));
    const State untouched = stateOf(plain);
    const ApplicationLibraryModel sample(true, failingServices(revealer));
    const State initial = stateOf(sample);
    ASSERT_EQ(initial.applications.size(), 4);
    EXPECT_EQ(initial.selectedID, canvas);
    EXPECT_EQ(initial.scannedAt, fixedNow);
    EXPECT_EQ(sample.summary(), ApplicationAdviceSummary::make(
                                    {ApplicationAdviceItem(initial.applications[0], 2340000000, false),
                                     ApplicationAdviceItem(initial.applications[2], 48000000, false)}));

    for (const auto& [name, change] : scenarios) {
        SCOPED_TRACE(name);
        ApplicationLibraryModel model(true, failingServices(revealer));
        model.configurePreview(QString::fromUtf8(name));
        State expected = initial;
        change(expected);
        EXPECT_EQ(stateOf(model), expected);
        ApplicationLibraryModel real(false, failingServices(revealer));
        real.configurePreview(QString::fromUtf8(name));
        EXPECT_EQ(stateOf(real), untouched);

        // Every operation of the page returns at once.
        const State before = stateOf(model);
        const InstalledApplication app = model.applications().value(1, listedApplication("X"));
        model.scan();
        model.refreshRunning();
        EXPECT_EQ(model.canRequestQuit(app), model.runningIDs().contains(app.id()));
        model.requestQuitAndRecheck(app);
        model.prepareRemoval(app);
        model.remove(ApplicationRemovalPlan{QUuid::createUuid(), app, QByteArray(), fixedNow});
        model.loadReceipts();
        model.clearReceipts();
        model.revealReceipt(
            ApplicationRemovalReceipt{QUuid(), fixedNow, QStringLiteral("/"), QStringLiteral("/"), QString()},
            true);
        model.revealRemovalLog();
        model.revealRelated({Kind::vendorManaged, {}, {}, QUrl::fromLocalFile("/")});
        model.open(app);
        model.analyze(QStringLiteral("[]"), {}, fixedNow);
        spinUntil([] { return false; }, std::chrono::milliseconds(20));
        EXPECT_EQ(stateOf(model), before);
    }
    EXPECT_TRUE(revealer.revealed.isEmpty());
}
