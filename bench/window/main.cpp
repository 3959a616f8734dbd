#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"

#include <QApplication>
#include <benchmark/benchmark.h>

// Defined beside the benchmarks: windows they share end before the application object does.
void releaseWindows();

// The window benchmarks draw off screen with the program's fonts and light palette.
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
    releaseWindows();
    benchmark::Shutdown();
    return 0;
}
