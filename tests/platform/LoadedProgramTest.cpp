#include "platform/probes/LoadedProgram.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <initializer_list>
#include <string>

#include <elf.h>

using lunorvale::probes::ImageKind;
using lunorvale::probes::imageKind;
using lunorvale::probes::mapsCodeFrom;

namespace {

constexpr unsigned char nativeOrder = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
constexpr unsigned char otherOrder = nativeOrder == ELFDATA2LSB ? ELFDATA2MSB : ELFDATA2LSB;

// The first bytes of an executable as a linker writes them: the ELF header, then the program headers of
// the types given.
template <typename Header, typename Segment>
std::string image(uint16_t type, std::initializer_list<uint32_t> segments, unsigned char order = nativeOrder,
                  uint16_t segmentSize = sizeof(Segment)) {
    Header header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = sizeof(Header) == sizeof(Elf64_Ehdr) ? ELFCLASS64 : ELFCLASS32;
    header.e_ident[EI_DATA] = order;
    header.e_type = type;
    header.e_phoff = sizeof header;
    header.e_phentsize = segmentSize;
    header.e_phnum = static_cast<uint16_t>(segments.size());
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    for (const uint32_t kind : segments) {
        Segment segment{};
        segment.p_type = kind;
        bytes.append(reinterpret_cast<const char*>(&segment), sizeof segment);
    }
    return bytes;
}
std::string image64(uint16_t type, std::initializer_list<uint32_t> segments,
                    unsigned char order = nativeOrder, uint16_t segmentSize = sizeof(Elf64_Phdr)) {
    return image<Elf64_Ehdr, Elf64_Phdr>(type, segments, order, segmentSize);
}
std::string image32(uint16_t type, std::initializer_list<uint32_t> segments) {
    return image<Elf32_Ehdr, Elf32_Phdr>(type, segments);
}

std::string mapping(const std::string& permissions, const std::string& path) {
    return "7f1c2a400000-7f1c2a428000 " + permissions + " 00001000 08:01 1835017                    " + path +
           "\n";
}

} // namespace

TEST(LoadedProgram, AnImageWithoutInterpreterIsALoader) {
    const std::string cut = image64(ET_DYN, {PT_LOAD, PT_INTERP});
    const struct {
        const char* what;
        std::string head;
        ImageKind kind;
    } cases[] = {
        {"64-bit loader", image64(ET_DYN, {PT_LOAD, PT_LOAD, PT_DYNAMIC, PT_GNU_STACK}), ImageKind::loader},
        {"64-bit program", image64(ET_DYN, {PT_PHDR, PT_INTERP, PT_LOAD}), ImageKind::itself},
        {"32-bit loader", image32(ET_DYN, {PT_LOAD, PT_DYNAMIC}), ImageKind::loader},
        {"32-bit program", image32(ET_DYN, {PT_PHDR, PT_INTERP, PT_LOAD}), ImageKind::itself},
        {"fixed addresses", image64(ET_EXEC, {PT_LOAD}), ImageKind::itself},
        {"object file", image64(ET_REL, {}), ImageKind::unknown},
        {"other byte order", image64(ET_DYN, {PT_LOAD}, otherOrder), ImageKind::unknown},
        {"program headers cut", cut.substr(0, cut.size() - 1), ImageKind::unknown},
        {"headers of another size", image64(ET_DYN, {PT_LOAD}, nativeOrder, 64), ImageKind::unknown},
        {"script", "#!/bin/sh\n", ImageKind::unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(imageKind(c.head), c.kind);
    }
}

// The loader's own mappings are told by its link's text, deletion mark included; anything else mapped
// executable from the bundle is its code, whether the file has gone since or its path holds blanks or
// line breaks.
TEST(LoadedProgram, CodeMappedFromTheBundleCounts) {
    const std::string loader = "/usr/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2";
    const std::string bundle = "/home/u/Applications/X.app";
    const std::string program = bundle + "/Contents/MacOS/X";
    const std::string last = mapping("r-xp", program);
    const std::string outside =
        mapping("r--p", loader) + mapping("r-xp", loader) +
        mapping("r-xp", "/usr/lib/x86_64-linux-gnu/libc.so.6") +
        "7ffd5c3f2000-7ffd5c3f4000 r-xp 00000000 00:00 0                          [vdso]\n" +
        "7f1c2a600000-7f1c2a700000 rw-p 00000000 00:00 0 \n";
    const struct {
        const char* what;
        std::string maps;
        std::string loader;
        std::string bundle;
        bool code;
    } cases[] = {
        {"program inside", outside + mapping("r-xp", program), loader, bundle, true},
        {"library inside", outside + mapping("r-xp", bundle + "/Contents/Frameworks/libx.so"), loader, bundle,
         true},
        {"program removed", mapping("r-xp", program + " (deleted)"), loader, bundle, true},
        {"program outside", outside + mapping("r-xp", "/usr/bin/sleep"), loader, bundle, false},
        {"data only", outside + mapping("r--p", program) + mapping("rw-p", bundle + "/Contents/data"), loader,
         bundle, false},
        {"neighbour", mapping("r-xp", bundle + "2/Contents/MacOS/X"), loader, bundle, false},
        {"a library beside the loader", outside, loader, "/usr/lib", true},
        {"the loader alone", mapping("r-xp", loader), loader, "/usr/lib", false},
        {"removed loader", mapping("r-xp", "/opt/ld.so (deleted)"), "/opt/ld.so (deleted)", "/opt", false},
        {"blanks", mapping("r-xp", "/b/My App.app/Contents/MacOS/My App"), loader, "/b/My App.app", true},
        {"line break", mapping("r-xp", "/b/X\\012.app/X"), loader, "/b/X\n.app", true},
        {"loader's line break", mapping("r-xp", "/b/ld\\012.so"), "/b/ld\n.so", "/b", false},
        {"no line end", outside + last.substr(0, last.size() - 1), loader, bundle, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(mapsCodeFrom(c.maps, c.loader, c.bundle), c.code);
    }
}
