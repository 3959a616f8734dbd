#include "app/library/ApplicationLibraryModel.h"
#include "library/LibraryHarness.h"
#include "ui/kit/Palette.h"
#include "ui/library/ApplicationAdviceConsentView.h"
#include "ui/library/ApplicationLibraryView.h"
#include "ui/library/ApplicationReceiptsView.h"
#include "ui/library/ApplicationRemovalConfirmation.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

using namespace lunorvale;

TEST(Scratch, Render) {
    const QString out = qEnvironmentVariable("SHOTS");
    if (out.isEmpty())
        GTEST_SKIP();
    QDir().mkpath(out);
    for (const char* appearance : {"light", "dark"}) {
        Palette::apply(QString(appearance) == "dark" ? Appearance::dark : Appearance::light);
        for (const char* scenario : {"applications", "applications-empty", "applications-loading",
                                     "applications-error", "applications-checking", "applications-quit",
                                     "applications-vendor", "applications-login", "applications-ai-result"}) {
            test::LibraryHarness h;
            ApplicationLibraryModel& model = h.start(true);
            model.configurePreview(scenario);
            ApplicationLibraryView view(model, {"https://api.deepseek.com", "deepseek-chat"}, {});
            if (QString(scenario) == "applications-ai-result")
                view.setShowAISelection(true);
            view.resize(1180, 820);
            view.show();
            QApplication::processEvents();
            QApplication::processEvents();
            view.grab().save(out + "/" + scenario + "-" + appearance + ".png");
        }
        test::LibraryHarness h;
        ApplicationLibraryModel& model = h.start(true);
        ApplicationRemovalConfirmation removal(model.applications().first(), {}, {});
        removal.show();
        QApplication::processEvents();
        removal.grab().save(out + "/remove-" + appearance + ".png");
        model.configurePreview("applications-record-error");
        ApplicationReceiptsView receipts(model, {});
        receipts.show();
        QApplication::processEvents();
        receipts.grab().save(out + "/record-error-" + appearance + ".png");
        ApplicationAdviceConsent consent{QUuid::createUuid(),
                                         model.summary(),
                                         {"https://api.deepseek.com", "deepseek-chat"},
                                         QDateTime::currentDateTime(),
                                         2};
        ApplicationAdviceConsentView sheet(consent, true, {}, {});
        sheet.show();
        QApplication::processEvents();
        sheet.grab().save(out + "/consent-" + appearance + ".png");
    }
    Palette::apply(Appearance::light);
}
