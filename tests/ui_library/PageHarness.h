#pragma once

// The library page over a scripted library model (see LibraryHarness): nothing reaches the disk, the
// processes, the removal service or the network unless a test puts the real thing in.

#include "library/LibraryHarness.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVText.h"
#include "ui/library/ApplicationLibraryDetails.h"
#include "ui/library/ApplicationLibraryView.h"
#include "ui/library/ApplicationList.h"
#include "ui_kit/WindowWaits.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTest>

namespace lunorvale::test {

struct PageHarness {
    LibraryHarness library;
    QList<LibraryAlert> alerts;
    bool answer = false; // what the user chooses in an alert
    int aiSettings = 0;
    AIConfiguration configuration{QStringLiteral("https://api.example.invalid/v1"), QStringLiteral("model")};
    std::unique_ptr<ApplicationLibraryView> view;

    ApplicationLibraryView& show(bool preview = false) {
        ApplicationLibraryModel& model = library.model ? *library.model : library.start(preview);
        ApplicationLibraryViewServices services;
        services.revealer = &library.revealer;
        services.urlOpener = &library.revealer;
        services.confirm = [this](const LibraryAlert& alert, QWidget*) {
            alerts.append(alert);
            return answer;
        };
        // A screenshot run has no icon loader, as the program gives it none.
        if (!preview) {
            services.makeIconLoader = [] {
                return std::make_unique<ApplicationIconLoader>(
                    [](const QString&) { return std::optional<QByteArray>(); });
            };
        }
        view = std::make_unique<ApplicationLibraryView>(
            model, configuration, [this] { ++aiSettings; }, services);
        view->resize(1180, 820);
        view->show();
        EXPECT_TRUE(test::waitForExposed(view.get()));
        settle();
        return *view;
    }
    ApplicationLibraryModel& model() { return *library.model; }
    // Lets queued refreshes and delivered results in; runs no background work.
    void settle() { EXPECT_TRUE(deliverDue()); }
    // Runs the background work the model handed over, and all that follows from it, to its end.
    void runWork() { EXPECT_TRUE(library.executor.settle()); }
    QPoint rowPoint(int row, bool checkBox) const {
        const QRect rect = view->list()->visualRect(view->listModel()->index(row));
        return checkBox ? ApplicationRowDelegate::checkBoxHitArea(rect).center()
                        : rect.center() + QPoint(60, 0);
    }
    void clickRow(int row, bool checkBox = false) {
        QTest::mouseClick(view->list()->viewport(), Qt::LeftButton, {}, rowPoint(row, checkBox));
        settle();
    }
};

inline QList<InstalledApplication> numberedApplications(int count) {
    QList<InstalledApplication> applications;
    for (int index = 0; index < count; ++index)
        applications.append(listedApplication(QStringLiteral("App %1").arg(index, 2, 10, QChar(u'0'))));
    return applications;
}

} // namespace lunorvale::test
