// The console: greeting, wrapping per character, trimming by height, and
// drawing newest-at-bottom, with and without a working font.
#include "support/text_fixture.h"
#include "text/console.h"
#include "text/font.h"

namespace tundra_test {
namespace {

using tundra_formats::FontGlyphRecord;
using tundra_formats::UniformFont;

const std::string kGreeting = " ** The console is now operational ** ";

std::vector<std::string> Lines(const Console& console) {
    return std::vector<std::string>(console.getLines().begin(), console.getLines().end());
}

class ConsoleTest : public TextTest {
protected:
    // Advance 8 and line height 16 font pixels: 96 characters by 36 lines at
    // size 0.3 in a 4:3 window.
    void attach(std::vector<FontGlyphRecord> glyphs = UniformFont(8, 16),
                float aspect = 4.0f / 3.0f) {
        writeFont(glyphs);
        font.load("font.f", &device, aspect);
        console.setFont(&font);
        device.clearCalls();
    }

    Font font;
    Console console;
};

TEST_F(ConsoleTest, StartsWithTheGreetingAboveAnEmptyLine) {
    EXPECT_EQ(Lines(console), (std::vector<std::string>{kGreeting, ""}));
}

TEST_F(ConsoleTest, PrintAppendsToTheCurrentLineAndLineFeedsOpenNewOnes) {
    attach();
    console.print("Current position saved to file\n").print("abc");
    console.print("def");
    EXPECT_EQ(Lines(console),
              (std::vector<std::string>{kGreeting, "Current position saved to file", "abcdef"}));
    console.print("\n\n");
    EXPECT_EQ(Lines(console).size(), 5u);
    EXPECT_EQ(Lines(console).back(), "");
}

TEST_F(ConsoleTest, WithoutAFontTextIsKeptUnwrapped) {
    console.print(std::string(500, 'x') + "\nnext");
    EXPECT_EQ(Lines(console), (std::vector<std::string>{kGreeting, std::string(500, 'x'), "next"}));
    console.render();  // nothing to draw with, and nothing fails
    EXPECT_TRUE(device.calls().empty());
}

TEST_F(ConsoleTest, LineHolds96CharactersOfAdvance8AtFourThirds) {
    attach();
    console.print(std::string(96, 'a'));
    EXPECT_EQ(Lines(console).back(), std::string(96, 'a'));
    console.print("b");
    EXPECT_EQ(Lines(console).back(), "b");
    EXPECT_EQ(Lines(console)[Lines(console).size() - 2], std::string(96, 'a'));
}

TEST_F(ConsoleTest, WordsAreSplitWhereTheWidthRunsOut) {
    attach();
    console.print(std::string(94, 'a') + " word");
    EXPECT_EQ(Lines(console).back(), "ord");
}

TEST_F(ConsoleTest, Holds36LinesOfHeight16AndDropsTheOldestForThe37th) {
    attach();
    for (int i = 1; i <= 34; ++i) console.print("line " + std::to_string(i) + "\n");
    EXPECT_EQ(Lines(console).size(), 36u);
    EXPECT_EQ(Lines(console).front(), kGreeting);
    console.print("line 35\n");
    EXPECT_EQ(Lines(console).size(), 36u);
    EXPECT_EQ(Lines(console).front(), "line 1");
}

TEST_F(ConsoleTest, EmptyLinesCountTheAverageLineHeight) {
    auto glyphs = UniformFont(8, 16);
    glyphs['T'].lineHeight = 16 * 10;  // raises the average line height a little
    attach(glyphs);
    console.print(std::string(100, '\n'));
    const float capacity = font.usableHeight() / font.getAverageLineHeight();
    EXPECT_EQ(Lines(console).size(), size_t(capacity));
}

TEST_F(ConsoleTest, OversizedCharacterTakesALineOfItsOwnEachTime) {
    auto glyphs = UniformFont(8, 16);
    glyphs['W'].advance = 1000;  // 200 units, wider than the usable width
    attach(glyphs);
    console.print("W");
    console.print("aW");
    EXPECT_EQ(Lines(console), (std::vector<std::string>{kGreeting, "", "W", "a", "W"}));
}

TEST_F(ConsoleTest, KeepsTheCurrentLineEvenWhenItIsTallerThanTheWindow) {
    auto glyphs = UniformFont(8, 16);
    glyphs['T'].lineHeight = 1000;
    attach(glyphs);
    console.print("xT");
    EXPECT_EQ(Lines(console), (std::vector<std::string>{"xT"}));
    console.print("\n");
    EXPECT_EQ(Lines(console), (std::vector<std::string>{""})) << "the tall line goes next";
}

TEST_F(ConsoleTest, HugeLogIsTrimmedInOnePass) {
    attach();
    std::string log;
    for (int i = 0; i < 20000; ++i) log += "InitD3D went ok " + std::to_string(i) + "\n";
    console.print(log);
    EXPECT_EQ(Lines(console).size(), 36u);
    EXPECT_EQ(Lines(console)[34], "InitD3D went ok 19999");
}

TEST_F(ConsoleTest, RendersNewestAtTheBottomAndEachOlderLineAboveIt) {
    auto glyphs = UniformFont(8, 16);
    glyphs['T'].lineHeight = 24;
    attach(glyphs);
    console.print("\nTall\nxy");
    console.render();
    // One drawString per line, newest first: its world translations tell the pens.
    std::vector<D3DMATRIX> pens;
    for (const RecordedCall& call : device.callsNamed("SetTransform"))
        if (call.args[0] == D3DTS_WORLD) pens.push_back(call.matrix());
    const size_t drawn = 2 + 4 + kGreeting.size();  // "xy", "Tall", empty line, greeting
    ASSERT_EQ(pens.size(), drawn);
    const float x = font.leftMargin();
    const float y0 = font.getAverageLineHeight() / 2;
    EXPECT_FLOAT_EQ(pens[0]._41, x);
    EXPECT_FLOAT_EQ(pens[0]._42, y0);
    EXPECT_FLOAT_EQ(pens[1]._41, x + 1.6f);
    EXPECT_FLOAT_EQ(pens[2]._41, x);
    EXPECT_FLOAT_EQ(pens[2]._42, y0 + 3.2f);
    EXPECT_FLOAT_EQ(pens[6]._42, y0 + 3.2f + 4.8f + font.getAverageLineHeight())
        << "the greeting sits above the empty line";
    EXPECT_EQ(device.count("DrawPrimitive"), drawn);
    EXPECT_FLOAT_EQ(font.getDistance(), 140.3f) << "the console draws at size 0.3";
}

TEST_F(ConsoleTest, FailedFontDrawsNothingAndNeverFails) {
    font.load("absent.f", &device, 4.0f / 3.0f);
    console.setFont(&font);
    console.print(std::string(300, 'z') + "\nmore\n");
    console.render();
    EXPECT_TRUE(device.calls().empty());
    EXPECT_GE(Lines(console).size(), 1u);
}

}  // namespace
}  // namespace tundra_test
