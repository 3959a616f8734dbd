#include "SignedBundle.h"
#include "platform/Paths.h"
#include "platform/files/Trash.h"
#include "support/ScratchMount.h"

#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

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
    const QString uncertain = "已移入废纸篓，原位置仍有项目或无法确认，请重新扫描并复查";
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
        // What goes to the trash is not the bundle that was checked: the checked one may be anywhere.
        {"a bundle swapped just before the move", 0, {}, {}, [](Setup& s) {
             ASSERT_TRUE(QDir().rename(s.app.path, s.app.root.sub("aside") + "/Sample.app"));
             fixture::writeFile(s.app.path + "/Contents/Info.plist", "<plist/>");
         }, {}, {uncertain}},
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
        operations.trash = [&](const QUrl& item, const QString&) {
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
        EXPECT_EQ(result && result->logSaved, row.states.contains(moved) || row.states.contains(uncertain));
        EXPECT_EQ(result && result->sourceStillExists, row.states.contains(uncertain));
    }
}

namespace {

const QString trashRefused =
    "未能移到回收站。请检查应用是否正在使用，以及系统是否允许岚栖管理应用；也可在文件管理器中"
    "处理。请复查原位置和回收站。";

// Where the system said why, the sentence says it.
QString because(const char* cause) {
    return QString("未能移到回收站。") + cause + "请复查原位置和回收站。";
}

// Fails the record's creation or the move with the error given, as the system would (0: naming no
// cause; -1: not at all).
struct RefusingTrash final : Trash::TrashCalls {
    int createError, renameError;
    RefusingTrash(int create, int rename) : createError(create), renameError(rename) {}
    int createExclusive(int folder, const char* name) const override {
        return createError < 0 ? TrashCalls::createExclusive(folder, name) : (errno = createError, -1);
    }
    int renameNoReplace(const char* from, int folder, const char* name) const override {
        return renameError < 0 ? TrashCalls::renameNoReplace(from, folder, name) : (errno = renameError, -1);
    }
};

// A signed bundle in the Applications folder of a home of its own; that folder may be a file system of
// its own (a volume), mounted before the bundle is made.
struct HomeWithBundle {
    fixture::Root root;
    QString applications = root.sub("Applications");
    std::optional<test::ScratchMount> volume;
    QString path;
    std::optional<test::ScopedVariable> home, data;

    explicit HomeWithBundle(const QString& name, const QByteArray& volumeOptions = {}) {
        if (!volumeOptions.isEmpty())
            volume.emplace(test::ScratchMount::tmpfs(applications, volumeOptions));
        path = fixture::makeBundle(applications, name, fixture::appInfo("com.example.sample"));
        fixture::writeFile(path + "/Contents/Resources/readme.txt", "hello");
        fixture::signBundle(path);
        home.emplace("HOME", root.path);
        data.emplace("XDG_DATA_HOME", root.path + "/.local/share");
    }
    InstalledApplication read() const { return ApplicationInventory::checkedRead(url(path)); }
};

} // namespace

// Whatever the trash cannot take, the removal ends with its sentence: the bundle stays where it was and the
// receipt is readable. A name too long for the trash's record still moves, under a shorter name.
TEST(RemovalService, EveryMoveTheTrashCannotTakeEndsWithItsSentence) {
    const QString longName = QString(82, u'岚') + ".app"; // 250 bytes
    const struct {
        const char* name;
        QString bundleName;
        QByteArray volumeOptions; // a file system of its own for the Applications folder
        // Run after the plan was made; false: what the row needs is not possible here.
        std::function<bool(HomeWithBundle&, std::optional<test::ScratchMount>&)> afterPlan;
        QString error;                          // empty: moved
        int createError = -1, renameError = -1; // as RefusingTrash takes them
    } rows[] = {
        {"a 250-byte name", longName, {}, {}, {}},
        {"a record folder nobody may write",
         "Sample.app",
         {},
         [](HomeWithBundle& h, std::optional<test::ScratchMount>& readOnly) {
             const QString info = h.root.sub(".local/share/Trash/info");
             h.root.sub(".local/share/Trash/files");
             if (::geteuid() != 0)
                 return ::chmod(QFile::encodeName(info).constData(), 0500) == 0;
             readOnly.emplace(test::ScratchMount::readOnly(info));
             return readOnly->mounted();
         },
         because(::geteuid() == 0 ? "该位置只读。" : "没有足够的权限。")},
        {"a volume without free inodes", "Sample.app", "size=1m,nr_inodes=64",
         [](HomeWithBundle& h, std::optional<test::ScratchMount>&) {
             const QString trash = h.applications + "/.Trash-" + QString::number(::getuid());
             QDir().mkpath(trash + "/files");
             QDir().mkpath(trash + "/info");
             test::ScratchMount::takeAllInodes(h.applications);
             return true;
         },
         because("磁盘空间不足。")},
        {"a volume without free space", "Sample.app", "size=1m",
         [](HomeWithBundle& h, std::optional<test::ScratchMount>&) {
             const QString trash = h.applications + "/.Trash-" + QString::number(::getuid());
             QDir().mkpath(trash + "/files");
             QDir().mkpath(trash + "/info");
             test::ScratchMount::takeAllSpace(h.applications);
             return true;
         },
         because("磁盘空间不足。")},
        // The same causes as the system gives them, where no volume can be mounted.
        {"a read-only trash", "Sample.app", {}, {}, because("该位置只读。"), EROFS},
        {"a full volume at the move", "Sample.app", {}, {}, because("磁盘空间不足。"), -1, ENOSPC},
        {"a trash elsewhere", "Sample.app", {}, {}, because("不能在不同的磁盘之间直接移动。"), -1, EXDEV},
        {"a refusal without a cause", "Sample.app", {}, {}, trashRefused, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HomeWithBundle h(row.bundleName, row.volumeOptions);
        if (h.volume && !h.volume->mounted()) {
            std::cout << "skipped: " << row.name << " needs a file system mounted by root\n";
            continue;
        }
        const RefusingTrash calls(row.createError, row.renameError);
        ApplicationRemovalService::Operations operations;
        operations.trash = [&calls](const QUrl& item, const QString& date) {
            return ApplicationRemovalService::moveToTrash(item, date, calls);
        };
        const ApplicationRemovalService service(ApplicationRemovalService().roots(),
                                                ApplicationRemovalLog::standard(), operations);
        const ApplicationRemovalPlan plan = service.prepare(h.read(), {});
        std::optional<test::ScratchMount> readOnly;
        if (row.afterPlan && !row.afterPlan(h, readOnly)) {
            std::cout << "skipped: " << row.name << " needs a read-only mount\n";
            continue;
        }
        std::optional<ApplicationRemovalResult> result;
        const QString error = fixture::errorOf([&] { result = service.execute(plan, {}); });
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(QFileInfo::exists(h.path + "/Contents/Info.plist"), !row.error.isEmpty());
        const QList<ApplicationRemovalReceipt> receipts = ApplicationRemovalLog::standard().load();
        ASSERT_EQ(receipts.size(), 1);
        EXPECT_EQ(receipts.first().state,
                  row.error.isEmpty() ? "已移入废纸篓" : "未完成，请复查原位置和废纸篓");
        if (row.error.isEmpty()) {
            ASSERT_TRUE(result);
            EXPECT_EQ(QFileInfo(*receipts.first().trashPath).path(),
                      h.root.path + "/.local/share/Trash/files");
            EXPECT_TRUE(QFileInfo(*receipts.first().trashPath + "/Contents/Info.plist").isFile());
        }
        // A record that was started is gone again: none is left that restores nothing.
        qsizetype records = 0;
        for (const QString& info : {h.root.path + "/.local/share/Trash/info",
                                    h.applications + "/.Trash-" + QString::number(::getuid()) + "/info"})
            records += QDir(info).entryList(QDir::Files | QDir::Hidden).size();
        EXPECT_EQ(records, row.error.isEmpty() ? 1 : 0);
        ::chmod(QFile::encodeName(h.root.path + "/.local/share/Trash/info").constData(), 0700);
    }
}

// Where the home is reached through a link (/home → var/home), a removal still records, moves and lists
// its receipt; a link below the home is still refused.
TEST(RemovalService, AHomeReachedThroughALinkRemovesAndListsItsReceipt) {
    fixture::Root root;
    ASSERT_TRUE(QFile::link(root.sub("var/home"), root.path + "/home"));
    const QString real = root.path + "/var/home/user";
    const QString bundle = fixture::makeBundle(root.sub("var/home/user/Applications"), "Sample.app",
                                               fixture::appInfo("com.example.sample"));
    fixture::writeFile(bundle + "/Contents/Resources/readme.txt", "hello");
    fixture::signBundle(bundle);
    const test::ScopedVariable home("HOME", root.path + "/home/user");
    const test::ScopedVariable data("XDG_DATA_HOME", root.path + "/home/user/.local/share");
    const test::ScopedVariable config("XDG_CONFIG_HOME", root.path + "/home/user/.config");
    EXPECT_EQ(Paths::applicationSupportDirectory(), real + "/.local/share/Lunorvale");
    EXPECT_EQ(Paths::configDirectory(), real + "/.config/Lunorvale");

    const ApplicationRemovalService service;
    const ApplicationRemovalResult result =
        service.execute(service.prepare(ApplicationInventory::checkedRead(url(bundle)), {}), {});
    EXPECT_EQ(result.receipt.state, "已移入废纸篓");
    EXPECT_TRUE(result.logSaved);
    EXPECT_EQ(result.receipt.trashPath, real + "/.local/share/Trash/files/Sample.app");

    EXPECT_EQ(ApplicationRemovalLog::standard().load(), QList<ApplicationRemovalReceipt>{result.receipt});

    // The program's own folder made a link: refused, not followed.
    const QString moved = root.sub("elsewhere") + "/Lunorvale";
    ASSERT_TRUE(QDir().rename(real + "/.local/share/Lunorvale", moved));
    ASSERT_TRUE(QFile::link(moved, real + "/.local/share/Lunorvale"));
    EXPECT_EQ(fixture::errorOf([] { ApplicationRemovalLog::standard().load(); }),
              "卸载操作清单无法安全读取，原文件已保留。");
}

// An earlier removal of the same bundle that was killed after the trash's record and before the move
// left a receipt "待复查" and a record without its item. The next removal removes that record first, so
// its own takes the bundle's plain name and no Trash program offers the empty one; another program's
// record of the same path stays. The record is found by the date text its receipt kept, also when the
// time zone changed since and the moment reads as another local time.
TEST(RemovalService, TheNextRemovalRemovesTheRecordAKilledOneLeft) {
    const fixture::SignedApp app;
    const test::ScopedVariable home("HOME", app.root.path);
    const test::ScopedVariable data("XDG_DATA_HOME", app.root.path + "/.local/share");
    const QString trash = app.root.path + "/.local/share/Trash";
    const ApplicationRemovalService service;
    const ApplicationRemovalPlan plan = service.prepare(app.read(), {});

    const QDateTime killedAt = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 1, Qt::UTC);
    // The zone then was five hours ahead of today's.
    const QByteArray killedDate = Trash::deletionDateText(killedAt.addSecs(5 * 3600));
    const ApplicationRemovalReceipt killed{QUuid::createUuid(), killedAt, app.path,
                                           std::nullopt,        "待复查", QString::fromLatin1(killedDate)};
    ApplicationRemovalLog::standard().save({killed});
    const Trash::Outcome recorded = Trash::moveToTrash(app.path, killedDate);
    ASSERT_TRUE(recorded.location && QDir().rename(*recorded.location, app.path));
    const QByteArray foreign = Trash::infoText(QFile::encodeName(app.path), "2001-02-03T04:05:06");
    fixture::writeFile(trash + "/info/Sample.app.9.trashinfo", foreign);

    const ApplicationRemovalResult result = service.execute(plan, {});
    EXPECT_EQ(result.receipt.trashPath, trash + "/files/Sample.app");
    EXPECT_EQ(QDir(trash + "/info").entryList(QDir::Files),
              QStringList({"Sample.app.9.trashinfo", "Sample.app.trashinfo"}));
    EXPECT_EQ(test::readFile(trash + "/info/Sample.app.9.trashinfo"), foreign);
    ASSERT_TRUE(result.receipt.deletionDate);
    EXPECT_EQ(test::readFile(trash + "/info/Sample.app.trashinfo"),
              Trash::infoText(QFile::encodeName(app.path), result.receipt.deletionDate->toLatin1()));
    EXPECT_EQ(ApplicationRemovalLog::standard().load(),
              QList<ApplicationRemovalReceipt>({killed, result.receipt}));
}
