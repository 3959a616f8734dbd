#pragma once

#include "app/ports/DesktopOpener.h"
#include "app/ports/FileRevealer.h"
#include "app/ports/FileWriter.h"
#include "app/ports/UrlOpener.h"
#include "platform/gui/ApplicationIconLoader.h"

#include <QString>
#include <functional>
#include <memory>

namespace lunorvale {

// What the screens reach of the desktop besides the models. The composition root gives the desktop's
// own, a screenshot run its stand-ins that stay in the process, tests their fakes: no screen makes one
// itself. An absent member reaches nothing.
struct ViewServices {
    // The settings and library pages: the desktop's settings programs, its login items, web pages.
    std::shared_ptr<DesktopOpener> desktop;
    // The application library page: its reveals in the file manager and the uninstall guide.
    FileRevealer* revealer = nullptr;
    UrlOpener* urlOpener = nullptr;
    // The library page's icon loader, made when the page is; absent: every icon is the placeholder.
    std::function<std::unique_ptr<ApplicationIconLoader>()> makeIconLoader;
    // Writes the exported history where the user chose.
    std::shared_ptr<FileWriter> fileWriter;
};

} // namespace lunorvale
