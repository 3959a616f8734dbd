#include "ui/kit/LVSymbol.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

QImage painted(const LVSymbol& symbol, const QColor& color) {
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    symbol.paint(painter, QRectF(0, 0, 48, 48), color);
    return image;
}

} // namespace

TEST(Symbols, EveryNameTheCodeUsesHasAnSvg) {
    static const QRegularExpression use(QStringLiteral(R"re(LVSymbol\(\s*"([^"]+)"\s*\))re"));
    QSet<QString> used;
    for (const char* folder : {"/app", "/ui"}) {
        QDirIterator files(QLatin1String(LUNORVALE_SOURCE_DIR) + QLatin1String(folder),
                           {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            for (const QRegularExpressionMatch& match : use.globalMatch(QString::fromUtf8(file.readAll())))
                used.insert(match.captured(1));
        }
    }
    for (const char* name :
         {"waveform.path.ecg", "globe", "terminal", "app.dashed", "sparkles", "chevron.right"})
        EXPECT_TRUE(used.contains(QLatin1String(name))) << name << " not found in the sources";
    for (const QString& name : used)
        EXPECT_TRUE(LVSymbol(name).isRegistered()) << name.toStdString();
}

TEST(Symbols, EachDrawsAShapeOnlyInTheColourAsked) {
    const QColor color(0x34, 0x7B, 0x66);
    const QStringList names = LVSymbol::registeredNames();
    EXPECT_GE(names.size(), 60);
    for (const QString& name : names) {
        const QImage image = painted(LVSymbol(name), color);
        int covered = 0, stray = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                covered += pixel.alpha() >= 128;
                stray += pixel.alpha() >= 128 &&
                         std::abs(pixel.red() - color.red()) + std::abs(pixel.blue() - color.blue()) > 6;
            }
        }
        EXPECT_GT(covered, 40) << name.toStdString();
        EXPECT_LT(covered, 48 * 48 * 9 / 10) << name.toStdString(); // a shape, not a filled box
        EXPECT_EQ(stray, 0) << name.toStdString();
    }
    // A name without an SVG shows itself as a magenta box.
    for (const QString& name :
         {QStringLiteral("no.such.symbol"), QString(), QStringLiteral("../kit/globe")}) {
        EXPECT_FALSE(LVSymbol(name).isRegistered());
        const QImage image = painted(LVSymbol(name), Qt::black);
        EXPECT_EQ(image.pixelColor(2, 2), QColor(0xFF, 0x00, 0xFF));
        EXPECT_EQ(image.pixelColor(45, 45), QColor(0xFF, 0x00, 0xFF));
    }
}
