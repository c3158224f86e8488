#include "tools/common/world_writer.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace tundra_formats {

namespace {

class ByteSink {
public:
    explicit ByteSink(std::vector<uint8_t>& out) : out_(out) {}

    void u32(uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) out_.push_back(uint8_t(value >> shift));
    }
    void i32(int32_t value) { u32(static_cast<uint32_t>(value)); }
    void f32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        u32(bits);
    }
    void bytes(const uint8_t* data, std::size_t count) {
        out_.insert(out_.end(), data, data + count);
    }

private:
    std::vector<uint8_t>& out_;
};

int32_t CountOr(const std::optional<int32_t>& override, std::size_t actual) {
    return override ? *override : static_cast<int32_t>(actual);
}

void WriteVertex(ByteSink& sink, const GeomVertex& v) {
    sink.f32(v.surfaceU);
    sink.f32(v.surfaceV);
    sink.f32(v.lightmapU);
    sink.f32(v.lightmapV);
    sink.f32(v.x);
    sink.f32(v.y);
    sink.f32(v.z);
}

void WritePolygon(ByteSink& sink, const GeomPolygon& p) {
    sink.i32(p.firstVertex);
    sink.i32(p.vertexCount);
    sink.i32(p.textureIndex);
    sink.i32(p.lightmapIndex);
    sink.i32(p.unusedWord);
    sink.bytes(p.unusedBytes.data(), p.unusedBytes.size());
}

void WriteTexture(ByteSink& sink, const GeomTexture& t) {
    uint8_t name[64] = {};
    std::memcpy(name, t.name.data(), std::min<std::size_t>(t.name.size(), sizeof name));
    sink.u32(t.unused);
    sink.bytes(name, sizeof name);
}

void WriteVisibility(ByteSink& sink, const GeomVisibility& vis) {
    sink.bytes(reinterpret_cast<const uint8_t*>(GeomVisibility::kTag), sizeof GeomVisibility::kTag);
    sink.i32(vis.version);
    sink.i32(CountOr(vis.planeCount, vis.planes.size()));
    sink.i32(int32_t(vis.nodes.size()));
    sink.i32(int32_t(vis.leaves.size()));
    sink.i32(int32_t(vis.leafPolygons.size()));
    sink.i32(vis.numClusters);
    sink.i32(vis.bytesPerCluster);
    for (const GeomVisibility::Plane& plane : vis.planes) {
        for (float n : plane.normal) sink.f32(n);
        sink.f32(plane.distance);
    }
    for (const GeomVisibility::Node& node : vis.nodes) {
        sink.i32(node.plane);
        sink.i32(node.front);
        sink.i32(node.back);
    }
    for (const GeomVisibility::Leaf& leaf : vis.leaves) {
        sink.i32(leaf.cluster);
        for (float m : leaf.min) sink.f32(m);
        for (float m : leaf.max) sink.f32(m);
        sink.i32(leaf.firstPolygon);
        sink.i32(leaf.polygonCount);
    }
    for (int32_t polygon : vis.leafPolygons) sink.i32(polygon);
    sink.bytes(vis.clusterSets.data(), vis.clusterSets.size());
}

}  // namespace

constexpr char GeomVisibility::kTag[4];

void GeomLightmap::setTexel(int column, int row, uint8_t red, uint8_t green, uint8_t blue) {
    uint8_t* texel = &rgb[(static_cast<std::size_t>(row) * kSize + column) * 3];
    texel[0] = red;
    texel[1] = green;
    texel[2] = blue;
}

void GeomLightmap::fill(uint8_t red, uint8_t green, uint8_t blue) {
    for (std::size_t i = 0; i < kTexelBytes; i += 3) {
        rgb[i] = red;
        rgb[i + 1] = green;
        rgb[i + 2] = blue;
    }
}

std::vector<uint8_t> EncodeWorldGeom(const GeomLevel& level, const GeomWriteOptions& options) {
    std::vector<uint8_t> out;
    out.reserve(kGeomHeaderBytes + kGeomVertexBytes * level.vertices.size() +
                kGeomPolygonBytes * level.polygons.size() +
                kGeomTextureBytes * level.textures.size() +
                kGeomLightmapBytes * level.lightmaps.size() + options.trailing.size());
    ByteSink sink(out);
    sink.i32(CountOr(options.numVertices, level.vertices.size()));
    sink.i32(CountOr(options.numPolygons, level.polygons.size()));
    sink.i32(CountOr(options.numTextures, level.textures.size()));
    sink.i32(CountOr(options.numLightmaps, level.lightmaps.size()));
    for (const GeomVertex& v : level.vertices) WriteVertex(sink, v);
    for (const GeomPolygon& p : level.polygons) WritePolygon(sink, p);
    for (const GeomTexture& t : level.textures) WriteTexture(sink, t);
    for (const GeomLightmap& l : level.lightmaps) {
        sink.u32(l.unused);
        sink.bytes(l.rgb.data(), l.rgb.size());
    }
    if (level.visibility) WriteVisibility(sink, *level.visibility);
    sink.bytes(options.trailing.data(), options.trailing.size());
    if (options.truncateTo && *options.truncateTo < out.size()) out.resize(*options.truncateTo);
    return out;
}

bool WriteWorldGeom(const std::string& path, const GeomLevel& level,
                    const GeomWriteOptions& options) {
    const std::vector<uint8_t> bytes = EncodeWorldGeom(level, options);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace tundra_formats
