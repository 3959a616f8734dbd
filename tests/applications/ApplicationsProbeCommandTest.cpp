#include "BundleFixture.h"
#include "support/EventLoop.h"

#include <QProcess>

namespace {

// Runs `lunorvale --applications-probe` with HOME at `home`.
int runProbe(const QString& home, QByteArray* output) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(LUNORVALE_BINARY), {"--applications-probe"});
    if (!process.waitForFinished(test::waitBoundMs) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    *output = process.readAllStandardOutput();
    return process.exitCode();
}

} // namespace

TEST(ApplicationsProbeCommand, PrintsTheCountSummaryWithSortedKeys) {
    fixture::Root root;
    const QString home = root.sub("home");
    fixture::makeBundle(home + "/Applications", "Editor.app", fixture::info("org.example.editor"));
    fixture::makeBundle(home + "/Applications", "Viewer.app", fixture::info("org.example.viewer"),
                        fixture::Format::binary);
    QVariantMap plugin = fixture::info("org.example.plugin");
    plugin.insert("CFBundlePackageType", "BNDL");
    fixture::makeBundle(home + "/Applications", "Plugin.app", plugin);

    QByteArray output;
    EXPECT_EQ(runProbe(home, &output), 0);
    if (QFileInfo::exists("/Applications") || QFileInfo::exists("/System/Applications"))
        GTEST_SKIP() << "this machine has application folders outside the test's home";
    // Pretty-printed with sorted keys and one line feed at the end; no path, no name.
    EXPECT_EQ(output, QByteArray(R"({
    "applicationCount": 3,
    "issueCount": 2,
    "issuesByKind": {
        "目录不存在或不可访问": 2
    },
    "restrictedCount": 1,
    "rootCount": 3,
    "status": "ok"
}
)"));
}
