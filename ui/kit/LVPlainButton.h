#pragma once

#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QAbstractButton>
#include <optional>

namespace lunorvale {

// A button drawn as its label alone: text and/or a symbol in one colour, no border or fill (links,
// in-row actions, icon buttons of the bars). The whole label area takes clicks; a disabled button is
// dimmed as the kit's buttons are. The text is always plain.
class LVPlainButton final : public QAbstractButton {
    Q_OBJECT
public:
    LVPlainButton(const QString& text, std::optional<LVSymbol> symbol, AdaptiveColor color, const QFont& font,
                  QWidget* parent = nullptr);

    void setColor(AdaptiveColor color);
    AdaptiveColor color() const { return m_color; }
    void setSymbol(std::optional<LVSymbol> symbol);
    const std::optional<LVSymbol>& symbol() const { return m_symbol; }
    // The symbol's own size (default: the font's); the symbol sits in a square of `LVSymbol::side`.
    void setSymbolPixelSize(int pixelSize);
    // A fixed frame the label is centred in; empty: the label's own size.
    void setFrameSize(const QSize& size);
    void setLabel(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSizeF labelSize() const;
    int symbolSide() const;

    AdaptiveColor m_color;
    std::optional<LVSymbol> m_symbol;
    int m_symbolPixelSize = 0;
    QSize m_frame;
};

} // namespace lunorvale
