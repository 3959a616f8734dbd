// The settings page in the main window over the real model: switching to it from the overview until the
// window is painted (the first time the page is also built), and one 2000-process sample applied while
// it is on screen. Reported:
// milliseconds, widgets made during the runs (0 in steady state) and the program's resident memory
// once every page and sheet of the settings has been opened, in all and grown by them (most of that
// growth is the pages of the CJK font files their texts touch).
#include "app/model/AppModel.h"
#include "core/common/ThreadExecutors.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "support/InterfaceBench.h"
#include "ui/settings/PrivacyView.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/WelcomeView.h"
#include "ui/window/MainView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

using namespace lunorvale;
using namespace lunorvale::InterfaceBench;

namespace {

// The main window, switching between the overview and the settings page.
struct Window {
    QTemporaryDir folder;
    InMemoryProcessPlatform platform;
    ThreadExecutor sampling{QStringLiteral("sampling")}; // as the program's
    QDateTime clock = QDateTime::currentDateTimeUtc();
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainView> view;
    SettingsView* settings = nullptr;

    Window() {
        platform.setUptime(1000);
        for (int32_t pid = 100; pid < 2100; ++pid)
            platform.put(
                InMemoryProcessPlatform::process(pid, 5000 + pid, "idle-" + QByteArray::number(pid % 50),
                                                 QStringLiteral("/usr/bin/idle"), QStringLiteral("idle")));
        AppModelServices services;
        services.processPlatform = &platform;
        services.sampling = &sampling;
        services.settingsStore = SettingsStore(folder.filePath(QStringLiteral("defaults.json")));
        const QString history = folder.filePath(QStringLiteral("history.json"));
        services.historyStore = [history] {
            return LocalHistoryStore(history);
        };
        services.now = [this] {
            return clock;
        };
        services.settingsStore->setValue(AppModel::Keys::hasCompletedOnboarding, true);
        model = std::make_unique<AppModel>(false, services);
        view = std::make_unique<MainView>(*model, std::nullopt);
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->resize(1180, 820);
        view->show();
        settle();
    }

    // From the overview to the settings page, painted; the page is made the first time.
    double open() {
        view->selectPage(Page::overview);
        settle();
        QElapsedTimer timer;
        timer.start();
        view->selectPage(Page::settings);
        settle();
        settings = view->findChild<SettingsView*>();
        QPixmap pixmap(view->size());
        view->render(&pixmap);
        return static_cast<double>(timer.nsecsElapsed()) / 1e9;
    }

    // One sample; the main thread's seconds from the sample's arrival to the page laid out.
    double sample() {
        clock = clock.addSecs(30);
        platform.advance(30);
        double arrived = 0;
        QEventLoop loop;
        const auto connection = QObject::connect(model.get(), &AppModel::isSamplingChanged, &loop, [&] {
            if (!model->isSampling()) {
                arrived = threadSeconds();
                loop.quit();
            }
        });
        model->sampleNow();
        if (model->isSampling())
            loop.exec();
        QObject::disconnect(connection);
        settle();
        return threadSeconds() - arrived;
    }
};

void BM_OpenSettingsPage(benchmark::State& state) {
    Window window;
    window.sample();
    const double withoutPages = residentMegabytes();
    const double first = window.open();
    double seconds = 0;
    for (auto _ : state) {
        const double opening = window.open();
        seconds += opening;
        state.SetIterationTime(opening);
    }
    state.counters["first_ms"] = first * 1000;
    state.counters["ms_per_opening"] = seconds / static_cast<double>(state.iterations()) * 1000;

    // Every section, the help page, the sheets and the banner once: the memory they hold.
    for (const SettingsSection section : SettingsLogic::sections) {
        window.settings->setSection(section);
        settle();
        QPixmap pixmap(window.settings->size());
        window.settings->render(&pixmap);
    }
    window.view->toggleHelp();
    WelcomeView welcome(*window.model, {});
    PrivacyView privacy;
    for (QWidget* sheet : std::initializer_list<QWidget*>{&welcome, &privacy}) {
        sheet->setAttribute(Qt::WA_DontShowOnScreen);
        sheet->show();
    }
    settle();
    state.counters["rss_mb"] = residentMegabytes();
    state.counters["rss_pages_mb"] = residentMegabytes() - withoutPages;
}

void BM_SettingsPageSample(benchmark::State& state) {
    Window window;
    window.open();
    window.sample();
    window.sample();
    const qsizetype widgets = QApplication::allWidgets().size();
    double seconds = 0;
    for (auto _ : state) {
        const double applied = window.sample();
        seconds += applied;
        state.SetIterationTime(applied);
    }
    state.counters["ms_per_sample"] = seconds / static_cast<double>(state.iterations()) * 1000;
    state.counters["widgets_made"] = static_cast<double>(QApplication::allWidgets().size() - widgets);
    state.counters["processes"] = static_cast<double>(window.model->processes().size());
}

} // namespace

BENCHMARK(BM_OpenSettingsPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_SettingsPageSample)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
