#include "LibraryHarness.h"
#include "applications/BundleFixture.h"
#include "core/applications/ApplicationInventory.h"
#include "platform/LinuxProcessPlatform.h"
#include "support/ChildProcess.h"

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
    h.services.runningApplications = nullptr;
    h.services.processes = &platform;
    h.services.uptime = [&] {
        return uptime;
    };
    h.services.scan = [&](const CancellationToken& token) {
        return ApplicationInventory({fixture::url(folder)}).scan(token);
    };
    ApplicationLibraryModel& model = h.start();
    model.scan();
    ASSERT_TRUE(spinUntil([&] { return !model.scanning() && !model.sizing(); }));
    ASSERT_EQ(model.applications().size(), 2);
    const InstalledApplication& sleepyApp = model.applications()[0];
    const InstalledApplication& stubbornApp = model.applications()[1];

    const auto quits = ChildProcess::spawn({sleepy.toStdString(), "600"});
    // An ignored signal stays ignored across exec.
    const auto ignores =
        ChildProcess::spawn({"/bin/sh", "-c", "trap '' TERM; exec \"$0\" 600", stubborn.toStdString()});
    ASSERT_TRUE(quits && ignores);
    ASSERT_TRUE(spinUntil([&] {
        model.refreshRunning();
        return model.runningIDs() == QSet<QString>{sleepyApp.id(), stubbornApp.id()};
    }));
    EXPECT_TRUE(model.canRequestQuit(sleepyApp));

    model.setSelectedID(sleepyApp.id());
    model.requestQuitAndRecheck(sleepyApp);
    EXPECT_EQ(model.quittingApplicationID(), sleepyApp.id());
    model.scan(); // refused while waiting
    EXPECT_FALSE(model.scanning());
    const std::optional<int> status = quits->waitForExit(std::chrono::seconds(10));
    ASSERT_TRUE(status && WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGTERM);
    ASSERT_TRUE(spinUntil([&] { return h.prepared.contains(sleepyApp.id()) && !model.checkingRemoval(); }));
    EXPECT_EQ(model.quittingApplicationID(), std::nullopt);

    model.setSelectedID(stubbornApp.id());
    model.requestQuitAndRecheck(stubbornApp);
    uptime += 15; // before the first poll
    ASSERT_TRUE(spinUntil([&] { return !model.quittingApplicationID(); }));
    EXPECT_EQ(model.message(),
              QStringLiteral("Stubborn：尚未确认应用退出。 请回到原应用完成保存提示；关闭登录启动或后台"
                             "运行后，再重新检查。岚栖不会强制结束它。"));
    EXPECT_EQ(model.removalFeedbackID(), stubbornApp.id());
    EXPECT_TRUE(ignores->running());
    EXPECT_FALSE(h.prepared.contains(stubbornApp.id()));
}

TEST(LibraryQuit, QuitRequestsFollowTheMatchingRules) {
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B");
    const InstalledApplication protectedApp = listedApplication("P", QStringLiteral("受保护。"));
    enum class Then { wait, leave, stopWaiting };
    struct Case {
        const char* name;
        InstalledApplication application;
        QList<ApplicationRunningTarget> targets;
        bool goesAway;                 // the application is gone once asked
        std::optional<QString> select; // the selection while it quits
        Then then;
        bool offered;
        int requests;
        bool checked; // the removal check ran
        std::optional<QString> message;
    };
    const QString refused =
        QStringLiteral("A：应用未接受正常退出请求。 请打开原应用，完成保存或手动退出，再重新检查。");
    const Case cases[] = {
        {"quits and is checked", a, {runningTarget(a)}, true, a.id(), Then::wait, true, 1, true, {}},
        {"quits but another is selected",
         a,
         {runningTarget(a)},
         true,
         b.id(),
         Then::wait,
         true,
         1,
         false,
         {}},
        {"one of two instances refuses",
         a,
         {runningTarget(a), runningTarget(a, false)},
         false,
         a.id(),
         Then::wait,
         true,
         2,
         false,
         refused},
        {"known only by identifier",
         a,
         {runningTarget(a, true, true)},
         false,
         a.id(),
         Then::wait,
         false,
         0,
         false,
         QStringLiteral("A：此应用仍在运行。 先保存工作，再请求正常退出并重新检查。")},
        {"restricted",
         protectedApp,
         {runningTarget(protectedApp)},
         false,
         a.id(),
         Then::wait,
         false,
         0,
         false,
         {}},
        {"left while waiting", a, {runningTarget(a)}, false, a.id(), Then::leave, true, 1, false, {}},
        {"stopped waiting",
         a,
         {runningTarget(a)},
         false,
         a.id(),
         Then::stopWaiting,
         true,
         1,
         false,
         QStringLiteral("已停止等待退出。已经发出的正常退出请求不能撤回；没有移除应用。")},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LibraryHarness h;
        int requests = 0;
        for (const ApplicationRunningTarget& target : test.targets) {
            h.running.append({target.bundleURL, target.bundleID, [&, target] {
                                  ++requests;
                                  if (test.goesAway)
                                      h.running.clear();
                                  return target.requestQuit();
                              }});
        }
        ApplicationLibraryModel& model = h.scanned({a, b, protectedApp});
        EXPECT_TRUE(model.runningIDs().contains(test.application.id()));
        EXPECT_EQ(model.canRequestQuit(test.application), test.offered);
        model.setSelectedID(test.select);
        model.requestQuitAndRecheck(test.application);
        if (test.then == Then::leave)
            model.leave();
        else if (test.then == Then::stopWaiting)
            model.stopWaitingForQuit();
        ASSERT_TRUE(spinUntil([&] { return !model.quittingApplicationID() && !model.checkingRemoval(); }));
        spinUntil([] { return false; }, std::chrono::milliseconds(300)); // a poll that is still due
        EXPECT_EQ(requests, test.requests);
        EXPECT_EQ(h.prepared.contains(test.application.id()), test.checked);
        EXPECT_EQ(model.message(), test.message);
        EXPECT_FALSE(model.quittingApplicationID().has_value());
    }
}
