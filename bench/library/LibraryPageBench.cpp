// The library page over 2000 applications read from bundles on disk and published through the model's
// scan seam (the scan itself stops at 1000): a keystroke's filter and repaint, one arriving size applied,
// sorting and filtering the names, and the memory after scrolling every row.

#include "app/library/ApplicationLibraryModel.h"
#include "core/applications/ApplicationInventory.h"
#include "core/common/ThreadExecutors.h"
#include "ui/library/ApplicationLibraryLogic.h"
#include "ui/library/ApplicationLibraryView.h"
#include "ui/library/ApplicationList.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <unistd.h>

using namespace lunorvale;

namespace {

constexpr int applicationCount = 2000;

// 2000 bundles with their Info.plist, read back as the inventory reads them.
const QList<InstalledApplication>& records() {
    static const QList<InstalledApplication> read = [] {
        QTemporaryDir folder;
        QList<InstalledApplication> applications;
        for (int index = 0; index < applicationCount; ++index) {
            const QString name = QStringLiteral("App %1").arg(index);
            const QString bundle = folder.path() + u'/' + name + QStringLiteral(".app");
            QDir().mkpath(bundle + QStringLiteral("/Contents"));
            QFile info(bundle + QStringLiteral("/Contents/Info.plist"));
            info.open(QIODevice::WriteOnly);
            info.write(
                QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                               "<key>CFBundleIdentifier</key><string>example.app%1</string>"
                               "<key>CFBundleName</key><string>%2</string>"
                               "<key>CFBundleExecutable</key><string>App</string>"
                               "<key>CFBundlePackageType</key><string>APPL</string>"
                               "<key>CFBundleShortVersionString</key><string>1.%1</string></dict></plist>")
                    .arg(index)
                    .arg(name)
                    .toUtf8());
            info.close();
            applications.append(ApplicationInventory::read(QUrl::fromLocalFile(bundle)));
        }
        return applications;
    }();
    return read;
}

struct Page {
    QTemporaryDir folder;
    PoolExecutor work{2, QThread::LowPriority}, looks{1}; // as the program's
    std::unique_ptr<ApplicationLibraryModel> model;
    std::unique_ptr<ApplicationLibraryView> view;

    Page() {
        ApplicationLibraryServices services;
        services.runningApplications = [](const CancellationToken&) {
            return QList<ApplicationRunningTarget>();
        };
        services.scan = [](const CancellationToken&) {
            return ApplicationScan{records(), {}, {}};
        };
        services.bundleSize = [](const InstalledApplication& application, const CancellationToken&) {
            return int64_t(application.name().size()) * 1000003;
        };
        services.removalLog = [this] {
            return ApplicationRemovalLog(QUrl::fromLocalFile(folder.filePath(QStringLiteral("r.json"))));
        };
        services.work = &work;
        services.looks = &looks;
        model = std::make_unique<ApplicationLibraryModel>(false, services);
        ApplicationLibraryViewServices pageServices;
        pageServices.confirm = [](const LibraryAlert&, QWidget*) {
            return false;
        };
        pageServices.makeIconLoader = [] {
            return std::make_unique<ApplicationIconLoader>(
                [](const QString&) { return std::optional<QByteArray>(); });
        };
        view = std::make_unique<ApplicationLibraryView>(
            *model, AIConfiguration{}, [] {}, pageServices);
        view->resize(1180, 820);
        view->show();
        while (model->applications().size() < applicationCount || model->sizing())
            QApplication::processEvents();
        QApplication::processEvents();
    }
};

// Kept until the program ends: widgets must not outlive the application object in static destruction.
Page& page() {
    static Page* shown = new Page;
    return *shown;
}

long residentKilobytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    statm.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

void keystrokeRepaint(benchmark::State& state) {
    Page& shown = page();
    bool narrow = false;
    for (auto _ : state) {
        shown.view->searchField()->setText(narrow ? QStringLiteral("App 1") : QStringLiteral("App"));
        shown.view->list()->viewport()->repaint();
        narrow = !narrow;
    }
    shown.view->searchField()->clear();
}
BENCHMARK(keystrokeRepaint)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// What one arriving size costs the page: its refresh with the rows diffed against the model.
void oneSizeApplied(benchmark::State& state) {
    Page& shown = page();
    const int widgets = int(shown.view->findChildren<QWidget*>().size());
    for (auto _ : state)
        shown.view->refresh();
    state.counters["widgets created"] = double(shown.view->findChildren<QWidget*>().size() - widgets);
}
BENCHMARK(oneSizeApplied)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void sortNames(benchmark::State& state) {
    const QHash<QString, qint64> sizes;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ApplicationLibraryLogic::SortedApplications(records(), sizes, LibrarySort::name));
}
BENCHMARK(sortNames)->Unit(benchmark::kMillisecond);

void filterNames(benchmark::State& state) {
    const ApplicationLibraryLogic::SortedApplications sorted(records(), {}, LibrarySort::name);
    for (auto _ : state)
        benchmark::DoNotOptimize(ApplicationLibraryLogic::visible(records(), sorted, QStringLiteral("App 1"),
                                                                  LibraryFilter::all, {}));
}
BENCHMARK(filterNames)->Unit(benchmark::kMillisecond);

void residentAfterScrolling(benchmark::State& state) {
    Page& shown = page();
    for (auto _ : state) {
        for (int row = 0; row < applicationCount; row += 10) {
            shown.view->list()->scrollTo(shown.view->listModel()->index(row));
            shown.view->list()->viewport()->repaint();
        }
    }
    state.counters["RSS MB"] = double(residentKilobytes()) / 1024.0;
}
BENCHMARK(residentAfterScrolling)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
