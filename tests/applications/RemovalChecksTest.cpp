#include "SignedBundle.h"
#include "core/common/SafeText.h"
#include "support/ChildProcess.h"

#include <QProcess>
#include <QScopeGuard>
#include <charconv>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lunorvale;
using fixture::url;
using Service = ApplicationRemovalService;

namespace {

void executable(const QString& path, const QByteArray& bytes) {
    fixture::writeFile(path, bytes);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// folder/<name> with an Info.plist and an executable holding `code`.
QString plainBundle(const QString& folder, const QString& name, const QString& identifier,
                    const QByteArray& code = QByteArray::fromHex("cafebabe00000000")) {
    const QString bundle = fixture::makeBundle(folder, name, fixture::appInfo(identifier));
    executable(bundle + "/Contents/MacOS/Sample", code);
    return bundle;
}

void symlink(const QString& target, const QString& link) {
    QDir().mkpath(QFileInfo(link).absolutePath());
    ASSERT_TRUE(QFile::link(target, link));
}

} // namespace

TEST(RemovalChecks, TheDigestFollowsTheLoginItemAppsByName) {
    fixture::Root root;
    const QString app = root.sub("Host.app");
    const QString items = app + "/Contents/Library/LoginItems";
    // Each bundle's identifier stands in for its signature's: its own name.
    const auto digest = [&] {
        return Service::signatureDigest(url(app),
                                        [](const QUrl& bundle) { return bundle.fileName().toUtf8(); }, {});
    };
    const auto expected = [](const QStringList& helpers) {
        QByteArray bytes = "Host.app";
        for (const QString& helper : helpers)
            bytes += '\0' + helper.toUtf8() + '\0' + helper.toUtf8();
        return bytes;
    };
    const struct {
        std::function<void()> change;
        QStringList helpers;
    } steps[] = {
        {[] {}, {}},
        {[&] { root.sub("Host.app/Contents/Library/LoginItems/B.app"); }, {"B.app"}},
        {[&] { fixture::writeFile(items + "/notes.txt", "x"); }, {"B.app"}},
        {[&] { root.sub("Host.app/Contents/Library/LoginItems/A.app"); }, {"A.app", "B.app"}},
        {[&] { QDir().rename(items + "/B.app", items + "/C.app"); }, {"A.app", "C.app"}},
        {[&] { QDir(items + "/A.app").removeRecursively(); }, {"C.app"}},
    };
    for (const auto& step : steps) {
        step.change();
        EXPECT_EQ(digest(), expected(step.helpers));
    }
    for (int index = 2; index < 64; ++index) // with C.app and notes.txt: 64 entries
        fixture::writeFile(items + QStringLiteral("/%1.txt").arg(index), "x");
    EXPECT_EQ(digest(), expected({"C.app"}));
    fixture::writeFile(items + "/64.txt", "x");
    EXPECT_EQ(fixture::reasonOf(digest), std::pair(QString("登录助手数量超过检查范围。"), items));
}

TEST(RemovalChecks, LoginItemsArePlainBundlesWithNativeExecutables) {
    const struct {
        const char* name;
        std::function<void(const QString& items)> arrange;
        QString reason;
        QString related; // below the login-items folder
    } rows[] = {
        {"none", [](auto&) {}, "pass", ""},
        {"a Mach-O helper and a .DS_Store",
         [](auto& items) {
             plainBundle(items, "Helper.app", "com.example.helper");
             fixture::writeFile(items + "/.DS_Store", "x");
         },
         "pass", ""},
        {"a .DS_Store folder", [](auto& items) { QDir().mkpath(items + "/.DS_Store"); },
         "登录助手不是普通的包内应用。", "/.DS_Store"},
        {"a script helper",
         [](auto& items) { plainBundle(items, "Helper.app", "com.example.helper", "#!/bin/sh\n"); },
         "登录助手使用脚本或无法确认的启动方式，不能可靠核对其退出状态。", "/Helper.app"},
        {"the host's identifier", [](auto& items) { plainBundle(items, "Helper.app", "com.example.sample"); },
         "登录助手包含受保护、特权或系统组件。", "/Helper.app"},
        {"nested login items",
         [](auto& items) {
             const QString helper = plainBundle(items, "Helper.app", "com.example.helper");
             QDir().mkpath(helper + "/Contents/Library/LoginItems");
         },
         "登录助手结构异常或还包含其他登录助手。", "/Helper.app"},
        {"a linked folder",
         [](auto& items) {
             QDir().mkpath(items + "-real");
             symlink(items + "-real", items);
         },
         "登录助手目录包含链接或异常结构。", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fixture::Root root;
        const QString app = plainBundle(root.sub("Applications"), "Sample.app", "com.example.sample");
        const QString items = app + "/Contents/Library/LoginItems";
        row.arrange(items);
        const auto [reason, related] = fixture::reasonOf(
            [&] { Service::checkEmbeddedLoginItems(ApplicationInventory::checkedRead(url(app))); });
        EXPECT_EQ(reason, row.reason);
        EXPECT_EQ(related, row.reason == u"pass" ? QString() : items + row.related);
    }
}

TEST(RemovalChecks, ComponentsUninstallersAndLaunchConfigurations) {
    const QString found = "发现卸载工具。";
    const struct {
        const char* name;
        std::function<void(const QString& app, const QString& agents)> arrange;
        QString reason;
        QString related; // relative to the vendor folder
    } rows[] = {
        {"nothing", [](auto&, auto&) {}, "pass", ""},
        {"privileged helpers",
         [](auto& app, auto&) {
             QVariantMap info = fixture::appInfo("com.example.sample");
             info.insert("SMPrivilegedExecutables", QVariantMap{{"com.example.helper", "anchor"}});
             fixture::writeFile(app + "/Contents/Info.plist", fixture::encode(info));
         },
         "应用声明了特权后台组件。", ""},
        {"an uninstaller beside it",
         [](auto& app, auto&) { QDir().mkpath(app + "/../Uninstall Vendor.app"); },
         "同一安装文件夹中发现卸载工具。", "/Uninstall Vendor.app"},
        {"an empty launch-agents folder",
         [](auto& app, auto&) { QDir().mkpath(app + "/Contents/Library/LaunchAgents"); },
         "发现后台服务或系统组件。", "/Sample.app/Contents/Library/LaunchAgents"},
        {"a driver", [](auto& app, auto&) { QDir().mkpath(app + "/Contents/PlugIns/Driver.kext"); },
         "发现驱动或系统扩展。", "/Sample.app/Contents/PlugIns/Driver.kext"},
        {"a script in Resources",
         [](auto& app, auto&) { fixture::writeFile(app + "/Contents/Resources/uninstall.sh", "x"); }, found,
         "/Sample.app/Contents/Resources/uninstall.sh"},
        {"a package", [](auto& app, auto&) { fixture::writeFile(app + "/Contents/AppUninstaller.pkg", "x"); },
         found, "/Sample.app/Contents/AppUninstaller.pkg"},
        {"a Chinese name", [](auto& app, auto&) { executable(app + "/Contents/MacOS/卸载助手", "x"); }, found,
         "/Sample.app/Contents/MacOS/卸载助手"},
        {"names or places that do not fit",
         [](auto& app, auto&) {
             fixture::writeFile(app + "/Contents/Frameworks/uninstall.sh", "x");
             fixture::writeFile(app + "/Contents/MacOS/uninstall.txt", "x");
             fixture::writeFile(app + "/Contents/Resources/AppUninstaller", "x");
         },
         "pass", ""},
        {"a name that is no UTF-8",
         [](auto& app, auto&) { fixture::writeByteNamed(app + "/Contents/Resources", "x\xFF", "x"); }, "pass",
         ""},
        {"an uninstaller whose name is no UTF-8",
         [](auto& app, auto&) {
             fixture::writeByteNamed(app + "/Contents/Resources", "uninstall\xFF.sh", "x");
         },
         found, "/Sample.app/Contents/Resources/" + SafeText::decoded("uninstall\xFF.sh")},
        {"an agent starting the executable",
         [](auto& app, auto& agents) {
             fixture::writeFile(agents + "/a.plist",
                                fixture::encode(QVariantMap{
                                    {"ProgramArguments", QVariantList{app + "/Contents/MacOS/Sample"}}}));
         },
         "后台服务引用了此应用。", "/../LaunchAgents/a.plist"},
        {"an agent starting it through a link",
         [](auto& app, auto& agents) {
             symlink(app, agents + "/../link");
             fixture::writeFile(
                 agents + "/a.plist",
                 fixture::encode(QVariantMap{{"Program", agents + "/../link/Contents/MacOS/Sample"}}));
         },
         "后台服务引用了此应用。", "/../LaunchAgents/a.plist"},
        {"an agent inside the bundle",
         [](auto& app, auto& agents) {
             fixture::writeFile(app + "/Contents/Resources/agent.plist", "x");
             symlink(app + "/Contents/Resources/agent.plist", agents + "/a.plist");
         },
         "后台服务配置位于此应用包内。", "/../LaunchAgents/a.plist"},
        {"an unreadable agent", [](auto&, auto& agents) { fixture::writeFile(agents + "/a.plist", "{"); },
         "有后台服务配置无法读取，尚不能确认它是否与所选应用有关。", "/../LaunchAgents/a.plist"},
        {"agents that do not count",
         [](auto& app, auto& agents) {
             fixture::writeFile(agents + "/a.PLIST", "{");
             fixture::writeFile(
                 agents + "/b.plist",
                 fixture::encode(QVariantMap{{"Program", "Vendor/Sample.app/Contents/MacOS/Sample"}}));
             fixture::writeFile(agents + "/c.plist",
                                fixture::encode(QVariantMap{{"Program", app + "2/Contents/MacOS/Sample"}}));
         },
         "pass", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fixture::Root root;
        const auto removeByBytes = qScopeGuard([&root] { fixture::removeByBytes(root.path); });
        const QString vendor = root.sub("Applications/Vendor");
        const QString app = plainBundle(vendor, "Sample.app", "com.example.sample");
        const QString agents = root.sub("Applications/LaunchAgents");
        row.arrange(app, agents);
        const QList<QUrl> folders{url(root.path + "/missing"), url(agents)};
        const auto [reason, related] = fixture::reasonOf(
            [&] { Service::checkComponents(ApplicationInventory::checkedRead(url(app)), folders); });
        EXPECT_EQ(reason, row.reason);
        EXPECT_EQ(related, row.related.isEmpty() ? QString() : QDir::cleanPath(vendor + row.related));
    }
}

// A sanitizer build unwinds the stack at every allocation, which makes a walk of a quarter of a million
// entries take a minute: there the same boundary is checked at a smaller limit.
#if defined(__SANITIZE_ADDRESS__)
#define LUNORVALE_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUNORVALE_SANITIZED
#endif
#endif

TEST(RemovalChecks, TheBundleWalkStopsAtItsLimitsAndNeverFollowsLinks) {
#ifdef LUNORVALE_SANITIZED
    const ComponentWalkLimits limits{1000, 30.0, {}};
#else
    const ComponentWalkLimits limits; // 249,999 entries pass
#endif
    // Quarter of a million entries are made fastest in memory when the machine has a memory folder.
    QTemporaryDir temporary(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/lunorvale-XXXXXX")
                                                      : QString());
    const QString root = QFileInfo(temporary.path()).canonicalFilePath();
    const QString app = plainBundle(root, "Sample.app", "com.example.sample");
    const InstalledApplication application = ApplicationInventory::checkedRead(url(app));
    symlink("/usr", app + "/Contents/usr"); // one entry, however much lies behind it
    // Contents, Info.plist, MacOS, the executable, the link, Resources and the files: the limit in all.
    const QString folder = app + "/Contents/Resources";
    QDir().mkpath(folder);
    const int resources = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    for (int index = 0; index < limits.entries - 6; ++index) {
        char name[16] = {};
        std::to_chars(name, name + sizeof name - 1, index);
        ::close(::openat(resources, name, O_CREAT | O_WRONLY, 0600));
    }
    const auto check = [&](const ComponentWalkLimits& walkLimits) {
        return fixture::reasonOf([&] { Service::checkComponents(application, {}, {}, walkLimits); }).first;
    };
    const QString tooMuch = "应用内容较多，本次检查未完成。请重新检查，或在文件管理器中使用厂商的管理方式。";
    EXPECT_EQ(check(limits), "pass");
    ::close(::openat(resources, "one-more", O_CREAT | O_WRONLY, 0600));
    ::close(resources);
    EXPECT_EQ(check(limits), tooMuch);

    double now = 0;
    EXPECT_EQ(check({limits.entries + 1, 30.0,
                     [&now] {
                         return now += 29.9;
                     }}),
              tooMuch);
}

TEST(RemovalChecks, RunningCodeFromTheBundleOrAnUnknownAnswerRefuses) {
    fixture::Root root;
    const QString app = plainBundle(root.sub("Applications"), "Sample.app", "com.example.sample");
    QFile::remove(app + "/Contents/MacOS/Sample");
    ASSERT_TRUE(QFile::copy("/bin/sleep", app + "/Contents/MacOS/Sample"));
    const SystemBundleProcesses system;
    EXPECT_EQ(fixture::reasonOf([&] { Service::checkRunning(url(app), system); }).first, "pass");
    std::optional<ApplicationManagementGuidance> running;
    {
        const auto child = test::ChildProcess::spawn({(app + "/Contents/MacOS/Sample").toStdString(), "60"});
        ASSERT_TRUE(child && test::waitUntilExecuted(child->pid()));
        const auto error = fixture::refusal([&] { Service::checkRunning(url(app), system); });
        ASSERT_TRUE(error && error->guidanceValue());
        running = error->guidanceValue();
        EXPECT_EQ(running->kind, ApplicationManagementGuidance::Kind::requiresQuit);
        // Its program shows which process it is: none is named.
        EXPECT_EQ(running->reason, "应用或包内后台助手仍在运行。");
    }
    struct Unknown final : BundleProcesses {
        Result runningFrom(const QString&) const override { return {Answer::unknown, std::nullopt}; }
    };
    const auto error = fixture::refusal([&] { Service::checkRunning(url(app), Unknown()); });
    ASSERT_TRUE(error && error->guidanceValue());
    EXPECT_EQ(error->guidanceValue()->kind, ApplicationManagementGuidance::Kind::unverified);
    EXPECT_EQ(error->errorDescription(), "暂时无法确认应用及后台进程已退出，未执行移除。 "
                                         "请稍后重新检查，或在文件管理器中使用原安装方式管理。");

    // A process whose executable is closed to its own user (root reads every one) and whose argv[0] is a
    // bare name refuses only when a name of it (or of a thread of it) is that of a program in the bundle,
    // and is named; so is one whose argv[0] places it in the bundle, which runs there.
    if (test::ranAsNobody())
        return;
    const QString name = QStringLiteral("Helper%1").arg(::getpid());
    const QString inside = app + "/Contents/MacOS/" + name;
    const QString longName = QStringLiteral("HelperWithALongName%1").arg(::getpid());
    const QString link = root.sub("bin") + "/agent-link";
    for (const QString& file : {name, longName})
        ASSERT_TRUE(
            QFile::copy(QString::fromStdString(test::undumpableProgram()), app + "/Contents/MacOS/" + file));
    symlink(app + "/Contents/MacOS/" + name, link);
    // The desktop program's search path has a folder with a link into the bundle.
    const QByteArray searchPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(QFileInfo(link).path()) + ":" + searchPath);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", searchPath); });
    const QString unreadable = app + "/Contents/Resources";
    QDir().mkpath(unreadable);
    // A folder that goes between the listing that found it and its opening, as the bundle changes.
    const auto vanishing = [&](const char* path) {
        if (QFile::decodeName(path) == unreadable)
            ::rmdir(path);
        return ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    };
    const struct {
        QString argv0;
        QString program;
        std::string renamed;
        QString named; // empty: not refused
        bool walkedWhole;
        test::MainThread mainThread = test::MainThread::runs;
        SystemBundleProcesses::FolderOpener openFolder = {};
        std::string mainThreadName = {};
        bool runs = false; // found running by its argv[0], rather than left in doubt
    } rows[] = {
        {"agent", QString::fromStdString(test::undumpableProgram()), "", "", true},
        {name, app + "/Contents/MacOS/" + name, "", name, true},
        {name, app + "/Contents/MacOS/" + name, "renamed", "renamed", true},
        {"agent-link", link, "", "agent-link", true},
        {longName, app + "/Contents/MacOS/" + longName, "", longName.left(15), true},
        {name, app + "/Contents/MacOS/" + name, "", name, true, test::MainThread::ends},
        {"agent", QString::fromStdString(test::undumpableProgram()), "", "agent", false},
        {"agent", QString::fromStdString(test::undumpableProgram()), "", "", true, test::MainThread::runs,
         vanishing},
        {inside, inside, "", name, true, test::MainThread::runs, nullptr, "", true},
        {inside, inside, "", "Zed", true, test::MainThread::ends, nullptr, "Zed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE((row.argv0 + " " + row.named).toStdString());
        QFile::setPermissions(unreadable, row.walkedWhole
                                              ? QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner
                                              : QFile::Permissions());
        const auto closed = test::spawnUndumpable({row.argv0.toStdString()}, row.program.toStdString(),
                                                  row.renamed, row.mainThread, row.mainThreadName);
        ASSERT_TRUE(closed);
        const SystemBundleProcesses checker(row.openFolder);
        const auto doubt = fixture::refusal([&] { Service::checkRunning(url(app), checker); });
        ASSERT_EQ(doubt.has_value(), !row.named.isEmpty());
        if (!doubt)
            continue;
        ASSERT_TRUE(doubt->guidanceValue());
        const ApplicationManagementGuidance& refusal = *(row.runs ? running : error->guidanceValue());
        EXPECT_EQ(doubt->guidanceValue()->kind, refusal.kind);
        EXPECT_TRUE(doubt->guidanceValue()->reason.startsWith(refusal.reason));
        // Where the walk ties every name, another process of the user may be the one named.
        if (row.walkedWhole) {
            EXPECT_TRUE(doubt->guidanceValue()->reason.contains(row.named));
            EXPECT_TRUE(doubt->guidanceValue()->reason.contains(QStringLiteral("PID %1").arg(closed->pid())));
        }
    }
    QFile::setPermissions(unreadable, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
}

// Content the walk cannot reach, a tree deeper than the longest path the system takes, is unreadable
// content: a rescan would not mend it.
TEST(RemovalChecks, ContentDeeperThanTheLongestPathIsUnreadable) {
    fixture::Root root;
    const QString app = plainBundle(root.path, "Sample.app", "com.example.sample");
    const InstalledApplication application = ApplicationInventory::checkedRead(url(app));
    // Folders of 200-byte names, made one inside the other, until a path of theirs passes the limit.
    int folder = ::open(QFile::encodeName(app + "/Contents").constData(), O_RDONLY | O_DIRECTORY);
    const QByteArray name(200, 'd');
    for (qsizetype length = app.size() + 9; length < 2 * PATH_MAX; length += name.size() + 1) {
        ASSERT_EQ(::mkdirat(folder, name.constData(), 0700), 0);
        const int inner = ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = inner;
    }
    ::close(::openat(folder, "file", O_CREAT | O_WRONLY, 0600));
    ::close(folder);
    EXPECT_EQ(fixture::reasonOf([&] { Service::checkComponents(application, {}); }).first,
              "部分应用内容不可读取，未开放移除操作。");
    // Paths this long are beyond QDir's reach too.
    QProcess::execute("rm", {"-rf", app});
}
