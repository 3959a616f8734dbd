// The models given nothing but a process table: every service they were not given reaches nothing.
// HOME and the XDG folders are a tree of the test's own, holding what the desktop's services would
// find there (an application bundle, removal receipts, settings, a history); a service on this machine
// stands where the AI service would be. Every action of both models is asked for; afterwards nothing
// was read, written, listed, removed or sent.
#include "app/library/ApplicationLibraryModel.h"
#include "app/model/AppModel.h"
#include "applications/BundleFixture.h"
#include "core/ai/AIServiceError.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "platform/files/AtomicFile.h"
#include "support/EventLoop.h"
#include "support/Files.h"
#include "support/LoopbackHttpServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(NoServices, ModelsGivenNothingReachNothing) {
    QTemporaryDir home;
    const ScopedVariable homeVariable("HOME", home.path());
    const ScopedVariable config("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")));
    const ScopedVariable data("XDG_DATA_HOME", home.filePath(QStringLiteral(".local/share")));
    const ScopedVariable cache("XDG_CACHE_HOME", home.filePath(QStringLiteral(".cache")));
    const ScopedVariable state("XDG_STATE_HOME", home.filePath(QStringLiteral(".local/state")));
    // Where the desktop's own services look: the applications of the inventory, the standard receipt
    // log, the settings and the history.
    const QString bundle = fixture::makeBundle(home.filePath(QStringLiteral("Applications")),
                                               QStringLiteral("Plain.app"), fixture::info("example.plain"));
    const ApplicationRemovalReceipt receipt{QUuid::createUuid(), QDateTime::currentDateTimeUtc(),
                                            home.filePath(QStringLiteral("Applications/Gone.app")),
                                            std::nullopt, QStringLiteral("待复查")};
    ApplicationRemovalLog::standard().save({receipt});
    AtomicFile::write(home.filePath(QStringLiteral(".config/Lunorvale/defaults.json")),
                      R"({"monitoringEnabled": false})");
    AtomicFile::write(home.filePath(QStringLiteral(".local/share/Lunorvale/history.json")), "[]");
    LoopbackHttpServer server;
    server.setDefaultReply(
        LoopbackHttpServer::chatReply(QStringLiteral("{\"decision\":\"keep_observing\"}")));
    const AIConfiguration local{server.baseURL(), QStringLiteral("m")}; // needs no key
    const std::string before = folderTree(home.path());

    InMemoryProcessPlatform platform{1000, 99};
    platform.put(InMemoryProcessPlatform::process(7, 5007, "encoder", QStringLiteral("/usr/bin/encoder")));
    AppModelServices services;
    services.processPlatform = &platform;
    AppModel model(false, services);
    ApplicationLibraryModel library(false, {});
    model.setApplicationLibrary(&library);
    const QString unreachable = AIServiceError(AIServiceError::Kind::networkUnavailable).errorDescription();

    // The stored settings are not read; samples are taken, of the table given, between events.
    EXPECT_TRUE(model.isMonitoring());
    for (int i = 0; i < 2; ++i) {
        platform.advance(30);
        platform.change(7, [](InMemoryProcessPlatform::Process& p) { p.record.cpu_ns += 30'000'000'000ull; });
        model.sampleNow();
        ASSERT_TRUE(waitUntil([&] { return !model.isSampling(); }));
    }
    ASSERT_EQ(model.processes().size(), 1);
    const ProcessSample encoder = model.processes().first();
    model.setSelectedID(encoder.identity);
    model.analyze(encoder, std::nullopt, local);
    EXPECT_TRUE(model.aiBusy());
    ASSERT_TRUE(waitUntil([&] { return !model.aiBusy(); }));
    EXPECT_EQ(model.aiError(), unreachable);
    model.inspectProcess(encoder);
    model.enableNotifications();
    model.setLoginEnabled(true);
    model.refreshSystemStatus();
    EXPECT_ANY_THROW(model.saveAIConfiguration(local, QStringLiteral("sk-none"), true)); // no key store
    model.setAppearance(QStringLiteral("dark"));
    model.completeOnboarding();
    model.ignore(encoder);
    model.clearHistory();
    model.softwareUpdater()->start();
    model.softwareUpdater()->checkForUpdates();
    EXPECT_TRUE(model.history().isEmpty());
    EXPECT_EQ(model.loginStatus(), title(LoginItemStatus::unknown));

    // An empty scan, no receipts, every removal refused, no advice.
    library.scan();
    ASSERT_TRUE(waitUntil([&] { return library.scannedAt() && !library.scanning() && !library.sizing(); }));
    EXPECT_TRUE(library.applications().isEmpty());
    library.loadReceipts();
    EXPECT_TRUE(library.receipts().isEmpty());
    EXPECT_EQ(library.receiptError(), std::nullopt);
    library.removeUnfinishedTrashRecords();
    library.clearReceipts();
    library.revealRemovalLog();
    const InstalledApplication plain(QUrl::fromLocalFile(bundle), QStringLiteral("Plain"),
                                     QStringLiteral("example.plain"), QStringLiteral("1.0"),
                                     QStringLiteral("Plain"), std::nullopt, std::nullopt, std::nullopt);
    library.setSelectedID(plain.id());
    library.prepareRemoval(plain);
    ASSERT_TRUE(waitUntil([&] { return !library.checkingRemoval(); }));
    EXPECT_EQ(library.removalPlan(), std::nullopt);
    EXPECT_EQ(library.message(), QStringLiteral("\u2068Plain\u2069：未能完成该操作。"));
    library.open(plain);
    library.refreshRunning();
    library.analyze(QStringLiteral("[]"), local, QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(waitUntil([&] { return !library.aiBusy(); }));
    EXPECT_EQ(library.aiError(), unreachable);
    EXPECT_TRUE(deliverDue());

    EXPECT_EQ(folderTree(home.path()), before);
    EXPECT_TRUE(server.requests().isEmpty());
}
