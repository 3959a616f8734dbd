// The resources page over the machine's own processes: two busy children that a desktop launched as
// one application (a control group named like its launch) and the application's desktop file.

#include "WindowHarness.h"
#include "platform/LinuxProcessPlatform.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/LaunchScope.h"
#include "ui/kit/LVText.h"
#include "ui/window/DashboardApplicationList.h"
#include "ui/window/ResourceDashboardView.h"

#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// The machine's processes and CPU time on a clock the test moves.
class SteppedClockPlatform final : public ProcessPlatform {
public:
    LinuxProcessPlatform real;
    double clock = 1000;

    int collect(std::span<LVProcessRecord> records, uint32_t& skipped) override {
        return real.collect(records, skipped);
    }
    std::optional<LVProcessRecord> readProcess(int32_t pid) override { return real.readProcess(pid); }
    bool processGone(int32_t pid) override { return real.processGone(pid); }
    QString processPath(int32_t pid) override { return real.processPath(pid); }
    QString processArguments(int32_t pid) override { return real.processArguments(pid); }
    std::optional<CPUTicks> cpuTicks() override { return real.cpuTicks(); }
    std::optional<LVSystemMemory> systemMemory() override { return real.systemMemory(); }
    int signalChecked(const ProcessIdentity& identity, uint32_t uid, int signal) override {
        return real.signalChecked(identity, uid, signal);
    }
    bool isProtected(const QString& name, const QString& executable) override {
        return real.isProtected(name, executable);
    }
    uint32_t currentUser() override { return real.currentUser(); }
    int32_t currentProcess() override { return real.currentProcess(); }
    double uptime() override { return clock; }
    double sinceBoot() override { return clock; }
    QStringList resolvedPaths(const QList<QStringView>& paths) override { return real.resolvedPaths(paths); }
    std::optional<ApplicationEntry> processApplication(int32_t pid) override {
        return real.processApplication(pid);
    }
    QList<ApplicationEntry> applicationEntries(const QList<QStringView>& ids) override {
        return real.applicationEntries(ids);
    }
    void markStale(const ProcessIdentity& identity) override { real.markStale(identity); }
    QList<ProcessIdentity> takeStale() override { return real.takeStale(); }
};

uint64_t cpuNanoseconds(const QList<pid_t>& pids) {
    uint64_t total = 0;
    for (const pid_t pid : pids) {
        LVProcessRecord record{};
        if (lv_read_process(pid, &record) == 1)
            total += record.cpu_ns;
    }
    return total;
}

} // namespace

TEST(ResourcePages, WatchAnApplicationTheDesktopLaunchedAsAWhole) {
    std::string why;
    const auto scope = LaunchScope::create(why);
    if (!scope)
        GTEST_SKIP() << "no writable control-group hierarchy: " << why;
    QTemporaryDir data;
    writeFile(
        data.filePath(
            QStringLiteral("applications/%1.desktop").arg(QString::fromStdString(scope->applicationID()))),
        "[Desktop Entry]\nType=Application\nName=Busy\nName[zh]=忙\nName[zh_CN]=忙碌示例\n");
    const ScopedVariable dataHome("XDG_DATA_HOME", data.path());
    const auto hog = ChildProcess::spawn({"sh", "-c", "while :; do :; done"});
    const auto helper = ChildProcess::spawn({"sh", "-c", "while :; do :; done"});
    ASSERT_TRUE(hog && helper);
    ASSERT_TRUE(scope->move(hog->pid()) && scope->move(helper->pid())) << scope->path();

    SteppedClockPlatform platform;
    WindowHarness h;
    h.services.processPlatform = &platform;
    // Samples 10 s apart on the test's clock; the application is reported after 30 s at 15 % or more.
    h.store().setValue(AppModel::Keys::monitorSettings, MonitorSettings{5, 15, 30, false}.toJson());
    h.store().setValue(AppModel::Keys::hasCompletedOnboarding, true);
    h.start();
    const QList<pid_t> busy{hog->pid(), helper->pid()};
    // Other busy applications of the machine's user (a build, another run of these tests) may be
    // reported beside it: the launched one is the one that holds the children.
    const auto launched = [&]() -> std::optional<ApplicationCPUFinding> {
        for (const ApplicationCPUFinding& finding : h.model->applicationCPUFindings()) {
            for (const ProcessSample& member : finding.group.members) {
                if (member.identity.pid == hog->pid())
                    return finding;
            }
        }
        return std::nullopt;
    };
    for (int step = 0; step < 4 && !launched(); ++step) {
        // Each step the two together use at least 2 s of the 10 s that pass on the test's clock.
        const uint64_t before = cpuNanoseconds(busy);
        if (step > 0) {
            ASSERT_TRUE(pollUntil([&] { return cpuNanoseconds(busy) - before >= 2'000'000'000; }, waitBound));
        }
        platform.clock += 10;
        h.clock = h.clock.addSecs(10);
        h.sample();
    }

    ASSERT_TRUE(launched());
    EXPECT_EQ(launched()->group.name, QStringLiteral("忙碌示例"));
    MainView& view = h.open();
    view.setPage(Page::resources);
    h.settle();
    ResourceDashboardView* page = view.resourcesPage();
    const ApplicationGroupsModel& list = *page->applications()->model();
    // Other applications of a desktop session may be listed beside it.
    QStringList shown;
    for (int row = 0; row < list.rowCount(); ++row) {
        const QString text = list.data(list.index(row, 0), Qt::AccessibleTextRole).toString();
        if (text.startsWith(QStringLiteral("忙碌示例，")))
            shown << text.section(u'，', 0, 1);
    }
    EXPECT_EQ(shown, QStringList{QStringLiteral("忙碌示例，2 个进程")});
    QStringList findings;
    for (const LVText* text : page->findingsPanel()->findChildren<LVText*>())
        findings << text->text();
    EXPECT_TRUE(findings.contains(QStringLiteral("\u2068忙碌示例\u2069 · 应用整体持续高占用")))
        << findings.join(u'|').toStdString();
}
