// Reading and writing font.f: record layout, what makes a file unreadable,
// and the space glyph's borrowed advance.
#include "support/text_fixture.h"
#include "text/font_file.h"

#include <fstream>
#include <iterator>

namespace tundra_test {
namespace {

using tundra_formats::EncodeFont;
using tundra_formats::FontGlyphRecord;
using tundra_formats::PatternBitmap;
using tundra_formats::UniformFont;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A font whose every glyph differs, with negative offsets and odd sizes.
std::vector<FontGlyphRecord> VariedFont() {
    std::vector<FontGlyphRecord> glyphs = UniformFont(0, 0);
    for (int code = 0; code < 256; ++code) {
        FontGlyphRecord& g = glyphs[code];
        g.width = code % 5;
        g.height = g.width == 0 ? 0 : 1 + code % 7;
        g.xOffset = code % 3 - 1;
        g.yOffset = -(code % 11);
        g.advance = 3 + code % 9;
        g.lineHeight = 10 + code % 4;
        g.bitmap = PatternBitmap(code, g.width, g.height);
    }
    return glyphs;
}

using FontFileTest = TextTest;

TEST_F(FontFileTest, ReadsEveryFieldOfEveryRecordInFileOrder) {
    const auto glyphs = VariedFont();
    writeFont(glyphs);
    FontFile file;
    ASSERT_TRUE(file.load("data\\font.f"));
    ASSERT_EQ(file.glyphs.size(), 256u);
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        const FontGlyph& read = *file.glyphs[code];
        const FontGlyphRecord& written = glyphs[code];
        EXPECT_EQ(read.width, written.width);
        EXPECT_EQ(read.height, written.height);
        EXPECT_EQ(read.xOffset, written.xOffset);
        EXPECT_EQ(read.yOffset, written.yOffset);
        EXPECT_EQ(read.lineHeight, written.lineHeight);
        EXPECT_EQ(read.bitmap, written.bitmap);
        if (code != 32) {
            EXPECT_EQ(read.advance, written.advance);
        }
    }
}

TEST_F(FontFileTest, SpaceWithoutAdvanceBorrowsTheAdvanceOfLetterI) {
    auto glyphs = UniformFont(7, 16);
    glyphs[32].advance = 0;
    glyphs[105].advance = 4;
    writeFont(glyphs);
    FontFile file;
    ASSERT_TRUE(file.load("data\\font.f"));
    EXPECT_EQ(file.glyphs[32]->advance, 4u);

    glyphs[32].advance = 9;
    writeFont(glyphs);
    ASSERT_TRUE(file.load("data\\font.f"));
    EXPECT_EQ(file.glyphs[32]->advance, 9u);
    EXPECT_EQ(file.glyphs.size(), 256u) << "a second load replaces the glyphs";
}

TEST_F(FontFileTest, BytesAfterTheLastRecordAreIgnored) {
    writeFont(VariedFont(), "font.f", std::string(1000, '\x7f'));
    FontFile file;
    ASSERT_TRUE(file.load("data\\font.f"));
    EXPECT_EQ(file.glyphs[255]->bitmap, VariedFont()[255].bitmap);
}

TEST_F(FontFileTest, FileCutShortAnywhereFails) {
    const std::string bytes = EncodeFont(VariedFont());
    // Inside the first header, at a record boundary, inside a bitmap, one byte short.
    for (size_t length : {size_t(0), size_t(10), size_t(24), size_t(24 * 3 + 5), bytes.size() / 2,
                          bytes.size() - 1}) {
        SCOPED_TRACE(length);
        writeBytes(bytes.substr(0, length));
        FontFile file;
        EXPECT_FALSE(file.load("data\\font.f"));
    }
}

TEST_F(FontFileTest, MissingFileFails) {
    FontFile file;
    EXPECT_FALSE(file.load("data\\absent.f"));
}

TEST_F(FontFileTest, GlyphWithRowsButNoColumnsFailsTheLoadAndTheSave) {
    auto glyphs = UniformFont(8, 16);
    glyphs[65].height = 3;  // width stays 0
    writeFont(glyphs);
    FontFile file;
    EXPECT_FALSE(file.load("data\\font.f"));

    glyphs[65].height = 0;
    glyphs[65].width = 3;  // columns but no rows: nothing to read, fine
    writeFont(glyphs);
    EXPECT_TRUE(file.load("data\\font.f"));

    file.glyphs[65]->width = 0;
    file.glyphs[65]->height = 3;
    EXPECT_FALSE(file.save("data\\copy.f")) << "a save must not write what no load reads";
}

TEST_F(FontFileTest, BitmapsBeyond4096By4096AreDamage) {
    auto glyphs = UniformFont(8, 16);
    glyphs[0].width = 4097;
    glyphs[0].height = 4096;
    glyphs[0].bitmap.assign(size_t(4097) * 4096, 1);  // present, so only the size can fail
    writeFont(glyphs);
    FontFile file;
    EXPECT_FALSE(file.load("data\\font.f"));

    glyphs[0].width = 4096;
    glyphs[0].bitmap.assign(size_t(4096) * 4096, 1);
    writeFont(glyphs);
    EXPECT_TRUE(file.load("data\\font.f"));

    // A header claiming 4 G texels must not make the reader allocate them.
    glyphs[0].width = glyphs[0].height = 0xFFFFFFFFu;
    glyphs[0].bitmap.clear();
    writeFont(glyphs);
    EXPECT_FALSE(file.load("data\\font.f"));
}

TEST_F(FontFileTest, SaveWritesTheBytesItRead) {
    const auto glyphs = VariedFont();
    writeFont(glyphs, "font.f", "trailing");
    FontFile file;
    ASSERT_TRUE(file.load("data\\font.f"));
    file.glyphs[32]->advance = glyphs[32].advance;  // undo the borrowed space advance
    ASSERT_TRUE(file.save("data\\copy.f"));
    EXPECT_EQ(ReadAll(dataPath("copy.f")), EncodeFont(glyphs));
}

TEST_F(FontFileTest, SaveFailsWhereItCannotWrite) {
    FontFile file;
    EXPECT_FALSE(file.save("data\\no-such-folder\\copy.f"));
}

}  // namespace
}  // namespace tundra_test
