// Damaged and hostile level files: each loads without a crash or an
// out-of-bounds access, into either an empty level (rejected, one log line)
// or a level whose faces all lie inside its arrays.
#include "world/world.h"
#include "world/world_file.h"

#include "app/globals.h"
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <functional>
#include <string>
#include <vector>

using tundra_formats::GeomLevel;
using tundra_formats::GeomPolygon;
using tundra_formats::GeomTexture;
using tundra_formats::GeomWriteOptions;

namespace {

// 8 vertices, 2 quads, 2 textures, 2 lightmaps: 16 + 224 + 72 + 136 + 98312.
constexpr size_t VerticesAt = 16, PolygonsAt = 240, TexturesAt = 312, LightmapsAt = 448,
                 WellFormedSize = 98760;

GeomLevel TwoQuads() {
    GeomLevel level;
    level.vertices.resize(8);
    level.polygons = {GeomPolygon{0, 4, 0, 0}, GeomPolygon{4, 4, 1, 1}};
    level.textures = {GeomTexture{"a"}, GeomTexture{"b"}};
    level.lightmaps.resize(2);
    return level;
}

struct Case {
    const char* name;
    std::function<void(GeomLevel&, GeomWriteOptions&)> damage;
    bool rejected;
    const char* logPart;  // must appear in the log
    int polygons;         // polygons the reader keeps
    int faces;            // faces the World keeps
};

const Case Cases[] = {
    {"empty file", [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = 0; }, true,
     "is shorter than its 16-byte header", 0, 0},
    {"cut inside header", [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = 10; }, true,
     "is shorter than its 16-byte header", 0, 0},
    {"cut inside vertices", [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = VerticesAt + 30; },
     true, "is too short: its counts need 98760 bytes, it has 46", 0, 0},
    {"cut inside polygons", [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = PolygonsAt + 40; },
     true, "is too short", 0, 0},
    {"cut inside textures", [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = TexturesAt + 67; },
     true, "is too short", 0, 0},
    {"cut inside lightmaps",
     [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = WellFormedSize - 1; }, true,
     "is too short", 0, 0},
    {"negative vertex count", [](GeomLevel&, GeomWriteOptions& o) { o.numVertices = -1; }, true,
     "has a negative count (vertices -1,", 0, 0},
    {"negative lightmap count", [](GeomLevel&, GeomWriteOptions& o) { o.numLightmaps = INT_MIN; },
     true, "has a negative count", 0, 0},
    {"huge vertex count", [](GeomLevel&, GeomWriteOptions& o) { o.numVertices = INT_MAX; }, true,
     "is too short", 0, 0},
    {"huge lightmap count", [](GeomLevel&, GeomWriteOptions& o) { o.numLightmaps = INT_MAX; },
     true, "is too short", 0, 0},
    {"every count huge",
     [](GeomLevel&, GeomWriteOptions& o) {
         o.numVertices = o.numPolygons = o.numTextures = o.numLightmaps = INT_MAX;
     },
     true, "is too short", 0, 0},
    {"polygons but no lightmaps", [](GeomLevel& l, GeomWriteOptions&) { l.lightmaps.clear(); },
     false, "has polygons but no lightmaps", 2, 2},
    {"texture index out of range",
     [](GeomLevel& l, GeomWriteOptions&) {
         l.polygons[0].textureIndex = 2;
         l.polygons[1].textureIndex = -1;
     },
     false, "dropped 2 of 2 polygons", 2, 0},
    {"vertex run past the end",
     [](GeomLevel& l, GeomWriteOptions&) { l.polygons[1].vertexCount = 5; }, false,
     "dropped 1 of 2 polygons", 2, 1},
    {"vertex run starting outside",
     [](GeomLevel& l, GeomWriteOptions&) {
         l.polygons[0].firstVertex = -2;
         l.polygons[1].firstVertex = INT_MAX;
     },
     false, "dropped 2 of 2 polygons", 2, 0},
    {"fewer than three vertices",
     [](GeomLevel& l, GeomWriteOptions&) {
         l.polygons[0].vertexCount = 2;
         l.polygons[1].vertexCount = INT_MIN;
     },
     false, "dropped 2 of 2 polygons", 2, 0},
    {"texture name without NUL",
     [](GeomLevel& l, GeomWriteOptions&) { l.textures[1].name = std::string(200, 'n'); }, false,
     "number of textures in map: 2", 2, 2},
    {"trailing bytes",
     [](GeomLevel&, GeomWriteOptions& o) { o.trailing.assign(1000, 0xEE); }, false,
     "number of lightmaps in map: 2", 2, 2},
    {"counts below the records present",
     [](GeomLevel&, GeomWriteOptions& o) {
         o.numPolygons = 1;
         o.numLightmaps = 1;
     },
     false, "number of polygons in map: 1", 1, 1},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class MalformedLevel : public ::testing::TestWithParam<Case> {};

TEST_P(MalformedLevel, LoadsIntoAConsistentLevelAndDrawsOnlyWhatFits) {
    const Case& c = GetParam();
    LevelScratch scratch;
    GeomLevel level = TwoQuads();
    GeomWriteOptions options;
    c.damage(level, options);
    const std::string name = scratch.write(level, options);

    LogCapture log;
    {
        const WorldFile file(name);
        EXPECT_EQ(file.numPolygons, c.polygons);
        EXPECT_EQ(size_t(file.numVertices), file.vertices.size());
        EXPECT_EQ(size_t(file.numPolygons), file.polygons.size());
        EXPECT_EQ(size_t(file.numTextures), file.textures.size());
        EXPECT_EQ(size_t(file.numLightmaps), file.lightmaps.size());
        if (c.rejected) {
            EXPECT_EQ(file.numVertices + file.numTextures + file.numLightmaps, 0);
        }
        for (const WorldTexture& texture : file.textures)
            EXPECT_LE(texture.nameText().size(), WorldTexture::NameSize);
    }
    const std::string fileLog = log.text();
    if (c.rejected) {
        // "LOADED: ..." then exactly one line saying what is wrong.
        EXPECT_EQ(std::count(fileLog.begin(), fileLog.end(), '\n'), 2) << fileLog;
    }

    tundra_test::RecordingDevice device;
    {
        World world(name, &device, 1.0f);
        EXPECT_EQ(int(world.faces.size()), c.faces);
        device.clearCalls();
        world.render();
        const size_t vertexCount = world.vertexBuffer ? size_t(level.vertices.size()) : 0;
        for (const tundra_test::RecordedCall& draw : device.callsNamed("DrawPrimitive"))
            EXPECT_LE(size_t(draw.args[1]) + draw.args[2] + 2, vertexCount) << draw.text;
        EXPECT_EQ(device.count("DrawPrimitive"), size_t(c.faces));
    }
    EXPECT_TRUE(device.leaks().empty());
    const std::string logText = log.text();
    EXPECT_NE(logText.find(c.logPart), std::string::npos) << logText;
}

TEST(MalformedLevelLightmaps, PolygonsWithoutLightmapsDrawWithStageOneOff) {
    LevelScratch scratch;
    GeomLevel level = TwoQuads();
    level.lightmaps.clear();
    LogCapture log;
    tundra_test::RecordingDevice device;
    World world(scratch.write(level), &device, 1.0f);
    device.clearCalls();
    world.render();
    EXPECT_EQ(device.callTexts("SetTexture"),
              (std::vector<std::string>{"SetTexture(0, null)", "SetTexture(1, null)",
                                        "SetTexture(0, null)", "SetTexture(1, null)"}));
    EXPECT_EQ(device.callTexts("SetTextureStageState").size(), 14u);  // 6 + 1 per face
    EXPECT_EQ(device.stageState(1, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
    EXPECT_EQ(device.count("DrawPrimitive"), 2u);
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedLevel, ::testing::ValuesIn(Cases), CaseName);

}  // namespace
