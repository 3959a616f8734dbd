#include "app/shell/LunorvaleEntry.h"
#include "platform/gui/FontFiles.h"

// Qt opens every font face with FreeType's FT_New_Face, which maps the font file whole: this one,
// exported from the program, takes its place and reads the file instead (see FontFiles).
extern "C" FT_Error FT_New_Face(FT_Library library, const char* path, FT_Long index, FT_Face* face) {
    return lunorvale::FontFiles::openFace(library, path, index, face);
}

int main(int argc, char** argv) {
    return lunorvale::LunorvaleEntry::main(argc, argv);
}
