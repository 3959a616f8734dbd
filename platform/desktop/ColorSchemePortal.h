#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <optional>

namespace lunorvale {

// The desktop's preferred colour scheme, from the settings portal (`org.freedesktop.appearance`
// `color-scheme`): read once, then followed through its change signal. Asked without blocking: the
// scheme is absent until the portal answered, and stays absent where there is no portal.
class ColorSchemePortal final : public QObject {
    Q_OBJECT

public:
    enum class Scheme { noPreference = 0, dark = 1, light = 2 };

    explicit ColorSchemePortal(QDBusConnection bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);

    std::optional<Scheme> scheme() const { return m_scheme; }

    // The portal's value: 1 dark, 2 light, anything else no preference. Portals before version 2
    // wrap the value in a second variant.
    static Scheme schemeFrom(const QVariant& value);

signals:
    void schemeChanged();

private slots:
    void settingChanged(const QString& settingsNamespace, const QString& key, const QDBusVariant& value);

private:
    void setScheme(Scheme scheme);

    QDBusConnection m_bus;
    std::optional<Scheme> m_scheme;
};

} // namespace lunorvale
