#include "ModelHarness.h"
#include "platform/LinuxProcessPlatform.h"
#include "platform/desktop/LoginItem.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

void ignoreTerminate(const void*) {
    ::signal(SIGTERM, SIG_IGN);
}

// Windows and a system monitor as the test sets them.
struct FakeDesktop final : DesktopApplications {
    QList<RunningApplication> applications;
    bool activates = true;
    std::optional<QString> monitor;
    bool opens = true;
    QList<int32_t> activated;

    QList<RunningApplication> runningApplications() override { return applications; }
    bool activate(const RunningApplication& application) override {
        activated.append(application.pid);
        return activates;
    }
    std::optional<QString> systemMonitor() override { return monitor; }
    bool openSystemMonitor(const QString&) override { return opens; }
};

QString label(const ProcessSample& sample) {
    return u'\u2068' + sample.name + QStringLiteral("\u2069（PID ") + QString::number(sample.identity.pid) +
           u'）';
}

} // namespace

TEST(ProcessActions, StopsRealProcessesOnlyWhileTheyAreTheOnesListed) {
    const auto sleeper = ChildProcess::spawn({"sleep", "600"});
    const auto stubborn = ChildProcess::forkIdle(&ignoreTerminate, nullptr);
    ASSERT_TRUE(sleeper && stubborn && waitUntilExecuted(sleeper->pid()));
    LinuxProcessPlatform platform;
    ModelHarness h;
    h.services.processPlatform = &platform;
    AppModel& model = h.start();
    h.sample();
    ASSERT_TRUE(h.listed(sleeper->pid()) && h.listed(stubborn->pid()));
    const ProcessSample sleep = *h.listed(sleeper->pid());
    const ProcessSample ignoring = *h.listed(stubborn->pid());
    // The re-check runs once a child that ends on the signal has ended.
    const auto stopAndWait = [&](const ProcessSample& sample, bool force, const ChildProcess* ends) {
        model.stop(sample, force);
        EXPECT_TRUE(model.stoppingIDs().contains(sample.identity));
        EXPECT_EQ(model.operationMessage(),
                  QStringLiteral("已向 ") + label(sample) + QStringLiteral("发送") +
                      (force ? QStringLiteral("强制停止") : QStringLiteral("退出")) +
                      QStringLiteral("请求，正在复查…"));
        EXPECT_EQ(model.statusMessage(), model.operationMessage().value_or(QString()));
        if (ends) {
            EXPECT_TRUE(ends->waitUntilExited(test::waitBound));
        }
        // The re-check ends with a new sample, whose status line then replaces the outcome's.
        h.runSamples();
        EXPECT_TRUE(model.stoppingIDs().isEmpty());
    };

    // Another incarnation of the pid is never signalled (the controller's and the probes' tests cover
    // how): the model says so and records nothing.
    ProcessSample reused = sleep;
    reused.identity.startTime += 1;
    model.stop(reused, false);
    EXPECT_EQ(model.operationMessage(), QStringLiteral("任务已退出或发生变化，请刷新后重新确认。"));
    EXPECT_TRUE(model.stoppingIDs().isEmpty() && model.history().isEmpty());

    stopAndWait(sleep, false, sleeper.get());
    EXPECT_EQ(model.operationMessage(), QStringLiteral("已确认 ") + label(sleep) + QStringLiteral("退出。"));
    EXPECT_FALSE(h.listed(sleeper->pid()));

    stopAndWait(ignoring, false, nullptr);
    EXPECT_EQ(model.operationMessage(),
              label(ignoring) + QStringLiteral("仍在运行。可继续等待，或在详情中选择强制停止。"));
    stopAndWait(ignoring, true, stubborn.get());
    EXPECT_EQ(model.operationMessage(),
              QStringLiteral("已确认 ") + label(ignoring) + QStringLiteral("退出。"));

    EXPECT_EQ(h.historyTitles(), (QStringList{QStringLiteral("已确认退出"), QStringLiteral("已发送强制停止"),
                                              QStringLiteral("停止后仍在运行"), QStringLiteral("已请求停止"),
                                              QStringLiteral("已确认退出"), QStringLiteral("已请求停止")}));
    for (const ActivityEvent& event : model.history())
        EXPECT_EQ(event.category, QStringLiteral("action"));
    EXPECT_TRUE(model.history()[2].detail.endsWith(
        QStringLiteral(" · PID ") + QString::number(ignoring.identity.pid) + QStringLiteral(" · 尚未退出")));
}

TEST(ProcessActions, LoginItemIsTheAutostartEntry) {
    ModelHarness h;
    const QString program = QCoreApplication::applicationFilePath();
    const QString entry = h.path(QStringLiteral("autostart/lunorvale.desktop"));
    AutostartLoginItem item(program, entry);
    h.services.loginItem = &item;
    AppModel& model = h.start();
    EXPECT_EQ(model.loginStatus(), QStringLiteral("未开启"));

    model.setLoginEnabled(true);
    EXPECT_TRUE(model.loginEnabled());
    EXPECT_EQ(model.loginStatus(), QStringLiteral("已开启"));
    EXPECT_EQ(model.statusMessage(), QStringLiteral("已开启登录时启动。"));
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(("\nExec=" + program + " --login-launch\n").toUtf8()));
    EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    file.close();

    // An entry of another copy of the program is not ours.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Desktop Entry]\nType=Application\nExec=/opt/elsewhere/lunorvale --login-launch\n");
    file.close();
    model.refreshSystemStatus();
    EXPECT_FALSE(model.loginEnabled());
    EXPECT_EQ(model.loginStatus(), QStringLiteral("应用位置不可用"));

    model.setLoginEnabled(false);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(model.statusMessage(), QStringLiteral("已关闭登录时启动。"));
    EXPECT_EQ(model.loginStatus(), QStringLiteral("未开启"));

    // Program paths the entry has to quote read back as written.
    const QStringList names{QStringLiteral("My Apps/岚栖/lunorvale"), QStringLiteral("a\"b`c$d\\e/run"),
                            QStringLiteral("100%/run"), QStringLiteral("semi;colon/run")};
    for (const QString& name : names) {
        const QString path = h.path(name);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile script(path);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly)) << path.toStdString();
        script.write("#!/bin/sh\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        script.close();
        AutostartLoginItem quoted(path, entry);
        quoted.registerItem();
        EXPECT_EQ(quoted.status(), LoginItemStatus::enabled) << path.toStdString();
        EXPECT_EQ(AutostartLoginItem(program, entry).status(), LoginItemStatus::notFound)
            << path.toStdString();
    }
    EXPECT_THROW(AutostartLoginItem(QStringLiteral("relative/run"), entry).registerItem(), LoginItemError);
}

TEST(ProcessActions, InspectionRaisesTheOwningApplicationOrGuidesToTheSystemMonitor) {
    const QString guide = QStringLiteral("请在系统监视器中查找进程“\u2068render\u2069”，核对 PID 801。");
    const QString unopened = QStringLiteral("未能打开系统监视器。请从应用菜单打开。");
    struct Case {
        const char* name;
        QList<RunningApplication> applications;
        bool activates;
        std::optional<QString> monitor;
        bool opens;
        bool changed;
        QString message;
    };
    const QString monitor = QStringLiteral("/usr/bin/gnome-system-monitor");
    // clang-format off
    const std::vector<Case> cases{
        {"owner raised", {{800, QStringLiteral("Editor"), 7}}, true, monitor, true, false,
         QStringLiteral("已打开\u2068Editor\u2069。请查看任务进度；有进展就继续等待。")},
        {"owner without a name", {{800, {}, 7}}, true, monitor, true, false,
         QStringLiteral("已打开所属应用。请查看任务进度；有进展就继续等待。")},
        {"owner refuses", {{800, QStringLiteral("Editor"), 7}}, false, monitor, true, false, guide},
        {"no owner, monitor fails", {}, true, monitor, false, false, unopened + guide},
        {"no owner, no monitor", {}, true, std::nullopt, true, false, unopened + guide},
        {"changed meanwhile", {{800, QStringLiteral("Editor"), 7}}, true, monitor, true, true,
         QStringLiteral("任务已退出或发生变化，请刷新后重新选择。")},
    };
    // clang-format on
    for (const Case& c : cases) {
        ModelHarness h;
        h.add(800, "editor");
        h.add(801, "render");
        h.platform.change(801, [](InMemoryProcessPlatform::Process& p) { p.record.ppid = 800; });
        FakeDesktop desktop;
        desktop.applications = c.applications;
        desktop.activates = c.activates;
        desktop.monitor = c.monitor;
        desktop.opens = c.opens;
        h.services.desktopApplications = &desktop;
        AppModel& model = h.start();
        h.sample();
        ProcessSample render = *h.listed(801);
        EXPECT_EQ(model.inspectionApplication(render).has_value(), !c.applications.isEmpty()) << c.name;
        if (c.changed)
            render.command = QStringLiteral("render --other");
        model.inspectProcess(render);
        EXPECT_EQ(model.operationMessage(), c.message) << c.name;
        EXPECT_EQ(model.statusMessage(), c.message) << c.name;
    }
}
