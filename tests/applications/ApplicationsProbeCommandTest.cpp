#include "BundleFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

namespace {

QProcessEnvironment sessionUnder(const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("XDG_DATA_HOME", home + "/.local/share");
    environment.insert("XDG_CONFIG_HOME", home + "/.config");
    environment.insert("XDG_CACHE_HOME", home + "/.cache");
    return environment;
}

} // namespace

TEST(ApplicationsProbeCommand, PrintsTheCountSummaryWithSortedKeys) {
    fixture::Root root;
    const QString home = root.sub("home");
    const QString apps = root.sub("home/Applications");
    fixture::makeBundle(apps, "Editor.app", fixture::info("org.example.editor"));
    fixture::makeBundle(apps, "Viewer.app", fixture::info("org.example.viewer"), fixture::Format::binary);
    QVariantMap plugin = fixture::info("org.example.plugin");
    plugin.insert("CFBundlePackageType", "BNDL");
    fixture::makeBundle(apps, "Plugin.app", plugin);

    QProcess process;
    process.setProcessEnvironment(sessionUnder(home));
    process.start(QStringLiteral(LUNORVALE_BINARY), {"--applications-probe"});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QByteArray output = process.readAllStandardOutput();

    if (QFileInfo::exists("/Applications") || QFileInfo::exists("/System/Applications"))
        GTEST_SKIP() << "this machine has application folders outside the test's home";
    const QJsonObject expected{{"status", "ok"},
                               {"applicationCount", 3},
                               {"restrictedCount", 1},
                               {"issueCount", 2},
                               {"issuesByKind", QJsonObject{{QStringLiteral("目录不存在或不可访问"), 2}}},
                               {"rootCount", 3}};
    EXPECT_EQ(QJsonDocument::fromJson(output).object(), expected);
    // Pretty-printed with sorted keys, one line feed at the end, and no path of the home folder.
    const QStringList keys{"\"applicationCount\"", "\"issueCount\"", "\"issuesByKind\"",
                           "\"restrictedCount\"",  "\"rootCount\"",  "\"status\""};
    qsizetype last = -1;
    for (const QString& key : keys) {
        const qsizetype at = output.indexOf(key.toUtf8());
        EXPECT_GT(at, last) << key.toStdString();
        last = at;
    }
    EXPECT_TRUE(output.endsWith("}\n"));
    EXPECT_FALSE(output.contains(home.toUtf8()));
}

TEST(ApplicationsProbeCommand, AnUnwritableSummaryFailsTheCommand) {
    fixture::Root root;
    QProcess process;
    process.setProcessEnvironment(sessionUnder(root.sub("home")));
    process.setStandardOutputFile("/dev/full");
    process.start(QStringLiteral(LUNORVALE_BINARY), {"--applications-probe"});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
}
