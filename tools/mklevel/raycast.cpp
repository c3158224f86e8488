#include "tools/mklevel/raycast.h"

#include <algorithm>

namespace mklevel {
namespace {

constexpr int kLeafSize = 4;

float Axis(const Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

}  // namespace

void Occluder::Bounds::add(Vec3 p) {
    min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
    max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
}

void Occluder::Bounds::add(const Bounds& b) {
    add(b.min);
    add(b.max);
}

Occluder::Occluder(const std::vector<Polygon>& polygons) : polygons_(polygons) {
    for (const Polygon& polygon : polygons) {
        Bounds bounds;
        for (const Vec3& p : polygon.points) bounds.add(p);
        polygonBounds_.push_back(bounds);
        planes_.push_back({polygon.normal, Dot(polygon.normal, polygon.points.front())});
        order_.push_back(static_cast<int>(order_.size()));
    }
    if (!order_.empty()) build(0, static_cast<int>(order_.size()));
}

int Occluder::build(int first, int count) {
    Node node;
    for (int i = first; i < first + count; ++i) node.bounds.add(polygonBounds_[order_[i]]);
    const int index = static_cast<int>(nodes_.size());
    nodes_.push_back(node);
    if (count <= kLeafSize) {
        nodes_[index].first = first;
        nodes_[index].count = count;
        return index;
    }
    // Split at the median of the centres along the longest side; ties are
    // broken by polygon index so that the tree never depends on sort order.
    Vec3 size = node.bounds.max - node.bounds.min;
    int axis = size.x >= size.y && size.x >= size.z ? 0 : size.y >= size.z ? 1 : 2;
    auto centre = [&](int polygon) {
        return Axis(polygonBounds_[polygon].min, axis) + Axis(polygonBounds_[polygon].max, axis);
    };
    std::sort(order_.begin() + first, order_.begin() + first + count, [&](int a, int b) {
        float ca = centre(a), cb = centre(b);
        return ca < cb || (ca == cb && a < b);
    });
    const int half = count / 2;
    const int left = build(first, half);
    const int right = build(first + half, count - half);
    nodes_[index].left = left;
    nodes_[index].right = right;
    return index;
}

bool Occluder::segmentHitsBox(const Bounds& b, Vec3 from, Vec3 inverseDirection) {
    float tMin = 0.0f, tMax = 1.0f;
    for (int axis = 0; axis < 3; ++axis) {
        float origin = Axis(from, axis);
        float inverse = Axis(inverseDirection, axis);
        float t0 = (Axis(b.min, axis) - origin) * inverse;
        float t1 = (Axis(b.max, axis) - origin) * inverse;
        if (t0 > t1) std::swap(t0, t1);
        tMin = std::max(tMin, t0);
        tMax = std::min(tMax, t1);
        if (tMin > tMax) return false;
    }
    return true;
}

bool Occluder::crosses(int polygon, Vec3 from, Vec3 direction) const {
    const Plane& plane = planes_[polygon];
    float along = Dot(plane.normal, direction);
    if (std::fabs(along) < 1e-9f) return false;
    float t = (plane.distance - Dot(plane.normal, from)) / along;
    if (t <= 1e-5f || t >= 1.0f - 1e-5f) return false;
    Vec3 hit = from + direction * t;
    const std::vector<Vec3>& points = polygons_[polygon].points;
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3& a = points[i];
        const Vec3& b = points[(i + 1) % points.size()];
        Vec3 edge = b - a;
        // Inside when on the inner side of every edge; edges count a little
        // wider than they are so light cannot slip through a seam between
        // two neighbouring polygons.
        if (Dot(Cross(edge, hit - a), plane.normal) < -0.05f * Length(edge)) return false;
    }
    return true;
}

bool Occluder::blocked(Vec3 from, Vec3 to, int ignore) const {
    if (nodes_.empty()) return false;
    const Vec3 direction = to - from;
    auto inverse = [](float d) { return std::fabs(d) > 1e-12f ? 1.0f / d : 1e30f; };
    const Vec3 inverseDirection{inverse(direction.x), inverse(direction.y), inverse(direction.z)};

    int stack[64];
    int depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        const Node& node = nodes_[stack[--depth]];
        if (!segmentHitsBox(node.bounds, from, inverseDirection)) continue;
        if (node.left < 0) {
            for (int i = node.first; i < node.first + node.count; ++i) {
                int polygon = order_[i];
                if (polygon != ignore && crosses(polygon, from, direction)) return true;
            }
        } else if (depth + 2 <= 64) {
            stack[depth++] = node.left;
            stack[depth++] = node.right;
        }
    }
    return false;
}

}  // namespace mklevel
