#pragma once

// A main window over a scripted model: the model harness's process table and clock, the window's
// requests object, and alerts answered by the test.

#include "model/ModelHarness.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVText.h"
#include "ui/kit/Palette.h"
#include "ui/window/MainView.h"
#include "ui/window/OverviewPage.h"
#include "ui/window/WindowRequests.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <memory>

namespace lunorvale::test {

struct WindowHarness : ModelHarness {
    WindowRequests requests;
    std::unique_ptr<MainView> view;
    // The index of the button the next alert answers with; the alerts seen.
    int alertAnswer = 0;
    QStringList alertButtons;
    QString alertDefault;
    bool alertDestructive = false;

    MainView& open(const std::optional<QString>& previewPage = std::nullopt, QSize size = {1180, 820}) {
        MainViewServices services;
        services.requests = &requests;
        services.presentAlert = [this](LVAlert& alert) {
            alertButtons.clear();
            for (const LVButton* button : alert.buttons())
                alertButtons.append(button->text());
            alertDefault = alert.defaultButton()->text();
            alertDestructive = alert.buttons().last()->kind() == LVButtonKind::danger;
            // Escape takes the default button too.
            QTest::keyClick(&alert, Qt::Key_Escape);
            EXPECT_EQ(alertButtons.value(alert.chosen()), alertDefault);
            return alertAnswer;
        };
        view = std::make_unique<MainView>(*model, previewPage, std::move(services));
        view->resize(size);
        view->show();
        QApplication::setActiveWindow(view.get());
        settle();
        return *view;
    }

    // The overview page; null before it first showed.
    OverviewPage* overview() const { return static_cast<OverviewPage*>(view->pageWidget(Page::overview)); }

    // A preview model set up for a screenshot page, as the program does it.
    MainView& openPreview(const QString& page, QSize size = {1180, 820}) {
        start(true);
        model->configurePreview(page);
        model->configureAdvicePreview(page);
        model->configureAIStatusPreview(page);
        return open(page == QLatin1String("overview") ? std::nullopt : std::optional(page), size);
    }

    // Queued refreshes and layouts run, and what they leave to delete goes.
    static void settle() {
        EXPECT_TRUE(deliverDue());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(deliverDue());
    }

    // A process of an application bundle, so that the grouper puts it with its siblings.
    void addInBundle(int32_t pid, const QByteArray& name, const QString& bundle) {
        platform.put(InMemoryProcessPlatform::process(pid, 5000 + pid, name,
                                                      QStringLiteral("/Applications/") + bundle +
                                                          QStringLiteral(".app/Contents/MacOS/") +
                                                          QString::fromUtf8(name),
                                                      QString::fromUtf8(name)));
    }
};

} // namespace lunorvale::test
