#include "platform/ChildProcesses.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"
#include "support/Files.h"

#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::test;
using namespace std::chrono_literals;

namespace {

// The first bytes of a 64-bit Mach-O program for arm64, then a line a shell would run (a builtin: PATH
// points at the test's folders only).
QByteArray machOWithShellLine(const QString& marker) {
    return QByteArray::fromHex("cffaedfe0c00000100000000020000000000000000000000") + "\n: > " +
           QFile::encodeName(marker) + '\n';
}

void writeProgram(const QString& path, const QByteArray& bytes, QFile::Permissions permissions) {
    writeFile(path, bytes);
    ASSERT_TRUE(QFile::setPermissions(path, permissions));
}

} // namespace

// A file the system cannot run fails to start, named by its path or found through PATH; it is never
// handed to a shell. PATH is searched as the shell does: a folder whose file may not be run passes on.
TEST(ChildProcesses, StartsDetachedOnlyWhatTheSystemCanRun) {
    QTemporaryDir folder;
    const QString marker = folder.filePath(QStringLiteral("ran"));
    const QFile::Permissions runnable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QString first = folder.filePath(QStringLiteral("first")),
                  second = folder.filePath(QStringLiteral("second"));
    writeProgram(first + QStringLiteral("/Beta"), machOWithShellLine(marker), runnable);
    writeProgram(first + QStringLiteral("/tool"), "#!/bin/sh\n: > " + QFile::encodeName(marker) + '\n',
                 QFile::ReadOwner | QFile::WriteOwner);
    writeProgram(second + QStringLiteral("/tool"), "#!/bin/sh\n: > " + QFile::encodeName(marker) + '\n',
                 runnable);
    const ScopedVariable path("PATH", first + u':' + second);

    const std::pair<QString, bool> cases[] = {
        {first + QStringLiteral("/Beta"), false}, {QStringLiteral("Beta"), false},
        {QStringLiteral("missing"), false},       {first + QStringLiteral("/tool"), false}, // not executable
        {QStringLiteral("tool"), true}, // the second folder's
        {second + QStringLiteral("/tool"), true},
    };
    for (const auto& [program, starts] : cases) {
        SCOPED_TRACE(program.toStdString());
        QFile::remove(marker);
        EXPECT_EQ(startDetached(program, {}), starts);
        if (starts) {
            EXPECT_TRUE(pollUntil([&] { return QFile::exists(marker); }, test::waitBound));
        }
    }
}
