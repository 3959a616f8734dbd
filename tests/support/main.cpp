#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests run with an application object so that code which needs an event loop, timers or
// queued calls behaves as in the program.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
