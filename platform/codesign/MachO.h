#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace lunorvale {

// Random access to the bytes of a file or a buffer.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Exactly `length` bytes from `offset` into `out`; false when they cannot all be read.
    virtual bool read(uint64_t offset, char* out, uint64_t length) const = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    uint64_t size() const override { return static_cast<uint64_t>(m_bytes.size()); }
    bool read(uint64_t offset, char* out, uint64_t length) const override;

private:
    QByteArray m_bytes;
};

// Reads through a descriptor that the caller keeps open; the size is taken once, when constructed.
class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(int fd);
    uint64_t size() const override { return m_size; }
    bool read(uint64_t offset, char* out, uint64_t length) const override;

private:
    int m_fd;
    uint64_t m_size = 0;
};

// The layout of Mach-O executables: a thin file holds one image, a universal file a table of images
// ("slices"), each a complete thin file at its own offset. Either byte order is read; the universal
// table is big-endian by convention but a swapped one is read too.
namespace MachO {

enum class Layout {
    notMachO,  // no Mach-O or universal magic at the start
    malformed, // the magic is there but the headers or the table do not fit the file
    thin,
    universal,
};

// The LC_CODE_SIGNATURE command: where the embedded signature lies, relative to the slice.
struct SignatureLocation {
    uint32_t offset = 0;
    uint32_t size = 0;
};

struct Slice {
    uint64_t offset = 0; // in the file
    uint64_t size = 0;
    int32_t cpuType = 0;
    bool bigEndian = false;
    bool wide = false; // the 64-bit header
    std::optional<SignatureLocation> signature;
};

struct File {
    Layout layout = Layout::notMachO;
    QList<Slice> slices; // one for a thin file; empty unless the layout is thin or universal
};

constexpr uint32_t maximumSlices = 64;
constexpr uint32_t maximumCommandBytes = 16 * 1024 * 1024;

// Whether four bytes, in file order, are a Mach-O (32- or 64-bit) or universal magic in either order.
bool hasMagic(const char* fourBytes);

// The slices and their signature commands. A slice with two signature commands, a signature that
// overlaps the load commands or leaves the slice, slices that overlap, a universal file inside a universal
// file: all malformed.
File read(const ByteSource& source);

// Whether the path names, without following a final link, a regular file with an execute bit that
// starts with a Mach-O or universal magic.
bool isNativeExecutable(const QString& path);

} // namespace MachO
} // namespace lunorvale
