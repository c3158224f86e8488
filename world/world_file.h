// The level file "data\world.geom": a 16-byte header of four int32 counts,
// then packed arrays of vertex, polygon, texture and lightmap records,
// little-endian, no magic number. WorldFile reads all of it in its
// constructor; the World takes it apart and lets it go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "world/visibility.h"

class InputFile;

// 28 bytes, as stored: the two coordinate pairs first, the position last.
struct WorldVertex {
    float surfaceU, surfaceV;    // texture-coordinate set 0
    float lightmapU, lightmapV;  // texture-coordinate set 1
    float x, y, z;               // stored at 1/8 scale; multiplied by 8 on loading
};
static_assert(sizeof(WorldVertex) == 28, "WorldVertex must match the file record");

// The 36-byte file record without its unused word at offset 16.
struct WorldPolygon {
    int32_t firstVertex;
    int32_t vertexCount;
    int32_t textureIndex;
    // Wrapped into 0 .. numLightmaps - 1 on reading; kNoLightmap when the level
    // has no lightmaps at all.
    int32_t lightmapIndex;
    unsigned char unused[16];

    static constexpr int32_t kNoLightmap = -1;
};

// 68 bytes, as stored.
struct WorldTexture {
    static constexpr std::size_t kNameSize = 64;
    unsigned char unused[4];
    char name[kNameSize];  // NUL-terminated, or cut at 64 bytes when it is not

    std::string nameText() const;
};
static_assert(sizeof(WorldTexture) == 68, "WorldTexture must match the file record");

// 49156 bytes, as stored: 128 rows of 128 texels, red, green, blue.
struct WorldLightmap {
    static constexpr int kSize = 128;
    static constexpr std::size_t kTexelBytes = kSize * kSize * 3;
    unsigned char unused[4];
    unsigned char texels[kTexelBytes];

    const unsigned char* texel(int column, int row) const {
        return texels + (static_cast<std::size_t>(row) * kSize + column) * 3;
    }
};
static_assert(sizeof(WorldLightmap) == 49156, "WorldLightmap must match the file record");

// Leaves new elements default-initialised (for these records: unset), so
// sizing an array before the file is read over it costs no clearing pass.
template <typename T>
struct RecordAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = RecordAllocator<U>;
    };
    RecordAllocator() = default;
    template <typename U>
    RecordAllocator(const RecordAllocator<U>&) {}
    template <typename U>
    void construct(U* place) {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

template <typename T>
using RecordArray = std::vector<T, RecordAllocator<T>>;

class WorldFile {
public:
    // Sizes of the records in the file.
    static constexpr std::int64_t kHeaderBytes = 16;
    static constexpr std::int64_t kVertexBytes = 28;
    static constexpr std::int64_t kPolygonBytes = 36;
    static constexpr std::int64_t kTextureBytes = 68;
    static constexpr std::int64_t kLightmapBytes = 49156;
    // The most memory a level's records may take. The reader holds them all
    // at once, and the device copies them again; far beyond any real level,
    // this keeps a header that matches a huge (say sparse) file from taking
    // the machine's memory, which Linux would grant and then kill the
    // process for touching.
    static constexpr std::int64_t kMaxRecordBytes = std::int64_t(1) << 30;

    // Reads "data\" + fileName whole. A file that cannot be opened, is
    // shorter than its header and counts announce, has a negative count,
    // needs more than kMaxRecordBytes or more memory than can be had leaves
    // an empty level (all counts zero, all arrays empty) and one log line
    // saying why.
    explicit WorldFile(std::string fileName);
    virtual ~WorldFile();

    // The counts always equal the sizes of the arrays below.
    int32_t numVertices;
    int32_t numPolygons;
    int32_t numTextures;
    int32_t numLightmaps;
    RecordArray<WorldVertex> vertices;
    RecordArray<WorldPolygon> polygons;
    RecordArray<WorldTexture> textures;
    RecordArray<WorldLightmap> lightmaps;
    // The optional section after the last lightmap; a damaged one is logged
    // and left out, as if it were not there.
    bool hasVisibility;
    VisibilityData visibility;

private:
    bool read(InputFile& file, const std::string& path);
    bool readVertices(InputFile& file);
    bool readPolygons(InputFile& file);
    bool readTextures(InputFile& file);
    bool readLightmaps(InputFile& file);
    void readVisibility(InputFile& file, std::int64_t size, const std::string& path);
    std::string readVisibilityBytes(InputFile& file, std::int64_t size,
                                    const char (&tag)[sizeof kVisibilityTag]);
    void wrapLightmapIndices();
    void clear();
};
