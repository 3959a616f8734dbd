#include "platform/BundleProcesses.h"

#include "platform/probes/lv_probes.h"

#include <QFile>

namespace lunorvale {

BundleProcesses::Answer SystemBundleProcesses::runningFrom(const QString& bundlePath) const {
    switch (lv_application_running(QFile::encodeName(bundlePath).constData())) {
    case 0:
        return Answer::none;
    case 1:
        return Answer::running;
    default:
        return Answer::unknown;
    }
}

} // namespace lunorvale
