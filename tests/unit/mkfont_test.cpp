// mkfont end to end: the default font has drawn, anti-aliased Windows-1252 glyphs standing on
// the pen's descender line and gives the console 33 x 96 characters at 800 x 600. A glyph of
// 2-bit grey levels cannot be copied, so it counts as empty like the codes a font lacks.
#include "support/text_fixture.h"
#include "support/tool_runner.h"
#include "text/console.h"
#include "text/font.h"
#include "text/font_file.h"

#include <algorithm>
#include <fstream>

namespace tundra_test {
namespace {

using MkfontTest = TextTest;

TEST_F(MkfontTest, WritesTheGlyphsTheConsoleNeedsAndLeavesUncopiableOnesEmpty) {
    std::string output;
    ASSERT_EQ(RunTool("mkfont --output " + dataPath("font.f"), output), 0) << output;
    FontFile file;
    ASSERT_TRUE(file.load("data\\font.f"));
    const FontGlyph &a = *file.glyphs['A'], &g = *file.glyphs['g'];
    for (int code : {65, 103, 112, 124, 95, 126, 0x80, 0xE9, 0, 9, 10, 31, 127, 0x81, 0x8D}) {
        const FontGlyph& glyph = *file.glyphs[code];
        const bool drawn = code > 32 && code != 127 && code != 0x81 && code != 0x8D;
        EXPECT_EQ(glyph.width > 0 && glyph.height > 0, drawn) << code;
        EXPECT_EQ(glyph.advance, file.glyphs[' ']->advance) << code << " (monospaced)";
        EXPECT_EQ(glyph.lineHeight, a.lineHeight) << code;
        const int32_t top = -glyph.yOffset, bottom = top - int32_t(glyph.height);
        EXPECT_GE(bottom, drawn ? -1 : 0) << code << " (one rounded pixel below the line at most)";
        EXPECT_LE(top, int32_t(a.lineHeight) + 1) << code;
    }
    EXPECT_GT(-a.yOffset - int32_t(a.height), -g.yOffset - int32_t(g.height)) << "descender";
    EXPECT_EQ(*std::max_element(a.bitmap.begin(), a.bitmap.end()), 255);
    // The bar: its rows between the first and the last are alike and inked.
    const FontGlyph& bar = *file.glyphs['|'];
    const auto middle = bar.bitmap.begin() + bar.height / 2 * bar.width;
    EXPECT_GE(*std::max_element(middle, middle + bar.width), 128);
    for (uint32_t y = 1; y + 1 < bar.height; ++y)
        EXPECT_TRUE(std::equal(middle, middle + bar.width, bar.bitmap.begin() + y * bar.width))
            << y;
    EXPECT_TRUE(std::any_of(a.bitmap.begin(), a.bitmap.end(), [](int b) { return b && b < 128; }))
        << "anti-aliased edges";
    Font font;
    font.load("font.f", &device, 800.0f / 600.0f);
    Console console;
    console.setFont(&font);
    for (int i = 0; i < 100; ++i) console.print(std::string(200, 'm') + "\n");
    EXPECT_EQ(console.getLines().size(), 33u);
    EXPECT_EQ(console.getLines().front().size(), 96u);
    const std::string grey2 = dataPath("grey2.bdf");
    std::ofstream(grey2)
        << "STARTFONT 2.2\nFONT x\nSIZE 8 75 75 2\nFONTBOUNDINGBOX 4 1 0 0\nSTARTPROPERTIES 2\n"
           "CHARSET_REGISTRY \"ISO10646\"\nCHARSET_ENCODING \"1\"\nENDPROPERTIES\nCHARS 1\n"
           "STARTCHAR A\nENCODING 65\nDWIDTH 4 0\nBBX 4 1 0 0\nBITMAP\nFF\nENDCHAR\nENDFONT\n";
    RunTool("mkfont --size 8 --font " + grey2 + " --output " + grey2 + ".f", output);
    EXPECT_NE(output.find(" 0 drawn glyphs, 256 empty codes"), std::string::npos) << output;
}

}  // namespace
}  // namespace tundra_test
