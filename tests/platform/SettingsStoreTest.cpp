#include "platform/files/SettingsStore.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(SettingsStore, KeepsTypedValuesAcrossStoresOverOneFile) {
    QTemporaryDir temporary;
    const QString path = temporary.path() + QStringLiteral("/Lunorvale/defaults.json");
    SettingsStore model(path);
    SettingsStore updater(path);
    EXPECT_FALSE(model.value(QStringLiteral("appearance")));

    EXPECT_TRUE(model.setValue(QStringLiteral("appearance"), QStringLiteral("dark")));
    EXPECT_TRUE(model.setValue(QStringLiteral("attempts"), QJsonArray{1.5, 1e9}));
    // The second store never saw these keys; its change must not drop them.
    EXPECT_TRUE(updater.setValue(QStringLiteral("skipped"), QStringLiteral("1.2.0")));
    EXPECT_TRUE(model.setValue(QStringLiteral("onboarded"), true));
    EXPECT_TRUE(model.remove(QStringLiteral("attempts")));

    SettingsStore reopened(path);
    EXPECT_EQ(reopened.stringValue(QStringLiteral("appearance")), QStringLiteral("dark"));
    EXPECT_EQ(reopened.stringValue(QStringLiteral("skipped")), QStringLiteral("1.2.0"));
    EXPECT_EQ(reopened.boolValue(QStringLiteral("onboarded")), true);
    EXPECT_FALSE(reopened.value(QStringLiteral("attempts")));
    // A value of another type is not converted.
    EXPECT_FALSE(reopened.boolValue(QStringLiteral("appearance")));
    EXPECT_FALSE(reopened.doubleValue(QStringLiteral("onboarded")));

    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(temporary.path() + QStringLiteral("/Lunorvale")), 0700u);
}

// A store without a file (a screenshot run's) keeps its changes for its life; reading again loses none.
TEST(SettingsStore, InMemoryKeepsItsChanges) {
    SettingsStore store = SettingsStore::inMemory();
    EXPECT_TRUE(store.path().isEmpty());
    EXPECT_TRUE(store.setValue(QStringLiteral("appearance"), QStringLiteral("dark")));
    EXPECT_TRUE(store.setValue(QStringLiteral("onboarded"), true));
    EXPECT_TRUE(store.remove(QStringLiteral("onboarded")));
    store.reload();
    EXPECT_EQ(store.stringValue(QStringLiteral("appearance")), QStringLiteral("dark"));
    EXPECT_FALSE(store.value(QStringLiteral("onboarded")));
    EXPECT_TRUE(store.lastError().isEmpty());
    EXPECT_FALSE(SettingsStore::inMemory().value(QStringLiteral("appearance")));
}

TEST(SettingsStore, KeepsADamagedFileAside) {
    QTemporaryDir temporary;
    const QString path = temporary.path() + QStringLiteral("/defaults.json");
    for (const QByteArray& damaged : {QByteArray("{\"appearance\": \"dark\""), QByteArray("[1, 2]")}) {
        QDir(temporary.path()).removeRecursively();
        QDir().mkpath(temporary.path());
        writeFile(path, damaged);
        SettingsStore store(path);
        EXPECT_FALSE(store.value(QStringLiteral("appearance")));
        EXPECT_TRUE(store.setValue(QStringLiteral("appearance"), QStringLiteral("light")));
        EXPECT_EQ(readFile(path + QStringLiteral(".damaged-1")), damaged);
        EXPECT_EQ(SettingsStore(path).stringValue(QStringLiteral("appearance")), QStringLiteral("light"));
    }
}
