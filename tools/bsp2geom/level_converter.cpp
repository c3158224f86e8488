#include "level_converter.h"

#include "pk3_archive.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>

namespace bsp {
namespace {

using tundra_formats::GeomLevel;
using tundra_formats::GeomLightmap;
using tundra_formats::GeomPolygon;
using tundra_formats::GeomTexture;
using tundra_formats::GeomVertex;

using VertexFan = std::vector<Vertex>;

// Surface coordinates beyond this size have lost their fractional part in
// single precision (the step between floats is 1/128 here), so they cannot
// place a texture; such faces get coordinates planned from their positions.
constexpr double kUsableCoordinate = 65536.0;
// Texture repeats per world unit for planned coordinates: one 128-unit tile,
// the size of a typical wall texture at the editor's default scale.
constexpr double kPlannedScale = 1.0 / 128.0;
constexpr uint8_t kNeutralLight = 128;

// All the pieces one level face became, with the state they are drawn with.
struct FacePieces {
    int face;
    int texture;
    int lightmap;  // index into the output lightmaps
    std::vector<VertexFan> fans;
};

VertexFan Gather(const std::vector<Vertex>& vertices, const Fan& fan) {
    VertexFan out;
    for (int index : fan) out.push_back(vertices[size_t(index)]);
    return out;
}

std::vector<Vertex> FaceVertices(const BspFile& bsp, const Face& face) {
    auto first = bsp.vertices.begin() + face.firstVertex;
    return std::vector<Vertex>(first, first + face.vertexCount);
}

std::vector<Triangle> FaceTriangles(const BspFile& bsp, const Face& face) {
    std::vector<Triangle> triangles;
    for (int32_t k = 0; k + 2 < face.meshVertexCount; k += 3) {
        const int32_t* m = &bsp.meshVertices[size_t(face.firstMeshVertex + k)];
        triangles.push_back({m[0], m[1], m[2]});
    }
    return triangles;
}

std::vector<Vec3> Positions(const std::vector<Vertex>& vertices) {
    std::vector<Vec3> positions;
    for (const Vertex& v : vertices)
        positions.push_back({v.position[0], v.position[1], v.position[2]});
    return positions;
}

std::vector<VertexFan> PolygonFans(const BspFile& bsp, const Face& face, ConvertStats& stats,
                                   bool polygon) {
    std::vector<Vertex> vertices = FaceVertices(bsp, face);
    std::vector<Triangle> triangles = FaceTriangles(bsp, face);
    std::vector<Fan> fans = polygon ? BuildFans(Positions(vertices), triangles)
                                    : MergeTrianglesIntoFans(triangles);
    if (polygon && fans.size() == 1) ++stats.singleFanFaces;
    std::vector<VertexFan> out;
    for (const Fan& fan : fans) out.push_back(Gather(vertices, fan));
    return out;
}

// --- Bezier patches ---------------------------------------------------------

Vertex Blend3(const Vertex& a, const Vertex& b, const Vertex& c, double t) {
    double wa = (1 - t) * (1 - t), wb = 2 * t * (1 - t), wc = t * t;
    Vertex out;
    auto mix = [&](const float* pa, const float* pb, const float* pc, float* o, int n) {
        for (int k = 0; k < n; ++k) o[k] = float(wa * pa[k] + wb * pb[k] + wc * pc[k]);
    };
    mix(a.position, b.position, c.position, out.position, 3);
    mix(a.surface, b.surface, c.surface, out.surface, 2);
    mix(a.lightmap, b.lightmap, c.lightmap, out.lightmap, 2);
    mix(a.normal, b.normal, c.normal, out.normal, 3);
    return out;
}

// The surface point at grid position (i, j) of the whole patch: each 3 x 3
// control block spans `level` grid steps in each direction.
Vertex PatchPoint(const std::vector<Vertex>& control, int width, int height, int level, int i,
                  int j) {
    int column = std::min(i / level, (width - 1) / 2 - 1),
        row = std::min(j / level, (height - 1) / 2 - 1);
    double s = double(i - column * level) / level, t = double(j - row * level) / level;
    auto at = [&](int a, int b) -> const Vertex& {
        return control[size_t((2 * row + b) * width + 2 * column + a)];
    };
    Vertex c0 = Blend3(at(0, 0), at(0, 1), at(0, 2), t);
    Vertex c1 = Blend3(at(1, 0), at(1, 1), at(1, 2), t);
    Vertex c2 = Blend3(at(2, 0), at(2, 1), at(2, 2), t);
    return Blend3(c0, c1, c2, s);
}

Vec3 PositionOf(const Vertex& v) { return {v.position[0], v.position[1], v.position[2]}; }
Vec3 NormalOf(const Vertex& v) { return {v.normal[0], v.normal[1], v.normal[2]}; }

// Covers the grid with fans around every other grid point, each taking the
// 2 x 2 cells around it (eight triangles in one fan); a row or column left
// over when the grid has an odd number of cells is covered cell by cell.
std::vector<Fan> GridFans(int columns, int rows) {
    auto id = [&](int i, int j) { return j * columns + i; };
    std::vector<Fan> fans;
    for (int j = 0; j + 1 < rows; j += 2)
        for (int i = 0; i + 1 < columns; i += 2) {
            if (i + 2 < columns && j + 2 < rows) {
                fans.push_back({id(i + 1, j + 1), id(i, j), id(i + 1, j), id(i + 2, j),
                                id(i + 2, j + 1), id(i + 2, j + 2), id(i + 1, j + 2), id(i, j + 2),
                                id(i, j + 1), id(i, j)});
                continue;
            }
            for (int b = j; b < std::min(j + 2, rows - 1); ++b)
                for (int a = i; a < std::min(i + 2, columns - 1); ++a)
                    fans.push_back({id(a, b), id(a + 1, b), id(a + 1, b + 1), id(a, b + 1)});
        }
    return fans;
}

// Stored triangles run clockwise seen from the side the normals point to
// (their cross product points away from the normal). Patches carry no
// triangles, so their fans are turned to match by the same measure.
std::vector<VertexFan> PatchFans(const BspFile& bsp, const Face& face, int level) {
    std::vector<Vertex> control = FaceVertices(bsp, face);
    int columns = (face.patchWidth - 1) / 2 * level + 1,
        rows = (face.patchHeight - 1) / 2 * level + 1;
    std::vector<Vertex> grid;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i)
            grid.push_back(PatchPoint(control, face.patchWidth, face.patchHeight, level, i, j));
    std::vector<VertexFan> fans;
    double facing = 0;
    for (const Fan& fan : GridFans(columns, rows)) {
        for (const Triangle& t : FanTriangles(fan)) {
            const Vertex &a = grid[size_t(t[0])], &b = grid[size_t(t[1])], &c = grid[size_t(t[2])];
            Vec3 across = Cross(PositionOf(b) - PositionOf(a), PositionOf(c) - PositionOf(a));
            facing += Dot(across, NormalOf(a) + NormalOf(b) + NormalOf(c));
        }
        fans.push_back(Gather(grid, fan));
    }
    if (facing > 0)
        for (VertexFan& fan : fans) std::reverse(fan.begin() + 1, fan.end());
    return fans;
}

// --- texture coordinates ------------------------------------------------------

bool Usable(const FacePieces& pieces) {
    for (const VertexFan& fan : pieces.fans)
        for (const Vertex& v : fan)
            for (float c : v.surface)
                if (!std::isfinite(c) || std::fabs(c) > kUsableCoordinate) return false;
    return true;
}

// Projects the positions onto the plane the face is most nearly parallel to.
void PlanCoordinates(FacePieces& pieces) {
    Vec3 normal;
    for (const VertexFan& fan : pieces.fans) normal = normal + NormalOf(fan[0]);
    double ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
    int u = ax >= ay && ax >= az ? 1 : 0;
    int v = az >= ax && az >= ay ? 1 : 2;
    for (VertexFan& fan : pieces.fans)
        for (Vertex& vertex : fan) {
            vertex.surface[0] = float(vertex.position[u] * kPlannedScale);
            vertex.surface[1] = float(-vertex.position[v] * kPlannedScale);
        }
}

// Moves the face's surface coordinates by whole repeats so the smallest lies
// in 0 .. 1: wrapping draws the same image, and single precision keeps its
// fractional digits. Returns whether anything moved.
bool Rebase(FacePieces& pieces) {
    double low[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    for (const VertexFan& fan : pieces.fans)
        for (const Vertex& v : fan)
            for (int k = 0; k < 2; ++k) low[k] = std::min(low[k], double(v.surface[k]));
    double shift[2] = {std::floor(low[0]), std::floor(low[1])};
    if (shift[0] == 0 && shift[1] == 0) return false;
    for (VertexFan& fan : pieces.fans)
        for (Vertex& v : fan)
            for (int k = 0; k < 2; ++k) v.surface[k] = float(v.surface[k] - shift[k]);
    return true;
}

void FixSurfaceCoordinates(FacePieces& pieces, ConvertStats& stats) {
    if (pieces.fans.empty()) return;
    if (!Usable(pieces)) {
        PlanCoordinates(pieces);
        ++stats.replannedFaces;
    }
    if (Rebase(pieces)) ++stats.rebasedFaces;
}

// --- lightmaps ---------------------------------------------------------------

// Brightens by 2^shift and scales back colours that would clip, keeping their
// hue (the way the game itself brightens its lightmaps).
void Brighten(GeomLightmap& page, int shift) {
    if (shift == 0) return;
    for (size_t i = 0; i < GeomLightmap::kTexelBytes; i += 3) {
        int rgb[3] = {page.rgb[i] << shift, page.rgb[i + 1] << shift, page.rgb[i + 2] << shift};
        int top = std::max({rgb[0], rgb[1], rgb[2]});
        for (int k = 0; k < 3; ++k)
            page.rgb[i + size_t(k)] = uint8_t(top > 255 ? rgb[k] * 255 / top : rgb[k]);
    }
}

void CopyLightmaps(const BspFile& bsp, const ConvertOptions& options, GeomLevel& level) {
    for (const LightmapPage& source : bsp.lightmaps) {
        GeomLightmap page;
        std::copy(source.begin(), source.end(), page.rgb.begin());
        Brighten(page, options.overbrightShift);
        level.lightmaps.push_back(page);
    }
}

// --- assembly ------------------------------------------------------------------

bool Skipped(const BspFile& bsp, const Face& face, const ConvertOptions& options) {
    if (face.type != kFacePolygon && face.type != kFaceMesh && face.type != kFacePatch) return true;
    int32_t flags = bsp.textures[size_t(face.texture)].surfaceFlags;
    if (flags & kSurfaceNoDraw) return true;
    return (flags & kSurfaceSky) && !options.keepSky;
}

std::vector<VertexFan> FansOf(const BspFile& bsp, const Face& face, const ConvertOptions& options,
                              ConvertStats& stats) {
    switch (face.type) {
        case kFacePolygon: ++stats.polygonFaces; return PolygonFans(bsp, face, stats, true);
        case kFaceMesh: ++stats.meshFaces; return PolygonFans(bsp, face, stats, false);
        default: ++stats.patchFaces; return PatchFans(bsp, face, options.patchLevel);
    }
}

GeomVertex ToGeomVertex(const Vertex& v) {
    Vec3 p = ToViewerSpace(v.position);
    GeomVertex out;
    out.x = float(p.x / tundra_formats::kGeomPositionScale);
    out.y = float(p.y / tundra_formats::kGeomPositionScale);
    out.z = float(p.z / tundra_formats::kGeomPositionScale);
    out.surfaceU = v.surface[0];
    out.surfaceV = v.surface[1];
    out.lightmapU = v.lightmap[0];
    out.lightmapV = v.lightmap[1];
    return out;
}

void Emit(const FacePieces& pieces, ConvertedLevel& result) {
    for (const VertexFan& fan : pieces.fans) {
        GeomPolygon polygon;
        polygon.firstVertex = int32_t(result.level.vertices.size());
        polygon.vertexCount = int32_t(fan.size());
        polygon.textureIndex = pieces.texture;
        polygon.lightmapIndex = pieces.lightmap;
        for (const Vertex& v : fan) result.level.vertices.push_back(ToGeomVertex(v));
        result.level.polygons.push_back(polygon);
        result.sourceFace.push_back(pieces.face);
    }
}

// --- visibility ----------------------------------------------------------------

using tundra_formats::GeomVisibility;

void Grow(GeomVisibility::Leaf& leaf, float x, float y, float z) {
    const float at[3] = {x, y, z};
    for (int k = 0; k < 3; ++k) {
        leaf.min[k] = std::min(leaf.min[k], at[k]);
        leaf.max[k] = std::max(leaf.max[k], at[k]);
    }
}

// Its own box when it holds no polygon, otherwise the box around its
// polygons, which is what the viewer tests against the view.
GeomVisibility::Leaf ConvertLeaf(const Leaf& source,
                                 const std::vector<std::vector<int32_t>>& polygonsOfFace,
                                 const BspFile& bsp, const GeomLevel& level,
                                 std::vector<int32_t>& leafPolygons) {
    GeomVisibility::Leaf leaf{
        source.cluster < 0 ? -1 : source.cluster, {}, {}, int32_t(leafPolygons.size()), 0};
    const Tree& tree = bsp.tree;
    for (int32_t k = 0; k < source.leafFaceCount; ++k) {
        const int32_t face = tree.leafFaces[size_t(source.firstLeafFace + k)];
        if (face < tree.firstWorldFace || face - tree.firstWorldFace >= tree.worldFaceCount)
            continue;  // a moving part: drawn in every frame
        for (int32_t polygon : polygonsOfFace[size_t(face)]) leafPolygons.push_back(polygon);
    }
    leaf.polygonCount = int32_t(leafPolygons.size()) - leaf.firstPolygon;
    const float scale = tundra_formats::kGeomPositionScale;
    const float low[3] = {float(source.mins[0]), float(source.mins[1]), float(source.mins[2])};
    const float high[3] = {float(source.maxs[0]), float(source.maxs[1]), float(source.maxs[2])};
    const Vec3 a = ToViewerSpace(low), b = ToViewerSpace(high);
    if (leaf.polygonCount == 0) {
        const float min[3] = {float(a.x / scale), float(a.y / scale), float(a.z / scale)};
        const float max[3] = {float(b.x / scale), float(b.y / scale), float(b.z / scale)};
        std::copy(min, min + 3, leaf.min);
        std::copy(max, max + 3, leaf.max);
        return leaf;
    }
    std::fill(leaf.min, leaf.min + 3, std::numeric_limits<float>::max());
    std::fill(leaf.max, leaf.max + 3, std::numeric_limits<float>::lowest());
    for (int32_t k = 0; k < leaf.polygonCount; ++k) {
        const GeomPolygon& polygon =
            level.polygons[size_t(leafPolygons[size_t(leaf.firstPolygon + k)])];
        for (int32_t v = 0; v < polygon.vertexCount; ++v) {
            const GeomVertex& vertex = level.vertices[size_t(polygon.firstVertex + v)];
            Grow(leaf, vertex.x, vertex.y, vertex.z);
        }
    }
    return leaf;
}

void CopyClusterSets(const Tree& tree, GeomVisibility& vis) {
    if (tree.numClusters > 0) {
        vis.numClusters = tree.numClusters;
        vis.bytesPerCluster = tree.bytesPerCluster;
        vis.clusterSets = tree.clusterSets;
        return;
    }
    // No visibility data: every cluster sees every other.
    for (const Leaf& leaf : tree.leaves)
        vis.numClusters = std::max(vis.numClusters, leaf.cluster + 1);
    vis.bytesPerCluster = (vis.numClusters + 7) / 8;
    vis.clusterSets.assign(size_t(vis.numClusters) * size_t(vis.bytesPerCluster), 0xFF);
}

// A face belongs to a few leaves in a real level; a damaged one naming its
// largest patch in every entry of its leaf face list would make the list
// of leaf polygons grow beyond any use (and memory).
bool TooManyLeafPolygons(const Tree& tree, const std::vector<std::vector<int32_t>>& polygonsOfFace,
                         size_t polygons) {
    const size_t limit = std::max<size_t>(size_t(1) << 20, 64 * polygons);
    size_t total = 0;
    for (int32_t face : tree.leafFaces)
        if ((total += polygonsOfFace[size_t(face)].size()) > limit) return true;
    return false;
}

std::optional<GeomVisibility> ConvertTree(const BspFile& bsp, ConvertedLevel& result) {
    const Tree& tree = bsp.tree;
    if (tree.nodes.empty()) return std::nullopt;
    std::vector<std::vector<int32_t>> polygonsOfFace(bsp.faces.size());
    for (size_t p = 0; p < result.sourceFace.size(); ++p)
        polygonsOfFace[size_t(result.sourceFace[p])].push_back(int32_t(p));
    if (TooManyLeafPolygons(tree, polygonsOfFace, result.level.polygons.size())) {
        result.treeProblem = "its leaves name far more polygons than the level has";
        return std::nullopt;
    }
    GeomVisibility vis;
    for (const Plane& plane : tree.planes) {
        const Vec3 normal = ToViewerSpace(plane.normal);
        vis.planes.push_back({{float(normal.x), float(normal.y), float(normal.z)},
                              plane.distance / tundra_formats::kGeomPositionScale});
    }
    for (const Node& node : tree.nodes)
        vis.nodes.push_back({node.plane, node.children[0], node.children[1]});
    for (const Leaf& leaf : tree.leaves)
        vis.leaves.push_back(
            ConvertLeaf(leaf, polygonsOfFace, bsp, result.level, vis.leafPolygons));
    CopyClusterSets(tree, vis);
    return vis;
}

void CheckOptions(const ConvertOptions& options) {
    if (options.patchLevel < 1 || options.patchLevel > kMaxPatchLevel)
        throw BspError("patch level " + std::to_string(options.patchLevel) + " is outside 1 .. " +
                       std::to_string(kMaxPatchLevel));
    if (options.overbrightShift < 0 || options.overbrightShift > 2)
        throw BspError("overbright shift " + std::to_string(options.overbrightShift) +
                       " is outside 0 .. 2");
}

}  // namespace

Vec3 ToViewerSpace(const float position[3]) { return {position[0], position[2], position[1]}; }

std::array<float, 6> PlacementAt(const SpawnPoint& spawn) {
    const float eye[3] = {spawn.origin[0], spawn.origin[1], spawn.origin[2] + kEyeHeight};
    const Vec3 at = ToViewerSpace(eye);
    // Level yaw 90 looks along +y there, which is +z here (camera yaw 0);
    // turning right from +z reaches +x, which is level yaw 0.
    const float yaw = float((90.0 - spawn.yawDegrees) * M_PI / 180.0);
    return {float(at.x), float(at.y), float(at.z), 0.0f, yaw, 0.0f};
}

ConvertedLevel ConvertLevel(const BspFile& bsp, const ConvertOptions& options) {
    CheckOptions(options);
    ConvertedLevel result;
    ConvertStats& stats = result.stats;
    for (const Texture& texture : bsp.textures) result.level.textures.push_back({texture.name, 0});
    CopyLightmaps(bsp, options, result.level);
    const int neutralLightmap = int(result.level.lightmaps.size());

    std::vector<FacePieces> faces;
    for (size_t i = 0; i < bsp.faces.size(); ++i) {
        const Face& face = bsp.faces[i];
        if (Skipped(bsp, face, options)) {
            ++stats.skippedFaces;
            continue;
        }
        FacePieces pieces{int(i), face.texture,
                          face.lightmap >= 0 ? face.lightmap : neutralLightmap,
                          FansOf(bsp, face, options, stats)};
        if (pieces.fans.empty()) {
            ++stats.skippedFaces;
            continue;
        }
        FixSurfaceCoordinates(pieces, stats);
        stats.neutralLightmapAdded |= pieces.lightmap == neutralLightmap;
        faces.push_back(std::move(pieces));
    }
    if (stats.neutralLightmapAdded) {
        result.level.lightmaps.emplace_back();
        result.level.lightmaps.back().fill(kNeutralLight, kNeutralLight, kNeutralLight);
    }
    // Draw order: all faces of one texture and lightmap together, lightmap
    // first. The viewer gives every texture slot the same surface texture, so
    // the lightmap is the texture binding that really changes between faces;
    // grouping by it first changes it once per page instead of at every
    // surface-texture boundary (about 650 against 115 on the larger maps).
    std::stable_sort(faces.begin(), faces.end(), [](const FacePieces& a, const FacePieces& b) {
        return std::tie(a.lightmap, a.texture) < std::tie(b.lightmap, b.texture);
    });
    for (const FacePieces& pieces : faces) Emit(pieces, result);
    result.treeProblem = bsp.tree.problem;
    if (options.visibility) result.level.visibility = ConvertTree(bsp, result);
    result.spawnPoints = SpawnPoints(bsp.entities);
    return result;
}

ConvertedLevel ConvertFile(const std::string& path, const std::string& mapName,
                           const ConvertOptions& options) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    if (!mapName.empty()) bytes = Pk3Archive(std::move(bytes)).extract(mapName);
    return ConvertLevel(BspFile(bytes), options);
}

}  // namespace bsp
