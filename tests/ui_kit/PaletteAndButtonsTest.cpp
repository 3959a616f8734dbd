#include "Pixels.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"

#include <QPainter>
#include <QTest>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// Paints one palette colour over its whole area, resolved as every kit widget resolves it.
class Swatch final : public QWidget {
public:
    explicit Swatch(AdaptiveColor color) : m_color(color) { setFixedSize(4, 4); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_color.in(this)); }

private:
    AdaptiveColor m_color;
};

const Appearance appearances[] = {Appearance::light, Appearance::dark};

} // namespace

// A widget paints the colour of the appearance of the window it is in, opaque.
TEST(Kit, ColoursResolveByTheWindowsAppearance) {
    const QList<std::tuple<AdaptiveColor, const char*, const char*>> cases{
        {Palette::ink, "#252d3a", "#edf2f8"},
        {Palette::surface, "#ffffff", "#1b2330"},
    };
    for (const auto& [color, light, dark] : cases) {
        for (const Appearance appearance : appearances) {
            Window window(appearance, new Swatch(color));
            const QColor shown = window.image().pixelColor(window.row->itemAt(0)->geometry().center());
            EXPECT_EQ(shown.alpha(), 255);
            EXPECT_EQ(hex(shown), appearance == Appearance::dark ? dark : light);
        }
    }
    // A palette that is not the kit's still decides by its lightness.
    Swatch foreign(Palette::surface);
    foreign.setPalette(QPalette(QColor(0x30, 0x30, 0x30)));
    EXPECT_EQ(hex(foreign.grab().toImage().pixelColor(1, 1)), "#1b2330");
}

TEST(Kit, SwitchingTheAppearanceRepaintsLiveWidgets) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* content = new QWidget;
    content->setMinimumSize(160, 80);
    LVCard* frame = card(content);
    layout->addWidget(frame);
    window.show();
    const auto shown = [&window](QPoint at) {
        return hex(window.grab().toImage().pixelColor(at));
    };
    const QPoint middle = frame->geometry().center();
    const QList<std::tuple<Appearance, const char*, const char*>> steps{
        {Appearance::light, "#ffffff", "#f1f3f6"},
        {Appearance::dark, "#1b2330", "#111722"},
        {Appearance::light, "#ffffff", "#f1f3f6"},
    };
    for (const auto& [appearance, cardColor, windowColor] : steps) {
        Palette::apply(appearance);
        QCoreApplication::processEvents(); // open widgets learn of it on the next pass of the event loop
        EXPECT_EQ(window.findChild<LVCard*>(), frame);
        EXPECT_EQ(frame->content(), content);
        EXPECT_EQ(shown(middle), cardColor);
        EXPECT_EQ(shown(QPoint(2, 2)), windowColor); // Qt's own window background follows too
    }
}

TEST(Kit, DisabledBeatsPressed) {
    struct Case {
        bool enabled, parentEnabled, pressed;
        qreal opacity;
    };
    const Case cases[] = {
        {true, true, false, 1.0},  {true, true, true, 0.72},  {false, true, false, 0.45},
        {false, true, true, 0.45}, {true, false, true, 0.45},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opacity);
        auto* panel = new QWidget;
        auto* button = new LVButton(LVButtonKind::primary, QStringLiteral("确认"), panel);
        panel->setFixedSize(button->sizeHint());
        button->setEnabled(c.enabled);
        panel->setEnabled(c.parentEnabled);
        button->setDown(c.pressed); // after disabling, which releases a pressed button
        Window window(Appearance::light, panel);
        const QPoint inPadding = button->mapTo(&window.widget, QPoint(5, button->height() / 2));
        EXPECT_TRUE(near(window.image().pixelColor(inPadding),
                         over(Palette::accent.resolved(Appearance::light), c.opacity,
                              Palette::canvas.resolved(Appearance::light))));
    }
}

TEST(Kit, LunorButtonsTakeClicksOverTheirWholeRoundedArea) {
    auto* button = new LVButton(LVButtonKind::lunor, QStringLiteral("稍后"));
    Window window(Appearance::light, button);
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&clicks] { ++clicks; });
    const int w = button->width(), h = button->height();
    // The paddings and above the label take clicks although nothing is drawn there; the corners do not.
    const QList<std::pair<QPoint, int>> cases{{{3, h / 2}, 1},     {{w - 3, h / 2}, 1}, {{w / 2, 1}, 1},
                                              {{w / 2, h / 2}, 1}, {{1, 1}, 0},         {{w - 1, h - 1}, 0}};
    for (const auto& [at, expected] : cases) {
        clicks = 0;
        QTest::mouseClick(button, Qt::LeftButton, {}, at);
        EXPECT_EQ(clicks, expected) << at.x() << "," << at.y();
    }
}

TEST(Kit, CardsStrokeOverTheirContent) {
    struct Case {
        LVCardKind kind;
        AdaptiveColor fill;
        qreal strokeOpacity;
        bool opaqueContent;
    };
    const Case cases[] = {
        {LVCardKind::card, Palette::surface, 0.7, false},
        {LVCardKind::lunorCard, Palette::secondary, 0.65, false},
        {LVCardKind::card, Palette::surface, 0.7, true},
    };
    const QColor contentColor(0xD0, 0x20, 0x20);
    for (const Appearance appearance : appearances) {
        for (const Case& c : cases) {
            SCOPED_TRACE(static_cast<int>(c.kind) * 10 + static_cast<int>(appearance));
            auto* content = new QWidget;
            content->setMinimumSize(160, 80);
            content->setPalette(QPalette(contentColor));
            content->setAutoFillBackground(c.opaqueContent);
            auto* frame = new LVCard(c.kind, content);
            frame->setPalette(Palette::qtPalette(appearance));
            Window window(appearance);
            window.widget.setPalette(QPalette(Qt::black)); // black around the card
            window.show(frame);
            const QImage image = window.image().copy(frame->geometry());
            const QColor under = c.opaqueContent ? contentColor : c.fill.resolved(appearance);
            const QColor stroke = over(Palette::line.resolved(appearance), c.strokeOpacity, under);
            EXPECT_TRUE(near(image.pixelColor(frame->width() / 2, frame->height() / 2), under));
            EXPECT_TRUE(near(image.pixelColor(frame->width() / 2, 0), stroke));
            EXPECT_TRUE(near(image.pixelColor(0, frame->height() / 2), stroke));
        }
    }
}
