#include "world/world_file.h"

#include "app/log.h"
#include "common/byte_reader.h"
#include "common/input_file.h"
#include "platform/platform.h"

#include <cstring>
#include <new>

// Records of plain numbers are read straight into memory: the file is
// little-endian, as are the machines the viewer runs on.

namespace {

// The mathematical modulo: 5 -> 1, -1 -> count - 1 for count 4.
int32_t WrapIndex(int32_t index, int32_t count) {
    int32_t wrapped = index % count;
    return wrapped < 0 ? wrapped + count : wrapped;
}

bool ReadBytes(InputFile& file, void* into, std::int64_t count) {
    return file.read(into, count) == count;
}

}  // namespace

std::string WorldTexture::nameText() const { return std::string(name, strnlen(name, kNameSize)); }

WorldFile::WorldFile(std::string fileName)
    : numVertices(0), numPolygons(0), numTextures(0), numLightmaps(0), hasVisibility(false) {
    const std::string path = "data\\" + fileName;
    InputFile file(NativePath(path));
    if (!file.isOpen()) {
        Log << "ERROR: Can't open world file: " << fileName << std::endl;
        return;
    }
    Log << "LOADED: " << path << std::endl;
    bool complete = false;
    try {
        complete = read(file, path);
    } catch (const std::bad_alloc&) {
        Log << "ERROR: Out of memory reading world file " << path << "; loading an empty level"
            << std::endl;
    }
    if (!complete) clear();
}

WorldFile::~WorldFile() {}

void WorldFile::clear() {
    numVertices = numPolygons = numTextures = numLightmaps = 0;
    // Give the memory back as well: a rejected file may have been large.
    RecordArray<WorldVertex>().swap(vertices);
    RecordArray<WorldPolygon>().swap(polygons);
    RecordArray<WorldTexture>().swap(textures);
    RecordArray<WorldLightmap>().swap(lightmaps);
    hasVisibility = false;
    visibility = VisibilityData();
}

bool WorldFile::read(InputFile& file, const std::string& path) {
    const std::int64_t fileSize = file.size();
    unsigned char header[kHeaderBytes];
    if (fileSize < kHeaderBytes || !ReadBytes(file, header, kHeaderBytes)) {
        Log << "ERROR: World file " << path << " is shorter than its " << kHeaderBytes
            << "-byte header; loading an empty level" << std::endl;
        return false;
    }
    ByteReader counts(header, sizeof header);
    numVertices = counts.i32();
    numPolygons = counts.i32();
    numTextures = counts.i32();
    numLightmaps = counts.i32();

    if (numVertices < 0 || numPolygons < 0 || numTextures < 0 || numLightmaps < 0) {
        Log << "ERROR: World file " << path << " has a negative count (vertices " << numVertices
            << ", polygons " << numPolygons << ", textures " << numTextures << ", lightmaps "
            << numLightmaps << "); loading an empty level" << std::endl;
        return false;
    }
    // Checked before anything is allocated, in 64 bits: a garbage header
    // must not ask for gigabytes.
    const std::int64_t needed = kHeaderBytes + kVertexBytes * numVertices +
                                kPolygonBytes * numPolygons + kTextureBytes * numTextures +
                                kLightmapBytes * numLightmaps;
    if (needed > fileSize) {
        Log << "ERROR: World file " << path << " is too short: its counts need " << needed
            << " bytes, it has " << fileSize << "; loading an empty level" << std::endl;
        return false;
    }
    if (needed > kMaxRecordBytes) {
        Log << "ERROR: World file " << path << " needs " << needed
            << " bytes of memory, more than the " << kMaxRecordBytes
            << " a level may take; loading an empty level" << std::endl;
        return false;
    }

    if (!readVertices(file) || !readPolygons(file) || !readTextures(file) || !readLightmaps(file)) {
        Log << "ERROR: Reading world file " << path << " failed; loading an empty level"
            << std::endl;
        return false;
    }
    readVisibility(file, fileSize - needed, path);
    return true;
}

// Bytes after the last lightmap that do not begin with the section's tag
// are ignored, as they always were.
void WorldFile::readVisibility(InputFile& file, std::int64_t size, const std::string& path) {
    char tag[sizeof kVisibilityTag];
    if (size < std::int64_t(sizeof tag) || !ReadBytes(file, tag, sizeof tag) ||
        std::memcmp(tag, kVisibilityTag, sizeof tag) != 0)
        return;
    const std::string problem = size > kMaxRecordBytes
                                    ? "it is larger than the " + std::to_string(kMaxRecordBytes) +
                                          " bytes a level may take"
                                    : readVisibilityBytes(file, size, tag);
    if (!problem.empty()) {
        Log << "WARNING: World file " << path << " has a damaged visibility section (" << problem
            << "); every polygon is drawn" << std::endl;
        visibility = VisibilityData();
        return;
    }
    hasVisibility = true;
}

// The section runs to the end of the file; "" when it is sound.
std::string WorldFile::readVisibilityBytes(InputFile& file, std::int64_t size,
                                           const char (&tag)[sizeof kVisibilityTag]) {
    try {
        std::vector<unsigned char> section(static_cast<std::size_t>(size));
        std::memcpy(section.data(), tag, sizeof tag);
        if (!ReadBytes(file, section.data() + sizeof tag, size - std::int64_t(sizeof tag)))
            return "it cannot be read";
        return ReadVisibilitySection(section.data(), section.size(), numPolygons, 8.0f, visibility);
    } catch (const std::bad_alloc&) {
        return "there is not enough memory for it";
    }
}

bool WorldFile::readVertices(InputFile& file) {
    vertices.resize(numVertices);
    if (!ReadBytes(file, vertices.data(), kVertexBytes * numVertices)) return false;
    for (WorldVertex& vertex : vertices) {
        vertex.x *= 8.0f;
        vertex.y *= 8.0f;
        vertex.z *= 8.0f;
    }
    return true;
}

bool WorldFile::readPolygons(InputFile& file) {
    std::vector<unsigned char> records(static_cast<std::size_t>(kPolygonBytes * numPolygons));
    if (!ReadBytes(file, records.data(), kPolygonBytes * numPolygons)) return false;

    polygons.resize(numPolygons);
    ByteReader fields(records);
    for (WorldPolygon& polygon : polygons) {
        polygon.firstVertex = fields.i32();
        polygon.vertexCount = fields.i32();
        polygon.textureIndex = fields.i32();
        polygon.lightmapIndex = fields.i32();
        fields.skip(4);  // an unused word
        fields.copy(polygon.unused, sizeof polygon.unused);
    }
    wrapLightmapIndices();
    return true;
}

void WorldFile::wrapLightmapIndices() {
    if (numLightmaps == 0) {
        // Nothing to wrap into: the polygons are kept and drawn unlit.
        for (WorldPolygon& polygon : polygons) polygon.lightmapIndex = WorldPolygon::kNoLightmap;
        if (numPolygons > 0)
            Log << "WARNING: World file has polygons but no lightmaps; they are drawn without "
                   "lightmaps"
                << std::endl;
        return;
    }
    for (WorldPolygon& polygon : polygons) {
        if (polygon.lightmapIndex < 0 || polygon.lightmapIndex >= numLightmaps) {
            Log << "\n lightmap id not in bounds!!!";
            polygon.lightmapIndex = WrapIndex(polygon.lightmapIndex, numLightmaps);
        }
    }
}

bool WorldFile::readTextures(InputFile& file) {
    textures.resize(numTextures);
    return ReadBytes(file, textures.data(), kTextureBytes * numTextures);
}

bool WorldFile::readLightmaps(InputFile& file) {
    lightmaps.resize(numLightmaps);
    return ReadBytes(file, lightmaps.data(), kLightmapBytes * numLightmaps);
}
