// The id Tech 3 level converter: what a converted level holds, damaged
// levels and archives (one row each), the real OpenArena levels, the tool.
#include "bsp_file.h"
#include "fan_builder.h"
#include "level_converter.h"
#include "pk3_archive.h"
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "support/tool_runner.h"
#include "world/world_file.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>

using namespace bsp;

namespace {

using Bytes = std::vector<uint8_t>;
void Put(Bytes& out, int32_t value) {
    for (int k = 0; k < 4; ++k) out.push_back(uint8_t(uint32_t(value) >> (8 * k)));
}
void Put(Bytes& out, float value) {
    int32_t bits;
    std::memcpy(&bits, &value, 4);
    Put(out, bits);
}
void Set(Bytes& bytes, size_t at, int32_t value) {
    for (int k = 0; k < 4; ++k) bytes[at + size_t(k)] = uint8_t(uint32_t(value) >> (8 * k));
}
int32_t Get(const Bytes& bytes, size_t at) {
    int32_t value;
    std::memcpy(&value, &bytes[at], 4);
    return value;
}

struct Point {
    float x, y, u, v;
};

// A level, lump by lump. Every vertex has the normal +z and z = 8 (patch
// middle column: 24); stored triangles run clockwise seen from +z.
struct Level {
    Bytes lumps[kLumpCount];
    int32_t vertexCount = 0, meshCount = 0;

    template <typename... Values>
    void put(LumpIndex lump, Values... values) {
        (Put(lumps[lump], values), ...);
    }
    void texture(const char* name, int32_t flags) {
        lumps[kTextures].resize(lumps[kTextures].size() + 64);
        std::strcpy(reinterpret_cast<char*>(&lumps[kTextures].end()[-64]), name);
        put(kTextures, flags, 1);
    }
    void face(int32_t type, int32_t texture, int32_t lightmap, const std::vector<Point>& points,
              const std::vector<int32_t>& mesh, int32_t size = 0) {
        put(kFaces, texture, -1, type, vertexCount, int32_t(points.size()), meshCount,
            int32_t(mesh.size()), lightmap);
        lumps[kFaces].resize(lumps[kFaces].size() + 64);
        put(kFaces, size, size);
        for (size_t k = 0; k < points.size(); ++k) {
            const Point& p = points[k];
            const float z = size && k % 3 == 1 ? 24.f : 8.f;
            put(kVertices, p.x, p.y, z, p.u, p.v, p.u / 2, p.v / 2, 0.f, 0.f, 1.f, -1);
        }
        for (int32_t m : mesh) put(kMeshVertices, m);
        vertexCount += int32_t(points.size());
        meshCount += int32_t(mesh.size());
    }
    Bytes encode() const {
        Bytes bytes = {'I', 'B', 'S', 'P', 46, 0, 0, 0};
        bytes.resize(kHeaderSize);
        for (int i = 0; i < kLumpCount; ++i) {
            Set(bytes, 8 + 8 * size_t(i), int32_t(bytes.size()));
            Set(bytes, 12 + 8 * size_t(i), int32_t(lumps[i].size()));
            bytes.insert(bytes.end(), lumps[i].begin(), lumps[i].end());
        }
        return bytes;
    }
};

std::vector<Point> Square(float x, float y, float side, float v = 0) {
    return {{x, y, x / 64, v + y / 64},
            {x, y + side, x / 64, v + (y + side) / 64},
            {x + side, y, (x + side) / 64, v + y / 64},
            {x + side, y + side, (x + side) / 64, v + (y + side) / 64}};
}

// Faces: 0 a square stored as a strip (texture 1, lightmap 0), 1 an L shape
// without lightmap, 2 a mesh, 3 a 3 x 3 patch bulging up, 4 sky, 5 a
// billboard, 6 a triangle with unusable surface coordinates. The tree: node
// 0 splits at x = 50; leaf 0 (cluster 0) holds faces 0 and 1, leaf 1
// (cluster 1) faces 2 and 3, but face 3 is outside model 0 (a moving part);
// leaf 2 is outside the level. Cluster 0 sees itself, cluster 1 both.
Level Sample() {
    Level level;
    level.texture("textures/base/wall", 0);
    level.texture("textures/base/floor", 0);
    level.texture("textures/skies/sky", kSurfaceSky);
    level.face(kFacePolygon, 1, 0, Square(0, 0, 64), {0, 1, 2, 2, 1, 3});
    std::vector<Point> l;  // concave at (1, 1)
    for (auto [x, y] : {std::pair{0, 0}, {0, 2}, {1, 2}, {1, 1}, {2, 1}, {2, 0}})
        l.push_back({x * 32.f + 100, y * 32.f, float(x), float(y)});
    level.face(kFacePolygon, 0, -1, l, {0, 1, 2, 0, 2, 3, 0, 3, 5, 3, 4, 5});
    level.face(kFaceMesh, 1, 0, Square(0, 100, 16, 1000.25f), {0, 1, 2, 2, 1, 3});
    std::vector<Point> patch;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) patch.push_back({i * 32.f, j * 32.f + 200, float(i), float(j)});
    level.face(kFacePatch, 0, 0, patch, {}, 3);
    level.face(kFacePolygon, 2, -1, Square(0, 0, 512), {0, 1, 2, 2, 1, 3});
    level.face(kFaceBillboard, 0, 0, Square(0, 0, 1), {});
    level.face(kFacePolygon, 0, 0, {{0, 0, -2.9e9f, 0}, {0, 64, -2.9e9f, 1}, {64, 0, -2.9e9f, 0}},
               {0, 1, 2});
    level.lumps[kLightmaps].assign(kLightmapBytes, 60);
    level.lumps[kLightmaps][0] = 200, level.lumps[kLightmaps][1] = 100;
    level.put(kPlanes, 1.f, 0.f, 0.f, 50.f);
    level.put(kNodes, 0, -1, -2, 0, 0, 0, 0, 0, 0);
    level.put(kLeafs, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0);
    level.put(kLeafs, 1, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0, 0);
    level.put(kLeafs, -1, 0, 1, 2, 3, 4, 5, 6, 4, 0, 0, 0);
    level.put(kLeafFaces, 0, 1, 2, 3);
    level.put(kModels, 0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0, 3, 0, 0);
    level.put(kVisData, 2, 1);
    level.lumps[kVisData].insert(level.lumps[kVisData].end(), {0x1, 0x3});
    const char* entities =
        "{\n\"classname\" \"worldspawn\"\n\"message\" \"{tricky}\"\n}\n"
        "{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"broken\"\n}\n"
        "{\n\"origin\" \"64 -128 24\"\n\"angle\" \"90\"\n\"classname\" \"info_player_start\"\n}\n"
        "{\n\"classname\" \"weapon_shotgun\"\n\"origin\" \"5 5 5\"\n}\n"
        "{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"1 2 3\"\n}\n{\n\"origin";
    level.lumps[kEntities].assign(entities, entities + std::strlen(entities) + 1);
    return level;
}

struct Cover {
    Vec3 areaVector;
    double area = 0;
};
// What the converted polygons of each source face cover, in level space.
std::map<int, Cover> Converted(const ConvertedLevel& converted) {
    std::map<int, Cover> result;
    for (size_t p = 0; p < converted.level.polygons.size(); ++p) {
        const tundra_formats::GeomPolygon& polygon = converted.level.polygons[p];
        std::vector<Vec3> positions;
        for (int32_t k = 0; k < polygon.vertexCount; ++k) {
            const tundra_formats::GeomVertex& v = converted.level.vertices[polygon.firstVertex + k];
            positions.push_back({v.x * 8.0, v.z * 8.0, v.y * 8.0});
        }
        Fan fan(positions.size());
        for (size_t k = 0; k < fan.size(); ++k) fan[k] = int(k);
        Cover& cover = result[converted.sourceFace[p]];
        cover.areaVector = cover.areaVector + AreaVector(positions, FanTriangles(fan));
        cover.area += TotalArea(positions, FanTriangles(fan));
    }
    return result;
}
// Every converted polygon or mesh face covers its stored triangles, facing
// the same way; returns the number of faces compared.
size_t ExpectSameCover(const BspFile& bsp, const ConvertedLevel& converted) {
    size_t checked = 0;
    for (const auto& [index, cover] : Converted(converted)) {
        const Face& face = bsp.faces[size_t(index)];
        if (face.type != kFacePolygon && face.type != kFaceMesh) continue;
        std::vector<Vec3> positions;
        for (int32_t k = 0; k < face.vertexCount; ++k) {
            const float* p = bsp.vertices[size_t(face.firstVertex + k)].position;
            positions.push_back({p[0], p[1], p[2]});
        }
        std::vector<Triangle> triangles;
        for (int32_t k = 0; k < face.meshVertexCount; k += 3) {
            const int32_t* m = &bsp.meshVertices[size_t(face.firstMeshVertex + k)];
            triangles.push_back({m[0], m[1], m[2]});
        }
        const double area = TotalArea(positions, triangles), tolerance = 1e-3 * area + 1e-3;
        EXPECT_NEAR(cover.area, area, tolerance) << "face " << index;
        EXPECT_LE(Length(cover.areaVector - AreaVector(positions, triangles)), tolerance)
            << "face " << index << " faces the other way or moved";
        ++checked;
    }
    return checked;
}

TEST(ConvertLevel, KeepsFacesTexturesLightmapsTheTreeAndTheSpawnPoints) {
    const BspFile bsp(Sample().encode());
    ConvertOptions options;
    options.overbrightShift = 1;
    const ConvertedLevel converted = ConvertLevel(bsp, options);
    const tundra_formats::GeomLevel& level = converted.level;
    // Sky and billboard left out; grouped by lightmap, then texture.
    EXPECT_EQ(std::set<int>(converted.sourceFace.begin(), converted.sourceFace.end()),
              (std::set<int>{0, 1, 2, 3, 6}));
    for (size_t i = 1; i < level.polygons.size(); ++i)
        EXPECT_LE(
            std::make_pair(level.polygons[i - 1].lightmapIndex, level.polygons[i - 1].textureIndex),
            std::make_pair(level.polygons[i].lightmapIndex, level.polygons[i].textureIndex));
    EXPECT_EQ(ExpectSameCover(bsp, converted), 4u);
    EXPECT_EQ(std::count(converted.sourceFace.begin(), converted.sourceFace.end(), 0), 1)
        << "the square stored as a strip is one fan";
    EXPECT_EQ(std::count(converted.sourceFace.begin(), converted.sourceFace.end(), 1), 2)
        << "the concave L is two fans";
    for (int patchLevel : {1, 4, 5}) {
        options.patchLevel = patchLevel;
        const Cover patch = Converted(ConvertLevel(bsp, options)).at(3);
        // 64 x 64 across, bulging: facing up like the stored triangles, and
        // at least as large as its flat shadow.
        EXPECT_NEAR(-patch.areaVector.z, 2 * 64 * 64, 1e-2) << patchLevel;
        EXPECT_GE(patch.area, 2 * 64 * 64 - 1e-2) << patchLevel;
    }

    ASSERT_EQ(level.textures.size(), 3u);
    EXPECT_EQ(level.textures[1].name, "textures/base/floor");
    // The level's page brightened (200 100 60 clipped keeping its hue), and a
    // neutral page added for the faces without one.
    ASSERT_EQ(level.lightmaps.size(), 2u);
    EXPECT_EQ(std::vector<int>(level.lightmaps[0].rgb.begin(), level.lightmaps[0].rgb.begin() + 6),
              (std::vector<int>{255, 127, 76, 120, 120, 120}));
    EXPECT_EQ(*std::min_element(level.lightmaps[1].rgb.begin(), level.lightmaps[1].rgb.end()), 128);
    EXPECT_EQ(*std::max_element(level.lightmaps[1].rgb.begin(), level.lightmaps[1].rgb.end()), 128);
    for (size_t p = 0; p < level.polygons.size(); ++p) {
        const int face = converted.sourceFace[p];
        EXPECT_EQ(level.polygons[p].lightmapIndex, face == 1 ? 1 : 0);
        EXPECT_EQ(level.polygons[p].textureIndex, bsp.faces[size_t(face)].texture);
    }
    // Positions (x, z, y) / 8; surface coordinates moved by whole repeats, or
    // planned from the positions when unusable.
    for (size_t p = 0; p < level.polygons.size(); ++p) {
        const int face = converted.sourceFace[p];
        for (int32_t k = 0; k < level.polygons[p].vertexCount; ++k) {
            const tundra_formats::GeomVertex& v = level.vertices[level.polygons[p].firstVertex + k];
            EXPECT_TRUE(face == 3 || v.y == 1) << v.y;
            EXPECT_TRUE(v.surfaceU >= 0 && v.surfaceU <= 2 && v.surfaceV >= 0 && v.surfaceV <= 2);
            if (face == 2) {
                EXPECT_FLOAT_EQ(v.surfaceV, (v.z * 8 - 100) / 64 + 0.8125f);
            }
        }
    }
    EXPECT_EQ(converted.stats.replannedFaces, 1u);

    ASSERT_TRUE(level.visibility);
    const tundra_formats::GeomVisibility& vis = *level.visibility;
    ASSERT_EQ(vis.planes.size(), 1u);
    EXPECT_EQ(std::vector<float>(vis.planes[0].normal, vis.planes[0].normal + 3),
              (std::vector<float>{1, 0, 0}));
    EXPECT_EQ(vis.planes[0].distance, 50.f / 8);
    ASSERT_EQ(vis.nodes.size(), 1u);
    EXPECT_EQ(std::vector<int32_t>({vis.nodes[0].plane, vis.nodes[0].front, vis.nodes[0].back}),
              std::vector<int32_t>({0, -1, -2}));
    ASSERT_EQ(vis.leaves.size(), 3u);
    for (int leaf = 0; leaf < 2; ++leaf) {
        std::multiset<int> faces;
        float low[3] = {1e9f, 1e9f, 1e9f}, high[3] = {-1e9f, -1e9f, -1e9f};
        const auto& source = vis.leaves[leaf];
        EXPECT_EQ(source.cluster, leaf);
        for (int32_t k = 0; k < source.polygonCount; ++k) {
            const int32_t polygon = vis.leafPolygons[size_t(source.firstPolygon + k)];
            faces.insert(converted.sourceFace[size_t(polygon)]);
            const auto& p = level.polygons[size_t(polygon)];
            for (int32_t i = 0; i < p.vertexCount; ++i) {
                const tundra_formats::GeomVertex& v = level.vertices[size_t(p.firstVertex + i)];
                const float at[] = {v.x, v.y, v.z};
                for (int a = 0; a < 3; ++a)
                    low[a] = std::min(low[a], at[a]), high[a] = std::max(high[a], at[a]);
            }
        }
        std::multiset<int> expected;
        for (int face : converted.sourceFace)
            if (leaf == 0 ? face < 2 : face == 2) expected.insert(face);
        EXPECT_EQ(faces, expected);
        EXPECT_EQ(std::vector<float>(source.min, source.min + 3), std::vector<float>(low, low + 3));
        EXPECT_EQ(std::vector<float>(source.max, source.max + 3),
                  std::vector<float>(high, high + 3));
    }
    EXPECT_EQ(vis.leaves[2].cluster, -1);
    const float* box[] = {vis.leaves[2].min, vis.leaves[2].max};
    EXPECT_EQ(
        std::vector<float>({box[0][0], box[0][1], box[0][2], box[1][0], box[1][1], box[1][2]}),
        (std::vector<float>{1 / 8.f, 3 / 8.f, 2 / 8.f, 4 / 8.f, 6 / 8.f, 5 / 8.f}));
    EXPECT_EQ(vis.numClusters, 2);
    EXPECT_EQ(vis.clusterSets, (std::vector<uint8_t>{0x1, 0x3}));
    LevelScratch scratch;
    LogCapture log;
    EXPECT_TRUE(WorldFile(scratch.write(level)).hasVisibility) << log.text();

    // The first sound player start: the eye 26 above it, level yaw 90 (+y)
    // looking along the viewer's +z.
    ASSERT_EQ(converted.spawnPoints.size(), 2u);
    const std::array<float, 6> placement = PlacementAt(converted.spawnPoints[0]);
    EXPECT_EQ(std::vector<float>(placement.begin(), placement.end()),
              (std::vector<float>{64, 50, -128, 0, 0, 0}));
    EXPECT_EQ(converted.spawnPoints[1].origin[2], 3);

    options.visibility = false;
    options.keepSky = true;
    const ConvertedLevel withSky = ConvertLevel(bsp, options);
    EXPECT_FALSE(withSky.level.visibility);
    EXPECT_EQ(std::count(withSky.sourceFace.begin(), withSky.sourceFace.end(), 4), 1);
    for (auto [patchLevel, overbright] : {std::pair{0, 0}, {33, 0}, {4, 3}, {4, -1}}) {
        options.patchLevel = patchLevel, options.overbrightShift = overbright;
        EXPECT_THROW(ConvertLevel(bsp, options), BspError) << patchLevel << " " << overbright;
    }
}

// --- damaged levels -----------------------------------------------------------

size_t LumpAt(const Bytes& b, LumpIndex lump) { return size_t(Get(b, 8 + 8 * size_t(lump))); }
size_t FaceField(const Bytes& b, size_t face, size_t field) {
    return LumpAt(b, kFaces) + face * kFaceRecordSize + 4 * field;
}
struct Damage {
    const char* what;
    std::function<void(Bytes&)> apply;
    const char* message;  // part of it
    bool treeOnly = false;  // the level is read without its tree
};

TEST(BspFile, DamagedLevelsAreRefusedOrReadWithoutTheirTree) {
    const Damage damages[] = {
        {"wrong magic", [](Bytes& b) { b[0] = 'V'; }, "header: magic is not \"IBSP\"", false},
        {"wrong version", [](Bytes& b) { Set(b, 4, 47); }, "version 47 is not supported", false},
        {"shorter than the header", [](Bytes& b) { b.resize(kHeaderSize - 1); },
         "header: file is 143 bytes, shorter than the 144-byte header", false},
        {"faces past the end", [](Bytes& b) { Set(b, 8 + 8 * kFaces, int32_t(b.size()) - 103); },
         "lump 'faces': offset", false},
        {"negative vertex lump length", [](Bytes& b) { Set(b, 12 + 8 * kVertices, -44); },
         "lump 'vertices'", false},
        {"vertex lump not whole records", [](Bytes& b) { Set(b, 12 + 8 * kVertices, 45); },
         "length 45 is not a multiple of its record size 44", false},
        {"cut inside the last lump", [](Bytes& b) { b.pop_back(); }, "lies outside the file",
         false},
        {"texture out of range", [](Bytes& b) { Set(b, FaceField(b, 0, 0), 3); },
         "face 0 uses texture 3 of 3", false},
        {"negative texture", [](Bytes& b) { Set(b, FaceField(b, 0, 0), -1); }, "uses texture -1",
         false},
        {"lightmap out of range", [](Bytes& b) { Set(b, FaceField(b, 0, 7), 1); },
         "face 0 uses lightmap 1 of 1", false},
        {"vertex run one past the end", [](Bytes& b) { Set(b, FaceField(b, 6, 4), 4); },
         "face 6 vertices 31 + 4 lie outside the vertex lump (34)", false},
        {"negative first vertex", [](Bytes& b) { Set(b, FaceField(b, 0, 3), -1); }, "vertex lump",
         false},
        {"mesh run one past the end", [](Bytes& b) { Set(b, FaceField(b, 6, 5), 31); },
         "face 6 mesh vertices 31 + 3 lie outside the mesh vertex lump (33)", false},
        {"mesh not whole triangles", [](Bytes& b) { Set(b, FaceField(b, 0, 6), 5); },
         "5 mesh vertices, not a whole number of triangles", false},
        {"mesh vertex past the face", [](Bytes& b) { Set(b, LumpAt(b, kMeshVertices) + 4, 4); },
         "face 0 mesh vertex 1 is 4, outside the face's 4 vertices", false},
        {"negative mesh vertex", [](Bytes& b) { Set(b, LumpAt(b, kMeshVertices), -1); },
         "lump 'mesh vertices'", false},
        {"even patch width", [](Bytes& b) { Set(b, FaceField(b, 3, 24), 2); },
         "both must be odd and at least 3", false},
        {"patch narrower than 3", [](Bytes& b) { Set(b, FaceField(b, 3, 25), 1); }, "odd", false},
        {"patch size not the vertex count", [](Bytes& b) { Set(b, FaceField(b, 3, 24), 5); },
         "has size 5 x 3 but 9 control vertices", false},
        {"patch of the game's largest size", [](Bytes& b) { Set(b, FaceField(b, 3, 24), 65); },
         "has size 65 x 3 but 9 control vertices", false},
        {"patch larger than the game's",
         [](Bytes& b) { Set(b, FaceField(b, 3, 24), 67), Set(b, FaceField(b, 3, 25), 3); },
         "(at most 65 each)", false},
        {"unknown face type", [](Bytes& b) { Set(b, FaceField(b, 0, 2), 5); }, "unknown type 5",
         false},
        // A damaged tree: the level is converted without visibility.
        {"node plane out of range", [](Bytes& b) { Set(b, LumpAt(b, kNodes), 1); },
         "lump 'nodes': node 0 uses plane 1 of 1", true},
        {"node child past the leaves", [](Bytes& b) { Set(b, LumpAt(b, kNodes) + 8, -4); },
         "node 0 has child -4 outside the tree", true},
        {"node child past the nodes", [](Bytes& b) { Set(b, LumpAt(b, kNodes) + 4, 1); },
         "node 0 has child 1 outside the tree", true},
        {"leaf cluster out of range", [](Bytes& b) { Set(b, LumpAt(b, kLeafs) + 48, 2); },
         "lump 'leafs': leaf 1 is in cluster 2 of 2", true},
        {"leaf faces past the list", [](Bytes& b) { Set(b, LumpAt(b, kLeafs) + 84, 3); },
         "leaf 1 faces 2 + 3 lie outside the leaf face lump", true},
        {"leaf face past the faces", [](Bytes& b) { Set(b, LumpAt(b, kLeafFaces) + 12, 7); },
         "lump 'leaf faces': entry 3 is face 7 of 7", true},
        {"model faces past the faces", [](Bytes& b) { Set(b, LumpAt(b, kModels) + 28, 8); },
         "the level's faces 0 + 8 lie outside the face lump (7)", true},
        {"visibility data without header", [](Bytes& b) { Set(b, 12 + 8 * kVisData, 7); },
         "7 bytes, no header", true},
        {"visible sets past the lump", [](Bytes& b) { Set(b, LumpAt(b, kVisData), 3); },
         "3 clusters of 1 bytes do not fit its 10 bytes", true},
        {"visible sets too short for the clusters",
         [](Bytes& b) { Set(b, LumpAt(b, kVisData) + 4, 0); }, "2 clusters of 0 bytes", true},
    };
    const Bytes good = Sample().encode();
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        Bytes bytes = good;
        damage.apply(bytes);
        try {
            const BspFile bsp(bytes);
            EXPECT_TRUE(damage.treeOnly);
            EXPECT_NE(bsp.tree.problem.find(damage.message), std::string::npos) << bsp.tree.problem;
            const ConvertedLevel converted = ConvertLevel(bsp);
            EXPECT_FALSE(converted.level.visibility);
            EXPECT_EQ(converted.treeProblem, bsp.tree.problem);
            EXPECT_EQ(converted.level.polygons.size(),
                      ConvertLevel(BspFile(good)).level.polygons.size());
        } catch (const BspError& error) {
            EXPECT_FALSE(damage.treeOnly);
            EXPECT_NE(std::string(error.what()).find(damage.message), std::string::npos)
                << error.what();
        }
    }
}

// --- archives -----------------------------------------------------------------

// A zip archive, made by libzip.
Bytes Zip(const std::vector<std::pair<std::string, Bytes>>& entries, bool deflated) {
    zip_error_t error;
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(memory);
    zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, &error);
    for (const auto& [name, data] : entries) {
        zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, 0);
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    EXPECT_EQ(zip_close(archive), 0);
    zip_source_open(memory);
    zip_source_seek(memory, 0, SEEK_END);
    Bytes bytes(size_t(zip_source_tell(memory)));
    zip_source_seek(memory, 0, SEEK_SET);
    zip_source_read(memory, bytes.data(), bytes.size());
    zip_source_close(memory);
    zip_source_free(memory);
    return bytes;
}
size_t EndRecord(const Bytes& zip) { return zip.size() - 22; }
size_t Central(const Bytes& zip) { return size_t(Get(zip, EndRecord(zip) + 16)); }

TEST(Pk3Archive, ListsAndExtractsItsLevelsOrNamesTheDamage) {
    const Bytes level = Sample().encode();
    for (bool deflated : {false, true}) {
        const Pk3Archive archive(
            Zip({{"scripts/a.shader", {'x'}}, {"maps/small.bsp", level}}, deflated));
        EXPECT_EQ(archive.names(),
                  (std::vector<std::string>{"scripts/a.shader", "maps/small.bsp"}));
        EXPECT_EQ(archive.mapNames(), std::vector<std::string>{"maps/small.bsp"});
        EXPECT_EQ(archive.extract("maps/small.bsp"), level);
        EXPECT_THROW(archive.extract("maps/other.bsp"), BspError);
    }
    const Damage damages[] = {
        {"no end record", [](Bytes& z) { z[EndRecord(z)] = 0; }, "Not a zip archive"},
        {"shorter than an end record", [](Bytes& z) { z.resize(10); }, "Not a zip archive"},
        {"directory past the end", [](Bytes& z) { Set(z, EndRecord(z) + 16, int32_t(z.size())); },
         "inconsistent"},
        {"directory entry signature", [](Bytes& z) { z[Central(z)] = 0; }, "Not a zip archive"},
        {"more entries than the directory holds",
         [](Bytes& z) { z[EndRecord(z) + 8] = 5, z[EndRecord(z) + 10] = 5; }, "inconsistent"},
        {"local header past the end", [](Bytes& z) { Set(z, Central(z) + 42, int32_t(z.size())); },
         "Not a zip archive"},
        {"compressed size past the end",
         [](Bytes& z) { Set(z, Central(z) + 20, int32_t(z.size())); }, "Not a zip archive"},
        {"local header unlike the directory", [](Bytes& z) { Set(z, Central(z) + 24, 1000); },
         "inconsistent"},
        {"entry too large",
         [](Bytes& z) { Set(z, 22, 0x7fffffff), Set(z, Central(z) + 24, 0x7fffffff); },
         "entry 'maps/small.bsp' is too large"},
        {"damaged compressed data",
         [](Bytes& z) {
             for (size_t i = 60; i < 200; ++i) z[i] ^= 0x5a;
         },
         "entry 'maps/small.bsp' is damaged (libzip: "},
        {"recorded size too small",
         [](Bytes& z) { Set(z, 22, 1000), Set(z, Central(z) + 24, 1000); }, "is damaged (it holds"},
        {"unknown compression", [](Bytes& z) { z[8] = 14, z[Central(z) + 10] = 14; },
         "Compression method not supported"},
    };
    const Bytes good = Zip({{"maps/small.bsp", level}}, true);
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        Bytes bytes = good;
        damage.apply(bytes);
        try {
            Pk3Archive(bytes).extract("maps/small.bsp");
            ADD_FAILURE() << "accepted";
        } catch (const BspError& error) {
            EXPECT_NE(std::string(error.what()).find(damage.message), std::string::npos)
                << error.what();
        }
    }
}

// --- the OpenArena levels and the tool ----------------------------------------

TEST(OpenArenaLevels, EveryShippedLevelConvertsAndKeepsItsFaces) {
    const std::string packs = "/usr/share/games/openarena/baseoa/";
    if (!std::ifstream(packs + "pak1-maps.pk3") || !std::ifstream(packs + "pak6-patch088.pk3"))
        GTEST_SKIP() << "install the Debian packages openarena-081-maps and openarena-088-data";
    const std::set<std::string> covered = {"maps/oa_dm1.bsp", "maps/oa_dm5.bsp", "maps/oa_thor.bsp",
                                           "maps/aggressor.bsp", "maps/oasago2.bsp"};
    size_t levels = 0, faces = 0;
    for (const char* pack : {"pak1-maps.pk3", "pak6-patch088.pk3"}) {
        const Pk3Archive archive(ReadWholeFile(packs + pack));
        for (const std::string& name : archive.mapNames()) {
            SCOPED_TRACE(name);
            const BspFile bsp(archive.extract(name));
            const ConvertedLevel converted = ConvertLevel(bsp);
            EXPECT_GT(converted.level.polygons.size(), 100u);
            EXPECT_TRUE(converted.level.visibility) << converted.treeProblem;
            if (covered.count(name)) faces += ExpectSameCover(bsp, converted);
            ++levels;
        }
    }
    EXPECT_GE(levels, 85u);
    EXPECT_GT(faces, 10000u);
}

TEST(Bsp2geomTool, ConvertsALevelInsideAnArchiveOrRefusesItsArguments) {
    ScratchDir dir;
    const Bytes zip = Zip({{"maps/small.bsp", Sample().encode()}}, true);
    std::ofstream("level.pk3", std::ios::binary)
        .write(reinterpret_cast<const char*>(zip.data()), long(zip.size()));
    const std::string tool = tundra_test::ToolPath("bsp2geom");
    std::string output;
    ASSERT_EQ(
        tundra_test::RunTool(
            tool + " --position data/posFile.pos level.pk3 maps/small.bsp data/world.geom", output),
        0)
        << output;
    EXPECT_NE(output.find("visibility: 3 leaves, 2 clusters"), std::string::npos) << output;
    EXPECT_EQ(dir.read("data/posFile.pos"), "64 50 -128 0 0 0 ");
    LogCapture log;
    const WorldFile file("world.geom");
    EXPECT_TRUE(file.hasVisibility);
    EXPECT_EQ(size_t(file.numPolygons),
              ConvertLevel(BspFile(Sample().encode())).level.polygons.size());
    for (const char* arguments :
         {"", "--patch-level x a b", "--patch-level 0 level.pk3 maps/small.bsp x.geom",
          "--bogus a b", "a b c d", "nothere.bsp out.geom", "level.pk3 maps/other.bsp out.geom",
          "--position", "--list", "level.pk3 maps/small.bsp /nonexistent/x.geom"}) {
        EXPECT_EQ(tundra_test::RunTool(tool + " " + arguments, output), 1) << arguments;
        EXPECT_EQ(output.rfind("bsp2geom: ", 0), 0u) << output;
    }
    EXPECT_EQ(tundra_test::RunTool(tool + " --list level.pk3", output), 0);
    EXPECT_EQ(output, "maps/small.bsp\n");
}

}  // namespace
