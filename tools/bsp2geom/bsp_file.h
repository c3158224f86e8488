// Reader for id Tech 3 level files (IBSP version 46). Only the lumps the
// converter needs are decoded (textures, vertices, mesh vertices, faces,
// lightmaps), but every lump's position and size is checked, and every index
// a decoded record holds is checked against the array it points into, so the
// converter can use them without further tests.
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
    kEntities, kTextures, kPlanes, kNodes, kLeafs, kLeafFaces, kLeafBrushes, kModels,
    kBrushes, kBrushSides, kVertices, kMeshVertices, kEffects, kFaces, kLightmaps,
    kLightVolumes, kVisData, kLumpCount
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
