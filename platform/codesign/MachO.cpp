#include "platform/codesign/MachO.h"

#include "platform/UniqueFd.h"
#include "platform/codesign/ByteOrder.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lunorvale {

bool MemoryByteSource::read(uint64_t offset, char* out, uint64_t length) const {
    const uint64_t size = this->size();
    if (offset > size || length > size - offset)
        return false;
    std::memcpy(out, m_bytes.constData() + offset, static_cast<size_t>(length));
    return true;
}

FileByteSource::FileByteSource(int fd) : m_fd(fd) {
    struct stat status {};
    if (::fstat(fd, &status) == 0 && status.st_size > 0)
        m_size = static_cast<uint64_t>(status.st_size);
}

bool FileByteSource::read(uint64_t offset, char* out, uint64_t length) const {
    if (offset > m_size || length > m_size - offset)
        return false;
    while (length > 0) {
        const ssize_t got = ::pread(m_fd, out, static_cast<size_t>(length), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += static_cast<uint64_t>(got);
        length -= static_cast<uint64_t>(got);
    }
    return true;
}

namespace MachO {
namespace {

constexpr uint32_t thin32 = 0xfeedface;
constexpr uint32_t thin32Swapped = 0xcefaedfe;
constexpr uint32_t thin64 = 0xfeedfacf;
constexpr uint32_t thin64Swapped = 0xcffaedfe;
constexpr uint32_t universal32 = 0xcafebabe;
constexpr uint32_t universal32Swapped = 0xbebafeca;
constexpr uint32_t universal64 = 0xcafebabf;
constexpr uint32_t universal64Swapped = 0xbfbafeca;
constexpr uint32_t codeSignatureCommand = 0x1d;

bool isThin(uint32_t magic) {
    return magic == thin32 || magic == thin32Swapped || magic == thin64 || magic == thin64Swapped;
}

bool isUniversal(uint32_t magic) {
    return magic == universal32 || magic == universal32Swapped || magic == universal64 ||
           magic == universal64Swapped;
}

// The slice at [offset, offset + size) as a thin image; absent when it is not a well-formed one.
std::optional<Slice> readThin(const ByteSource& source, uint64_t offset, uint64_t size) {
    char header[32];
    if (size < 28 || !source.read(offset, header, 4))
        return std::nullopt;
    const uint32_t magic = ByteOrder::big32(header);
    if (!isThin(magic))
        return std::nullopt;
    Slice slice;
    slice.offset = offset;
    slice.size = size;
    slice.bigEndian = magic == thin32 || magic == thin64;
    slice.wide = magic == thin64 || magic == thin64Swapped;
    const uint32_t headerSize = slice.wide ? 32 : 28;
    if (size < headerSize || !source.read(offset, header, headerSize))
        return std::nullopt;
    slice.cpuType = static_cast<int32_t>(ByteOrder::u32(header + 4, slice.bigEndian));
    const uint32_t count = ByteOrder::u32(header + 16, slice.bigEndian);
    const uint32_t commandBytes = ByteOrder::u32(header + 20, slice.bigEndian);
    if (commandBytes > maximumCommandBytes || headerSize + uint64_t(commandBytes) > size ||
        count > commandBytes / 8)
        return std::nullopt;
    QByteArray commands(static_cast<qsizetype>(commandBytes), Qt::Uninitialized);
    if (!source.read(offset + headerSize, commands.data(), commandBytes))
        return std::nullopt;

    uint64_t position = 0;
    for (uint32_t index = 0; index < count; ++index) {
        if (position + 8 > commandBytes)
            return std::nullopt;
        const char* command = commands.constData() + position;
        const uint32_t kind = ByteOrder::u32(command, slice.bigEndian);
        const uint32_t commandSize = ByteOrder::u32(command + 4, slice.bigEndian);
        if (commandSize < 8 || position + commandSize > commandBytes)
            return std::nullopt;
        if (kind == codeSignatureCommand) {
            if (commandSize != 16 || slice.signature)
                return std::nullopt;
            const SignatureLocation location{ByteOrder::u32(command + 8, slice.bigEndian),
                                             ByteOrder::u32(command + 12, slice.bigEndian)};
            // The signature follows everything it signs: the headers and the code before it.
            if (location.size == 0 || location.offset < headerSize + uint64_t(commandBytes) ||
                uint64_t(location.offset) + location.size > size)
                return std::nullopt;
            slice.signature = location;
        }
        position += commandSize;
    }
    return slice;
}

File malformed() {
    return File{Layout::malformed, {}};
}

} // namespace

bool hasMagic(const char* fourBytes) {
    const uint32_t magic = ByteOrder::big32(fourBytes);
    return isThin(magic) || isUniversal(magic);
}

File read(const ByteSource& source) {
    char start[8];
    if (source.size() < 4 || !source.read(0, start, 4) || !hasMagic(start))
        return File{};
    const uint32_t magic = ByteOrder::big32(start);
    if (isThin(magic)) {
        const std::optional<Slice> slice = readThin(source, 0, source.size());
        return slice ? File{Layout::thin, {*slice}} : malformed();
    }

    const bool bigEndian = magic == universal32 || magic == universal64;
    const bool wideTable = magic == universal64 || magic == universal64Swapped;
    if (!source.read(0, start, 8))
        return malformed();
    const uint32_t count = ByteOrder::u32(start + 4, bigEndian);
    const uint64_t entrySize = wideTable ? 32 : 20;
    if (count == 0 || count > maximumSlices || 8 + count * entrySize > source.size())
        return malformed();
    QByteArray table(static_cast<qsizetype>(count * entrySize), Qt::Uninitialized);
    if (!source.read(8, table.data(), count * entrySize))
        return malformed();

    File file{Layout::universal, {}};
    for (uint32_t index = 0; index < count; ++index) {
        const char* entry = table.constData() + index * entrySize;
        const uint64_t offset =
            wideTable ? ByteOrder::u64(entry + 8, bigEndian) : ByteOrder::u32(entry + 8, bigEndian);
        const uint64_t size =
            wideTable ? ByteOrder::u64(entry + 16, bigEndian) : ByteOrder::u32(entry + 12, bigEndian);
        if (offset < 8 + count * entrySize || offset > source.size() || size > source.size() - offset)
            return malformed();
        const std::optional<Slice> slice = readThin(source, offset, size);
        if (!slice)
            return malformed();
        file.slices.append(*slice);
    }
    QList<Slice> ordered = file.slices;
    std::sort(ordered.begin(), ordered.end(),
              [](const Slice& a, const Slice& b) { return a.offset < b.offset; });
    for (qsizetype index = 1; index < ordered.size(); ++index)
        if (ordered[index - 1].offset + ordered[index - 1].size > ordered[index].offset)
            return malformed();
    return file;
}

bool isNativeExecutable(const QString& path) {
    const UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        return false;
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) || (status.st_mode & 0111) == 0)
        return false;
    char magic[4];
    size_t got = 0;
    while (got < sizeof magic) {
        const ssize_t count = ::read(fd.get(), magic + got, sizeof magic - got);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        got += static_cast<size_t>(count);
    }
    return hasMagic(magic);
}

} // namespace MachO
} // namespace lunorvale
