#pragma once

#include "app/ports/SleepWatcher.h"

#include <QDBusConnection>
#include <QObject>

namespace lunorvale {

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
