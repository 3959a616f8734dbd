#include "platform/desktop/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace lunorvale {

// The object the running copy exports. Only `Activate` is served: the program opens no files and has
// no actions a desktop could start by name.
class SingleInstance::Adaptor final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit Adaptor(SingleInstance* owner) : QObject(owner), m_owner(owner) {}

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData) { m_owner->activate(platformData); }

private:
    SingleInstance* m_owner;
};

SingleInstance::SingleInstance(QDBusConnection bus, QString name, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_name(std::move(name)) {}

SingleInstance::~SingleInstance() {
    if (!m_owner)
        return;
    m_bus.unregisterObject(QString::fromLatin1(objectPath));
    m_bus.unregisterService(m_name);
}

QVariantMap SingleInstance::platformData() {
    QVariantMap data;
    const QString wayland = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!wayland.isEmpty())
        data.insert(QStringLiteral("activation-token"), wayland);
    const QString x11 = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (!x11.isEmpty())
        data.insert(QStringLiteral("desktop-startup-id"), x11);
    return data;
}

SingleInstance::Outcome SingleInstance::claim() {
    if (m_owner)
        return Outcome::primary;
    if (!m_bus.isConnected() || !m_bus.interface())
        return Outcome::noBus;
    const QString& service = m_name;
    const QString path = QString::fromLatin1(objectPath);
    if (!m_adaptor) {
        m_adaptor = new Adaptor(this);
        // The object stands before the name, so a copy that sees the name can always call it.
        if (!m_bus.registerObject(path, m_adaptor, QDBusConnection::ExportScriptableSlots))
            return Outcome::noBus;
    }
    // Two tries: the owner may end between our refused claim and our call.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            m_bus.interface()->registerService(service, QDBusConnectionInterface::DontQueueService,
                                               QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid())
            break;
        if (reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            m_owner = true;
            return Outcome::primary;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, QString::fromLatin1(interfaceName),
                                                           QStringLiteral("Activate"));
        call << platformData();
        // The owner answers at once; a hung owner must not hang this copy for long either.
        const QDBusMessage answer = m_bus.call(call, QDBus::Block, 5000);
        const bool ownerGone =
            answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
        if (!ownerGone) {
            // Answered or failed, the owner exists: never two copies.
            m_bus.unregisterObject(path);
            return Outcome::secondary;
        }
    }
    m_bus.unregisterObject(path);
    return Outcome::noBus;
}

void SingleInstance::activate(const QVariantMap& platformData) {
    // Qt's Wayland platform takes the token for the next window activation from the environment.
    const QString token = platformData.value(QStringLiteral("activation-token")).toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    emit activated(token);
}

} // namespace lunorvale

#include "SingleInstance.moc"
