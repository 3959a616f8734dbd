#include "ui/library/ApplicationAdviceConsentView.h"
#include "ui/library/ApplicationReceiptsView.h"
#include "ui/library/ApplicationRemovalConfirmation.h"
#include "ui/settings/PrivacyView.h"
#include "ui/settings/WelcomeView.h"
#include "ui/window/AnalysisConsentView.h"
#include "ui/window/MainView.h"
#include "ui/window/MenuContent.h"
#include "ui/window/ScreenFactory.h"
#include "ui/window/StopConfirmationView.h"

namespace lunorvale {

namespace {

class StandardScreens final : public ScreenFactory {
public:
    explicit StandardScreens(ViewServices services) : m_services(std::move(services)) {}

    QWidget* mainView(AppModel& model, const std::optional<QString>& previewPage,
                      WindowRequests* requests) override {
        MainViewServices services;
        services.requests = requests;
        services.pages = MainPages::standard(m_services);
        return new MainView(model, previewPage, std::move(services));
    }
    QWidget* menuContent(AppModel& model, const MenuActions& actions) override {
        return new MenuContent(model, actions);
    }
    QWidget* stopConfirmation(AppModel& model, const StopRequest& request, std::function<void()> onCancel,
                              std::function<void()> onConfirm) override {
        return new StopConfirmationView(model, request, std::move(onCancel), std::move(onConfirm));
    }
    QWidget* analysisConsent(AppModel& model, const ProcessSample& sample,
                             std::function<void()> onDismiss) override {
        return new AnalysisConsentView(model, sample, std::move(onDismiss));
    }
    QWidget* applicationRemovalConfirmation(const InstalledApplication& application,
                                            std::function<void()> onCancel,
                                            std::function<void()> onConfirm) override {
        return new ApplicationRemovalConfirmation(application, std::move(onCancel), std::move(onConfirm));
    }
    QWidget* applicationReceipts(ApplicationLibraryModel& library, std::function<void()> close) override {
        return new ApplicationReceiptsView(library, std::move(close));
    }
    QWidget* applicationAdviceConsent(const ApplicationAdviceConsent& consent, bool preview,
                                      std::function<void()> onCancel,
                                      std::function<void()> onConfirm) override {
        return new ApplicationAdviceConsentView(consent, preview, std::move(onCancel), std::move(onConfirm));
    }
    QWidget* welcome(AppModel& model, std::function<void()> onComplete) override {
        return new WelcomeView(model, std::move(onComplete));
    }
    QWidget* privacy() override { return new PrivacyView(); }

private:
    ViewServices m_services;
};

} // namespace

std::unique_ptr<ScreenFactory> makeStandardScreens(ViewServices services) {
    return std::make_unique<StandardScreens>(std::move(services));
}

} // namespace lunorvale
