#include "ui/library/ApplicationLibraryPage.h"

#include "app/model/AppModel.h"
#include "ui/library/ApplicationLibraryView.h"

namespace lunorvale {

QWidget* makeApplicationLibraryPage(AppModel& model, std::function<void()> configureAI,
                                    const ApplicationLibraryViewServices& services) {
    ApplicationLibraryModel* library = model.applicationLibrary();
    if (!library)
        return new QWidget;
    auto* page =
        new ApplicationLibraryView(*library, model.aiConfiguration(), std::move(configureAI), services);
    QObject::connect(&model, &AppModel::aiConfigurationChanged, page,
                     [page, &model] { page->setConfiguration(model.aiConfiguration()); });
    return page;
}

} // namespace lunorvale
