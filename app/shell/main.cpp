#include "app/modes/LunorvaleEntry.h"
#include "platform/gui/FontFiles.h"

#include <QCoreApplication>

// Qt opens every font face with FreeType's FT_New_Face, which maps the font file whole: this one,
// exported from the program, takes its place and reads the file instead (see FontFiles).
extern "C" FT_Error FT_New_Face(FT_Library library, const char* path, FT_Long index, FT_Face* face) {
    return lunorvale::FontFiles::openFace(library, path, index, face);
}

namespace lunorvale {

// Here rather than beside the other modes: the desktop program needs the interface, the modes only
// what lies below it.
int LunorvaleEntry::main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Dispatch chosen = dispatch(arguments);
    using Mode = Dispatch::Mode;
    if (chosen.mode == Mode::application)
        return application(argc, argv, arguments);
    QCoreApplication app(argc, argv);
    switch (chosen.mode) {
    case Mode::probe:
        return probe();
    case Mode::smokeTest:
        return smokeTest();
    case Mode::applicationsProbe:
        return applicationsProbe();
    case Mode::applicationsAISmoke:
        return aiSmoke(chosen.address, AIAnalysisPurpose::applications);
    case Mode::decisionAISmoke:
        return aiSmoke(chosen.address, AIAnalysisPurpose::processDecision);
    case Mode::aiSmoke:
        return aiSmoke(chosen.address, AIAnalysisPurpose::process);
    case Mode::application:
        break;
    }
    return 2;
}

} // namespace lunorvale

int main(int argc, char** argv) {
    return lunorvale::LunorvaleEntry::main(argc, argv);
}
