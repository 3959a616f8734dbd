#pragma once

#include "app/ports/UrlOpener.h"

namespace lunorvale {

// The desktop's own handler: `xdg-open URL`, started detached with the program's original open-file
// limit (QDesktopServices would hand its child the raised one).
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override;
};

} // namespace lunorvale
