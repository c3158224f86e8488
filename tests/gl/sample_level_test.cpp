// The sample level drawn by World on the GL device from inside every room,
// looking every way: back faces are culled as in the viewer, so a polygon
// wound the wrong way, a missing wall or a crack along a seam lets the clear
// colour through.
#include "gl_fixture.h"

#include "app/globals.h"
#include "camera/camera.h"
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "tools/mklevel/geometry.h"
#include "tools/mklevel/lightmap.h"
#include "tools/mktexture/marble.h"
#include "world/world.h"

#include <memory>
#include <sstream>

namespace gl_test {
namespace {

// The viewer clears to 0xFF212121. Here the frame is cleared to pure
// magenta, which no marble texel under any baked light can give (every
// luxel has some green from the ambient term), so every magenta pixel is
// certainly a hole.
constexpr uint32_t kHoleColour = 0xFFFF00FF;

struct Placement {
    const char* room;
    float x, y, z;
};

// Eye points well away from every surface, in each room and passage.
const Placement kPlacements[] = {
    {"hall A, start", 0, 0, 0},
    {"hall A, near the back wall", -300, 120, -300},
    {"hall A, right aisle", 400, -10, 500},
    {"gallery", 0, 120, 760},
    {"doorway to hall B", 0, 150, 912},
    {"hall B", 0, 200, 1200},
    {"hall B, corner", 300, 120, 1500},
    {"arch to room C", 528, 40, 192},
    {"room C, over the ramp", 700, 0, 192},
    {"room C, far end", 1200, 50, 500},
};

class SampleLevelRender : public GlDeviceTest {
protected:
    static constexpr UINT kFrameWidth = 160, kFrameHeight = 120;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(GlDeviceTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(createSceneDevice(kFrameWidth, kFrameHeight));

        mktexture::Image marble = mktexture::MakeMarble(64, 1);
        g_mainTexture = texture(64, 64, marble.pixels);
        g_camera = Camera();

        mklevel::BakeSettings coarse;
        coarse.luxelSize = 32;  // the geometry is what matters here
        const mklevel::Level level = mklevel::BuildSampleLevel();
        const std::string name =
            scratch_.write(mklevel::MakeGeomLevel(level, mklevel::Bake(level, coarse)));
        world_ = std::make_unique<World>(name, device_, float(kFrameWidth) / float(kFrameHeight));
    }

    void TearDown() override {
        world_.reset();
        g_mainTexture = nullptr;
        GlDeviceTest::TearDown();
    }

    std::vector<uint32_t> renderFrom(const Placement& p, float pitch, float yaw) {
        g_camera.setPosition(p.x, p.y, p.z);
        g_camera.pitch = pitch;
        g_camera.yaw = yaw;
        g_camera.roll = 0;
        return drawScene(kHoleColour, [this] { world_->render(); });
    }

    LevelScratch scratch_;
    LogCapture log_;
    std::unique_ptr<World> world_;
};

TEST_F(SampleLevelRender, NoHoleFromAnyRoomInAnyDirection) {
    const float pitches[] = {0.0f, 0.6f, -0.6f};
    int frames = 0;
    for (const Placement& placement : kPlacements) {
        for (float pitch : pitches) {
            for (int turn = 0; turn < 8; ++turn) {
                const float yaw = turn * 0.78539816f;
                const std::vector<uint32_t> frame = renderFrom(placement, pitch, yaw);
                ++frames;
                int holes = 0, firstX = -1, firstY = -1;
                for (UINT y = 0; y < kFrameHeight; ++y) {
                    for (UINT x = 0; x < kFrameWidth; ++x) {
                        if (at(frame, x, y) != kHoleColour) continue;
                        if (holes++ == 0) firstX = int(x), firstY = int(y);
                    }
                }
                EXPECT_EQ(holes, 0) << placement.room << ", pitch " << pitch << ", yaw " << yaw
                                    << ": first hole at " << firstX << "," << firstY;
            }
        }
    }
    EXPECT_EQ(frames, 10 * 3 * 8);
}

// The start view must show the level lit: not black, not flat.
TEST_F(SampleLevelRender, StartViewIsLitAndVaried) {
    const std::vector<uint32_t> frame = renderFrom(kPlacements[0], 0, 0);
    int darkest = 255 * 3, brightest = 0;
    long total = 0;
    for (uint32_t pixel : frame) {
        int sum = int((pixel >> 16) & 255) + int((pixel >> 8) & 255) + int(pixel & 255);
        darkest = std::min(darkest, sum);
        brightest = std::max(brightest, sum);
        total += sum;
    }
    const double mean = double(total) / frame.size() / 3.0;
    EXPECT_GT(mean, 70.0);
    EXPECT_LT(mean, 220.0);
    EXPECT_GT(brightest - darkest, 200) << "lighting too even";
}

}  // namespace
}  // namespace gl_test
