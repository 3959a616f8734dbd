// The desktop session services: one copy per session, termination signals.
// Run on the private session bus of tools/test-session.
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

} // namespace

TEST(SingleInstance, SecondCopyActivatesTheFirstAndTheNameOutlivesNoOwner) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    QDBusConnection firstBus = privateConnection(QStringLiteral("first-copy"));
    QDBusConnection secondBus = privateConnection(QStringLiteral("second-copy"));
    QDBusConnection thirdBus = privateConnection(QStringLiteral("third-copy"));
    // A name of this test's own: programs of other tests may run beside it.
    const QString name =
        QStringLiteral("dev.lunorvale.Test.single.p%1").arg(QCoreApplication::applicationPid());

    auto first = std::make_unique<SingleInstance>(firstBus, name);
    QSignalSpy activations(first.get(), &SingleInstance::activated);
    ASSERT_EQ(first->claim(), SingleInstance::Outcome::primary);
    EXPECT_EQ(first->claim(), SingleInstance::Outcome::primary); // claiming again changes nothing

    // The second copy's blocking call is answered by the first copy's thread: run it on its own thread.
    qputenv("XDG_ACTIVATION_TOKEN", "token-from-the-desktop");
    SingleInstance::Outcome second = SingleInstance::Outcome::noBus;
    std::unique_ptr<QThread> copy(QThread::create([&] { second = SingleInstance(secondBus, name).claim(); }));
    copy->start();
    QTRY_VERIFY_WITH_TIMEOUT(copy->isFinished(), 10000);
    qunsetenv("XDG_ACTIVATION_TOKEN");
    EXPECT_EQ(second, SingleInstance::Outcome::secondary);
    ASSERT_EQ(activations.count(), 1);
    EXPECT_EQ(activations.at(0).at(0).toString(), "token-from-the-desktop");

    // Once the first copy is gone, the next one owns the name.
    first.reset();
    SingleInstance third(thirdBus, name);
    EXPECT_EQ(third.claim(), SingleInstance::Outcome::primary);
    EXPECT_EQ(QDBusConnection::sessionBus().interface()->serviceOwner(name).value(), thirdBus.baseService());

    // Without a bus the program runs alone.
    EXPECT_EQ(SingleInstance(QDBusConnection(QStringLiteral("never-connected"))).claim(),
              SingleInstance::Outcome::noBus);

    QDBusConnection::disconnectFromBus(QStringLiteral("first-copy"));
    QDBusConnection::disconnectFromBus(QStringLiteral("second-copy"));
    QDBusConnection::disconnectFromBus(QStringLiteral("third-copy"));
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
