#pragma once

#include "ui/kit/Palette.h"

#include <QTextEdit>
#include <optional>

namespace lunorvale {

// Plain text the user can select and copy (a path, a command, a summary): read-only, no frame or
// background, wrapping anywhere so a long path never widens its column, with extra space between
// lines. Tall as its text for the width it gets, unless a number of lines caps it; a text taller than
// a fixed height scrolls.
class LVSelectableText final : public QTextEdit {
    Q_OBJECT
public:
    LVSelectableText(const QString& text, const QFont& font,
                     std::optional<AdaptiveColor> color = std::nullopt, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
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
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void applyText();
    void applyColor();

    QString m_text;
    std::optional<AdaptiveColor> m_color;
    qreal m_lineSpacing = 0;
    int m_maximumLines = 0;
};

} // namespace lunorvale
