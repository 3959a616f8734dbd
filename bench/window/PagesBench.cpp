// The processes and history pages over the real model on a scripted process table: a sample applied
// to the processes page (from the model's last signal to laid-out widgets, painting excluded), a
// keystroke in its search until the visible rows are painted into a pixmap, and a filter or search
// change on the history page until its visible entries are painted. Reported per run: main-thread
// milliseconds, widgets made during the runs, all widgets (equal at 20 and 2000 processes) and the
// program's resident memory.
#include "app/model/AppModel.h"
#include "core/common/ThreadExecutors.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "support/InterfaceBench.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/window/HistoryList.h"
#include "ui/window/HistoryPage.h"
#include "ui/window/MainView.h"
#include "ui/window/ProcessList.h"
#include "ui/window/ProcessesPage.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

using namespace lunorvale;
using namespace lunorvale::InterfaceBench;

namespace {

// A window on the processes page over `count` scripted processes, a sixth of them busy, one selected.
struct ProcessesWindow {
    QTemporaryDir folder;
    InMemoryProcessPlatform platform;
    ThreadExecutor sampling{QStringLiteral("sampling")}; // as the program's
    QDateTime clock = QDateTime::currentDateTimeUtc();
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainView> view;
    int count;

    // `events`: the history file's events, dated back from now in minutes.
    explicit ProcessesWindow(int count, int events = 0) : count(count) {
        platform.setUptime(1000);
        for (int32_t pid = 100; pid < 100 + count; ++pid)
            platform.put(InMemoryProcessPlatform::process(
                pid, 5000 + pid, (pid % 2 ? "helper-" : "worker-") + QByteArray::number(pid),
                QStringLiteral("/usr/bin/worker"), QStringLiteral("worker --job %1").arg(pid)));
        AppModelServices services;
        services.processPlatform = &platform;
        services.sampling = &sampling;
        services.settingsStore = SettingsStore(folder.filePath(QStringLiteral("defaults.json")));
        services.settingsStore->setValue(AppModel::Keys::hasCompletedOnboarding, true);
        services.settingsStore->setValue(AppModel::Keys::monitorSettings,
                                         MonitorSettings{30, 90, 30, false}.toJson());
        const QString history = folder.filePath(QStringLiteral("history.json"));
        services.historyStore = [history] {
            return LocalHistoryStore(history);
        };
        QList<ActivityEvent> list;
        for (int i = 0; i < events; ++i)
            list.append(
                ActivityEvent{QUuid::createUuid(), StoredDate::from(clock.addSecs(-60 * i)),
                              i % 3 ? QStringLiteral("已请求停止") : QStringLiteral("发现持续高占用"),
                              QStringLiteral("后台任务 · PID %1 · 已观察 %2 分钟").arg(1000 + i).arg(i % 60),
                              QStringLiteral("action")});
        if (events)
            LocalHistoryStore(history).save(list, clock);
        services.now = [this] {
            return clock;
        };
        model = std::make_unique<AppModel>(false, services);
        for (int i = 0; i < 3; ++i)
            sample();
        MainViewServices pages;
        pages.pages.processes = [](MainView& view) {
            return new ProcessesPage(view);
        };
        pages.pages.history = [](MainView& view) {
            return new HistoryPage(view);
        };
        view = std::make_unique<MainView>(*model, std::nullopt, pages);
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->resize(1180, 820);
        view->show();
        view->setPage(Page::processes);
        model->setSelectedID(model->processes().value(count / 2).identity);
        settle();
    }
    ProcessesPage* page() const { return static_cast<ProcessesPage*>(view->pageWidget(Page::processes)); }

    // Moves the clock on (every sixth process busy) and takes one sample; returns the main thread's
    // seconds from the model's last published change to the page laid out.
    double sample() {
        clock = clock.addSecs(30);
        platform.advance(30);
        for (int32_t pid = 100; pid < 100 + count; pid += 6)
            platform.change(pid, [](auto& p) { p.record.cpu_ns += 30'000'000'000ull; });
        double published = 0;
        QEventLoop loop;
        const auto connection = QObject::connect(model.get(), &AppModel::isSamplingChanged, &loop, [&] {
            if (!model->isSampling()) {
                published = threadSeconds();
                loop.quit();
            }
        });
        model->sampleNow();
        if (model->isSampling())
            loop.exec();
        QObject::disconnect(connection);
        settle();
        return threadSeconds() - published;
    }
};

void BM_ProcessesSample(benchmark::State& state) {
    ProcessesWindow window(static_cast<int>(state.range(0)));
    window.sample();
    const qsizetype widgets = QApplication::allWidgets().size();
    double seconds = 0;
    for (auto _ : state)
        seconds += window.sample();
    state.counters["ms_per_sample"] = seconds / static_cast<double>(state.iterations()) * 1000;
    state.counters["widgets_made"] = static_cast<double>(QApplication::allWidgets().size() - widgets);
    state.counters["page_widgets"] =
        static_cast<double>(window.page()->findChildren<QWidget*>().size()); // the same at 20 and 2000
    state.counters["rows"] = window.page()->list()->listModel()->rowCount();
    state.counters["rss_mb"] = residentMegabytes();
}

// Renders what the list shows, as a paint would.
void paintList(QAbstractItemView* list, QPixmap& pixmap) {
    list->viewport()->render(&pixmap);
}

// One key typed into the search ("1", then erased again), until the visible rows are painted.
void BM_ProcessesSearchKeystroke(benchmark::State& state) {
    ProcessesWindow window(2000);
    QLineEdit* field = window.page()->searchBox()->field();
    ProcessListView* list = window.page()->list();
    QPixmap pixmap(list->viewport()->size());
    bool typed = false;
    for (auto _ : state) {
        const int key = typed ? Qt::Key_Backspace : Qt::Key_1;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed ? QString() : QStringLiteral("1"));
        QCoreApplication::sendEvent(field, &press);
        typed = !typed;
        settle();
        paintList(list, pixmap);
    }
    state.counters["rows"] = list->listModel()->rowCount();
    state.counters["rss_mb"] = residentMegabytes();
}

// 500 events; the filter switched between all and alerts, then a search letter typed and erased.
void BM_HistoryFilter(benchmark::State& state) {
    ProcessesWindow history(20, LocalHistoryStore::maximumEvents);
    history.view->setPage(Page::history);
    settle();
    auto* page = static_cast<HistoryPage*>(history.view->pageWidget(Page::history));
    HistoryListView* list = page->list();
    QPixmap pixmap(list->viewport()->size());
    int step = 0;
    for (auto _ : state) {
        switch (step++ % 4) {
        case 0:
            page->filterControl()->setCurrentIndex(1);
            break;
        case 1:
            page->filterControl()->setCurrentIndex(0);
            break;
        case 2:
            page->searchField()->setText(QStringLiteral("5"));
            break;
        case 3:
            page->searchField()->clear();
            break;
        }
        settle();
        paintList(list, pixmap);
    }
    state.counters["events"] = static_cast<double>(history.model->history().size());
    state.counters["rss_mb"] = residentMegabytes();
}

} // namespace

BENCHMARK(BM_ProcessesSample)->Arg(20)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_ProcessesSearchKeystroke)->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_HistoryFilter)->Unit(benchmark::kMillisecond)->Iterations(100);
