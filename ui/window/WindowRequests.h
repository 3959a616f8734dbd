#pragma once

#include <QObject>

namespace lunorvale {

// The three requests any part of the program may send the main window: show the settings, the AI
// section of the settings, or the help. The shell owns the one object for the life of the program and
// brings the window forward before it emits; the main window's content listens while it exists.
class WindowRequests final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void showSettings();
    void showAISettings();
    void showHelp();
};

} // namespace lunorvale
