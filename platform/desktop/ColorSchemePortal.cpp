#include "platform/desktop/ColorSchemePortal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace lunorvale {

namespace {
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
} // namespace

ColorSchemePortal::ColorSchemePortal(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {
    if (!m_bus.isConnected())
        return;
    // QtDBus finds the slot by its argument types' registered names.
    qRegisterMetaType<QDBusVariant>();
    // Matched by path and interface, not by the portal's name, so a portal started after us is heard too.
    m_bus.connect(QString(), portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                  SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    read << appearanceNamespace << colorSchemeKey;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        // A change signal may have answered first; it is newer than this reply.
        if (reply.isValid() && !m_scheme)
            setScheme(schemeFrom(reply.value().variant()));
    });
}

ColorSchemePortal::Scheme ColorSchemePortal::schemeFrom(const QVariant& value) {
    QVariant inner = value;
    while (inner.canConvert<QDBusVariant>() && inner.userType() == qMetaTypeId<QDBusVariant>())
        inner = inner.value<QDBusVariant>().variant();
    bool ok = false;
    const uint number = inner.toUInt(&ok);
    if (ok && number == 1)
        return Scheme::dark;
    if (ok && number == 2)
        return Scheme::light;
    return Scheme::noPreference;
}

void ColorSchemePortal::settingChanged(const QString& settingsNamespace, const QString& key,
                                       const QDBusVariant& value) {
    if (settingsNamespace == appearanceNamespace && key == colorSchemeKey)
        setScheme(schemeFrom(value.variant()));
}

void ColorSchemePortal::setScheme(Scheme scheme) {
    if (m_scheme == scheme)
        return;
    m_scheme = scheme;
    emit schemeChanged();
}

} // namespace lunorvale
