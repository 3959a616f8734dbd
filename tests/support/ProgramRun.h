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

ProgramRun runProgram(const QStringList& arguments);

} // namespace lunorvale::test
