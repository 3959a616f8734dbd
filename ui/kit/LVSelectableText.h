#pragma once

#include "ui/kit/Palette.h"

#include <QTextEdit>
#include <optional>

namespace lunorvale {

// Plain text the user can select and copy (a path, a command, a summary): read-only, no frame or
// background, wrapping anywhere so a long path never widens its column, with extra space between
// lines. Tall as its text for the width it gets, unless a number of lines caps it: then a longer text is
// cut after the last line with "…", and a selection that takes in the "…" copies the whole rest of the
// text. A text taller than a fixed height scrolls. Copying gives the text behind what is shown (see
// SafeText::copied): a path shown verbatim pastes as the path.
class LVSelectableText final : public QTextEdit {
    Q_OBJECT
public:
    LVSelectableText(const QString& text, const QFont& font,
                     std::optional<AdaptiveColor> color = std::nullopt, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    // What the width shows: the text, or its beginning and "…" where the line limit cuts it.
    QString shownText() const { return toPlainText(); }
    bool isTruncated() const { return m_cut; }
    void setText(const QString& text);
    void setColor(std::optional<AdaptiveColor> color);
    void setLineSpacing(qreal spacing);
    // 0: as tall as the text. Otherwise at most this many lines are shown.
    void setMaximumLines(int lines);
    // Space around the text inside the widget.
    void setPadding(int padding);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The selection as it pastes; empty when nothing is selected.
    QString copiedSelection() const;
    void applyText();
    // The text cut to the line limit at the document's width, "…" at its end; empty when it fits.
    QString cutText() const;
    // Shows the text again when the width changed where it is cut.
    void refit();
    void applyColor();

    QString m_text;
    QString m_shown; // the text or its cut, as the document holds it
    std::optional<AdaptiveColor> m_color;
    qreal m_lineSpacing = 0;
    int m_maximumLines = 0;
    bool m_cut = false;
};

} // namespace lunorvale
