#pragma once

#include "ui/window/PlaceholderParts.h"

#include <QString>
#include <optional>

namespace lunorvale {

class AppModel;

// The main window's content: the page a name selects, over the model.
class MainView final : public PlaceholderParts::Screen {
    Q_OBJECT
public:
    enum class Page { overview, processes, resources, applications, settings, history, help };

    MainView(AppModel& model, const std::optional<QString>& previewPage, QWidget* parent = nullptr);

    Page page() const { return m_page; }
    // The page a preview name starts on; the overview for any other name or none.
    static Page pageFor(const std::optional<QString>& name);
    static QString title(Page page);

private:
    Page m_page;
};

} // namespace lunorvale
