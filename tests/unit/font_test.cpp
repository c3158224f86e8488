// The font file reader and writer, and Font on the recording device: damaged files, sizes,
// packing, failures, draws. Where text lands on screen: tests/gl/converted_level_test.cpp.
#include "support/text_fixture.h"
#include "text/font.h"
#include "text/font_file.h"

#include <gmock/gmock.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace tundra_test {
namespace {

using tundra_formats::EncodeFont;
using tundra_formats::PatternBitmap;
using tundra_formats::UniformFont;
using Glyphs = std::vector<tundra_formats::FontGlyphRecord>;
using Texts = std::vector<std::string>;

// 8/16 metrics, bitmaps of `width` x `height` but the listed {code, width, height}.
Glyphs BoxFont(uint32_t width, uint32_t height, std::vector<std::array<uint32_t, 3>> sizes = {}) {
    Glyphs glyphs = UniformFont(8, 16, width, height);
    for (const auto& [code, w, h] : sizes)
        glyphs[code] = {w, h, 0, 0, 8, 16, PatternBitmap(int(code), w, h)};
    return glyphs;
}
template <typename Change>
std::string Encoded(Change change) {
    Glyphs glyphs = BoxFont(3, 3);
    change(glyphs);
    return EncodeFont(glyphs);
}

class FontTest : public TextTest {
protected:
    // What the last load on `device` made: its vertex buffer and textures.
    void load(const Glyphs& glyphs, RecordingDevice* on = nullptr) {
        writeFont(glyphs);
        madeBefore = {device.vertexBufferCount(), device.textureCount()};
        font.load("font.f", on ? on : &device, 4.0f / 3.0f);
    }
    float at(size_t vertex, size_t field) const {
        const RecordingVertexBuffer* vb = device.vertexBuffer(int(madeBefore.first + 1));
        return vb->floatAt(vertex * sizeof(Font::Vertex) + field * 4);
    }
    size_t texturesMade() const { return device.textureCount() - madeBefore.second; }
    RecordingTexture& texture(size_t number) const {
        if (number >= texturesMade())
            throw std::out_of_range("no font texture " + std::to_string(number));
        return *device.texture(int(madeBefore.second + number + 1));
    }
    // {texture, x, y} of a glyph's top-left texel, from its quad's top-left corner.
    std::array<long, 3> placement(int code) const {
        const int number = font.glyph(static_cast<unsigned char>(code)).textureNumber;
        return {number, std::lround(at(4 * code + 1, 3) * texture(number).width()),
                std::lround(at(4 * code + 1, 4) * texture(number).height())};
    }

    Font font;
    std::pair<size_t, size_t> madeBefore;
};

TEST_F(FontTest, FileSavesTheBytesItReadAndASpaceBorrowsTheAdvanceOfI) {
    Glyphs glyphs = BoxFont(0, 0);
    for (uint32_t c = 0; c < 256; ++c) {
        const uint32_t w = c % 5, h = w ? 1 + c % 7 : 0;
        glyphs[c] = {
            w, h, int(c % 3) - 1, -int(c % 11), 3 + c % 9, 10 + c % 4, PatternBitmap(int(c), w, h)};
    }
    writeFont(glyphs, "font.f", "trailing bytes are ignored");
    FontFile file;
    ASSERT_TRUE(file.load("data\\font.f"));
    ASSERT_TRUE(file.save("data\\copy.f"));
    std::ifstream copy(dataPath("copy.f"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), EncodeFont(glyphs));
    glyphs[' '].advance = 0;
    writeFont(glyphs);
    ASSERT_TRUE(file.load("data\\font.f"));  // a second load replaces the glyphs
    EXPECT_EQ(file.glyphs[' ']->advance, glyphs['i'].advance);
}

struct DamagedFont {
    std::string name, bytes;
    bool fileLoads, fontReady;
};
const std::string kGood = EncodeFont(BoxFont(3, 3));  // records of 24 + 9 bytes
const DamagedFont kDamagedFonts[] = {
    {"empty", "", false, false},
    {"cut in a bitmap", kGood.substr(0, 33 * 3 + 30), false, false},
    {"trailing bytes", kGood + std::string(10000, '\xab'), true, true},
    {"rows without columns", Encoded([](Glyphs& g) { g[65].width = 0; }), false, false},
    {"4097 x 4096", Encoded([](Glyphs& g) { g[0] = {4097, 4096, 0, 0, 8, 16, {}}; }), false, false},
    {"4096 x 4096",
     Encoded([](Glyphs& g) { g[0] = {4096, 4096, 0, 0, 8, 16, std::vector<uint8_t>(1 << 24, 9)}; }),
     true, true},
    {"4 G texels", Encoded([](Glyphs& g) { g[0] = {~0u, ~0u, 0, 0, 8, 16, {}}; }), false, false},
    {"bitmap missing", Encoded([](Glyphs& g) { g[255].bitmap.clear(); }), false, false},
    {"huge advance", Encoded([](Glyphs& g) { g[200].advance = ~0u; }), true, false},
    {"huge line height", Encoded([](Glyphs& g) { g[200].lineHeight = ~0u; }), true, false},
};

size_t OpenFiles() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return size_t(std::distance(begin(fds), end(fds)));
}

TEST_F(FontTest, DamagedFilesFailToLoadAndSuchFontsDrawNothing) {
    for (const DamagedFont& row : kDamagedFonts) {
        SCOPED_TRACE(row.name);
        writeBytes(row.bytes);
        const size_t open = OpenFiles();
        EXPECT_EQ(FontFile().load("data\\font.f"), row.fileLoads);
        EXPECT_EQ(OpenFiles(), open) << "the file is closed whatever it holds";
        log.clear();
        device.clearCalls();
        {
            Font damaged;
            damaged.load("font.f", &device, 1.0f);
            EXPECT_EQ(log.text().find("couldn't read: data\\font.f"),
                      row.fileLoads ? log.text().npos : 0);
            damaged.setSize(0.3f);
            device.BeginScene();
            damaged.drawString(std::string("\x00\x7f\xff", 3), 1.0f, 1.0f);
            device.EndScene();
            EXPECT_EQ(device.count("DrawPrimitive"), row.fontReady ? 3u : 0u) << log.text();
            if (!row.fontReady) {
                EXPECT_EQ((std::pair{damaged.stringWidth("abc"), damaged.stringHeight("")}),
                          (std::pair{0.0f, 0.0f}));
                EXPECT_EQ(device.count("CreateTexture"), 0u);
            }
        }
        EXPECT_EQ(device.problems(), Texts{});
    }
}

struct Packing {
    const char* name;
    Glyphs glyphs;
    std::vector<std::array<long, 4>> places;  // code, texture, x, y
    size_t textures;
};
Packing P(const char* name, Glyphs glyphs, std::vector<std::array<long, 4>> places, size_t n) {
    return {name, glyphs, places, n};
}

// A free texel around each glyph (red, coverage in alpha); a row or texture
// ends where the next glyph would come within a texel of its edge.
TEST_F(FontTest, GlyphsArePackedInRowsAndTexturesUnderTheirQuads) {
    Glyphs oversized = BoxFont(10, 10, {{5, 300, 10}, {71, 3, 300}});
    oversized[5].advance = 12;
    const Packing cases[] = {
        P("left to right, then the next row", BoxFont(7, 9),
          {{0, 0, 1, 1}, {1, 0, 9, 1}, {30, 0, 241, 1}, {31, 0, 1, 11}}, 1),
        P("ends a texel before the edge", BoxFont(1, 1, {{0, 243, 4}, {1, 10, 4}}),
          {{1, 0, 245, 1}}, 1),
        P("would end at the edge", BoxFont(1, 1, {{0, 244, 4}, {1, 10, 4}}), {{1, 0, 1, 6}}, 1),
        P("new row two texels above the bottom", BoxFont(1, 1, {{0, 250, 236}, {1, 4, 16}}),
          {{1, 0, 1, 238}}, 2),
        P("new row too low", BoxFont(1, 1, {{0, 250, 237}, {1, 4, 16}}),
          {{1, 1, 1, 1}, {2, 1, 6, 1}}, 2),
        P("taller glyph later in a row",
          BoxFont(1, 1, {{0, 250, 200}, {1, 5, 16}, {2, 5, 54}, {3, 5, 55}}),
          {{1, 0, 1, 202}, {2, 0, 7, 202}, {3, 1, 1, 1}}, 2),
        P("16 a texture", BoxFont(60, 60), {{17, 1, 62, 1}, {21, 1, 62, 62}, {255, 15, 184, 184}},
          16),
        // Glyphs too large for a texture are stored empty, yet keep their place.
        P("oversized glyphs", oversized, {{4, 0, 45, 1}, {5, 0, 1, 12}, {6, 0, 1, 23}}, 2),
    };
    for (const Packing& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.glyphs);
        for (const auto& [code, number, x, y] : c.places) {
            EXPECT_EQ(placement(int(code)), (std::array<long, 3>{number, x, y})) << code;
            const uint32_t w = c.glyphs[code].width, h = c.glyphs[code].height;
            if (w > 255 || h > 255) continue;
            const uint32_t coverage = c.glyphs[code].bitmap.back();
            EXPECT_EQ(texture(number).texel(0, x + w - 1, y + h - 1), coverage << 24 | 0xFF0000u);
            EXPECT_EQ(texture(number).texel(0, x + w, y + h - 1), 0u);
            EXPECT_EQ(texture(number).texel(0, x - 1, y), 0u);
        }
        ASSERT_EQ(texturesMade(), c.textures);
        for (size_t n = 0; n < c.textures; ++n) EXPECT_TRUE(texture(n).paddingIntact()) << n;
        EXPECT_NE(log.text().rfind("are: " + std::to_string(c.textures) + "\n"), log.text().npos);
    }
    EXPECT_EQ((std::pair{at(4 * 71 + 2, 1), at(4 * 5 + 2, 0)}), (std::pair{0.0f, 0.0f}));
    EXPECT_FLOAT_EQ(font.glyph(5).advance, 2.4f);
    EXPECT_NE(log.text().find("glyph 5 is too large for the font texture\nfont glyph 71 is too"),
              log.text().npos);
}

TEST_F(FontTest, FailedDeviceStepsLeaveAFontThatDrawsNothingAndReleasesAll) {
    const std::tuple<const char*, unsigned, const char*> failures[] = {
        {"CreateVertexBuffer", 0, "error allocating VB for font"},
        {"Lock", 0, "error allocating VB for font"},
        {"CreateTexture", 5, "failed to creat a font texture"},
        {"LockRect", 3, "failed to creat a font texture"}};
    for (const auto& [method, skip, logEnd] : failures) {
        SCOPED_TRACE(std::string(method) + " " + std::to_string(skip));
        RecordingDevice failing;
        failing.failCalls(method, E_FAIL, skip);
        load(BoxFont(60, 60), &failing);  // needs 16 textures
        const std::string text = log.text();
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), strlen(logEnd))), logEnd);
        EXPECT_EQ((std::pair{font.stringWidth("abc"), font.stringHeight("abc")}),
                  (std::pair{0.0f, 0.0f}));
        failing.clearCalls();
        font.drawString("abc", 0, 0);
        EXPECT_TRUE(failing.calls().empty());
        load(BoxFont(0, 0));  // releases what the failed load made
        EXPECT_EQ(failing.problems(), Texts{});
    }
}

// At each DrawPrimitive: the glyph's quad and texture at the pen, blending
// on, depth off; one projection a string, depth back on after it.
TEST_F(FontTest, EachCharacterIsOneFanDrawnWithItsTextureAndStates) {
    Glyphs glyphs = BoxFont(60, 60);  // code c is in texture c / 16
    glyphs['B'].advance = 15;
    load(glyphs);
    font.setSize(0.3f);
    device.clearCalls();
    device.BeginScene();
    font.drawString("AB\xff", 10.0f, 20.0f);
    font.drawStringAt("B", 0.25f, 0.5f);
    font.drawString("", 0.0f, 0.0f);
    device.EndScene();
    std::map<std::string, std::string> state;  // the last call's arguments by name (and first one)
    Texts draws;
    std::vector<float> pens;
    for (const RecordedCall& call : device.calls()) {
        const size_t comma = call.text.find(", ");
        const size_t cut = comma != call.text.npos ? comma : call.text.find('(');
        state[call.text.substr(0, cut)] = call.text.substr(cut + (comma != call.text.npos ? 2 : 1));
        if (call.name == "SetTransform" && call.args[0] == D3DTS_WORLD)
            pens.insert(pens.end(), {call.matrix()._41, call.matrix()._42});
        if (call.name != "DrawPrimitive") continue;
        draws.push_back(call.text + " " + state["SetTexture(0"]);
        EXPECT_EQ((Texts{state["SetRenderState(ZENABLE"], state["SetRenderState(ALPHABLENDENABLE"],
                         state["SetStreamSource(0"], state["SetVertexShader"]}),
                  (Texts{"0)", "1)", "vb#1, 20)", "0x102)"}));
    }
    EXPECT_EQ(draws,
              (Texts{"DrawPrimitive(6, 260, 2) tex#5)", "DrawPrimitive(6, 264, 2) tex#5)",
                     "DrawPrimitive(6, 1020, 2) tex#16)", "DrawPrimitive(6, 264, 2) tex#5)"}));
    // Pens advance by a fifth of the file's advance (8, 'B' 15). drawStringAt's pen: margins of
    // half the average advance, (255 · 8 + 15) / 256 / 5 / 2, and a quarter of the line height
    // 3.2, then a quarter and a half of the rest of a plane 117.05676 · 4 / 3 by 117.05676.
    const std::vector<float> written = {10, 20, 11.6f, 20, 14.6f, 20, 39.42028f, 58.52838f};
    EXPECT_THAT(pens, testing::Pointwise(testing::FloatNear(1e-4f), written));
    // A world and a view transform per glyph; the rest are projections.
    EXPECT_EQ(device.count("SetTransform") - pens.size(), 3u);
    EXPECT_EQ(state["SetRenderState(ZENABLE"], "1)");
    EXPECT_EQ(device.callTexts().at(device.callTexts().size() - 4), "SetRenderState(ZENABLE, 0)");
}

// The text camera's look-at, degenerate: an eye on its target gives no NaN.
TEST(LookAt, AnEyeOnItsTargetGivesAFiniteView) {
    const D3DXVECTOR3 eye(1, 2, 3), up(0, 1, 0);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &eye, &up);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(view.m[i / 4][i % 4])) << i;
}

}  // namespace
}  // namespace tundra_test
