// World: resources made from the level file, the draw sequence, release.
#include "world/world.h"

#include "app/globals.h"
#include "camera/camera.h"
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using tundra_formats::GeomLevel;
using tundra_formats::GeomPolygon;
using tundra_formats::GeomTexture;
using tundra_formats::GeomVertex;
using tundra_test::RecordingDevice;

namespace {

// Faces of 3 and 6 vertices, then a second 3-vertex face with the same
// texture and lightmap as the first.
GeomLevel ThreeFaceLevel() {
    GeomLevel level;
    level.vertices.resize(12);
    level.polygons = {GeomPolygon{0, 3, 0, 0}, GeomPolygon{3, 6, 1, 1}, GeomPolygon{9, 3, 0, 0}};
    level.textures = {GeomTexture{"floor"}, GeomTexture{"wall"}};
    level.lightmaps.resize(2);
    return level;
}

std::vector<std::string> Stage0Setup(const std::string& texture) {
    return {"SetTexture(0, " + texture + ")",        "SetTextureStageState(0, COLOROP, 4)",
            "SetTextureStageState(0, COLORARG1, 2)", "SetTextureStageState(0, COLORARG2, 0)",
            "SetTextureStageState(0, MIPFILTER, 2)", "SetTextureStageState(0, MINFILTER, 2)",
            "SetTextureStageState(0, MAGFILTER, 2)"};
}

std::vector<std::string> Stage1Setup(const std::string& lightmap) {
    return {"SetTexture(1, " + lightmap + ")",       "SetTextureStageState(1, COLOROP, 5)",
            "SetTextureStageState(1, COLORARG1, 2)", "SetTextureStageState(1, COLORARG2, 1)",
            "SetTextureStageState(1, MIPFILTER, 2)", "SetTextureStageState(1, MINFILTER, 2)",
            "SetTextureStageState(1, MAGFILTER, 2)"};
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b, float tolerance = 1e-6f) {
    for (int i = 0; i < 16; ++i)
        if (std::abs((&a._11)[i] - (&b._11)[i]) > tolerance) return false;
    return true;
}

// A recording device with the main texture made on it (tex#1), as start-up
// has it when the World is built.
class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(
            device.CreateTexture(64, 64, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &mainTexture),
            S_OK);
        g_mainTexture = mainTexture;
        device.clearCalls();
        g_camera = Camera();
    }
    void TearDown() override {
        world.reset();
        mainTexture->Release();
        g_mainTexture = nullptr;
        EXPECT_TRUE(device.leaks().empty()) << device.leaks().front();
        EXPECT_TRUE(device.referenceErrors().empty());
    }

    void build(const GeomLevel& level, const tundra_formats::GeomWriteOptions& options = {}) {
        world = std::make_unique<World>(scratch.write(level, options), &device, 4.0f / 3.0f);
    }

    LevelScratch scratch;
    LogCapture log;
    RecordingDevice device;
    IDirect3DTexture8* mainTexture = nullptr;
    std::unique_ptr<World> world;
};

TEST_F(WorldTest, RenderSetsTransformsStreamAndFormatThenSetsUpAndDrawsEachFace) {
    build(ThreeFaceLevel());
    device.clearCalls();
    world->render();

    const std::vector<tundra_test::RecordedCall>& calls = device.calls();
    ASSERT_GE(calls.size(), 3u);
    const uint32_t transforms[] = {256, D3DTS_VIEW, D3DTS_PROJECTION};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i].name, "SetTransform");
        EXPECT_EQ(calls[i].args.at(0), transforms[i]);
    }
    std::vector<std::string> expected = {"SetStreamSource(0, vb#1, 28)", "SetVertexShader(0x202)"};
    // Lightmaps are tex#2 and tex#3; every slot holds the main texture tex#1.
    const char* lightmapOfFace[] = {"tex#2", "tex#3", "tex#2"};
    const char* drawOfFace[] = {"DrawPrimitive(6, 0, 1)", "DrawPrimitive(6, 3, 4)",
                                "DrawPrimitive(6, 9, 1)"};
    for (int face = 0; face < 3; ++face) {
        Append(expected, Stage0Setup("tex#1"));
        Append(expected, Stage1Setup(lightmapOfFace[face]));
        expected.push_back(drawOfFace[face]);
    }
    std::vector<std::string> texts = device.callTexts();
    texts.erase(texts.begin(), texts.begin() + 3);
    EXPECT_EQ(texts, expected);
}

TEST_F(WorldTest, TransformsAreIdentityWorldCameraViewAndFortyFiveDegreeProjection) {
    build(ThreeFaceLevel());
    g_camera.setPosition(10, 20, 30);
    g_camera.yaw = 0.3f;
    Camera reference = g_camera;
    const D3DXMATRIX expectedView = reference.viewMatrix();
    D3DXMATRIX expectedProjection;
    D3DXMatrixPerspectiveFovLH(&expectedProjection, 0.7853982f, 4.0f / 3.0f, 1.0f, 100000.0f);
    world->render();
    EXPECT_TRUE(SameMatrix(device.transform(D3DTS_WORLD), Matrix4(Matrix4::Identity)));
    EXPECT_TRUE(SameMatrix(device.transform(D3DTS_VIEW), expectedView));
    EXPECT_TRUE(SameMatrix(device.transform(D3DTS_PROJECTION), expectedProjection));
}

TEST_F(WorldTest, RenderCarriesOutTheCameraDisplacementOncePerFrame) {
    build(ThreeFaceLevel());
    g_camera.movement.z = 50.0f;
    world->render();
    world->render();
    EXPECT_NEAR(g_camera.position.z, 50.0f, 1e-3f);
}

TEST_F(WorldTest, LevelWithoutFacesSetsUpButDrawsNothing) {
    GeomLevel level = ThreeFaceLevel();
    level.polygons.clear();
    build(level);
    device.clearCalls();
    world->render();
    EXPECT_EQ(device.count("SetTransform"), 3u);
    EXPECT_EQ(device.callTexts("SetStreamSource"),
              std::vector<std::string>{"SetStreamSource(0, vb#1, 28)"});
    EXPECT_EQ(device.count("SetVertexShader"), 1u);
    EXPECT_EQ(device.count("DrawPrimitive"), 0u);
}

TEST_F(WorldTest, EmptyLevelCreatesNoVertexBufferAndDrawsNothing) {
    build(GeomLevel{});
    EXPECT_EQ(device.count("CreateVertexBuffer"), 0u);
    device.clearCalls();
    world->render();
    EXPECT_EQ(device.count("SetTransform"), 3u);
    EXPECT_EQ(device.callTexts("SetStreamSource"),
              std::vector<std::string>{"SetStreamSource(0, null, 28)"});
    EXPECT_EQ(device.count("DrawPrimitive"), 0u);
}

TEST_F(WorldTest, VertexBufferHoldsPositionThenBothCoordinatePairs) {
    GeomLevel level = ThreeFaceLevel();
    level.vertices[4] = GeomVertex{1, 2, 3, 0.5f, 0.25f, 0.75f, 1.0f};
    build(level);
    EXPECT_EQ(device.callTexts("CreateVertexBuffer"),
              std::vector<std::string>{"CreateVertexBuffer(336, 0x8, 0x202, MANAGED) -> vb#1"});
    const tundra_test::RecordingVertexBuffer* buffer = device.vertexBuffer(1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_FALSE(buffer->isLocked());
    const float expected[] = {8, 16, 24, 0.5f, 0.25f, 0.75f, 1.0f};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(buffer->floatAt(4 * 28 + 4 * i), expected[i]) << i;
}

TEST_F(WorldTest, LightmapTexelsBecomeOpaqueXrgbAtTheDevicePitch) {
    GeomLevel level = ThreeFaceLevel();
    level.lightmaps[1].setTexel(5, 7, 255, 128, 0);
    level.lightmaps[1].setTexel(127, 0, 1, 2, 3);
    level.lightmaps[1].setTexel(0, 127, 4, 5, 6);
    build(level);
    EXPECT_EQ(device.callTexts("CreateTexture").at(1),
              "CreateTexture(128, 128, 1, 0x0, X8R8G8B8, MANAGED) -> tex#3");
    const tundra_test::RecordingTexture* map = device.texture(3);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->texel(0, 5, 7), 0xFFFF8000u);
    EXPECT_EQ(map->texel(0, 127, 0), 0xFF010203u);
    EXPECT_EQ(map->texel(0, 0, 127), 0xFF040506u);
    EXPECT_EQ(map->texel(0, 7, 5), 0xFF000000u);
    EXPECT_FALSE(map->isLocked());
    EXPECT_TRUE(map->paddingIntact());
}

TEST_F(WorldTest, EveryTextureSlotHoldsTheMainTexture) {
    GeomLevel level = ThreeFaceLevel();
    level.textures = {GeomTexture{"a"}, GeomTexture{"b.jpg"}, GeomTexture{""}};
    build(level);
    ASSERT_EQ(world->textures.size(), 3u);
    for (IDirect3DTexture8* slot : world->textures) EXPECT_EQ(slot, mainTexture);
    EXPECT_EQ(mainTexture->AddRef(), 2u);  // the World added no reference
    mainTexture->Release();
}

TEST_F(WorldTest, LoadLogAndCameraPutAtOrigin) {
    g_camera.setPosition(5, 6, 7);
    build(ThreeFaceLevel());
    EXPECT_EQ(log.text(),
              "LOADED: data\\world.geom\n"
              "number of vertices in map: 12\n"
              "number of polygons in map: 3\n"
              "number of textures in map: 2\n"
              "number of lightmaps in map: 2\n");
    EXPECT_EQ(g_camera.position.x, 0.0f);
    EXPECT_EQ(g_camera.position.y, 0.0f);
    EXPECT_EQ(g_camera.position.z, 0.0f);
}

TEST_F(WorldTest, DestructorReleasesBufferAndLightmapsWithItsLogLines) {
    build(ThreeFaceLevel());
    log.clear();
    world.reset();
    EXPECT_EQ(log.text(), "Releasing world vertex buffer.\nReleasing lightmaps: 0 1 \n");
    EXPECT_EQ(device.texture(2)->refCount(), 0u);
    EXPECT_EQ(device.vertexBuffer(1)->refCount(), 0u);
}

TEST_F(WorldTest, FailedVertexBufferKeepsFacesButDrawsNothingAfterTransforms) {
    device.failCalls("CreateVertexBuffer");
    build(ThreeFaceLevel());
    EXPECT_NE(log.text().find("ERROR: Creation of the vertex buffer failed!!!number of vertices"),
              std::string::npos);
    EXPECT_EQ(world->faces.size(), 3u);
    device.clearCalls();
    world->render();
    EXPECT_EQ(device.count("SetTransform"), 3u);
    EXPECT_EQ(device.calls().size(), 3u);
    log.clear();
    world.reset();
    EXPECT_EQ(log.text(), "Releasing lightmaps: 0 1 \n");
}

TEST_F(WorldTest, FailedVertexBufferLockReleasesTheBuffer) {
    device.failCalls("Lock");
    build(ThreeFaceLevel());
    EXPECT_EQ(world->vertexBuffer, nullptr);
    EXPECT_EQ(device.vertexBuffer(1)->refCount(), 0u);
    device.clearCalls();
    world->render();
    EXPECT_EQ(device.count("DrawPrimitive"), 0u);
}

TEST_F(WorldTest, LightmapThatCannotBeMadeLeavesFacesUnlitOnStageOne) {
    device.failCalls("CreateTexture", E_FAIL, 1, 1);  // the second lightmap
    build(ThreeFaceLevel());
    ASSERT_EQ(world->lightmaps.size(), 2u);
    EXPECT_NE(world->lightmaps[0], nullptr);
    EXPECT_EQ(world->lightmaps[1], nullptr);
    device.clearCalls();
    world->render();
    std::vector<std::string> texts = device.callTexts();
    // Face 1 (lightmap 1): stage 1 switched off instead of the lightmap set-up.
    const std::vector<std::string> unlit = {
        "SetTexture(1, null)", "SetTextureStageState(1, COLOROP, 1)", "DrawPrimitive(6, 3, 4)"};
    EXPECT_NE(std::search(texts.begin(), texts.end(), unlit.begin(), unlit.end()), texts.end());
    EXPECT_EQ(device.count("DrawPrimitive"), 3u);
    log.clear();
    world.reset();
    EXPECT_EQ(log.text(), "Releasing world vertex buffer.\nReleasing lightmaps: 0 \n");
}

TEST_F(WorldTest, LightmapThatCannotBeLockedIsReleasedAndLeftEmpty) {
    device.failCalls("LockRect", E_FAIL, 0, 1);
    build(ThreeFaceLevel());
    EXPECT_EQ(world->lightmaps[0], nullptr);
    EXPECT_NE(world->lightmaps[1], nullptr);
    EXPECT_EQ(device.texture(2)->refCount(), 0u);
    EXPECT_NE(log.text().find("ERROR: Locking lightmap 0 failed"), std::string::npos);
}

TEST_F(WorldTest, RenderWithoutDeviceOnlyLogs) {
    World empty("nothere.geom", nullptr, 1.0f);
    log.clear();
    empty.render();
    EXPECT_EQ(log.text(), "eRRROR: No rendering device in World::render()");
}

}  // namespace
