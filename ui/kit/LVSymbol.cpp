#include "ui/kit/LVSymbol.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <cmath>

namespace lunorvale {

namespace {

const QString symbolFolder = QStringLiteral(":/lunorvale/symbols/");

QString resourcePath(const QString& name) {
    return symbolFolder + name + QStringLiteral(".svg");
}

// Drawn once per name, size, colour and scale; Qt's pixmap cache keeps the result.
QPixmap tinted(const QString& name, QSize pixels, const QColor& color, qreal ratio) {
    const QString key = QStringLiteral("lvsymbol:%1:%2x%3:%4:%5")
                            .arg(name)
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(color.rgba(), 8, 16, QLatin1Char('0'))
                            .arg(ratio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        QSvgRenderer renderer(resourcePath(name));
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
        // The SVG only lends its coverage; the colour is the caller's.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

} // namespace

bool LVSymbol::isRegistered() const {
    return !m_name.isEmpty() && !m_name.contains(QLatin1Char('/')) && QFile::exists(resourcePath(m_name));
}

QStringList LVSymbol::registeredNames() {
    QStringList names;
    for (const QString& file :
         QDir(symbolFolder).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name))
        names.append(file.chopped(4));
    return names;
}

int LVSymbol::side(int pixelSize) {
    return static_cast<int>(std::lround(pixelSize * 1.2));
}

void LVSymbol::paint(QPainter& painter, const QRectF& rect, const QColor& color) const {
    const qreal length = std::min(rect.width(), rect.height());
    if (length <= 0)
        return;
    QRectF square(0, 0, length, length);
    square.moveCenter(rect.center());
    if (!isRegistered()) {
        painter.fillRect(square, QColor(0xFF, 0x00, 0xFF));
        return;
    }
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int pixels = std::max(1, static_cast<int>(std::ceil(length * ratio)));
    painter.drawPixmap(square.topLeft(), tinted(m_name, QSize(pixels, pixels), color, ratio));
}

LVSymbolView::LVSymbolView(const LVSymbol& symbol, int pixelSize, AdaptiveColor color, QWidget* parent)
    : QWidget(parent), m_symbol(symbol), m_pixelSize(pixelSize), m_color(color) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LVSymbolView::setSymbol(const LVSymbol& symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void LVSymbolView::setColor(AdaptiveColor color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void LVSymbolView::setPixelSize(int pixelSize) {
    if (pixelSize == m_pixelSize)
        return;
    m_pixelSize = pixelSize;
    updateGeometry();
    update();
}

QSize LVSymbolView::sizeHint() const {
    const int side = LVSymbol::side(m_pixelSize);
    return {side, side};
}

void LVSymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int side = LVSymbol::side(m_pixelSize);
    QRectF square(0, 0, side, side);
    square.moveCenter(QRectF(rect()).center());
    m_symbol.paint(painter, square, m_color.in(this));
}

} // namespace lunorvale
