#include "LibraryHarness.h"
#include "applications/BundleFixture.h"
#include "core/common/ThreadExecutors.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(LibraryScan, PublishesTheListOffTheInterfaceThreadThenSizesEachBundleInTurn) {
    fixture::Root root;
    const QString folder = root.sub(QStringLiteral("Applications"));
    for (const QString& name : {QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")}) {
        const QString bundle =
            fixture::makeBundle(folder, name + ".app", fixture::info("example." + name, name, name));
        fixture::writeFile(bundle + "/Contents/MacOS/" + name, QByteArray(name.size() * 100, 'x'));
    }
    std::atomic<int> onInterfaceThread = 0;
    LibraryHarness h;
    PoolExecutor work(2, QThread::LowPriority), looks(1); // threads as the program's
    h.services.work = &work;
    h.services.looks = &looks;
    h.services.scan = [&](const CancellationToken& token) {
        onInterfaceThread += QThread::currentThread() == qApp->thread();
        return ApplicationInventory({fixture::url(folder)}).scan(token);
    };
    h.services.bundleSize = [&](const InstalledApplication& application, const CancellationToken& token) {
        onInterfaceThread += QThread::currentThread() == qApp->thread();
        if (application.name() == u"Beta")
            throw std::system_error(EACCES, std::generic_category());
        return ApplicationInventory::bundleSize(application, token);
    };
    const auto running = h.services.runningApplications;
    h.services.runningApplications = [&, running](const CancellationToken& token) {
        onInterfaceThread += QThread::currentThread() == qApp->thread();
        return running(token);
    };
    ApplicationLibraryModel& model = h.start();
    model.setChecked({folder + "/Gamma.app", QStringLiteral("/gone.app")});
    model.setSelectedID(QStringLiteral("/gone.app"));
    QList<std::pair<bool, bool>> flags;
    QList<qsizetype> sizeCounts;
    const auto flagsChanged = [&] {
        flags.append({model.scanning(), model.sizing()});
    };
    QObject::connect(&model, &ApplicationLibraryModel::scanningChanged, flagsChanged);
    QObject::connect(&model, &ApplicationLibraryModel::sizingChanged, flagsChanged);
    QObject::connect(&model, &ApplicationLibraryModel::sizesChanged,
                     [&] { sizeCounts.append(model.sizes().size()); });

    model.scan();
    ASSERT_TRUE(waitUntil([&] { return !model.scanning() && !model.sizing(); }));
    EXPECT_EQ(flags,
              (QList<std::pair<bool, bool>>{{true, false}, {false, false}, {false, true}, {false, false}}));
    EXPECT_EQ(sizeCounts, (QList<qsizetype>{1, 2}));
    EXPECT_EQ(model.sizeErrors(), QSet<QString>{folder + "/Beta.app"});
    EXPECT_EQ(model.sizes().value(folder + "/Gamma.app"),
              ApplicationInventory::bundleSize(model.applications()[2]));
    EXPECT_EQ(onInterfaceThread, 0);
    EXPECT_EQ(model.selectedID(), folder + "/Alpha.app");
    EXPECT_EQ(model.checked(), QSet<QString>{folder + "/Gamma.app"});
}

// A scan that was replaced or stopped while a bundle was being sized writes nothing afterwards; a failed scan
// keeps the list it would have replaced.
TEST(LibraryScan, ReplacedStoppedOrFailedScanWritesNothingOfItsOwn) {
    enum class Then { rescan, stop, failingRescan };
    for (const Then then : {Then::rescan, Then::stop, Then::failingRescan}) {
        LibraryHarness h;
        int sizeCalls = 0, scans = 0;
        h.services.scan = [&](const CancellationToken&) {
            if (++scans == 2 && then == Then::failingRescan)
                throw std::runtime_error("unreadable folder");
            return ApplicationScan{h.listed, {}, {}};
        };
        h.services.bundleSize = [&](const InstalledApplication& application, const CancellationToken&) {
            if (++sizeCalls != 2)
                return int64_t(application.name().size());
            // While the second bundle is sized, the scan is replaced or stopped, and whatever follows
            // runs to its end; only then does the stale answer come.
            if (then == Then::stop)
                h.model->stopScanning();
            else
                h.model->scan();
            EXPECT_TRUE(h.executor.settle());
            EXPECT_FALSE(h.model->scanning() || h.model->sizing());
            return int64_t(999);
        };
        h.listed = {listedApplication("A"), listedApplication("Bb"), listedApplication("Ccc")};
        ApplicationLibraryModel& model = h.start();
        QList<qint64> seen;
        QObject::connect(&model, &ApplicationLibraryModel::sizesChanged,
                         [&] { seen += model.sizes().values(); });
        model.scan();
        ASSERT_TRUE(h.executor.settle());

        EXPECT_EQ(sizeCalls, then == Then::rescan ? 5 : 2);
        EXPECT_FALSE(seen.contains(999));
        EXPECT_FALSE(model.scanning() || model.sizing());
        EXPECT_EQ(model.sizes().size(), then == Then::rescan ? 3 : 1);
        EXPECT_EQ(model.applications().size(), 3);
        EXPECT_EQ(model.message().has_value(), then == Then::failingRescan);
    }
}

// A look at the running applications asked for while another is on its way is answered by a later look,
// never by the one that began before it; a look still on its way when the model goes is cancelled.
TEST(LibraryScan, RunningStateAskedForDuringALookComesFromALaterOne) {
    LibraryHarness h;
    const InstalledApplication a = listedApplication("A");
    int looks = 0;
    std::optional<QSet<QString>> answered;
    std::optional<bool> cancelledWhenRun;
    h.services.runningApplications = [&](const CancellationToken& token) {
        QList<ApplicationRunningTarget> seen = h.running;
        // While the second look runs, the application starts and its running state is asked for.
        if (++looks == 2) {
            h.running = {runningTarget(a)};
            h.model->refreshRunning([&] { answered = h.model->runningIDs(); });
        }
        if (looks == 4)
            cancelledWhenRun = token.isCancelled();
        return seen;
    };
    ApplicationLibraryModel& model = h.scanned({a});
    ASSERT_EQ(looks, 1);
    model.refreshRunning();
    ASSERT_TRUE(h.executor.settle());
    EXPECT_EQ(answered, QSet<QString>{a.id()});
    EXPECT_EQ(looks, 3);

    model.refreshRunning([] { ADD_FAILURE() << "answered after the model went"; });
    ASSERT_EQ(h.executor.pending(), 1);
    h.model.reset();
    ASSERT_TRUE(h.executor.settle());
    EXPECT_EQ(looks, 4);
    EXPECT_EQ(cancelledWhenRun, true);
}
