// A small level made by the level writer, built into a World on the GL device
// and drawn from known cameras: surface x lightmap x 2 (saturating), lightmap
// orientation, placement through the view and projection, back faces culled,
// depth kept.
#include "gl_fixture.h"

#include "app/globals.h"
#include "camera/camera.h"
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "world/world.h"

#include <memory>

using tundra_formats::GeomLevel;
using tundra_formats::GeomLightmap;
using tundra_formats::GeomPolygon;
using tundra_formats::GeomTexture;
using tundra_formats::GeomVertex;

namespace gl_test {
namespace {

constexpr uint32_t kClear = 0xFF212121;
constexpr float kQuarterTurn = 1.5707963f;

// Surface grey 0x80 under a lightmap value L gives min(255, 2 * 128 * L / 255).
uint32_t Lit(uint8_t red, uint8_t green, uint8_t blue) {
    auto channel = [](uint8_t l) { return std::min<uint32_t>(255, (256u * l + 127) / 255); };
    return 0xFF000000u | channel(red) << 16 | channel(green) << 8 | channel(blue);
}

// A quad facing -z at depth z (world units), clockwise as seen from the
// origin, with lightmap coordinates (0,0) top left to (1,1) bottom right.
void AddQuadFacingCamera(GeomLevel& level, float left, float top, float right, float bottom,
                         float z, int lightmap, bool clockwise = true) {
    const float s = 1.0f / tundra_formats::kGeomPositionScale;
    GeomVertex corners[4] = {{left * s, top * s, z * s, 0, 0, 0, 0},
                             {right * s, top * s, z * s, 1, 0, 1, 0},
                             {right * s, bottom * s, z * s, 1, 1, 1, 1},
                             {left * s, bottom * s, z * s, 0, 1, 0, 1}};
    if (!clockwise) std::swap(corners[1], corners[3]);
    level.polygons.push_back(GeomPolygon{int32_t(level.vertices.size()), 4, 0, lightmap});
    level.vertices.insert(level.vertices.end(), corners, corners + 4);
}

GeomLightmap Uniform(uint8_t red, uint8_t green, uint8_t blue) {
    GeomLightmap map;
    map.fill(red, green, blue);
    return map;
}

class WorldRenderTest : public GlDeviceTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(GlDeviceTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(createSceneDevice(kWidth, kHeight));
        g_mainTexture =
            texture(2, 2, {0xFF808080, 0xFF808080, 0xFF808080, 0xFF808080}, D3DFMT_X8R8G8B8);
        g_camera = Camera();
    }
    void TearDown() override {
        world_.reset();
        g_mainTexture = nullptr;
        GlDeviceTest::TearDown();
    }

    std::vector<uint32_t> renderFrame(const GeomLevel& level) {
        if (!world_) world_ = std::make_unique<World>(scratch_.write(level), device_, 1.0f);
        return drawScene(kClear, [this] { world_->render(); });
    }

    LevelScratch scratch_;
    LogCapture log_;
    std::unique_ptr<World> world_;
};

// At depth 100 the 64-pixel frame spans about +-41.4 units (45 degrees).
TEST_F(WorldRenderTest, QuadsAppearWhereTheCameraSeesThemLitByTheirLightmaps) {
    GeomLevel level;
    level.textures = {GeomTexture{"marble"}};
    // Bottom left: a lightmap with four coloured quadrants.
    GeomLightmap quadrants;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            if (y < 64) quadrants.setTexel(x, y, x < 64 ? 255 : 0, x < 64 ? 64 : 128, 0);
            else quadrants.setTexel(x, y, x < 64 ? 32 : 200, 0, x < 64 ? 128 : 255);
        }
    level.lightmaps = {quadrants, Uniform(32, 128, 200), Uniform(0, 255, 0), Uniform(128, 128, 128),
                       Uniform(255, 255, 255)};
    AddQuadFacingCamera(level, -40, -2, -2, -40, 100, 0);
    // Bottom right.
    AddQuadFacingCamera(level, 2, -2, 40, -40, 100, 1);
    // Top right: the near quad is drawn first and must stay in front of the
    // far one drawn after it.
    AddQuadFacingCamera(level, 1, 20, 5, 1, 50, 2);
    AddQuadFacingCamera(level, 2, 40, 40, 2, 100, 3);
    // Top left: seen from behind, culled.
    AddQuadFacingCamera(level, -40, 40, -2, 2, 100, 4, false);

    const std::vector<uint32_t> frame = renderFrame(level);
    EXPECT_TRUE(ColorNear(at(frame, 8, 40), Lit(255, 64, 0), 2));    // quadrant top left
    EXPECT_TRUE(ColorNear(at(frame, 24, 40), Lit(0, 128, 0), 2));    // top right
    EXPECT_TRUE(ColorNear(at(frame, 8, 58), Lit(32, 0, 128), 2));    // bottom left
    EXPECT_TRUE(ColorNear(at(frame, 24, 58), Lit(200, 0, 255), 2));  // bottom right
    EXPECT_TRUE(ColorNear(at(frame, 48, 48), Lit(32, 128, 200), 2));
    EXPECT_TRUE(ColorNear(at(frame, 36, 16), Lit(0, 255, 0), 2));      // near quad
    EXPECT_TRUE(ColorNear(at(frame, 56, 16), Lit(128, 128, 128), 2));  // far quad beside it
    EXPECT_EQ(at(frame, 16, 16), kClear);                              // back face
    EXPECT_EQ(at(frame, 32, 48), kClear);                              // gap between quads
}

TEST_F(WorldRenderTest, ViewFollowsTheCameraPositionAndTurn) {
    GeomLevel level;
    level.textures = {GeomTexture{"marble"}};
    level.lightmaps = {Uniform(255, 0, 0), Uniform(0, 0, 255)};
    // Straight ahead, and a quad at x = 100 facing the origin.
    AddQuadFacingCamera(level, -10, 10, 10, -10, 100, 0);
    const float s = 1.0f / tundra_formats::kGeomPositionScale;
    level.polygons.push_back(GeomPolygon{int32_t(level.vertices.size()), 4, 0, 1});
    for (GeomVertex corner :
         {GeomVertex{100 * s, 10 * s, 10 * s}, GeomVertex{100 * s, 10 * s, -10 * s},
          GeomVertex{100 * s, -10 * s, -10 * s}, GeomVertex{100 * s, -10 * s, 10 * s}})
        level.vertices.push_back(corner);

    std::vector<uint32_t> frame = renderFrame(level);
    EXPECT_TRUE(ColorNear(at(frame, 32, 32), Lit(255, 0, 0), 2));

    // Step 30 units right: the quad moves left by about 30 * 0.77 pixels.
    g_camera.movement.x = 30.0f;
    renderFrame(level);  // carries the step out
    frame = renderFrame(level);
    EXPECT_TRUE(ColorNear(at(frame, 32 - 23, 32), Lit(255, 0, 0), 2));
    EXPECT_EQ(at(frame, 32, 32), kClear);

    // Back to the origin and a quarter turn right: the other quad fills the view.
    g_camera.setPosition(0, 0, 0);
    g_camera.yaw = kQuarterTurn;
    frame = renderFrame(level);
    EXPECT_TRUE(ColorNear(at(frame, 32, 32), Lit(0, 0, 255), 2));
}

}  // namespace
}  // namespace gl_test
