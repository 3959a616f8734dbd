#include "ui/window/MainPages.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/library/ApplicationLibraryPage.h"
#include "ui/library/ApplicationLibraryView.h"
#include "ui/settings/PrivacyView.h"
#include "ui/settings/WelcomeView.h"
#include "ui/window/AnalysisConsentView.h"
#include "ui/window/HistoryPage.h"
#include "ui/window/MainView.h"
#include "ui/window/ProcessesPage.h"
#include "ui/window/StopConfirmationView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace lunorvale {

namespace {

// A page that is not built yet: its name and what it will hold.
QWidget* standInPage(const QString& name, const QString& title, const QString& subtitle) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("stand-in:") + name);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    column->addWidget(new SectionHeading(title, subtitle));
    column->addStretch(1);
    return page;
}

} // namespace

MainPages MainPages::standard() {
    MainPages pages;
    pages.processes = [](MainView& view) {
        return new ProcessesPage(view);
    };
    pages.history = [](MainView& view) {
        return new HistoryPage(view);
    };
    pages.applications = [](MainView& view) {
        return makeApplicationLibraryPage(view.model(), [&view] { view.openAISettings(); }, {});
    };
    pages.settings = [](MainView& view) {
        QWidget* page = standInPage(QStringLiteral("settings"), QStringLiteral("设置"),
                                    QStringLiteral("观察规则、提醒、AI 服务、外观和数据。"));
        // Opened for the AI service while a request stands; a new request while open opens it again.
        const auto follow = [page, &view] {
            page->setProperty("aiSettingsRequest", view.state().aiSettingsRequest
                                                       ? view.state().aiSettingsRequest->toString()
                                                       : QString());
        };
        follow();
        QObject::connect(&view, &MainView::aiSettingsRequestChanged, page, follow);
        return page;
    };
    pages.help = [](AppModel&) {
        return standInPage(QStringLiteral("help"), QStringLiteral("帮助与关于"),
                           QStringLiteral("岚栖如何观察进程，以及常见问题。"));
    };
    // The sheets of later work, as the shell's stand-ins.
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
    // The stand-in is closed with Escape; the real statement takes `dismiss` for its own button.
    pages.privacy = [](std::function<void()>) {
        return new PrivacyView();
    };
    return pages;
}

} // namespace lunorvale
