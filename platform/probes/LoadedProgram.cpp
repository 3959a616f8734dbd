#include "platform/probes/LoadedProgram.h"

#include "platform/probes/PathHolds.h"
#include "platform/probes/ProcFiles.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include <elf.h>

namespace lunorvale::probes {

namespace {

template <typename Header, typename Segment> ImageKind kindOf(std::string_view head) noexcept {
    Header header;
    if (head.size() < sizeof header)
        return ImageKind::unknown;
    std::memcpy(&header, head.data(), sizeof header);
    if (header.e_type == ET_EXEC)
        return ImageKind::itself;
    // The kernel runs no image whose program headers are of another size.
    if (header.e_type != ET_DYN || header.e_phentsize != sizeof(Segment))
        return ImageKind::unknown;
    const uint64_t offset = header.e_phoff;
    const uint64_t count = header.e_phnum;
    if (offset > head.size() || count > (head.size() - offset) / sizeof(Segment))
        return ImageKind::unknown;
    for (uint64_t index = 0; index < count; ++index) {
        Segment segment;
        std::memcpy(&segment, head.data() + offset + index * sizeof segment, sizeof segment);
        if (segment.p_type == PT_INTERP)
            return ImageKind::itself;
    }
    return ImageKind::loader;
}

// The kernel writes a line break in a mapped file's path as "\012". A name may hold those four characters
// themselves, so such a path is looked at both as written and with them read as a line break.
std::string withLineBreaks(std::string_view path) {
    constexpr std::string_view escaped = "\\012";
    std::string read;
    for (size_t at = 0;;) {
        const size_t next = path.find(escaped, at);
        read.append(path.substr(at, next - at));
        if (next == std::string_view::npos)
            return read;
        read.push_back('\n');
        at = next + escaped.size();
    }
}

} // namespace

ImageKind imageKind(std::string_view head) noexcept {
    constexpr unsigned char nativeOrder =
        std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
    if (head.size() < EI_NIDENT || std::memcmp(head.data(), ELFMAG, SELFMAG) != 0 ||
        static_cast<unsigned char>(head[EI_DATA]) != nativeOrder)
        return ImageKind::unknown;
    switch (head[EI_CLASS]) {
    case ELFCLASS64:
        return kindOf<Elf64_Ehdr, Elf64_Phdr>(head);
    case ELFCLASS32:
        return kindOf<Elf32_Ehdr, Elf32_Phdr>(head);
    default:
        return ImageKind::unknown;
    }
}

bool mapsCodeFrom(std::string_view maps, std::string_view loader, std::string_view bundle) {
    while (!maps.empty()) {
        const size_t end = maps.find('\n');
        std::string_view line = maps.substr(0, end);
        maps.remove_prefix(end == std::string_view::npos ? maps.size() : end + 1);
        // "start-end perms offset device inode", then blanks and the path, which may hold blanks itself.
        std::string_view permissions;
        for (int field = 0; field < 5 && !line.empty(); ++field) {
            const size_t blank = line.find(' ');
            if (field == 1)
                permissions = line.substr(0, blank);
            line.remove_prefix(blank == std::string_view::npos ? line.size() : blank + 1);
        }
        const size_t start = line.find_first_not_of(' ');
        // Files only: the kernel's own areas are named in brackets, anonymous memory not at all.
        if (permissions.size() < 3 || permissions[2] != 'x' || start == std::string_view::npos ||
            line[start] != '/')
            continue;
        const std::string_view path = line.substr(start);
        const bool escaped = path.find("\\012") != std::string_view::npos;
        const std::string read = escaped ? withLineBreaks(path) : std::string();
        if (path == loader || (escaped && read == loader))
            continue;
        if (pathHolds(bundle, withoutDeletedMark(path)) ||
            (escaped && pathHolds(bundle, withoutDeletedMark(read))))
            return true;
    }
    return false;
}

} // namespace lunorvale::probes
