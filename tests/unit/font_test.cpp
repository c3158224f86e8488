// Font::load on a recording device: texture size, packing, texels, quads,
// failures; then the text layout and the calls that draw a string.
#include "support/text_fixture.h"
#include "text/font.h"

#include <cmath>

namespace tundra_test {
namespace {

using tundra_formats::FontGlyphRecord;
using tundra_formats::PatternBitmap;
using tundra_formats::UniformFont;

const float kAspect = 4.0f / 3.0f;

// Where a glyph's bitmap sits: its texture and its top-left texel, read back
// from the texture coordinates of its top-left vertex.
struct Placement {
    int texture;
    long x, y;
    bool operator==(const Placement& o) const {
        return texture == o.texture && x == o.x && y == o.y;
    }
};

std::ostream& operator<<(std::ostream& out, const Placement& p) {
    return out << "texture " << p.texture << " at (" << p.x << ", " << p.y << ")";
}

class FontTest : public TextTest {
protected:
    void load(const std::vector<FontGlyphRecord>& glyphs, float aspect = kAspect) {
        writeFont(glyphs);
        font.load("font.f", &device, aspect);
    }

    Font::Vertex vertex(size_t index) const {
        const auto* vb = static_cast<const RecordingVertexBuffer*>(font.fontVertexBuffer());
        const size_t at = index * sizeof(Font::Vertex);
        return {vb->floatAt(at), vb->floatAt(at + 4), vb->floatAt(at + 8), vb->floatAt(at + 12),
                vb->floatAt(at + 16)};
    }

    Placement placement(int code) const {
        const int number = font.glyph(static_cast<unsigned char>(code)).textureNumber;
        const RecordingTexture* texture = &this->texture(number);
        const Font::Vertex topLeft = vertex(4 * code + 1);
        return {number, std::lround(topLeft.u * texture->width()),
                std::lround(topLeft.v * texture->height())};
    }

    RecordingTexture& texture(int number) const {
        return *static_cast<RecordingTexture*>(font.fontTextures().at(number));
    }

    Font font;
};

// A font whose glyphs all have the given bitmap size and 8/16 metrics.
std::vector<FontGlyphRecord> BoxFont(uint32_t width, uint32_t height) {
    return UniformFont(8, 16, width, height);
}

void SetBitmap(FontGlyphRecord& glyph, int code, uint32_t width, uint32_t height) {
    glyph.width = width;
    glyph.height = height;
    glyph.bitmap = PatternBitmap(code, width, height);
}

// --- loading -----------------------------------------------------------------

TEST_F(FontTest, AllZeroFileMakesOneTextureOfEmptyQuadsAtThePen) {
    writeBytes(std::string(6144, '\0'));
    font.load("font.f", &device, kAspect);

    EXPECT_EQ(device.callTexts("CreateVertexBuffer"),
              std::vector<std::string>{"CreateVertexBuffer(20480, 0x0, 0x102, MANAGED) -> vb#1"});
    EXPECT_EQ(
        device.callTexts("CreateTexture"),
        std::vector<std::string>{"CreateTexture(256, 256, 1, 0x0, A8R8G8B8, MANAGED) -> tex#1"});
    EXPECT_EQ(log.text(),
              "loading up font 'data\\font.f'\n"
              "the font texture(s) size 256 , 256\n"
              "nuber of textures created for the font are: 1\n");
    EXPECT_FALSE(device.vertexBuffer(1)->isLocked());
    EXPECT_FALSE(texture(0).isLocked());
    for (size_t i = 0; i < Font::kVertexCount; ++i) {
        const Font::Vertex v = vertex(i);
        ASSERT_EQ(v.x, 0.0f) << i;
        ASSERT_EQ(v.y, 0.0f) << i;
        ASSERT_EQ(v.z, 0.0f) << i;
    }
    EXPECT_TRUE(font.isReady());
}

TEST_F(FontTest, UnwrittenTexelsAreTransparentBlackAndGlyphTexelsRedWithCoverageAlpha) {
    auto glyphs = BoxFont(0, 0);
    SetBitmap(glyphs[65], 65, 5, 7);
    load(glyphs);
    const Placement at = placement(65);
    const RecordingTexture& t = texture(at.texture);
    const std::vector<uint8_t> bitmap = PatternBitmap(65, 5, 7);
    for (UINT y = 0; y < t.height(); ++y) {
        for (UINT x = 0; x < t.width(); ++x) {
            const long i = long(x) - at.x, j = long(y) - at.y;
            const bool inside = i >= 0 && i < 5 && j >= 0 && j < 7;
            const uint32_t expected = inside ? (uint32_t(bitmap[j * 5 + i]) << 24) | 0x00FF0000u
                                             : 0u;
            ASSERT_EQ(t.texel(0, x, y), expected) << "texel " << x << ", " << y;
        }
    }
    EXPECT_TRUE(t.paddingIntact()) << "rows must be addressed through the lock's pitch";
}

TEST_F(FontTest, GlyphTableHoldsScaledMetricsAndAverages) {
    auto glyphs = UniformFont(10, 20);
    glyphs[200].advance = 266;
    glyphs[200].lineHeight = 276;
    load(glyphs);
    EXPECT_FLOAT_EQ(font.glyph('A').advance, 2.0f);
    EXPECT_FLOAT_EQ(font.glyph('A').lineHeight, 4.0f);
    EXPECT_FLOAT_EQ(font.glyph(200).advance, 53.2f);
    EXPECT_FLOAT_EQ(font.glyph(200).lineHeight, 55.2f);
    EXPECT_FLOAT_EQ(font.getAverageAdvance(), (255 * 2.0f + 53.2f) / 256);
    EXPECT_FLOAT_EQ(font.getAverageLineHeight(), (255 * 4.0f + 55.2f) / 256);
    EXPECT_FLOAT_EQ(font.getViewHeight(), 41.421356f);
    EXPECT_FLOAT_EQ(font.getViewWidth(), 41.421356f * kAspect);
}

TEST_F(FontTest, QuadHangsFromThePenByItsOffsets) {
    auto glyphs = BoxFont(0, 0);
    SetBitmap(glyphs[66], 66, 5, 7);
    glyphs[66].xOffset = 2;
    glyphs[66].yOffset = -10;
    load(glyphs);
    const Placement at = placement(66);
    const float left = at.x / 256.0f, right = (at.x + 5) / 256.0f;
    const float top = at.y / 256.0f, bottom = (at.y + 7) / 256.0f;
    const float expected[4][4] = {{0.4f, 0.6f, left, bottom},
                                  {0.4f, 2.0f, left, top},
                                  {1.4f, 2.0f, right, top},
                                  {1.4f, 0.6f, right, bottom}};
    for (int corner = 0; corner < 4; ++corner) {
        SCOPED_TRACE(corner);
        const Font::Vertex v = vertex(4 * 66 + corner);
        EXPECT_FLOAT_EQ(v.x, expected[corner][0]);
        EXPECT_FLOAT_EQ(v.y, expected[corner][1]);
        EXPECT_EQ(v.z, 0.0f);
        EXPECT_FLOAT_EQ(v.u, expected[corner][2]);
        EXPECT_FLOAT_EQ(v.v, expected[corner][3]);
    }
}

struct SizeCase {
    uint32_t advance, lineHeight;
    uint32_t maxAdvance, maxLineHeight;  // of glyph 255; 0 keeps the uniform value
    DWORD deviceWidth, deviceHeight;
    UINT width, height;
};

class TextureSizeTest : public FontTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(TextureSizeTest, SmallestWidthThenSmallestHeightThatHoldsTheEstimate) {
    const SizeCase c = GetParam();
    setMaxTextureSize(c.deviceWidth, c.deviceHeight);
    auto glyphs = UniformFont(c.advance, c.lineHeight);
    if (c.maxAdvance) glyphs[255].advance = c.maxAdvance;
    if (c.maxLineHeight) glyphs[255].lineHeight = c.maxLineHeight;
    load(glyphs);
    ASSERT_GE(device.textureCount(), 1u);
    EXPECT_EQ(texture(0).width(), c.width);
    EXPECT_EQ(texture(0).height(), c.height);
    EXPECT_NE(log.text().find("the font texture(s) size " + std::to_string(c.width) + " , " +
                              std::to_string(c.height) + "\n"),
              std::string::npos)
        << log.text();
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TextureSizeTest,
    ::testing::Values(SizeCase{8, 16, 0, 0, 2048, 2048, 256, 256},    // 28 x 15 cells
                      SizeCase{20, 32, 0, 0, 2048, 2048, 256, 1024},  // 12 x 31 cells
                      SizeCase{20, 32, 0, 0, 2048, 512, 512, 512},    // height capped
                      SizeCase{8, 16, 300, 0, 2048, 2048, 512, 256},  // one wide advance
                      SizeCase{8, 16, 0, 300, 2048, 2048, 256, 512},  // one tall line
                      SizeCase{0, 0, 0, 0, 256, 256, 256, 256}));

TEST_F(FontTest, NoWorkableSizeFailsWithoutTouchingTheDevice) {
    setMaxTextureSize(128, 128);
    load(BoxFont(4, 4));
    EXPECT_EQ(log.text(), "loading up font 'data\\font.f'\nfailed to creat a font texture");
    EXPECT_EQ(device.textureCount(), 0u);
    EXPECT_EQ(device.vertexBufferCount(), 0u);
    EXPECT_FALSE(font.isReady());

    setMaxTextureSize(0xFFFFFFFFu, 0xFFFFFFFFu);  // doubling must not wrap around
    auto glyphs = UniformFont(0xFFFFFFFFu, 0xFFFFFFFFu);
    load(glyphs);
    EXPECT_EQ(device.textureCount(), 0u);
}

// --- packing -----------------------------------------------------------------

TEST_F(FontTest, GlyphsRunLeftToRightWithOneFreeTexelAroundEach) {
    load(BoxFont(7, 9));
    EXPECT_EQ(placement(0), (Placement{0, 1, 1}));
    EXPECT_EQ(placement(1), (Placement{0, 9, 1}));
    // 31 glyphs of 8 texels fill x = 1..248; the 32nd would end at 256.
    EXPECT_EQ(placement(30), (Placement{0, 241, 1}));
    EXPECT_EQ(placement(31), (Placement{0, 1, 11}));
    for (int code = 0; code < 256; ++code) {
        const unsigned char c = static_cast<unsigned char>(code);
        ASSERT_EQ(font.glyph(c).textureNumber, 0) << code;
    }
}

TEST_F(FontTest, RowKeepsAGlyphEndingOneTexelBeforeTheRightEdge) {
    auto glyphs = BoxFont(1, 1);
    SetBitmap(glyphs[0], 0, 243, 4);
    SetBitmap(glyphs[1], 1, 10, 4);
    load(glyphs);
    EXPECT_EQ(placement(1), (Placement{0, 245, 1}));

    SetBitmap(glyphs[0], 0, 244, 4);
    load(glyphs);
    EXPECT_EQ(placement(1), (Placement{0, 1, 6})) << "x = 246 moves to the next row";
}

TEST_F(FontTest, NewRowNeedsItsFirstGlyphToEndTwoTexelsAboveTheBottom) {
    auto glyphs = BoxFont(1, 1);
    SetBitmap(glyphs[0], 0, 250, 236);  // next row at y = 238
    SetBitmap(glyphs[1], 1, 4, 16);
    load(glyphs);
    EXPECT_EQ(placement(1), (Placement{0, 1, 238}));

    SetBitmap(glyphs[0], 0, 250, 237);  // next row at y = 239: the texture is full
    load(glyphs);
    EXPECT_EQ(placement(1), (Placement{1, 1, 1}));
    EXPECT_EQ(placement(2), (Placement{1, 6, 1}));
    EXPECT_EQ(font.fontTextures().size(), 2u);
    EXPECT_NE(log.text().find("nuber of textures created for the font are: 2\n"),
              std::string::npos);
}

TEST_F(FontTest, TallerGlyphLaterInARowMovesToANewTextureOnlyIfItWouldCrossTheBottom) {
    auto glyphs = BoxFont(1, 1);
    SetBitmap(glyphs[0], 0, 250, 200);  // second row at y = 202
    SetBitmap(glyphs[1], 1, 5, 16);
    SetBitmap(glyphs[2], 2, 5, 54);  // ends exactly at the bottom edge: fits
    SetBitmap(glyphs[3], 3, 5, 55);  // would cross it
    load(glyphs);
    EXPECT_EQ(placement(1), (Placement{0, 1, 202}));
    EXPECT_EQ(placement(2), (Placement{0, 7, 202}));
    EXPECT_EQ(placement(3), (Placement{1, 1, 1}));
    EXPECT_EQ(texture(0).texel(0, 7, 255) >> 24, glyphs[2].bitmap[53 * 5]);
    for (int number = 0; number < 2; ++number) EXPECT_TRUE(texture(number).paddingIntact());
}

TEST_F(FontTest, GlyphLargerThanATextureIsStoredEmptyAndTheOthersKeepTheirPlaces) {
    auto glyphs = BoxFont(10, 10);
    SetBitmap(glyphs[5], 5, 300, 10);  // 1 + 300 > 256
    SetBitmap(glyphs[71], 71, 3, 300);
    glyphs[5].advance = 12;
    load(glyphs);
    // The rule counts the big glyph's width: it opens a row of its own, and
    // the glyph after it the row below.
    EXPECT_EQ(placement(4), (Placement{0, 45, 1}));
    EXPECT_EQ(placement(5), (Placement{0, 1, 12}));
    EXPECT_EQ(placement(6), (Placement{0, 1, 23}));
    for (int code : {5, 71}) {
        SCOPED_TRACE(code);
        for (int corner = 0; corner < 4; ++corner) {
            EXPECT_EQ(vertex(4 * code + corner).x, 0.0f);
            EXPECT_EQ(vertex(4 * code + corner).y, 0.0f);
        }
    }
    EXPECT_FLOAT_EQ(font.glyph(5).advance, 2.4f);
    EXPECT_NE(log.text().find("font glyph 5 is too large for the font texture\n"),
              std::string::npos);
    EXPECT_NE(log.text().find("font glyph 71 is too large for the font texture\n"),
              std::string::npos);
    for (size_t number = 0; number < font.fontTextures().size(); ++number)
        EXPECT_TRUE(texture(int(number)).paddingIntact()) << number;
}

TEST_F(FontTest, BigGlyphsSpreadOverAsManyTexturesAsNeeded) {
    // The estimate (advance 8, line 16) picks 256 x 256, but bitmaps of 60 x 60
    // hold only 4 x 4 per texture.
    load(BoxFont(60, 60));
    ASSERT_EQ(font.fontTextures().size(), 16u);
    for (int code = 0; code < 256; ++code) {
        const unsigned char c = static_cast<unsigned char>(code);
        ASSERT_EQ(font.glyph(c).textureNumber, code / 16) << code;
    }
    EXPECT_EQ(placement(17), (Placement{1, 62, 1}));
    EXPECT_EQ(placement(21), (Placement{1, 62, 62}));
}

// --- failures ----------------------------------------------------------------

TEST_F(FontTest, MissingFileIsLoggedWithoutLineEndAndLeavesTheFontEmpty) {
    font.load("absent.f", &device, kAspect);
    EXPECT_EQ(log.text(), "couldn't read: data\\absent.f");
    EXPECT_TRUE(device.calls().empty());
    EXPECT_EQ(font.stringWidth("abc"), 0.0f);
    EXPECT_EQ(font.stringHeight(""), 0.0f);
    font.setSize(0.3f);
    font.drawString("abc", 1, 1);
    font.drawStringCentered("abc", 0.5f, 0.5f);
    EXPECT_TRUE(device.calls().empty()) << "a font without resources draws nothing";
}

struct DeviceFailure {
    const char* method;
    unsigned skip;
    const char* logEnd;
};

class FontDeviceFailureTest : public FontTest,
                              public ::testing::WithParamInterface<DeviceFailure> {};

TEST_P(FontDeviceFailureTest, FontDrawsNothingMeasuresZeroAndReleasesWhatItMade) {
    const DeviceFailure failure = GetParam();
    device.failCalls(failure.method, E_FAIL, failure.skip);
    load(BoxFont(60, 60));  // needs 16 textures
    const std::string text = log.text();
    ASSERT_GE(text.size(), strlen(failure.logEnd));
    EXPECT_EQ(text.substr(text.size() - strlen(failure.logEnd)), failure.logEnd);
    EXPECT_FALSE(font.isReady());
    EXPECT_EQ(font.stringWidth("abc"), 0.0f);
    EXPECT_EQ(font.stringHeight("abc"), 0.0f);
    EXPECT_EQ(font.stringHeight(""), 0.0f);
    for (size_t id = 1; id <= device.textureCount(); ++id)
        EXPECT_FALSE(device.texture(int(id))->isLocked()) << id;
    if (device.vertexBufferCount() > 0) {
        EXPECT_FALSE(device.vertexBuffer(1)->isLocked());
    }

    device.clearCalls();
    font.setSize(0.3f);
    font.drawString("abc", 0, 0);
    EXPECT_TRUE(device.calls().empty());

    log.clear();
    const size_t made = device.textureCount();
    font.~Font();
    new (&font) Font();
    EXPECT_TRUE(device.leaks().empty()) << ::testing::PrintToString(device.leaks());
    EXPECT_TRUE(device.referenceErrors().empty());
    if (made > 0) {
        EXPECT_NE(log.text().find("Releasing font texture 0\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, FontDeviceFailureTest,
    ::testing::Values(DeviceFailure{"CreateVertexBuffer", 0, "error allocating VB for font"},
                      DeviceFailure{"Lock", 0, "error allocating VB for font"},
                      DeviceFailure{"CreateTexture", 0, "failed to creat a font texture"},
                      DeviceFailure{"CreateTexture", 5, "failed to creat a font texture"},
                      DeviceFailure{"LockRect", 3, "failed to creat a font texture"}));

TEST_F(FontTest, DestructionReleasesEveryTextureThenTheVertexBuffer) {
    load(BoxFont(60, 60));
    log.clear();
    font.~Font();
    new (&font) Font();
    std::string expected;
    for (int i = 0; i < 16; ++i) expected += "Releasing font texture " + std::to_string(i) + "\n";
    expected += "Font vertex buffer released\n";
    EXPECT_EQ(log.text(), expected);
    EXPECT_TRUE(device.leaks().empty()) << ::testing::PrintToString(device.leaks());
    EXPECT_TRUE(device.referenceErrors().empty());
}

// Damaged files of every kind load or fail in order (run under the sanitizers).
TEST_F(FontTest, DamagedFilesNeverCrash) {
    const std::string good = tundra_formats::EncodeFont(BoxFont(3, 3));
    auto withField = [&](size_t glyph, size_t field, uint32_t value) {
        auto glyphs = BoxFont(3, 3);
        std::string bytes = tundra_formats::EncodeFont(glyphs);
        const size_t at = glyph * (24 + 9) + field * 4;
        for (int b = 0; b < 4; ++b) bytes[at + b] = static_cast<char>(value >> (8 * b));
        return bytes;
    };
    const std::vector<std::string> files = {
        "",
        std::string(23, '\0'),
        good.substr(0, good.size() - 1),
        good.substr(0, 24 * 100),
        withField(0, 0, 0xFFFFFFFFu),    // width 4 G
        withField(0, 1, 0xFFFFFFFFu),    // height 4 G
        withField(5, 0, 0),              // width 0 with rows
        withField(9, 2, 0x80000000u),    // xOffset at the int32 minimum
        withField(9, 3, 0x7FFFFFFFu),    // yOffset at the int32 maximum
        withField(200, 4, 0xFFFFFFFFu),  // huge advance: no texture size
        withField(200, 5, 0xFFFFFFFFu),  // huge line height: no texture size
        withField(255, 0, 4096),         // wide last glyph, its bitmap missing
        std::string(6144, '\xff'),
        good + std::string(10000, '\xab'),
    };
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        writeBytes(files[i]);
        Font damaged;
        damaged.load("font.f", &device, kAspect);
        damaged.setSize(0.3f);
        damaged.drawString(std::string("\x00\x7f\xff", 3), 1.0f, 1.0f);
        EXPECT_GE(damaged.stringWidth("abc"), 0.0f);
    }
    EXPECT_TRUE(device.referenceErrors().empty());
}

// --- layout and measuring ----------------------------------------------------

TEST_F(FontTest, SetSizeMovesTheTextPlaneAndWidensTheRectangle) {
    load(BoxFont(0, 0));
    font.setSize(0.3f);
    EXPECT_FLOAT_EQ(font.getDistance(), 140.3f);
    EXPECT_FLOAT_EQ(font.getViewHeight(), 117.05676f);
    EXPECT_FLOAT_EQ(font.getViewWidth(), 117.05676f * kAspect);
    const float width = font.getViewWidth();
    font.setSize(0.3f);
    EXPECT_EQ(font.getViewWidth(), width) << "setting a size twice changes nothing";

    font.setSize(0.2f);
    EXPECT_FLOAT_EQ(font.getDistance(), 160.2f);
    EXPECT_FLOAT_EQ(font.getViewHeight(), 133.54245f);
    font.setSize(0.0f);
    EXPECT_FLOAT_EQ(font.getDistance(), 200.0f);
    font.setSize(1.0f);
    EXPECT_FLOAT_EQ(font.getDistance(), 1.0f);
}

TEST_F(FontTest, MarginsAndUsableSizesFollowTheAverages) {
    load(UniformFont(8, 16));
    font.setSize(0.3f);
    // The averages are float sums of 256 scaled values: close, not exact.
    EXPECT_NEAR(font.leftMargin(), 0.8f, 1e-5);
    EXPECT_NEAR(font.bottomMargin(), 0.8f, 1e-5);
    EXPECT_NEAR(font.usableWidth(), 117.05676f * kAspect - 1.6f, 1e-4);
    EXPECT_NEAR(font.usableHeight(), 115.45676f, 1e-4);
}

TEST_F(FontTest, WidthSumsAdvancesAndHeightTakesTheTallestCharacter) {
    auto glyphs = UniformFont(8, 16);
    glyphs['W'].advance = 13;
    glyphs['W'].lineHeight = 21;
    glyphs[233].advance = 30;  // codes above 127 are their own glyphs
    glyphs[233].lineHeight = 40;
    load(glyphs);
    EXPECT_EQ(font.stringWidth(""), 0.0f);
    EXPECT_FLOAT_EQ(font.stringWidth("WWWW"), 4 * 2.6f);
    EXPECT_FLOAT_EQ(font.stringWidth("aW"), 1.6f + 2.6f);
    EXPECT_FLOAT_EQ(font.stringWidth("\xe9"), 6.0f);
    EXPECT_FLOAT_EQ(font.stringHeight("WWWW"), 4.2f);
    EXPECT_FLOAT_EQ(font.stringHeight("aWa"), 4.2f);
    EXPECT_FLOAT_EQ(font.stringHeight("a\xe9"), 8.0f);
    EXPECT_FLOAT_EQ(font.stringHeight(""), font.getAverageLineHeight());
}

// --- drawing -----------------------------------------------------------------

class FontDrawTest : public FontTest {
protected:
    void SetUp() override {
        FontTest::SetUp();
        auto glyphs = BoxFont(60, 60);  // 16 textures: code c is in texture c / 16
        glyphs['B'].advance = 15;
        load(glyphs);
        font.setSize(0.3f);
        device.clearCalls();
    }

    std::vector<RecordedCall> transforms(D3DTRANSFORMSTATETYPE state) const {
        std::vector<RecordedCall> found;
        for (const RecordedCall& call : device.callsNamed("SetTransform"))
            if (call.args[0] == state) found.push_back(call);
        return found;
    }
};

TEST_F(FontDrawTest, EachCharacterIsOneFanWithItsOwnStates) {
    font.drawString("AB", 10.0f, 20.0f);
    const std::vector<std::string> names = {
        "SetRenderState",       "SetTransform",   "SetTexture",     "SetTextureStageState",
        "SetTextureStageState", "SetTransform",   "SetTransform",   "SetStreamSource",
        "SetVertexShader",      "SetRenderState", "SetRenderState", "SetRenderState",
        "DrawPrimitive"};
    std::vector<std::string> expected = {names[0], names[1]};
    for (int glyph = 0; glyph < 2; ++glyph)
        expected.insert(expected.end(), names.begin() + 2, names.end());
    expected.push_back("SetRenderState");
    std::vector<std::string> actual;
    for (const RecordedCall& call : device.calls()) actual.push_back(call.name);
    ASSERT_EQ(actual, expected);

    const auto texts = device.callTexts();
    EXPECT_EQ(texts[0], "SetRenderState(ZENABLE, 0)");
    EXPECT_EQ(texts[2], "SetTexture(0, tex#5)");  // 'A' = 65 is in texture 4
    EXPECT_EQ(texts[3], "SetTextureStageState(0, MIPFILTER, 2)");
    EXPECT_EQ(texts[4], "SetTextureStageState(1, COLOROP, 1)");
    EXPECT_EQ(texts[7], "SetStreamSource(0, vb#1, 20)");
    EXPECT_EQ(texts[8], "SetVertexShader(0x102)");
    EXPECT_EQ(texts[9], "SetRenderState(ALPHABLENDENABLE, 1)");
    EXPECT_EQ(texts[10], "SetRenderState(SRCBLEND, 5)");
    EXPECT_EQ(texts[11], "SetRenderState(DESTBLEND, 6)");
    EXPECT_EQ(texts[12], "DrawPrimitive(6, 260, 2)");
    EXPECT_EQ(texts[23], "DrawPrimitive(6, 264, 2)");
    EXPECT_EQ(texts.back(), "SetRenderState(ZENABLE, 1)");

    const auto worlds = transforms(D3DTS_WORLD);
    ASSERT_EQ(worlds.size(), 2u);
    EXPECT_FLOAT_EQ(worlds[0].matrix()._41, 10.0f);
    EXPECT_FLOAT_EQ(worlds[0].matrix()._42, 20.0f);
    EXPECT_FLOAT_EQ(worlds[1].matrix()._41, 11.6f) << "the pen moves by A's advance";
    EXPECT_FLOAT_EQ(worlds[1].matrix()._42, 20.0f);
    EXPECT_EQ(transforms(D3DTS_PROJECTION).size(), 1u) << "one projection per string";
}

TEST_F(FontDrawTest, TextCameraLooksAtTheRectangleCentreFromTheSizeDistance) {
    font.drawString("A", 0.0f, 0.0f);
    const D3DMATRIX projection = transforms(D3DTS_PROJECTION).at(0).matrix();
    const float cotangent = 1.0f / std::tan(0.78539819f / 2.0f);
    EXPECT_FLOAT_EQ(projection._22, cotangent);
    EXPECT_FLOAT_EQ(projection._11, cotangent / kAspect);
    EXPECT_FLOAT_EQ(projection._33, 200.0f / 199.0f);
    EXPECT_FLOAT_EQ(projection._43, -200.0f / 199.0f);
    EXPECT_FLOAT_EQ(projection._34, 1.0f);

    const D3DMATRIX view = transforms(D3DTS_VIEW).at(0).matrix();
    EXPECT_FLOAT_EQ(view._11, 1.0f);
    EXPECT_FLOAT_EQ(view._22, 1.0f);
    EXPECT_FLOAT_EQ(view._33, 1.0f);
    EXPECT_FLOAT_EQ(view._41, -font.getViewWidth() / 2);
    EXPECT_FLOAT_EQ(view._42, -font.getViewHeight() / 2);
    EXPECT_FLOAT_EQ(view._43, 140.3f);
}

TEST_F(FontDrawTest, EmptyStringStillSwitchesDepthAndSetsTheProjection) {
    font.drawString("", 0.0f, 0.0f);
    EXPECT_EQ(device.callTexts(),
              (std::vector<std::string>{"SetRenderState(ZENABLE, 0)", device.callTexts().at(1),
                                        "SetRenderState(ZENABLE, 1)"}));
    EXPECT_EQ(device.calls().at(1).name, "SetTransform");
    EXPECT_EQ(device.calls().at(1).args.at(0), uint32_t(D3DTS_PROJECTION));
}

TEST_F(FontDrawTest, HighCodesDrawTheirOwnQuadsAndTextures) {
    font.drawString("\xff\x80", 0.0f, 0.0f);
    EXPECT_EQ(device.callTexts("DrawPrimitive"),
              (std::vector<std::string>{"DrawPrimitive(6, 1020, 2)", "DrawPrimitive(6, 512, 2)"}));
    EXPECT_EQ(device.callTexts("SetTexture"),
              (std::vector<std::string>{"SetTexture(0, tex#16)", "SetTexture(0, tex#9)"}));
}

TEST_F(FontDrawTest, CentredAndAnchoredStringsSitOnFractionsOfTheUsableArea) {
    font.drawStringCentered("AB", 0.5f, 0.0f);
    font.drawStringAt("AB", 0.25f, 0.5f);
    const auto worlds = transforms(D3DTS_WORLD);
    ASSERT_EQ(worlds.size(), 4u);
    const float width = font.stringWidth("AB");
    EXPECT_FLOAT_EQ(worlds[0].matrix()._41 + width / 2, font.getViewWidth() / 2);
    EXPECT_FLOAT_EQ(worlds[0].matrix()._42, font.bottomMargin());
    EXPECT_FLOAT_EQ(worlds[2].matrix()._41, font.leftMargin() + 0.25f * font.usableWidth());
    EXPECT_FLOAT_EQ(worlds[2].matrix()._42, font.bottomMargin() + 0.5f * font.usableHeight());
}

}  // namespace
}  // namespace tundra_test
