#include "ContextMenu.h"
#include "Pixels.h"
#include "core/common/SafeText.h"
#include "support/EventLoop.h"
#include "ui/kit/Elided.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVEmptyState.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/PhraseBreaks.h"
#include "ui/kit/ProcessGlyph.h"
#include "ui/kit/SectionHeading.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QVBoxLayout>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

const QString longText =
    QStringLiteral("这是一段足够长的说明文字，用来确认它在窄处换行、在限定的行数处以省略号结束，"
                   "并且在不限行数时完整显示每一个字，不会被切掉。");

// Shown at full height: wrapped onto several lines, nothing cut.
void expectWhole(const LVText* text, int lines) {
    EXPECT_TRUE(text->isVisible());
    EXPECT_GE(text->lineCount(), lines);
    EXPECT_FALSE(text->isTruncated());
    EXPECT_GE(text->height(), text->heightForWidth(text->width()));
}

// Shown `width` wide with room below, as a page offers it.
void showIn(Window& window, QWidget* view, int width) {
    window.row->setDirection(QBoxLayout::TopToBottom);
    window.row->setContentsMargins(0, 0, 0, 0);
    window.row->addWidget(view);
    window.row->addStretch();
    window.widget.resize(width, 800);
    window.widget.show();
}

} // namespace

TEST(KitViews, HeadingsPlaceTheTitleAndWrapTheSubtitle) {
    for (const bool subtitle : {false, true}) {
        for (const bool symbol : {false, true}) {
            auto* heading =
                new SectionHeading(QStringLiteral("概览"), subtitle ? std::optional(longText) : std::nullopt,
                                   symbol ? std::optional(LVSymbol("checkmark.shield")) : std::nullopt);
            Window window;
            showIn(window, heading, 260);
            EXPECT_EQ(heading->titleText()->x() == 0, !symbol); // no gap without a symbol
            EXPECT_EQ(heading->subtitleText()->isVisible(), subtitle);
            if (subtitle)
                expectWhole(heading->subtitleText(), 3);
            // Updated in place.
            heading->setSymbol(std::nullopt);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            EXPECT_EQ(heading->titleText()->x(), 0);
        }
    }
}

TEST(KitViews, EmptyStateCentresItsWholeDetail) {
    for (const int width : {1000, 400}) {
        auto* state = new LVEmptyState(LVSymbol("magnifyingglass"), QStringLiteral("没有匹配的进程"),
                                       longText + longText);
        Window window;
        showIn(window, state, width);
        LVText* detail = state->detailText();
        EXPECT_NEAR(detail->geometry().center().x(), width / 2, 1);
        expectWhole(detail, 2);
    }
}

TEST(KitText, WrappedLinesEndWhereAReaderPauses) {
    const QString resting =
        QStringLiteral("短时编译、渲染和计算可能正常占用 CPU。达到你设置的持续时间后，岚栖会提醒你查看。");
    // The lines, a character a unit wide; none: wrapped as usual.
    const auto lines = [](const QString& text, qreal width, int count) {
        QStringList out;
        qsizetype from = 0;
        for (const qsizetype at :
             PhraseBreaks::breaks(text, width, count, [](QStringView line) { return qreal(line.size()); }))
            out.append(text.mid(from, at - from)), from = at;
        return from > 0 ? out << text.mid(from) : out;
    };
    const struct {
        QString text;
        qreal width;
        int count;
        QStringList expected;
    } cases[] = {
        {resting, 38, 2, {resting.left(21), resting.mid(21)}}, // two even sentences, not 33 and 9
        {resting, 21, 3, {resting.left(21), resting.mid(21, 12), resting.mid(33)}},
        {resting, 15, 3, {}}, // a clause wider than a line
        {QStringLiteral("首次采样识别进程第二次开始计算"), 10, 2, {}},
        {QStringLiteral("他说“好。”然后再试一次吧"),
         8,
         2,
         {QStringLiteral("他说“好。”"), QStringLiteral("然后再试一次吧")}},
        {QStringLiteral("Save your work first, then quit."),
         30,
         2,
         {QStringLiteral("Save your work first, "), QStringLiteral("then quit.")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lines(c.text, c.width, c.count), c.expected) << c.text.toStdString() << " " << c.width;

    // The resting panel's detail at the width it has in the smallest window.
    auto* state =
        new LVEmptyState(LVSymbol("checkmark.shield"), QStringLiteral("目前没有持续高占用提醒"), resting);
    Window window;
    showIn(window, state, 560);
    EXPECT_EQ(state->detailText()->lines(), (QStringList{resting.left(21), resting.mid(21)}));
}

// A letter under a pile of marks too wide for its row keeps the letter rather than showing a lone "…".
TEST(KitText, RowNamesTooWideKeepTheirFirstLetter) {
    const QFontMetricsF metrics(Fonts::system(12));
    const qreal narrow = metrics.horizontalAdvance(QStringLiteral("Zab…"));
    QString piled = QStringLiteral("Z");
    for (int i = 0; i < 150; ++i)
        piled += QChar(char16_t(0x0300 + i % 0x70));
    const QString shown = elidedRight(metrics, piled, narrow);
    EXPECT_TRUE(shown.startsWith(u'Z') && shown.endsWith(u'…')) << shown.size();
    // A name that has room for letters is cut as any text is.
    const QString plain = QStringLiteral("Zabcdef");
    EXPECT_EQ(elidedRight(metrics, plain, narrow), metrics.elidedText(plain, Qt::ElideRight, narrow));
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
}

TEST(KitText, LineLimitsSpacingAndShrinking) {
    struct Case {
        QString text;
        int pixels, maximumLines;
        qreal scale;
        int width, lines; // lines < 0: at least -lines
        bool truncated;
        int shownPixels; // < 0: below -shownPixels
    };
    const Case cases[] = {
        {longText, 13, 0, 1, 200, -3, false, 13},
        {longText, 13, 2, 1, 200, 2, true, 13},
        {longText, 13, 1, 1, 200, 1, true, 13},
        {"第一行\n第二行", 13, 0, 1, 400, 2, false, 13},
        {"第一行\n第二行", 13, 1, 1, 400, 1, true, 13},
        {"128.0 MB", 34, 1, 0.75, 1000, 1, false, 34},
        {"128.0 MB", 34, 1, 0.75, 120, 1, false, -33},
        {"1,234,567.8 MB", 34, 1, 0.75, 120, 1, true, 26}, // shrunk to three quarters, then cut
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " " + std::to_string(c.width));
        LVText text(c.text, Fonts::system(c.pixels));
        text.setMaximumLines(c.maximumLines);
        text.setMinimumScaleFactor(c.scale);
        text.resize(c.width, 400);
        EXPECT_TRUE(c.lines < 0 ? text.lineCount() >= -c.lines : text.lineCount() == c.lines);
        EXPECT_EQ(text.isTruncated(), c.truncated);
        EXPECT_TRUE(c.shownPixels < 0 ? text.shownPixelSize() < -c.shownPixels
                                      : text.shownPixelSize() == c.shownPixels);
    }
    // Extra spacing goes between lines, never after the last.
    LVText spaced(longText, Fonts::system(13));
    const int tight = spaced.heightForWidth(200);
    spaced.setLineSpacing(5);
    spaced.resize(200, 400);
    EXPECT_EQ(spaced.heightForWidth(200) - tight, 5 * (spaced.lineCount() - 1));
}

TEST(KitText, MarkupIsShownAsTextInTheTextFamilyWithTabularDigits) {
    const QString markup = QStringLiteral("<b>1</b> &amp; <i>x</i>");
    LVText text(markup, Fonts::system(13));
    EXPECT_NEAR(text.sizeHint().width(), QFontMetricsF(text.font()).horizontalAdvance(markup), 1);
    for (const FontWeight weight : {FontWeight::regular, FontWeight::medium, FontWeight::semibold}) {
        const QFont font = Fonts::monospacedDigits(24, weight);
        EXPECT_EQ(QFontInfo(font).family(), Fonts::family);
        const QFontMetricsF metrics(font);
        for (const char digit : {'1', '4', '7', '8'})
            EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char(digit)),
                      metrics.horizontalAdvance(QLatin1Char('0')));
    }
}

// A selectable text of a fixed height in a card comes to rest, whether it scrolls or not: measuring it
// for the layout never makes it adjust its scroll bar, which would ask the layout again.
TEST(KitText, SelectableTextAtAFixedHeightComesToRest) {
    const QString line = QStringLiteral("CPU 占用 120%，内存 2.1 GB，已持续 15 分钟；磁盘读写平稳。");
    for (const int lines : {1, 2, 5, 9, 16}) {
        for (const int width : {420, 570}) {
            QWidget window;
            auto* column = new QVBoxLayout(&window);
            column->setContentsMargins(28, 28, 28, 28);
            auto* text = new LVSelectableText(QStringList(lines, line).join(u'\n'), Fonts::system(12));
            text->setLineSpacing(6);
            text->setPadding(16);
            text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            text->setFixedHeight(240);
            column->addWidget(lunorCard(text));
            window.setFixedWidth(width);
            window.show();
            EXPECT_TRUE(lunorvale::test::deliverDue()) << lines << " lines, " << width << " wide";
        }
    }
}

// A selectable text held to a number of lines ends with "…" where it is cut, and the "…" copies as the
// whole rest of the text; a width that holds everything shows everything.
TEST(KitText, SelectableTextCutAtItsLimitEndsWithAnEllipsisAndCopiesWhole) {
    Window window;
    auto* text = new LVSelectableText(longText, Fonts::system(13));
    text->setMaximumLines(2);
    showIn(window, text, 200);
    ASSERT_TRUE(deliverDue());
    const auto shownLines = [text] {
        int lines = 0;
        for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next())
            lines += block.layout()->lineCount();
        return lines;
    };
    EXPECT_TRUE(text->isTruncated());
    EXPECT_EQ(shownLines(), 2);
    EXPECT_TRUE(text->shownText().endsWith(QChar(0x2026)));
    EXPECT_TRUE(longText.startsWith(text->shownText().chopped(1)));

    const struct {
        int from, to; // -1: the end, "…" included
        QString copied;
    } selections[] = {{0, -1, longText}, {3, -1, longText.mid(3)}, {0, 5, longText.left(5)}};
    for (const auto& s : selections) {
        QTextCursor cursor(text->document());
        cursor.setPosition(s.from);
        if (s.to < 0)
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        else
            cursor.setPosition(s.to, QTextCursor::KeepAnchor);
        text->setTextCursor(cursor);
        text->copy();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), s.copied) << s.from << " to " << s.to;
    }

    window.widget.resize(2000, 800);
    ASSERT_TRUE(deliverDue());
    EXPECT_FALSE(text->isTruncated());
    EXPECT_EQ(text->shownText(), longText);
}

// A path isolated in a sentence pastes as the path, whatever it holds.
TEST(KitText, SelectableTextCopiesPathsWithoutTheirIsolates) {
    Window window;
    auto* text = new LVSelectableText("原位置：\u2068/tmp/R\u202efdp.app\u2069。\n下一行", Fonts::system(12));
    showIn(window, text, 400);
    ASSERT_TRUE(deliverDue());
    text->selectAll();
    text->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "原位置：/tmp/R\u202efdp.app。\n下一行");

    // Shown verbatim, it pastes as itself from its first letter to its last, with the U+2069 and the
    // no-break space it holds.
    const QString path = "/tmp/H11\u2069\u202Eab\u00a0c.app";
    text->setText("原位置：" + SafeText::verbatim(path) + "。");
    QTextCursor cursor(text->document());
    cursor.setPosition(int(text->text().indexOf(u'/')));
    cursor.setPosition(int(text->text().indexOf(u'。')) - 1, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);
    text->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), path);
}

// "复制" from the text's own menu, over a selection made with "全选" or the mouse, pastes the path behind
// the escapes: the menu taking the focus keeps the selection, another text taking it does not.
TEST(KitText, SelectableTextCopiesThroughItsMenu) {
    for (const QString path : {"/opt/Plain Tool.app", "/tmp/R\u202Efdp\n.app"}) {
        for (const bool all : {true, false}) {
            Window window;
            auto* text =
                new LVSelectableText("原位置：" + SafeText::verbatim(path) + "。", Fonts::system(12));
            auto* other = new LVSelectableText(QStringLiteral("下一行"), Fonts::system(12));
            showIn(window, text, 500);
            window.row->addWidget(other);
            ASSERT_TRUE(deliverDue());
            const auto at = [text](qsizetype position) {
                QTextCursor cursor(text->document());
                cursor.setPosition(int(position));
                return text->cursorRect(cursor).center();
            };
            const qsizetype start = text->text().indexOf(u'\u2066'),
                            end = text->text().indexOf(u'\u2069') + 1;
            QGuiApplication::clipboard()->clear();
            if (all)
                ASSERT_TRUE(chooseFromContextMenu(*text->viewport(), at(start + 3), "全选"));
            else
                dragMouse(*text->viewport(), at(start), at(end));
            ASSERT_TRUE(chooseFromContextMenu(*text->viewport(), at(start + 3), "复制"));
            EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
                      (all ? "原位置：" + path + "。" : path).toStdString());
            dragMouse(*other->viewport(), {1, 1}, {other->width() - 1, 1});
            EXPECT_FALSE(text->textCursor().hasSelection());
        }
    }
}
