#include "WindowHarness.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/window/AnalysisConsentView.h"
#include "ui/window/DashboardApplicationList.h"
#include "ui/window/MenuContent.h"
#include "ui/window/ResourceDashboardView.h"
#include "ui/window/StopConfirmationView.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QFontMetrics>
#include <QLineEdit>
#include <QUuid>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// Every character of `text` has a glyph in `font` (a missing one would be drawn as a box).
void expectGlyphs(const QFont& font, const QString& text, const QString& page) {
    const QFontMetrics metrics(font);
    for (const uint character : text.toUcs4()) {
        if (QChar::isSpace(character))
            continue;
        EXPECT_TRUE(metrics.inFontUcs4(character))
            << page.toStdString() << ": U+" << std::hex << character << " in " << text.toStdString();
    }
}

// Every text shown under `root`, and every row of its flat lists.
void expectShownGlyphs(const QWidget* root, const QString& page) {
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(root))
            continue;
        if (const auto* text = qobject_cast<const LVText*>(widget))
            expectGlyphs(text->font(), text->text(), page);
        else if (const auto* selectable = qobject_cast<const LVSelectableText*>(widget))
            expectGlyphs(selectable->font(), selectable->text(), page);
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            expectGlyphs(button->font(), button->text(), page);
        else if (const auto* field = qobject_cast<const QLineEdit*>(widget))
            expectGlyphs(field->font(), field->placeholderText(), page);
        else if (const auto* list = qobject_cast<const QAbstractItemView*>(widget); list && list->model())
            for (int row = 0; row < list->model()->rowCount(); ++row)
                expectGlyphs(list->font(),
                             list->model()->index(row, 0).data(Qt::AccessibleTextRole).toString(), page);
    }
}

} // namespace

TEST(ScreenshotPages, EveryStringShownHasItsGlyphs) {
    for (const char* name : {"overview",
                             "empty",
                             "paused",
                             "error",
                             "loading",
                             "stopping",
                             "advice-ready",
                             "advice-pending",
                             "help",
                             "resources",
                             "resources-pressure",
                             "resources-unknown",
                             "resources-empty",
                             "resources-paused",
                             "resources-applications",
                             "processes",
                             "process-empty",
                             "process-protected",
                             "ai-loading",
                             "ai-error",
                             "ai-result",
                             "advice-detail",
                             "notification-recovered",
                             "notification-missing",
                             "history",
                             "history-empty",
                             "history-error"}) {
        const QString page = QString::fromLatin1(name);
        WindowHarness h;
        MainView& view = h.openPreview(page, {1040, 720});
        expectShownGlyphs(&view, page);
        if (ResourceDashboardView* resources = view.resourcesPage()) {
            const ApplicationGroupsModel* rows = resources->applications()->model();
            for (int g = 0; g < rows->rowCount(); ++g) {
                const QModelIndex group = rows->index(g, 0);
                expectGlyphs(view.font(), rows->data(group, Qt::AccessibleTextRole).toString(), page);
                for (int c = 0; c < rows->rowCount(group); ++c)
                    expectGlyphs(view.font(),
                                 rows->data(rows->index(c, 0, group), Qt::AccessibleTextRole).toString(),
                                 page);
            }
        }
    }
}

TEST(ScreenshotPages, PopoverAndSheetStringsHaveTheirGlyphs) {
    for (const char* name : {"menu", "menu-memory", "menu-paused", "menu-advice-long", "stop"}) {
        const QString page = QString::fromLatin1(name);
        WindowHarness h;
        h.start(true);
        h.model->configurePreview(page);
        h.model->configureAdvicePreview(page);
        h.model->configureAIStatusPreview(page);
        const ProcessSample selected = h.model->processes().first();
        std::unique_ptr<QWidget> screens[] = {
            std::make_unique<MenuContent>(*h.model, MenuActions{}),
            std::make_unique<StopConfirmationView>(*h.model, StopRequest{QUuid::createUuid(), selected, true},
                                                   nullptr, nullptr),
            std::make_unique<AnalysisConsentView>(*h.model, selected, nullptr)};
        for (const auto& screen : screens) {
            screen->show();
            WindowHarness::settle();
            expectShownGlyphs(screen.get(), page);
        }
    }
}
