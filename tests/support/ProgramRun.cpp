#include "support/ProgramRun.h"

#include "platform/ChildProcesses.h"

#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

namespace lunorvale::test {

QJsonObject ProgramRun::report() const {
    return QJsonDocument::fromJson(out).object();
}

ProgramRun runProgram(const QStringList& arguments, const QString& standardOutput) {
    QProcess process;
    useOriginalLimits(process);
    if (!standardOutput.isEmpty())
        process.setStandardOutputFile(standardOutput);
    process.start(QStringLiteral(LUNORVALE_BINARY), arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace lunorvale::test
