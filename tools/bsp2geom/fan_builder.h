// Turns a face's triangle list into triangle fans that draw exactly the same
// area with the same winding.
#pragma once

#include <array>
#include <vector>

namespace bsp {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Vec3& a);

using Triangle = std::array<int, 3>;  // indices into a position array
using Fan = std::vector<int>;         // fan around Fan[0]

// Fans covering the given triangles. When the triangles form one convex
// polygon (the usual brush face, often stored in strip order), the result is
// a single fan running around that polygon's outline; otherwise consecutive
// triangles that share the fan centre and the previous edge are merged, so
// the result draws exactly the input triangles.
std::vector<Fan> BuildFans(const std::vector<Vec3>& positions,
                           const std::vector<Triangle>& triangles);

// Just the merging of consecutive triangles (exact reproduction).
std::vector<Fan> MergeTrianglesIntoFans(const std::vector<Triangle>& triangles);

// Twice the signed area vector of the triangles (the sum of their cross
// products), and the sum of their unsigned doubled areas.
Vec3 AreaVector(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles);
double TotalArea(const std::vector<Vec3>& positions, const std::vector<Triangle>& triangles);
std::vector<Triangle> FanTriangles(const Fan& fan);

}  // namespace bsp
