// A stand-in panel for measurements by hand: owns org.kde.StatusNotifierWatcher on the session bus
// until it is ended, so the program under measurement has a tray host.
#include "support/FakeStatusNotifierWatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    lunorvale::test::FakeStatusNotifierWatcher watcher;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllContents) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fputs("cannot own org.kde.StatusNotifierWatcher\n", stderr);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
