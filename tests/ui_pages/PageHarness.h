#pragma once

// The main window over a scripted model, with this folder's pages in it, and a guard that fails a test
// on any complaint of QAbstractItemModelTester.

#include "core/ai/AIConfiguration.h"
#include "model/ModelHarness.h"
#include "support/ModelTesterGuard.h"
#include "ui/window/HistoryPage.h"
#include "ui/window/MainView.h"
#include "ui/window/ProcessesPage.h"
#include "ui_kit/WindowWaits.h"

#include <QApplication>
#include <QTest>
#include <memory>

namespace lunorvale::test {

// A model with "encoder" (pid 700) flagged and selected, and "shell" (701) idle.
inline AppModel& flaggedModel(ModelHarness& h, const std::optional<AIConfiguration>& service = std::nullopt) {
    h.quickRules();
    if (service) {
        h.store().setValue(AppModel::Keys::aiConfiguration, service->toJson());
        h.store().setValue(AppModel::Keys::automaticAdvicePreference, false);
    }
    h.add(700, "encoder");
    h.add(701, "shell");
    AppModel& model = h.start();
    model.completeOnboarding();
    h.sample();
    h.run(60, {700});
    model.setSelectedID(ProcessIdentity{700, 5700});
    return model;
}

inline MainViewServices pageServices(HistoryExport::Services exportServices = {}) {
    MainViewServices services;
    services.pages.processes = [](MainView& view) {
        return new ProcessesPage(view);
    };
    services.pages.history = [exportServices](MainView& view) {
        return new HistoryPage(view, exportServices);
    };
    services.presentAlert = [](LVAlert&) {
        return -1;
    };
    return services;
}

// A shown, active main window on `page`.
struct PageWindow {
    std::unique_ptr<MainView> view;

    PageWindow(AppModel& model, Page page, const std::optional<QString>& previewPage = std::nullopt,
               MainViewServices services = pageServices()) {
        view = std::make_unique<MainView>(model, previewPage, std::move(services));
        view->resize(1180, 820);
        view->show();
        view->setPage(page);
        QApplication::setActiveWindow(view.get());
        EXPECT_TRUE(test::waitForActive(view.get()));
        settle();
    }
    // Lets queued refreshes run.
    static void settle() { EXPECT_TRUE(deliverDue()); }
    ProcessesPage* processes() const {
        return static_cast<ProcessesPage*>(view->pageWidget(Page::processes));
    }
    HistoryPage* history() const { return static_cast<HistoryPage*>(view->pageWidget(Page::history)); }
};

} // namespace lunorvale::test
