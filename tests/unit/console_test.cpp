// The console on the recording device: wrapping, trimming, newest at the bottom.
#include "support/text_fixture.h"
#include "text/console.h"
#include "text/font.h"

#include <gmock/gmock.h>

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
TEST_F(ConsoleTest, RendersNewestAtTheBottomAndEachOlderLineAboveIt) {
    attach(24);
    device.BeginScene();
    console.print("\nTall\nxy").render();
    device.EndScene();
    std::vector<D3DMATRIX> pens;  // one world translation per character drawn
    for (const RecordedCall& call : device.callsNamed("SetTransform"))
        if (call.args[0] == D3DTS_WORLD) pens.push_back(call.matrix());
    ASSERT_EQ(pens.size(), 2 + 4 + kGreeting.size());
    EXPECT_EQ(device.count("DrawPrimitive"), pens.size());
    // Lines start half the average advance (255 · 8 + 1000) / 256 / 5 = 2.375 from the left, the
    // newest half the average height (255 · 16 + 24) / 256 / 5 = 3.20625 from the bottom; each
    // older one a line above: "xy" 3.2, "Tall" 4.8, the empty one the average.
    const std::vector<float> places = {pens[0]._41, pens[0]._42, pens[1]._41,
                                       pens[2]._41, pens[2]._42, pens[6]._42};
    EXPECT_THAT(places,
                testing::Pointwise(testing::FloatNear(1e-4f),
                                   {1.1875f, 1.603125f, 2.7875f, 1.1875f, 4.803125f, 12.809375f}));
}

}  // namespace
}  // namespace tundra_test
