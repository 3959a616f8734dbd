#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace lunorvale {

// The picture entries of an icon file of the bundle format ("icns"): a 4-byte magic, the file's length
// and a run of entries, each a 4-byte type, its length (header included) and its data, all big-endian.
//
// Only entries that hold a PNG image are used; their size is read from the PNG header, so nothing is
// decoded to choose one. The file comes from a bundle, i.e. from anyone: every length is checked
// against the bytes at hand, and pictures larger than `maximumSide` are never offered for decoding.
namespace IcnsReader {

inline constexpr int maximumSide = 1024;

struct Entry {
    qsizetype offset = 0; // of the PNG data in the file
    qsizetype length = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const Entry&, const Entry&) = default;
};

// The PNG entries in file order, sides taken from their headers. Stops at the first entry whose length
// does not fit; what came before it is kept. Not an icon file: none.
QList<Entry> pngEntries(const QByteArray& file);

// The entry to decode for a frame of `minimumSide` pixels: the smallest whose sides are both at least
// that, else the largest; entries with a side of 0 or over maximumSide are passed over.
std::optional<Entry> choose(const QList<Entry>& entries, int minimumSide);

// The chosen entry's PNG bytes.
std::optional<QByteArray> pngFor(const QByteArray& file, int minimumSide);

} // namespace IcnsReader
} // namespace lunorvale
