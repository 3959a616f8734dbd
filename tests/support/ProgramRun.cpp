#include "support/ProgramRun.h"
#include "support/EventLoop.h"

#include "platform/ChildProcesses.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QProcess>
#include <csignal>
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
    EXPECT_TRUE(process.waitForFinished(test::waitBoundMs));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

RunningProgram::RunningProgram(const QStringList& arguments, const QMap<QString, QString>& environment) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral(".local/share")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (auto it = environment.begin(); it != environment.end(); ++it) {
        if (it.value().isEmpty())
            env.remove(it.key());
        else
            env.insert(it.key(), it.value());
    }
    m_process.setProcessEnvironment(env);
    useOriginalLimits(m_process);
    m_process.start(QStringLiteral(LUNORVALE_BINARY), arguments);
    EXPECT_TRUE(m_process.waitForStarted(waitBoundMs));
}

RunningProgram::~RunningProgram() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(waitBoundMs);
    }
}

int RunningProgram::finish(int milliseconds) {
    if (!m_process.waitForFinished(milliseconds))
        return -1;
    m_out = m_process.readAllStandardOutput();
    m_err = m_process.readAllStandardError();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void RunningProgram::signal(int number) const {
    ::kill(static_cast<pid_t>(m_process.processId()), number);
}

QStringList RunningProgram::filesLeft() const {
    QStringList files;
    QDirIterator it(m_home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

} // namespace lunorvale::test
