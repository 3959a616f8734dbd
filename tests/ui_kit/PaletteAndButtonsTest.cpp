#include "Pixels.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/Palette.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// Paints one palette colour over its whole area, resolved as every kit widget resolves it.
class Swatch final : public QWidget {
public:
    explicit Swatch(AdaptiveColor color) : m_color(color) { resize(4, 4); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_color.in(this)); }

private:
    AdaptiveColor m_color;
};

// A window of the given appearance, set on the window itself (not the application).
struct Window {
    QWidget widget;
    explicit Window(Appearance appearance) {
        widget.setPalette(Palette::qtPalette(appearance));
        widget.setAutoFillBackground(true);
    }
};

class Kit : public ::testing::Test {
protected:
    void TearDown() override {
        Palette::apply(Appearance::light);
        QCoreApplication::processEvents();
    }
};

const Appearance appearances[] = {Appearance::light, Appearance::dark};

} // namespace

TEST_F(Kit, ThePaletteHasTheDesignsValuesInEachAppearance) {
    struct Case {
        const char* name;
        AdaptiveColor color;
        const char* light;
        const char* dark;
    };
    const Case cases[] = {
        {"ink", Palette::ink, "#252d3a", "#edf2f8"},
        {"muted", Palette::muted, "#626d7d", "#a6b1c2"},
        {"accent", Palette::accent, "#4264cf", "#a8baf3"},
        {"onAccent", Palette::onAccent, "#ffffff", "#17213a"},
        {"canvas", Palette::canvas, "#f1f3f6", "#111722"},
        {"surface", Palette::surface, "#ffffff", "#1b2330"},
        {"secondary", Palette::secondary, "#f6f7fa", "#151d28"},
        {"line", Palette::line, "#e3e7ee", "#303b4b"},
        {"soft", Palette::soft, "#ecf0fc", "#28334c"},
        {"amber", Palette::amber, "#9a601d", "#e4b574"},
        {"warning", Palette::warning, "#fff7ec", "#332c23"},
        {"danger", Palette::danger, "#b84343", "#f09c9c"},
        {"success", Palette::success, "#347b66", "#8acbb5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Appearance appearance : appearances) {
            Window window(appearance);
            auto* swatch = new Swatch(c.color);
            swatch->setParent(&window.widget);
            const QColor shown = grabbed(*swatch).pixelColor(1, 1);
            EXPECT_EQ(shown.alpha(), 255);
            EXPECT_EQ(hex(shown), appearance == Appearance::dark ? c.dark : c.light);
        }
    }
    // A palette that is not the kit's still decides by its lightness.
    Swatch foreign(Palette::surface);
    foreign.setPalette(QPalette(QColor(0x30, 0x30, 0x30)));
    EXPECT_EQ(hex(grabbed(foreign).pixelColor(1, 1)), "#1b2330");
}

TEST_F(Kit, SwitchingTheAppearanceRepaintsLiveWidgets) {
    Palette::apply(Appearance::light);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* content = new QWidget;
    content->setMinimumSize(160, 80);
    LVCard* frame = card(content);
    layout->addWidget(frame);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint middle = frame->geometry().center();

    EXPECT_EQ(hex(grabbed(window).pixelColor(middle)), "#ffffff");
    Palette::apply(Appearance::dark);
    QCoreApplication::processEvents(); // the change reaches open widgets on the next pass of the event loop
    EXPECT_EQ(window.findChild<LVCard*>(), frame);
    EXPECT_EQ(frame->content(), content);
    EXPECT_EQ(hex(grabbed(window).pixelColor(middle)), "#1b2330");
    EXPECT_EQ(hex(grabbed(window).pixelColor(2, 2)), "#111722"); // Qt's own window background follows
    Palette::apply(Appearance::light);
    QCoreApplication::processEvents();
    EXPECT_EQ(hex(grabbed(window).pixelColor(middle)), "#ffffff");
}

TEST_F(Kit, ButtonKindsDrawTheirFillTextAndStroke) {
    struct Case {
        LVButtonKind kind;
        AdaptiveColor text;
        std::optional<AdaptiveColor> fill, stroke; // absent: clear
    };
    const Case cases[] = {
        {LVButtonKind::primary, Palette::onAccent, Palette::accent, std::nullopt},
        {LVButtonKind::secondary, Palette::ink, Palette::surface, Palette::line},
        {LVButtonKind::danger, Palette::danger, Palette::surface, Palette::line},
        {LVButtonKind::lunor, Palette::muted, std::nullopt, std::nullopt},
    };
    for (const Appearance appearance : appearances) {
        for (const Case& c : cases) {
            SCOPED_TRACE(static_cast<int>(c.kind) * 10 + static_cast<int>(appearance));
            Window window(appearance);
            auto* layout = new QHBoxLayout(&window.widget);
            // A square glyph: its middle is solid text colour.
            auto* button = new LVButton(c.kind, QStringLiteral("■"));
            layout->addWidget(button);
            window.widget.show();
            const QImage image = grabbed(window.widget);
            const QRect box = button->geometry();
            const QColor background = Palette::canvas.resolved(appearance);
            const QColor fill = c.fill ? c.fill->resolved(appearance) : background;
            const QColor stroke = c.stroke ? c.stroke->resolved(appearance) : fill;

            EXPECT_TRUE(near(image.pixelColor(box.center()), c.text.resolved(appearance)));
            EXPECT_TRUE(near(image.pixelColor(box.left() + 4, box.center().y()), fill));
            EXPECT_TRUE(near(image.pixelColor(box.center().x(), box.top()), stroke));
            EXPECT_TRUE(near(image.pixelColor(box.center().x(), box.bottom()), stroke));
        }
    }
}

TEST_F(Kit, DisabledBeatsPressed) {
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
        Window window(Appearance::light);
        auto* layout = new QHBoxLayout(&window.widget);
        auto* panel = new QWidget;
        auto* inner = new QHBoxLayout(panel);
        inner->setContentsMargins(0, 0, 0, 0);
        auto* button = new LVButton(LVButtonKind::primary, QStringLiteral("确认"));
        inner->addWidget(button);
        layout->addWidget(panel);
        button->setEnabled(c.enabled);
        panel->setEnabled(c.parentEnabled);
        button->setDown(c.pressed); // after disabling, which releases a pressed button
        window.widget.show();
        const QPoint inPadding = button->mapTo(&window.widget, QPoint(5, button->height() / 2));
        EXPECT_TRUE(near(grabbed(window.widget).pixelColor(inPadding),
                         over(Palette::accent.resolved(Appearance::light), c.opacity,
                              Palette::canvas.resolved(Appearance::light))));
    }
}

TEST_F(Kit, LunorButtonsTakeClicksOverTheirWholeRoundedArea) {
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* button = new LVButton(LVButtonKind::lunor, QStringLiteral("稍后"));
    layout->addWidget(button);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&clicks] { ++clicks; });
    const int w = button->width(), h = button->height();
    struct Case {
        QPoint at;
        bool clicks;
    };
    const Case cases[] = {
        {{3, h / 2}, true},                       // left padding, nothing drawn there
        {{w - 3, h / 2}, true},                   // right padding
        {{w / 2, 1}, true},                       // above the label
        {{w / 2, h / 2}, true},  {{1, 1}, false}, // outside the rounded corner
        {{w - 1, h - 1}, false},
    };
    for (const Case& c : cases) {
        clicks = 0;
        QTest::mouseClick(button, Qt::LeftButton, {}, c.at);
        EXPECT_EQ(clicks, c.clicks ? 1 : 0) << c.at.x() << "," << c.at.y();
    }
}

TEST_F(Kit, ButtonsAreAtLeast35HighAndGrowWithTheirLabel) {
    struct Case {
        QString label;
        bool taller;
    };
    const Case cases[] = {{"取消", false}, {"", false}, {"第一行\n第二行\n第三行", true}};
    for (const Case& c : cases) {
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* button = new LVButton(LVButtonKind::secondary, c.label);
        layout->addWidget(button);
        window.show();
        const int labelHeight = QFontMetrics(button->font()).size(0, c.label).height();
        if (c.taller) {
            EXPECT_GT(button->height(), 35);
            EXPECT_GE(button->height(), labelHeight);
        } else {
            EXPECT_EQ(button->height(), 35);
        }
        EXPECT_GE(button->width(), QFontMetrics(button->font()).size(0, c.label).width() + 30);
    }
}

TEST_F(Kit, CardsRoundTheirCornersAndStrokeOverTheirContent) {
    struct Case {
        LVCardKind kind;
        AdaptiveColor fill;
        qreal strokeOpacity;
        int firstCoveredInTopRow; // where the rounded corner meets the top edge
        bool opaqueContent;
    };
    const Case cases[] = {
        {LVCardKind::card, Palette::surface, 0.7, 12, false},
        {LVCardKind::lunorCard, Palette::secondary, 0.65, 9, false},
        {LVCardKind::card, Palette::surface, 0.7, 12, true},
    };
    for (const Appearance appearance : appearances) {
        for (const Case& c : cases) {
            SCOPED_TRACE(static_cast<int>(c.kind) * 10 + static_cast<int>(appearance));
            QWidget window; // black behind the card
            window.setPalette(QPalette(Qt::black));
            window.setAutoFillBackground(true);
            auto* layout = new QVBoxLayout(&window);
            auto* content = new QWidget;
            content->setMinimumSize(160, 80);
            const QColor contentColor(0xD0, 0x20, 0x20);
            if (c.opaqueContent) {
                QPalette red;
                red.setColor(QPalette::Window, contentColor);
                content->setPalette(red);
                content->setAutoFillBackground(true);
            }
            auto* frame = new LVCard(c.kind, content);
            frame->setPalette(Palette::qtPalette(appearance));
            layout->addWidget(frame);
            window.show();
            const QImage image = grabbed(window).copy(frame->geometry());
            const QColor fill = c.fill.resolved(appearance);
            const QColor under = c.opaqueContent ? contentColor : fill;
            const QColor stroke = over(Palette::line.resolved(appearance), c.strokeOpacity, under);

            EXPECT_TRUE(near(image.pixelColor(frame->width() / 2, frame->height() / 2), under));
            EXPECT_TRUE(near(image.pixelColor(frame->width() / 2, 0), stroke));
            EXPECT_TRUE(near(image.pixelColor(0, frame->height() / 2), stroke));
            if (c.opaqueContent)
                continue; // content is not clipped to the rounded shape: its corners show
            int first = 0;
            while (first < 40 && image.pixelColor(first, 0).lightness() < stroke.lightness() / 2)
                ++first;
            EXPECT_NEAR(first, c.firstCoveredInTopRow, 1);
        }
    }
}
