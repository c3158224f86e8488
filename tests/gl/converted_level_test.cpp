// A real id Tech 3 level, converted as bsp2geom converts it and drawn by
// World on the GL device, gives the same pixels whether the device merges
// consecutive draws or not: thousands of faces, over a hundred lightmap
// changes and every fan size a level has.
#include "gl_fixture.h"

#include "app/globals.h"
#include "bsp_file.h"
#include "camera/camera.h"
#include "level_converter.h"
#include "pk3_archive.h"
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "tools/mktexture/marble.h"
#include "world/world.h"

#include <sys/stat.h>

#include <cmath>
#include <memory>

namespace gl_test {
namespace {

const char* const kArchive = "/usr/share/games/openarena/baseoa/pak6-patch088.pk3";
const char* const kMap = "maps/oa_minia.bsp";

class ConvertedLevelRender : public GlDeviceTest {
protected:
    static constexpr UINT kFrameWidth = 200, kFrameHeight = 150;

    void SetUp() override {
        struct stat info;
        if (stat(kArchive, &info) != 0)
            GTEST_SKIP() << "install the Debian package openarena-088-data";
        ASSERT_NO_FATAL_FAILURE(GlDeviceTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(createSceneDevice(kFrameWidth, kFrameHeight));
        mktexture::Image marble = mktexture::MakeMarble(64, 1);
        g_mainTexture = texture(64, 64, marble.pixels);
        g_camera = Camera();

        bsp::BspFile bsp(bsp::Pk3Archive(bsp::ReadWholeFile(kArchive)).extract(kMap));
        const bsp::ConvertedLevel converted = bsp::ConvertLevel(bsp);
        polygons_ = converted.level.polygons.size();
        for (const bsp::SpawnPoint& spawn : bsp::SpawnPoints(bsp.entities)) {
            const float eye[3] = {spawn.origin[0], spawn.origin[1], spawn.origin[2] + 26.0f};
            const bsp::Vec3 at = bsp::ToViewerSpace(eye);
            eyes_.push_back({float(at.x), float(at.y), float(at.z),
                             float((90.0 - spawn.yawDegrees) * M_PI / 180.0)});
        }
        const std::string name = scratch_.write(converted.level);
        world_ = std::make_unique<World>(name, device_, float(kFrameWidth) / float(kFrameHeight));
    }

    void TearDown() override {
        tundra_testing::SetDrawBatching(true);
        world_.reset();
        g_mainTexture = nullptr;
        GlDeviceTest::TearDown();
    }

    struct Eye {
        float x, y, z, yaw;
    };

    std::vector<uint32_t> renderFrom(const Eye& eye, float pitch) {
        g_camera.setPosition(eye.x, eye.y, eye.z);
        g_camera.yaw = eye.yaw;
        g_camera.pitch = pitch;
        g_camera.roll = 0;
        return drawScene(0xFF212121, [this] { world_->render(); });
    }

    LevelScratch scratch_;
    LogCapture log_;
    std::unique_ptr<World> world_;
    std::vector<Eye> eyes_;
    size_t polygons_ = 0;
};

TEST_F(ConvertedLevelRender, BatchedFramesEqualUnbatchedFrames) {
    ASSERT_GT(polygons_, 5000u);
    ASSERT_GE(eyes_.size(), 4u);
    const float pitches[] = {0.0f, 0.5f, -0.5f};
    std::vector<std::vector<uint32_t>> unbatched;
    tundra_testing::SetDrawBatching(false);
    for (size_t e = 0; e < 4; ++e)
        for (float pitch : pitches) unbatched.push_back(renderFrom(eyes_[e], pitch));
    tundra_testing::SetDrawBatching(true);
    size_t frame = 0;
    for (size_t e = 0; e < 4; ++e) {
        for (float pitch : pitches) {
            const std::vector<uint32_t> batched = renderFrom(eyes_[e], pitch);
            const std::vector<uint32_t>& expected = unbatched[frame++];
            ASSERT_EQ(batched.size(), expected.size());
            size_t differing = 0, drawn = 0;
            for (size_t i = 0; i < batched.size(); ++i) {
                differing += batched[i] != expected[i];
                drawn += expected[i] != 0xFF212121u;
            }
            EXPECT_EQ(differing, 0u) << "spawn point " << e << ", pitch " << pitch;
            // The level fills most of the view from inside (the sky is not
            // converted): a frame of mostly clear colour would compare equal
            // without testing anything.
            EXPECT_GT(drawn, batched.size() / 2) << "spawn point " << e << ", pitch " << pitch;
        }
    }
}

}  // namespace
}  // namespace gl_test
