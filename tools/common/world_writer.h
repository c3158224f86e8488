// The one writer of the level file format "world.geom", shared by the level
// tools and the tests. The viewer never uses it: its reader is written
// separately, so a mistake here cannot hide a mistake there.
//
// Layout (little-endian, packed, no magic number):
//   header     int32 numVertices, numPolygons, numTextures, numLightmaps
//   vertices   28 bytes: float surfaceU, surfaceV, lightmapU, lightmapV, x, y, z
//   polygons   36 bytes: int32 firstVertex, vertexCount, textureIndex,
//              lightmapIndex, unused word, 16 unused bytes
//   textures   68 bytes: 4 unused bytes, char name[64] (NUL-terminated)
//   lightmaps  49156 bytes: 4 unused bytes, 128 x 128 texels R, G, B
//   visibility optional, after the last lightmap: see docs/visibility.md
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tundra_formats {

// Positions are written as given: the viewer multiplies them by 8 on
// loading, so a tool holding world-unit positions divides them by
// kGeomPositionScale first.
constexpr float kGeomPositionScale = 8.0f;

struct GeomVertex {
    float x = 0, y = 0, z = 0;
    float surfaceU = 0, surfaceV = 0;
    float lightmapU = 0, lightmapV = 0;
};

struct GeomPolygon {
    int32_t firstVertex = 0;
    int32_t vertexCount = 0;
    int32_t textureIndex = 0;
    int32_t lightmapIndex = 0;
    // Never read by the viewer; tests fill them to check that.
    int32_t unusedWord = 0;
    std::array<uint8_t, 16> unusedBytes{};
};

struct GeomTexture {
    // Up to 63 bytes are written with a NUL after them. A name of 64 bytes or
    // more fills the whole field with no NUL (the first 64 bytes are kept).
    std::string name;
    uint32_t unused = 0;
};

struct GeomLightmap {
    static constexpr int kSize = 128;
    static constexpr std::size_t kTexelBytes = kSize * kSize * 3;

    uint32_t unused = 0;
    std::array<uint8_t, kTexelBytes> rgb{};  // row by row, R, G, B

    void setTexel(int column, int row, uint8_t red, uint8_t green, uint8_t blue);
    void fill(uint8_t red, uint8_t green, uint8_t blue);
};

// The optional visibility section (docs/visibility.md). Positions and plane
// distances are written as given, at the vertices' scale (world units /
// kGeomPositionScale).
struct GeomVisibility {
    static constexpr char kTag[4] = {'T', 'V', 'I', 'S'};
    static constexpr int32_t kVersion = 1;

    struct Plane {
        float normal[3];
        float distance;  // points p with normal . p == distance lie on it
    };
    // A child of 0 or more is a node; a negative child c is leaf -(c + 1).
    struct Node {
        int32_t plane;
        int32_t front;  // the side where normal . p - distance >= 0
        int32_t back;
    };
    struct Leaf {
        int32_t cluster;  // -1: in no cluster (solid or outside the level)
        float min[3], max[3];
        int32_t firstPolygon;  // into leafPolygons
        int32_t polygonCount;
    };

    std::vector<Plane> planes;
    std::vector<Node> nodes;  // node 0 is the root
    std::vector<Leaf> leaves;
    std::vector<int32_t> leafPolygons;  // polygon numbers of the level
    int32_t numClusters = 0;
    int32_t bytesPerCluster = 0;
    // numClusters rows of bytesPerCluster bytes; bit (c & 7) of byte c / 8 of
    // row r is set when cluster c may be seen from cluster r.
    std::vector<uint8_t> clusterSets;

    // Ways to write a broken section (for tests of the reader).
    int32_t version = kVersion;
    std::optional<int32_t> planeCount;  // written instead of planes.size()
};

struct GeomLevel {
    std::vector<GeomVertex> vertices;
    std::vector<GeomPolygon> polygons;
    std::vector<GeomTexture> textures;
    std::vector<GeomLightmap> lightmaps;
    std::optional<GeomVisibility> visibility;
};

// Ways to write a deliberately broken file (for tests of the reader).
struct GeomWriteOptions {
    // Header counts to write instead of the array sizes; the records written
    // are still the level's own.
    std::optional<int32_t> numVertices, numPolygons, numTextures, numLightmaps;
    // Cut the file after this many bytes.
    std::optional<std::size_t> truncateTo;
    // Bytes appended after the last record (before any truncation).
    std::vector<uint8_t> trailing;
};

// Record sizes and the byte offsets of the sections.
constexpr std::size_t kGeomHeaderBytes = 16;
constexpr std::size_t kGeomVertexBytes = 28;
constexpr std::size_t kGeomPolygonBytes = 36;
constexpr std::size_t kGeomTextureBytes = 68;
constexpr std::size_t kGeomLightmapBytes = 4 + GeomLightmap::kTexelBytes;
constexpr std::size_t kGeomVisibilityHeaderBytes = 32;
constexpr std::size_t kGeomPlaneBytes = 16;
constexpr std::size_t kGeomNodeBytes = 12;
constexpr std::size_t kGeomLeafBytes = 36;

// The exact bytes of the file.
std::vector<uint8_t> EncodeWorldGeom(const GeomLevel& level, const GeomWriteOptions& options = {});

// Writes the file; false (with nothing reported) when it cannot be written.
bool WriteWorldGeom(const std::string& path, const GeomLevel& level,
                    const GeomWriteOptions& options = {});

}  // namespace tundra_formats
