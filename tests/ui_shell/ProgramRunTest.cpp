// The built program, started as the desktop starts it: screenshot runs, one copy per session, ending
// on a signal. Each run gets its own home folders; the session bus is the test session's.
#include "support/ProgramRun.h"
#include "app/shell/PreviewScenarios.h"
#include "platform/desktop/SingleInstance.h"
#include "ui_kit/WindowWaits.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace lunorvale;
using lunorvale::test::RunningProgram;

namespace {

bool nameOwned() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(SingleInstance::serviceName);
}

// The size a page of the main window renders at; the other scenes take their content's size.
std::optional<QSize> expectedSize(const std::optional<QString>& page, bool compact) {
    if (PreviewScenarios::sceneKind(page) != PreviewSceneKind::mainWindow)
        return std::nullopt;
    return compact ? QSize(1040, 720) : QSize(1180, 820);
}

struct Scenario {
    std::optional<QString> page;
    bool compact = false;
};

// The case's own name, so that a failure reads as the case it is: run with --gtest_filter='*/NAME'.
std::string caseName(const Scenario& scenario) {
    QString name = scenario.page.value_or(QStringLiteral("none"));
    if (scenario.compact)
        name += QStringLiteral("_compact");
    return name.replace(QLatin1Char('-'), QLatin1Char('_')).toStdString();
}

// What GoogleTest prints for the parameter, in place of the bytes of the value.
void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << caseName(scenario);
}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all;
#if defined(__SANITIZE_ADDRESS__)
#define SHELL_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SHELL_SANITIZED
#endif
#endif
#ifdef SHELL_SANITIZED
    // Under the sanitizers every run is slow: one page of each kind of scene.
    QSet<PreviewSceneKind> seen;
    for (const QString& page : PreviewScenarios::pages()) {
        if (!seen.contains(PreviewScenarios::sceneKind(page))) {
            seen.insert(PreviewScenarios::sceneKind(page));
            all.push_back({page});
        }
    }
#else
    all.push_back({std::nullopt});
    for (const QString& page : PreviewScenarios::pages())
        all.push_back({page});
    // The main window's own pages also in the smaller window.
    for (const char* page :
         {"overview", "empty", "paused", "error", "loading", "stopping", "advice-ready", "advice-pending",
          "help", "resources", "resources-pressure", "resources-unknown", "resources-empty",
          "resources-paused", "resources-applications", "processes", "history"})
        all.push_back({QString::fromLatin1(page), true});
#endif
    return all;
}

class PreviewScenario : public ::testing::TestWithParam<Scenario> {};

} // namespace

TEST_P(PreviewScenario, RendersInBothAppearances) {
    const Scenario& scenario = GetParam();
    QTemporaryDir output;
    QImage light;
    for (const QString appearance : {"light", "dark"}) {
        const QString path = output.filePath(appearance + QStringLiteral(".png"));
        QStringList arguments = {QStringLiteral("--render-preview"), path};
        if (scenario.page)
            arguments << *scenario.page << appearance;
        if (scenario.compact)
            arguments << QStringLiteral("compact");
        RunningProgram run(arguments);
        ASSERT_EQ(run.finish(), 0) << run.err().toStdString();
        EXPECT_EQ(run.out(), "PREVIEW_OK " + path.toUtf8() + "\n");
        EXPECT_EQ(run.err(), "");

        const QImage image(path);
        ASSERT_FALSE(image.isNull());
        const std::optional<QSize> size = expectedSize(scenario.page, scenario.compact);
        if (size) {
            EXPECT_EQ(image.size(), *size);
        } else { // a screen of its own, not the window behind it
            EXPECT_GT(image.width() * image.height(), 200 * 100);
            EXPECT_LT(image.width(), 1040);
        }
        // Opaque, and more than one flat colour.
        const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
        QSet<QRgb> colours;
        bool opaque = true;
        for (int y = 0; y < pixels.height(); y += 3) {
            const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            for (int x = 0; x < pixels.width(); x += 3) {
                colours.insert(line[x]);
                opaque = opaque && qAlpha(line[x]) == 255;
            }
        }
        EXPECT_TRUE(opaque);
        EXPECT_GT(colours.size(), 8);
        // Light and dark differ (without a page both runs take the default appearance).
        if (light.isNull()) {
            light = pixels;
        } else if (scenario.page) {
            EXPECT_NE(pixels, light) << "light and dark look the same";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, PreviewScenario, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return caseName(info.param); });

TEST(PreviewRun, FailuresAndSideEffects) {
    // No folder for the file: the message, status 1, no success line.
    RunningProgram missing(
        {QStringLiteral("--render-preview"), QStringLiteral("/nonexistent-folder/x.png"), "menu"});
    EXPECT_EQ(missing.finish(), 1);
    EXPECT_EQ(missing.err(), "Preview write failed\n");
    EXPECT_EQ(missing.out(), "");

    // A page name the program does not know is no error: the main window takes it for its overview.
    QTemporaryDir output;
    QStringList pictures;
    for (const QStringList& page : {QStringList{QStringLiteral("setting")}, QStringList{}}) {
        pictures.append(output.filePath(QString::number(pictures.size()) + QStringLiteral(".png")));
        RunningProgram unknown(QStringList{QStringLiteral("--render-preview"), pictures.last()} + page);
        EXPECT_EQ(unknown.finish(), 0) << unknown.err().toStdString();
        EXPECT_EQ(unknown.out(), "PREVIEW_OK " + pictures.last().toUtf8() + "\n");
    }
    // Compared above the status bar, whose clock may have ticked between the two runs.
    const auto aboveTheStatusBar = [](const QString& path) {
        const QImage image(path);
        return image.copy(0, 0, image.width(), image.height() * 9 / 10);
    };
    EXPECT_EQ(aboveTheStatusBar(pictures[0]), aboveTheStatusBar(pictures[1]));

    // A screenshot run writes nothing but its file: no settings, history or login entry.
    RunningProgram run({QStringLiteral("--render-preview"), output.filePath(QStringLiteral("x.png")),
                        "settings-notifications"});
    EXPECT_EQ(run.finish(), 0);
    EXPECT_EQ(run.filesLeft(), QStringList());
}

TEST(SingleCopy, ASecondCopyShowsTheFirstAndEnds) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    ASSERT_FALSE(nameOwned());
    RunningProgram first({});
    ASSERT_TRUE(test::qtWaitFor([] { return nameOwned(); }));

    for (const QStringList& arguments : {QStringList{}, QStringList{QStringLiteral("--login-launch")}}) {
        RunningProgram second(arguments);
        EXPECT_EQ(second.finish(), 0);
        EXPECT_EQ(second.out(), "");
        EXPECT_EQ(second.err(), "");
    }
    // A screenshot is no copy of the program: it renders beside it.
    QTemporaryDir output;
    RunningProgram preview(
        {QStringLiteral("--render-preview"), output.filePath(QStringLiteral("x.png")), "menu"});
    EXPECT_EQ(preview.finish(), 0);
    EXPECT_TRUE(preview.out().startsWith("PREVIEW_OK "));

    // The session ending: an ordinary end, no question asked.
    EXPECT_TRUE(first.running());
    first.signal(SIGTERM);
    EXPECT_EQ(first.finish(), 0);
    EXPECT_EQ(first.out(), "");
    EXPECT_FALSE(nameOwned());
}

namespace {

// The name's owner, counting the Activate calls it gets; on its own connection and thread so the
// test can wait on the program meanwhile.
class NameOwner final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    std::atomic<int> activations = 0;

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap&) { ++activations; }
};

} // namespace

TEST(SingleCopy, ACopyWithoutTheNameCallsActivateAndEnds) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    QThread thread;
    thread.start();
    NameOwner owner;
    owner.moveToThread(&thread);
    // A failed assertion below ends the thread too: a running QThread destroyed aborts the test, and
    // its message with it.
    const auto stop = qScopeGuard([&] {
        thread.quit();
        thread.wait();
    });
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("owner"));
    ASSERT_TRUE(
        bus.registerObject(SingleInstance::objectPath, &owner, QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(bus.registerService(SingleInstance::serviceName));

    RunningProgram copy({});
    EXPECT_EQ(copy.finish(), 0);
    EXPECT_EQ(copy.out(), "");
    EXPECT_EQ(copy.err(), "");
    EXPECT_EQ(owner.activations, 1);
    EXPECT_EQ(copy.filesLeft(), QStringList()); // nothing was built

    bus.unregisterService(SingleInstance::serviceName);
    bus.unregisterObject(SingleInstance::objectPath);
    QDBusConnection::disconnectFromBus(QStringLiteral("owner"));

    // Without a session bus the program runs alone.
    RunningProgram alone(
        {}, {{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus")}});
    // Only a copy that runs as the first one samples and keeps a history.
    EXPECT_TRUE(test::qtWaitFor([&] {
        return QFile::exists(alone.homeFile(QStringLiteral(".local/share/Lunorvale/history.json")));
    }));
    EXPECT_TRUE(alone.running());
    alone.signal(SIGINT);
    EXPECT_EQ(alone.finish(), 0);
}

#include "ProgramRunTest.moc"
