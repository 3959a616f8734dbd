#include "platform/gui/IcnsReader.h"

#include <algorithm>

namespace lunorvale::IcnsReader {
namespace {

constexpr qsizetype headerBytes = 8;
constexpr char pngSignature[] = "\x89PNG\r\n\x1a\n";
// Signature, the IHDR chunk's length and type, then its width and height.
constexpr qsizetype pngHeaderBytes = 8 + 8 + 8;

quint32 bigEndian(const QByteArray& bytes, qsizetype offset) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData() + offset);
    return quint32(data[0]) << 24 | quint32(data[1]) << 16 | quint32(data[2]) << 8 | quint32(data[3]);
}

bool usable(const Entry& entry) {
    return entry.width > 0 && entry.height > 0 && entry.width <= maximumSide && entry.height <= maximumSide;
}

} // namespace

QList<Entry> pngEntries(const QByteArray& file) {
    if (file.size() < headerBytes || !file.startsWith("icns"))
        return {};
    // The declared length may only shorten what is read, never lengthen it.
    const qsizetype end = std::min<qsizetype>(file.size(), bigEndian(file, 4));
    QList<Entry> entries;
    qsizetype offset = headerBytes;
    while (end - offset >= headerBytes) {
        const quint32 length = bigEndian(file, offset + 4);
        if (length < headerBytes || length > quint64(end - offset))
            break;
        const qsizetype data = offset + headerBytes;
        const qsizetype dataLength = qsizetype(length) - headerBytes;
        if (dataLength >= pngHeaderBytes &&
            std::equal(pngSignature, pngSignature + 8, file.constData() + data) &&
            file.mid(data + 12, 4) == "IHDR") {
            const quint32 width = bigEndian(file, data + 16);
            const quint32 height = bigEndian(file, data + 20);
            // Sides beyond int are kept out of range rather than wrapped.
            entries.append(Entry{data, dataLength, int(std::min<quint32>(width, maximumSide + 1)),
                                 int(std::min<quint32>(height, maximumSide + 1))});
        }
        offset += length;
    }
    return entries;
}

std::optional<Entry> choose(const QList<Entry>& entries, int minimumSide) {
    std::optional<Entry> smallestLargeEnough;
    std::optional<Entry> largest;
    for (const Entry& entry : entries) {
        if (!usable(entry))
            continue;
        const int side = std::min(entry.width, entry.height);
        if (side >= minimumSide && (!smallestLargeEnough ||
                                    side < std::min(smallestLargeEnough->width, smallestLargeEnough->height)))
            smallestLargeEnough = entry;
        if (!largest || side > std::min(largest->width, largest->height))
            largest = entry;
    }
    return smallestLargeEnough ? smallestLargeEnough : largest;
}

std::optional<QByteArray> pngFor(const QByteArray& file, int minimumSide) {
    const std::optional<Entry> entry = choose(pngEntries(file), minimumSide);
    if (!entry)
        return std::nullopt;
    return file.mid(entry->offset, entry->length);
}

} // namespace lunorvale::IcnsReader
