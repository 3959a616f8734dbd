#pragma once

class QProcess;

namespace lunorvale {

// Every process the program starts gets the open-file limit the program itself started with, not
// the one raised for the process probes' kept descriptors (a program that walks or selects over its
// descriptors would pay for it). Call before QProcess::start or the member startDetached.
void useOriginalLimits(QProcess& process);

} // namespace lunorvale
