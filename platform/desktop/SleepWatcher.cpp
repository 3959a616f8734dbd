#include "platform/desktop/SleepWatcher.h"

namespace lunorvale {

LogindSleepWatcher::LogindSleepWatcher(QDBusConnection bus, QObject* parent) : SleepWatcher(parent) {
    m_watching =
        bus.isConnected() &&
        bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                    SLOT(prepareForSleep(bool)));
}

void LogindSleepWatcher::prepareForSleep(bool sleeping) {
    if (sleeping)
        emit willSleep();
    else
        emit didWake();
}

} // namespace lunorvale
