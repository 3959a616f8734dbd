#pragma once

#include "ui/kit/LVSymbol.h"

#include <QWidget>
#include <optional>

namespace lunorvale {

class LVText;

// A title with a symbol before it, both in one colour (the foreground when none is set); the symbol is
// sized for the font. The title is plain text on one line unless told otherwise.
class LVLabel final : public QWidget {
    Q_OBJECT
public:
    LVLabel(const LVSymbol& symbol, const QString& text, const QFont& font,
            std::optional<AdaptiveColor> color = std::nullopt, QWidget* parent = nullptr);

    void setText(const QString& text);
    void setSymbol(const LVSymbol& symbol);
    void setColor(std::optional<AdaptiveColor> color);
    LVText* text() const { return m_text; }

private:
    LVSymbolView* m_symbol;
    LVText* m_text;
};

} // namespace lunorvale
