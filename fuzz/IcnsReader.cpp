// Icon files of application bundles: whatever the bytes, every entry found lies inside them, nothing
// larger than the side limit is offered for decoding, and what decodes fits the frame asked for.

#include "platform/gui/IcnsReader.h"
#include "fuzz/support/Fuzz.h"
#include "platform/gui/ApplicationIconLoader.h"

#include <QBuffer>
#include <QImage>

using namespace lunorvale;
using lunorvale::fuzz::check;

namespace {

QByteArray bigEndian(quint32 value) {
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

QByteArray entry(const char* type, const QByteArray& data) {
    return QByteArray(type, 4) + bigEndian(quint32(data.size() + 8)) + data;
}

QByteArray png(int side) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray file(const QByteArray& body) {
    return "icns" + bigEndian(quint32(body.size() + 8)) + body;
}

} // namespace

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    return {file(entry("ic07", png(40)) + entry("is32", QByteArray(40, 'x')) + entry("ic08", png(64))),
            file(entry("ic04", png(16))), file({})};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const QByteArray data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    for (const IcnsReader::Entry& found : IcnsReader::pngEntries(data))
        check(found.offset >= 8 && found.length >= 24 && found.offset + found.length <= data.size(),
              "every entry lies inside the file");
    if (const std::optional<IcnsReader::Entry> chosen = IcnsReader::choose(IcnsReader::pngEntries(data), 32))
        check(chosen->width <= IcnsReader::maximumSide && chosen->height <= IcnsReader::maximumSide,
              "no entry over the side limit is chosen");
    const QImage image = ApplicationIconLoader::decode(data, 32);
    check(image.isNull() || (image.width() <= 32 && image.height() <= 32), "a decoded icon fits its frame");
    return 0;
}
