// The desktop session services: one copy per session, the portal's colour scheme, termination signals.
// Run on the private session bus of tools/test-session.
#include "platform/desktop/ColorSchemePortal.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/desktop/TerminationSignals.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

QDBusConnection privateConnection(const QString& name) {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

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

TEST(SingleInstance, SecondCopyActivatesTheFirstAndTheNameOutlivesNoOwner) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    QDBusConnection firstBus = privateConnection(QStringLiteral("first-copy"));
    QDBusConnection secondBus = privateConnection(QStringLiteral("second-copy"));
    QDBusConnection thirdBus = privateConnection(QStringLiteral("third-copy"));

    auto first = std::make_unique<SingleInstance>(firstBus);
    QSignalSpy activations(first.get(), &SingleInstance::activated);
    ASSERT_EQ(first->claim(), SingleInstance::Outcome::primary);
    EXPECT_EQ(first->claim(), SingleInstance::Outcome::primary); // claiming again changes nothing

    // The second copy's blocking call is answered by the first copy's thread: run it on its own thread.
    qputenv("XDG_ACTIVATION_TOKEN", "token-from-the-desktop");
    SingleInstance::Outcome second = SingleInstance::Outcome::noBus;
    std::unique_ptr<QThread> copy(QThread::create([&] { second = SingleInstance(secondBus).claim(); }));
    copy->start();
    QTRY_VERIFY_WITH_TIMEOUT(copy->isFinished(), 10000);
    qunsetenv("XDG_ACTIVATION_TOKEN");
    EXPECT_EQ(second, SingleInstance::Outcome::secondary);
    ASSERT_EQ(activations.count(), 1);
    EXPECT_EQ(activations.at(0).at(0).toString(), "token-from-the-desktop");

    // Once the first copy is gone, the next one owns the name.
    first.reset();
    SingleInstance third(thirdBus);
    EXPECT_EQ(third.claim(), SingleInstance::Outcome::primary);
    EXPECT_EQ(QDBusConnection::sessionBus().interface()->serviceOwner(SingleInstance::serviceName).value(),
              thirdBus.baseService());

    // Without a bus the program runs alone.
    EXPECT_EQ(SingleInstance(QDBusConnection(QStringLiteral("never-connected"))).claim(),
              SingleInstance::Outcome::noBus);

    QDBusConnection::disconnectFromBus(QStringLiteral("first-copy"));
    QDBusConnection::disconnectFromBus(QStringLiteral("second-copy"));
    QDBusConnection::disconnectFromBus(QStringLiteral("third-copy"));
}

TEST(ColorSchemePortal, ReadsTheSchemeThenFollowsItsChanges) {
    struct Case {
        QVariant value;
        ColorSchemePortal::Scheme expected;
    };
    const Case cases[] = {
        {QVariant(1u), ColorSchemePortal::Scheme::dark},
        {QVariant(2u), ColorSchemePortal::Scheme::light},
        {QVariant(0u), ColorSchemePortal::Scheme::noPreference},
        {QVariant(7u), ColorSchemePortal::Scheme::noPreference},
        {QVariant(QStringLiteral("dark")), ColorSchemePortal::Scheme::noPreference},
        {QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant(1u))))),
         ColorSchemePortal::Scheme::dark},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColorSchemePortal::schemeFrom(c.value), c.expected) << c.value.typeName();

    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    {
        // No portal on the bus: the scheme stays unknown.
        ColorSchemePortal portal;
        QTest::qWait(0);
        QSignalSpy changes(&portal, &ColorSchemePortal::schemeChanged);
        EXPECT_FALSE(changes.wait(300));
        EXPECT_FALSE(portal.scheme().has_value());
    }

    QDBusConnection portalBus = privateConnection(QStringLiteral("fake-portal"));
    FakeSettingsPortal fake;
    fake.scheme = 1;
    ASSERT_TRUE(portalBus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &fake,
                                         QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    ColorSchemePortal portal;
    QSignalSpy changes(&portal, &ColorSchemePortal::schemeChanged);
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(portal.scheme(), ColorSchemePortal::Scheme::dark);

    QDBusMessage changed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                      QStringLiteral("org.freedesktop.portal.Settings"),
                                                      QStringLiteral("SettingChanged"));
    changed << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
            << QVariant::fromValue(QDBusVariant(QVariant(2u)));
    ASSERT_TRUE(portalBus.send(changed));
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(portal.scheme(), ColorSchemePortal::Scheme::light);

    portalBus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal"));
}

TEST(TerminationSignals, EachSignalArrivesOnTheMainThread) {
    TerminationSignals watcher;
    QSignalSpy received(&watcher, &TerminationSignals::received);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        ASSERT_EQ(::raise(number), 0);
        ASSERT_TRUE(received.wait(5000));
        EXPECT_EQ(received.takeFirst().at(0).toInt(), number);
    }
}

#include "DesktopSessionTest.moc"
