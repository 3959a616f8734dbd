// The floor under the desktop program's resident memory: a bare Qt Widgets program on the same
// libraries and fonts, with a tray icon ("tray") and also a window of the main window's size showing a
// line of Chinese text in the interface font ("window"). tools/bench-shell measures it beside the
// program. Runs until it is ended.
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(13);
    QApplication::setFont(font);
    QPixmap icon(22, 22);
    icon.fill(Qt::gray);
    QSystemTrayIcon tray{QIcon(icon)};
    tray.show();
    QLabel window(QStringLiteral("岚栖 · 进程、资源、历史与设置 Lunorvale 0123456789"));
    if (argc > 1 && std::strcmp(argv[1], "window") == 0) {
        window.resize(1040, 720);
        window.show();
    }
    return QApplication::exec();
}
