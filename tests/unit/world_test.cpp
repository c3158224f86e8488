// The level file and the World made of it: damaged files, one row each; what each draw binds.
#include "world/world.h"
#include "world/world_file.h"

#include "app/globals.h"
#include "camera/camera.h"
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace tundra_formats;
using tundra_test::RecordingTexture;

namespace {

// Each draw: "<stage 0 texture> op arg1 arg2 mip min mag | <stage 1 ...> | type first count".
class DrawRecorder : public tundra_test::RecordingDevice {
public:
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override {
        bound[stage] = texture ? static_cast<RecordingTexture*>(texture)->name() : "null";
        return RecordingDevice::SetTexture(stage, texture);
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT first, UINT count) override {
        std::string text;
        for (DWORD stage : {0u, 1u}) {
            text += bound[stage];
            if (stageState(stage, D3DTSS_COLOROP) == D3DTOP_DISABLE) text += " off";  // no states
            for (auto kind : {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_MIPFILTER,
                              D3DTSS_MINFILTER, D3DTSS_MAGFILTER})
                if (stageState(stage, D3DTSS_COLOROP) != D3DTOP_DISABLE)
                    text += " " + std::to_string(stageState(stage, kind));
            text += " | ";
        }
        draws.push_back(text + std::to_string(type) + " " + std::to_string(first) + " " +
                        std::to_string(count));
        lightmaps += (lightmaps.empty() ? "" : " ") + std::to_string(first) + ":" + bound[1];
        return RecordingDevice::DrawPrimitive(type, first, count);
    }
    std::string bound[2] = {"null", "null"}, lightmaps;  // "first vertex:stage 1" of each draw
    std::vector<std::string> draws;
};
const std::string kSurface = "tex#1 4 2 0 2 2 2 | ";  // the main texture, modulated
std::string Lit(const std::string& lightmap) { return lightmap + " 5 2 1 2 2 2 | "; }

// 8 vertices, 2 quads (whose unused fields are filled), 2 textures, 2
// lightmaps (tex#1 and tex#2 on the device): 16 + 224 + 72 + 136 + 98312.
constexpr size_t kSize = 98760;
using L = GeomLevel;
using O = GeomWriteOptions;
using V = GeomVisibility;
using Damage = std::function<void(L&, O&)>;

// The camera (origin, looking along +z) is behind the plane x = 1, in leaf 0 of cluster 0, which
// sees only itself; both leaves' boxes lie just ahead. 142 bytes after the last lightmap.
Damage Section(std::function<void(V&, O&)> change) {
    return [change](L& level, O& options) {
        V v;
        v.planes = {{{1, 0, 0}, 0.125f}};
        v.nodes = {{0, -2, -1}};
        v.leaves = {{0, {-1, -1, 1}, {1, 1, 2}, 0, 1}, {1, {-1, -1, 1}, {1, 1, 2}, 1, 1}};
        v.leafPolygons = {0, 1};
        v.numClusters = 2, v.bytesPerCluster = 1;
        v.clusterSets = {0x1, 0x3};
        change(v, options);
        level.visibility = v;
    };
}
Damage S(std::function<void(V&)> change) {
    return Section([change](V& v, O&) { change(v); });
}
// Leaf 0's box (file units) moved along one axis, or two.
Damage Box(int axis, float min, float max, int other = 0, float min2 = -1, float max2 = 1) {
    return S([=](V& v) {
        v.leaves[0].min[axis] = min, v.leaves[0].max[axis] = max;
        if (other) v.leaves[0].min[other] = min2, v.leaves[0].max[other] = max2;
    });
}

struct Row {
    const char* name;
    Damage damage;
    const char* logPart;        // in parentheses: why the visibility section is left out
    const char* drawn = kBoth;  // "first vertex:lightmap" of each face drawn from the origin
    const char* failing = "";   // the device's one call that fails
    static constexpr const char* kBoth = "0:tex#1 4:tex#2";
};
const Damage kNone = [](L&, O&) {};

const Row kRows[] = {
    {"one byte short", [](L&, O& o) { o.truncateTo = kSize - 1; },
     "is too short: its counts need 98760 bytes, it has 98759; loading an empty level", ""},
    {"negative vertex count", [](L&, O& o) { o.numVertices = -1; },
     "has a negative count (vertices -1, polygons 2, textures 2, lightmaps 2); loading an", ""},
    {"lightmap indices wrapped",
     [](L& l, O&) { l.polygons[0].lightmapIndex = 2, l.polygons[1].lightmapIndex = -1; },
     "\n lightmap id not in bounds!!!\n lightmap id not in bounds!!!number of vertices"},
    {"polygons but no lightmaps", [](L& l, O&) { l.lightmaps.clear(); },
     "WARNING: World file has polygons but no lightmaps; they are drawn without lightmaps\n",
     "0:null 4:null"},
    {"texture index out of range",
     [](L& l, O&) { l.polygons[0].textureIndex = 2, l.polygons[1].textureIndex = -1; },
     "WARNING: dropped 2 of 2 polygons (vertex run outside the vertex array, fewer than 3 "
     "vertices or texture index out of range)\n",
     ""},
    {"vertex run one past the end", [](L& l, O&) { l.polygons[1].vertexCount = 5; },
     "dropped 1 of 2 polygons", "0:tex#1"},
    {"vertex run starting outside, fewer than three vertices",
     [](L& l, O&) { l.polygons[0].firstVertex = -1, l.polygons[1].vertexCount = 2; },
     "dropped 2 of 2", ""},
    {"triangle at the end",
     [](L& l, O&) { l.polygons[1].firstVertex = 5, l.polygons[1].vertexCount = 3; },
     "polygons in map: 2\nnumber of textures", "0:tex#1 5:tex#2"},
    // A sound section: what the camera's cluster sees inside the view is drawn.
    {"sound section", S([](V&) {}), "visibility: 2 leaves in 2 clusters\n", "0:tex#1"},
    {"cluster 0 seeing only cluster 8", S([](V& v) {
         v.numClusters = 9, v.bytesPerCluster = 2, v.leaves[1].cluster = 8;
         v.clusterSets.assign(18, 0), v.clusterSets[1] = 1;
     }),
     "visibility: 2 leaves in 9 clusters", "4:tex#2"},
    {"camera in front of the split", S([](V& v) { v.planes[0].distance = -0.125f; }), "vis"},
    {"polygon in no leaf", S([](V& v) { v.leaves[1].polygonCount = 0; }), "visibility"},
    {"camera in no cluster", S([](V& v) { v.leaves[0].cluster = -1; }), "visibility"},
    {"leaf behind the camera", Box(2, -2, -1), "visibility", ""},
    {"leaf left of the view", Box(0, -100, -90), "visibility", ""},
    {"leaf right of the view", Box(0, 90, 100), "visibility", ""},
    {"leaf above the view", Box(1, 90, 100), "visibility", ""},
    {"leaf below the view", Box(1, -100, -90), "visibility", ""},
    {"leaf beyond the far plane", Box(2, 100010, 100020), "visibility", ""},
    {"leaf 0.28 units left of the view: kept, rounding must not hide a polygon",
     Box(0, -100, -4.18f, 2, 10, 10), "visibility", "0:tex#1"},
    {"face left of the view in a leaf in view",
     [](L& l, O& o) {
         S([](V&) {})(l, o);
         for (int k = 0; k < 4; ++k) l.vertices[k].x = -100;
     },
     "visibility", ""},
    // A damaged section is left out: every face is drawn.
    {"section cut in its header", Section([](V&, O& o) { o.truncateTo = kSize + 31; }),
     "(it is shorter than its 32-byte header)"},
    {"section cut short", Section([](V&, O& o) { o.truncateTo = kSize + 141; }),
     "(its counts need 142 bytes, it has 141)"},
    {"bytes after the section", Section([](V&, O& o) { o.trailing.assign(4, 0); }),
     "(its counts need 142 bytes, it has 146)"},
    {"another version", S([](V& v) { v.version = 2; }), "(version 2 is not 1)"},
    {"negative count", S([](V& v) { v.planeCount = -1; }), "(a negative count)"},
    {"no nodes", S([](V& v) { v.nodes.clear(); }), "(no nodes)"},
    {"visible sets too small", S([](V& v) { v.numClusters = 9, v.clusterSets.resize(9); }),
     "(visible sets of 1 bytes for 9 clusters)"},
    {"plane not finite", S([](V& v) { v.planes[0].normal[2] = NAN; }), "(plane 0 is not finite)"},
    {"node plane", S([](V& v) { v.nodes[0].plane = 1; }), "(node 0 has plane 1 of 1)"},
    {"node back", S([](V& v) { v.nodes[0].back = -3; }), "(node 0 has child -3 outside the tree)"},
    {"node front", S([](V& v) { v.nodes[0].front = 1; }), "(node 0 has child 1 outside the tree)"},
    {"loop", S([](V& v) { v.nodes[0].front = 0; }), "(node 0 is reached twice: the tree has a"},
    {"leaf cluster", S([](V& v) { v.leaves[1].cluster = 2; }), "(leaf 1 has cluster 2 of 2)"},
    {"leaf bounds", S([](V& v) { v.leaves[0].max[0] = INFINITY; }), "(leaf 0 has bounds that ar"},
    {"leaf polygons", S([](V& v) { v.leaves[1].polygonCount = 2; }), "(leaf 1 has polygons 1 + 2"},
    {"leaf polygon", S([](V& v) { v.leafPolygons[1] = 2; }), "(leaf polygon 1 is polygon 2 of 2)"},
    // A failed device call: the part it would have made is left out. A refused create hands
    // out no number (tex#1 is then lightmap 1); a lightmap that cannot be locked takes one.
    {"vertex buffer refused", kNone, "ERROR: Creation of the vertex buffer failed!!!", "",
     "CreateVertexBuffer"},
    {"vertex buffer lock refused", kNone,
     "ERROR: Locking the world vertex buffer failed; the level is not drawn\n", "", "Lock"},
    {"lightmap refused", kNone, "ERROR: Creation of lightmap 0 failed\n", "0:null 4:tex#1",
     "CreateTexture"},
    {"lightmap lock refused", kNone, "ERROR: Locking lightmap 0 failed\n", "0:null 4:tex#2",
     "LockRect"},
};

TEST(DamagedLevel, LoadsIntoAConsistentLevelAndDrawsOnlyWhatFits) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        LevelScratch scratch;
        L level;
        level.vertices.assign(8, GeomVertex{0, 0, 1.5f});  // inside both leaves' boxes
        level.polygons = {{0, 4, 0, 0, -123456, {0xAB}}, {4, 4, 1, 1, 7, {0xCD}}};
        level.textures = {GeomTexture{"a", 0xDEADBEEF}, GeomTexture{"b"}};
        level.lightmaps.resize(2);
        level.lightmaps[0].unused = 0xFFFFFFFF;
        O options;
        row.damage(level, options);
        const std::string name = scratch.write(level, options);
        LogCapture log;
        const std::unique_ptr<WorldFile> file = std::make_unique<WorldFile>(name);
        const int vertices = file->numVertices;
        EXPECT_EQ((std::vector<size_t>{file->vertices.size(), file->polygons.size(),
                                       file->textures.size(), file->lightmaps.size()}),
                  (std::vector<size_t>{size_t(vertices), size_t(file->numPolygons),
                                       size_t(file->numTextures), size_t(file->numLightmaps)}));
        const std::string fileLog = log.text();
        const bool rejected = fileLog.find("loading an empty level") != std::string::npos;
        const bool sectionIgnored = row.logPart[0] == '(';
        // "LOADED: ..." then one line saying why.
        const long lines = std::count(fileLog.begin(), fileLog.end(), '\n');
        EXPECT_TRUE(!(rejected || sectionIgnored) || lines == 2) << fileLog;
        EXPECT_TRUE(!rejected || vertices == 0);

        DrawRecorder device;
        if (*row.failing) device.failCalls(row.failing, E_FAIL, 0, 1);
        g_camera = Camera();
        {
            World world(name, &device, 1.0f);
            EXPECT_EQ(device.count("CreateVertexBuffer"), vertices > 0 ? 1u : 0u);
            device.BeginScene();
            world.render();
            device.EndScene();
            // A face draws with its lightmap, or with stage 1 off when it has none.
            for (const std::string& draw : device.draws)
                EXPECT_EQ(draw.find("| null"), draw.find("| null off")) << draw;
            EXPECT_TRUE(world.visibility || !world.vertexBuffer ||
                        world.faces.size() == device.draws.size());
        }
        EXPECT_EQ(device.lightmaps, row.drawn);
        EXPECT_EQ(device.problems(), std::vector<std::string>{});  // no draw past the buffer
        EXPECT_NE(log.text().find(row.logPart), std::string::npos) << log.text();
        EXPECT_EQ(sectionIgnored,
                  log.text().find("WARNING: World file data\\world.geom has a "
                                  "damaged visibility section (") != std::string::npos);
    }
}

// On a device holding the main texture (tex#1), as start-up has it: faces of
// 3 and 6 vertices, then a triangle like the first.
TEST(World, BuildsItsResourcesAndDrawsEachFaceWithItsTexturesAndStages) {
    LevelScratch scratch;
    LogCapture log;
    DrawRecorder device;
    IDirect3DTexture8* mainTexture = nullptr;
    device.CreateTexture(64, 64, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &mainTexture);
    g_mainTexture = mainTexture;
    L level;
    level.vertices.resize(12);
    level.vertices[4] = GeomVertex{1, 2, 3, 0.5f, 0.25f, 0.75f, 1.0f};
    level.polygons = {GeomPolygon{0, 3, 0, 0}, GeomPolygon{3, 6, 1, 1}, GeomPolygon{9, 3, 0, 0}};
    level.textures = {GeomTexture{"floor"}, GeomTexture{"wall"}};
    level.lightmaps.resize(2);
    level.lightmaps[1].setTexel(5, 7, 255, 128, 0);
    level.lightmaps[1].setTexel(127, 0, 1, 2, 3);
    level.lightmaps[1].setTexel(0, 127, 4, 5, 6);
    g_camera = Camera();
    g_camera.setPosition(5, 6, 7);
    auto world = std::make_unique<World>(scratch.write(level), &device, 4.0f / 3.0f);
    EXPECT_EQ(log.text(),
              "LOADED: data\\world.geom\nnumber of vertices in map: 12\n"
              "number of polygons in map: 3\nnumber of textures in map: 2\n"
              "number of lightmaps in map: 2\n");
    EXPECT_EQ(device.callTexts("CreateVertexBuffer"),
              std::vector<std::string>{"CreateVertexBuffer(336, 0x8, 0x202, MANAGED) -> vb#1"});
    std::vector<float> vertex;
    for (int i = 0; i < 7; ++i) vertex.push_back(device.vertexBuffer(1)->floatAt(4 * 28 + 4 * i));
    EXPECT_EQ(vertex, (std::vector<float>{8, 16, 24, 0.5f, 0.25f, 0.75f, 1.0f}));
    EXPECT_EQ(device.callTexts("CreateTexture").at(2),
              "CreateTexture(128, 128, 1, 0x0, X8R8G8B8, MANAGED) -> tex#3");
    const tundra_test::RecordingTexture* map = device.texture(3);
    EXPECT_EQ(std::vector<uint32_t>({map->texel(0, 5, 7), map->texel(0, 127, 0),
                                     map->texel(0, 0, 127), map->texel(0, 7, 5)}),
              std::vector<uint32_t>({0xFFFF8000u, 0xFF010203u, 0xFF040506u, 0xFF000000u}));
    EXPECT_TRUE(map->paddingIntact());

    // Turned right to look along +x, a step still to take: the view of the place it stands,
    // its right (0, 0, -1), up and ahead (1, 0, 0) in columns. A 45° field of view, 1 to
    // 100000: 1 / tan(22.5°) = 2.4142137 high, 3/4 of it wide, depth 100000 / 99999.
    g_camera.setPosition(10, 20, 30);
    g_camera.yaw = 1.5707964f;
    g_camera.movement.z = 5;
    const D3DXMATRIX expected[3] = {
        D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1),
        D3DXMATRIX(0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 30, -20, -10, 1),
        D3DXMATRIX(1.8106602f, 0, 0, 0, 0, 2.4142137f, 0, 0, 0, 0, 1.00001f, 1, 0, 0, -1.00001f,
                   0)};
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);  // left by other drawing
    device.clearCalls();
    device.BeginScene();
    world->render();
    device.EndScene();
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(
                device.transform(k ? D3DTRANSFORMSTATETYPE(k + 1) : D3DTS_WORLD).m[i / 4][i % 4],
                expected[k].m[i / 4][i % 4], 1e-5f);
    EXPECT_EQ(device.callTexts("SetStreamSource"),
              std::vector<std::string>{"SetStreamSource(0, vb#1, 28)"});
    EXPECT_EQ(device.callTexts("SetVertexShader"),
              std::vector<std::string>{"SetVertexShader(0x202)"});
    EXPECT_EQ(device.draws, (std::vector<std::string>{kSurface + Lit("tex#2") + "6 0 1",
                                                      kSurface + Lit("tex#3") + "6 3 4",
                                                      kSurface + Lit("tex#2") + "6 9 1"}));
    log.clear();
    world.reset();
    EXPECT_EQ(log.text(), "Releasing world vertex buffer.\nReleasing lightmaps: 0 1 \n");
    mainTexture->Release();
    EXPECT_EQ(device.problems(), std::vector<std::string>{});
}

}  // namespace
