#include "BundleFixture.h"
#include "core/applications/ApplicationInventory.h"

#include <QCryptographicHash>
#include <QProcess>

using namespace lunorvale;
using fixture::url;
using Kind = ApplicationManagementGuidance::Kind;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A binary property list whose one string value holds U+0000, which the XML form cannot express.
QByteArray binaryWithNulString() {
    QVariantMap values = fixture::info("org.example.nul");
    values.insert("CFBundleName", QString::fromUtf8("N\u00fcQ"));
    QByteArray bytes = fixture::encode(values, fixture::Format::binary);
    const QByteArray marker("\x00\xfc\x00Q", 4);
    const qsizetype at = bytes.indexOf(marker);
    if (at >= 0)
        bytes[at + 3] = '\0';
    return bytes;
}

} // namespace

TEST(ApplicationRead, XmlAndBinaryPropertyListsAreRead) {
    fixture::Root root;
    for (const auto format : {fixture::Format::xml, fixture::Format::binary}) {
        QVariantMap values = fixture::info("org.example.editor", "Editor", "editor");
        values.insert("CFBundleDisplayName", QString::fromUtf8("编辑器"));
        values.insert("CFBundleShortVersionString", "2.5.1");
        values.insert("LSMinimumSystemVersion", 13.5);
        values.insert("NSSupportsAutomaticTermination", true);
        values.insert("CFBundleDocumentTypes", QVariantList{QVariantMap{{"CFBundleTypeName", "Text"}}});
        const QString bundle = fixture::makeBundle(root.sub(format == fixture::Format::xml ? "x" : "b"),
                                                   "Editor.app", values, format);

        const InstalledApplication application = ApplicationInventory::checkedRead(url(bundle));
        EXPECT_EQ(application.name(), QString::fromUtf8("编辑器"));
        EXPECT_EQ(application.bundleID(), "org.example.editor");
        EXPECT_EQ(application.version(), "2.5.1");
        EXPECT_EQ(application.executable(), "editor");
        EXPECT_FALSE(application.restriction().has_value());
        EXPECT_EQ(application.management().kind, Kind::checkable);
        EXPECT_EQ(application.id(), bundle);

        const auto [identity, info] = ApplicationInventory::metadata(url(bundle));
        EXPECT_DOUBLE_EQ(info.value("LSMinimumSystemVersion").toDouble(), 13.5);
        EXPECT_EQ(info.value("CFBundleDocumentTypes").toList().size(), 1);
        const QByteArray plist = fileBytes(bundle + "/Contents/Info.plist");
        EXPECT_EQ(identity.infoHash,
                  QString::fromLatin1(QCryptographicHash::hash(plist, QCryptographicHash::Sha256).toHex()));
        const FileNode folder = ApplicationInventory::node(url(bundle));
        EXPECT_EQ(identity.device, folder.device);
        EXPECT_EQ(identity.inode, folder.inode);
        EXPECT_EQ(application.identity(), identity);
    }
}

TEST(ApplicationRead, InfoHashMatchesSha256sum) {
    fixture::Root root;
    const QString bundle = fixture::makeBundle(root.path, "Hash.app", fixture::info("org.example.hash"),
                                               fixture::Format::binary);
    QProcess sha;
    sha.start("sha256sum", {bundle + "/Contents/Info.plist"});
    ASSERT_TRUE(sha.waitForFinished(10000));
    const QString printed = QString::fromLatin1(sha.readAllStandardOutput()).section(' ', 0, 0);
    ASSERT_EQ(printed.size(), 64);
    EXPECT_EQ(ApplicationInventory::metadata(url(bundle)).first.infoHash, printed);
}

TEST(ApplicationRead, NameFallbacksAndShortening) {
    fixture::Root root;
    QVariantMap values = fixture::info("org.example.long");
    values.remove("CFBundleName");
    values.insert("CFBundleShortVersionString", QString(100, u'9'));
    QString display;
    for (int i = 0; i < 250; ++i)
        display += QString::fromUtf8("e\u0301"); // one user-perceived character, two code units
    values.insert("CFBundleDisplayName", display);
    const InstalledApplication shortened =
        ApplicationInventory::read(url(fixture::makeBundle(root.path, "Long.app", values)));
    EXPECT_EQ(shortened.name(), display.left(400));
    EXPECT_EQ(shortened.version(), QString(80, u'9'));

    values.remove("CFBundleDisplayName");
    values.insert("CFBundleShortVersionString", 3); // not a string
    const InstalledApplication fallback =
        ApplicationInventory::read(url(fixture::makeBundle(root.path, "Fallback Name.app", values)));
    EXPECT_EQ(fallback.name(), "Fallback Name");
    EXPECT_EQ(fallback.version(), QStringLiteral("未知"));

    values.insert("CFBundleName", "");
    const InstalledApplication empty =
        ApplicationInventory::read(url(fixture::makeBundle(root.path, "Empty.app", values)));
    EXPECT_EQ(empty.name(), "");
}

// Every row: how the bundle is built, and the restriction and kind that reading it must give.
struct RestrictionCase {
    const char* label;
    std::function<QString(const QString& parent)> build;
    std::optional<QString> restriction;
    Kind kind;
    const char* relatedComponent = nullptr;
};

TEST(ApplicationRead, RestrictionTable) {
    const QString privileged =
        QStringLiteral("应用声明了特权后台组件。 请先打开应用查看卸载选项，或使用厂商的卸载说明。");
    const QString component =
        QStringLiteral("发现后台服务或系统组件。 请使用厂商的卸载方式；可在访达中查看发现的组件。");
    const QString incomplete =
        QStringLiteral("应用标识或可执行文件信息不完整。 请在访达中核对应用，或使用原安装方式管理。");
    const auto withInfo = [](QVariantMap values, const char* name = "App.app") {
        return [values, name](const QString& parent) {
            return fixture::makeBundle(parent, name, values);
        };
    };
    const auto withDirectories = [](QStringList directories) {
        return [directories](const QString& parent) {
            const QString bundle = fixture::makeBundle(parent, "App.app", fixture::info("org.example.app"));
            for (const QString& directory : directories)
                QDir().mkpath(bundle + "/Contents/Library/" + directory);
            return bundle;
        };
    };
    QVariantMap withPrivileged = fixture::info("org.example.helper");
    withPrivileged.insert("SMPrivilegedExecutables", QVariantMap{{"org.example.helper.tool", "anchor"}});
    QVariantMap bundleType = fixture::info("org.example.plugin");
    bundleType.insert("CFBundlePackageType", "BNDL");
    QVariantMap apple = fixture::info("com.apple.Safari");
    apple.insert("CFBundleExecutable", "");
    QVariantMap self = fixture::info("dev.lunorvale.mac");
    QVariantMap appleSelf = fixture::info("com.apple.Notes");
    QVariantMap dotExecutable = fixture::info("org.example.dot", "Dot", "..");

    const std::vector<RestrictionCase> cases{
        {"plain", withInfo(fixture::info("org.example.app")), std::nullopt, Kind::checkable},
        {"oversized Info.plist",
         [](const QString& parent) {
             const QString bundle = fixture::makeBundle(parent, "App.app", fixture::info("org.example.app"));
             fixture::writeFile(bundle + "/Contents/Info.plist", QByteArray(1048577, ' '));
             return bundle;
         },
         QStringLiteral("文件不是普通文件或超过读取上限，操作已停止。"), Kind::unverified},
        {"Info.plist is a link",
         [](const QString& parent) {
             const QString other =
                 fixture::makeBundle(parent, "Other.app", fixture::info("org.example.other"));
             QDir().mkpath(parent + "/App.app/Contents");
             QFile::link(other + "/Contents/Info.plist", parent + "/App.app/Contents/Info.plist");
             return parent + "/App.app";
         },
         QStringLiteral("文件位置存在链接或已变化，无法安全读取。"), Kind::unverified},
        {"missing Info.plist",
         [](const QString& parent) {
             QDir().mkpath(parent + "/App.app/Contents");
             return parent + "/App.app";
         },
         QStringLiteral("文件位置存在链接或已变化，无法安全读取。"), Kind::unverified},
        {"package type not APPL", withInfo(bundleType), QStringLiteral("无法确认应用结构，未开放移除操作。"),
         Kind::unverified},
        {"unparsable",
         [](const QString& parent) {
             const QString bundle = fixture::makeBundle(parent, "App.app", fixture::info("org.example.app"));
             fixture::writeFile(bundle + "/Contents/Info.plist", "<plist><dict><key>broken");
             return bundle;
         },
         QStringLiteral("应用信息无法读取或结构异常，未开放移除操作。"), Kind::unverified},
        {"top level is an array",
         [](const QString& parent) {
             const QString bundle = fixture::makeBundle(parent, "App.app", fixture::info("org.example.app"));
             fixture::writeFile(bundle + "/Contents/Info.plist",
                                fixture::encode(QVariantList{"APPL"}, fixture::Format::binary));
             return bundle;
         },
         QStringLiteral("无法确认应用结构，未开放移除操作。"), Kind::unverified},
        {"string holding NUL",
         [](const QString& parent) {
             const QString bundle = fixture::makeBundle(parent, "App.app", fixture::info("org.example.app"));
             fixture::writeFile(bundle + "/Contents/Info.plist", binaryWithNulString());
             return bundle;
         },
         QStringLiteral("应用信息无法读取或结构异常，未开放移除操作。"), Kind::unverified},
        {"privileged executables win over components",
         [withPrivileged](const QString& parent) {
             const QString bundle = fixture::makeBundle(parent, "App.app", withPrivileged);
             QDir().mkpath(bundle + "/Contents/Library/LaunchAgents");
             return bundle;
         },
         privileged, Kind::vendorManaged},
        {"LaunchDaemons", withDirectories({"LaunchDaemons"}), component, Kind::vendorManaged,
         "LaunchDaemons"},
        {"first component in order", withDirectories({"SystemExtensions", "LaunchAgents"}), component,
         Kind::vendorManaged, "LaunchAgents"},
        {"LoginItems only", withDirectories({"LoginItems"}), std::nullopt, Kind::embeddedLoginItems},
        {"components beat LoginItems", withDirectories({"LoginItems", "LaunchServices"}), component,
         Kind::vendorManaged, "LaunchServices"},
        {"apple identifier with empty executable", withInfo(apple), incomplete, Kind::unverified},
        {"apple identifier", withInfo(appleSelf),
         QStringLiteral("Apple 应用受保护。 请使用系统或官方提供的管理方式。"), Kind::protected_},
        {"this program", withInfo(self),
         QStringLiteral("岚栖不在自身运行时移除岚栖。 请先关闭登录启动、保存设置并退出，再在访达中处理。"),
         Kind::protected_},
        {"executable ..", withInfo(dotExecutable), incomplete, Kind::unverified},
    };
    for (const RestrictionCase& row : cases) {
        SCOPED_TRACE(row.label);
        fixture::Root root;
        const QString bundle = row.build(root.path);
        const InstalledApplication application = ApplicationInventory::read(url(bundle));
        EXPECT_EQ(application.restriction(), row.restriction);
        EXPECT_EQ(application.management().kind, row.kind);
        if (row.relatedComponent)
            EXPECT_EQ(application.management().relatedURL,
                      url(bundle + "/Contents/Library/" + QLatin1String(row.relatedComponent)));
        else
            EXPECT_FALSE(application.management().relatedURL.has_value());
        if (row.kind == Kind::unverified && !application.identity()) {
            EXPECT_EQ(application.name(), "App");
            EXPECT_EQ(application.version(), QStringLiteral("未知"));
            EXPECT_EQ(application.bundleID(), "");
        }
    }
}

TEST(ApplicationRead, StrictReadingReportsTheReasonAsAnError) {
    fixture::Root root;
    QVariantMap bundleType = fixture::info("org.example.plugin");
    bundleType.insert("CFBundlePackageType", "BNDL");
    const QString bundle = fixture::makeBundle(root.path, "Plugin.app", bundleType);
    try {
        ApplicationInventory::checkedRead(url(bundle));
        FAIL() << "a bundle that is not an application was accepted";
    } catch (const ApplicationManagementError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("无法确认应用结构，未开放移除操作。"));
    }
    EXPECT_THROW(ApplicationInventory::checkedRead(QUrl("https://example.invalid/App.app")),
                 ApplicationManagementError);
}
