// mkfont round trip: a font it writes from DejaVu Sans Mono loads in the
// viewer with the metrics the console relies on.
#include "support/text_fixture.h"
#include "support/tool_runner.h"
#include "text/console.h"
#include "text/font.h"
#include "text/font_file.h"

namespace tundra_test {
namespace {

struct RunResult {
    int status;
    std::string output;
};

RunResult RunMkfont(const std::string& arguments) {
    RunResult result;
    result.status = RunTool(ToolPath("mkfont") + " " + arguments, result.output);
    return result;
}

class MkfontTest : public TextTest {
protected:
    void make(const std::string& arguments = "") {
        const RunResult run = RunMkfont("--output " + dataPath("font.f") + " " + arguments);
        ASSERT_EQ(run.status, 0) << run.output;
        ASSERT_TRUE(file.load("data\\font.f"));
    }
    const FontGlyph& glyph(int code) const { return *file.glyphs.at(code); }

    FontFile file;
};

TEST_F(MkfontTest, DefaultFontHasRenderedAsciiAndWindows1252AndEmptyControlCodes) {
    make();
    const uint32_t space = glyph(' ').advance;
    ASSERT_GT(space, 0u);
    for (int code : {int('A'), int('g'), int('~'), 0x80 /* euro */, 0xE9 /* e acute */}) {
        SCOPED_TRACE(code);
        EXPECT_GT(glyph(code).width, 0u);
        EXPECT_GT(glyph(code).height, 0u);
        EXPECT_EQ(glyph(code).bitmap.size(), size_t(glyph(code).width) * glyph(code).height);
        EXPECT_EQ(glyph(code).advance, space) << "DejaVu Sans Mono is monospaced";
    }
    for (int code : {0, 9, 10, 31, 127, 0x81, 0x8D}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(glyph(code).width, 0u);
        EXPECT_EQ(glyph(code).advance, space);
        EXPECT_EQ(glyph(code).lineHeight, glyph('A').lineHeight);
    }
    uint8_t darkest = 0, faintest = 255;
    for (uint8_t b : glyph('A').bitmap) {
        if (b > darkest) darkest = b;
        if (b > 0 && b < faintest) faintest = b;
    }
    EXPECT_EQ(darkest, 255);
    EXPECT_LT(faintest, 128) << "edges are anti-aliased";
}

TEST_F(MkfontTest, PenSitsOnTheDescenderLineBelowEveryGlyph) {
    make();
    const int32_t lineHeight = int32_t(glyph('A').lineHeight);
    for (int code : {int('A'), int('g'), int('p'), int('|'), int('_')}) {
        SCOPED_TRACE(code);
        const int32_t top = -glyph(code).yOffset;  // bitmap top above the pen
        const int32_t bottom = top - int32_t(glyph(code).height);
        EXPECT_GE(bottom, -1) << "a glyph may poke one rounded pixel below the line";
        EXPECT_LE(top, lineHeight + 1);
    }
    EXPECT_GT(-glyph('A').yOffset - int32_t(glyph('A').height),
              -glyph('g').yOffset - int32_t(glyph('g').height))
        << "descenders reach lower than capitals";
}

TEST_F(MkfontTest, DefaultFontGivesA33By96ConsoleAt800By600) {
    make();
    Font font;
    font.load("font.f", &device, 800.0f / 600.0f);
    ASSERT_TRUE(font.isReady());
    EXPECT_EQ(font.fontTextures().size(), 1u);
    Console console;
    console.setFont(&font);
    std::string text;
    for (int i = 0; i < 100; ++i) text += std::string(200, 'm') + "\n";
    console.print(text);
    EXPECT_EQ(console.getLines().size(), 33u);
    EXPECT_EQ(console.getLines().front().size(), 96u);
}

TEST_F(MkfontTest, LargerSizeGivesLargerMetrics) {
    make("--size 28");
    const uint32_t lineHeight28 = glyph('A').lineHeight;
    const uint32_t height28 = glyph('A').height;
    make("--size 14");
    EXPECT_NEAR(double(lineHeight28) / glyph('A').lineHeight, 2.0, 0.15);
    EXPECT_NEAR(double(height28) / glyph('A').height, 2.0, 0.25);
}

TEST_F(MkfontTest, BadArgumentsAreRefusedWithAMessage) {
    EXPECT_EQ(RunMkfont("--help").status, 0);
    EXPECT_NE(RunMkfont("--help").output.find("usage: mkfont"), std::string::npos);
    for (const char* bad :
         {"--size 0", "--size 1000", "--size twelve", "--size", "--frobnicate", "--font"}) {
        SCOPED_TRACE(bad);
        const RunResult run = RunMkfont(bad);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.output.find("mkfont: "), std::string::npos) << run.output;
    }
    const RunResult missing =
        RunMkfont("--font " + dataPath("none.ttf") + " --output " + dataPath("font.f"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("cannot open font"), std::string::npos);
    const RunResult unwritable = RunMkfont("--output " + dataPath("no/such/dir/font.f"));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.output.find("cannot write"), std::string::npos);
}

}  // namespace
}  // namespace tundra_test
