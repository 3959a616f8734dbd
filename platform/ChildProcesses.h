#pragma once

class QProcess;

namespace lunorvale {

// Every process the program starts gets the open-file limit the program itself started with, not
// the one raised for the process probes' kept descriptors (a program that walks or selects over its
// descriptors would pay for it). Call before QProcess::start. Qt 6.4 does not run this setup for
// QProcess::startDetached: a process started detached needs a launcher of its own that restores
// the limit (lv_restore_file_limit) between fork and exec.
void useOriginalLimits(QProcess& process);

} // namespace lunorvale
