#pragma once

#include <QStringList>

class QProcess;

namespace lunorvale {

// Every process the program starts gets the open-file limit the program itself started with, not
// the one raised for the process probes' kept descriptors (a program that walks or selects over its
// descriptors would pay for it).

// For QProcess::start. Qt 6.4 does not run this setup for QProcess::startDetached: use
// startDetached below instead.
void useOriginalLimits(QProcess& process);

// Starts `program` (a path, or a name looked up in the folders of PATH) in a session of its own, not as a
// child of this process, with the standard channels inherited. False when it could not be started. A file
// the system cannot run (a binary of another system, a script without "#!") fails to start: unlike
// execvp, nothing hands it to /bin/sh.
bool startDetached(const QString& program, const QStringList& arguments);

} // namespace lunorvale
