// The console on the recording device: wrapping, trimming, newest at the bottom.
#include "support/text_fixture.h"
#include "text/console.h"
#include "text/font.h"

namespace tundra_test {
namespace {

using Lines = std::vector<std::string>;
const std::string kGreeting = " ** The console is now operational ** ";

class ConsoleTest : public TextTest {
protected:
    // 96 characters of advance 8 by 36 lines of 16; 'W' wider than a line, 'T' taller.
    void attach(float tall = 16) {
        auto glyphs = tundra_formats::UniformFont(8, 16);
        glyphs['W'].advance = 1000;
        glyphs['T'].lineHeight = tall;
        writeFont(glyphs);
        font.load("font.f", &device, 4.0f / 3.0f);
        console.setFont(&font);
        device.clearCalls();
    }
    Lines lines() const { return Lines(console.getLines().begin(), console.getLines().end()); }
    Font font;
    Console console;
};
TEST_F(ConsoleTest, WithoutAWorkingFontTextIsKeptUnwrappedAndNothingDrawn) {
    font.load("absent.f", &device, 4.0f / 3.0f);
    console.setFont(&font);
    console.print(std::string(500, 'x') + "\nnext").render();
    EXPECT_EQ(lines(), (Lines{kGreeting, std::string(500, 'x'), "next"}));
    EXPECT_TRUE(device.calls().empty());
}
TEST_F(ConsoleTest, WrapsWhereTheWidthRunsOutAndKeepsWhatFitsTheHeight) {
    attach();
    console.print("saved\n").print("ab");
    console.print(std::string(94, 'a') + "Wa" + "W");
    EXPECT_EQ(lines(), (Lines{kGreeting, "saved", "ab" + std::string(94, 'a'), "W", "a", "W"}));
    for (int i = 1; i <= 30; ++i) console.print("\nline " + std::to_string(i));
    EXPECT_EQ(std::make_pair(lines().size(), lines().front()),
              std::make_pair(size_t(36), kGreeting));
    console.print("\n");
    EXPECT_EQ(std::make_pair(lines().size(), lines().front()),
              std::make_pair(size_t(36), std::string("saved")));
}
TEST_F(ConsoleTest, KeepsTheCurrentLineEvenWhenTallerThanTheWindow) {
    attach(1000);
    console.print("xT");
    EXPECT_EQ(lines(), (Lines{"xT"}));
    console.print(std::string(100, '\n'));  // empty lines count the average height
    EXPECT_EQ(lines().size(), size_t(font.usableHeight() / font.stringHeight("")));
    EXPECT_EQ(lines().front(), "");
}
TEST_F(ConsoleTest, RendersNewestAtTheBottomAndEachOlderLineAboveIt) {
    attach(24);
    console.print("\nTall\nxy").render();
    std::vector<D3DMATRIX> pens;  // one world translation per character drawn
    D3DMATRIX view{};
    for (const RecordedCall& call : device.callsNamed("SetTransform")) {
        if (call.args[0] == D3DTS_WORLD) pens.push_back(call.matrix());
        if (call.args[0] == D3DTS_VIEW) view = call.matrix();
    }
    ASSERT_EQ(pens.size(), 2 + 4 + kGreeting.size());
    EXPECT_EQ(device.count("DrawPrimitive"), pens.size());
    const float x = font.leftMargin(), y0 = font.stringHeight("") / 2;
    EXPECT_FLOAT_EQ(view._43, 140.3f) << "the console draws at size 0.3";
    EXPECT_TRUE(pens[0]._41 == x && pens[0]._42 == y0 && pens[1]._41 == x + 1.6f &&
                pens[2]._41 == x);
    EXPECT_FLOAT_EQ(pens[2]._42, y0 + 3.2f);
    EXPECT_FLOAT_EQ(pens[6]._42, y0 + 3.2f + 4.8f + font.stringHeight(""));
}

}  // namespace
}  // namespace tundra_test
