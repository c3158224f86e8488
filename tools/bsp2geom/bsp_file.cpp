#include "bsp_file.h"

#include "common/byte_reader.h"
#include "common/message_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace bsp {
namespace {

const char* const kLumpNames[kLumpCount] = {
    "entities",     "textures", "planes",    "nodes",         "leafs",          "leaf faces",
    "leaf brushes", "models",   "brushes",   "brush sides",   "vertices",       "mesh vertices",
    "effects",      "faces",    "lightmaps", "light volumes", "visibility data"};

// Record size of each lump; 1 for lumps of free-form bytes.
const size_t kRecordSizes[kLumpCount] = {1,
                                         kTextureRecordSize,
                                         16,
                                         36,
                                         48,
                                         4,
                                         4,
                                         40,
                                         12,
                                         8,
                                         kVertexRecordSize,
                                         4,
                                         72,
                                         kFaceRecordSize,
                                         kLightmapBytes,
                                         8,
                                         1};

constexpr int32_t kVersion = 46;

template <typename... Parts>
[[noreturn]] void Fail(const Parts&... parts) {
    throw BspError(MessageText(parts...));
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
    entities = ByteReader(bytes.data() + text.offset, text.length).text(text.length);
    readRecords(bytes, kTextures, textures, [](ByteReader& fields, Texture& texture) {
        texture.name = fields.text(64);
        texture.surfaceFlags = fields.i32();
        texture.contents = fields.i32();
    });
    readRecords(bytes, kVertices, vertices, [](ByteReader& fields, Vertex& vertex) {
        for (float& value : vertex.position) value = fields.f32();
        for (float& value : vertex.surface) value = fields.f32();
        for (float& value : vertex.lightmap) value = fields.f32();
        for (float& value : vertex.normal) value = fields.f32();
    });
    readRecords(bytes, kMeshVertices, meshVertices,
                [](ByteReader& fields, int32_t& offset) { offset = fields.i32(); });
    readRecords(bytes, kLightmaps, lightmaps, [](ByteReader& fields, LightmapPage& page) {
        fields.copy(page.data(), page.size());
    });
    readRecords(bytes, kFaces, faces, [](ByteReader& fields, Face& face) {
        face.texture = fields.i32();
        face.type = fields.seek(8).i32();
        face.firstVertex = fields.i32();
        face.vertexCount = fields.i32();
        face.firstMeshVertex = fields.i32();
        face.meshVertexCount = fields.i32();
        face.lightmap = fields.i32();
        face.patchWidth = fields.seek(96).i32();
        face.patchHeight = fields.i32();
    });
    for (size_t i = 0; i < faces.size(); ++i) checkFace(i, faces[i]);
    readTree(bytes);
}

// Each record of a lump that checkLump has passed, one reader per record.
template <typename Record, typename Read>
void BspFile::readRecords(const std::vector<uint8_t>& bytes, LumpIndex index,
                          std::vector<Record>& records, Read read) const {
    const Lump& lump = lumps_[index];
    const size_t recordSize = kRecordSizes[index];
    records.resize(lump.length / recordSize);
    for (size_t i = 0; i < records.size(); ++i) {
        ByteReader fields(bytes.data() + lump.offset + i * recordSize, recordSize);
        read(fields, records[i]);
    }
}

void BspFile::readHeader(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < kHeaderSize)
        Fail("header: file is ", bytes.size(), " bytes, shorter than the ", kHeaderSize,
             "-byte header");
    if (std::memcmp(bytes.data(), "IBSP", 4) != 0) Fail("header: magic is not \"IBSP\"");
    ByteReader header(bytes.data(), kHeaderSize);
    int32_t version = header.seek(4).i32();
    if (version != kVersion)
        Fail("header: version ", version, " is not supported (only ", kVersion, ")");
    for (Lump& lump : lumps_) {
        lump.offset = header.u32();
        lump.length = header.u32();
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
        Fail("lump 'faces': face ", number, " vertices ", face.firstVertex, " + ", face.vertexCount,
             " lie outside the vertex lump (", vertices.size(), ")");
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
             face.meshVertexCount, " lie outside the mesh vertex lump (", meshVertices.size(), ")");
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

namespace bsp {

void BspFile::readTree(const std::vector<uint8_t>& bytes) {
    readRecords(bytes, kPlanes, tree.planes, [](ByteReader& fields, Plane& plane) {
        for (float& value : plane.normal) value = fields.f32();
        plane.distance = fields.f32();
    });
    readRecords(bytes, kNodes, tree.nodes, [](ByteReader& fields, Node& node) {
        node.plane = fields.i32();
        for (int32_t& child : node.children) child = fields.i32();
    });
    readRecords(bytes, kLeafs, tree.leaves, [](ByteReader& fields, Leaf& leaf) {
        leaf.cluster = fields.i32();
        fields.skip(4);  // area
        for (int32_t& value : leaf.mins) value = fields.i32();
        for (int32_t& value : leaf.maxs) value = fields.i32();
        leaf.firstLeafFace = fields.i32();
        leaf.leafFaceCount = fields.i32();
    });
    readRecords(bytes, kLeafFaces, tree.leafFaces,
                [](ByteReader& fields, int32_t& face) { face = fields.i32(); });
    tree.worldFaceCount = int32_t(faces.size());
    if (lumps_[kModels].length >= 40) {
        ByteReader model(bytes.data() + lumps_[kModels].offset, 40);
        tree.firstWorldFace = model.seek(24).i32();
        tree.worldFaceCount = model.i32();
    }
    try {
        readVisData(bytes);
        checkTree();
    } catch (const BspError& error) {
        tree = Tree();
        tree.problem = error.what();
    }
}

void BspFile::readVisData(const std::vector<uint8_t>& bytes) {
    const Lump& lump = lumps_[kVisData];
    if (lump.length == 0) return;
    if (lump.length < 8) Fail("lump 'visibility data': ", lump.length, " bytes, no header");
    ByteReader header(bytes.data() + lump.offset, 8);
    const int32_t clusters = header.i32();
    const int32_t rowBytes = header.i32();
    if (clusters < 0 || rowBytes < 0 || int64_t(rowBytes) * 8 < clusters ||
        8 + int64_t(clusters) * rowBytes > int64_t(lump.length))
        Fail("lump 'visibility data': ", clusters, " clusters of ", rowBytes,
             " bytes do not fit its ", lump.length, " bytes");
    tree.numClusters = clusters;
    tree.bytesPerCluster = rowBytes;
    const uint8_t* sets = bytes.data() + lump.offset + 8;
    tree.clusterSets.assign(sets, sets + int64_t(clusters) * rowBytes);
}

void BspFile::checkTree() const {
    for (size_t i = 0; i < tree.nodes.size(); ++i) {
        const Node& node = tree.nodes[i];
        if (node.plane < 0 || size_t(node.plane) >= tree.planes.size())
            Fail("lump 'nodes': node ", i, " uses plane ", node.plane, " of ", tree.planes.size());
        for (int32_t child : node.children) {
            bool inside = child >= 0 ? size_t(child) < tree.nodes.size()
                                     : size_t(-(int64_t(child) + 1)) < tree.leaves.size();
            if (!inside) Fail("lump 'nodes': node ", i, " has child ", child, " outside the tree");
        }
    }
    for (size_t i = 0; i < tree.leaves.size(); ++i) {
        const Leaf& leaf = tree.leaves[i];
        if (tree.numClusters > 0 && leaf.cluster >= tree.numClusters)
            Fail("lump 'leafs': leaf ", i, " is in cluster ", leaf.cluster, " of ",
                 tree.numClusters);
        if (!RunInside(leaf.firstLeafFace, leaf.leafFaceCount, tree.leafFaces.size()))
            Fail("lump 'leafs': leaf ", i, " faces ", leaf.firstLeafFace, " + ", leaf.leafFaceCount,
                 " lie outside the leaf face lump");
    }
    if (!RunInside(tree.firstWorldFace, tree.worldFaceCount, faces.size()))
        Fail("lump 'models': the level's faces ", tree.firstWorldFace, " + ", tree.worldFaceCount,
             " lie outside the face lump (", faces.size(), ")");
    for (size_t i = 0; i < tree.leafFaces.size(); ++i)
        if (tree.leafFaces[i] < 0 || size_t(tree.leafFaces[i]) >= faces.size())
            Fail("lump 'leaf faces': entry ", i, " is face ", tree.leafFaces[i], " of ",
                 faces.size());
}

}  // namespace bsp
