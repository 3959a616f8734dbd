#include "LibraryHarness.h"

#include <QMetaProperty>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

const QDateTime fixedNow = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

// Every published property by name (the plan, which has no equality, is checked apart).
QVariantMap stateOf(const ApplicationLibraryModel& model) {
    QVariantMap state;
    const QMetaObject& meta = *model.metaObject();
    for (int index = meta.propertyOffset(); index < meta.propertyCount(); ++index)
        state.insert(meta.property(index).name(), meta.property(index).read(&model));
    state.remove("removalPlan");
    EXPECT_FALSE(model.removalPlan().has_value());
    return state;
}

template <typename T> QVariant value(T v) {
    return QVariant::fromValue(std::move(v));
}

} // namespace

TEST(LibraryPreview, EachScenarioSetsExactlyItsStateAndNothingReachesTheSystem) {
    using Kind = ApplicationManagementGuidance::Kind;
    using Texts = std::optional<QString>;
    const QString canvas = QStringLiteral("/Applications/Canvas Studio.app");
    const QString record = QStringLiteral("卸载操作清单无法读取，原文件已保留；在修复前不能执行新的卸载。");
    const QVariantMap empty = {{"applications", value(QList<InstalledApplication>())},
                               {"selectedID", value(Texts())},
                               {"checked", value(QSet<QString>())},
                               {"sizes", value(QHash<QString, qint64>())}};
    QVariantMap loading = empty;
    loading.insert("scanning", true);
    const InstalledApplication login(
        QUrl::fromLocalFile(canvas), "Canvas Studio", "example.canvas", "3.2", {}, {}, {},
        ApplicationManagementGuidance{
            Kind::embeddedLoginItems, "程序包内包含登录助手，需要额外检查其结构、签名和运行状态。",
            "先在原应用中关闭登录启动并退出；检查通过后可一起移走程序包。", std::nullopt});
    const std::pair<const char*, QVariantMap> scenarios[] = {
        {"", {}},
        {"applications", {}},
        {"applications-empty", empty},
        {"applications-loading", loading},
        {"applications-error",
         {{"issues", QStringList{"无法读取：/Applications/Example Restricted Folder",
                                 "目录不存在或不可访问：~/Applications"}},
          {"message", value(Texts("部分目录未能读取，列表可能不完整。请展开扫描范围查看详情。"))}}},
        {"applications-checking",
         {{"checkingRemoval", true},
          {"removalPhase", value(std::optional(ApplicationRemovalPhase::signature))}}},
        {"applications-quit", {{"selectedID", value(Texts("/Applications/Orbit Browser.app"))}}},
        {"applications-vendor",
         {{"removalFeedbackID", value(Texts(canvas))},
          {"removalFeedback",
           value(std::optional(ApplicationManagementGuidance{
               Kind::vendorManaged, "发现厂商提供的卸载工具。",
               "请先查看厂商的卸载方式；发现的项目只供访达定位，不会自动运行或删除。",
               QUrl::fromLocalFile("/Applications/Canvas Studio/Uninstall Canvas Studio.app")}))}}},
        {"applications-record-error",
         {{"receiptError", value(Texts(record))}, {"message", value(Texts(record))}}},
        {"applications-ai-result",
         {{"aiSnapshotDate", value(std::optional(fixedNow))},
          {"aiResult",
           QStringLiteral("Canvas Studio：程序本体约 2.34 GB，是所选项目中较大的一项。如果已不再需要，可考虑"
                          "移除程序；项目和关联资料应保留。\n\nNotes Desk：体积较小，单凭清单没有卸载依据。"
                          "请先核实是否仍用它打开笔记。\n\n没有使用历史，不能判断哪个应用长期闲置。")}}},
    };
    LibraryHarness h;
    h.reached = [](const char* what) {
        ADD_FAILURE() << "preview reached " << what;
    };
    h.services.now = [] {
        return fixedNow;
    };
    const QVariantMap untouched = stateOf(ApplicationLibraryModel(false, h.services));
    const ApplicationLibraryModel sample(true, h.services);
    const QVariantMap initial = stateOf(sample);
    ASSERT_EQ(sample.applications().size(), 4);
    EXPECT_EQ(sample.selectedID(), canvas);
    EXPECT_EQ(sample.scannedAt(), fixedNow);
    EXPECT_EQ(sample.runningIDs(),
              (QSet<QString>{"/Applications/Orbit Browser.app", "/Applications/Lunorvale.app"}));
    const QList<InstalledApplication>& listed = sample.applications();
    EXPECT_EQ(sample.adviceItems(), (QList{ApplicationAdviceItem(listed[0], 2340000000, false),
                                           ApplicationAdviceItem(listed[2], 48000000, false)}));

    QList<std::pair<const char*, QVariantMap>> all(std::begin(scenarios), std::end(scenarios));
    QList<InstalledApplication> replaced = listed;
    replaced[0] = login;
    all.append({"applications-login", {{"applications", value(replaced)}}});
    for (const auto& [name, changes] : all) {
        SCOPED_TRACE(name);
        ApplicationLibraryModel model(true, h.services);
        model.configurePreview(QString::fromUtf8(name));
        QVariantMap expected = initial;
        expected.insert(changes);
        EXPECT_EQ(stateOf(model), expected);
        ApplicationLibraryModel real(false, h.services);
        real.configurePreview(QString::fromUtf8(name));
        EXPECT_EQ(stateOf(real), untouched);

        // Every operation of the page returns at once.
        const InstalledApplication app = model.applications().value(1, listedApplication("X"));
        EXPECT_EQ(model.canRequestQuit(app), model.runningIDs().contains(app.id()));
        model.scan();
        model.refreshRunning();
        model.requestQuitAndRecheck(app);
        model.prepareRemoval(app);
        model.remove(ApplicationRemovalPlan{QUuid::createUuid(), app, {}, fixedNow});
        model.loadReceipts();
        model.clearReceipts();
        model.revealReceipt(ApplicationRemovalReceipt{QUuid(), fixedNow, "/", "/", {}}, true);
        model.revealRemovalLog();
        model.revealRelated({Kind::vendorManaged, {}, {}, QUrl::fromLocalFile("/")});
        model.open(app);
        model.analyze("[]", {}, fixedNow);
        spinUntil([] { return false; }, std::chrono::milliseconds(20));
        EXPECT_EQ(stateOf(model), expected);
    }
    EXPECT_TRUE(h.revealer.revealed.isEmpty());
}
