#include "WindowHarness.h"
#include "ui/window/DashboardApplicationList.h"
#include "ui/window/ResourceDashboardView.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLineEdit>

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

} // namespace

TEST(ScreenshotPages, EveryStringShownHasItsGlyphs) {
    for (const char* name : {"overview", "empty", "paused", "error", "loading", "stopping", "advice-ready",
                             "advice-pending", "help", "resources", "resources-pressure", "resources-unknown",
                             "resources-empty", "resources-paused", "resources-applications"}) {
        const QString page = QString::fromLatin1(name);
        WindowHarness h;
        MainView& view = h.openPreview(page, {1040, 720});
        for (const QWidget* widget : view.findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(&view))
                continue;
            if (const auto* text = qobject_cast<const LVText*>(widget))
                expectGlyphs(text->font(), text->text(), page);
            else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
                expectGlyphs(button->font(), button->text(), page);
            else if (const auto* field = qobject_cast<const QLineEdit*>(widget))
                expectGlyphs(field->font(), field->placeholderText(), page);
        }
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
