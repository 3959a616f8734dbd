#include "Pixels.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVBadge.h"
#include "ui/kit/LVEmptyState.h"
#include "ui/kit/LVText.h"
#include "ui/kit/Palette.h"
#include "ui/kit/ProcessGlyph.h"
#include "ui/kit/SectionHeading.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QTest>
#include <QVBoxLayout>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// Shows `view` alone in a window of `width`, laid out as a page would.
struct Shown {
    QWidget window;
    Shown(QWidget* view, int width) {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        layout->addStretch();
        window.resize(width, 800);
        window.show();
    }
};

const QString longText =
    QStringLiteral("这是一段足够长的说明文字，用来确认它在窄处换行、在限定的行数处以省略号结束，"
                   "并且在不限行数时完整显示每一个字，不会被切掉。");

} // namespace

TEST(KitViews, HeadingsPlaceTheTitleAndWrapTheSubtitle) {
    struct Case {
        std::optional<QString> subtitle;
        std::optional<LVSymbol> symbol;
        bool titleAtLeadingEdge;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, true},
        {longText + longText, std::nullopt, true},
        {std::nullopt, LVSymbol("checkmark.shield"), false},
        {longText + longText, LVSymbol("checkmark.shield"), false},
    };
    for (const Case& c : cases) {
        auto* heading = new SectionHeading(QStringLiteral("概览"), c.subtitle, c.symbol);
        Shown shown(heading, 260);
        EXPECT_EQ(heading->titleText()->x() == 0, c.titleAtLeadingEdge);
        LVText* subtitle = heading->subtitleText();
        EXPECT_EQ(subtitle->isVisible(), c.subtitle.has_value());
        if (c.subtitle) {
            EXPECT_GE(subtitle->lineCount(), 4);
            EXPECT_FALSE(subtitle->isTruncated());
            EXPECT_GE(subtitle->height(), subtitle->heightForWidth(subtitle->width()));
            EXPECT_LE(subtitle->geometry().bottom(), heading->height());
        }
    }
    // Updated in place: the symbol goes, the title moves to the edge.
    auto* heading = new SectionHeading(QStringLiteral("资源"), std::nullopt, LVSymbol("cpu"));
    Shown shown(heading, 260);
    EXPECT_GT(heading->titleText()->x(), 0);
    heading->setSymbol(std::nullopt);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(heading->titleText()->x(), 0);
}

TEST(KitViews, EmptyStateSpansItsWidthAndWrapsTheDetailInA480Column) {
    for (const int width : {1000, 400}) {
        auto* state = new LVEmptyState(LVSymbol("magnifyingglass"), QStringLiteral("没有匹配的进程"),
                                       longText + longText);
        Shown shown(state, width);
        LVText* detail = state->detailText();
        const int column = std::min(480, width - 64);
        EXPECT_EQ(state->width(), width);
        EXPECT_EQ(detail->width(), column);
        EXPECT_NEAR(detail->geometry().center().x(), width / 2, 1);
        EXPECT_GE(detail->lineCount(), 2);
        EXPECT_FALSE(detail->isTruncated());
        EXPECT_GE(detail->height(), detail->heightForWidth(detail->width()));
    }
}

TEST(KitViews, BadgeDrawsDotAndTitleInItsColour) {
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        LVBadge badge(QStringLiteral("■"), Palette::danger);
        badge.setPalette(Palette::qtPalette(appearance));
        badge.resize(badge.sizeHint());
        const QImage image = grabbed(badge);
        const QColor danger = Palette::danger.resolved(appearance);
        EXPECT_TRUE(near(image.pixelColor(3, badge.height() / 2), danger)); // the dot
        EXPECT_TRUE(near(image.pixelColor(12 + (badge.width() - 12) / 2, badge.height() / 2), danger));
    }
}

TEST(KitViews, ProcessGlyphSymbolRule) {
    const QList<QPair<QString, QString>> cases{
        {"Google Chrome Helper (Renderer)", "globe"},
        {"CHROME", "globe"},
        {"Safari", "globe"},
        {"firefox-esr", "globe"},
        {"chrome-node-bridge", "globe"}, // the earlier test wins
        {"lunorvale", "waveform.path.ecg"},
        {"Lunorvale Python helper", "waveform.path.ecg"},
        {"nodemon", "terminal"}, // a substring, not a word
        {"python3.12", "terminal"},
        {"gnome-terminal-server", "terminal"},
        {"Finder", "app.dashed"},
        {"", "app.dashed"},
    };
    for (const auto& [name, symbol] : cases)
        EXPECT_EQ(ProcessGlyph::symbolFor(name).name(), symbol) << name.toStdString();

    // The tile and its symbol follow the appearance.
    ProcessGlyph glyph(QStringLiteral("node"));
    glyph.setPalette(Palette::qtPalette(Appearance::dark));
    const QImage image = grabbed(glyph);
    EXPECT_EQ(hex(image.pixelColor(16, 1)), hex(Palette::secondary.resolved(Appearance::dark)));
    bool symbolDrawn = false;
    for (int x = 8; x < 24; ++x)
        symbolDrawn |= near(image.pixelColor(x, 16), Palette::muted.resolved(Appearance::dark), 12);
    EXPECT_TRUE(symbolDrawn);
}

TEST(KitText, LineLimitsSpacingAndShrinking) {
    struct Case {
        QString text;
        int pixels, maximumLines;
        qreal scale;
        int width;
        int lines;
        bool truncated;
        int shownPixels;
    };
    const Case cases[] = {
        {longText, 13, 0, 1, 200, -3, false, 13}, // -n: at least n lines
        {longText, 13, 2, 1, 200, 2, true, 13},
        {longText, 13, 1, 1, 200, 1, true, 13},
        {"第一行\n第二行", 13, 0, 1, 400, 2, false, 13},
        {"第一行\n第二行", 13, 1, 1, 400, 1, true, 13},
        {"128.0 MB", 34, 1, 0.75, 1000, 1, false, 34},
        {"128.0 MB", 34, 1, 0.75, 120, 1, false, -33}, // -n: shrunk below n, not cut
        {"1,234,567.8 MB", 34, 1, 0.75, 120, 1, true, 26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " " + std::to_string(c.width));
        LVText text(c.text, Fonts::system(c.pixels));
        text.setMaximumLines(c.maximumLines);
        text.setMinimumScaleFactor(c.scale);
        text.resize(c.width, 400);
        if (c.lines < 0)
            EXPECT_GE(text.lineCount(), -c.lines);
        else
            EXPECT_EQ(text.lineCount(), c.lines);
        EXPECT_EQ(text.isTruncated(), c.truncated);
        if (c.shownPixels < 0)
            EXPECT_LT(text.shownPixelSize(), -c.shownPixels);
        else
            EXPECT_EQ(text.shownPixelSize(), c.shownPixels);
    }

    // Extra spacing goes between lines, never after the last.
    LVText spaced(longText, Fonts::system(13));
    const int tight = spaced.heightForWidth(200);
    spaced.setLineSpacing(5);
    spaced.resize(200, 400);
    EXPECT_EQ(spaced.heightForWidth(200) - tight, 5 * (spaced.lineCount() - 1));
}

TEST(KitText, MarkupIsShownAsText) {
    const QString markup = QStringLiteral("<b>1</b> &amp; <i>x</i>");
    LVText text(markup, Fonts::system(13));
    EXPECT_NEAR(text.sizeHint().width(), QFontMetricsF(text.font()).horizontalAdvance(markup), 1);
    EXPECT_EQ(text.accessibleName(), markup);
}

TEST(KitText, FontsAreTheTextFamilyWithTabularDigits) {
    for (const FontWeight weight : {FontWeight::regular, FontWeight::medium, FontWeight::semibold}) {
        const QFont font = Fonts::monospacedDigits(24, weight);
        EXPECT_EQ(QFontInfo(font).family(), Fonts::family);
        EXPECT_EQ(QFontInfo(font).pixelSize(), 24);
        const QFontMetricsF metrics(font);
        for (char digit = '1'; digit <= '9'; ++digit)
            EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char(digit)),
                      metrics.horizontalAdvance(QLatin1Char('0')));
    }
}
