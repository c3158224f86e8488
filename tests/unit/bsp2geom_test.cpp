// The id Tech 3 level converter: fan building, patch tessellation, the
// converted level's layout, rejection of damaged levels and archives, and
// every real level shipped in the OpenArena packages.
#include "bsp_file.h"
#include "fan_builder.h"
#include "level_converter.h"
#include "pk3_archive.h"
#include "support/tool_runner.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>

using namespace bsp;

namespace {

// --- a small level, built byte by byte ------------------------------------------

void PutInt(std::vector<uint8_t>& out, int32_t value) {
    for (int k = 0; k < 4; ++k) out.push_back(uint8_t(uint32_t(value) >> (8 * k)));
}
void PutFloat(std::vector<uint8_t>& out, float value) {
    int32_t bits;
    std::memcpy(&bits, &value, 4);
    PutInt(out, bits);
}
void SetInt(std::vector<uint8_t>& bytes, size_t at, int32_t value) {
    for (int k = 0; k < 4; ++k) bytes[at + size_t(k)] = uint8_t(uint32_t(value) >> (8 * k));
}
int32_t GetInt(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= uint32_t(bytes[at + size_t(k)]) << (8 * k);
    return int32_t(v);
}

struct TestVertex {
    float x, y, z, u, v;
};

struct TestLevel {
    struct TestFace {
        int32_t texture, type, firstVertex, vertexCount, firstMesh, meshCount, lightmap;
        int32_t width = 0, height = 0;
    };
    std::vector<std::pair<std::string, int32_t>> textures;  // name, surface flags
    std::vector<TestVertex> vertices;
    std::vector<int32_t> mesh;
    std::vector<TestFace> faces;
    int lightmaps = 1;

    // Adds a face made of the given vertices and triangles (offsets into them).
    void addTriangles(int32_t type, int32_t texture, int32_t lightmap,
                      const std::vector<TestVertex>& points,
                      const std::vector<int32_t>& triangles) {
        faces.push_back({texture, type, int32_t(vertices.size()), int32_t(points.size()),
                         int32_t(mesh.size()), int32_t(triangles.size()), lightmap});
        vertices.insert(vertices.end(), points.begin(), points.end());
        mesh.insert(mesh.end(), triangles.begin(), triangles.end());
    }
    void addPatch(int32_t texture, int32_t lightmap, int32_t width, int32_t height,
                  const std::vector<TestVertex>& points) {
        faces.push_back({texture, kFacePatch, int32_t(vertices.size()), int32_t(points.size()), 0,
                         0, lightmap, width, height});
        vertices.insert(vertices.end(), points.begin(), points.end());
    }

    std::vector<uint8_t> encode() const {
        std::vector<std::vector<uint8_t>> lumps(kLumpCount);
        for (const auto& [name, flags] : textures) {
            std::vector<uint8_t>& out = lumps[kTextures];
            size_t at = out.size();
            out.resize(at + 64);
            std::memcpy(&out[at], name.data(), std::min<size_t>(name.size(), 63));
            PutInt(out, flags);
            PutInt(out, 1);
        }
        for (const TestVertex& v : vertices) {
            // Normal +z: the triangles below run clockwise seen from above.
            for (float f : {v.x, v.y, v.z, v.u, v.v, v.u * 0.5f, v.v * 0.5f, 0.f, 0.f, 1.f})
                PutFloat(lumps[kVertices], f);
            PutInt(lumps[kVertices], -1);
        }
        for (int32_t m : mesh) PutInt(lumps[kMeshVertices], m);
        for (const TestFace& f : faces) {
            std::vector<uint8_t>& out = lumps[kFaces];
            for (int32_t value : {f.texture, -1, f.type, f.firstVertex, f.vertexCount, f.firstMesh,
                                  f.meshCount, f.lightmap})
                PutInt(out, value);
            out.resize(out.size() + 96 - 32);  // up to the patch size
            PutInt(out, f.width);
            PutInt(out, f.height);
        }
        lumps[kLightmaps].assign(size_t(lightmaps) * kLightmapBytes, 60);
        lumps[kEntities] = {'{', '}', 0};
        std::vector<uint8_t> bytes = {'I', 'B', 'S', 'P'};
        PutInt(bytes, 46);
        bytes.resize(kHeaderSize);
        for (int i = 0; i < kLumpCount; ++i) {
            SetInt(bytes, 8 + 8 * size_t(i), int32_t(bytes.size()));
            SetInt(bytes, 12 + 8 * size_t(i), int32_t(lumps[size_t(i)].size()));
            bytes.insert(bytes.end(), lumps[size_t(i)].begin(), lumps[size_t(i)].end());
        }
        return bytes;
    }
};

// Clockwise seen from +z (the side the normals point to), as the game stores them.
std::vector<TestVertex> Square(float x, float y, float side) {
    return {{x, y, 0, x / 64, y / 64},
            {x, y + side, 0, x / 64, (y + side) / 64},
            {x + side, y, 0, (x + side) / 64, y / 64},
            {x + side, y + side, 0, (x + side) / 64, (y + side) / 64}};
}

// The level used by most tests: a square stored in strip order (texture 1,
// lightmap 0), an L-shaped polygon (texture 0, no lightmap), a mesh, a patch,
// a sky face and a billboard.
TestLevel SampleLevel() {
    TestLevel level;
    level.textures = {
        {"textures/base/wall", 0}, {"textures/base/floor", 0}, {"textures/skies/sky", kSurfaceSky}};
    level.addTriangles(kFacePolygon, 1, 0, Square(0, 0, 64), {0, 1, 2, 2, 1, 3});
    // L shape: (0,0) (0,2) (1,2) (1,1) (2,1) (2,0), scaled by 32; concave at (1,1).
    std::vector<TestVertex> l;
    for (auto [x, y] :
         std::vector<std::pair<float, float>>{{0, 0}, {0, 2}, {1, 2}, {1, 1}, {2, 1}, {2, 0}})
        l.push_back({x * 32 + 100, y * 32, 8, x, y});
    level.addTriangles(kFacePolygon, 0, -1, l, {0, 1, 2, 0, 2, 3, 0, 3, 5, 3, 4, 5});
    level.addTriangles(kFaceMesh, 1, 0, Square(0, 100, 16), {0, 1, 2, 2, 1, 3});
    std::vector<TestVertex> patch;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            patch.push_back(
                {float(i) * 32, float(j) * 32 + 200, i == 1 ? 16.f : 0.f, float(i), float(j)});
    level.addPatch(0, 0, 3, 3, patch);
    level.addTriangles(kFacePolygon, 2, -1, Square(0, 0, 512), {0, 1, 2, 2, 1, 3});
    level.addTriangles(kFaceBillboard, 0, 0, Square(0, 0, 1), {});
    return level;
}

// Byte offset of a field in the encoded level.
size_t LumpOffset(const std::vector<uint8_t>& bytes, LumpIndex lump) {
    return size_t(GetInt(bytes, 8 + 8 * size_t(lump)));
}
size_t FaceField(const std::vector<uint8_t>& bytes, size_t face, size_t field) {
    return LumpOffset(bytes, kFaces) + face * kFaceRecordSize + 4 * field;
}
enum FaceFieldIndex {
    kTextureField = 0,
    kTypeField = 2,
    kFirstVertexField = 3,
    kVertexCountField = 4,
    kFirstMeshField = 5,
    kMeshCountField = 6,
    kLightmapField = 7,
    kWidthField = 24,
    kHeightField = 25
};

// Positions back in the level's own space, for comparing areas.
Vec3 LevelSpace(const tundra_formats::GeomVertex& v) {
    const float s = tundra_formats::kGeomPositionScale;
    return {v.x * s, v.z * s, v.y * s};
}

struct FaceCoverage {
    Vec3 areaVector;
    double area = 0;
};

// What the converted polygons of each source face cover, in level space.
std::map<int, FaceCoverage> CoverageBySourceFace(const ConvertedLevel& converted) {
    std::map<int, FaceCoverage> result;
    for (size_t p = 0; p < converted.level.polygons.size(); ++p) {
        const tundra_formats::GeomPolygon& polygon = converted.level.polygons[p];
        std::vector<Vec3> positions;
        for (int32_t k = 0; k < polygon.vertexCount; ++k)
            positions.push_back(
                LevelSpace(converted.level.vertices[size_t(polygon.firstVertex + k)]));
        Fan fan(positions.size());
        for (size_t k = 0; k < fan.size(); ++k) fan[k] = int(k);
        FaceCoverage& coverage = result[converted.sourceFace[p]];
        coverage.areaVector = coverage.areaVector + AreaVector(positions, FanTriangles(fan));
        coverage.area += TotalArea(positions, FanTriangles(fan));
    }
    return result;
}

FaceCoverage OriginalCoverage(const BspFile& bsp, const Face& face) {
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
    return {AreaVector(positions, triangles), TotalArea(positions, triangles)};
}

// Checks that every converted polygon or mesh face covers the area of its
// stored triangles, facing the same way; returns the number of faces checked.
size_t ExpectSameCoverage(const BspFile& bsp, const ConvertedLevel& converted,
                          const std::string& name) {
    std::map<int, FaceCoverage> converted_coverage = CoverageBySourceFace(converted);
    size_t checked = 0;
    for (const auto& [faceIndex, coverage] : converted_coverage) {
        const Face& face = bsp.faces[size_t(faceIndex)];
        if (face.type != kFacePolygon && face.type != kFaceMesh) continue;
        FaceCoverage original = OriginalCoverage(bsp, face);
        double tolerance = 1e-3 * original.area + 1e-3;
        EXPECT_NEAR(coverage.area, original.area, tolerance) << name << " face " << faceIndex;
        EXPECT_LE(Length(coverage.areaVector - original.areaVector), tolerance)
            << name << " face " << faceIndex << " faces the other way or moved";
        ++checked;
    }
    return checked;
}

ConvertedLevel Convert(const std::vector<uint8_t>& bytes, const ConvertOptions& options = {}) {
    return ConvertLevel(BspFile(bytes), options);
}

}  // namespace

// --- fan building -------------------------------------------------------------------

TEST(FanBuilder, ConvexPolygonInStripOrderBecomesOneFanAroundItsOutline) {
    // A hexagon whose triangles are stored as a strip.
    std::vector<Vec3> p = {{0, 0, 0}, {0, 1, 0}, {1, -0.5, 0}, {1, 1.5, 0}, {2, 0, 0}, {2, 1, 0}};
    std::vector<Triangle> strip = {{0, 1, 2}, {2, 1, 3}, {2, 3, 4}, {4, 3, 5}};
    std::vector<Fan> fans = BuildFans(p, strip);
    ASSERT_EQ(fans.size(), 1u);
    EXPECT_EQ(fans[0].size(), 6u);
    std::vector<Triangle> drawn = FanTriangles(fans[0]);
    EXPECT_NEAR(TotalArea(p, drawn), TotalArea(p, strip), 1e-9);
    Vec3 difference = AreaVector(p, drawn) - AreaVector(p, strip);
    EXPECT_NEAR(Length(difference), 0, 1e-9);
}

TEST(FanBuilder, ConcaveOrSplitPolygonsKeepTheirOwnTriangles) {
    std::vector<Vec3> p = {{0, 0, 0}, {0, 2, 0}, {1, 2, 0}, {1, 1, 0}, {2, 1, 0}, {2, 0, 0}};
    std::vector<Triangle> l = {{0, 1, 2}, {0, 2, 3}, {0, 3, 5}, {3, 4, 5}};
    std::vector<Fan> fans = BuildFans(p, l);
    std::vector<Triangle> drawn;
    for (const Fan& fan : fans)
        for (const Triangle& t : FanTriangles(fan)) drawn.push_back(t);
    EXPECT_EQ(fans.size(), 2u);  // 0-1-2-3-5 merges, 3-4-5 stands alone
    ASSERT_EQ(drawn.size(), l.size());
    EXPECT_NEAR(TotalArea(p, drawn), TotalArea(p, l), 1e-9);
    EXPECT_NEAR(Length(AreaVector(p, drawn) - AreaVector(p, l)), 0, 1e-9);

    // Two separate triangles are never joined into one fan.
    std::vector<Vec3> apart = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {5, 0, 0}, {5, 1, 0}, {6, 0, 0}};
    EXPECT_EQ(BuildFans(apart, {{0, 1, 2}, {3, 4, 5}}).size(), 2u);
}

// --- conversion of the sample level ------------------------------------------------

TEST(ConvertLevel, GroupsFacesByLightmapThenTextureAndSkipsSkyAndBillboards) {
    ConvertedLevel converted = Convert(SampleLevel().encode());
    const auto& polygons = converted.level.polygons;
    ASSERT_FALSE(polygons.empty());
    for (size_t i = 1; i < polygons.size(); ++i)
        EXPECT_LE(std::make_pair(polygons[i - 1].lightmapIndex, polygons[i - 1].textureIndex),
                  std::make_pair(polygons[i].lightmapIndex, polygons[i].textureIndex));
    std::set<int> sources(converted.sourceFace.begin(), converted.sourceFace.end());
    EXPECT_EQ(sources, (std::set<int>{0, 1, 2, 3}));  // sky (4) and billboard (5) left out
    EXPECT_EQ(converted.level.textures.size(), 3u);
    EXPECT_EQ(converted.level.textures[1].name, "textures/base/floor");

    ConvertOptions keepSky;
    keepSky.keepSky = true;
    ConvertedLevel withSky = Convert(SampleLevel().encode(), keepSky);
    std::set<int> skySources(withSky.sourceFace.begin(), withSky.sourceFace.end());
    EXPECT_EQ(skySources.count(4), 1u);
}

TEST(ConvertLevel, FacesWithoutLightmapShareOneNeutralPageAddedAtTheEnd) {
    ConvertOptions keepSky;
    keepSky.keepSky = true;  // two faces without a lightmap
    ConvertedLevel converted = Convert(SampleLevel().encode(), keepSky);
    ASSERT_EQ(converted.level.lightmaps.size(), 2u);
    EXPECT_TRUE(converted.stats.neutralLightmapAdded);
    const auto& neutral = converted.level.lightmaps[1].rgb;
    EXPECT_TRUE(std::all_of(neutral.begin(), neutral.end(), [](uint8_t b) { return b == 128; }));
    EXPECT_EQ(converted.level.lightmaps[0].rgb[0], 60);  // the level's own page, unchanged
    for (size_t p = 0; p < converted.level.polygons.size(); ++p) {
        int source = converted.sourceFace[p];
        EXPECT_EQ(converted.level.polygons[p].lightmapIndex, source == 1 || source == 4 ? 1 : 0);
    }

    TestLevel lit = SampleLevel();
    lit.faces.resize(1);
    EXPECT_EQ(Convert(lit.encode()).level.lightmaps.size(), 1u) << "no page when none is needed";
}

TEST(ConvertLevel, SwapsYAndZAndStoresAnEighthOfEachPosition) {
    TestLevel level;
    level.textures = {{"t", 0}};
    level.addTriangles(kFacePolygon, 0, 0,
                       {{8, 16, 24, 0, 0}, {8, 80, 24, 0, 0}, {72, 16, 24, 0, 0}}, {0, 1, 2});
    ConvertedLevel converted = Convert(level.encode());
    ASSERT_EQ(converted.level.vertices.size(), 3u);
    const tundra_formats::GeomVertex& first = converted.level.vertices[0];
    EXPECT_FLOAT_EQ(first.x, 1);
    EXPECT_FLOAT_EQ(first.y, 3);
    EXPECT_FLOAT_EQ(first.z, 2);
    // Clockwise seen from +z in the level stays clockwise seen from +y
    // (above) in the left-handed viewer space: (x, z) turns the same way.
    const auto& v = converted.level.vertices;
    double crossY = (v[1].z - v[0].z) * (v[2].x - v[0].x) - (v[1].x - v[0].x) * (v[2].z - v[0].z);
    EXPECT_GT(crossY, 0);
}

TEST(ConvertLevel, PolygonFacesCoverTheirTrianglesAndPatchesAreTessellated) {
    std::vector<uint8_t> bytes = SampleLevel().encode();
    BspFile bsp(bytes);
    ConvertedLevel converted = ConvertLevel(bsp);
    EXPECT_EQ(ExpectSameCoverage(bsp, converted, "sample"), 3u);
    EXPECT_EQ(std::count(converted.sourceFace.begin(), converted.sourceFace.end(), 0), 1)
        << "the strip-ordered square is one fan";

    for (int level : {1, 4, 5}) {
        ConvertOptions options;
        options.patchLevel = level;
        ConvertedLevel tessellated = ConvertLevel(bsp, options);
        std::map<int, FaceCoverage> coverage = CoverageBySourceFace(tessellated);
        // The curved patch is 64 x 64 across and bulges; its cover faces up
        // like the stored triangles (area vector along -z) and is at least
        // as large as its flat shadow.
        const FaceCoverage& patch = coverage.at(3);
        EXPECT_LT(patch.areaVector.z, 0) << "patch level " << level;
        EXPECT_NEAR(-patch.areaVector.z, 2 * 64 * 64, 1e-2) << "patch level " << level;
        EXPECT_GE(patch.area, 2 * 64 * 64 - 1e-2);
    }
    ConvertOptions bad;
    bad.patchLevel = 0;
    EXPECT_THROW(ConvertLevel(bsp, bad), BspError);
}

TEST(ConvertLevel, SurfaceCoordinatesAreRebasedPerFaceOrReplannedWhenUnusable) {
    TestLevel level;
    level.textures = {{"t", 0}};
    level.addTriangles(
        kFacePolygon, 0, 0,
        {{0, 0, 0, 1000.25f, -7.5f}, {0, 64, 0, 1000.75f, -7.0f}, {64, 0, 0, 1001.25f, -6.5f}},
        {0, 1, 2});
    level.addTriangles(kFacePolygon, 0, 0,
                       {{0, 0, 0, -2.9e9f, 0}, {0, 64, 0, -2.9e9f, 1}, {64, 0, 0, -2.9e9f, 0}},
                       {0, 1, 2});
    ConvertedLevel converted = Convert(level.encode());
    ASSERT_EQ(converted.level.vertices.size(), 6u);
    const auto& v = converted.level.vertices;
    // Shifted by whole repeats (1000 and -8): same fractions, same offsets.
    EXPECT_FLOAT_EQ(v[0].surfaceU, 0.25f);
    EXPECT_FLOAT_EQ(v[1].surfaceU, 0.75f);
    EXPECT_FLOAT_EQ(v[2].surfaceU, 1.25f);
    EXPECT_FLOAT_EQ(v[0].surfaceV, 0.5f);
    EXPECT_FLOAT_EQ(v[2].surfaceV, 1.5f);
    // The absurd face gets coordinates from its positions: finite, small,
    // and different across the face.
    for (int k = 3; k < 6; ++k) {
        EXPECT_LT(std::fabs(v[size_t(k)].surfaceU), 2.0f);
        EXPECT_LT(std::fabs(v[size_t(k)].surfaceV), 2.0f);
    }
    EXPECT_NE(v[3].surfaceU, v[5].surfaceU);
    EXPECT_EQ(converted.stats.replannedFaces, 1u);
}

TEST(SpawnPoints, ReadsPlayerStartsFromTheEntityText) {
    const std::string entities =
        "{\n\"classname\" \"worldspawn\"\n\"message\" \"{tricky}\"\n}\n"
        "{\n\"origin\" \"64 -128 24\"\n\"angle\" \"90\"\n\"classname\" \"info_player_deathmatch\"\n}\n"
        "{\n\"classname\" \"info_player_start\"\n\"origin\" \"1 2 3\"\n}\n"
        "{\n\"classname\" \"info_player_deathmatch\"\n\"origin\" \"broken\"\n}\n"
        "{\n\"classname\" \"weapon_shotgun\"\n\"origin\" \"5 5 5\"\n}\n"
        "{\n\"classname\" \"info_player_start\"\n\"origin";  // cut off
    std::vector<SpawnPoint> spawns = SpawnPoints(entities);
    ASSERT_EQ(spawns.size(), 2u);
    EXPECT_FLOAT_EQ(spawns[0].origin[1], -128);
    EXPECT_FLOAT_EQ(spawns[0].yawDegrees, 90);
    EXPECT_FLOAT_EQ(spawns[1].origin[2], 3);
    EXPECT_FLOAT_EQ(spawns[1].yawDegrees, 0);
}

// --- damaged levels ----------------------------------------------------------------

struct Damage {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> apply;
    const char* expected;  // part of the error message
};

TEST(BspFile, DamagedLevelsGiveAnErrorNamingTheProblem) {
    const std::vector<Damage> damages = {
        {"wrong magic", [](auto& b) { b[0] = 'V'; }, "magic"},
        {"wrong version", [](auto& b) { SetInt(b, 4, 47); }, "version 47"},
        {"shorter than the header", [](auto& b) { b.resize(100); }, "shorter than"},
        {"empty file", [](auto& b) { b.clear(); }, "shorter than"},
        {"faces offset past the end", [](auto& b) { SetInt(b, 8 + 8 * kFaces, int32_t(b.size())); },
         "lump 'faces'"},
        {"negative vertex lump length", [](auto& b) { SetInt(b, 12 + 8 * kVertices, -44); },
         "lump 'vertices'"},
        {"huge lightmap lump", [](auto& b) { SetInt(b, 12 + 8 * kLightmaps, 0x7fffffff); },
         "lump 'lightmaps'"},
        {"vertex lump not whole records", [](auto& b) { SetInt(b, 12 + 8 * kVertices, 45); },
         "not a multiple"},
        {"truncated inside the last lump", [](auto& b) { b.resize(b.size() - 10); },
         "outside the file"},
        {"texture index out of range",
         [](auto& b) { SetInt(b, FaceField(b, 0, kTextureField), 3); }, "uses texture 3"},
        {"negative texture index", [](auto& b) { SetInt(b, FaceField(b, 0, kTextureField), -1); },
         "uses texture -1"},
        {"lightmap index out of range",
         [](auto& b) { SetInt(b, FaceField(b, 0, kLightmapField), 1); }, "uses lightmap 1"},
        {"vertex run past the end",
         [](auto& b) { SetInt(b, FaceField(b, 1, kFirstVertexField), 1000); }, "vertex lump"},
        {"absurd vertex count",
         [](auto& b) { SetInt(b, FaceField(b, 1, kVertexCountField), 0x7fffffff); }, "vertex lump"},
        {"negative first vertex",
         [](auto& b) { SetInt(b, FaceField(b, 0, kFirstVertexField), -4); }, "vertex lump"},
        {"mesh run past the end",
         [](auto& b) { SetInt(b, FaceField(b, 2, kFirstMeshField), 100000); }, "mesh vertex lump"},
        {"mesh count not whole triangles",
         [](auto& b) { SetInt(b, FaceField(b, 0, kMeshCountField), 5); },
         "whole number of triangles"},
        {"mesh vertex outside the face",
         [](auto& b) { SetInt(b, LumpOffset(b, kMeshVertices) + 4, 4); }, "lump 'mesh vertices'"},
        {"negative mesh vertex", [](auto& b) { SetInt(b, LumpOffset(b, kMeshVertices), -1); },
         "lump 'mesh vertices'"},
        {"even patch width", [](auto& b) { SetInt(b, FaceField(b, 3, kWidthField), 2); }, "odd"},
        {"patch narrower than 3", [](auto& b) { SetInt(b, FaceField(b, 3, kHeightField), 1); },
         "odd"},
        {"patch size not the vertex count",
         [](auto& b) { SetInt(b, FaceField(b, 3, kWidthField), 5); }, "control vertices"},
        {"absurd patch size",
         [](auto& b) {
             SetInt(b, FaceField(b, 3, kWidthField), 65537);
             SetInt(b, FaceField(b, 3, kHeightField), 65537);
         },
         "at most 65"},
        {"unknown face type", [](auto& b) { SetInt(b, FaceField(b, 0, kTypeField), 9); },
         "unknown type 9"},
    };
    const std::vector<uint8_t> good = SampleLevel().encode();
    ASSERT_NO_THROW(BspFile{good});
    for (const Damage& damage : damages) {
        std::vector<uint8_t> bytes = good;
        damage.apply(bytes);
        try {
            BspFile bsp(bytes);
            ADD_FAILURE() << damage.what << ": accepted";
        } catch (const BspError& error) {
            EXPECT_NE(std::string(error.what()).find(damage.expected), std::string::npos)
                << damage.what << ": message was \"" << error.what() << "\"";
        }
    }
}

// --- archives -------------------------------------------------------------------------

namespace {

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&stream, uLong(data.size())));
    stream.next_in = const_cast<uint8_t*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

// A zip archive with the given entries, deflated when `deflated` says so.
std::vector<uint8_t> Zip(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries,
                         bool deflated) {
    std::vector<uint8_t> out, directory;
    for (const auto& [name, data] : entries) {
        std::vector<uint8_t> stored = deflated ? Deflate(data) : data;
        uint32_t crc = uint32_t(crc32(0, data.data(), uInt(data.size())));
        uint32_t localOffset = uint32_t(out.size());
        PutInt(out, 0x04034b50);
        Put16(out, 20);
        Put16(out, 0);
        Put16(out, deflated ? 8 : 0);
        Put16(out, 0);
        Put16(out, 0);
        PutInt(out, int32_t(crc));
        PutInt(out, int32_t(stored.size()));
        PutInt(out, int32_t(data.size()));
        Put16(out, uint16_t(name.size()));
        Put16(out, 0);
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), stored.begin(), stored.end());
        PutInt(directory, 0x02014b50);
        Put16(directory, 20);
        Put16(directory, 20);
        Put16(directory, 0);
        Put16(directory, deflated ? 8 : 0);
        Put16(directory, 0);
        Put16(directory, 0);
        PutInt(directory, int32_t(crc));
        PutInt(directory, int32_t(stored.size()));
        PutInt(directory, int32_t(data.size()));
        Put16(directory, uint16_t(name.size()));
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        PutInt(directory, 0);
        PutInt(directory, int32_t(localOffset));
        directory.insert(directory.end(), name.begin(), name.end());
    }
    uint32_t directoryOffset = uint32_t(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    PutInt(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, uint16_t(entries.size()));
    Put16(out, uint16_t(entries.size()));
    PutInt(out, int32_t(directory.size()));
    PutInt(out, int32_t(directoryOffset));
    Put16(out, 0);
    return out;
}

size_t EndRecord(const std::vector<uint8_t>& zip) { return zip.size() - 22; }
size_t CentralRecord(const std::vector<uint8_t>& zip) {
    return size_t(GetInt(zip, EndRecord(zip) + 16));
}

}  // namespace

TEST(Pk3Archive, ListsMapsAndExtractsStoredAndDeflatedEntries) {
    std::vector<uint8_t> level = SampleLevel().encode();
    for (bool deflated : {false, true}) {
        Pk3Archive archive(Zip({{"scripts/a.shader", {'x'}}, {"maps/small.bsp", level}}, deflated));
        EXPECT_EQ(archive.names().size(), 2u);
        EXPECT_EQ(archive.mapNames(), std::vector<std::string>{"maps/small.bsp"});
        EXPECT_EQ(archive.extract("maps/small.bsp"), level);
        EXPECT_NO_THROW(ConvertLevel(BspFile(archive.extract("maps/small.bsp"))));
    }
}

TEST(Pk3Archive, DamagedArchivesGiveAnErrorNamingTheProblem) {
    const std::vector<uint8_t> good = Zip({{"maps/small.bsp", SampleLevel().encode()}}, true);
    const std::vector<Damage> damages = {
        {"no end record", [](auto& z) { z[EndRecord(z)] = 0; }, "Not a zip archive"},
        {"shorter than an end record", [](auto& z) { z.resize(10); }, "Not a zip archive"},
        {"directory past the end", [](auto& z) { SetInt(z, EndRecord(z) + 16, int32_t(z.size())); },
         "inconsistent"},
        {"directory entry signature", [](auto& z) { z[CentralRecord(z)] = 0; },
         "Not a zip archive"},
        {"more entries than the directory holds",
         [](auto& z) {
             z[EndRecord(z) + 8] = 5;
             z[EndRecord(z) + 10] = 5;
         },
         "inconsistent"},
        {"local header past the end",
         [](auto& z) { SetInt(z, CentralRecord(z) + 42, int32_t(z.size())); }, "Not a zip archive"},
        {"compressed size past the end",
         [](auto& z) { SetInt(z, CentralRecord(z) + 20, int32_t(z.size())); }, "Not a zip archive"},
        {"local header unlike the directory",
         [](auto& z) { SetInt(z, CentralRecord(z) + 24, 1000); }, "inconsistent"},
        // Damage to both copies of a field gets past the comparison of the two.
        {"absurd entry size",
         [](auto& z) {
             SetInt(z, 22, 0x7fffffff);
             SetInt(z, CentralRecord(z) + 24, 0x7fffffff);
         },
         "too large"},
        {"damaged compressed data",
         [](auto& z) {
             for (size_t i = 60; i < 200; ++i) z[i] ^= 0x5a;
         },
         "damaged"},
        {"wrong uncompressed size",
         [](auto& z) {
             SetInt(z, 22, 1000);
             SetInt(z, CentralRecord(z) + 24, 1000);
         },
         "damaged"},
        {"unknown compression",
         [](auto& z) {
             z[8] = 14;
             z[CentralRecord(z) + 10] = 14;
         },
         "Compression method not supported"},
    };
    for (const Damage& damage : damages) {
        std::vector<uint8_t> bytes = good;
        damage.apply(bytes);
        try {
            Pk3Archive archive(bytes);
            archive.extract("maps/small.bsp");
            ADD_FAILURE() << damage.what << ": accepted";
        } catch (const BspError& error) {
            EXPECT_NE(std::string(error.what()).find(damage.expected), std::string::npos)
                << damage.what << ": message was \"" << error.what() << "\"";
        }
    }
    EXPECT_THROW(Pk3Archive(good).extract("maps/other.bsp"), BspError);
}

// --- the OpenArena levels --------------------------------------------------------------

namespace {

const char* const kOpenArena = "/usr/share/games/openarena/baseoa/";
const char* const kPacks[] = {"pak1-maps.pk3", "pak6-patch088.pk3"};

bool PacksInstalled() {
    struct stat info;
    for (const char* pack : kPacks)
        if (stat((std::string(kOpenArena) + pack).c_str(), &info) != 0) return false;
    return true;
}

}  // namespace

TEST(OpenArenaLevels, EveryShippedLevelConvertsAndKeepsItsFaceAreas) {
    if (!PacksInstalled())
        GTEST_SKIP() << "install the Debian packages openarena-081-maps and openarena-088-data";
    const std::set<std::string> areaChecked = {"maps/oa_dm1.bsp", "maps/oa_dm5.bsp",
                                               "maps/oa_thor.bsp", "maps/aggressor.bsp",
                                               "maps/oasago2.bsp"};
    size_t levels = 0, facesChecked = 0;
    for (const char* pack : kPacks) {
        Pk3Archive archive(ReadWholeFile(std::string(kOpenArena) + pack));
        for (const std::string& name : archive.mapNames()) {
            SCOPED_TRACE(name);
            BspFile bsp(archive.extract(name));
            ConvertedLevel converted = ConvertLevel(bsp);
            EXPECT_GT(converted.level.polygons.size(), 100u);
            for (const tundra_formats::GeomPolygon& polygon : converted.level.polygons) {
                ASSERT_GE(polygon.vertexCount, 3);
                ASSERT_LT(size_t(polygon.lightmapIndex), converted.level.lightmaps.size());
            }
            if (areaChecked.count(name)) facesChecked += ExpectSameCoverage(bsp, converted, name);
            ++levels;
        }
    }
    EXPECT_GE(levels, 85u);
    EXPECT_GT(facesChecked, 10000u);
}

// --- the command line --------------------------------------------------------------------

TEST(Bsp2geomCommand, HelpSucceedsAndBadArgumentsFail) {
    const std::string tool = tundra_test::ToolPath("bsp2geom");
    struct stat info;
    if (stat(tool.c_str(), &info) != 0) GTEST_SKIP() << "bsp2geom is not built";
    std::string output;
    EXPECT_EQ(tundra_test::RunTool(tool + " --help", output), 0) << output;
    EXPECT_NE(tundra_test::RunTool(tool, output), 0) << output;
    EXPECT_NE(tundra_test::RunTool(tool + " --patch-level x a b", output), 0) << output;
    EXPECT_NE(tundra_test::RunTool(tool + " /nonexistent.bsp out.geom", output), 0) << output;
}
