#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

namespace lunorvale {

// Opens font faces for FreeType by reading the file instead of mapping it.
//
// FreeType maps a font file whole and reads glyphs straight out of the mapping. For the CJK
// collections the interface draws with (20 MB, glyph outlines spread over 15 MB), every glyph drawn
// faults in the kernel's whole fault-around window, 64 KB, of cached file pages next to it, so the
// program's resident memory grows by megabytes with the number of different characters on screen.
// Read through a stream, FreeType keeps only the tables it needs in memory (cmap, metrics,
// subroutines: about 2 MB per face) and reads each outline when it renders a glyph the first time;
// Qt caches the rendered glyphs, so the extra reads stay few.
struct FontFiles final {
    // As FT_New_Face, with its errors: the face `index` of the file at `path`. The file stays open
    // until the face is done.
    static FT_Error openFace(FT_Library library, const char* path, FT_Long index, FT_Face* face);
};

} // namespace lunorvale
