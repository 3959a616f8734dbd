#pragma once

// The main window over a scripted model, with this folder's pages in it, and a guard that fails a test
// on any complaint of QAbstractItemModelTester.

#include "model/ModelHarness.h"
#include "ui/window/HistoryPage.h"
#include "ui/window/MainView.h"
#include "ui/window/ProcessesPage.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTest>
#include <memory>

namespace lunorvale::test {

// Fails the running test on every warning of the item-model tester while it lives.
class ModelTesterGuard final {
public:
    ModelTesterGuard() { s_previous = qInstallMessageHandler(&ModelTesterGuard::handle); }
    ~ModelTesterGuard() { qInstallMessageHandler(s_previous); }
    void watch(QAbstractItemModel* model) {
        m_testers.push_back(std::make_unique<QAbstractItemModelTester>(
            model, QAbstractItemModelTester::FailureReportingMode::Warning));
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type >= QtWarningMsg && context.category && QByteArray(context.category) == "qt.modeltest")
            ADD_FAILURE() << message.toStdString();
        else if (s_previous)
            s_previous(type, context, message);
    }
    static inline QtMessageHandler s_previous = nullptr;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> m_testers;
};

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
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
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
