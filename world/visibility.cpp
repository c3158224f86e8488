#include "world/visibility.h"

#include "common/byte_reader.h"
#include "common/message_text.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr std::int64_t kHeaderBytes = 32, kPlaneBytes = 16, kNodeBytes = 12, kLeafBytes = 36,
                       kLeafPolygonBytes = 4;
constexpr int32_t kVersion = 1;
// Boxes are kept unless they lie this far (world units) outside a frustum
// plane: rounding in the plane equations must never hide a visible polygon.
constexpr float kFrustumSlack = 0.5f;

bool Finite(const float* values, int count) {
    for (int k = 0; k < count; ++k)
        if (!std::isfinite(values[k])) return false;
    return true;
}

struct Counts {
    int32_t planes, nodes, leaves, leafPolygons, clusters, bytesPerCluster;
};

std::string CheckCounts(const Counts& c, std::int64_t size) {
    if (c.planes < 0 || c.nodes < 0 || c.leaves < 0 || c.leafPolygons < 0 || c.clusters < 0 ||
        c.bytesPerCluster < 0)
        return "a negative count";
    if (c.nodes == 0) return "no nodes";
    if (c.bytesPerCluster < (std::int64_t(c.clusters) + 7) / 8)
        return MessageText("visible sets of ", c.bytesPerCluster, " bytes for ", c.clusters,
                           " clusters");
    const std::int64_t needed = kHeaderBytes + kPlaneBytes * c.planes + kNodeBytes * c.nodes +
                                kLeafBytes * c.leaves + kLeafPolygonBytes * c.leafPolygons +
                                std::int64_t(c.clusters) * c.bytesPerCluster;
    if (needed != size) return MessageText("its counts need ", needed, " bytes, it has ", size);
    return "";
}

std::string CheckChild(int32_t child, const VisibilityData& data, std::size_t node) {
    const bool inside = child >= 0 ? std::size_t(child) < data.nodes.size()
                                   : std::size_t(-(std::int64_t(child) + 1)) < data.leaves.size();
    return inside ? "" : MessageText("node ", node, " has child ", child, " outside the tree");
}

std::string CheckNodes(const VisibilityData& data) {
    for (std::size_t i = 0; i < data.nodes.size(); ++i) {
        const VisibilityNode& node = data.nodes[i];
        if (node.plane < 0 || std::size_t(node.plane) >= data.planes.size())
            return MessageText("node ", i, " has plane ", node.plane, " of ", data.planes.size());
        for (int32_t child : {node.front, node.back}) {
            const std::string problem = CheckChild(child, data, i);
            if (!problem.empty()) return problem;
        }
    }
    // Every node must be reached once from the root, so the walk ends.
    std::vector<bool> reached(data.nodes.size(), false);
    std::vector<int32_t> pending = {0};
    reached[0] = true;
    while (!pending.empty()) {
        const VisibilityNode& node = data.nodes[std::size_t(pending.back())];
        pending.pop_back();
        for (int32_t child : {node.front, node.back}) {
            if (child < 0) continue;
            if (reached[std::size_t(child)])
                return MessageText("node ", child, " is reached twice: the tree has a loop");
            reached[std::size_t(child)] = true;
            pending.push_back(child);
        }
    }
    return "";
}

std::string CheckLeaves(const VisibilityData& data, int32_t numPolygons) {
    for (std::size_t i = 0; i < data.leaves.size(); ++i) {
        const VisibilityLeaf& leaf = data.leaves[i];
        if (leaf.cluster < -1 || leaf.cluster >= data.numClusters)
            return MessageText("leaf ", i, " has cluster ", leaf.cluster, " of ", data.numClusters);
        if (!Finite(leaf.min, 3) || !Finite(leaf.max, 3))
            return MessageText("leaf ", i, " has bounds that are not finite");
        if (leaf.firstPolygon < 0 || leaf.polygonCount < 0 ||
            std::int64_t(leaf.firstPolygon) + leaf.polygonCount >
                std::int64_t(data.leafPolygons.size()))
            return MessageText("leaf ", i, " has polygons ", leaf.firstPolygon, " + ",
                               leaf.polygonCount, " of ", data.leafPolygons.size());
    }
    for (std::size_t i = 0; i < data.leafPolygons.size(); ++i)
        if (data.leafPolygons[i] < 0 || data.leafPolygons[i] >= numPolygons)
            return MessageText("leaf polygon ", i, " is polygon ", data.leafPolygons[i], " of ",
                               numPolygons);
    return "";
}

void ReadRecords(ByteReader& in, const Counts& c, VisibilityData& data) {
    data.planes.resize(std::size_t(c.planes));
    for (VisibilityPlane& plane : data.planes) {
        for (float& n : plane.normal) n = in.f32();
        plane.distance = in.f32();
    }
    data.nodes.resize(std::size_t(c.nodes));
    for (VisibilityNode& node : data.nodes) {
        node.plane = in.i32();
        node.front = in.i32();
        node.back = in.i32();
    }
    data.leaves.resize(std::size_t(c.leaves));
    for (VisibilityLeaf& leaf : data.leaves) {
        leaf.cluster = in.i32();
        for (float& m : leaf.min) m = in.f32();
        for (float& m : leaf.max) m = in.f32();
        leaf.firstPolygon = in.i32();
        leaf.polygonCount = in.i32();
    }
    data.leafPolygons.resize(std::size_t(c.leafPolygons));
    for (int32_t& polygon : data.leafPolygons) polygon = in.i32();
    data.numClusters = c.clusters;
    data.bytesPerCluster = c.bytesPerCluster;
    data.clusterSets.resize(std::size_t(std::int64_t(c.clusters) * c.bytesPerCluster));
    if (!data.clusterSets.empty()) in.copy(data.clusterSets.data(), data.clusterSets.size());
}

void Scale(VisibilityData& data, float scale) {
    for (VisibilityPlane& plane : data.planes) plane.distance *= scale;
    for (VisibilityLeaf& leaf : data.leaves)
        for (int k = 0; k < 3; ++k) {
            leaf.min[k] *= scale;
            leaf.max[k] *= scale;
        }
}

}  // namespace

std::string ReadVisibilitySection(const unsigned char* bytes, std::size_t size, int32_t numPolygons,
                                  float positionScale, VisibilityData& data) {
    if (size < std::size_t(kHeaderBytes))
        return MessageText("it is shorter than its ", kHeaderBytes, "-byte header");
    ByteReader in(bytes, size);
    in.skip(sizeof kVisibilityTag);
    const int32_t version = in.i32();
    if (version != kVersion) return MessageText("version ", version, " is not ", kVersion);
    Counts c;
    c.planes = in.i32();
    c.nodes = in.i32();
    c.leaves = in.i32();
    c.leafPolygons = in.i32();
    c.clusters = in.i32();
    c.bytesPerCluster = in.i32();
    std::string problem = CheckCounts(c, std::int64_t(size));
    if (!problem.empty()) return problem;

    ReadRecords(in, c, data);
    for (std::size_t i = 0; i < data.planes.size(); ++i)
        if (!Finite(data.planes[i].normal, 3) || !Finite(&data.planes[i].distance, 1))
            return MessageText("plane ", i, " is not finite");
    problem = CheckNodes(data);
    if (problem.empty()) problem = CheckLeaves(data, numPolygons);
    if (problem.empty()) Scale(data, positionScale);
    return problem;
}

Visibility::Visibility(const VisibilityData& data, const std::vector<int32_t>& faceOfPolygon,
                       std::vector<FaceBox> faceBoxes)
    : planes_(data.planes),
      nodes_(data.nodes),
      faceBoxes_(std::move(faceBoxes)),
      numClusters_(data.numClusters),
      bytesPerCluster_(data.bytesPerCluster),
      clusterSets_(data.clusterSets),
      mark_(faceBoxes_.size(), 0) {
    const std::size_t faceCount = faceBoxes_.size();
    std::vector<bool> held(faceCount, false);
    for (const VisibilityLeaf& source : data.leaves) {
        Leaf leaf{source.cluster, {}, {}, faces_.size(), 0};
        std::memcpy(leaf.min, source.min, sizeof leaf.min);
        std::memcpy(leaf.max, source.max, sizeof leaf.max);
        for (int32_t k = 0; k < source.polygonCount; ++k) {
            const int32_t face =
                faceOfPolygon[std::size_t(data.leafPolygons[std::size_t(source.firstPolygon + k)])];
            if (face < 0) continue;  // dropped by the World
            faces_.push_back(uint32_t(face));
            held[std::size_t(face)] = true;
        }
        leaf.faceCount = faces_.size() - leaf.firstFace;
        leaves_.push_back(leaf);
    }
    for (std::size_t face = 0; face < faceCount; ++face)
        if (!held[face]) alwaysDrawn_.push_back(uint32_t(face));
}

Visibility::~Visibility() {}

std::size_t Visibility::leafAt(const float point[3]) const {
    int32_t at = 0;
    while (at >= 0) {
        const VisibilityNode& node = nodes_[std::size_t(at)];
        const VisibilityPlane& plane = planes_[std::size_t(node.plane)];
        const float side = plane.normal[0] * point[0] + plane.normal[1] * point[1] +
                           plane.normal[2] * point[2] - plane.distance;
        at = side >= 0 ? node.front : node.back;
    }
    return std::size_t(-(std::int64_t(at) + 1));
}

bool Visibility::clusterSees(int32_t from, int32_t to) const {
    const uint8_t row =
        clusterSets_[std::size_t(from) * std::size_t(bytesPerCluster_) + std::size_t(to >> 3)];
    return (row >> (to & 7)) & 1;
}

bool Visibility::BoxOutside(const Plane& plane, const float min[3], const float max[3]) {
    // The corner furthest along the plane's normal.
    const float x = plane.a >= 0 ? max[0] : min[0];
    const float y = plane.b >= 0 ? max[1] : min[1];
    const float z = plane.c >= 0 ? max[2] : min[2];
    return plane.a * x + plane.b * y + plane.c * z + plane.d < -kFrustumSlack;
}

bool Visibility::BoxInView(const Plane (&frustum)[6], const float min[3], const float max[3]) {
    for (const Plane& plane : frustum)
        if (BoxOutside(plane, min, max)) return false;
    return true;
}

// A face that several leaves hold may be tested more than once in a frame.
void Visibility::selectInView(uint32_t face, const Plane (&frustum)[6]) {
    const FaceBox& box = faceBoxes_[face];
    if (mark_[face] != frame_ && BoxInView(frustum, box.min, box.max)) mark_[face] = frame_;
}

bool Visibility::select(const float eye[3], const float viewProjection[4][4]) {
    const int32_t cluster = leaves_.empty() ? -1 : leaves_[leafAt(eye)].cluster;
    if (cluster < 0) return false;
    // Clip-space x, y and z are the dot products of [p 1] with the matrix's
    // first three columns, w with its fourth: inside means -w <= x, y <= w
    // and 0 <= z <= w.
    const float wFactor[6] = {1, 1, 1, 1, 0, 1};
    const int axis[6] = {0, 0, 1, 1, 2, 2};
    const float axisFactor[6] = {1, -1, 1, -1, 1, -1};
    Plane frustum[6];
    for (int p = 0; p < 6; ++p) {
        float e[4];
        for (int k = 0; k < 4; ++k)
            e[k] = wFactor[p] * viewProjection[k][3] + axisFactor[p] * viewProjection[k][axis[p]];
        const float length = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        const float scale = length > 0 ? 1.0f / length : 0.0f;
        frustum[p] = {e[0] * scale, e[1] * scale, e[2] * scale, e[3] * scale};
    }

    ++frame_;
    for (uint32_t face : alwaysDrawn_) selectInView(face, frustum);
    for (const Leaf& leaf : leaves_) {
        if (leaf.cluster < 0 || leaf.faceCount == 0 || !clusterSees(cluster, leaf.cluster) ||
            !BoxInView(frustum, leaf.min, leaf.max))
            continue;
        for (std::size_t k = 0; k < leaf.faceCount; ++k)
            selectInView(faces_[leaf.firstFace + k], frustum);
    }
    return true;
}
