// Text on the GL device, read back as pixels: glyphs land where the text
// camera puts them, red blended by coverage over the frame, never hidden by
// depth; the console sits lower left and the frame rates lower right, and
// hiding either takes it off the frame.
#include "gl_fixture.h"

#include "app/frame.h"
#include "app/globals.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "text/console.h"
#include "text/font.h"
#include "tools/common/font_writer.h"

#include <cmath>
#include <memory>

namespace gl_test {
namespace {

using tundra_formats::FontGlyphRecord;

constexpr UINT kFrameWidth = 400, kFrameHeight = 300;
constexpr uint32_t kClear = 0xFF212121;
constexpr float kTanPiOver8 = 0.41421356f;

bool IsRed(uint32_t pixel) {
    return ((pixel >> 16) & 255) > 0x80 && ((pixel >> 8) & 255) < 0x40 && (pixel & 255) < 0x40;
}

class TextRenderTest : public GlDeviceTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(GlDeviceTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(createSceneDevice(kFrameWidth, kFrameHeight));
        device_->GetDeviceCaps(&g_caps);
    }
    void TearDown() override {
        g_console.setFont(nullptr);
        g_font = nullptr;
        g_device = nullptr;
        font_.reset();
        GlDeviceTest::TearDown();
    }

    void loadFont(const std::vector<FontGlyphRecord>& glyphs) {
        scratch_.writeData("font.f", tundra_formats::EncodeFont(glyphs));
        font_ = std::make_unique<Font>();
        font_->load("font.f", device_, float(kFrameWidth) / kFrameHeight);
        ASSERT_TRUE(font_->isReady()) << log_.text();
    }

    // Screen pixel (column, row from the top) of a text-space point at the
    // font's current size: the text camera sees 2 d tan(pi/8) units of height.
    void toScreen(float x, float y, float& column, float& row) const {
        const float visibleHeight = 2.0f * font_->getDistance() * kTanPiOver8;
        const float pixelsPerUnit = kFrameHeight / visibleHeight;
        column = kFrameWidth / 2.0f + (x - font_->getViewWidth() / 2) * pixelsPerUnit;
        row = kFrameHeight / 2.0f - (y - font_->getViewHeight() / 2) * pixelsPerUnit;
    }

    size_t redIn(const std::vector<uint32_t>& frame, UINT left, UINT top, UINT right,
                 UINT bottom) const {
        size_t count = 0;
        for (UINT y = top; y < bottom; ++y)
            for (UINT x = left; x < right; ++x) count += IsRed(at(frame, x, y));
        return count;
    }

    ScratchDir scratch_;
    LogCapture log_;
    std::unique_ptr<Font> font_;
};

// 'X' a solid 40 x 40 block, 'H' the same at half coverage, both hanging
// above the pen (yOffset -40); every other code empty.
std::vector<FontGlyphRecord> BlockFont() {
    auto glyphs = tundra_formats::UniformFont(8, 16);
    for (unsigned char code : {'X', 'H'}) {
        FontGlyphRecord& g = glyphs[code];
        g.width = g.height = 40;
        g.yOffset = -40;
        g.advance = 48;
        g.bitmap.assign(40 * 40, code == 'X' ? 255 : 128);
    }
    return glyphs;
}

TEST_F(TextRenderTest, GlyphIsRedBlendedByCoverageWhereTheTextCameraPutsIt) {
    loadFont(BlockFont());
    font_->setSize(0.3f);
    const float penX = font_->getViewWidth() / 2, penY = font_->getViewHeight() / 2;
    // Depth cleared to 0: a depth-tested quad could not show, text must.
    const auto frame = drawScene(
        kClear, [&] { font_->drawString("XH", penX, penY); }, 0.0f);

    float left, top, right, bottom;
    toScreen(penX, penY + 8.0f, left, top);  // 'X' spans 8 x 8 units
    toScreen(penX + 8.0f, penY, right, bottom);
    ASSERT_GT(right - left, 15.0f);
    EXPECT_TRUE(ColorNear(at(frame, UINT(left + 3), UINT(top + 3)), 0xFFFF0000, 2));
    EXPECT_TRUE(ColorNear(at(frame, UINT(right - 3), UINT(bottom - 3)), 0xFFFF0000, 2));
    EXPECT_TRUE(ColorNear(at(frame, UINT(left - 3), UINT(top + 5)), kClear, 1));
    EXPECT_TRUE(ColorNear(at(frame, UINT(left + 5), UINT(top - 3)), kClear, 1));
    EXPECT_TRUE(ColorNear(at(frame, UINT(left + 5), UINT(bottom + 3)), kClear, 1))
        << "nothing hangs below the pen";

    // 'H' starts one advance (9.6 units) later, at half coverage.
    float hLeft, hTop;
    toScreen(penX + 9.6f + 4.0f, penY + 4.0f, hLeft, hTop);
    const uint32_t half = 0xFF000000u | (0x21 + (0xFF - 0x21) * 128 / 255) << 16 |
                          (0x21 * 127 / 255) << 8 | (0x21 * 127 / 255);
    EXPECT_TRUE(ColorNear(at(frame, UINT(hLeft), UINT(hTop)), half, 3));
}

// Every printable code a solid 6 x 12 block on an 8 x 16 cell.
std::vector<FontGlyphRecord> CellFont() {
    auto glyphs = tundra_formats::UniformFont(8, 16);
    for (int code = 33; code < 256; ++code) {
        if (code == 127) continue;
        FontGlyphRecord& g = glyphs[code];
        g.width = 6;
        g.height = 12;
        g.xOffset = 1;
        g.yOffset = -14;
        g.bitmap.assign(6 * 12, 255);
    }
    return glyphs;
}

TEST_F(TextRenderTest, ConsoleLowerLeftFrameRatesLowerRightAndHidingRemovesThem) {
    loadFont(CellFont());
    g_device = device_;
    g_font = font_.get();
    g_console.setFont(g_font);
    g_console.print("Loaded position from file\n");
    const UINT halfWidth = kFrameWidth / 2, bottomBand = kFrameHeight * 80 / 100;

    auto render = [&](bool console, bool fps) {
        g_showConsole = console;
        g_showFps = fps;
        RenderFrame();  // draws and presents
        std::vector<uint32_t> pixels;
        UINT width = 0, height = 0;
        EXPECT_TRUE(tundra_testing::ReadBackFrame(device_, pixels, width, height));
        return pixels;
    };

    const auto both = render(true, true);
    EXPECT_GT(redIn(both, 0, bottomBand, halfWidth, kFrameHeight), 500u) << "console";
    EXPECT_GT(redIn(both, kFrameWidth * 3 / 4, bottomBand, kFrameWidth, kFrameHeight), 200u)
        << "frame rates";
    EXPECT_EQ(redIn(both, 0, 0, kFrameWidth, kFrameHeight / 2), 0u) << "nothing up top";
    EXPECT_EQ(redIn(both, halfWidth, bottomBand, kFrameWidth * 3 / 4 - 20, kFrameHeight), 0u);

    const auto fpsOnly = render(false, true);
    EXPECT_EQ(redIn(fpsOnly, 0, 0, halfWidth, kFrameHeight), 0u);
    EXPECT_GT(redIn(fpsOnly, kFrameWidth * 3 / 4, bottomBand, kFrameWidth, kFrameHeight), 200u);

    const auto neither = render(false, false);
    EXPECT_EQ(redIn(neither, 0, 0, kFrameWidth, kFrameHeight), 0u);
    EXPECT_TRUE(ColorNear(at(neither, kFrameWidth - 30, kFrameHeight - 5), kClear, 0));

    g_showConsole = g_showFps = true;
}

TEST_F(TextRenderTest, ConsoleLinesStackUpwardFromTheBottomLeft) {
    loadFont(CellFont());
    Console console;
    console.setFont(font_.get());
    console.print("A\nA\nA");  // three one-character lines above the greeting's row
    const auto frame = drawScene(kClear, [&] { console.render(); });

    // Each line is a 6 x 12 block 1 pixel right of the left margin; the bottom
    // line's pen is at averageLineHeight / 2.
    for (int line = 0; line < 3; ++line) {
        SCOPED_TRACE(line);
        float column, row;
        const float penY = font_->getAverageLineHeight() / 2 + line * 3.2f;
        toScreen(font_->leftMargin() + 0.2f + 0.6f, penY + 0.4f + 1.2f, column, row);
        EXPECT_TRUE(IsRed(at(frame, UINT(column), UINT(row))))
            << std::hex << at(frame, UINT(column), UINT(row));
    }
    EXPECT_EQ(redIn(frame, 0, 0, kFrameWidth, kFrameHeight * 3 / 4), 0u);
}

}  // namespace
}  // namespace gl_test
