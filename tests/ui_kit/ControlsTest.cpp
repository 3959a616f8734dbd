#include "Pixels.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui_kit/WindowWaits.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <functional>

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

TEST(KitControls, FocusRingOnlyForKeyboardFocus) {
    const struct {
        const char* control;
        std::function<QWidget*()> make;
        bool ringOutside = false; // drawn around the control, which keeps its own look
    } controls[] = {
        {"button", [] { return new LVButton(LVButtonKind::secondary, QStringLiteral("按钮")); }, true},
        {"primary button", // on the accent fill, an accent ring inside would not show
         [] { return new LVButton(LVButtonKind::primary, QStringLiteral("开始使用")); }, true},
        {"plain button",
         [] {
             return new LVPlainButton(QStringLiteral("链接"), std::nullopt, Palette::accent,
                                      Fonts::system(11));
         },
         true},
        {"segmented control",
         [] {
             auto* control = new LVSegmentedControl({QStringLiteral("CPU"), QStringLiteral("内存")});
             control->setFixedWidth(150);
             return control;
         }},
        {"disclosure",
         [] {
             return new LVDisclosure(QStringLiteral("资源占用与观察依据"), new QWidget);
         }},
    };
    for (const auto& c : controls) {
        Window window;
        auto* before = new QPushButton(QStringLiteral("前"));
        window.show(before);
        // Hides when used, as the operation banner's close button and an AI request's "取消" do: Qt then
        // passes the focus on to the next control with the reason Tab.
        auto* closer =
            new LVPlainButton(QStringLiteral("关闭"), std::nullopt, Palette::ink, Fonts::system(11));
        QObject::connect(closer, &QAbstractButton::clicked, closer, &QWidget::hide);
        window.show(closer);
        QWidget* shown = c.make();
        window.show(shown);
        auto* disclosure = qobject_cast<LVDisclosure*>(shown);
        QWidget* control = disclosure ? disclosure->header() : shown;
        QApplication::setActiveWindow(&window.widget);
        ASSERT_TRUE(test::waitForActive(&window.widget));
        // Whether the control looks other with its focus than without it; a ring outside it leaves
        // the control itself as it was.
        const auto ringShown = [&] {
            const QImage focused = window.image();
            const QImage label = control->grab().toImage();
            control->clearFocus();
            const QImage unfocused = window.image();
            const bool labelKept = label == control->grab().toImage();
            control->setFocus(Qt::OtherFocusReason);
            EXPECT_TRUE(labelKept || !c.ringOutside) << c.control;
            return focused != unfocused;
        };

        // A click (on what is already chosen) gives the focus and no ring.
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(8, control->height() / 2));
        ASSERT_TRUE(control->hasFocus()) << c.control;
        EXPECT_FALSE(ringShown()) << c.control;
        // Nor does the focus passed on from a control hidden by a click.
        QTest::mouseClick(closer, Qt::LeftButton);
        ASSERT_TRUE(control->hasFocus()) << c.control;
        EXPECT_FALSE(ringShown()) << c.control;
        // A modifier alone is no keyboard use; any other key shows the ring.
        QTest::keyClick(control, Qt::Key_Shift);
        EXPECT_FALSE(ringShown()) << c.control;
        QTest::keyClick(control, Qt::Key_F2);
        EXPECT_TRUE(ringShown()) << c.control;
        // The next click takes it away.
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(8, control->height() / 2));
        EXPECT_FALSE(ringShown()) << c.control;
        // A control hidden from the keyboard leaves the ring on the next one.
        closer->show();
        closer->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(closer, Qt::Key_Space);
        ASSERT_TRUE(control->hasFocus()) << c.control;
        EXPECT_TRUE(ringShown()) << c.control;
        // Tab brings the ring after a click.
        QTest::mouseClick(before, Qt::LeftButton);
        QTest::keyClick(before, Qt::Key_Tab);
        ASSERT_TRUE(control->hasFocus()) << c.control;
        EXPECT_TRUE(ringShown()) << c.control;
    }
}
