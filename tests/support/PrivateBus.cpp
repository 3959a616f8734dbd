#include "support/PrivateBus.h"
#include "support/EventLoop.h"

#include <QUuid>

namespace lunorvale::test {

PrivateBus::PrivateBus() {
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=" LUNORVALE_TEST_BUS_CONFIG),
                    QStringLiteral("--address=unix:dir=") + m_folder.path(), QStringLiteral("--nofork"),
                    QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(waitBoundMs))
        return;
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(waitBoundMs)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    for (const QString& name : m_names)
        QDBusConnection::disconnectFromBus(name);
    m_daemon.kill();
    m_daemon.waitForFinished(waitBoundMs);
}

QDBusConnection PrivateBus::connect(const QString& name) {
    const QString unique = name + QUuid::createUuid().toString(QUuid::Id128);
    m_names.append(unique);
    return QDBusConnection::connectToBus(m_address, unique);
}

} // namespace lunorvale::test
