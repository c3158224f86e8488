// Damaged and hostile level files: each loads without a crash or an
// out-of-bounds access, into either an empty level (rejected, one log line)
// or a level whose faces all lie inside its arrays. A damaged visibility
// section is one log line and the whole level drawn.
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
#include <cmath>
#include <functional>
#include <string>
#include <vector>

using tundra_formats::GeomLevel;
using tundra_formats::GeomPolygon;
using tundra_formats::GeomTexture;
using tundra_formats::GeomVisibility;
using tundra_formats::GeomWriteOptions;

namespace {

// 8 vertices, 2 quads, 2 textures, 2 lightmaps: 16 + 224 + 72 + 136 + 98312.
constexpr size_t kVerticesAt = 16, kPolygonsAt = 240, kTexturesAt = 312, kLightmapsAt = 448,
                 kWellFormedSize = 98760;

GeomLevel TwoQuads() {
    GeomLevel level;
    level.vertices.resize(8);
    level.polygons = {GeomPolygon{0, 4, 0, 0}, GeomPolygon{4, 4, 1, 1}};
    level.textures = {GeomTexture{"a"}, GeomTexture{"b"}};
    level.lightmaps.resize(2);
    return level;
}

// The camera (at the origin, looking along +z) lies in leaf 0 of cluster 0,
// which sees only itself: of the two quads, only quad 0 (in leaf 0, whose box
// lies ahead) is drawn. 142 bytes after the last lightmap.
void AddSection(GeomLevel& level) {
    GeomVisibility v;
    v.planes = {{{1, 0, 0}, 0.125f}};
    v.nodes = {{0, -2, -1}};
    v.leaves = {{0, {-1, -1, 1}, {1, 1, 2}, 0, 1}, {1, {-1, -1, 1}, {1, 1, 2}, 1, 1}};
    v.leafPolygons = {0, 1};
    v.numClusters = 2;
    v.bytesPerCluster = 1;
    v.clusterSets = {0x1, 0x3};
    level.visibility = v;
}

using Damage = std::function<void(GeomLevel&, GeomWriteOptions&)>;
// A sound section with one change.
Damage Section(std::function<void(GeomVisibility&, GeomWriteOptions&)> change) {
    return [change](GeomLevel& level, GeomWriteOptions& options) {
        AddSection(level);
        change(*level.visibility, options);
    };
}
constexpr size_t kSectionSize = 142;
constexpr const char* Ignored = "has a damaged visibility section (";

struct Case {
    const char* name;
    Damage damage;
    bool rejected;
    const char* logPart;  // must appear in the log
    int polygons;         // polygons the reader keeps
    int faces;            // faces the World keeps
    int drawn = -1;       // draws from the origin when not every face
};

const Case kCases[] = {
    {"empty file", [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = 0; }, true,
     "is shorter than its 16-byte header", 0, 0},
    {"cut inside header", [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = 10; }, true,
     "is shorter than its 16-byte header", 0, 0},
    {"cut inside vertices",
     [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = kVerticesAt + 30; }, true,
     "is too short: its counts need 98760 bytes, it has 46", 0, 0},
    {"cut inside polygons",
     [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = kPolygonsAt + 40; }, true, "is too short",
     0, 0},
    {"cut inside textures",
     [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = kTexturesAt + 67; }, true, "is too short",
     0, 0},
    {"cut inside lightmaps",
     [](GeomLevel&, GeomWriteOptions& o) { o.truncateTo = kWellFormedSize - 1; }, true,
     "is too short", 0, 0},
    {"negative vertex count", [](GeomLevel&, GeomWriteOptions& o) { o.numVertices = -1; }, true,
     "has a negative count (vertices -1,", 0, 0},
    {"negative lightmap count", [](GeomLevel&, GeomWriteOptions& o) { o.numLightmaps = INT_MIN; },
     true, "has a negative count", 0, 0},
    {"huge vertex count", [](GeomLevel&, GeomWriteOptions& o) { o.numVertices = INT_MAX; }, true,
     "is too short", 0, 0},
    {"huge lightmap count", [](GeomLevel&, GeomWriteOptions& o) { o.numLightmaps = INT_MAX; }, true,
     "is too short", 0, 0},
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
    {"trailing bytes", [](GeomLevel&, GeomWriteOptions& o) { o.trailing.assign(1000, 0xEE); },
     false, "number of lightmaps in map: 2", 2, 2},
    {"counts below the records present",
     [](GeomLevel&, GeomWriteOptions& o) {
         o.numPolygons = 1;
         o.numLightmaps = 1;
     },
     false, "number of polygons in map: 1", 1, 1},
    {"sound visibility section", Section([](GeomVisibility&, GeomWriteOptions&) {}), false,
     "visibility: 2 leaves in 2 clusters", 2, 2, 1},
    {"leaf behind the camera", Section([](GeomVisibility& v, GeomWriteOptions&) {
         v.leaves[0].min[2] = -2;
         v.leaves[0].max[2] = -1;
     }),
     false, "visibility: 2 leaves", 2, 2, 0},
    {"camera in no cluster",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.leaves[0].cluster = -1; }), false,
     "visibility: 2 leaves", 2, 2},
    {"section cut inside its header",
     Section([](GeomVisibility&, GeomWriteOptions& o) { o.truncateTo = kWellFormedSize + 20; }),
     false, "(it is shorter than its 32-byte header)", 2, 2},
    {"section of another version",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.version = 2; }), false,
     "(version 2 is not 1)", 2, 2},
    {"negative section count",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.planeCount = -1; }), false,
     "(a negative count)", 2, 2},
    {"section cut short", Section([](GeomVisibility&, GeomWriteOptions& o) {
         o.truncateTo = kWellFormedSize + kSectionSize - 1;
     }),
     false, "(its counts need 142 bytes, it has 141)", 2, 2},
    {"bytes after the section",
     Section([](GeomVisibility&, GeomWriteOptions& o) { o.trailing.assign(4, 0); }), false,
     "(its counts need 142 bytes, it has 146)", 2, 2},
    {"no nodes", Section([](GeomVisibility& v, GeomWriteOptions&) { v.nodes.clear(); }), false,
     "(no nodes)", 2, 2},
    {"visible sets too small", Section([](GeomVisibility& v, GeomWriteOptions&) {
         v.numClusters = 9;
         v.clusterSets.resize(9);
     }),
     false, "(visible sets of 1 bytes for 9 clusters)", 2, 2},
    {"plane not finite",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.planes[0].distance = NAN; }), false,
     "(plane 0 is not finite)", 2, 2},
    {"node plane out of range",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.nodes[0].plane = 1; }), false,
     "(node 0 has plane 1 of 1)", 2, 2},
    {"node child outside the tree",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.nodes[0].back = -3; }), false,
     "(node 0 has child -3 outside the tree)", 2, 2},
    {"tree with a loop",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.nodes[0].front = 0; }), false,
     "(node 0 is reached twice: the tree has a loop)", 2, 2},
    {"leaf cluster out of range",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.leaves[1].cluster = 2; }), false,
     "(leaf 1 has cluster 2 of 2)", 2, 2},
    {"leaf bounds not finite",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.leaves[0].max[1] = INFINITY; }), false,
     "(leaf 0 has bounds that are not finite)", 2, 2},
    {"leaf polygons past the list",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.leaves[1].polygonCount = 2; }), false,
     "(leaf 1 has polygons 1 + 2 of 2)", 2, 2},
    {"leaf polygon outside the level",
     Section([](GeomVisibility& v, GeomWriteOptions&) { v.leafPolygons[1] = 2; }), false,
     "(leaf polygon 1 is polygon 2 of 2)", 2, 2},
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
            EXPECT_LE(texture.nameText().size(), WorldTexture::kNameSize);
    }
    const std::string fileLog = log.text();
    // A log part in parentheses is why a visibility section was ignored.
    const bool sectionIgnored = c.logPart[0] == '(';
    if (c.rejected || sectionIgnored) {
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
        EXPECT_EQ(device.count("DrawPrimitive"), size_t(c.drawn < 0 ? c.faces : c.drawn));
    }
    EXPECT_TRUE(device.leaks().empty());
    const std::string logText = log.text();
    EXPECT_NE(logText.find(c.logPart), std::string::npos) << logText;
    if (sectionIgnored) {
        EXPECT_NE(logText.find(Ignored), std::string::npos) << logText;
    }
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

INSTANTIATE_TEST_SUITE_P(Files, MalformedLevel, ::testing::ValuesIn(kCases), CaseName);

}  // namespace
