// Reading world.geom: record layout, scaling, lightmap index wrapping, names.
#include "world/world_file.h"

#include "support/level_scratch.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <string>

using tundra_formats::GeomLevel;
using tundra_formats::GeomLightmap;
using tundra_formats::GeomPolygon;
using tundra_formats::GeomTexture;
using tundra_formats::GeomVertex;

namespace {

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

GeomLevel OneTriangleLevel() {
    GeomLevel level;
    level.vertices.resize(3);
    level.polygons.push_back(GeomPolygon{0, 3, 0, 0});
    level.textures.push_back(GeomTexture{"wall"});
    level.lightmaps.resize(1);
    return level;
}

TEST(WorldFile, ScalesPositionsByEightAndKeepsTextureCoordinates) {
    LevelScratch scratch;
    GeomLevel level = OneTriangleLevel();
    level.vertices[1] = GeomVertex{1, 2, 3, 0.5f, 0.25f, 0.75f, 1.0f};
    LogCapture log;
    const WorldFile file(scratch.write(level));
    ASSERT_EQ(file.numVertices, 3);
    const WorldVertex& v = file.vertices[1];
    EXPECT_EQ(v.x, 8.0f);
    EXPECT_EQ(v.y, 16.0f);
    EXPECT_EQ(v.z, 24.0f);
    EXPECT_EQ(v.surfaceU, 0.5f);
    EXPECT_EQ(v.surfaceV, 0.25f);
    EXPECT_EQ(v.lightmapU, 0.75f);
    EXPECT_EQ(v.lightmapV, 1.0f);
    EXPECT_EQ(log.text(), "LOADED: data\\world.geom\n");
}

TEST(WorldFile, WrapsLightmapIndicesWithOneWarningEachOutOfRange) {
    LevelScratch scratch;
    GeomLevel level = OneTriangleLevel();
    level.lightmaps.resize(4);
    level.polygons.clear();
    for (int32_t index : {0, 3, 4, 5, -1, -5})
        level.polygons.push_back(GeomPolygon{0, 3, 0, index});
    LogCapture log;
    const WorldFile file(scratch.write(level));
    ASSERT_EQ(file.polygons.size(), 6u);
    const int32_t expected[] = {0, 3, 0, 1, 3, 3};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(file.polygons[i].lightmapIndex, expected[i]) << i;
    EXPECT_EQ(Occurrences(log.text(), "\n lightmap id not in bounds!!!"), 4u);
    // The warning carries no line end of its own.
    EXPECT_EQ(log.text().back(), '!');
}

TEST(WorldFile, UnusedFieldsDoNotChangeTheResult) {
    LevelScratch scratch;
    GeomLevel plain = OneTriangleLevel();
    GeomLevel noisy = plain;
    noisy.polygons[0].unusedWord = -123456;
    noisy.polygons[0].unusedBytes.fill(0xAB);
    noisy.textures[0].unused = 0xDEADBEEF;
    noisy.lightmaps[0].unused = 0xFFFFFFFF;
    LogCapture log;
    const WorldFile a(scratch.write(plain, {}, "plain.geom"));
    const WorldFile b(scratch.write(noisy, {}, "noisy.geom"));
    ASSERT_EQ(a.numPolygons, 1);
    ASSERT_EQ(b.numPolygons, 1);
    EXPECT_EQ(b.polygons[0].firstVertex, a.polygons[0].firstVertex);
    EXPECT_EQ(b.polygons[0].vertexCount, a.polygons[0].vertexCount);
    EXPECT_EQ(b.polygons[0].textureIndex, a.polygons[0].textureIndex);
    EXPECT_EQ(b.polygons[0].lightmapIndex, a.polygons[0].lightmapIndex);
    EXPECT_EQ(b.textures[0].nameText(), "wall");
}

TEST(WorldFile, TextureNamesEndAtFirstNulOrAfterSixtyFourBytes) {
    LevelScratch scratch;
    GeomLevel level = OneTriangleLevel();
    const std::string long63(63, 'a');
    const std::string full64 = std::string(60, 'b') + "wxyz";
    level.textures = {GeomTexture{long63}, GeomTexture{std::string("abc\0junk", 8)},
                      GeomTexture{full64 + "overflow"}};
    LogCapture log;
    const WorldFile file(scratch.write(level));
    ASSERT_EQ(file.numTextures, 3);
    EXPECT_EQ(file.textures[0].nameText(), long63);
    EXPECT_EQ(file.textures[1].nameText(), "abc");
    EXPECT_EQ(file.textures[2].nameText(), full64);
}

TEST(WorldFile, LightmapTexelsKeepTheirRowsAndColumns) {
    LevelScratch scratch;
    GeomLevel level = OneTriangleLevel();
    GeomLightmap& map = level.lightmaps[0];
    map.setTexel(0, 0, 1, 2, 3);
    map.setTexel(127, 0, 4, 5, 6);
    map.setTexel(0, 1, 7, 8, 9);
    map.setTexel(127, 127, 10, 11, 12);
    LogCapture log;
    const WorldFile file(scratch.write(level));
    ASSERT_EQ(file.numLightmaps, 1);
    const WorldLightmap& read = file.lightmaps[0];
    const unsigned char* record = reinterpret_cast<const unsigned char*>(&read);
    EXPECT_EQ(record[4], 1);
    EXPECT_EQ(record[385], 4);
    EXPECT_EQ(record[388], 7);
    EXPECT_EQ(record[49153], 10);
    EXPECT_EQ(read.texel(127, 0)[1], 5);
    EXPECT_EQ(read.texel(0, 1)[2], 9);
    EXPECT_EQ(read.texel(127, 127)[2], 12);
}

TEST(WorldFile, MissingFileLeavesAnEmptyLevel) {
    LevelScratch scratch;
    LogCapture log;
    const WorldFile file("nothere.geom");
    EXPECT_EQ(log.text(), "ERROR: Can't open world file: nothere.geom\n");
    EXPECT_EQ(file.numVertices + file.numPolygons + file.numTextures + file.numLightmaps, 0);
    EXPECT_TRUE(file.vertices.empty() && file.polygons.empty());
}

}  // namespace
