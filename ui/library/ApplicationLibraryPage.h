#pragma once

#include <QWidget>
#include <functional>

namespace lunorvale {

class AppModel;
struct ApplicationLibraryViewServices;

// The library page as the main window hosts it: over the model's library, following the saved AI
// settings; `configureAI` opens the AI section of the settings. A model without a library gets an
// empty page.
QWidget* makeApplicationLibraryPage(AppModel& model, std::function<void()> configureAI,
                                    const ApplicationLibraryViewServices& services);

} // namespace lunorvale
