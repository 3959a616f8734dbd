#pragma once

#include <QDBusConnection>
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

// logind's PrepareForSleep on the system bus. Without a system bus (containers, some test setups)
// it never signals: the program then simply has no sleep handling.
class LogindSleepWatcher final : public SleepWatcher {
    Q_OBJECT

public:
    explicit LogindSleepWatcher(QDBusConnection bus = QDBusConnection::systemBus(),
                                QObject* parent = nullptr);

    // Whether the subscription could be made.
    bool isWatching() const { return m_watching; }

private slots:
    void prepareForSleep(bool sleeping);

private:
    bool m_watching = false;
};

} // namespace lunorvale
