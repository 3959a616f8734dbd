#include "LibraryHarness.h"
#include "applications/BundleFixture.h"
#include "core/common/ErrorCause.h"
#include "platform/desktop/FileReveal.h"
#include "platform/files/Trash.h"
#include "support/FakeDesktop.h"
#include "support/Files.h"
#include "support/PrivateBus.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

const QString unreadable = QStringLiteral("卸载操作清单无法读取，原文件已保留；在修复前不能执行新的卸载。");
const QString nothingToKeep = QStringLiteral("卸载操作清单无法读取；在修复前不能执行新的卸载。");
const QString damaged = unreadable + RemovalLogFormatError().errorDescription();

ApplicationRemovalReceipt receipt(const QString& original, std::optional<QString> trash = {}) {
    return {QUuid::createUuid(), QDateTime::fromSecsSinceEpoch(1'700'000'000), original, std::move(trash),
            "待复查"};
}

} // namespace

TEST(LibraryReceipts, ListsNewestFirstAndNeverRewritesAnUnreadableLog) {
    const ApplicationRemovalReceipt a = receipt("/Applications/A.app"), b = receipt("/Applications/B.app");
    const bool root = ::geteuid() == 0;
    const QByteArray tooLarge(ApplicationRemovalLog::byteLimit + 1, ' ');
    // Root reads a file of mode 0000 all the same.
    const std::optional<QString> closedError =
        root ? std::nullopt : std::optional(unreadable + ErrorCause::sentence(EACCES));
    const QString notAFile = unreadable + ErrorCause::sentence(FileRefusal::notRegularFile);
    using Change = void (*)(const QString& written);
    const Change closed = [](const QString& written) {
        ASSERT_TRUE(QFile::setPermissions(written, {}));
    };
    const Change link = [](const QString& written) {
        ASSERT_TRUE(QFile::link("/dev/zero", written));
    };
    const Change pipe = [](const QString& written) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(written).constData(), 0600), 0);
    };
    const Change socket = [](const QString& written) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(written);
        ASSERT_LT(size_t(name.size()), sizeof address.sun_path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    };
    // The file written (none without bytes), the log's place, what the page shows, and what else is done
    // to the written place.
    const struct {
        QString written;
        std::optional<QByteArray> bytes;
        QString log;
        QList<ApplicationRemovalReceipt> shown;
        std::optional<QString> error;
        Change change = nullptr;
    } cases[] = {
        {"r.json", std::nullopt, "r.json", {}, std::nullopt},
        {"r.json", ApplicationRemovalLog::encode({a, b}), "r.json", {b, a}, std::nullopt},
        {"r.json", R"([{"id":"x"}])", "r.json", {}, damaged},
        {"r.json", tooLarge, "r.json", {}, unreadable + ErrorCause::sentence(EFBIG)},
        // The data folder is a file: no log is there to keep, and the system says why none can be.
        {"data", "a file", "data/r.json", {}, nothingToKeep + ErrorCause::sentence(ENOTDIR)},
        {"r.json", "[]", "r.json", {}, closedError, closed},
        {"r.json", std::nullopt, "r.json", {}, unreadable + ErrorCause::sentence(FileRefusal::link), link},
        {"r.json", std::nullopt, "r.json", {}, notAFile, pipe},
        {"r.json", std::nullopt, "r.json", {}, notAFile, socket},
    };
    for (const auto& [written, bytes, log, shown, error, change] : cases) {
        SCOPED_TRACE(log.toStdString() + ": " + error.value_or("no error").toStdString());
        LibraryHarness h;
        const QString path = h.folder.filePath(log), file = h.folder.filePath(written);
        h.services.removalLog = [path] {
            return ApplicationRemovalLog(QUrl::fromLocalFile(path));
        };
        if (bytes)
            fixture::writeFile(file, *bytes);
        if (change)
            change(file);
        // Never read through the link or the pipe: the tree tells whether anything changed.
        const std::string before = folderTree(h.folder.path());
        ApplicationLibraryModel& model = h.start();
        model.loadReceipts();
        EXPECT_EQ(model.receipts(), shown);
        EXPECT_EQ(model.receiptError(), error);
        EXPECT_EQ(model.message(), model.receiptError());
        model.clearReceipts();
        EXPECT_TRUE(model.receipts().isEmpty());
        if (error)
            EXPECT_EQ(folderTree(h.folder.path()), before);
        else
            EXPECT_EQ(readFile(file), QByteArray("[]"));

        // Once the log reads again, the banner that told of it goes with the error.
        ASSERT_TRUE(QFile::remove(file));
        model.loadReceipts();
        EXPECT_EQ(model.receiptError(), std::nullopt);
        EXPECT_EQ(model.message(), std::nullopt);
    }
}

TEST(LibraryReceipts, LogIsShownInTheFileManagerOrItsFolderIsOpened) {
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeFileManager manager(bus.connect(QStringLiteral("manager")));
    FakeRevealer opener;
    FreedesktopFileRevealer revealer(&opener, bus.connect(QStringLiteral("library")));
    LibraryHarness h;
    h.services.revealer = &revealer;
    ApplicationLibraryModel& model = h.start();
    const QUrl log = h.services.removalLog().fileURL();
    const QUrl folder = QUrl::fromLocalFile(h.folder.path());

    model.revealRemovalLog();
    fixture::writeFile(log.toLocalFile(), "[]");
    model.revealRemovalLog();
    ASSERT_TRUE(waitUntil([&] { return manager.shown.size() == 2; }));
    EXPECT_EQ(manager.shown, (QList<QStringList>{{folder.toString(QUrl::FullyEncoded)},
                                                 {log.toString(QUrl::FullyEncoded)}}));

    // Only a local file is ever revealed for a guidance.
    for (const char* related : {"https://example.invalid/u", "file://host.invalid/x.app"})
        model.revealRelated({ApplicationManagementGuidance::Kind::vendorManaged, {}, {}, QUrl(related)});
    model.revealReceipt(receipt(h.folder.filePath("gone.app")), false);
    EXPECT_EQ(model.receiptActionMessage(), "原位置已不存在或不可访问；可查看记录中的回收站位置。");
    EXPECT_EQ(manager.shown.size(), 2);

    FreedesktopFileRevealer absent(&opener, bus.connect(QStringLiteral("other")),
                                   QStringLiteral("org.example.Absent"));
    absent.reveal(log);
    ASSERT_TRUE(waitUntil([&] { return !opener.opened.isEmpty(); }));
    EXPECT_EQ(opener.opened, QList{folder});
}

TEST(LibraryReceipts, UnreadableLogStopsARemovalBeforeAnythingMoves) {
    fixture::Root root;
    const QString folder = root.sub(QStringLiteral("Applications"));
    const QString bundle =
        fixture::makeBundle(folder, "Real.app", fixture::info("example.real", "Real", "Real"));
    fixture::writeFile(bundle + "/Contents/MacOS/Real", "#!/bin/sh\n");
    const ApplicationRemovalLog log(QUrl::fromLocalFile(root.path + "/removals.json"));
    const QByteArray damagedBytes = "not a receipt list";
    fixture::writeFile(log.fileURL().toLocalFile(), damagedBytes);
    int trashed = 0;
    ApplicationRemovalService::Operations operations;
    operations.signature = [](const QUrl&, const CancellationToken&) {
        return QByteArray("digest");
    };
    operations.running = [](const QUrl&) {
    };
    operations.components = [](const InstalledApplication&, const CancellationToken&) {
    };
    operations.trash = [&](const QUrl& item, const QString&) {
        return ++trashed, item;
    };
    operations.now = [] {
        return QDateTime::currentDateTimeUtc();
    };
    const ApplicationRemovalService service({fixture::url(folder)}, log, operations);

    LibraryHarness h;
    h.services.scan = [&](const CancellationToken& token) {
        return ApplicationInventory({fixture::url(folder)}).scan(token);
    };
    h.services.prepare = [&](const InstalledApplication& app, const auto& phase,
                             const CancellationToken& token) {
        return service.prepare(app, phase, token);
    };
    h.services.execute = [&](const ApplicationRemovalPlan& plan, const auto& phase,
                             const CancellationToken& token) {
        return service.execute(plan, phase, token);
    };
    h.services.removalLog = [&] {
        return log;
    };
    ApplicationLibraryModel& model = h.scanned({});
    model.loadReceipts();
    EXPECT_EQ(model.receiptError(), damaged);
    ASSERT_EQ(model.applications().size(), 1);
    h.check(model.applications().first());
    ASSERT_TRUE(model.removalPlan());

    model.remove(*model.removalPlan());
    ASSERT_TRUE(h.executor.settle());
    EXPECT_FALSE(model.removing());
    const QString stopped = QStringLiteral("\u2068Real\u2069：未能读取数据，因为它的格式不正确。");
    EXPECT_EQ(model.message(), stopped);
    EXPECT_EQ(trashed, 0);
    EXPECT_EQ(readFile(log.fileURL().toLocalFile()), damagedBytes);
    EXPECT_EQ(model.receiptError(), damaged);

    // A banner that tells of the stopped removal stays when the log reads again.
    fixture::writeFile(log.fileURL().toLocalFile(), "[]");
    model.loadReceipts();
    EXPECT_EQ(model.receiptError(), std::nullopt);
    EXPECT_EQ(model.message(), stopped);
}

// At the start the record that a killed removal left in the trash without its item goes, off the
// interface thread; a receipt from after the start is left to the removal that wrote it, and a screenshot
// run touches nothing.
TEST(LibraryReceipts, AtTheStartTheRecordsOfKilledRemovalsGo) {
    LibraryHarness h;
    const QString data = h.folder.filePath("data");
    const ScopedVariable dataHome("XDG_DATA_HOME", data);
    const QDateTime start = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    h.services.now = [start] {
        return start;
    };
    QStringList bundles, records;
    QList<ApplicationRemovalReceipt> receipts;
    for (const auto& [name, seconds] : {std::pair("Killed", -1), std::pair("Later", 1)}) {
        bundles.append(h.folder.filePath(QStringLiteral("Applications/%1.app").arg(name)));
        fixture::writeFile(bundles.last() + "/Contents/Info.plist", "<plist/>");
        const QDateTime date = start.addSecs(seconds);
        const QByteArray deletionDate = Trash::deletionDateText(date);
        const Trash::Outcome outcome = Trash::moveToTrash(bundles.last(), deletionDate);
        ASSERT_TRUE(outcome.location && QDir().rename(*outcome.location, bundles.last()));
        records.append(data + "/Trash/info/" + QFileInfo(*outcome.location).fileName() + ".trashinfo");
        receipts.append({QUuid::createUuid(), date, bundles.last(), std::nullopt, "待复查",
                         QString::fromLatin1(deletionDate)});
    }
    h.services.removalLog().save(receipts);
    h.services.removeUnfinishedTrashRecords = [](const QList<ApplicationRemovalReceipt>& receipts,
                                                 const QDateTime& before) {
        ApplicationRemovalService::removeUnfinishedTrashRecords(receipts, before);
    };

    h.start(true).removeUnfinishedTrashRecords();
    EXPECT_EQ(h.executor.pending(), 0);
    h.model.reset();
    h.start().removeUnfinishedTrashRecords();
    EXPECT_TRUE(QFileInfo::exists(records[0]));
    EXPECT_TRUE(h.executor.settle());
    EXPECT_FALSE(QFileInfo::exists(records[0]));
    EXPECT_TRUE(QFileInfo::exists(records[1]));
    EXPECT_TRUE(QFileInfo::exists(bundles[0] + "/Contents/Info.plist"));
}
