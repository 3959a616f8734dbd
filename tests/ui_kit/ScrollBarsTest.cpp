// The kit's scroll bars and menus, as every scroll area and menu of the program draws them.
#include "Pixels.h"
#include "ui/kit/KitStyle.h"
#include "ui_kit/WindowWaits.h"

#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <cmath>
#include <memory>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// The contrast ratio of two colours as accessibility guidelines define it (1 to 21).
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& color) {
        const auto channel = [](double value) {
            return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
               0.0722 * channel(color.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

TEST(KitScrollBars, ThinWithoutArrowsAndAHandleThatStandsOut) {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        auto* area = new QScrollArea;
        auto* content = new QWidget;
        content->setMinimumSize(150, 3000);
        area->setWidget(content);
        area->setFixedSize(200, 300);
        Window window(appearance, area);
        ASSERT_TRUE(test::waitForExposed(&window.widget));
        QScrollBar* bar = area->verticalScrollBar();
        ASSERT_TRUE(bar->isVisible());
        EXPECT_LT(bar->width(), fusion->pixelMetric(QStyle::PM_ScrollBarExtent));

        // The handle, at the top, against the groove under it.
        const QImage image = window.image();
        const QPoint handle = bar->mapTo(&window.widget, QPoint(bar->width() / 2, 14));
        const QPoint groove = bar->mapTo(&window.widget, QPoint(bar->width() / 2, bar->height() - 4));
        EXPECT_GE(contrast(image.pixelColor(handle), image.pixelColor(groove)), 2.0)
            << hex(image.pixelColor(handle)) << " on " << hex(image.pixelColor(groove));

        // No arrow buttons: a click at either end of the bar turns a page, never a line.
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 2));
        EXPECT_GE(bar->value(), bar->pageStep());
        const int bottom = bar->value();
        bar->setValue(bar->maximum());
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 1));
        EXPECT_LE(bar->value(), bar->maximum() - bar->pageStep());
        EXPECT_GT(bottom, bar->singleStep());
    }
}

// A menu item marked destructive reads in the danger colour in both appearances, as a destructive
// button does; the other items keep their ink.
TEST(KitMenus, ADestructiveItemReadsInTheDangerColour) {
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        QMenu menu;
        menu.setPalette(Palette::qtPalette(appearance));
        QAction* plain = menu.addAction(QStringLiteral("请求退出"));
        QAction* destructive = menu.addAction(QStringLiteral("强制结束…"));
        KitStyle::setDestructive(destructive);
        menu.popup(QPoint(0, 0));
        ASSERT_TRUE(test::waitForExposed(&menu));
        const QImage image = menu.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QColor danger = Palette::danger.resolved(appearance);
        const auto dangerPixels = [&](QAction* action) {
            const QRect item = menu.actionGeometry(action);
            int count = 0;
            for (int y = item.top(); y <= item.bottom(); ++y)
                for (int x = item.left(); x <= item.right(); ++x)
                    count += near(image.pixelColor(x, y), danger, 12) ? 1 : 0;
            return count;
        };
        EXPECT_GT(dangerPixels(destructive), 10) << static_cast<int>(appearance);
        EXPECT_EQ(dangerPixels(plain), 0) << static_cast<int>(appearance);
        menu.close();
    }
}
