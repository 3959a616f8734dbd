#include "LibraryHarness.h"
#include "applications/BundleFixture.h"
#include "core/applications/ApplicationInventory.h"

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
    const auto note = [&] {
        onInterfaceThread += QThread::currentThread() == qApp->thread();
    };
    LibraryHarness h;
    h.services.scan = [&](const CancellationToken& token) {
        note();
        return ApplicationInventory({fixture::url(folder)}).scan(token);
    };
    h.services.bundleSize = [&](const InstalledApplication& application, const CancellationToken& token) {
        note();
        return ApplicationInventory::bundleSize(application, token);
    };
    ApplicationLibraryModel& model = h.start();
    model.setChecked({folder + "/Alpha.app", QStringLiteral("/gone.app")});
    model.setSelectedID(QStringLiteral("/gone.app"));
    QList<std::pair<bool, bool>> flags;
    QList<qsizetype> sizeCounts;
    QObject::connect(&model, &ApplicationLibraryModel::scanningChanged, [&] {
        flags.append({model.scanning(), model.sizing()});
    });
    QObject::connect(&model, &ApplicationLibraryModel::sizingChanged, [&] {
        flags.append({model.scanning(), model.sizing()});
    });
    QObject::connect(&model, &ApplicationLibraryModel::sizesChanged,
                     [&] { sizeCounts.append(model.sizes().size()); });

    model.scan();
    EXPECT_TRUE(model.scanning());
    ASSERT_TRUE(spinUntil([&] { return !model.scanning() && !model.sizing(); }));

    const QList<std::pair<bool, bool>> expectedFlags = {
        {true, false}, {false, false}, {false, true}, {false, false}};
    EXPECT_EQ(flags, expectedFlags);
    EXPECT_EQ(sizeCounts, (QList<qsizetype>{1, 2, 3}));
    EXPECT_EQ(onInterfaceThread, 0);
    ASSERT_EQ(model.applications().size(), 3);
    for (const InstalledApplication& application : model.applications())
        EXPECT_EQ(model.sizes().value(application.id()), ApplicationInventory::bundleSize(application));
    EXPECT_EQ(model.selectedID(), folder + "/Alpha.app");
    EXPECT_EQ(model.checked(), QSet<QString>{folder + "/Alpha.app"});
    EXPECT_TRUE(model.scannedAt().has_value());
}

// A scan replaced or stopped while a bundle is being sized writes nothing afterwards; a stop keeps the
// sizes already shown.
TEST(LibraryScan, ScanThatWasReplacedOrStoppedWritesNothingMore) {
    enum class Then { rescan, stop };
    for (const Then then : {Then::rescan, Then::stop}) {
        LibraryHarness h;
        Gate gate;
        std::atomic<int> sizeCalls = 0;
        h.services.bundleSize = [&](const InstalledApplication& application, const CancellationToken&) {
            if (++sizeCalls == 2) {
                gate.wait();
                return int64_t(999); // the stale answer
            }
            return int64_t(application.name().size());
        };
        h.listed = {listedApplication("A"), listedApplication("Bb"), listedApplication("Ccc")};
        ApplicationLibraryModel& model = h.start();
        QList<qint64> seen;
        QObject::connect(&model, &ApplicationLibraryModel::sizesChanged, [&] {
            for (const qint64 size : model.sizes())
                seen.append(size);
        });
        model.scan();
        ASSERT_TRUE(spinUntil([&] { return gate.waiting(); }));
        if (then == Then::rescan) {
            model.scan();
            ASSERT_TRUE(spinUntil([&] { return !model.scanning() && !model.sizing(); }));
        } else {
            model.stopScanning();
            EXPECT_FALSE(model.scanning() || model.sizing());
        }
        gate.open();
        spinUntil([] { return false; }, std::chrono::milliseconds(100));

        EXPECT_FALSE(seen.contains(999));
        EXPECT_FALSE(model.scanning() || model.sizing());
        const QHash<QString, qint64> stopped{{listedApplication("A").id(), 1}};
        EXPECT_EQ(model.sizes().size(), then == Then::rescan ? 3 : 1);
        EXPECT_TRUE(then == Then::rescan || model.sizes() == stopped);
    }
}

TEST(LibraryScan, RescanKeepsWhatStillHoldsAndReportsFailures) {
    const InstalledApplication a = listedApplication("A"), b = listedApplication("B"),
                               c = listedApplication("C");
    struct Case {
        const char* name;
        std::optional<QList<InstalledApplication>> second; // absent: the scan fails
        QString unsizable;
        std::optional<QString> selected;
        QSet<QString> checked;
        std::optional<QString> message;
        QList<InstalledApplication> applications;
    };
    const Case cases[] = {
        {"selection and ticks still listed", QList{b, c}, {}, b.id(), {c.id()}, {}, {b, c}},
        {"selection gone moves to the first", QList{c}, {}, c.id(), {c.id()}, {}, {c}},
        {"nothing found", QList<InstalledApplication>{}, {}, {}, {}, {}, {}},
        {"failed scan keeps the list",
         std::nullopt,
         {},
         b.id(),
         {a.id(), c.id()},
         QStringLiteral("应用扫描失败，请重试。"),
         {a, b, c}},
        {"an unsizable bundle", QList{a, b, c}, b.id(), b.id(), {a.id(), c.id()}, {}, {a, b, c}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LibraryHarness h;
        ApplicationLibraryModel& library = h.scanned({a, b, c});
        library.setSelectedID(b.id());
        library.setChecked({a.id(), c.id()});
        h.scanFails = !test.second;
        h.listed = test.second.value_or(QList<InstalledApplication>());
        h.unsizable = test.unsizable;
        library.scan();
        ASSERT_TRUE(spinUntil([&] { return !library.scanning() && !library.sizing(); }));

        EXPECT_EQ(library.applications(), test.applications);
        EXPECT_EQ(library.selectedID(), test.selected);
        EXPECT_EQ(library.checked(), test.checked);
        EXPECT_EQ(library.message(), test.message);
        EXPECT_EQ(library.sizeErrors(),
                  test.unsizable.isEmpty() ? QSet<QString>() : QSet<QString>{test.unsizable});
        EXPECT_FALSE(library.scanning() || library.sizing());
        if (test.second) {
            EXPECT_EQ(library.sizes().size(), test.second->size() - !test.unsizable.isEmpty());
        }
    }
}
