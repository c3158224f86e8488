#include "fan_builder.h"

#include <cmath>
#include <map>
#include <set>

namespace bsp {
namespace {

// Relative tolerance for "the same area" and "not turning backwards".
constexpr double kAreaTolerance = 1e-4;
constexpr double kTurnTolerance = 1e-6;

// The outline of a triangle set, following the triangles' own direction, if
// it is one closed loop; empty otherwise (holes, several pieces, non-manifold
// edges).
std::vector<int> OutlineLoop(const std::vector<Triangle>& triangles) {
    std::map<std::pair<int, int>, int> edgeCount;
    for (const Triangle& t : triangles)
        for (int k = 0; k < 3; ++k) ++edgeCount[{t[k], t[(k + 1) % 3]}];
    std::map<int, int> next;
    for (const auto& [edge, count] : edgeCount) {
        if (count != 1) return {};
        if (edgeCount.count({edge.second, edge.first})) continue;  // inner edge
        if (next.count(edge.first)) return {};                     // outline touches itself
        next[edge.first] = edge.second;
    }
    if (next.size() < 3) return {};
    std::vector<int> loop{next.begin()->first};
    while (loop.size() <= next.size()) {
        auto step = next.find(loop.back());
        if (step == next.end()) return {};
        if (step->second == loop.front()) break;
        loop.push_back(step->second);
    }
    return loop.size() == next.size() ? loop : std::vector<int>{};
}

// Turn at each outline corner measured against the face normal; positive is
// a turn in the triangles' own direction.
std::vector<double> CornerTurns(const std::vector<Vec3>& positions, const std::vector<int>& loop,
                                const Vec3& normal) {
    std::vector<double> turns(loop.size());
    size_t n = loop.size();
    for (size_t i = 0; i < n; ++i) {
        const Vec3& before = positions[size_t(loop[(i + n - 1) % n])];
        const Vec3& at = positions[size_t(loop[i])];
        const Vec3& after = positions[size_t(loop[(i + 1) % n])];
        Vec3 in = at - before, out = after - at;
        double scale = Length(in) * Length(out);
        turns[i] = scale > 0 ? Dot(Cross(in, out), normal) / scale : 0;
    }
    return turns;
}

// A single fan around the convex outline, or empty if the outline is not
// convex or the fan would not cover the same area the same way round.
Fan ConvexFan(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles) {
    std::vector<int> loop = OutlineLoop(triangles);
    if (loop.empty()) return {};
    Vec3 area = AreaVector(positions, triangles);
    double areaLength = Length(area);
    if (areaLength <= 0) return {};
    Vec3 normal{area.x / areaLength, area.y / areaLength, area.z / areaLength};
    std::vector<double> turns = CornerTurns(positions, loop, normal);
    size_t centre = 0;
    for (size_t i = 0; i < turns.size(); ++i) {
        if (turns[i] < -kTurnTolerance) return {};
        if (turns[i] > turns[centre]) centre = i;  // sharpest corner: no degenerate first triangle
    }
    Fan fan(loop.begin() + long(centre), loop.end());
    fan.insert(fan.end(), loop.begin(), loop.begin() + long(centre));
    std::vector<Triangle> fanTriangles = FanTriangles(fan);
    double total = TotalArea(positions, triangles);
    if (std::fabs(TotalArea(positions, fanTriangles) - total) > kAreaTolerance * total) return {};
    for (const Triangle& t : fanTriangles) {
        const Vec3 &a = positions[size_t(t[0])], &b = positions[size_t(t[1])],
                   &c = positions[size_t(t[2])];
        if (Dot(Cross(b - a, c - a), normal) < -kAreaTolerance * total) return {};
    }
    return fan;
}

// Whether triangle t continues the fan: it is (centre, last, new) in some
// rotation that keeps its winding.
int Extension(const Fan& fan, const Triangle& t) {
    for (int r = 0; r < 3; ++r)
        if (t[size_t(r)] == fan.front() && t[size_t((r + 1) % 3)] == fan.back())
            return t[size_t((r + 2) % 3)];
    return -1;
}

Fan Rotated(const Triangle& t, int r) {
    return {t[size_t(r)], t[size_t((r + 1) % 3)], t[size_t((r + 2) % 3)]};
}

}  // namespace

double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }

Vec3 AreaVector(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles) {
    Vec3 sum;
    for (const Triangle& t : triangles) {
        const Vec3& a = positions[size_t(t[0])];
        sum = sum + Cross(positions[size_t(t[1])] - a, positions[size_t(t[2])] - a);
    }
    return sum;
}

double TotalArea(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles) {
    double sum = 0;
    for (const Triangle& t : triangles) {
        const Vec3& a = positions[size_t(t[0])];
        sum += Length(Cross(positions[size_t(t[1])] - a, positions[size_t(t[2])] - a));
    }
    return sum;
}

std::vector<Triangle> FanTriangles(const Fan& fan) {
    std::vector<Triangle> result;
    for (size_t k = 1; k + 1 < fan.size(); ++k) result.push_back({fan[0], fan[k], fan[k + 1]});
    return result;
}

std::vector<Fan> MergeTrianglesIntoFans(const std::vector<Triangle>& triangles) {
    std::vector<Fan> fans;
    for (size_t i = 0; i < triangles.size(); ++i) {
        if (!fans.empty()) {
            int extra = Extension(fans.back(), triangles[i]);
            if (extra >= 0) {
                fans.back().push_back(extra);
                continue;
            }
        }
        // New fan: pick the rotation that lets the next triangle extend it.
        int rotation = 0;
        for (int r = 0; r < 3 && i + 1 < triangles.size(); ++r)
            if (Extension(Rotated(triangles[i], r), triangles[i + 1]) >= 0) {
                rotation = r;
                break;
            }
        fans.push_back(Rotated(triangles[i], rotation));
    }
    return fans;
}

std::vector<Fan> BuildFans(const std::vector<Vec3>& positions,
                           const std::vector<Triangle>& triangles) {
    if (triangles.empty()) return {};
    Fan convex = ConvexFan(positions, triangles);
    if (!convex.empty()) return {convex};
    return MergeTrianglesIntoFans(triangles);
}

}  // namespace bsp
