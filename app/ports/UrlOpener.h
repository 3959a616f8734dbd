#pragma once

#include <QUrl>

namespace lunorvale {

// Opens a URL with the desktop's handler for it: a folder in the file manager, a web page in the browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when the desktop could not open it.
    virtual bool open(const QUrl& url) = 0;
};

} // namespace lunorvale
