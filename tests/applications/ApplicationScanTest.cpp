#include "BundleFixture.h"
#include "core/applications/ApplicationInventory.h"

#include <QFile>
#include <algorithm>

using namespace lunorvale;
using fixture::url;

namespace {

QStringList names(const ApplicationScan& scan) {
    QStringList result;
    for (const InstalledApplication& application : scan.applications)
        result << application.name();
    return result;
}

void touch(const QString& path) {
    fixture::writeFile(path, QByteArray("x"));
}

} // namespace

TEST(ApplicationScan, EmptyRootListGivesEmptyScan) {
    const ApplicationScan scan = ApplicationInventory({}).scan();
    EXPECT_TRUE(scan.applications.isEmpty());
    EXPECT_TRUE(scan.issues.isEmpty());
    EXPECT_TRUE(scan.roots.isEmpty());
}

TEST(ApplicationScan, IssueTextsAreExactUniqueAndSorted) {
    fixture::Root root;
    const QString apps = root.sub("apps");
    const QString real = root.sub("real");
    fixture::makeBundle(real, "Hidden Behind Link.app", fixture::info("org.example.link"));
    QFile::link(real, root.path + "/linked");
    const QString missing = root.path + "/missing";
    touch(root.path + "/plain-file"); // exists, but cannot be listed as a folder
    root.sub("apps/A/B/C/D");
    fixture::makeBundle(apps + "/A/B/C", "Deep Enough.app", fixture::info("org.example.deep", "Deep Enough"));
    fixture::makeBundle(apps + "/A/B/C/D", "Too Deep.app", fixture::info("org.example.toodeep"));

    const QList<QUrl> roots{url(missing), url(root.path + "/linked"), url(apps),
                            url(root.path + "/plain-file"), url(missing)};
    const ApplicationScan scan = ApplicationInventory(roots).scan();

    QStringList expected{QStringLiteral("目录不存在或不可访问：") + missing,
                         QStringLiteral("未跟随目录链接：") + root.path + "/linked",
                         QStringLiteral("未继续扫描较深目录：") + apps + "/A/B/C/D",
                         QStringLiteral("无法读取：") + root.path + "/plain-file"};
    std::sort(expected.begin(), expected.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    EXPECT_EQ(scan.issues, expected);
    EXPECT_EQ(names(scan), QStringList{"Deep Enough"});
    EXPECT_EQ(scan.roots, roots); // unchanged, duplicates and failing roots included
}

TEST(ApplicationScan, HiddenBundlesAreSkippedAndCapitalExtensionsRead) {
    fixture::Root root;
    const QString apps = root.sub("apps");
    fixture::makeBundle(apps, ".Secret.app", fixture::info("org.example.hidden", "Hidden"));
    fixture::makeBundle(apps, "Loud.APP", fixture::info("org.example.loud", "Loud"));
    root.sub("apps/.hidden-folder");
    fixture::makeBundle(apps + "/.hidden-folder", "Inside.app",
                        fixture::info("org.example.inside", "Inside"));

    const ApplicationScan scan = ApplicationInventory({url(apps)}).scan();
    ASSERT_EQ(names(scan), QStringList{"Loud"});
    EXPECT_FALSE(scan.applications.first().restriction().has_value());
    EXPECT_TRUE(scan.issues.isEmpty());
}

TEST(ApplicationScan, LinksAndFilesNamedLikeApplicationsAreListedRestricted) {
    fixture::Root root;
    const QString apps = root.sub("apps");
    const QString real =
        fixture::makeBundle(root.sub("elsewhere"), "Real.app", fixture::info("org.example.real"));
    QFile::link(real, apps + "/Linked.app");
    touch(apps + "/Plain.app");
    // A package that is not an application is neither listed nor walked into.
    fixture::makeBundle(apps + "/Tools.bundle", "Nested.app", fixture::info("org.example.nested"));

    const ApplicationScan scan = ApplicationInventory({url(apps)}).scan();
    ASSERT_EQ(names(scan), (QStringList{"Linked", "Plain"}));
    for (const InstalledApplication& application : scan.applications) {
        EXPECT_EQ(application.version(), QStringLiteral("未知"));
        EXPECT_FALSE(application.identity().has_value());
        EXPECT_EQ(application.management().kind, ApplicationManagementGuidance::Kind::unverified);
        EXPECT_EQ(application.restriction(),
                  QStringLiteral("此项目是链接或不是普通应用目录，请使用原安装方式管理。"));
    }
}

TEST(ApplicationScan, NamesSortLikeTheFileManager) {
    fixture::Root root;
    const QString apps = root.sub("apps");
    // Discovery order is by path; the list order is by name, digits as numbers, letter case ignored.
    fixture::makeBundle(apps, "a.app", fixture::info("org.example.a", "Editor 10"));
    fixture::makeBundle(apps, "b.app", fixture::info("org.example.b", "editor 2"));
    fixture::makeBundle(apps, "c.app", fixture::info("org.example.c", "Browser"));
    fixture::makeBundle(apps, "d.app", fixture::info("org.example.d", "browser"));

    const ApplicationScan scan = ApplicationInventory({url(apps)}).scan();
    // Equal names keep discovery order.
    EXPECT_EQ(names(scan), (QStringList{"Browser", "browser", "editor 2", "Editor 10"}));
}

TEST(ApplicationScan, EntryLimitStopsAtTheFiveThousandAndFirstEntry) {
    fixture::Root root;
    const QString first = root.sub("first");
    for (int i = 0; i < 5000; ++i)
        touch(first + QStringLiteral("/f%1").arg(i, 4, 10, QChar(u'0')));
    // Sorted after every plain file: the 5001st entry, never examined.
    fixture::makeBundle(first, "z.app", fixture::info("org.example.z"));
    const QString second = root.sub("second");
    fixture::makeBundle(second, "Later.app", fixture::info("org.example.later"));

    const ApplicationScan scan = ApplicationInventory({url(first), url(second)}).scan();
    EXPECT_TRUE(scan.applications.isEmpty());
    EXPECT_EQ(scan.issues, QStringList{QStringLiteral("已达到扫描上限，列表可能不完整。")});
}

TEST(ApplicationScan, ApplicationLimitStopsAtTheNextEntry) {
    fixture::Root root;
    const QString apps = root.sub("apps");
    for (int i = 0; i < 1001; ++i)
        touch(apps + QStringLiteral("/a%1.app").arg(i, 4, 10, QChar(u'0')));

    const ApplicationScan scan = ApplicationInventory({url(apps)}).scan();
    EXPECT_EQ(scan.applications.size(), 1000);
    EXPECT_EQ(scan.issues, QStringList{QStringLiteral("已达到扫描上限，列表可能不完整。")});
}

TEST(ApplicationScan, CancelledScanThrows) {
    fixture::Root root;
    fixture::makeBundle(root.sub("apps"), "One.app", fixture::info("org.example.one"));
    CancellationSource source;
    source.cancel();
    EXPECT_THROW(ApplicationInventory({url(root.path + "/apps")}).scan(source.token()), CancellationError);
}

TEST(ApplicationScan, DefaultRootsAreTheThreeFoldersWithHomeFromTheEnvironment) {
    const QList<QUrl> roots = ApplicationInventory::defaultRoots();
    ASSERT_EQ(roots.size(), 3);
    EXPECT_EQ(roots.at(0), QUrl::fromLocalFile("/Applications"));
    EXPECT_EQ(roots.at(1), QUrl::fromLocalFile(QDir::homePath() + "/Applications"));
    EXPECT_EQ(roots.at(2), QUrl::fromLocalFile("/System/Applications"));
}
