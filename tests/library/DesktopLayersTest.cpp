#include "LibraryHarness.h"
#include "applications/BundleFixture.h"
#include "core/applications/RunningBundles.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "platform/desktop/ApplicationLauncher.h"

#include <QFile>
#include <csignal>
#include <gtest/gtest.h>

using namespace lunorvale;

TEST(RunningBundles, GroupsProcessesByOutermostBundleAndOnlyEverSendsTerminate) {
    InMemoryProcessPlatform platform(1000, 99);
    using P = InMemoryProcessPlatform;
    platform.put(P::process(10, 1, "A", "/Apps/A.app/Contents/MacOS/A"));
    platform.put(
        P::process(11, 1, "Helper", "/Apps/A.app/Contents/Frameworks/H.app/Contents/MacOS/H (deleted)"));
    platform.put(
        P::process(12, 1, "B", {}, "/Apps/My B.app/Contents/MacOS/B --flag")); // link closed to its user
    platform.put(P::process(13, 1, "sleep", "/usr/bin/sleep", "/Apps/C.app/Contents/MacOS/C"));
    platform.put(P::process(14, 1, "other", "/Apps/D.app/Contents/MacOS/D", {}, 1001));
    platform.put(P::process(99, 1, "self", "/Apps/E.app/Contents/MacOS/E"));
    RunningBundles bundles(platform);
    // No quit request reaches B: the user is told to quit it.
    const QList<RunningBundle> expected = {{"/Apps/A.app", {{10, 1}, {11, 1}}, std::nullopt},
                                           {"/Apps/My B.app", {{12, 1}}, NamedProcess{12, "B"}}};
    EXPECT_EQ(bundles.list(), expected);
    // A process that runs a new program is placed afresh.
    platform.change(
        10, [](P::Process& p) { p.path = "/Apps/Z.app/Contents/MacOS/Z", p.record.image_arg_start = 7; });
    EXPECT_EQ(bundles.list().first(), (RunningBundle{"/Apps/Z.app", {{10, 1}}, std::nullopt}));

    // Both asked; one ended meanwhile; its pid reused meanwhile (each still counts as quit); refused.
    const std::pair<std::function<void()>, bool> cases[] = {
        {[] {}, true},
        {[&] { platform.remove(11); }, true},
        {[&] { platform.put(P::process(11, 2, "new")); }, true},
        {[&] { platform.setSignalResult(EPERM); }, false},
    };
    for (const auto& [before, accepted] : cases) {
        before();
        EXPECT_EQ(bundles.requestQuit(expected[0]), accepted);
    }
    for (const InMemoryProcessPlatform::SentSignal& sent : platform.sentSignals())
        EXPECT_EQ(sent.signal, SIGTERM);
    EXPECT_EQ(platform.sentSignals().size(), 2 + 1 + 1 + 1);

    // One process of it that can be asked, and the bundle can be.
    platform.put(P::process(15, 1, "B", "/Apps/My B.app/Contents/MacOS/B"));
    EXPECT_EQ(bundles.list()[1], (RunningBundle{"/Apps/My B.app", {{12, 1}, {15, 1}}, std::nullopt}));
    // Only that one is asked: the other's refusal would blame the application for a request never sent.
    platform.setSignalResult(0);
    EXPECT_TRUE(bundles.requestQuit(bundles.list()[1]));
    EXPECT_EQ(platform.sentSignals().back().identity.pid, 15);
    EXPECT_EQ(platform.sentSignals().size(), 2 + 1 + 1 + 1 + 1);
}

TEST(BundleLauncher, StartsOnlyTheBundlesOwnProgram) {
    fixture::Root root;
    const QString bundle = root.sub(QStringLiteral("Tool.app/Contents/MacOS")).chopped(15);
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/true"), bundle + "/Contents/MacOS/Tool"));
    BundleLauncher launcher;
    const QUrl url = QUrl::fromLocalFile(bundle);
    EXPECT_TRUE(launcher.open(url, QStringLiteral("Tool")));
    for (const char* name : {"Missing", "", "..", "../MacOS/Tool"})
        EXPECT_FALSE(launcher.open(url, QString::fromUtf8(name))) << name;
}

// A bundle made for another system holds a program Linux cannot run: opening it fails, and the page says so
// (a shell would have run it as a script and shown nothing).
TEST(BundleLauncher, AProgramOfAnotherSystemFailsToOpenAndIsSaidSo) {
    fixture::Root root;
    const QString bundle = root.sub(QStringLiteral("Beta.app/Contents/MacOS")).chopped(15);
    const QString program = bundle + QStringLiteral("/Contents/MacOS/Beta");
    fixture::writeFile(program, QByteArray::fromHex("cffaedfe0c000001000000000200000000000000"));
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    BundleLauncher launcher;
    test::LibraryHarness h;
    h.services.launcher = &launcher;
    const InstalledApplication beta(QUrl::fromLocalFile(bundle), "Beta", "example.beta", "1.0", "Beta",
                                    std::nullopt, std::nullopt, std::nullopt);
    ApplicationLibraryModel& model = h.scanned({beta});
    model.open(beta);
    EXPECT_EQ(model.message(), QStringLiteral("无法打开此应用，请在文件管理器中检查。"));
}
