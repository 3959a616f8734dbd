#include "platform/gui/DesktopUrlOpener.h"

#include <QDesktopServices>

namespace lunorvale {

bool DesktopUrlOpener::open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

} // namespace lunorvale
