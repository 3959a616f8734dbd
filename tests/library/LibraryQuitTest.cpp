#include "LibraryHarness.h"
#include "applications/BundleFixture.h"
#include "core/common/ThreadExecutors.h"
#include "platform/LinuxProcessPlatform.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"

#include <QFile>
#include <csignal>
#include <sys/wait.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// A bundle whose program is a copy of sleep.
QString sleepingBundle(const QString& folder, const QString& name) {
    const QString bundle =
        fixture::makeBundle(folder, name + ".app", fixture::info("example." + name, name, name));
    const QString program = bundle + "/Contents/MacOS/" + name;
    QDir().mkpath(bundle + "/Contents/MacOS");
    EXPECT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    return program;
}

} // namespace

TEST(LibraryQuit, RealBundleEndsOnTerminateAndOneIgnoringItIsLeftRunning) {
    fixture::Root root;
    const QString folder = root.sub(QStringLiteral("Applications"));
    const QString sleepy = sleepingBundle(folder, QStringLiteral("Sleepy"));
    const QString stubborn = sleepingBundle(folder, QStringLiteral("Stubborn"));
    LinuxProcessPlatform platform;
    double uptime = 100;
    LibraryHarness h;
    // Real children, seen on threads as the program's.
    PoolExecutor work(2, QThread::LowPriority), looks(1);
    h.services.work = &work;
    h.services.looks = &looks;
    h.services.runningApplications = ApplicationLibraryServices::runningBundles(platform);
    h.services.processes = &platform;
    h.services.uptime = [&] {
        return uptime;
    };
    h.services.scan = [&](const CancellationToken& token) {
        return ApplicationInventory({fixture::url(folder)}).scan(token);
    };
    ApplicationLibraryModel& model = h.start();
    model.scan();
    ASSERT_TRUE(waitUntil([&] { return !model.scanning() && !model.sizing(); }));
    ASSERT_EQ(model.applications().size(), 2);
    const InstalledApplication& sleepyApp = model.applications()[0];
    const InstalledApplication& stubbornApp = model.applications()[1];

    const auto quits = ChildProcess::spawn({sleepy.toStdString(), "600"});
    // An ignored signal stays ignored across exec.
    const auto ignores =
        ChildProcess::spawn({"/bin/sh", "-c", "trap '' TERM; exec \"$0\" 600", stubborn.toStdString()});
    ASSERT_TRUE(quits && ignores);
    ASSERT_TRUE(waitUntil([&] {
        model.refreshRunning();
        return model.runningIDs() == QSet<QString>{sleepyApp.id(), stubbornApp.id()};
    }));
    EXPECT_TRUE(model.canRequestQuit(sleepyApp));

    model.setSelectedID(sleepyApp.id());
    model.requestQuitAndRecheck(sleepyApp);
    EXPECT_EQ(model.quittingApplicationID(), sleepyApp.id());
    model.scan(); // refused while waiting
    EXPECT_FALSE(model.scanning());
    const std::optional<int> status = quits->waitForExit(test::waitBound);
    ASSERT_TRUE(status && WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return h.checks == 1 && !model.checkingRemoval(); }));
    EXPECT_EQ(model.quittingApplicationID(), std::nullopt);

    model.setSelectedID(stubbornApp.id());
    model.requestQuitAndRecheck(stubbornApp);
    uptime += 15; // before the first poll
    ASSERT_TRUE(waitUntil([&] { return !model.quittingApplicationID(); }));
    EXPECT_EQ(
        model.message(),
        QStringLiteral("\u2068Stubborn\u2069：尚未确认应用退出。 请回到原应用完成保存提示；关闭登录启动或后台"
                       "运行后，再重新检查。岚栖不会强制结束它。"));
    EXPECT_EQ(model.removalFeedbackID(), stubbornApp.id());
    EXPECT_TRUE(ignores->running());
    EXPECT_EQ(h.checks, 1);
}

TEST(LibraryQuit, OnlyALocationIsAskedToQuitAndARefusalStartsNoWait) {
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B");
    const InstalledApplication restricted = listedApplication("P", QStringLiteral("受保护。"));
    // The application, its running instances, whether it is gone once asked, how many requests were
    // sent, whether the removal check followed, and the message.
    const std::tuple<InstalledApplication, QList<ApplicationRunningTarget>, bool, int, bool,
                     std::optional<QString>>
        cases[] = {
            // clang-format off
            {a, {runningTarget(a)}, true, 1, true, {}},
            {a, {runningTarget(a), runningTarget(a, false)}, false, 2, false,
             "\u2068A\u2069：应用未接受正常退出请求。 请打开原应用，完成保存或手动退出，再重新检查。"},
            {a, {runningTarget(a, true, true)}, false, 0, false,
             "\u2068A\u2069：此应用仍在运行。 先保存工作，再请求正常退出并重新检查。"},
            {a, {{a.url(), std::nullopt, {}, NamedProcess{42, "Zed"}}}, false, 0, false,
             "\u2068A\u2069：此应用仍在运行。 请先保存工作并退出进程“\u2068Zed\u2069”（PID 42），再重新检查；岚栖无法"
             "向它发送退出请求。"},
            {restricted, {runningTarget(restricted)}, false, 0, false, {}},
            // clang-format on
        };
    for (const auto& [application, targets, goesAway, requests, checked, message] : cases) {
        SCOPED_TRACE(application.name().toStdString() + std::to_string(targets.size()));
        LibraryHarness h;
        int sent = 0;
        for (ApplicationRunningTarget target : targets) {
            if (target.requestQuit) {
                target.requestQuit = [&, ask = target.requestQuit, goesAway = goesAway] {
                    if (goesAway)
                        h.running.clear();
                    return ++sent, ask();
                };
            }
            h.running.append(target);
        }
        ApplicationLibraryModel& model = h.scanned({a, b, restricted});
        EXPECT_TRUE(model.runningIDs().contains(application.id()));
        EXPECT_EQ(model.canRequestQuit(application), requests > 0);
        model.setSelectedID(application.id());
        model.requestQuitAndRecheck(application);
        ASSERT_TRUE(h.executor.settle());
        EXPECT_FALSE(model.quittingApplicationID() || model.checkingRemoval());
        EXPECT_EQ(sent, requests);
        EXPECT_EQ(h.checks == 1, checked);
        EXPECT_EQ(model.message(), message);
    }

    // Once what could be asked has quit, the wait names what is left, which the user must quit.
    LibraryHarness h;
    h.running = {runningTarget(a)};
    h.running[0].requestQuit = [&] {
        h.running = {{a.url(), std::nullopt, {}, NamedProcess{42, "Zed"}}};
        return true;
    };
    ApplicationLibraryModel& model = h.scanned({a});
    model.requestQuitAndRecheck(a);
    ASSERT_TRUE(h.executor.settle());
    EXPECT_FALSE(model.quittingApplicationID());
    EXPECT_EQ(
        model.message(),
        "\u2068A\u2069：此应用仍在运行。 请先保存工作并退出进程“\u2068Zed\u2069”（PID 42），再重新检查；"
        "岚栖无法向它发送退出请求。");
}
