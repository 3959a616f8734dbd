#pragma once

#include <QObject>

namespace lunorvale {

// Tells when the machine is about to sleep and when it woke up again.
class SleepWatcher : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void willSleep();
    void didWake();
};

} // namespace lunorvale
