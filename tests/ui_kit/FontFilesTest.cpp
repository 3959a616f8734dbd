#include "platform/gui/FontFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace lunorvale;

namespace {

const char* const fontFolder = "/usr/share/fonts/opentype/noto/";

struct Library {
    Library() { FT_Init_FreeType(&handle); }
    ~Library() { FT_Done_FreeType(handle); }
    FT_Library handle = nullptr;
};

using Face = std::unique_ptr<FT_FaceRec_, decltype(&FT_Done_Face)>;

// What a face draws: its names, its glyph count, and each character's glyph as rendered.
struct Drawn {
    std::string family, style;
    FT_Long glyphs = 0;
    std::vector<std::vector<unsigned char>> bitmaps;
    bool operator==(const Drawn&) const = default;
};

Drawn draw(FT_Face face, std::u32string_view text) {
    Drawn drawn{face->family_name, face->style_name, face->num_glyphs, {}};
    FT_Set_Pixel_Sizes(face, 0, 26);
    for (const char32_t character : text) {
        EXPECT_EQ(FT_Load_Char(face, character, FT_LOAD_RENDER), 0);
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        std::vector<unsigned char> pixels;
        for (unsigned row = 0; row < bitmap.rows; ++row)
            pixels.insert(pixels.end(), bitmap.buffer + row * bitmap.pitch,
                          bitmap.buffer + row * bitmap.pitch + bitmap.width);
        pixels.push_back(static_cast<unsigned char>(bitmap.width));
        drawn.bitmaps.push_back(std::move(pixels));
    }
    return drawn;
}

qsizetype openDescriptors() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

} // namespace

TEST(FontFiles, FacesReadFromTheFileDrawAsFaceMappedByFreeType) {
    const std::string regular = std::string(fontFolder) + "NotoSansCJK-Regular.ttc";
    if (!QFile::exists(QString::fromStdString(regular)))
        GTEST_SKIP() << "fonts-noto-cjk is not installed";
    struct Row {
        const char* file;
        FT_Long index;
    };
    // Index 2 is the simplified Chinese face of the collections; 0 is the first face.
    const Row rows[] = {
        {"NotoSansCJK-Regular.ttc", 2}, {"NotoSansCJK-Bold.ttc", 2}, {"NotoSansCJK-Regular.ttc", 0}};
    const std::u32string_view text = U"岚栖进程设置A1·…%";
    Library library;
    const qsizetype descriptors = openDescriptors();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string path = std::string(fontFolder) + row.file;
        FT_Face mapped = nullptr;
        FT_Face read = nullptr;
        ASSERT_EQ(FT_New_Face(library.handle, path.c_str(), row.index, &mapped), 0);
        ASSERT_EQ(FontFiles::openFace(library.handle, path.c_str(), row.index, &read), 0);
        const Face mappedFace(mapped, &FT_Done_Face), readFace(read, &FT_Done_Face);
        EXPECT_EQ(draw(read, text), draw(mapped, text));
    }
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST(FontFiles, WhatIsNoFaceGivesFreeTypesOwnErrorAndKeepsNothingOpen) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName().toStdString();
    };
    struct Row {
        std::string path;
        FT_Long index;
    };
    std::vector<Row> rows = {{folder.filePath(QStringLiteral("missing.ttf")).toStdString(), 0},
                             {folder.path().toStdString(), 0},
                             {write(QStringLiteral("short.ttf"), "not a font\n"), 0},
                             {write(QStringLiteral("long.otf"), QByteArray(5000, 'x')), 0}};
    const std::string regular = std::string(fontFolder) + "NotoSansCJK-Regular.ttc";
    if (QFile::exists(QString::fromStdString(regular)))
        rows.push_back({regular, 99}); // past the collection's last face
    Library library;
    const qsizetype descriptors = openDescriptors();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        FT_Face face = nullptr;
        const FT_Error error = FontFiles::openFace(library.handle, row.path.c_str(), row.index, &face);
        EXPECT_NE(error, 0);
        EXPECT_EQ(error, FT_New_Face(library.handle, row.path.c_str(), row.index, &face));
        EXPECT_EQ(face, nullptr);
    }
    EXPECT_EQ(openDescriptors(), descriptors);
}
