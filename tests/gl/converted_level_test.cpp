// What the system draws on the GL device, read back: glyphs, and real converted levels
// culled or whole, batched or not (the stages that light a face are the world's unit test's).
#include "gl_fixture.h"
#include "app/globals.h"
#include "bsp_file.h"
#include "camera/camera.h"
#include "level_converter.h"
#include "pk3_archive.h"
#include "support/level_scratch.h"
#include "text/font.h"
#include "tools/common/font_writer.h"
#include "tools/mktexture/marble.h"
#include "world/visibility.h"
#include "world/world.h"

#include <cmath>
#include <filesystem>

using namespace tundra_formats;

namespace gl_test {
namespace {

constexpr uint32_t kClear = 0xFF212121;

class SystemDrawingTest : public GlDeviceTest {
protected:
    void TearDown() override {
        world_.reset();
        g_mainTexture = nullptr;
        GlDeviceTest::TearDown();
    }
    std::vector<uint32_t> renderWorld(const bsp::Vec3& p, float pitch, float yaw) {
        g_camera.setPosition(float(p.x), float(p.y), float(p.z));
        g_camera.pitch = pitch, g_camera.yaw = yaw, g_camera.roll = 0;
        return drawScene(kClear, [this] { world_->render(); });
    }
    LevelScratch scratch_;
    std::unique_ptr<World> world_;
};
// 'X' solid and 'H' at half coverage, over a depth cleared to 0 that would hide them.
TEST_F(SystemDrawingTest, GlyphsAreRedBlendedByCoverageWhereTheTextCameraPutsThem) {
    ASSERT_NO_FATAL_FAILURE(createSceneDevice(400, 300));
    device_->GetDeviceCaps(&g_caps);
    auto glyphs = UniformFont(8, 16);
    for (unsigned char code : {'X', 'H'})
        glyphs[code] = {
            40, 40, 0, -40, 48, 16, std::vector<uint8_t>(40 * 40, code == 'X' ? 255 : 128)};
    ASSERT_TRUE(WriteFontFile((scratch_.root() / "data/font.f").string(), glyphs));
    Font font;
    font.load("font.f", device_, 4.0f / 3.0f);
    font.setSize(0.3f);
    // Size 0.3: the camera stands 140.3 before a 4:3 plane 2 · 141.3 · tan(pi/8) = 117.05676 high.
    const float middleX = 117.05676f * 4 / 3 / 2, middleY = 117.05676f / 2;
    const auto frame = drawScene(
        kClear, [&] { font.drawString("XH", middleX, middleY); }, 0.0f);
    const float pixels = 300 / (2 * 140.3f * 0.41421356f);
    auto pixel = [&](float x, float y) {
        return at(frame, UINT(200 + x * pixels), UINT(150 - y * pixels));
    };
    const float in = 3 / pixels;  // the camera sees 2 d tan(pi/8) units; 'X' spans 8 x 8
    EXPECT_TRUE(ColorNear(pixel(in, 8 - in), 0xFFFF0000, 2) &&
                ColorNear(pixel(8 - in, in), 0xFFFF0000, 2));
    EXPECT_TRUE(ColorNear(pixel(-in, 4), kClear, 1) && ColorNear(pixel(4, 8 + in), kClear, 1));
    EXPECT_TRUE(ColorNear(pixel(4, -in), kClear, 1)) << "nothing hangs below the pen";
    // 128/255 red over the clear colour: 0x21 + 0xDE * 128 / 255 = 0x90, 0x21 * 127 / 255 = 0x10.
    EXPECT_TRUE(ColorNear(pixel(9.6f + 4, 4), 0xFF901010, 3)) << "one advance later";
}
// From every spawn point, four ways: faces left out by visibility are never seen (a
// few far coplanar pixels may fight over depth), and batching changes no pixel.
TEST_F(SystemDrawingTest, ConvertedLevelsLookTheSameCulledAndWholeBatchedAndNot) {
    const char* const kNew = "/usr/share/games/openarena/baseoa/pak6-patch088.pk3";
    const char* const kOld = "/usr/share/games/openarena/baseoa/pak1-maps.pk3";
    if (!std::filesystem::exists(kNew) || !std::filesystem::exists(kOld))
        GTEST_SKIP() << "install the Debian packages openarena-088-data and openarena-081-maps";
    ASSERT_NO_FATAL_FAILURE(createSceneDevice(200, 150));
    g_mainTexture = texture(64, 64, mktexture::MakeMarble(64, 1).pixels);
    const std::pair<const char*, const char*> maps[] = {
        {kOld, "maps/oa_dm5.bsp"}, {kOld, "maps/oa_dm1.bsp"}, {kNew, "maps/oa_minia.bsp"}};
    for (const auto& [archive, map] : maps) {
        SCOPED_TRACE(map);
        bsp::BspFile bsp(bsp::Pk3Archive(bsp::ReadWholeFile(archive)).extract(map));
        const bsp::ConvertedLevel converted = bsp::ConvertLevel(bsp);
        world_ = nullptr;
        world_ = std::make_unique<World>(scratch_.write(converted.level), device_, 200.0f / 150);
        ASSERT_TRUE(world_->visibility);
        std::unique_ptr<Visibility> visibility = std::move(world_->visibility);
        size_t views = 0, facesDrawn = 0, pixelsDrawn = 0;
        for (const bsp::SpawnPoint& spawn : bsp::SpawnPoints(bsp.entities)) {
            const float eye[3] = {spawn.origin[0], spawn.origin[1], spawn.origin[2] + 26.0f};
            const bsp::Vec3 p = bsp::ToViewerSpace(eye);
            for (int turn = 0; turn < 4; ++turn, ++views) {
                const float pitch = turn % 2 ? 0.4f - 0.8f * (turn / 2) : 0.0f;
                const float yaw = float((90.0 - spawn.yawDegrees) * M_PI / 180.0 + turn * M_PI / 2);
                SCOPED_TRACE(::testing::Message() << "spawn " << views / 4 << ", turn " << turn);
                auto view = [&] { return renderWorld(p, pitch, yaw); };
                const std::vector<uint32_t> whole = view();
                SetFastPaths(false);
                EXPECT_TRUE(whole == view()) << "unbatched";
                SetFastPaths(true);
                world_->visibility = std::move(visibility);
                const std::vector<uint32_t> culled = view();
                visibility = std::move(world_->visibility);
                size_t differing = 0;
                for (size_t i = 0; i < whole.size(); ++i)
                    differing += whole[i] != culled[i], pixelsDrawn += whole[i] != kClear;
                EXPECT_LE(differing, 8u);
                for (size_t f = 0; f < world_->faces.size(); ++f)
                    facesDrawn += visibility->selected(f);
            }
        }
        EXPECT_GE(views, 16u);
        EXPECT_LT(facesDrawn, views * world_->faces.size() / 2);
        EXPECT_GT(pixelsDrawn, views * 200 * 150 / 2) << "frames mostly clear prove nothing";
    }
}

}  // namespace
}  // namespace gl_test
