#include <gtest/gtest.h>

#ifdef LUNORVALE_TEST_WIDGETS
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/QtTranslations.h"

#include <QApplication>
#else
#include <QCoreApplication>
#endif

// Tests run with an application object so that code which needs an event loop, timers or
// queued calls behaves as in the program.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef LUNORVALE_TEST_WIDGETS
    // Interface tests draw off screen unless a test run chose a platform (a tray test under Xvfb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    lunorvale::Fonts::install();
    lunorvale::QtTranslations::install();
    lunorvale::Palette::apply(lunorvale::Appearance::light);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
