// Every screenshot scenario, run in this process over the services the program gives a screenshot run,
// with every action of its models and of its settings page asked for on top, as a later action that
// forgot about screenshots would: nothing changes under HOME, every signal stays in the run's own
// process table, and no name is taken on the session bus.
#include "app/library/ApplicationLibraryModel.h"
#include "app/model/AppModel.h"
#include "app/preview/PreviewServices.h"
#include "app/shell/AppDelegate.h"
#include "support/EventLoop.h"
#include "support/Files.h"
#include "ui/settings/SettingsView.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QMainWindow>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lunorvale;
using lunorvale::test::deliverDue;
using lunorvale::test::waitUntil;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

// HOME and the XDG folders in a folder of the test's own while it lives, so that what other tests
// do meanwhile is not counted.
class PrivateHome final {
public:
    PrivateHome() {
        for (const char* name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            m_saved.append({name, qgetenv(name)});
        qputenv("HOME", QFile::encodeName(m_folder.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_folder.filePath(QStringLiteral(".config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_folder.filePath(QStringLiteral(".local/share"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_folder.filePath(QStringLiteral(".cache"))));
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_folder.filePath(QStringLiteral(".local/state"))));
        QDir().mkpath(m_folder.filePath(QStringLiteral(".config/autostart")));
        QDir().mkpath(m_folder.filePath(QStringLiteral(".local/share")));
    }
    ~PrivateHome() {
        for (const auto& [name, value] : m_saved)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }

    std::string tree() const { return lunorvale::test::folderTree(m_folder.path()); }

private:
    QTemporaryDir m_folder;
    QList<std::pair<const char*, QByteArray>> m_saved;
};

// Every well-known name that changed hands on the bus while it watched.
class NameWatcher final : public QObject {
    Q_OBJECT

public:
    QStringList owners; // "name=owner"

public slots:
    void changed(const QString& name, const QString&, const QString& newOwner) {
        if (!name.startsWith(u':') && !newOwner.isEmpty())
            owners.append(name + u'=' + newOwner);
    }
};

// Whatever a user, or a later action that forgot it runs in a screenshot, could ask of one scenario;
// how many of the shown processes could be stopped.
int askEverything(AppDelegate& delegate, PreviewServices& services) {
    AppModel& model = *delegate.model();
    // The shown processes exist in the run's own table, so that stopping them gets as far as a signal.
    for (const ProcessSample& sample : model.processes())
        services.processes().put(InMemoryProcessPlatform::process(
            sample.identity.pid, sample.identity.startTime, sample.name.toUtf8(), sample.executable,
            sample.command, sample.uid));
    const QList<ProcessSample> shown = model.processes();
    int stoppable = 0;
    for (const ProcessSample& sample : shown) {
        stoppable += model.canStop(sample) ? 1 : 0;
        model.setSelectedID(sample.identity);
        model.analyze(sample, std::nullopt, std::nullopt);
        model.inspectProcess(sample);
        model.ignore(sample);
        model.unignore(sample);
        model.openNotification(sample.identity.key());
        model.stop(sample, false);
        model.stop(sample, true);
    }
    model.toggleMonitoring();
    model.toggleMonitoring();
    model.sampleNow();
    model.applySettings();
    model.enableNotifications();
    model.setLoginEnabled(true);
    model.setLoginEnabled(false);
    model.refreshSystemStatus();
    model.saveAIConfiguration({QStringLiteral("https://api.example.invalid/v1"), QStringLiteral("m")},
                              QStringLiteral("sk-preview"), true);
    model.disableAutomaticAdvice();
    model.automaticAdvice().retryFailedRequests(true);
    model.setAppearance(QStringLiteral("dark"));
    model.completeOnboarding();
    model.clearHistory();
    model.softwareUpdater()->start();
    model.softwareUpdater()->checkForUpdates();

    ApplicationLibraryModel& library = *model.applicationLibrary();
    library.scan();
    library.refreshRunning();
    library.loadReceipts();
    library.clearReceipts();
    library.revealRemovalLog();
    for (const InstalledApplication& application : library.applications()) {
        library.open(application);
        library.revealRelated(library.guidance(application));
        library.requestQuitAndRecheck(application);
    }
    library.analyze(QStringLiteral("[]"), model.aiConfiguration(), QDateTime::currentDateTimeUtc());

    if (QMainWindow* window = delegate.window()) {
        for (SettingsView* settings : window->findChildren<SettingsView*>()) {
            settings->saveRules();
            settings->setReminders(false);
            settings->openNotificationSettings();
            settings->setLoginEnabled(true);
            settings->manageLoginItems();
            settings->saveAI();
            settings->authorizeKey();
            EXPECT_TRUE(waitUntil([&] { return !settings->keyActionRunning(); }));
            settings->openDocumentation();
            settings->openDownloadPage();
            settings->chooseAppearance(QStringLiteral("light"));
        }
    }
    return stoppable;
}

// The scenarios of one kind of scene (or the program's own first screen), a case each so that no case
// runs long; under the sanitizers every scenario is slow, so a kind is checked by its first.
struct Scenes {
    std::string name;
    QList<std::optional<QString>> pages;
};

void PrintTo(const Scenes& scenes, std::ostream* out) {
    *out << scenes.name;
}

QList<Scenes> everyKindOfScene() {
    QList<Scenes> all{{"first_screen", {std::nullopt}}};
    QHash<PreviewSceneKind, qsizetype> kinds;
    for (const QString& page : PreviewScenarios::pages()) {
        const PreviewSceneKind kind = PreviewScenarios::sceneKind(page);
        if (!kinds.contains(kind)) {
            kinds.insert(kind, all.size());
            all.append({QString(page).replace(u'-', u'_').toStdString(), {}});
        }
        Scenes& scenes = all[kinds.value(kind)];
        if (!sanitized || scenes.pages.isEmpty())
            scenes.pages.append(page);
    }
    return all;
}

class PreviewIsolation : public testing::TestWithParam<Scenes> {};

} // namespace

TEST_P(PreviewIsolation, NoScenarioNorActionReachesOutsideTheProcess) {
    const PrivateHome home;
    QTemporaryDir output; // where a scenario that gets as far as its screenshot writes it
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watch"));
    NameWatcher names;
    if (bus.isConnected()) {
        ASSERT_TRUE(bus.connect(QStringLiteral("org.freedesktop.DBus"),
                                QStringLiteral("/org/freedesktop/DBus"),
                                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"),
                                &names, SLOT(changed(QString, QString, QString))));
    }
    const std::string before = home.tree();

    int stoppable = 0;
    int signalled = 0;
    for (const std::optional<QString>& page : GetParam().pages) {
        SCOPED_TRACE(page.value_or(QStringLiteral("(none)")).toStdString());
        PreviewServices services;
        {
            ShellServices shell = ShellServices::preview(services);
            shell.endPreview = [](int) {
            }; // the test goes on after a screenshot
            AppDelegate delegate(
                std::move(shell),
                PreviewRequest{output.filePath(QStringLiteral("x.png")), page, "light", false}, false);
            ASSERT_EQ(delegate.applicationDidFinishLaunching(), AppDelegate::Launch::running);
            QCoreApplication::processEvents();
            stoppable += askEverything(delegate, services);
            // The answers that come later (reminders, the AI service, the removal checks) arrive; the
            // library waits for its background work when it goes.
            for (int pass = 0; pass < 3; ++pass)
                QCoreApplication::processEvents();
        }
        // Every signal asked for went to the run's own table, which holds only the scenario's processes.
        for (const InMemoryProcessPlatform::SentSignal& sent : services.processes().sentSignals())
            EXPECT_TRUE(services.processes().readProcess(sent.identity.pid).has_value());
        signalled += int(services.processes().sentSignals().size());
    }
    // The stops did get as far as a signal; the main window shows processes that can be stopped.
    if (stoppable > 0) {
        EXPECT_GT(signalled, 0);
    }
    if (PreviewScenarios::sceneKind(GetParam().pages.first()) == PreviewSceneKind::mainWindow) {
        EXPECT_GT(stoppable, 0);
    }

    EXPECT_EQ(home.tree(), before);
    if (bus.isConnected()) {
        // The bus answers this call after every announcement it sent before it: those are then here.
        const QStringList registered = bus.interface()->registeredServiceNames().value();
        EXPECT_TRUE(deliverDue());
        const uint self = uint(QCoreApplication::applicationPid());
        for (const QString& owner : names.owners)
            EXPECT_NE(bus.interface()->servicePid(owner.section(u'=', 1)).value(), self)
                << owner.toStdString();
        for (const QString& name : registered) {
            if (!name.startsWith(u':')) {
                EXPECT_NE(bus.interface()->servicePid(name).value(), self) << name.toStdString();
            }
        }
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("watch"));
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfScene, PreviewIsolation, testing::ValuesIn(everyKindOfScene()),
                         [](const testing::TestParamInfo<Scenes>& info) { return info.param.name; });

#include "PreviewIsolationTest.moc"
