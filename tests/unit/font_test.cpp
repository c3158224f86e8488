// The font file reader and writer, and Font on the recording device: damaged
// files, texture sizes, packing glyphs into textures, the quads, failures,
// measuring and the calls that draw a string. What text looks like on
// screen belongs to tests/gl/text_render_test.cpp.
#include "support/text_fixture.h"
#include "text/font.h"
#include "text/font_file.h"

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>

namespace tundra_test {
namespace {

using tundra_formats::EncodeFont;
using tundra_formats::FontGlyphRecord;
using tundra_formats::PatternBitmap;
using tundra_formats::UniformFont;
using Glyphs = std::vector<FontGlyphRecord>;

const float kAspect = 4.0f / 3.0f;

// 8/16 metrics and bitmaps of `width` x `height`, some glyphs resized: {code, width, height}.
Glyphs BoxFont(uint32_t width, uint32_t height, std::vector<std::array<uint32_t, 3>> sizes = {}) {
    Glyphs glyphs = UniformFont(8, 16, width, height);
    for (const auto& [code, w, h] : sizes) {
        glyphs[code].width = w;
        glyphs[code].height = h;
        glyphs[code].bitmap = PatternBitmap(int(code), w, h);
    }
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
    void load(const Glyphs& glyphs) {
        writeFont(glyphs);
        font.load("font.f", &device, kAspect);
    }
    Font::Vertex vertex(size_t index) const {
        const auto* vb = static_cast<const RecordingVertexBuffer*>(font.fontVertexBuffer());
        const size_t at = index * sizeof(Font::Vertex);
        return {vb->floatAt(at), vb->floatAt(at + 4), vb->floatAt(at + 8), vb->floatAt(at + 12),
                vb->floatAt(at + 16)};
    }
    RecordingTexture& texture(int number) const {
        return *static_cast<RecordingTexture*>(font.fontTextures().at(size_t(number)));
    }
    // {texture, x, y} of a glyph's top-left texel, from its quad's top-left corner.
    std::array<long, 3> placement(int code) const {
        const int number = font.glyph(static_cast<unsigned char>(code)).textureNumber;
        const Font::Vertex topLeft = vertex(4 * size_t(code) + 1);
        return {number, std::lround(topLeft.u * texture(number).width()),
                std::lround(topLeft.v * texture(number).height())};
    }

    Font font;
};

TEST_F(FontTest, FileReadsEveryFieldAndSavesTheBytesItRead) {
    Glyphs glyphs = UniformFont(0, 0);
    for (int code = 0; code < 256; ++code) {
        FontGlyphRecord& g = glyphs[code];
        g = {uint32_t(code % 5),      0, code % 3 - 1, -(code % 11), uint32_t(3 + code % 9),
             uint32_t(10 + code % 4), {}};
        g.height = g.width == 0 ? 0 : 1 + code % 7;
        g.bitmap = PatternBitmap(code, g.width, g.height);
    }
    glyphs[32].advance = 0;
    writeFont(glyphs, "font.f", "trailing bytes are ignored");
    FontFile file;
    ASSERT_TRUE(file.load("data\\font.f"));
    ASSERT_EQ(file.glyphs.size(), 256u);
    EXPECT_EQ(file.glyphs[32]->advance, glyphs['i'].advance) << "a space without one borrows i's";
    file.glyphs[32]->advance = 0;
    for (int code = 0; code < 256; ++code) {
        const FontGlyph& g = *file.glyphs[code];
        const FontGlyphRecord& w = glyphs[code];
        EXPECT_EQ(std::tie(g.width, g.height, g.xOffset, g.yOffset, g.advance, g.lineHeight),
                  std::tie(w.width, w.height, w.xOffset, w.yOffset, w.advance, w.lineHeight))
            << code;
        EXPECT_EQ(g.bitmap, w.bitmap) << code;
    }
    ASSERT_TRUE(file.save("data\\copy.f"));
    std::ifstream copy(dataPath("copy.f"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), EncodeFont(glyphs));
    EXPECT_FALSE(file.save("data\\no-such-folder\\copy.f"));
    file.glyphs[65]->width = 0;
    file.glyphs[65]->height = 3;
    EXPECT_FALSE(file.save("data\\copy.f")) << "a save must not write what no load reads";
    glyphs[32].advance = 9;
    writeFont(glyphs);
    ASSERT_TRUE(file.load("data\\font.f"));
    EXPECT_EQ(file.glyphs.size(), 256u) << "a second load replaces the glyphs";
    EXPECT_EQ(file.glyphs[32]->advance, 9u);
    EXPECT_FALSE(FontFile().load("data\\absent.f"));
}

struct DamagedFont {
    const char* name;
    std::string bytes;
    bool fileLoads, fontReady;
};

const std::string kGood = EncodeFont(BoxFont(3, 3));  // records of 24 + 9 bytes
const DamagedFont kDamagedFonts[] = {
    {"empty", "", false, false},
    {"cut in the first header", kGood.substr(0, 10), false, false},
    {"cut at a record boundary", kGood.substr(0, 33), false, false},
    {"cut in a bitmap", kGood.substr(0, 33 * 3 + 30), false, false},
    {"one byte short", kGood.substr(0, kGood.size() - 1), false, false},
    {"trailing bytes", kGood + std::string(10000, '\xab'), true, true},
    {"all 0xff", std::string(6144, '\xff'), false, false},
    {"rows without columns", Encoded([](Glyphs& g) { g[65].width = 0; }), false, false},
    {"columns without rows", Encoded([](Glyphs& g) { g[65] = {3, 0, 0, 0, 8, 16, {}}; }), true,
     true},
    {"bitmap of 4097 x 4096", Encoded([](Glyphs& g) { g[0] = {4097, 4096, 0, 0, 8, 16, {}}; }),
     false, false},
    {"bitmap of 4096 x 4096, too large for a texture",
     Encoded([](Glyphs& g) { g[0] = {4096, 4096, 0, 0, 8, 16, std::vector<uint8_t>(1 << 24)}; }),
     true, true},
    {"4 G texels", Encoded([](Glyphs& g) { g[0] = {~0u, ~0u, 0, 0, 8, 16, {}}; }), false, false},
    {"wide last glyph, bitmap missing", Encoded([](Glyphs& g) { g[255].bitmap.clear(); }), false,
     false},
    {"extreme offsets",
     Encoded([](Glyphs& g) { g[9].xOffset = INT32_MIN, g[9].yOffset = INT32_MAX; }), true, true},
    {"huge advance: no texture size", Encoded([](Glyphs& g) { g[200].advance = ~0u; }), true,
     false},
    {"huge line height: no texture size", Encoded([](Glyphs& g) { g[200].lineHeight = ~0u; }), true,
     false},
};

TEST_F(FontTest, DamagedFilesFailToLoadAndSuchFontsDrawNothing) {
    for (const DamagedFont& row : kDamagedFonts) {
        SCOPED_TRACE(row.name);
        writeBytes(row.bytes);
        EXPECT_EQ(FontFile().load("data\\font.f"), row.fileLoads);
        log.clear();
        device.clearCalls();
        {
            Font damaged;
            damaged.load("font.f", &device, kAspect);
            EXPECT_EQ(damaged.isReady(), row.fontReady) << log.text();
            EXPECT_EQ(log.text().find("couldn't read: data\\font.f"),
                      row.fileLoads ? std::string::npos : 0);
            damaged.setSize(0.3f);
            damaged.drawString(std::string("\x00\x7f\xff", 3), 1.0f, 1.0f);
            if (!row.fontReady) {
                EXPECT_EQ(damaged.stringWidth("abc") + damaged.stringHeight(""), 0.0f);
                EXPECT_EQ(device.count("DrawPrimitive"), 0u);
                EXPECT_EQ(device.count("CreateTexture") + device.count("CreateVertexBuffer"), 0u);
            }
        }
        EXPECT_TRUE(device.leaks().empty());
    }
    EXPECT_TRUE(device.referenceErrors().empty());
}

TEST_F(FontTest, AllZeroFileMakesOneTextureOfEmptyQuadsAtThePen) {
    writeBytes(std::string(6144, '\0'));
    font.load("font.f", &device, kAspect);
    EXPECT_EQ(device.callTexts("CreateVertexBuffer"),
              std::vector<std::string>{"CreateVertexBuffer(20480, 0x0, 0x102, MANAGED) -> vb#1"});
    EXPECT_EQ(
        device.callTexts("CreateTexture"),
        std::vector<std::string>{"CreateTexture(256, 256, 1, 0x0, A8R8G8B8, MANAGED) -> tex#1"});
    EXPECT_EQ(log.text(),
              "loading up font 'data\\font.f'\nthe font texture(s) size 256 , 256\n"
              "nuber of textures created for the font are: 1\n");
    EXPECT_TRUE(device.stillLocked().empty());
    for (size_t i = 0; i < Font::kVertexCount; ++i)
        ASSERT_EQ(std::make_tuple(vertex(i).x, vertex(i).y, vertex(i).z),
                  std::make_tuple(0.f, 0.f, 0.f));
    EXPECT_TRUE(font.isReady());
}

TEST_F(FontTest, GlyphTexelsAreRedWithCoverageAlphaUnderAQuadHangingFromThePen) {
    Glyphs glyphs = BoxFont(0, 0, {{65, 5, 7}});
    glyphs[65].xOffset = 2;
    glyphs[65].yOffset = -10;
    load(glyphs);
    const auto [number, left, top] = placement(65);
    const RecordingTexture& t = texture(int(number));
    for (UINT y = 0; y < t.height(); ++y)
        for (UINT x = 0; x < t.width(); ++x) {
            const long i = long(x) - left, j = long(y) - top;
            const bool inside = i >= 0 && i < 5 && j >= 0 && j < 7;
            ASSERT_EQ(t.texel(0, x, y),
                      inside ? uint32_t(glyphs[65].bitmap[j * 5 + i]) << 24 | 0xFF0000u : 0u)
                << x << ", " << y;
        }
    EXPECT_TRUE(t.paddingIntact()) << "rows must be addressed through the lock's pitch";
    const float u0 = left / 256.0f, u1 = (left + 5) / 256.0f, v0 = top / 256.0f,
                v1 = (top + 7) / 256.0f;
    const float expected[4][4] = {
        {0.4f, 0.6f, u0, v1}, {0.4f, 2.0f, u0, v0}, {1.4f, 2.0f, u1, v0}, {1.4f, 0.6f, u1, v1}};
    for (int corner = 0; corner < 4; ++corner) {
        const Font::Vertex v = vertex(4 * 65 + size_t(corner));
        EXPECT_EQ(std::make_tuple(v.x, v.y, v.z, v.u, v.v),
                  std::make_tuple(expected[corner][0], expected[corner][1], 0.0f,
                                  expected[corner][2], expected[corner][3]))
            << corner;
    }
}

TEST_F(FontTest, TextureIsTheSmallestWidthThenHeightThatHoldsTheEstimate) {
    struct Case {
        uint32_t advance, lineHeight, maxAdvance, maxLineHeight;  // max: of glyph 255 when > 0
        DWORD deviceWidth, deviceHeight;
        UINT width, height;
    };
    const Case cases[] = {
        {8, 16, 0, 0, 2048, 2048, 256, 256},   {20, 32, 0, 0, 2048, 2048, 256, 1024},
        {20, 32, 0, 0, 2048, 512, 512, 512},   {8, 16, 300, 0, 2048, 2048, 512, 256},
        {8, 16, 0, 300, 2048, 2048, 256, 512}, {0, 0, 0, 0, 256, 256, 256, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.advance * 1000 + c.maxAdvance + c.maxLineHeight);
        setMaxTextureSize(c.deviceWidth, c.deviceHeight);
        Glyphs glyphs = UniformFont(c.advance, c.lineHeight);
        if (c.maxAdvance) glyphs[255].advance = c.maxAdvance;
        if (c.maxLineHeight) glyphs[255].lineHeight = c.maxLineHeight;
        log.clear();
        load(glyphs);
        EXPECT_EQ(texture(0).width(), c.width);
        EXPECT_EQ(texture(0).height(), c.height);
        EXPECT_NE(log.text().find("size " + std::to_string(c.width) + " , " +
                                  std::to_string(c.height) + "\n"),
                  std::string::npos);
    }
    setMaxTextureSize(128, 128);
    device.clearCalls();
    load(BoxFont(4, 4));
    const std::string text = log.text();
    EXPECT_EQ(text.substr(text.rfind("loading")),
              "loading up font 'data\\font.f'\nfailed to creat a font texture");
    setMaxTextureSize(~0u, ~0u);  // doubling must not wrap around
    load(UniformFont(~0u, ~0u));
    EXPECT_EQ(device.count("CreateTexture") + device.count("CreateVertexBuffer"), 0u);
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

// One free texel around every glyph; a row ends where the next glyph would
// touch the right edge, a texture where the next row's first glyph would
// come within a texel of the bottom or a taller glyph would cross it.
TEST_F(FontTest, GlyphsArePackedInRowsAndTextures) {
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
        P("16 glyphs a texture", BoxFont(60, 60),
          {{17, 1, 62, 1}, {21, 1, 62, 62}, {255, 15, 184, 184}}, 16),
        // Glyphs too large for a texture are stored empty, yet keep their place.
        P("oversized glyphs", oversized, {{4, 0, 45, 1}, {5, 0, 1, 12}, {6, 0, 1, 23}}, 2),
    };
    for (const Packing& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        load(c.glyphs);
        for (const auto& [code, number, x, y] : c.places)
            EXPECT_EQ(placement(int(code)), (std::array<long, 3>{number, x, y})) << code;
        ASSERT_EQ(font.fontTextures().size(), c.textures);
        for (size_t n = 0; n < c.textures; ++n) EXPECT_TRUE(texture(int(n)).paddingIntact()) << n;
        EXPECT_NE(log.text().find("are: " + std::to_string(c.textures) + "\n"), std::string::npos);
    }
    for (int corner = 0; corner < 4; ++corner)
        EXPECT_EQ(vertex(4 * 71 + size_t(corner)).y + vertex(4 * 5 + size_t(corner)).x, 0.0f);
    EXPECT_FLOAT_EQ(font.glyph(5).advance, 2.4f);
    EXPECT_NE(log.text().find("glyph 5 is too large for the font texture\nfont glyph 71 is too"),
              std::string::npos);
}

TEST_F(FontTest, MetricsScaleTheFileAndFollowTheTextSize) {
    Glyphs glyphs = UniformFont(10, 20);
    glyphs[200] = {0, 0, 0, 0, 266, 276, {}};  // codes above 127 are their own glyphs
    load(glyphs);
    EXPECT_FLOAT_EQ(font.glyph('A').advance, 2.0f);
    EXPECT_FLOAT_EQ(font.glyph(200).lineHeight, 55.2f);
    EXPECT_FLOAT_EQ(font.getAverageAdvance(), (255 * 2.0f + 53.2f) / 256);
    EXPECT_FLOAT_EQ(font.getAverageLineHeight(), (255 * 4.0f + 55.2f) / 256);
    EXPECT_FLOAT_EQ(font.getViewHeight(), 41.421356f);
    EXPECT_EQ(font.stringWidth(""), 0.0f);
    EXPECT_FLOAT_EQ(font.stringWidth("A\xc8"
                                     "A"),
                    57.2f);
    EXPECT_FLOAT_EQ(font.stringHeight("A\xc8"), 55.2f);
    EXPECT_FLOAT_EQ(font.stringHeight("AA"), 4.0f);
    EXPECT_FLOAT_EQ(font.stringHeight(""), font.getAverageLineHeight());
    font.setSize(0.3f);
    EXPECT_FLOAT_EQ(font.getDistance(), 140.3f);
    EXPECT_FLOAT_EQ(font.getViewHeight(), 117.05676f);
    EXPECT_FLOAT_EQ(font.getViewWidth(), 117.05676f * kAspect);
    EXPECT_FLOAT_EQ(font.leftMargin(), font.getAverageAdvance() / 2);
    EXPECT_FLOAT_EQ(font.bottomMargin(), font.getAverageLineHeight() / 4);
    EXPECT_FLOAT_EQ(font.usableWidth(), font.getViewWidth() - font.getAverageAdvance());
    EXPECT_FLOAT_EQ(font.usableHeight(), 117.05676f - font.getAverageLineHeight() / 2);
    font.setSize(0.0f);
    EXPECT_FLOAT_EQ(font.getDistance(), 200.0f);
    font.setSize(1.0f);
    EXPECT_FLOAT_EQ(font.getDistance(), 1.0f);
}

TEST_F(FontTest, FailedDeviceStepsLeaveAFontThatDrawsNothingAndReleasesAll) {
    const std::tuple<const char*, unsigned, const char*> failures[] = {
        {"CreateVertexBuffer", 0, "error allocating VB for font"},
        {"Lock", 0, "error allocating VB for font"},
        {"CreateTexture", 0, "failed to creat a font texture"},
        {"CreateTexture", 5, "failed to creat a font texture"},
        {"LockRect", 3, "failed to creat a font texture"}};
    for (const auto& [method, skip, logEnd] : failures) {
        SCOPED_TRACE(std::string(method) + " " + std::to_string(skip));
        RecordingDevice failing;
        failing.failCalls(method, E_FAIL, skip);
        writeFont(BoxFont(60, 60));  // needs 16 textures
        log.clear();
        {
            Font broken;
            broken.load("font.f", &failing, kAspect);
            const std::string text = log.text();
            EXPECT_EQ(text.substr(text.size() - std::min(text.size(), strlen(logEnd))), logEnd);
            EXPECT_FALSE(broken.isReady());
            EXPECT_EQ(broken.stringWidth("abc") + broken.stringHeight("abc"), 0.0f);
            EXPECT_TRUE(failing.stillLocked().empty());
            failing.clearCalls();
            broken.drawString("abc", 0, 0);
            EXPECT_TRUE(failing.calls().empty());
        }
        EXPECT_TRUE(failing.leaks().empty()) << ::testing::PrintToString(failing.leaks());
        EXPECT_TRUE(failing.referenceErrors().empty());
    }
    load(BoxFont(60, 60));
    log.clear();
    font.~Font();
    new (&font) Font();
    std::string expected;
    for (int i = 0; i < 16; ++i) expected += "Releasing font texture " + std::to_string(i) + "\n";
    EXPECT_EQ(log.text(), expected + "Font vertex buffer released\n");
    EXPECT_TRUE(device.leaks().empty());
}

// At each DrawPrimitive: the glyph's quad and texture at the pen, blending
// on, depth off; one projection per string, depth back on after it.
TEST_F(FontTest, EachCharacterIsOneFanDrawnWithItsTextureAndStates) {
    Glyphs glyphs = BoxFont(60, 60);  // code c is in texture c / 16
    glyphs['B'].advance = 15;
    load(glyphs);
    font.setSize(0.3f);
    device.clearCalls();
    font.drawString("AB\xff", 10.0f, 20.0f);
    font.drawStringCentered("B", 0.5f, 0.0f);
    font.drawStringAt("A", 0.25f, 0.5f);
    font.drawString("", 0.0f, 0.0f);
    const std::vector<std::string> kDrawStates = {"SetRenderState(ZENABLE, 0)",
                                                  "SetRenderState(ALPHABLENDENABLE, 1)",
                                                  "SetRenderState(SRCBLEND, 5)",
                                                  "SetRenderState(DESTBLEND, 6)",
                                                  "SetTextureStageState(0, MIPFILTER, 2)",
                                                  "SetTextureStageState(1, COLOROP, 1)",
                                                  "SetStreamSource(0, vb#1, 20)",
                                                  "SetVertexShader(0x102)"};
    std::map<std::string, std::string> state;  // the last call text by name and first argument
    std::vector<std::string> draws;
    std::vector<float> pens;
    for (const RecordedCall& call : device.calls()) {
        state[call.text.substr(0, call.text.find(','))] = call.text;
        if (call.name == "SetTransform" && call.args[0] == D3DTS_WORLD)
            pens.insert(pens.end(), {call.matrix()._41, call.matrix()._42});
        if (call.name != "DrawPrimitive") continue;
        draws.push_back(call.text + " " + state["SetTexture(0"]);
        for (const std::string& s : kDrawStates) EXPECT_EQ(state[s.substr(0, s.find(','))], s);
    }
    EXPECT_EQ(draws, (std::vector<std::string>{"DrawPrimitive(6, 260, 2) SetTexture(0, tex#5)",
                                               "DrawPrimitive(6, 264, 2) SetTexture(0, tex#5)",
                                               "DrawPrimitive(6, 1020, 2) SetTexture(0, tex#16)",
                                               "DrawPrimitive(6, 264, 2) SetTexture(0, tex#5)",
                                               "DrawPrimitive(6, 260, 2) SetTexture(0, tex#5)"}));
    const float expected[] = {10.0f,
                              20.0f,
                              11.6f,
                              20.0f,
                              14.6f,
                              20.0f,
                              font.getViewWidth() / 2 - 1.5f,
                              font.bottomMargin(),
                              font.leftMargin() + 0.25f * font.usableWidth(),
                              font.bottomMargin() + 0.5f * font.usableHeight()};
    ASSERT_EQ(pens.size(), 10u);
    for (size_t i = 0; i < pens.size(); ++i) EXPECT_FLOAT_EQ(pens[i], expected[i]) << i;
    size_t projections = 0;
    for (const std::string& text : device.callTexts("SetTransform"))
        projections += text.rfind("SetTransform(PROJECTION", 0) == 0;
    EXPECT_EQ(projections, 4u);
    EXPECT_EQ(device.callTexts().back(), "SetRenderState(ZENABLE, 1)");
    EXPECT_EQ(device.callTexts().at(device.callTexts().size() - 3), "SetRenderState(ZENABLE, 0)");
}

}  // namespace
}  // namespace tundra_test
