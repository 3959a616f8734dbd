#include "BundleFixture.h"

#include <QScopeGuard>
#include <algorithm>
#include <filesystem>

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
    fixture::writeFile(path, "x");
}

const QString limitIssue = "已达到扫描上限，列表可能不完整。";

} // namespace

TEST(ApplicationScan, IssueTextsAreExactUniqueAndSorted) {
    const ApplicationScan none = ApplicationInventory({}).scan();
    EXPECT_TRUE(none.applications.isEmpty() && none.issues.isEmpty() && none.roots.isEmpty());

    fixture::Root root;
    const QString apps = root.sub("apps");
    fixture::makeBundle(root.sub("real"), "Behind Link.app", fixture::info("org.example.link"));
    QFile::link(root.path + "/real", root.path + "/linked");
    const QString missing = root.path + "/missing";
    touch(root.path + "/plain-file"); // exists, but cannot be listed as a folder
    fixture::makeBundle(apps + "/A/B/C", "Deep Enough.app", fixture::info("org.example.deep", "Deep Enough"));
    fixture::makeBundle(apps + "/A/B/C/D", "Too Deep.app", fixture::info("org.example.toodeep"));
    // Two bundles whose names are no UTF-8, removed by their bytes (QTemporaryDir cannot), and the bundle
    // their names decoded to before.
    const std::string bad[] = {apps.toStdString() + "/Bad\xFE.app", apps.toStdString() + "/Bad\xFF.app"};
    const auto removeBad = qScopeGuard([&bad] {
        for (const std::string& path : bad)
            std::filesystem::remove(path);
    });
    for (const std::string& path : bad)
        ASSERT_TRUE(std::filesystem::create_directory(path));
    fixture::makeBundle(apps, "Bad\uFFFD.app", fixture::info("org.example.bad", "Bad"));

    const QList<QUrl> roots{url(missing), url(root.path + "/linked"), url(apps),
                            url(root.path + "/plain-file"), url(missing)};
    const ApplicationScan scan = ApplicationInventory(roots).scan();
    // Each path is shown verbatim, between a left-to-right isolate and its end.
    const auto shown = [](const QString& path) {
        return "\u2066" + path + "\u2069";
    };
    QStringList expected{
        "目录不存在或不可访问：" + shown(missing),         "未跟随目录链接：" + shown(root.path + "/linked"),
        "未继续扫描较深目录：" + shown(apps + "/A/B/C/D"), "无法读取：" + shown(root.path + "/plain-file"),
        "无法读取：" + shown(apps + "/Bad\\xFE.app"),      "无法读取：" + shown(apps + "/Bad\\xFF.app")};
    std::sort(expected.begin(), expected.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    EXPECT_EQ(scan.issues, expected);
    EXPECT_EQ(names(scan), (QStringList{"Bad", "Deep Enough"}));
    EXPECT_EQ(scan.roots, roots); // unchanged, duplicates and failing roots included
}

TEST(ApplicationScan, WhatIsListedAndHowItSorts) {
    fixture::Root root;
    const QString apps = root.sub("apps");
    fixture::makeBundle(apps, ".Secret.app", fixture::info("org.example.hidden", "Hidden"));
    fixture::makeBundle(apps + "/.hidden-folder", "Inside.app",
                        fixture::info("org.example.inside", "Inside"));
    fixture::makeBundle(apps, "Loud.APP", fixture::info("org.example.loud", "Loud"));
    // Discovery order is by path; the list order is by name, digits as numbers, letter case ignored, and
    // equal names keep discovery order.
    fixture::makeBundle(apps, "a.app", fixture::info("org.example.a", "Editor 10"));
    fixture::makeBundle(apps, "b.app", fixture::info("org.example.b", "editor 2"));
    fixture::makeBundle(apps, "c.app", fixture::info("org.example.c", "Browser"));
    fixture::makeBundle(apps, "d.app", fixture::info("org.example.d", "browser"));
    // Named like applications but not folders: listed, restricted.
    QFile::link(fixture::makeBundle(root.sub("elsewhere"), "Real.app", fixture::info("org.example.real")),
                apps + "/Linked.app");
    touch(apps + "/Plain.app");
    // A package that is not an application is neither listed nor walked into.
    fixture::makeBundle(apps + "/Tools.bundle", "Nested.app", fixture::info("org.example.nested"));

    const ApplicationScan scan = ApplicationInventory({url(apps)}).scan();
    EXPECT_EQ(names(scan),
              (QStringList{"Browser", "browser", "editor 2", "Editor 10", "Linked", "Loud", "Plain"}));
    EXPECT_TRUE(scan.issues.isEmpty());
    for (const int unreadable : {4, 6}) {
        const InstalledApplication& application = scan.applications.at(unreadable);
        EXPECT_FALSE(application.identity().has_value());
        EXPECT_EQ(application.version(), "未知");
        EXPECT_EQ(application.restriction(), "此项目是链接或不是普通应用目录，请使用原安装方式管理。");
    }
}

TEST(ApplicationScan, LimitsStopTheWalkWithOneIssue) {
    // Limits of a few dozen entries reach the walk's stops as the program's thousands do.
    const ApplicationScanLimits limits{.entries = 24, .applications = 6};
    fixture::Root root;
    const QString first = root.sub("first");
    for (int i = 0; i < limits.entries; ++i)
        touch(first + QStringLiteral("/f%1").arg(i, 2, 10, QChar(u'0')));
    // Exactly as many entries as the limit: all of them seen, nothing missed.
    EXPECT_EQ(ApplicationInventory({url(first)}, limits).scan().issues, QStringList{});
    // Sorted after every plain file, beyond the limit: never examined, nor is a later root.
    fixture::makeBundle(first, "z.app", fixture::info("org.example.z"));
    fixture::makeBundle(root.sub("second"), "Later.app", fixture::info("org.example.later"));
    const ApplicationScan entries =
        ApplicationInventory({url(first), url(root.path + "/second")}, limits).scan();
    EXPECT_TRUE(entries.applications.isEmpty());
    EXPECT_EQ(entries.issues, QStringList{limitIssue});

    const QString apps = root.sub("apps");
    for (int i = 0; i < limits.applications + 1; ++i)
        touch(apps + QStringLiteral("/a%1.app").arg(i));
    const ApplicationScan applications = ApplicationInventory({url(apps)}, limits).scan();
    EXPECT_EQ(applications.applications.size(), limits.applications);
    EXPECT_EQ(applications.issues, QStringList{limitIssue});
}

TEST(ApplicationScan, CancellationStopsScansReadsAndSizing) {
    fixture::Root root;
    const QString bundle = fixture::makeBundle(root.sub("apps"), "One.app", fixture::info("org.example.one"));
    const InstalledApplication application = ApplicationInventory::read(url(bundle));
    CancellationSource source;
    source.cancel();
    EXPECT_THROW(ApplicationInventory({url(root.path + "/apps")}).scan(source.token()), CancellationError);
    EXPECT_THROW(ApplicationInventory::read(url(bundle), source.token()), CancellationError);
    EXPECT_THROW(ApplicationInventory::bundleSize(application, source.token()), CancellationError);
}

// A home folder below a linked ancestor (/home → var/home) is resolved; a link below it is left for the
// walk to refuse.
TEST(ApplicationScan, DefaultRootsResolveTheHomeFolderButNothingBelowIt) {
    fixture::Root root;
    const QString real = root.sub("var/home");
    ASSERT_TRUE(QFile::link(real, root.path + "/home"));
    root.sub("var/home/user");
    root.sub("var/home/other");
    ASSERT_TRUE(QFile::link(root.sub("elsewhere"), real + "/other/Applications"));

    QList<QUrl> applications;
    for (const char* user : {"user", "other"}) {
        const lunorvale::test::ScopedVariable home("HOME", root.path + "/home/" + user);
        applications.append(ApplicationInventory::defaultRoots().at(1));
    }
    EXPECT_EQ(applications,
              (QList<QUrl>{url(real + "/user/Applications"), url(real + "/other/Applications")}));
    EXPECT_EQ(ApplicationInventory({applications.at(1)}).scan().issues,
              QStringList{"未跟随目录链接：\u2066" + real + "/other/Applications\u2069"});
}
