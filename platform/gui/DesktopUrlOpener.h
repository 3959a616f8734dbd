#pragma once

#include "platform/desktop/FileReveal.h"

namespace lunorvale {

// The desktop's own handler through QDesktopServices (xdg-open and the portals). Needs a
// QGuiApplication: in a program without one it opens nothing and answers false.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override;
};

} // namespace lunorvale
