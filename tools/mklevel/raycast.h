// Ray casting against the level's polygons for the lightmap baker: a
// bounding-volume hierarchy over convex polygons, built once, read only.
#pragma once

#include "tools/mklevel/geometry.h"

#include <vector>

namespace mklevel {

class Occluder {
public:
    explicit Occluder(const std::vector<Polygon>& polygons);

    // True when a polygon other than `ignore` crosses the open segment from
    // `from` to `to`. Both sides of every polygon block light.
    bool blocked(Vec3 from, Vec3 to, int ignore) const;

private:
    struct Bounds {
        Vec3 min{1e30f, 1e30f, 1e30f};
        Vec3 max{-1e30f, -1e30f, -1e30f};
        void add(Vec3 p);
        void add(const Bounds& b);
    };
    struct Node {
        Bounds bounds;
        int left = -1, right = -1;  // children, or -1 for a leaf
        int first = 0, count = 0;   // leaf: range in order_
    };
    struct Plane {
        Vec3 normal;
        float distance = 0;
    };

    int build(int first, int count);
    bool crosses(int polygon, Vec3 from, Vec3 direction) const;
    static bool segmentHitsBox(const Bounds& b, Vec3 from, Vec3 inverseDirection);

    const std::vector<Polygon>& polygons_;
    std::vector<Plane> planes_;
    std::vector<Bounds> polygonBounds_;
    std::vector<int> order_;
    std::vector<Node> nodes_;
};

}  // namespace mklevel
