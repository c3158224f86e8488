#include "bsp_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

namespace bsp {
namespace {

const char* const kLumpNames[kLumpCount] = {
    "entities", "textures",  "planes",   "nodes",        "leafs",
    "leaf faces", "leaf brushes", "models", "brushes",   "brush sides",
    "vertices", "mesh vertices", "effects", "faces", "lightmaps",
    "light volumes", "visibility data"};

// Record size of each lump; 1 for lumps of free-form bytes.
const size_t kRecordSizes[kLumpCount] = {1,  kTextureRecordSize, 16, 36, 48, 4,
                                         4,  40, 12, 8, kVertexRecordSize, 4,
                                         72, kFaceRecordSize, kLightmapBytes, 8, 1};

constexpr int32_t kVersion = 46;

// Little-endian readers; callers have checked that the bytes exist.
int32_t ReadInt(const uint8_t* at) {
    uint32_t value = uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 |
                     uint32_t(at[3]) << 24;
    int32_t result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

float ReadFloat(const uint8_t* at) {
    int32_t bits = ReadInt(at);
    float result;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

template <typename... Parts>
[[noreturn]] void Fail(const Parts&... parts) {
    std::ostringstream message;
    (message << ... << parts);
    throw BspError(message.str());
}

// Whether first .. first + count - 1 lies inside 0 .. size - 1 (count may be 0).
bool RunInside(int64_t first, int64_t count, size_t size) {
    return first >= 0 && count >= 0 && first + count <= int64_t(size);
}

}  // namespace

const char* LumpName(int index) {
    return index >= 0 && index < kLumpCount ? kLumpNames[index] : "unknown";
}

std::vector<SpawnPoint> SpawnPoints(const std::string& entities) {
    std::vector<SpawnPoint> spawns;
    std::map<std::string, std::string> fields;
    std::vector<std::string> pending;  // quoted strings of the current entity
    size_t at = 0;
    while (at < entities.size()) {
        char c = entities[at++];
        if (c == '{') {
            fields.clear();
            pending.clear();
        } else if (c == '"') {
            size_t end = entities.find('"', at);
            if (end == std::string::npos) break;
            pending.push_back(entities.substr(at, end - at));
            if (pending.size() == 2) {
                fields[pending[0]] = pending[1];
                pending.clear();
            }
            at = end + 1;
        } else if (c == '}') {
            const std::string& name = fields["classname"];
            bool player = name == "info_player_deathmatch" || name == "info_player_start";
            SpawnPoint spawn{{0, 0, 0}, 0};
            if (player && std::sscanf(fields["origin"].c_str(), "%f %f %f", &spawn.origin[0],
                                      &spawn.origin[1], &spawn.origin[2]) == 3) {
                spawn.yawDegrees = std::strtof(fields["angle"].c_str(), nullptr);
                spawns.push_back(spawn);
            }
        }
    }
    return spawns;
}

BspFile::BspFile(const std::vector<uint8_t>& bytes) {
    readHeader(bytes);
    for (int index = 0; index < kLumpCount; ++index)
        checkLump(LumpIndex(index), kRecordSizes[index], bytes.size());
    const Lump& text = lumps_[kEntities];
    const char* start = reinterpret_cast<const char*>(bytes.data()) + text.offset;
    entities.assign(start, strnlen(start, text.length));
    readTextures(bytes);
    readVertices(bytes);
    readMeshVertices(bytes);
    readLightmaps(bytes);
    readFaces(bytes);
}

void BspFile::readHeader(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < kHeaderSize)
        Fail("header: file is ", bytes.size(), " bytes, shorter than the ", kHeaderSize,
             "-byte header");
    if (std::memcmp(bytes.data(), "IBSP", 4) != 0) Fail("header: magic is not \"IBSP\"");
    int32_t version = ReadInt(bytes.data() + 4);
    if (version != kVersion)
        Fail("header: version ", version, " is not supported (only ", kVersion, ")");
    for (int index = 0; index < kLumpCount; ++index) {
        const uint8_t* entry = bytes.data() + 8 + 8 * index;
        lumps_[index].offset = uint32_t(ReadInt(entry));
        lumps_[index].length = uint32_t(ReadInt(entry + 4));
    }
}

void BspFile::checkLump(LumpIndex index, size_t recordSize, size_t fileSize) const {
    const Lump& lump = lumps_[index];
    // Offsets and lengths are read unsigned: a negative value shows up as a
    // huge one and fails the same test.
    if (uint64_t(lump.offset) + lump.length > fileSize)
        Fail("lump '", LumpName(index), "': offset ", lump.offset, " + length ", lump.length,
             " lies outside the file (", fileSize, " bytes)");
    if (lump.length % recordSize != 0)
        Fail("lump '", LumpName(index), "': length ", lump.length,
             " is not a multiple of its record size ", recordSize);
}

void BspFile::readTextures(const std::vector<uint8_t>& bytes) {
    const Lump& lump = lumps_[kTextures];
    size_t count = lump.length / kTextureRecordSize;
    textures.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* record = bytes.data() + lump.offset + i * kTextureRecordSize;
        const char* name = reinterpret_cast<const char*>(record);
        textures[i].name.assign(name, strnlen(name, 64));
        textures[i].surfaceFlags = ReadInt(record + 64);
        textures[i].contents = ReadInt(record + 68);
    }
}

void BspFile::readVertices(const std::vector<uint8_t>& bytes) {
    const Lump& lump = lumps_[kVertices];
    size_t count = lump.length / kVertexRecordSize;
    vertices.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* record = bytes.data() + lump.offset + i * kVertexRecordSize;
        Vertex& vertex = vertices[i];
        for (int k = 0; k < 3; ++k) vertex.position[k] = ReadFloat(record + 4 * k);
        for (int k = 0; k < 2; ++k) vertex.surface[k] = ReadFloat(record + 12 + 4 * k);
        for (int k = 0; k < 2; ++k) vertex.lightmap[k] = ReadFloat(record + 20 + 4 * k);
        for (int k = 0; k < 3; ++k) vertex.normal[k] = ReadFloat(record + 28 + 4 * k);
    }
}

void BspFile::readMeshVertices(const std::vector<uint8_t>& bytes) {
    const Lump& lump = lumps_[kMeshVertices];
    meshVertices.resize(lump.length / 4);
    for (size_t i = 0; i < meshVertices.size(); ++i)
        meshVertices[i] = ReadInt(bytes.data() + lump.offset + 4 * i);
}

void BspFile::readLightmaps(const std::vector<uint8_t>& bytes) {
    const Lump& lump = lumps_[kLightmaps];
    lightmaps.resize(lump.length / kLightmapBytes);
    for (size_t i = 0; i < lightmaps.size(); ++i)
        std::memcpy(lightmaps[i].data(), bytes.data() + lump.offset + i * kLightmapBytes,
                    kLightmapBytes);
}

void BspFile::readFaces(const std::vector<uint8_t>& bytes) {
    const Lump& lump = lumps_[kFaces];
    size_t count = lump.length / kFaceRecordSize;
    faces.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* record = bytes.data() + lump.offset + i * kFaceRecordSize;
        Face& face = faces[i];
        face.texture = ReadInt(record);
        face.type = ReadInt(record + 8);
        face.firstVertex = ReadInt(record + 12);
        face.vertexCount = ReadInt(record + 16);
        face.firstMeshVertex = ReadInt(record + 20);
        face.meshVertexCount = ReadInt(record + 24);
        face.lightmap = ReadInt(record + 28);
        face.patchWidth = ReadInt(record + 96);
        face.patchHeight = ReadInt(record + 100);
        checkFace(i, face);
    }
}

void BspFile::checkFace(size_t number, const Face& face) const {
    if (face.type < kFaceBad || face.type > kFaceBillboard)
        Fail("lump 'faces': face ", number, " has unknown type ", face.type);
    if (face.type == kFaceBad || face.type == kFaceBillboard) return;  // never drawn
    if (face.texture < 0 || size_t(face.texture) >= textures.size())
        Fail("lump 'faces': face ", number, " uses texture ", face.texture, " of ",
             textures.size());
    if (face.lightmap >= 0 && size_t(face.lightmap) >= lightmaps.size())
        Fail("lump 'faces': face ", number, " uses lightmap ", face.lightmap, " of ",
             lightmaps.size());
    if (!RunInside(face.firstVertex, face.vertexCount, vertices.size()))
        Fail("lump 'faces': face ", number, " vertices ", face.firstVertex, " + ",
             face.vertexCount, " lie outside the vertex lump (", vertices.size(), ")");
    if (face.type == kFacePatch) {
        if (face.patchWidth < 3 || face.patchHeight < 3 || face.patchWidth % 2 == 0 ||
            face.patchHeight % 2 == 0)
            Fail("lump 'faces': patch face ", number, " has size ", face.patchWidth, " x ",
                 face.patchHeight, " (both must be odd and at least 3)");
        if (face.patchWidth > kMaxPatchSide || face.patchHeight > kMaxPatchSide)
            Fail("lump 'faces': patch face ", number, " has size ", face.patchWidth, " x ",
                 face.patchHeight, " (at most ", kMaxPatchSide, " each)");
        if (int64_t(face.patchWidth) * face.patchHeight != face.vertexCount)
            Fail("lump 'faces': patch face ", number, " has size ", face.patchWidth, " x ",
                 face.patchHeight, " but ", face.vertexCount, " control vertices");
        return;
    }
    if (!RunInside(face.firstMeshVertex, face.meshVertexCount, meshVertices.size()))
        Fail("lump 'faces': face ", number, " mesh vertices ", face.firstMeshVertex, " + ",
             face.meshVertexCount, " lie outside the mesh vertex lump (",
             meshVertices.size(), ")");
    if (face.meshVertexCount % 3 != 0)
        Fail("lump 'faces': face ", number, " has ", face.meshVertexCount,
             " mesh vertices, not a whole number of triangles");
    for (int32_t k = 0; k < face.meshVertexCount; ++k) {
        int32_t offset = meshVertices[size_t(face.firstMeshVertex) + size_t(k)];
        if (offset < 0 || offset >= face.vertexCount)
            Fail("lump 'mesh vertices': face ", number, " mesh vertex ", k, " is ", offset,
                 ", outside the face's ", face.vertexCount, " vertices");
    }
}

}  // namespace bsp
