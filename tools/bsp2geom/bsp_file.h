// Reader for id Tech 3 level files (IBSP version 46). Only the lumps the
// converter needs are decoded (textures, vertices, mesh vertices, faces,
// lightmaps, and the tree: planes, nodes, leaves, leaf faces, visibility
// data), but every lump's position and size is checked, and every index a
// decoded record holds is checked against the array it points into, so the
// converter can use them without further tests. A damaged tree does not stop
// the conversion: the level is then read without it.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace bsp {

// Every problem found in a level or archive, with a message that names the
// lump (or archive entry) and what is wrong with it.
class BspError : public std::runtime_error {
public:
    explicit BspError(const std::string& message) : std::runtime_error(message) {}
};

enum LumpIndex {
    kEntities,
    kTextures,
    kPlanes,
    kNodes,
    kLeafs,
    kLeafFaces,
    kLeafBrushes,
    kModels,
    kBrushes,
    kBrushSides,
    kVertices,
    kMeshVertices,
    kEffects,
    kFaces,
    kLightmaps,
    kLightVolumes,
    kVisData,
    kLumpCount
};

// Sizes of the on-disk records.
constexpr size_t kHeaderSize = 8 + 8 * kLumpCount;
constexpr size_t kTextureRecordSize = 72;
constexpr size_t kVertexRecordSize = 44;
constexpr size_t kFaceRecordSize = 104;
constexpr int kLightmapSide = 128;
constexpr size_t kLightmapBytes = kLightmapSide * kLightmapSide * 3;

// Largest control grid side of a curved patch (the game's own limit), which
// also bounds the work of tessellating one.
constexpr int32_t kMaxPatchSide = 65;

// Surface flags of the texture records that matter to the converter.
constexpr int32_t kSurfaceSky = 0x4;
constexpr int32_t kSurfaceNoDraw = 0x80;

enum FaceType { kFaceBad = 0, kFacePolygon = 1, kFacePatch = 2, kFaceMesh = 3, kFaceBillboard = 4 };

struct Texture {
    std::string name;
    int32_t surfaceFlags = 0;
    int32_t contents = 0;
};

struct Vertex {
    float position[3];
    float surface[2];   // texture coordinates of the surface texture
    float lightmap[2];  // texture coordinates in the face's lightmap page
    float normal[3];
};

struct Face {
    int32_t texture;
    int32_t type;
    int32_t firstVertex;
    int32_t vertexCount;
    int32_t firstMeshVertex;
    int32_t meshVertexCount;
    int32_t lightmap;  // negative: the face has no lightmap page
    int32_t patchWidth;
    int32_t patchHeight;
};

struct Plane {
    float normal[3];
    float distance;
};

// A child of 0 or more is a node; a negative child c is leaf -(c + 1).
struct Node {
    int32_t plane;
    int32_t children[2];  // front (normal . p - distance >= 0), back
};

struct Leaf {
    int32_t cluster;  // negative: in no cluster
    int32_t mins[3], maxs[3];
    int32_t firstLeafFace;
    int32_t leafFaceCount;
};

// The leaves, the faces each holds and which clusters see which. Empty when
// the level has none or when it is damaged (`problem` then says how).
struct Tree {
    std::vector<Plane> planes;
    std::vector<Node> nodes;
    std::vector<Leaf> leaves;
    std::vector<int32_t> leafFaces;
    int32_t numClusters = 0;  // 0 with no visibility data: all see all
    int32_t bytesPerCluster = 0;
    std::vector<uint8_t> clusterSets;
    // The faces of model 0, the level itself; the other models' faces (doors,
    // lifts) move, and the tree holds them only in made-up leaves.
    int32_t firstWorldFace = 0;
    int32_t worldFaceCount = 0;
    std::string problem;
};

using LightmapPage = std::array<uint8_t, kLightmapBytes>;  // 128 x 128 RGB, row by row

// A level read from memory. The constructor does all checking and throws
// BspError on the first problem; a constructed object is consistent.
class BspFile {
public:
    explicit BspFile(const std::vector<uint8_t>& bytes);

    std::string entities;  // the entity lump's text, up to its first NUL
    std::vector<Texture> textures;
    std::vector<Vertex> vertices;
    std::vector<int32_t> meshVertices;
    std::vector<Face> faces;
    std::vector<LightmapPage> lightmaps;
    Tree tree;

private:
    struct Lump {
        uint32_t offset;
        uint32_t length;
    };

    void readHeader(const std::vector<uint8_t>& bytes);
    void checkLump(LumpIndex index, size_t recordSize, size_t fileSize) const;
    template <typename Record, typename Read>
    void readRecords(const std::vector<uint8_t>& bytes, LumpIndex index,
                     std::vector<Record>& records, Read read) const;
    void checkFace(size_t number, const Face& face) const;
    void readTree(const std::vector<uint8_t>& bytes);
    void readVisData(const std::vector<uint8_t>& bytes);
    void checkTree() const;

    Lump lumps_[kLumpCount] = {};
};

// Where players enter the level (info_player_deathmatch and the like), in
// the level's own coordinates; yaw in degrees about +z, 0 looking along +x.
struct SpawnPoint {
    float origin[3];
    float yawDegrees;
};
std::vector<SpawnPoint> SpawnPoints(const std::string& entities);

// Name of a lump as used in error messages ("faces", "vertices", ...).
const char* LumpName(int index);

}  // namespace bsp
