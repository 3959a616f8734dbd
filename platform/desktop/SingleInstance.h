#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

namespace lunorvale {

// One running copy per desktop session. The first copy owns a well-known name on the session bus
// and serves `org.freedesktop.Application.Activate` there; a later copy finds the name taken, asks
// its owner to show itself (handing on the desktop's activation token) and then ends.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    static constexpr char serviceName[] = "dev.lunorvale.Lunorvale";
    static constexpr char objectPath[] = "/dev/lunorvale/Lunorvale";
    static constexpr char interfaceName[] = "org.freedesktop.Application";

    enum class Outcome {
        primary,   // this copy owns the name and answers Activate
        secondary, // another copy owns the name and was asked to show itself: end this copy
        noBus,     // no session bus (or it refused us): carry on alone
    };

    // `name` is the program's own unless a test runs copies of its own beside it.
    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            QString name = QString::fromLatin1(serviceName), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the name without queueing. When another copy has it, calls that copy's Activate with this
    // copy's activation token (from XDG_ACTIVATION_TOKEN or DESKTOP_STARTUP_ID) and answers secondary.
    Outcome claim();

    // The platform data a copy hands to the running one: the desktop's activation token, if any.
    static QVariantMap platformData();

signals:
    // Another copy, or the desktop, asked to show the program; with the token the desktop gave it for
    // raising a window (already where Qt looks for it), or empty.
    void activated(const QString& activationToken);

private:
    class Adaptor;
    friend class Adaptor;
    void activate(const QVariantMap& platformData);

    QDBusConnection m_bus;
    QString m_name;
    Adaptor* m_adaptor = nullptr;
    bool m_owner = false;
};

} // namespace lunorvale
