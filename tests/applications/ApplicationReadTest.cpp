#include "BundleFixture.h"
#include "support/EventLoop.h"

#include <QProcess>
#include <QStringEncoder>
#include <array>

using namespace lunorvale;
using fixture::url;
using Kind = ApplicationManagementGuidance::Kind;

namespace {

QVariantMap with(QVariantMap values, const QString& key, const QVariant& value) {
    values.insert(key, value);
    return values;
}

} // namespace

// XML with a UTF-8 byte-order mark or in UTF-16 is read too; the hash is of the bytes as stored.
TEST(ApplicationRead, EveryFormOfInfoListIsReadAndHashedLikeSha256sum) {
    fixture::Root root;
    QVariantMap values =
        with(fixture::info("org.example.editor", "Editor", "editor"), "CFBundleDisplayName", "编辑器");
    values.insert("CFBundleShortVersionString", "2.5.1");
    const QByteArray xml = fixture::encode(values);
    QStringEncoder utf16(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom);
    const QByteArray forms[] = {xml, fixture::encode(values, fixture::Format::binary), "\xEF\xBB\xBF" + xml,
                                utf16.encode(QString::fromUtf8(xml).replace("UTF-8", "UTF-16"))};
    for (const QByteArray& form : forms) {
        const QString bundle = root.sub(QString::number(qHash(form))) + "/Editor.app";
        fixture::writeFile(bundle + "/Contents/Info.plist", form);
        QProcess sha;
        sha.start("sha256sum", {bundle + "/Contents/Info.plist"});
        ASSERT_TRUE(sha.waitForFinished(test::waitBoundMs));
        const FileNode folder = ApplicationInventory::node(url(bundle));
        const ApplicationIdentity identity{folder.device, folder.inode,
                                           QString::fromLatin1(sha.readAllStandardOutput().left(64))};
        EXPECT_EQ(ApplicationInventory::checkedRead(url(bundle)),
                  InstalledApplication(url(bundle), "编辑器", "org.example.editor", "2.5.1", "editor",
                                       identity, std::nullopt, std::nullopt));
    }
}

TEST(ApplicationRead, NameFallbacksAndShortening) {
    fixture::Root root;
    QVariantMap values = fixture::info("org.example.long");
    values.remove("CFBundleName");
    values.insert("CFBundleShortVersionString", QString(100, u'9'));
    const QString display = QString("e\u0301").repeated(250); // one perceived character, two code units
    const InstalledApplication shortened = ApplicationInventory::read(
        url(fixture::makeBundle(root.path, "Long.app", with(values, "CFBundleDisplayName", display))));
    EXPECT_EQ(shortened.name(), display.left(400));
    EXPECT_EQ(shortened.version(), QString(80, u'9'));

    values.insert("CFBundleShortVersionString", 3); // not a string
    const InstalledApplication fallback =
        ApplicationInventory::read(url(fixture::makeBundle(root.path, "Fallback Name.app", values)));
    EXPECT_EQ(fallback.name(), "Fallback Name");
    EXPECT_EQ(fallback.version(), "未知");
    // An empty name is kept as read; the next name with something to show is shown.
    const struct {
        const char* bundle;
        std::optional<QString> displayName;
        QString name, shown;
    } empty[] = {{"Empty", std::nullopt, "", "Empty"},
                 {"Display", "", "Visible", "Visible"},
                 {"Both", "", "", "Both"}};
    for (const auto& e : empty) {
        QVariantMap info = values;
        if (e.displayName)
            info.insert("CFBundleDisplayName", *e.displayName);
        info.insert("CFBundleName", e.name);
        const InstalledApplication application =
            ApplicationInventory::read(url(fixture::makeBundle(root.path, QString(e.bundle) + ".app", info)));
        EXPECT_EQ(application.name(), "");
        EXPECT_EQ(application.shownName(), e.shown);
    }
}

// What a bundle says of itself is shown as desktop names are: nothing that reverses, hides or colours the
// text survives, and a value of nothing visible gives way to the next one.
TEST(ApplicationRead, HostileNamesKeepOnlyWhatTheyShow) {
    fixture::Root root;
    // Display name, name, identifier, version; then what is shown of them. The last identifier, judged
    // as shown, is Apple's.
    const std::array<QString, 7> cases[] = {
        {"Invoice\u202Egnp.exe", "X", "org.example.\u202Einvoice", "1.0\u202E", "Invoicegnp.exe",
         "org.example.invoice", "1.0"},
        {"\u001b]0;t\u0007Bell\u001b[31m Red\n", "X", "a.b", "\u2066\u200b2\u2069", "Bell Red", "a.b", "2"},
        {"\u200b\ufeff", "\u2060", "com.apple\u200b.x", "\u200d", "Bundle", "com.apple.x", "未知"},
        {"\ufff9\ufffa\ufffb", "\U00013430", "a.c", "", "Bundle", "a.c", "未知"},
    };
    for (const auto& c : cases) {
        QVariantMap values = with(fixture::info(c[2], c[1]), "CFBundleDisplayName", c[0]);
        values.insert("CFBundleShortVersionString", c[3]);
        const InstalledApplication application = ApplicationInventory::read(
            url(fixture::makeBundle(root.sub(QString::number(qHash(c[0]))), "Bundle.app", values)));
        EXPECT_EQ((std::array{application.name(), application.bundleID(), application.version()}),
                  (std::array{c[4], c[5], c[6]}));
    }
    EXPECT_EQ(ApplicationInventory::read(url(root.sub(QString::number(qHash(cases[2][0]))) + "/Bundle.app"))
                  .management()
                  .kind,
              Kind::protected_);
    // A file that is no bundle is named by its file name, cleaned the same way.
    fixture::writeFile(root.path + "/Report\u202Efdp.app", "not a bundle");
    EXPECT_EQ(ApplicationInventory::read(url(root.path + "/Report\u202Efdp.app")).name(), "Reportfdp");
}

TEST(ApplicationRead, RestrictionTable) {
    const QString privileged = "应用声明了特权后台组件。 请先打开应用查看卸载选项，或使用厂商的卸载说明。";
    const QString component =
        "发现后台服务或系统组件。 请使用厂商的卸载方式；可在文件管理器中查看发现的组件。";
    const QString incomplete =
        "应用标识或可执行文件信息不完整。 请在文件管理器中核对应用，或使用原安装方式管理。";
    const QString unparsable = "应用信息无法读取或结构异常，未开放移除操作。";
    const QString structure = "无法确认应用结构，未开放移除操作。";
    const QVariantMap plain = fixture::info("org.example.app");
    const struct {
        const char* label;
        QVariantMap info;
        QStringList folders; // below Contents/Library
        std::optional<QByteArray> plist;
        std::optional<QString> restriction;
        Kind kind;
        const char* related;
    } rows[] = {
        // clang-format off
        {"plain", plain, {}, {}, {}, Kind::checkable, nullptr},
        {"Info.plist over 1 MiB", plain, {}, QByteArray(1048577, ' '),
         "文件不是普通文件或超过读取上限，操作已停止。", Kind::unverified, nullptr},
        {"Info.plist is a link", plain, {}, QByteArray("link"),
         "文件位置存在链接或已变化，无法安全读取。", Kind::unverified, nullptr},
        {"package type not APPL", with(plain, "CFBundlePackageType", "BNDL"), {}, {}, structure,
         Kind::unverified, nullptr},
        {"unparsable", plain, {}, QByteArray("<plist><dict><key>broken"), unparsable, Kind::unverified, nullptr},
        {"top level is an array", plain, {}, fixture::encode(QVariantList{"APPL"}, fixture::Format::binary),
         structure, Kind::unverified, nullptr},
        {"privileged executables win over components",
         with(plain, "SMPrivilegedExecutables", QVariantMap{{"org.example.tool", "anchor"}}), {"LaunchAgents"},
         {}, privileged, Kind::vendorManaged, nullptr},
        {"LaunchDaemons", plain, {"LaunchDaemons"}, {}, component, Kind::vendorManaged, "LaunchDaemons"},
        {"first component in order", plain, {"SystemExtensions", "LaunchAgents"}, {}, component,
         Kind::vendorManaged, "LaunchAgents"},
        {"LoginItems only", plain, {"LoginItems"}, {}, {}, Kind::embeddedLoginItems, nullptr},
        {"components beat LoginItems", plain, {"LoginItems", "LaunchServices"}, {}, component,
         Kind::vendorManaged, "LaunchServices"},
        {"apple identifier with empty executable", fixture::info("com.apple.Safari", "Safari", ""), {}, {},
         incomplete, Kind::unverified, nullptr},
        {"apple identifier", fixture::info("com.apple.Notes"), {}, {},
         "Apple 应用受保护。 请使用系统或官方提供的管理方式。", Kind::protected_, nullptr},
        {"this program", fixture::info("dev.lunorvale.mac"), {}, {},
         "岚栖不在自身运行时移除岚栖。 请先关闭登录启动、保存设置并退出，再在文件管理器中处理。", Kind::protected_, nullptr},
        {"executable ..", fixture::info("org.example.dot", "Dot", ".."), {}, {}, incomplete, Kind::unverified,
         nullptr},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        fixture::Root root;
        const QString bundle = root.path + "/App.app";
        if (row.plist == "link") {
            const QString other = fixture::makeBundle(root.path, "Other.app", row.info);
            QDir().mkpath(bundle + "/Contents");
            QFile::link(other + "/Contents/Info.plist", bundle + "/Contents/Info.plist");
        } else {
            fixture::writeFile(bundle + "/Contents/Info.plist",
                               row.plist.value_or(fixture::encode(row.info)));
        }
        for (const QString& folder : row.folders)
            QDir().mkpath(bundle + "/Contents/Library/" + folder);

        const InstalledApplication application = ApplicationInventory::read(url(bundle));
        EXPECT_EQ(application.restriction(), row.restriction);
        EXPECT_EQ(application.management().kind, row.kind);
        EXPECT_EQ(application.management().relatedURL,
                  row.related ? std::optional(url(bundle + "/Contents/Library/" + row.related))
                              : std::nullopt);
        if (!application.identity()) {
            EXPECT_EQ(application.name(), "App");
            EXPECT_EQ(application.version(), "未知");
            EXPECT_EQ(application.bundleID(), "");
        }
    }
}
