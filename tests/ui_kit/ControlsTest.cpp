#include "Pixels.h"
#include "ui/kit/LVSegmentedControl.h"

#include <QAbstractButton>
#include <QSignalSpy>
#include <QTest>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(KitControls, SegmentedControlChoosesOneSegment) {
    auto* control = new LVSegmentedControl({QStringLiteral("15 分钟"), QStringLiteral("60 分钟")});
    control->setFixedWidth(180);
    Window window(Appearance::light, control);
    QSignalSpy changes(control, &LVSegmentedControl::currentIndexChanged);
    QTest::mouseClick(control, Qt::LeftButton, {}, control->segmentRect(1).center());
    EXPECT_EQ(control->currentIndex(), 1);
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_Right, 1}, {Qt::Key_Left, 0}, {Qt::Key_Left, 0}};
    for (const auto& [key, index] : keys) {
        QTest::keyClick(control, key);
        EXPECT_EQ(control->currentIndex(), index);
    }
    control->setCurrentIndex(7); // ignored
    EXPECT_EQ(control->currentIndex(), 0);
    EXPECT_EQ(changes.count(), 2);
    // The chosen segment is drawn on the surface, the other one on the track.
    const QImage image = window.image();
    const QPoint chosen = control->mapTo(&window.widget, control->segmentRect(0).topLeft() + QPoint(6, 4));
    const QPoint other = control->mapTo(&window.widget, control->segmentRect(1).topLeft() + QPoint(6, 4));
    EXPECT_TRUE(near(image.pixelColor(chosen), Palette::surface.resolved(Appearance::light)));
    EXPECT_TRUE(near(image.pixelColor(other), Palette::canvas.resolved(Appearance::light)));
}
