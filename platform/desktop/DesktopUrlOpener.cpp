#include "platform/desktop/DesktopUrlOpener.h"

#include "platform/ChildProcesses.h"

namespace lunorvale {

bool DesktopUrlOpener::open(const QUrl& url) {
    // Only complete URLs: anything else could read as an option or a relative file name.
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    return startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

} // namespace lunorvale
