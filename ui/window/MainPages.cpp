#include "ui/window/MainPages.h"

#include "app/model/AppModel.h"
#include "ui/library/ApplicationLibraryPage.h"
#include "ui/library/ApplicationLibraryView.h"
#include "ui/settings/HelpView.h"
#include "ui/settings/PrivacyView.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/SoftwareUpdateBanner.h"
#include "ui/settings/WelcomeView.h"
#include "ui/window/AnalysisConsentView.h"
#include "ui/window/HistoryPage.h"
#include "ui/window/MainView.h"
#include "ui/window/OverviewPage.h"
#include "ui/window/ProcessesPage.h"
#include "ui/window/StopConfirmationView.h"

namespace lunorvale {

MainPages MainPages::standard(const ViewServices& views) {
    MainPages pages;
    pages.overview = [](MainView& view) {
        return new OverviewPage(view);
    };
    pages.processes = [](MainView& view) {
        return new ProcessesPage(view);
    };
    pages.history = [writer = views.fileWriter](MainView& view) {
        HistoryExport::Services exportServices;
        exportServices.writer = writer;
        return new HistoryPage(view, std::move(exportServices));
    };
    ApplicationLibraryViewServices library;
    library.revealer = views.revealer;
    library.urlOpener = views.urlOpener;
    library.desktop = views.desktop;
    library.makeIconLoader = views.makeIconLoader;
    pages.applications = [library](MainView& view) {
        return makeApplicationLibraryPage(
            view.model(), [&view] { view.openAISettings(); }, library);
    };
    pages.settings = [desktop = views.desktop](MainView& view) {
        SettingsServices services;
        services.opener = desktop;
        services.presentAlert = view.alertPresenter();
        auto* page = new SettingsView(view.model(), view.settingsSection(), view.state().aiSettingsRequest,
                                      std::move(services));
        // Opened for the AI service while a request stands; a new request while open opens it again.
        page->setAINavigationRequestSource([&view] { return view.state().aiSettingsRequest; });
        QObject::connect(&view, &MainView::aiSettingsRequestChanged, page,
                         [page, &view] { page->setAINavigationRequest(view.state().aiSettingsRequest); });
        return page;
    };
    pages.help = [](AppModel& model) {
        return new HelpView(model);
    };
    pages.updateBanner = [](AppModel& model) {
        return new SoftwareUpdateBanner(model.softwareUpdater());
    };
    pages.stopConfirmation = [](AppModel& model, const StopRequest& request, std::function<void()> onCancel,
                                std::function<void()> onConfirm) {
        return new StopConfirmationView(model, request, std::move(onCancel), std::move(onConfirm));
    };
    pages.analysisConsent = [](AppModel& model, const ProcessSample& sample,
                               std::function<void()> onDismiss) {
        return new AnalysisConsentView(model, sample, std::move(onDismiss));
    };
    pages.welcome = [](AppModel& model, std::function<void()> onComplete) {
        return new WelcomeView(model, std::move(onComplete));
    };
    pages.privacy = [](std::function<void()> dismiss) {
        return new PrivacyView(std::move(dismiss));
    };
    return pages;
}

} // namespace lunorvale
