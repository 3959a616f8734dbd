// The main window over the real model: one sample applied to the page on screen (from the model's
// last signal to laid-out widgets, painting excluded: the window is never exposed), and a keystroke in
// the application search until the list is painted into a pixmap. Reported per run: main-thread
// milliseconds, widgets made during the runs (0 in steady state) and the program's resident memory.
#include "IdleChildren.h"
#include "app/model/AppModel.h"
#include "core/common/ThreadExecutors.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "platform/LinuxProcessPlatform.h"
#include "support/InterfaceBench.h"
#include "ui/window/DashboardApplicationList.h"
#include "ui/window/MainView.h"
#include "ui/window/OverviewPage.h"
#include "ui/window/ResourceDashboardView.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>

using namespace lunorvale;
using namespace lunorvale::InterfaceBench;

namespace {

// Swallows every paint while installed: the timed work ends with the widgets laid out.
class NoPainting final : public QObject {
public:
    NoPainting() { QCoreApplication::instance()->installEventFilter(this); }
    ~NoPainting() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest;
    }
};

// Takes one sample; returns the main thread's seconds from the model's last published change of
// the sample to the window laid out.
double sampleIntoView(AppModel& model) {
    const NoPainting noPainting;
    double published = 0;
    QEventLoop loop;
    const auto connection = QObject::connect(&model, &AppModel::isSamplingChanged, &loop, [&] {
        if (!model.isSampling()) {
            published = threadSeconds();
            loop.quit();
        }
    });
    model.sampleNow();
    if (model.isSampling())
        loop.exec();
    QObject::disconnect(connection);
    settle();
    return threadSeconds() - published;
}

struct Window {
    QTemporaryDir folder;
    ThreadExecutor sampling{QStringLiteral("sampling")}; // as the program's
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainView> view;

    AppModelServices services(ProcessPlatform& platform) {
        AppModelServices services;
        services.processPlatform = &platform;
        services.sampling = &sampling;
        services.settingsStore = SettingsStore(folder.filePath(QStringLiteral("defaults.json")));
        services.settingsStore->setValue(AppModel::Keys::hasCompletedOnboarding, true);
        const QString history = folder.filePath(QStringLiteral("history.json"));
        services.historyStore = [history] {
            return LocalHistoryStore(history);
        };
        return services;
    }
    double residentWithoutWindow = 0;

    void open() {
        residentWithoutWindow = residentMegabytes();
        view = std::make_unique<MainView>(*model, std::nullopt);
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->resize(1180, 820);
        view->show();
        settle();
    }
};

void report(benchmark::State& state, const Window& window, double seconds, qsizetype widgetsBefore) {
    state.counters["ms_per_sample"] = seconds / static_cast<double>(state.iterations()) * 1000;
    state.counters["widgets_made"] = static_cast<double>(QApplication::allWidgets().size() - widgetsBefore);
    state.counters["rss_mb"] = residentMegabytes();
    state.counters["rss_window_mb"] = residentMegabytes() - window.residentWithoutWindow;
}

// 2000 processes, five of them busy enough to be flagged: the overview with the priority card and five
// chips. The table is scripted (flagging needs minutes of real load); the model is the program's.
void BM_OverviewSample(benchmark::State& state) {
    InMemoryProcessPlatform platform;
    double uptime = 1000;
    platform.setUptime(uptime);
    for (int32_t pid = 100; pid < 2100; ++pid)
        platform.put(InMemoryProcessPlatform::process(pid, 5000 + pid, "idle-" + QByteArray::number(pid % 50),
                                                      QStringLiteral("/usr/bin/idle"),
                                                      QStringLiteral("idle")));
    Window window;
    AppModelServices services = window.services(platform);
    services.settingsStore->setValue(AppModel::Keys::monitorSettings,
                                     MonitorSettings{30, 90, 30, false}.toJson());
    QDateTime clock = QDateTime::currentDateTimeUtc();
    services.now = [&clock] {
        return clock;
    };
    window.model = std::make_unique<AppModel>(false, services);
    const auto step = [&] {
        clock = clock.addSecs(30);
        platform.advance(30);
        for (int32_t pid = 100; pid < 105; ++pid)
            platform.change(
                pid, [](InMemoryProcessPlatform::Process& p) { p.record.cpu_ns += 30'000'000'000ull; });
    };
    window.open();
    for (int i = 0; i < 4; ++i) {
        step();
        sampleIntoView(*window.model);
    }
    if (static_cast<OverviewPage*>(window.view->pageWidget(Page::overview))->chips().size() != 5)
        state.SkipWithError("expected five findings");
    const qsizetype widgets = QApplication::allWidgets().size();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        step();
        state.ResumeTiming();
        seconds += sampleIntoView(*window.model);
    }
    report(state, window, seconds, widgets);
}

// The real model over 2000 sleeping children with a full hour of history (721 points): the resources
// page at 60 minutes with a group open.
struct ResourcesWindow {
    LinuxProcessPlatform platform;
    Window window;

    // Made by the first benchmark that needs it; released before the application object ends.
    static std::unique_ptr<ResourcesWindow>& instance() {
        static std::unique_ptr<ResourcesWindow> resources;
        return resources;
    }
    static ResourcesWindow& shared() {
        if (!instance())
            instance().reset(new ResourcesWindow);
        return *instance();
    }
    ResourceDashboardView* page() const { return window.view->resourcesPage(); }

private:
    ResourcesWindow() {
        IdleChildren::shared().resize(2000);
        window.model = std::make_unique<AppModel>(false, window.services(platform));
        for (int i = 0; i < 721; ++i)
            sampleIntoView(*window.model);
        window.open();
        window.view->setPage(Page::resources);
        page()->setMinutes(60);
        page()->setExpanded(window.model->resourceGroups().first().id, true);
        page()->refresh();
        settle();
    }
};

void BM_ResourcesSample(benchmark::State& state) {
    ResourcesWindow& resources = ResourcesWindow::shared();
    sampleIntoView(*resources.window.model);
    const qsizetype widgets = QApplication::allWidgets().size();
    double seconds = 0;
    for (auto _ : state)
        seconds += sampleIntoView(*resources.window.model);
    state.counters["groups"] = static_cast<double>(resources.window.model->resourceGroups().size());
    state.counters["history_points"] =
        static_cast<double>(resources.window.model->resourceHistory().points().size());
    report(state, resources.window, seconds, widgets);
}

// One key typed into the search ("1", then erased again), until the visible part of the list is painted.
void BM_SearchKeystroke(benchmark::State& state) {
    ResourcesWindow& resources = ResourcesWindow::shared();
    ResourceDashboardView* page = resources.page();
    QLineEdit* field = page->applications()->searchField();
    QTreeView* list = page->applications()->view();
    QScrollArea* scroll = page->scrollArea();
    scroll->verticalScrollBar()->setValue(page->applicationCard()->mapTo(scroll->widget(), QPoint(0, 0)).y());
    settle();
    QPixmap pixmap(scroll->viewport()->size());
    bool typed = false;
    for (auto _ : state) {
        const int key = typed ? Qt::Key_Backspace : Qt::Key_1;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed ? QString() : QStringLiteral("1"));
        QCoreApplication::sendEvent(field, &press);
        typed = !typed;
        settle();
        const QRect shown = QRect(list->mapFrom(scroll->viewport(), QPoint(0, 0)), scroll->viewport()->size())
                                .intersected(list->rect());
        list->render(&pixmap, QPoint(), QRegion(shown));
    }
    state.counters["groups"] = static_cast<double>(resources.window.model->resourceGroups().size());
    state.counters["rss_mb"] = residentMegabytes();
}

} // namespace

void releaseWindows() {
    ResourcesWindow::instance().reset();
}

BENCHMARK(BM_OverviewSample)->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_ResourcesSample)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond)->Iterations(100);
