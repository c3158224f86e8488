// Real id Tech 3 levels, converted as bsp2geom converts them and drawn by
// World on the GL device, give the same pixels whether the device merges
// consecutive draws or not (thousands of faces, over a hundred lightmap
// changes and every fan size a level has), and whether the World draws only
// what the level's visibility section lets it or every face.
#include "gl_fixture.h"

#include "app/globals.h"
#include "bsp_file.h"
#include "camera/camera.h"
#include "level_converter.h"
#include "pk3_archive.h"
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "tools/mktexture/marble.h"
#include "world/visibility.h"
#include "world/world.h"

#include <sys/stat.h>

#include <cmath>
#include <iostream>
#include <memory>

namespace gl_test {
namespace {

const char* const kArchive = "/usr/share/games/openarena/baseoa/pak6-patch088.pk3";
const char* const kOldArchive = "/usr/share/games/openarena/baseoa/pak1-maps.pk3";
const char* const kMap = "maps/oa_minia.bsp";

class ConvertedLevelRender : public GlDeviceTest {
protected:
    static constexpr UINT kFrameWidth = 200, kFrameHeight = 150;

    void SetUp() override {
        struct stat info;
        if (stat(kArchive, &info) != 0 || stat(kOldArchive, &info) != 0)
            GTEST_SKIP() << "install the Debian packages openarena-088-data and openarena-081-maps";
        ASSERT_NO_FATAL_FAILURE(GlDeviceTest::SetUp());
        ASSERT_NO_FATAL_FAILURE(createSceneDevice(kFrameWidth, kFrameHeight));
        mktexture::Image marble = mktexture::MakeMarble(64, 1);
        g_mainTexture = texture(64, 64, marble.pixels);
        g_camera = Camera();
    }

    void load(const char* archive, const char* map) {
        world_.reset();
        eyes_.clear();
        bsp::BspFile bsp(bsp::Pk3Archive(bsp::ReadWholeFile(archive)).extract(map));
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

size_t Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    size_t differing = a.size() == b.size() ? 0 : a.size() + b.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) differing += a[i] != b[i];
    return differing;
}

TEST_F(ConvertedLevelRender, BatchedFramesEqualUnbatchedFrames) {
    load(kArchive, kMap);
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
            size_t drawn = 0;
            for (uint32_t pixel : expected) drawn += pixel != 0xFF212121u;
            EXPECT_EQ(Differing(batched, expected), 0u)
                << "spawn point " << e << ", pitch " << pitch;
            // The level fills most of the view from inside (the sky is not
            // converted): a frame of mostly clear colour would compare equal
            // without testing anything.
            EXPECT_GT(drawn, batched.size() / 2) << "spawn point " << e << ", pitch " << pitch;
        }
    }
}

// From every spawn point, looking four ways (level, up, level, down): the
// faces the visibility section leaves out must be ones the frame never shows.
// A few pixels may differ where two faces lie in one plane far away and the
// visible sets rule one of them out: with both drawn they fight over the
// depth, as they would in the engine the levels were made for if it drew both.
TEST_F(ConvertedLevelRender, CulledFramesEqualFullFrames) {
    const std::pair<const char*, const char*> maps[] = {
        {kOldArchive, "maps/oa_dm5.bsp"}, {kOldArchive, "maps/oa_dm1.bsp"}, {kArchive, kMap}};
    const float pitches[] = {0.0f, 0.4f, 0.0f, -0.4f};
    auto view = [&](const Eye& eye, int turn) {
        return renderFrom({eye.x, eye.y, eye.z, eye.yaw + float(turn * M_PI / 2)}, pitches[turn]);
    };
    for (const auto& [archive, map] : maps) {
        load(archive, map);
        ASSERT_TRUE(world_->visibility) << map;
        ASSERT_GE(eyes_.size(), 4u) << map;
        std::vector<std::vector<uint32_t>> culled;
        size_t facesDrawn = 0;
        for (const Eye& eye : eyes_)
            for (int turn = 0; turn < 4; ++turn) {
                culled.push_back(view(eye, turn));
                for (size_t f = 0; f < world_->faces.size(); ++f)
                    facesDrawn += world_->visibility->selected(f);
            }
        world_->visibility.reset();
        size_t pixelsDrawn = 0, pixelsDiffering = 0;
        for (size_t e = 0; e < eyes_.size(); ++e)
            for (int turn = 0; turn < 4; ++turn) {
                const std::vector<uint32_t> full = view(eyes_[e], turn);
                for (uint32_t pixel : full) pixelsDrawn += pixel != 0xFF212121u;
                const size_t differing = Differing(culled[e * 4 + size_t(turn)], full);
                pixelsDiffering += differing;
                EXPECT_LE(differing, 8u) << map << ", spawn point " << e << ", turn " << turn;
            }
        const size_t faceDraws = culled.size() * world_->faces.size();
        std::cout << map << ": " << culled.size() << " frames, " << facesDrawn << " of "
                  << faceDraws << " faces drawn, " << pixelsDiffering << " pixels differ\n";
        EXPECT_LT(facesDrawn, faceDraws / 2) << map;
        EXPECT_GT(pixelsDrawn, culled.size() * culled[0].size() / 2) << map;
    }
}

}  // namespace
}  // namespace gl_test
