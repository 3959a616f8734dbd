#include "library/LibraryHarness.h"
#include "ui/kit/Fonts.h"
#include "ui/library/ApplicationLibraryLogic.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::ApplicationLibraryLogic;
using lunorvale::test::listedApplication;

namespace {

InstalledApplication app(const QString& name, const QString& folder = "/Applications",
                         std::optional<QString> restriction = {}, const QString& version = "1.0") {
    return InstalledApplication(QUrl::fromLocalFile(folder + "/" + name + ".app"), name, "example." + name,
                                version, name, std::nullopt, std::move(restriction), std::nullopt);
}

QStringList names(const QList<InstalledApplication>& applications) {
    QStringList shown;
    for (const InstalledApplication& application : applications)
        shown.append(application.name() + (application.id().startsWith("/Other") ? "@other" : ""));
    return shown;
}

} // namespace

TEST(LibraryLogic, VisibleListSearchesFiltersAndSorts) {
    const QList<InstalledApplication> all = {
        app("App 10"), app("app 2"),          app("Zeta", "/Other", "受保护"),
        app("Beta"),   app("Beta", "/Other"), app("Mail"),
    };
    const QHash<QString, qint64> sizes = {
        {all[0].id(), 50}, {all[2].id(), 900}, {all[3].id(), 50}, {all[5].id(), 70}};
    const QSet<QString> running = {all[1].id(), all[2].id()};
    struct Case {
        QString search;
        LibraryFilter filter;
        LibrarySort sort;
        QStringList expected;
    };
    const Case cases[] = {
        {"",
         LibraryFilter::all,
         LibrarySort::name,
         {"app 2", "App 10", "Beta", "Beta@other", "Mail", "Zeta@other"}},
        {" ",
         LibraryFilter::all,
         LibrarySort::name,
         {"app 2", "App 10", "Beta", "Beta@other", "Mail", "Zeta@other"}}, // never trimmed
        {"  ", LibraryFilter::all, LibrarySort::name, {}},
        {"APP 1", LibraryFilter::all, LibrarySort::name, {"App 10"}}, // letter case ignored
        {"beta example",
         LibraryFilter::all,
         LibrarySort::name,
         {"Beta", "Beta@other"}}, // across name and identifier
        {"/other/", LibraryFilter::all, LibrarySort::name, {"Beta@other", "Zeta@other"}}, // the folder
        {"", LibraryFilter::running, LibrarySort::name, {"app 2", "Zeta@other"}},
        {"", LibraryFilter::checkable, LibrarySort::name, {"app 2", "App 10", "Beta", "Beta@other", "Mail"}},
        {"", LibraryFilter::protected_, LibrarySort::name, {"Zeta@other"}},
        // Largest first, equal sizes by name, the unsized last by name then path.
        {"",
         LibraryFilter::all,
         LibrarySort::size,
         {"Zeta@other", "Mail", "App 10", "Beta", "app 2", "Beta@other"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE((test.search + u'|' + QString::number(static_cast<int>(test.filter)) + u'|' +
                      QString::number(static_cast<int>(test.sort)))
                         .toStdString());
        EXPECT_EQ(names(visible(all, sizes, running, test.search, test.filter, test.sort)), test.expected);
    }
}

TEST(LibraryLogic, ToolbarScopeAndEmptyTexts) {
    const std::pair<QString, QString> titles[] = {
        {filterMenuTitle(LibraryFilter::all), "筛选：全部"},
        {filterMenuTitle(LibraryFilter::running), "筛选：运行中"},
        {filterMenuTitle(LibraryFilter::checkable), "筛选：可检查"},
        {filterMenuTitle(LibraryFilter::protected_), "筛选：其他方式"},
        {sortMenuTitle(LibrarySort::name), "排序：名称"},
        {sortMenuTitle(LibrarySort::size), "排序：本体大小"},
        {scopeTitle(0), "扫描范围与数据说明"},
        {scopeTitle(2), "扫描范围 · 2 项未完整读取"},
        {scanProgressText(true, true, 1, 5).value(), "正在扫描"},
        {scanProgressText(false, true, 3, 1000).value(), "计算大小 3/1000"},
        {emptyState(true).first + emptyState(true).second, "正在查找应用扫描仅在本机进行。"},
        {emptyState(false).first, "没有可显示的应用"},
    };
    for (const auto& [shown, expected] : titles)
        EXPECT_EQ(shown, expected);
    EXPECT_FALSE(scanProgressText(false, false, 0, 0));
    // Each blocker alone disables a rescan.
    EXPECT_TRUE(rescanEnabled(false, false, false, false, false));
    for (int blocker = 0; blocker < 5; ++blocker)
        EXPECT_FALSE(rescanEnabled(blocker == 0, blocker == 1, blocker == 2, blocker == 3, blocker == 4));
}

TEST(LibraryLogic, FooterAndRemovalActionsFirstRuleWins) {
    const InstalledApplication free = app("A"), restricted = app("R", "/Applications", "受保护");
    enum Flags { none = 0, checking = 1, removing = 2, quitThis = 4, quitOther = 8 };
    struct Case {
        const InstalledApplication* application;
        int flags;
        RemovalActions actions;
        bool footer;
    };
    const Case cases[] = {
        {&free, none, RemovalActions::buttons, true},
        {&free, checking, RemovalActions::progress, true},
        {&free, removing | quitThis, RemovalActions::progress, true},
        {&free, quitThis, RemovalActions::quitWait, true},
        {&free, quitOther, RemovalActions::buttons, true},
        {&restricted, none, RemovalActions::none, false},
        {&restricted, quitOther, RemovalActions::none, false},
        {&restricted, checking, RemovalActions::progress, true},
        {&restricted, removing, RemovalActions::progress, true},
        {&restricted, quitThis, RemovalActions::quitWait, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.application->name().toStdString() + std::to_string(test.flags));
        const std::optional<QString> quitting = test.flags & quitThis ? std::optional(test.application->id())
                                                : test.flags & quitOther ? std::optional(QString("/x.app"))
                                                                         : std::nullopt;
        EXPECT_EQ(removalActions(*test.application, test.flags & checking, test.flags & removing, quitting),
                  test.actions);
        EXPECT_EQ(
            showsActionsFooter(*test.application, test.flags & checking, test.flags & removing, quitting),
            test.footer);
    }
    EXPECT_EQ(progressText(true, ApplicationRemovalPhase::signature), "已取消，正在结束当前检查…");
    EXPECT_EQ(progressText(false, ApplicationRemovalPhase::signature), "验证程序签名（大应用可能较慢）");
    EXPECT_EQ(progressText(false, std::nullopt), "正在检查…");
    EXPECT_EQ(removalButtonTitle(free, free.id()), "重新检查并移除程序…");
    EXPECT_EQ(removalButtonTitle(free, restricted.id()), "检查并移除程序…");
    EXPECT_EQ(versionLine(InstalledApplication(QUrl::fromLocalFile("/A.app"), "A", "", "2", "A", {}, {}, {})),
              "版本 2\n标识未知");
}

TEST(LibraryLogic, SizesAndTheirLabels) {
    const QHash<QString, qint64> sizes = {{"/a", 0},          {"/b", 1500}, {"/c", 780000000},
                                          {"/d", 2340000000}, {"/e", 999},  {"/f", 1000000}};
    const std::pair<QString, QString> cases[] = {
        {sizeLabel("/a", sizes, {"/a"}, true), "0 字节"},   {sizeLabel("/b", sizes, {}, false), "1.5 kB"},
        {sizeLabel("/c", sizes, {}, false), "780 MB"},      {sizeLabel("/d", sizes, {}, false), "2.34 GB"},
        {sizeLabel("/e", sizes, {}, false), "999 字节"},    {sizeLabel("/f", sizes, {}, false), "1 MB"},
        {sizeLabel("/x", sizes, {"/x"}, true), "大小未知"}, {sizeLabel("/x", sizes, {}, true), "计算中…"},
        {sizeLabel("/x", sizes, {}, false), "未计算"},
    };
    for (const auto& [shown, expected] : cases)
        EXPECT_EQ(shown, expected);
}

TEST(LibraryLogic, TicksSelectionBarAndAdviceButton) {
    QSet<QString> twenty;
    QStringList visiblePaths;
    for (int index = 0; index < 21; ++index)
        visiblePaths.append("/A" + QString::number(index));
    for (int index = 0; index < 20; ++index)
        twenty.insert(visiblePaths[index]);

    const TickOutcome refused = tick(twenty, "/A20", true);
    EXPECT_EQ(refused.checked, twenty);
    EXPECT_EQ(refused.message, "每次最多选择 20 个应用。");
    EXPECT_EQ(tick(twenty, "/A0", false).checked.size(), 19);
    EXPECT_EQ(tick(tick(twenty, "/A0", false).checked, "/A20", true).checked.size(), 20);
    EXPECT_EQ(tick(twenty, "/A0", true).checked, twenty); // already ticked: no message
    EXPECT_FALSE(tick(twenty, "/A0", true).message);

    const TickOutcome tooMany = tickVisible({"/kept"}, visiblePaths);
    EXPECT_EQ(tooMany.checked, QSet<QString>{"/kept"});
    EXPECT_EQ(tooMany.message, "每次最多分析 20 个应用，请先搜索筛选，或逐项勾选。");
    const TickOutcome replaced = tickVisible({"/kept"}, visiblePaths.mid(0, 20));
    EXPECT_EQ(replaced.checked, twenty);
    EXPECT_FALSE(replaced.message);

    EXPECT_EQ(selectionBarText(0), "已选 0 项，仅用于 AI 分析");
    const AIConfiguration unset{"https://api.example.invalid/v1", ""}, blank{"x", "  "}, set{"x", "m"};
    struct Case {
        AIConfiguration configuration;
        bool removing, busy;
        qsizetype ticked;
        QString title;
        bool enabled;
    };
    const Case cases[] = {
        {unset, false, false, 0, "配置 AI", true},      {unset, true, false, 0, "配置 AI", false},
        {unset, false, true, 3, "配置 AI", false},      {blank, false, false, 0, "预览 AI 清单", false},
        {blank, false, false, 1, "预览 AI 清单", true}, {set, false, false, 0, "预览 AI 清单", false},
        {set, false, false, 20, "预览 AI 清单", true},  {set, true, false, 2, "预览 AI 清单", false},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(adviceButtonTitle(test.configuration), test.title);
        EXPECT_EQ(adviceButtonEnabled(test.configuration, test.removing, test.busy, test.ticked),
                  test.enabled)
            << test.configuration.model.toStdString() << test.ticked;
    }
}

TEST(LibraryLogic, AdviceSectionStates) {
    const QDateTime at(QDate(2026, 3, 4), QTime(9, 5, 7));
    const QString reply = "**粗体**";
    struct Case {
        const char* state;
        bool busy;
        std::optional<QString> error;
        QString result;
        std::optional<QDateTime> snapshot;
        AdviceRows rows;
    };
    const Case cases[] = {
        {"idle", false, {}, {}, {}, {false, {}, {}, {}, true}},
        {"busy", true, {}, {}, at, {true, {}, {}, {}, false}},
        {"failed", false, "失败。", {}, at, {false, "失败。", {}, {}, true}},
        {"done", false, {}, reply, at, {false, {}, "基于 09:05:07 已确认的清单", reply, false}},
        {"done without time", false, {}, reply, {}, {false, {}, {}, reply, false}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.state);
        EXPECT_EQ(adviceRows(test.busy, test.error, test.result, test.snapshot), test.rows);
    }
    EXPECT_FALSE(showsAdviceSection(false, false, std::nullopt, QString()));
    EXPECT_TRUE(showsAdviceSection(true, false, std::nullopt, QString()));
    EXPECT_TRUE(showsAdviceSection(false, false, QString("e"), QString()));
    EXPECT_TRUE(showsAdviceSection(false, false, std::nullopt, reply));
}

// A list too long to send stops the request after the running applications were read again (the page
// test covers the other steps).
TEST(LibraryLogic, AdviceRequestStopsAtASummaryItCannotMake) {
    QStringList trace;
    const AdviceRequest request = requestAdvice(
        {"https://api.example.invalid/v1", "m"}, [&] { trace.append("refresh"); },
        [&]() -> QString { throw ApplicationManagementError::blocked("清单较长，请减少所选应用后重试。"); },
        [&] { return trace.append("count"), qsizetype(3); }, QDateTime::fromSecsSinceEpoch(5));
    EXPECT_EQ(trace, QStringList{"refresh"});
    EXPECT_EQ(request.message, "清单较长，请减少所选应用后重试。");
    EXPECT_FALSE(request.configureAI || request.consent);
}

TEST(LibraryLogic, ConfirmedListDecodesAllOrNothing) {
    const InstalledApplication a = listedApplication("A"), r = listedApplication("R", QString("限制"));
    const QString made = ApplicationAdviceSummary::make(
        {ApplicationAdviceItem(a, std::nullopt, true), ApplicationAdviceItem(r, int64_t(0), false)});
    const QList<ApplicationAdviceItem> items = confirmedList(made);
    ASSERT_EQ(items.size(), 2);
    const ConsentCard first = consentCard(items[0]), second = consentCard(items[1]);
    EXPECT_EQ(first.identity, "版本：\u20681.0\u2069\n应用标识：\u2068example.A\u2069");
    EXPECT_EQ(first.size, "本体大小：未知");
    EXPECT_EQ(first.running, "当前应用快照：运行中");
    EXPECT_FALSE(first.restriction);
    EXPECT_EQ(second.size, "本体大小：0 字节（0 字节）");
    EXPECT_EQ(second.running, "当前应用快照：未见运行，不代表长期不用");
    EXPECT_EQ(second.restriction, "已知限制：限制");

    const char* refused[] = {
        "not json",
        "[]",
        R"({"scope":"x"})",
        R"({"applications":{}})",
        R"({"applications":[{"name":"A","bundleIdentifier":"a","version":"1","runningInCurrentSnapshot":1}]})",
        R"({"applications":[{"name":"A","bundleIdentifier":"a","version":"1","runningInCurrentSnapshot":true},3]})",
        R"({"applications":[{"name":"A","bundleIdentifier":"a","version":"1","runningInCurrentSnapshot":true,"bundleBytes":1.5}]})",
    };
    for (const char* summary : refused)
        EXPECT_TRUE(confirmedList(QString::fromUtf8(summary)).isEmpty()) << summary;
    EXPECT_EQ(confirmedList(R"({"applications":[],"other":1})").size(), 0);
    EXPECT_EQ(consentSubtitle(7), "共 7 个应用。名称与标识会透露你安装的软件；可返回列表取消勾选。");
}

TEST(LibraryLogic, ReceiptsContentAndEnablement) {
    const ApplicationRemovalReceipt kept{QUuid::createUuid(), QDateTime(QDate(2026, 1, 2), QTime(3, 4)),
                                         "/A.app", std::nullopt, "待复查"};
    EXPECT_EQ(receiptsContent(QString("e"), {kept}), ReceiptsContent::unreadable);
    EXPECT_EQ(receiptsContent(std::nullopt, {}), ReceiptsContent::empty);
    EXPECT_EQ(receiptsContent(std::nullopt, {kept}), ReceiptsContent::list);
    EXPECT_TRUE(clearReceiptsEnabled(1, false, false, std::nullopt));
    for (int blocker = 0; blocker < 4; ++blocker)
        EXPECT_FALSE(clearReceiptsEnabled(blocker == 0 ? 0 : 1, blocker == 1, blocker == 2,
                                          blocker == 3 ? std::optional<QString>("e") : std::nullopt));
    EXPECT_TRUE(rereadReceiptsEnabled(false, false));
    EXPECT_FALSE(rereadReceiptsEnabled(true, false) || rereadReceiptsEnabled(false, true));
    EXPECT_EQ(receiptLocations(kept), "原位置：\u2066/A.app\u2069\n回收站位置：未记录，请手动复查");
    EXPECT_EQ(receiptDate(kept.date), "2026年1月2日 03:04");
    EXPECT_TRUE(showsLoginItemNote(ApplicationManagementGuidance::Kind::embeddedLoginItems));
    EXPECT_FALSE(showsLoginItemNote(ApplicationManagementGuidance::Kind::requiresQuit));
}

// A name or a version in the program's sentences stays where the sentence puts it, whatever direction
// its letters run: laid out as the kit lays text out, a right-to-left name still comes before " · " and
// the version after it. The marks that keep it there draw nothing: no box, no width.
TEST(LibraryLogic, NamesInSentencesCannotReorderTheWordsAroundThem) {
    const QString hebrew = QStringLiteral("\u05d7\u05e9\u05d1\u05d5\u05df");
    const QString subtitle = removalSubtitle(app(hebrew));
    QTextLayout layout(subtitle, Fonts::system(13));
    layout.setTextOption(QTextOption(Qt::AlignLeft));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(10000);
    layout.endLayout();
    const qreal dot = line.cursorToX(int(subtitle.indexOf(u'·')));
    for (int i = 0; i < subtitle.size(); ++i) {
        if (subtitle.at(i).script() == QChar::Script_Hebrew) {
            EXPECT_LT(line.cursorToX(i), dot) << i;
        }
    }
    EXPECT_GT(line.cursorToX(int(subtitle.indexOf(u'1'))), dot);

    const QFontMetricsF metrics(Fonts::system(13));
    const QString latin = removalSubtitle(app("Notes"));
    EXPECT_EQ(metrics.horizontalAdvance(latin),
              metrics.horizontalAdvance(QString(latin).remove(u'\u2068').remove(u'\u2069')));
}
