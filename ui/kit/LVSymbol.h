#pragma once

#include "ui/kit/Palette.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPainter;

namespace lunorvale {

// A symbol of the design by name ("waveform.path.ecg", "checkmark.shield", …), drawn from an SVG
// compiled into the program and recoloured when painted.
//
// Write every name in code as a string literal directly inside `LVSymbol(…)`: a test collects these
// and fails on a name without an SVG. A name without one draws a magenta box, so a slip shows on screen too.
class LVSymbol final {
public:
    explicit LVSymbol(const char* name) : m_name(QString::fromUtf8(name)) {}
    explicit LVSymbol(const QString& name) : m_name(name) {}

    const QString& name() const { return m_name; }
    bool isRegistered() const;

    // Every name with an SVG, sorted.
    static QStringList registeredNames();
    // The square a symbol takes beside text of `pixelSize`: symbols are a little larger than the
    // text's letters, as they are beside a font of that size.
    static int side(int pixelSize);

    // Fills `rect`'s centred square with the symbol in `color` (its own transparency kept).
    void paint(QPainter& painter, const QRectF& rect, const QColor& color) const;

    friend bool operator==(const LVSymbol&, const LVSymbol&) = default;

private:
    QString m_name;
};

// One symbol as a widget: a square of `LVSymbol::side(pixelSize)`, coloured at paint time.
class LVSymbolView final : public QWidget {
    Q_OBJECT
public:
    LVSymbolView(const LVSymbol& symbol, int pixelSize, AdaptiveColor color, QWidget* parent = nullptr);

    const LVSymbol& symbol() const { return m_symbol; }
    void setSymbol(const LVSymbol& symbol);
    void setColor(AdaptiveColor color);
    void setPixelSize(int pixelSize);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LVSymbol m_symbol;
    int m_pixelSize;
    AdaptiveColor m_color;
};

} // namespace lunorvale
