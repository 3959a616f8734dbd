#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

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

} // namespace lunorvale::test
