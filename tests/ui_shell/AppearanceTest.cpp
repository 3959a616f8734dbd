// The appearance setting against the desktop portal's colour scheme, on the private session bus.
#include "app/shell/WindowAppearance.h"
#include "support/EventLoop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

// A settings portal that answers the colour scheme the way version 1 portals do: a variant inside
// the reply's variant.
class FakeSettingsPortal final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    uint scheme = 0;

public slots:
    Q_SCRIPTABLE QDBusVariant Read(const QString& settingsNamespace, const QString& key) {
        if (settingsNamespace != QLatin1String("org.freedesktop.appearance") ||
            key != QLatin1String("color-scheme"))
            return QDBusVariant(QVariant(QString()));
        return QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant(scheme))));
    }
};

} // namespace

TEST(WindowAppearance, SettingPortalAndDesktopDecide) {
    using Scheme = ColorSchemePortal::Scheme;
    struct Case {
        QString setting;
        std::optional<Scheme> portal;
        Appearance desktop;
        Appearance expected;
    };
    const Case cases[] = {
        {"dark", Scheme::light, Appearance::light, Appearance::dark},
        {"light", Scheme::dark, Appearance::dark, Appearance::light},
        {"system", Scheme::dark, Appearance::light, Appearance::dark},
        {"system", Scheme::light, Appearance::dark, Appearance::light},
        {"system", Scheme::noPreference, Appearance::dark, Appearance::light},
        {"system", std::nullopt, Appearance::dark, Appearance::dark}, // no portal: the desktop's palette
        {"system", std::nullopt, Appearance::light, Appearance::light},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowAppearance::resolve(c.setting, c.portal, c.desktop), c.expected)
            << c.setting.toStdString();

    EXPECT_EQ(ColorSchemePortal::schemeFrom(QVariant(QStringLiteral("dark"))), Scheme::noPreference);
}

TEST(WindowAppearance, FollowsThePortalUnlessTheUserChose) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    const QString name = QStringLiteral("fake-portal");
    QDBusConnection portalBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    FakeSettingsPortal fake;
    fake.scheme = 1;
    ASSERT_TRUE(portalBus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &fake,
                                         QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    QList<Appearance> applied;
    ColorSchemePortal portal;
    WindowAppearance appearance(&portal, [&](Appearance a) { applied << a; });
    QSignalSpy changes(&appearance, &WindowAppearance::changed);
    // Until the portal answers, the desktop's own palette (light under the offscreen platform) holds.
    ASSERT_TRUE(changes.wait(test::waitBoundMs));
    EXPECT_EQ(appearance.current(), Appearance::dark);

    QDBusMessage changed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                      QStringLiteral("org.freedesktop.portal.Settings"),
                                                      QStringLiteral("SettingChanged"));
    changed << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
            << QVariant::fromValue(QDBusVariant(QVariant(2u)));
    ASSERT_TRUE(portalBus.send(changed));
    ASSERT_TRUE(changes.wait(test::waitBoundMs));
    EXPECT_EQ(appearance.current(), Appearance::light);

    // The user's choice overrides the desktop; the same appearance is not applied twice.
    appearance.setSetting(QStringLiteral("dark"));
    appearance.setSetting(QStringLiteral("dark"));
    appearance.setSetting(QStringLiteral("light"));
    EXPECT_EQ(applied, (QList<Appearance>{Appearance::light, Appearance::dark, Appearance::light,
                                          Appearance::dark, Appearance::light}));

    portalBus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    QDBusConnection::disconnectFromBus(name);
}

#include "AppearanceTest.moc"
