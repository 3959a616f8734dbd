#pragma once

#include "support/EventLoop.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace lunorvale::test {

// One run of the built `lunorvale` program, waited for to the end.
struct ProgramRun {
    int exitCode = -1; // -1 when it crashed or did not finish
    QByteArray out;
    QByteArray err;

    QJsonObject report() const;
};

// With `standardOutput`, the program writes there (a file such as /dev/full) instead of into `out`.
ProgramRun runProgram(const QStringList& arguments, const QString& standardOutput = {});

// The program running in home folders of its own (HOME, XDG_CONFIG_HOME, XDG_DATA_HOME), on the
// offscreen platform unless `environment` says otherwise (an empty value removes a variable). Killed
// when the object goes if it still runs.
class RunningProgram final {
public:
    explicit RunningProgram(const QStringList& arguments, const QMap<QString, QString>& environment = {});
    ~RunningProgram();

    // The exit status; -1 when it did not end normally in time (a bound a healthy run never reaches).
    // Collects its output.
    int finish(int milliseconds = waitBoundMs);
    bool running() const { return m_process.state() == QProcess::Running; }
    void signal(int number) const;
    const QByteArray& out() const { return m_out; }
    const QByteArray& err() const { return m_err; }
    QString homeFile(const QString& relative) const { return m_home.filePath(relative); }
    // Every file the run left in its home folders.
    QStringList filesLeft() const;

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

} // namespace lunorvale::test
