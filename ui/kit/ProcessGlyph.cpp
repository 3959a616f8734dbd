#include "ui/kit/ProcessGlyph.h"

#include "ui/kit/Palette.h"

#include <QPainter>
#include <QPainterPath>

namespace lunorvale {

namespace {
constexpr int tile = ProcessGlyph::tileSide;
constexpr int symbolPixels = 15;
} // namespace

ProcessGlyph::ProcessGlyph(const QString& name, QWidget* parent) : QWidget(parent), m_name(name) {
    setFixedSize(tile, tile);
}

LVSymbol ProcessGlyph::symbolFor(const QString& name) {
    const QString lower = name.toLower();
    const auto containsAny = [&lower](std::initializer_list<const char*> words) {
        for (const char* word : words) {
            if (lower.contains(QLatin1String(word)))
                return true;
        }
        return false;
    };
    if (containsAny({"safari", "chrome", "firefox"}))
        return LVSymbol("globe");
    if (containsAny({"lunorvale"}))
        return LVSymbol("waveform.path.ecg");
    if (containsAny({"node", "python", "terminal"}))
        return LVSymbol("terminal");
    return LVSymbol("app.dashed");
}

void ProcessGlyph::setName(const QString& name) {
    if (name == m_name)
        return;
    m_name = name;
    update();
}

QSize ProcessGlyph::sizeHint() const {
    return {tile, tile};
}

void ProcessGlyph::paint(QPainter& painter, const QPointF& topLeft, const QString& name,
                         Appearance appearance) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(topLeft, QSizeF(tile, tile));
    QPainterPath path;
    path.addRoundedRect(area, 8, 8);
    painter.fillPath(path, Palette::secondary.resolved(appearance));
    const int side = LVSymbol::side(symbolPixels);
    QRectF square(0, 0, side, side);
    square.moveCenter(area.center());
    symbolFor(name).paint(painter, square, Palette::muted.resolved(appearance));
    painter.restore();
}

void ProcessGlyph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QPointF(0, 0), m_name, Palette::appearanceOf(this));
}

} // namespace lunorvale
