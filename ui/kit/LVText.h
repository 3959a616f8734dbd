#pragma once

#include "ui/kit/Palette.h"

#include <QTextOption>
#include <QWidget>
#include <memory>
#include <optional>

class QTextLayout;

namespace lunorvale {

// Text as the design sets it: always plain (never rich text, whatever the text holds), wrapping at
// its full height or cut with an ellipsis after a number of lines, with extra space between lines,
// and optionally shrinking before it is cut.
//
// Line breaks in the text ("\n") start new lines. The colour is the widget's foreground (its
// container's) unless one is set; either way it is read at paint time.
class LVText final : public QWidget {
    Q_OBJECT
public:
    explicit LVText(const QString& text = {}, QWidget* parent = nullptr);
    LVText(const QString& text, const QFont& font, std::optional<AdaptiveColor> color = {},
           QWidget* parent = nullptr);
    ~LVText() override;

    const QString& text() const { return m_text; }
    void setText(const QString& text);
    void setColor(std::optional<AdaptiveColor> color);
    // The colour set, or none: the container's foreground.
    const std::optional<AdaptiveColor>& color() const { return m_color; }
    // 0: no limit, the text wraps at its full height. 1: one line, never wrapped.
    void setMaximumLines(int lines);
    // Extra pixels between two lines.
    void setLineSpacing(qreal spacing);
    // Wrapped lines end where a reader pauses (after a punctuation mark) and are as even as the pauses
    // allow, on no more lines than plain wrapping takes; without such pauses a paragraph wraps as usual.
    // Only for text without a line limit.
    void setBreaksAtPauses(bool pauses);
    // Down to this share of the font's size, the text shrinks before it is cut (1: never shrinks).
    void setMinimumScaleFactor(qreal factor);
    // Horizontal alignment of each line; vertical placement when the widget is taller than the text.
    void setAlignment(Qt::Alignment alignment);

    // What the current width shows: whether the text was cut, its lines and the pixel size used.
    bool isTruncated() const;
    int lineCount() const;
    // The text of each line shown, without the line's break.
    QStringList lines() const;
    int shownPixelSize() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Layout;
    // Lays `text` out in `font` at `width` (negative: no limit), at most `maximumLines` lines (0: any).
    static std::unique_ptr<Layout> build(const QString& text, const QFont& font, qreal width,
                                         int maximumLines, qreal spacing, Qt::Alignment alignment,
                                         bool pauses);
    // Lays the text out for `width` (negative: unlimited), shrinking as allowed. Cached per width.
    const Layout& layoutFor(qreal width) const;
    void invalidate();

    QString m_text;
    std::optional<AdaptiveColor> m_color;
    int m_maximumLines = 0;
    qreal m_lineSpacing = 0;
    qreal m_minimumScale = 1;
    bool m_pauses = false;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    mutable std::unique_ptr<Layout> m_cache;
    mutable std::unique_ptr<Layout> m_natural; // without a width limit
};

// The interface is written left to right, and so is every paragraph the kit lays out, whatever letter
// comes first. Left to choose, Qt takes a paragraph's direction from its first strong letter (a text
// document even from one inside an isolate), and a sentence that starts with a Hebrew or Arabic name
// would run right to left: its words in reverse order, against the right edge. A name keeps its own
// direction inside its isolate. The options every kit text is laid out with:
QTextOption leftToRight(Qt::Alignment alignment = Qt::AlignLeft);

// A tooltip that shows `text` literally, whatever markup it holds, left to right.
QString plainToolTip(const QString& text);

} // namespace lunorvale
