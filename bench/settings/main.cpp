#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"

#include <QApplication>
#include <benchmark/benchmark.h>

// The settings page's benchmarks: a QApplication on the offscreen platform, as the tests run.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    lunorvale::Fonts::install();
    lunorvale::Palette::apply(lunorvale::Appearance::light);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
