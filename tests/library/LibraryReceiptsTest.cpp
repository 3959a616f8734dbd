#include "FakeFileManager.h"
#include "LibraryHarness.h"
#include "applications/BundleFixture.h"
#include "support/PrivateBus.h"

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

const QString unreadable = QStringLiteral("卸载操作清单无法读取，原文件已保留；在修复前不能执行新的卸载。");

ApplicationRemovalReceipt receipt(const QString& original, std::optional<QString> trash = {}) {
    return {QUuid::createUuid(), QDateTime::fromSecsSinceEpoch(1'700'000'000), original, std::move(trash),
            QStringLiteral("已移入废纸篓")};
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

} // namespace

TEST(LibraryReceipts, ListsNewestFirstAndNeverRewritesAnUnreadableLog) {
    const ApplicationRemovalReceipt a = receipt("/Applications/A.app"), b = receipt("/Applications/B.app");
    struct Case {
        const char* name;
        std::optional<QByteArray> file;
        QList<ApplicationRemovalReceipt> shown;
        bool unreadable;
    };
    const Case cases[] = {
        {"no log yet", std::nullopt, {}, false},
        {"two receipts", ApplicationRemovalLog::encode({a, b}), {b, a}, false},
        {"damaged", QByteArray(R"([{"id":"x"}])"), {}, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LibraryHarness h;
        const QString path = h.services.removalLog().fileURL().toLocalFile();
        if (test.file)
            fixture::writeFile(path, *test.file);
        ApplicationLibraryModel& model = h.start();
        model.loadReceipts();
        EXPECT_EQ(model.receipts(), test.shown);
        EXPECT_EQ(model.receiptError(), test.unreadable ? std::optional(unreadable) : std::nullopt);
        EXPECT_EQ(model.message(), model.receiptError());

        model.clearReceipts();
        EXPECT_TRUE(model.receipts().isEmpty());
        EXPECT_EQ(contents(path), test.unreadable ? *test.file : QByteArray("[]"));
    }
}

TEST(LibraryReceipts, ReceiptAndGuidanceRevealsOnlyWhatExists) {
    LibraryHarness h;
    const QString present = h.folder.path() + "/Present.app", missing = h.folder.path() + "/Missing.app";
    QDir().mkpath(present);
    const QString none = QStringLiteral("没有记录可定位的位置，请在访达中复查。");
    struct Case {
        const char* name;
        ApplicationRemovalReceipt receipt;
        bool inTrash;
        std::optional<QString> message;
    };
    const Case cases[] = {
        {"no trash path", receipt(present), true, none},
        {"relative location", receipt(QStringLiteral("Applications/A.app")), false, none},
        {"trash item gone", receipt(present, missing), true,
         QStringLiteral("记录中的废纸篓项目已不存在或不可访问，可能已放回或清空；请在访达中复查。")},
        {"original gone", receipt(missing, present), false,
         QStringLiteral("原位置已不存在或不可访问；可查看记录中的废纸篓位置。")},
        {"trash item present", receipt(missing, present), true, std::nullopt},
    };
    ApplicationLibraryModel& model = h.start();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        h.revealer.revealed.clear();
        model.revealReceipt(test.receipt, test.inTrash);
        EXPECT_EQ(model.receiptActionMessage(), test.message);
        EXPECT_EQ(h.revealer.revealed, test.message ? QList<QUrl>() : QList{QUrl::fromLocalFile(present)});
    }
    h.revealer.revealed.clear();
    for (const char* related :
         {"https://example.invalid/uninstall", "file://host.invalid/x.app", "file:///x/Un.app"})
        model.revealRelated({ApplicationManagementGuidance::Kind::vendorManaged, {}, {}, QUrl(related)});
    EXPECT_EQ(h.revealer.revealed, QList{QUrl(QStringLiteral("file:///x/Un.app"))});
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
    ASSERT_TRUE(spinUntil([&] { return manager.shown.size() == 2; }));
    EXPECT_EQ(manager.shown[0], QStringList{folder.toString(QUrl::FullyEncoded)});
    EXPECT_EQ(manager.shown[1], QStringList{log.toString(QUrl::FullyEncoded)});

    // Without a file manager on the bus the folder is opened instead.
    FreedesktopFileRevealer absent(&opener, bus.connect(QStringLiteral("other")),
                                   QStringLiteral("org.example.Absent"));
    absent.reveal(log);
    ASSERT_TRUE(spinUntil([&] { return !opener.opened.isEmpty(); }));
    EXPECT_EQ(opener.opened, QList{folder});
}

TEST(LibraryReceipts, UnreadableLogStopsARemovalBeforeAnythingMoves) {
    fixture::Root root;
    const QString folder = root.sub(QStringLiteral("Applications"));
    const QString bundle =
        fixture::makeBundle(folder, "Real.app", fixture::info("example.real", "Real", "Real"));
    fixture::writeFile(bundle + "/Contents/MacOS/Real", "#!/bin/sh\n");
    const ApplicationRemovalLog log(QUrl::fromLocalFile(root.path + "/removals.json"));
    const QByteArray damaged = "not a receipt list";
    fixture::writeFile(log.fileURL().toLocalFile(), damaged);
    int trashed = 0;
    ApplicationRemovalService::Operations operations;
    operations.signature = [](const QUrl&, const CancellationToken&) {
        return QByteArray("digest");
    };
    operations.running = [](const QUrl&) {
    };
    operations.components = [](const InstalledApplication&, const CancellationToken&) {
    };
    operations.trash = [&](const QUrl& item) {
        ++trashed;
        return item;
    };
    operations.now = [] {
        return QDateTime::currentDateTimeUtc();
    };
    const ApplicationRemovalService service({fixture::url(folder)}, log, operations);

    LibraryHarness h;
    h.services.scan = [&](const CancellationToken& token) {
        return ApplicationInventory({fixture::url(folder)}).scan(token);
    };
    h.services.prepare = [&](const InstalledApplication& application, const auto& phase,
                             const CancellationToken& token) {
        return service.prepare(application, phase, token);
    };
    h.services.execute = [&](const ApplicationRemovalPlan& plan, const auto& phase,
                             const CancellationToken& token) {
        return service.execute(plan, phase, token);
    };
    h.services.removalLog = [&] {
        return log;
    };
    ApplicationLibraryModel& model = h.start();
    model.scan();
    ASSERT_TRUE(spinUntil([&] { return !model.scanning() && !model.sizing(); }));
    model.loadReceipts();
    EXPECT_EQ(model.receiptError(), unreadable);
    ASSERT_EQ(model.applications().size(), 1);
    h.check(model.applications().first());
    ASSERT_TRUE(model.removalPlan()) << model.message().value_or(QString()).toStdString();

    model.remove(*model.removalPlan());
    ASSERT_TRUE(spinUntil([&] { return !model.removing(); }));
    EXPECT_EQ(model.message(), QStringLiteral("Real：未能读取数据，因为它的格式不正确。"));
    EXPECT_EQ(trashed, 0);
    EXPECT_EQ(contents(log.fileURL().toLocalFile()), damaged);
    EXPECT_EQ(model.receiptError(), unreadable);
}
