// The id Tech 3 level converter: what a converted level holds, damaged levels and archives.
#include "bsp_file.h"
#include "fan_builder.h"
#include "level_converter.h"
#include "pk3_archive.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <tuple>

using namespace bsp;

namespace {

using Bytes = std::vector<uint8_t>;
void Set(Bytes& bytes, size_t at, int32_t value) { std::memcpy(&bytes[at], &value, 4); }
size_t Get(const Bytes& bytes, size_t at) {
    int32_t value = 0;
    std::memcpy(&value, &bytes[at], 4);  // zip records lie at any offset
    return size_t(value);
}
using Point = std::array<float, 4>;  // x y u v

// A level, lump by lump. Every vertex has the normal +z and z = 8, the
// middle column of a patch z = 24; triangles run clockwise seen from +z.
struct Level {
    Bytes lumps[kLumpCount];
    int32_t vertices = 0, meshVertices = 0;

    template <typename... Values>  // 4 bytes each
    void put(LumpIndex lump, Values... values) {
        (lumps[lump].insert(lumps[lump].end(), (uint8_t*)&values, (uint8_t*)&values + 4), ...);
    }
    void texture(const char* name, int32_t flags) {
        lumps[kTextures].resize(lumps[kTextures].size() + 64);
        std::strcpy(reinterpret_cast<char*>(&lumps[kTextures].end()[-64]), name);
        put(kTextures, flags, 1);
    }
    void face(int32_t type, int32_t texture, int32_t lightmap, const std::vector<Point>& points,
              const std::vector<int32_t>& mesh, int32_t patchSize = 0) {
        put(kFaces, texture, -1, type, vertices, int32_t(points.size()), meshVertices,
            int32_t(mesh.size()), lightmap);
        lumps[kFaces].resize(lumps[kFaces].size() + 64);
        put(kFaces, patchSize, patchSize);
        for (size_t k = 0; k < points.size(); ++k)
            put(kVertices, points[k][0], points[k][1], patchSize && k % 3 == 1 ? 24.f : 8.f,
                points[k][2], points[k][3], 0.f, 0.f, 0.f, 0.f, 1.f, -1);
        for (int32_t m : mesh) put(kMeshVertices, m);
        vertices += int32_t(points.size());
        meshVertices += int32_t(mesh.size());
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

// Faces: 0 a square as a strip, 1 an L without lightmap, 2 a mesh, 3 a patch,
// 4 sky, 5 a billboard, 6 unusable surface coordinates. Leaf 0 (cluster 0)
// holds 0 and 1, leaf 1 (cluster 1) 2 and 3, but 3 is outside model 0 (it
// moves); leaf 2 is outside the level. Cluster 0 sees itself, 1 both.
Level Sample() {
    Level level;
    level.texture("textures/base/wall", 0);
    level.texture("textures/base/floor", 0);
    level.texture("textures/skies/sky", kSurfaceSky);
    level.face(kFacePolygon, 1, 0, Square(0, 0, 64), {0, 1, 2, 2, 1, 3});
    std::vector<Point> l;  // concave at (1, 1)
    for (auto [x, y] : {std::pair{0, 0}, {0, 2}, {1, 2}, {1, 1}, {2, 1}, {2, 0}})
        l.push_back({x * 32.f + 100, y * 32.f, float(x), float(y)});
    l[0][1] = -8;  // the one corner on that side of leaf 0's box
    level.face(kFacePolygon, 0, -1, l, {0, 1, 2, 0, 2, 3, 0, 3, 5, 3, 4, 5});
    std::vector<Point> mesh = Square(0, 100, 16, 1000.25f);  // and a vertex in its middle
    mesh.push_back({8, 108, 8.f / 64, 1000.25f + 108.f / 64});
    level.face(kFaceMesh, 1, 0, mesh, {4, 0, 1, 4, 1, 3, 4, 3, 2, 4, 2, 0});
    std::vector<Point> patch;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) patch.push_back({i * 32.f, j * 32.f + 200, float(i), float(j)});
    level.face(kFacePatch, 0, 0, patch, {}, 3);
    level.face(kFacePolygon, 2, -1, Square(0, 0, 512), {0, 1, 2, 2, 1, 3});
    level.face(kFaceBillboard, 0, 0, Square(0, 0, 1), {});
    level.face(kFacePolygon, 0, 0, {{0, 0, -3e9f, 0}, {0, 64, -3e9f, 1}, {64, 0, -3e9f, 0}},
               {0, 1, 2});
    level.lumps[kLightmaps].assign(kLightmapBytes, 60);
    level.lumps[kLightmaps][0] = 200, level.lumps[kLightmaps][1] = 100;
    level.put(kPlanes, 1.f, 0.f, 0.f, 50.f);
    level.put(kNodes, 0, -1, -2, 0, 0, 0, 0, 0, 0);
    level.put(kLeafs, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0, 0);
    level.put(kLeafs, -1, 0, 1, 2, 3, 4, 5, 6, 4, 0, 0, 0);
    level.put(kLeafFaces, 0, 1, 2, 3);
    level.put(kModels, 0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 0, 3, 0, 0);
    level.put(kVisData, 2, 1, 0x0301);
    level.lumps[kVisData].resize(10);
    const char* entities =
        R"({"classname" "worldspawn" "message" "{tricky}"}{"origin" "broken" "classname" )"
        R"("info_player_deathmatch"}{"classname" "weapon_shotgun" "origin" "5 5 5"}{"origin" )"
        R"("64 -128 24" "angle" "90" "classname" "info_player_start"}{"classname" "origin)";
    level.lumps[kEntities].assign(entities, entities + std::strlen(entities) + 1);
    return level;
}

TEST(Bsp2geom, ConvertsFacesTexturesLightmapsAndTheTree) {
    const BspFile bsp(Sample().encode());
    ConvertOptions options;
    options.overbrightShift = 1;
    options.patchLevel = 3;  // 3 x 3 cells: a row and a column left over from the 2 x 2 fans
    const ConvertedLevel converted = ConvertLevel(bsp, options);
    const tundra_formats::GeomLevel& level = converted.level;
    // Per face: the polygons made, the doubled area vector and the area they cover.
    std::map<int, std::tuple<int, Vec3, double>> made;
    std::vector<int> order;
    std::set<std::pair<float, float>> planned;  // face 6's corners
    std::map<int, int> corners;                 // per face, in all its polygons
    for (size_t p = 0; p < level.polygons.size(); ++p) {
        const int face = converted.sourceFace[p];
        if (order.empty() || order.back() != face) order.push_back(face);
        std::vector<Vec3> points;
        for (int32_t k = 0; k < level.polygons[p].vertexCount; ++k) {
            const auto& v = level.vertices[size_t(level.polygons[p].firstVertex + k)];
            points.push_back({v.x * 8.0, v.z * 8.0, v.y * 8.0});
            // Surface coordinates moved by whole repeats (the mesh's by 1001),
            // or planned from the positions when unusable.
            EXPECT_TRUE(v.surfaceU >= 0 && v.surfaceU <= 2 && v.surfaceV >= 0 && v.surfaceV <= 2);
            EXPECT_TRUE(face != 2 ||
                        std::fabs(v.surfaceV - (v.z * 8 - 100) / 64 - 0.8125f) < 1e-6f);
            if (face == 6) planned.insert({v.surfaceU, v.surfaceV});
        }
        corners[face] += level.polygons[p].vertexCount;
        Fan fan(points.size());
        std::iota(fan.begin(), fan.end(), 0);
        auto& [count, vector, area] = made[face];
        ++count, vector = vector + AreaVector(points, FanTriangles(fan));
        area += TotalArea(points, FanTriangles(fan));
        EXPECT_EQ(level.polygons[p].lightmapIndex, face == 1 ? 1 : 0);
        EXPECT_EQ(level.polygons[p].textureIndex, bsp.faces[size_t(face)].texture);
    }
    // Sky and billboard left out; grouped by lightmap, then texture; the
    // square stored as a strip is one fan, the concave L two.
    EXPECT_EQ(order, (std::vector<int>{3, 6, 0, 2, 1}));
    EXPECT_EQ(planned.size(), 3u);  // three corners, three places
    EXPECT_EQ(corners[2], 6);  // the mesh's triangles as one fan round its middle, not its outline
    EXPECT_EQ(std::pair(std::get<0>(made[0]), std::get<0>(made[1])), std::pair(1, 2));
    // Each covers the area of its stored triangles, facing the same way (-z);
    // the patch, 64 x 64 across and bulging, more than its shadow.
    const std::pair<int, double> doubledArea[] = {
        {0, 8192}, {1, 6656}, {2, 512}, {6, 4096}, {3, 8192}};
    for (const auto& [face, doubled] : doubledArea) {
        EXPECT_NEAR(std::get<1>(made[face]).z, -doubled, 1e-2) << face;
        EXPECT_NEAR(std::get<2>(made[face]), doubled, face == 3 ? 3000 : 1e-3) << face;
    }

    // Polygons 0, 1 and 6 (0 and 6 one fan each), the mesh and the patch; sky and billboard
    // skipped. Face 6's coordinates are planned; they and the mesh's are moved to start in 0 .. 1
    // (the planned v runs against the level's y, below 0).
    const ConvertStats& s = converted.stats;
    EXPECT_EQ((std::vector<size_t>{s.polygonFaces, s.singleFanFaces, s.meshFaces, s.patchFaces,
                                   s.skippedFaces, s.rebasedFaces, s.replannedFaces}),
              (std::vector<size_t>{3, 2, 1, 1, 2, 2, 1}));

    // The level's page brightened (200 100 60 clipped keeping its hue); a
    // neutral page added for the faces without one.
    ASSERT_EQ(level.lightmaps.size(), 2u);
    EXPECT_EQ(Bytes(level.lightmaps[0].rgb.begin(), level.lightmaps[0].rgb.begin() + 6),
              (Bytes{255, 127, 76, 120, 120, 120}));
    const auto& neutral = level.lightmaps[1].rgb;
    EXPECT_TRUE(std::all_of(neutral.begin(), neutral.end(), [](uint8_t b) { return b == 128; }));

    // The tree in the viewer's space, (x, z, y) / 8; leaf boxes around their
    // polygons (moving parts left out), or their own when they hold none.
    ASSERT_TRUE(level.visibility);
    const tundra_formats::GeomVisibility& vis = *level.visibility;
    std::ostringstream tree;
    for (const auto& p : vis.planes)
        tree << "plane " << p.normal[0] << " " << p.normal[1] << " " << p.normal[2] << " "
             << p.distance << "; ";
    for (const auto& n : vis.nodes)
        tree << "node " << n.plane << " " << n.front << " " << n.back << "; ";
    for (const auto& leaf : vis.leaves) {
        std::multiset<int> faces;
        for (int32_t k = 0; k < leaf.polygonCount; ++k)
            faces.insert(
                converted.sourceFace[size_t(vis.leafPolygons[size_t(leaf.firstPolygon + k)])]);
        tree << "leaf " << leaf.cluster << ":";
        for (int face : faces) tree << " " << face;
        for (float value : leaf.min) tree << " " << value;
        for (float value : leaf.max) tree << " " << value;
        tree << "; ";
    }
    tree << vis.numClusters << " x " << vis.bytesPerCluster << ":";
    for (int row : vis.clusterSets) tree << " " << row;
    EXPECT_EQ(tree.str(),
              "plane 1 0 0 6.25; node 0 -1 -2; leaf 0: 0 1 1 0 1 -1 20.5 1 8; "
              "leaf 1: 2 0 1 12.5 2 1 14.5; leaf -1: 0.125 0.375 0.25 0.5 0.75 0.625; "
              "2 x 1: 1 3");
    // The one sound player start: the eye 26 above it, its yaw 90 (+y) along the viewer's +z.
    ASSERT_EQ(converted.spawnPoints.size(), 1u);
    EXPECT_EQ(PlacementAt(converted.spawnPoints[0]), (std::array<float, 6>{64, 50, -128, 0, 0, 0}));
    options.overbrightShift = 3;  // brightening by 8 is refused, not converted
    EXPECT_THROW(ConvertLevel(bsp, options), BspError);
}

// A zip archive of the level and a shader, made by libzip.
Bytes Zip(const Bytes& level, bool deflated) {
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, nullptr);
    zip_source_keep(memory);
    zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, nullptr);
    zip_file_add(archive, "maps/small.bsp",
                 zip_source_buffer(archive, level.data(), level.size(), 0), 0);
    zip_file_add(archive, "scripts/a.shader", zip_source_buffer(archive, "x", 1, 0), 0);
    zip_set_file_compression(archive, 0, deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    zip_close(archive);
    zip_source_open(memory);
    zip_source_seek(memory, 0, SEEK_END);
    Bytes bytes(size_t(zip_source_tell(memory)));
    zip_source_seek(memory, 0, SEEK_SET);
    zip_source_read(memory, bytes.data(), bytes.size());
    zip_source_free(memory);
    return bytes;
}

// Offsets of a lump, of a face's field, of an archive's first directory entry.
size_t At(const Bytes& b, LumpIndex lump) { return Get(b, 8 + 8 * size_t(lump)); }
size_t Field(const Bytes& b, size_t face, size_t field) {
    return At(b, kFaces) + face * kFaceRecordSize + 4 * field;
}
size_t Central(const Bytes& zip) { return Get(zip, zip.size() - 6); }
enum Kind { kRefused, kZip, kNoTree, kWhole };  // refused before kNoTree

TEST(Bsp2geom, DamagedLevelsAndArchivesAreRefusedOrConvertedWithoutTheirTree) {
    const struct {
        std::function<void(Bytes&)> apply;
        const char* message;  // part of it
        Kind kind = kRefused;
    } damages[] = {
        {[](Bytes& b) { b[0] = 'V'; }, "header: magic is not \"IBSP\""},
        {[](Bytes& b) { Set(b, 4, 47); }, "version 47 is not supported"},
        {[](Bytes& b) { b.pop_back(); }, "lies outside the file"},
        {[](Bytes& b) { Set(b, 12, int32_t(b.size())); }, "lump 'entities': offset 144 + length"},
        {[](Bytes& b) { Set(b, 12 + 8 * kVertices, 45); }, "45 is not a multiple"},
        {[](Bytes& b) { Set(b, Field(b, 0, 0), 3); }, "texture 3 of 3"},
        {[](Bytes& b) { Set(b, Field(b, 0, 7), 1); }, "lightmap 1 of 1"},
        {[](Bytes& b) { Set(b, Field(b, 6, 4), 4); }, "32 + 4 lie out"},
        {[](Bytes& b) { Set(b, Field(b, 0, 3), -1); }, "-1 + 4 lie out"},
        {[](Bytes& b) { Set(b, Field(b, 6, 5), 37); }, "37 + 3 lie outsi"},
        {[](Bytes& b) { Set(b, Field(b, 0, 6), 5); }, "not a whole num"},
        {[](Bytes& b) { Set(b, At(b, kMeshVertices) + 4, 4); }, "1 is 4, out"},
        {[](Bytes& b) { Set(b, At(b, kMeshVertices), -1); }, "0 is -1"},
        {[](Bytes& b) { Set(b, Field(b, 3, 24), 2); }, "2 x 3 (both must be odd"},
        {[](Bytes& b) { Set(b, Field(b, 3, 24), 65); }, "65 x 3 but 9 control"},
        {[](Bytes& b) { Set(b, Field(b, 3, 24), 67); }, "(at most 65 each)"},
        {[](Bytes& b) { Set(b, Field(b, 0, 2), 5); }, "face 0 has unknown type 5"},
        {[](Bytes& b) { Set(b, At(b, kNodes), 1); }, "uses plane 1 of 1", kNoTree},
        {[](Bytes& b) { Set(b, At(b, kLeafs) + 48, 2); }, "cluster 2 of", kNoTree},
        {[](Bytes& b) { Set(b, At(b, kVisData), 3); }, "3 clusters of 1", kNoTree},
        // Leaves keep their clusters; with no sets every cluster sees every other.
        {[](Bytes& b) { Set(b, 12 + 8 * kVisData, 0); }, "", kWhole},
        {[](Bytes& z) { z[z.size() - 22] = 0; }, "not a zip archive", kZip},
        {[](Bytes& z) { Set(z, 22, 1 << 30), Set(z, Central(z) + 24, 1 << 30); },
         "entry 'maps/small.bsp' is too large (1073741824 bytes", kZip},
        {[](Bytes& z) { z[80] ^= 0xFF, z[90] ^= 0xFF; }, "is damaged (libzip", kZip},
        {[](Bytes& z) { Set(z, 22, 1000), Set(z, Central(z) + 24, 1000); },
         "entry 'maps/small.bsp' is damaged (it holds more than its 1000 bytes)", kZip},
        {[](Bytes& z) { z[30] = 'B', z[Central(z) + 46] = 'B'; }, "no entry", kZip},
    };
    const Bytes good = Sample().encode();
    const size_t polygons = ConvertLevel(BspFile(good)).level.polygons.size();
    EXPECT_EQ(Pk3Archive(Zip(good, false)).extract("maps/small.bsp"), good);
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.message);
        Bytes bytes = damage.kind == kZip ? Zip(good, true) : good;
        damage.apply(bytes);
        std::string problem;
        try {
            if (damage.kind == kZip) bytes = Pk3Archive(bytes).extract("maps/small.bsp");
            const ConvertedLevel converted = ConvertLevel(BspFile(bytes));
            EXPECT_GE(damage.kind, kNoTree);
            problem = converted.treeProblem;
            EXPECT_EQ(converted.level.visibility.has_value(), damage.kind == kWhole);
            EXPECT_EQ(converted.level.polygons.size(), polygons);
        } catch (const BspError& error) {
            EXPECT_LT(damage.kind, kNoTree);
            problem = error.what();
        }
        EXPECT_NE(problem.find(damage.message), std::string::npos) << problem;
    }
}

}  // namespace
