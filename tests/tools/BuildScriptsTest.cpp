// The project's scripts as a packager, a new developer and the tests meet them: what a plain CMake
// build treats as an error, how tools/deps.sh asks which packages are missing, and which services the
// tests' buses can start.
#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<QByteArray>
output(const QString& program, const QStringList& arguments,
       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << ": " << process.readAllStandardError().toStdString();
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

} // namespace

// A packager's build (Release, the distribution's own flags) never fails for a warning; the project's
// own trees, which ask for it, fail for every one.
TEST(BuildScripts, WarningsAreErrorsOnlyWhereTheProjectAsksForIt) {
    const struct {
        const char* name;
        QStringList options;
        bool errors;
    } rows[] = {
        {"a packager's Release build",
         {"-DCMAKE_BUILD_TYPE=Release",
          "-DCMAKE_CXX_FLAGS=-g -O2 -fstack-protector-strong -Wformat -Werror=format-security"},
         false},
        {"the project's own tree", {"-DLUNORVALE_WERROR=ON"}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir tree;
        ASSERT_TRUE(tree.isValid());
        ASSERT_TRUE(
            output(QStringLiteral(LUNORVALE_CMAKE), QStringList{"-S", LUNORVALE_SOURCE_DIR, "-B", tree.path(),
                                                                "-G", "Ninja", "-DLUNORVALE_BENCH=OFF"} +
                                                        row.options));
        QFile commands(tree.filePath(QStringLiteral("compile_commands.json")));
        ASSERT_TRUE(commands.open(QIODevice::ReadOnly));
        const QJsonArray all = QJsonDocument::fromJson(commands.readAll()).array();
        ASSERT_FALSE(all.isEmpty());
        for (const QJsonValue& command : all) {
            const QStringList words = command.toObject().value(u"command").toString().split(u' ');
            ASSERT_EQ(words.contains(QStringLiteral("-Werror")), row.errors)
                << command.toObject().value(u"file").toString().toStdString();
        }
    }
}

// tools/run and tools/test ask dpkg once for every package, and call missing both a package that is
// not installed and one that dpkg has never heard of.
TEST(BuildScripts, MissingPackagesAreFoundWithOneQuery) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    // Answers as dpkg-query -W does: a line for each package it knows, a complaint for the others.
    QFile fake(bin.filePath(QStringLiteral("dpkg-query")));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("#!/bin/sh\necho query >>\"$QUERIES\"\nstatus=0\nfor p; do\n  case \"$p\" in\n"
               "    -*) ;;\n"
               "    \"$UNKNOWN\") echo \"dpkg-query: no packages found matching $p\" >&2; status=1 ;;\n"
               "    \"$REMOVED\") echo \"$p config-files\" ;;\n"
               "    *) echo \"$p installed\" ;;\n  esac\ndone\nexit $status\n");
    fake.close();
    ASSERT_TRUE(fake.setPermissions(fake.permissions() | QFile::ExeOwner));
    const QString deps = QStringLiteral(LUNORVALE_SOURCE_DIR "/tools/deps.sh");
    const std::optional<QByteArray> listed = output(
        QStringLiteral("bash"), {"-c", "source \"$1\"; echo \"${LUNORVALE_PACKAGES[@]}\"", "bash", deps});
    ASSERT_TRUE(listed);
    const QStringList packages = QString::fromUtf8(*listed).simplified().split(u' ');
    ASSERT_GE(packages.size(), 3);

    const struct {
        const char* name;
        QString unknown, removed;
        QString missing;
    } rows[] = {
        {"everything installed", {}, {}, {}},
        {"one removed, one unknown", packages.last(), packages.at(1),
         packages.at(1) + u' ' + packages.last()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           bin.path() + u':' + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("QUERIES"), bin.filePath(QStringLiteral("queries")));
        environment.insert(QStringLiteral("UNKNOWN"), row.unknown);
        environment.insert(QStringLiteral("REMOVED"), row.removed);
        QFile::remove(bin.filePath(QStringLiteral("queries")));
        const std::optional<QByteArray> missing =
            output(QStringLiteral("bash"), {"-c", "source \"$1\"; lunorvale_missing_packages", "bash", deps},
                   environment);
        ASSERT_TRUE(missing);
        EXPECT_EQ(QString::fromUtf8(*missing).trimmed(), row.missing);
        QFile queries(bin.filePath(QStringLiteral("queries")));
        ASSERT_TRUE(queries.open(QIODevice::ReadOnly));
        EXPECT_EQ(queries.readAll().count('\n'), 1);
    }
}

// Only the bus's own name can be started on a test's bus: a desktop service the machine has installed
// (a notification daemon, say) would otherwise start there without a display and fill the test log.
TEST(BuildScripts, TheTestsBusesStartNoServiceOfTheMachine) {
    lunorvale::test::PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    QList<QDBusConnection> buses{bus.connect(QStringLiteral("activatable"))};
    // The session bus is the test session's only inside tools/test-session.
    if (qEnvironmentVariable("LUNORVALE_IN_SESSION") == u"1")
        buses.append(QDBusConnection::sessionBus());
    for (const QDBusConnection& connection : buses) {
        ASSERT_TRUE(connection.isConnected());
        const QDBusReply<QStringList> names = connection.interface()->activatableServiceNames();
        ASSERT_TRUE(names.isValid());
        EXPECT_EQ(names.value().join(u' ').toStdString(), "org.freedesktop.DBus");
    }
}
