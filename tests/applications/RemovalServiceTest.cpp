#include "SignedBundle.h"
#include "platform/Paths.h"

using namespace lunorvale;
using fixture::url;
using Phase = ApplicationRemovalPhase;

namespace {

ApplicationRemovalService::PhaseCallback recordInto(QList<Phase>& phases) {
    return [&phases](Phase phase) {
        phases.append(phase);
    };
}

} // namespace

TEST(RemovalService, MovesASignedBundleToTheTrashWithAReceipt) {
    const fixture::SignedApp app;
    const test::ScopedVariable home("HOME", app.root.path);
    const test::ScopedVariable data("XDG_DATA_HOME", app.root.path + "/.local/share");
    const ApplicationRemovalService service;

    QList<Phase> phases;
    const ApplicationRemovalPlan plan = service.prepare(app.read(), recordInto(phases));
    EXPECT_EQ(phases, QList<Phase>({Phase::identity, Phase::components, Phase::signature, Phase::running}));
    EXPECT_EQ(plan.signatureHash, app.unique);
    phases.clear();
    const ApplicationRemovalResult result = service.execute(plan, recordInto(phases));
    EXPECT_EQ(phases, QList<Phase>({Phase::identity, Phase::components, Phase::signature, Phase::recording,
                                    Phase::running, Phase::moving}));

    const QString trash = app.root.path + "/.local/share/Trash";
    EXPECT_TRUE(result.logSaved);
    EXPECT_FALSE(result.sourceStillExists);
    EXPECT_EQ(result.receipt.trashPath, trash + "/files/Sample.app");
    EXPECT_EQ(result.receipt.state, "已移入废纸篓");
    EXPECT_EQ(result.receipt.originalPath, app.path);
    EXPECT_TRUE(QFileInfo(trash + "/files/Sample.app/Contents/Info.plist").isFile());
    EXPECT_TRUE(QFileInfo(trash + "/info/Sample.app.trashinfo").isFile());
    EXPECT_FALSE(QFileInfo::exists(app.path));

    const QString folder = Paths::applicationSupportDirectory();
    EXPECT_EQ(ApplicationRemovalLog::standard().load(), QList<ApplicationRemovalReceipt>{result.receipt});
    const QString file = folder + "/application-removals.json";
    EXPECT_TRUE(test::readFile(file).contains(plan.id.toString(QUuid::WithoutBraces).toUpper().toLatin1()));
    EXPECT_EQ(test::modeOf(file), 0600u);
    EXPECT_EQ(test::modeOf(folder), 0700u);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"application-removals.json"});

    EXPECT_EQ(applicationRemovalPhase("移到回收站"), Phase::moving);
    EXPECT_EQ(applicationRemovalPhase(" 移到回收站"), std::nullopt);
}

TEST(RemovalService, ExecutionRechecksAndRecordsEveryOutcome) {
    const QString expired = "确认信息已过期或系统时间已变化，请重新检查应用。";
    const QString incomplete = "未完成，请复查原位置和废纸篓";
    const QString moved = "已移入废纸篓";
    struct Calls final : DurableFileCalls {
        mutable bool failRename = false;
        int renameat(int folder, const char* from, const char* to) const override {
            return failRename ? -1 : DurableFileCalls::renameat(folder, from, to);
        }
    };
    struct Setup {
        const fixture::SignedApp& app;
        CancellationSource& cancellation;
        Calls& calls;
        const ApplicationRemovalLog& log;
    };
    using Hook = std::function<void(Setup&)>;
    const auto fail = [](const char* message) {
        return [message](Setup&) {
            throw ApplicationManagementError::blocked(message);
        };
    };
    const struct {
        const char* name;
        int ageSeconds;
        Hook beforeExecution, whenRunningIsChecked, beforeTheMove;
        QString error;      // empty: success
        QStringList states; // of the receipts in the log afterwards, sorted
    } rows[] = {
        {"299 seconds old", 299, {}, {}, {}, {}, {moved}},
        {"300 seconds old", 300, {}, {}, {}, expired, {}},
        {"from the future", -1, {}, {}, {}, expired, {}},
        // clang-format off
        {"a replaced executable", 0, [](Setup& s) {
             const char* entitlements = "<plist><dict/></plist>";
             fixture::signBundle(s.app.path, fixture::CodeSpec({fixture::SliceSpec()}, {}, entitlements));
         }, {}, {}, "应用已更新或被替换，请重新检查。", {}},
        // clang-format on
        {"started after the recording", 0, {}, fail("running"), {}, "running", {incomplete}},
        {"cancelled before the move",
         0,
         {},
         [](Setup& s) { s.cancellation.cancel(); },
         {},
         "操作已取消。",
         {incomplete}},
        {"the trash refused", 0, {}, {}, fail("refused"), "refused", {incomplete}},
        {"the final save failed", 0, {}, {}, [](Setup& s) { s.calls.failRename = true; }, {}, {"待复查"}},
        // clang-format off
        {"a receipt saved during the move", 0, {}, {}, [](Setup& s) {
             s.log.save(s.log.load() << ApplicationRemovalReceipt{QUuid::createUuid(),
                                                                  QDateTime::currentDateTimeUtc(), "/other",
                                                                  std::nullopt, "待复查"});
         }, {}, {moved, "待复查"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fixture::SignedApp app;
        const auto calls = std::make_shared<Calls>();
        const ApplicationRemovalLog log(url(app.root.path + "/data/log.json"), calls);
        CancellationSource cancellation;
        Setup setup{app, cancellation, *calls, log};
        const QDateTime start = QDateTime::currentDateTimeUtc();
        QDateTime now = start;
        ApplicationRemovalService::Operations operations;
        operations.components = [](const InstalledApplication& application, const CancellationToken& token) {
            ApplicationRemovalService::checkComponents(application, {}, token);
        };
        bool executing = false;
        operations.running = [&](const QUrl&) {
            if (executing && row.whenRunningIsChecked)
                row.whenRunningIsChecked(setup);
        };
        operations.trash = [&](const QUrl& item) {
            if (row.beforeTheMove)
                row.beforeTheMove(setup);
            const QString target = app.root.sub("trash") + u'/' + item.fileName();
            EXPECT_TRUE(QDir().rename(item.path(), target));
            return url(target);
        };
        operations.now = [&now] {
            return now;
        };
        const ApplicationRemovalService service({url(app.folder)}, log, operations);

        const ApplicationRemovalPlan plan = service.prepare(app.read(), {});
        if (row.beforeExecution)
            row.beforeExecution(setup);
        now = start.addSecs(row.ageSeconds);
        executing = true;
        std::optional<ApplicationRemovalResult> result;
        QString error;
        try {
            result = service.execute(plan, {}, cancellation.token());
        } catch (const ApplicationManagementError& thrown) {
            error = thrown.errorDescription();
        } catch (const CancellationError& thrown) {
            error = thrown.errorDescription();
        }
        EXPECT_EQ(error, row.error);
        calls->failRename = false;
        QStringList states;
        for (const ApplicationRemovalReceipt& receipt : log.load())
            states.append(receipt.state);
        std::sort(states.begin(), states.end());
        EXPECT_EQ(states, row.states);
        EXPECT_EQ(QFileInfo::exists(app.path), !result.has_value());
        EXPECT_EQ(result && result->logSaved, row.states.contains(moved));
    }
}
