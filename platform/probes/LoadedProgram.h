#pragma once

// What a process whose executable is a dynamic loader runs: the loader's link names the loader, whatever
// program it was given. Read from the executable's ELF header and from the process's mappings, kept apart
// from the code that reads them so that it can be tested on any bytes.

#include <string_view>

namespace lunorvale::probes {

// How an executable file runs, by its first bytes.
enum class ImageKind {
    unknown, // no ELF image of this machine's byte order, or its program headers lie past the bytes given
    itself,  // a program that asks for an interpreter (PT_INTERP), or one that is not position-independent
    loader,  // position-independent and asking for no interpreter: a dynamic loader, or a static-pie program
};
ImageKind imageKind(std::string_view head) noexcept;

// Whether the text of /proc/PID/maps of a process whose executable link reads `loader` (the kernel's
// path, its deletion mark included) maps executable code from a file at or below `bundle`, other than the
// loader's own: the program the loader runs, or a library it loaded for it.
bool mapsCodeFrom(std::string_view maps, std::string_view loader, std::string_view bundle);

} // namespace lunorvale::probes
