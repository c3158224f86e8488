// Level geometry for mklevel: convex polygons in world units, each wound
// clockwise as seen from its visible side (left-handed, y up), so that
// cross(p1 - p0, p2 - p0) points towards the viewer.
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace mklevel {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(Vec3 a) {
    float length = Length(a);
    return length > 0 ? a * (1.0f / length) : Vec3{};
}

struct Polygon {
    std::vector<Vec3> points;  // convex, clockwise from the visible side
    Vec3 normal;               // unit normal of the visible side
    int texture = 0;           // index into Level::textures
};

struct Light {
    Vec3 position;
    Vec3 colour;       // 1.0 per channel is the texture's own brightness at full strength
    float radius = 0;  // no light beyond this distance
};

struct Level {
    std::vector<Polygon> polygons;
    std::vector<std::string> textures;
    std::vector<Light> lights;
    Vec3 ambient;  // light reaching a fully open surface from all around
};

// Axis-aligned box given by two opposite corners.
struct Box {
    Vec3 min, max;
};

// Sides of an axis-aligned box, for choosing which faces to build.
enum BoxSide : unsigned {
    kSideMinX = 1u << 0,
    kSideMaxX = 1u << 1,
    kSideMinY = 1u << 2,
    kSideMaxY = 1u << 3,
    kSideMinZ = 1u << 4,
    kSideMaxZ = 1u << 5,
    kAllSides = 63u,
};

// Builds polygons with the winding worked out from the wanted normal.
class LevelBuilder {
public:
    explicit LevelBuilder(Level& level) : level_(level) {}

    // Adds a convex polygon; its order is reversed if needed so that it is
    // seen from the side `facing` points to.
    void addPolygon(std::vector<Vec3> points, Vec3 facing, int texture = 0);

    // A solid block seen from outside (pillars, steps, platforms).
    // `hidden` boxes cut holes where other solids cover its faces.
    void addSolid(const Box& box, unsigned sides = kAllSides, const std::vector<Box>& hidden = {});

    // A room seen from inside. `openings` are boxes that cut holes through
    // its walls, floor or ceiling where they pass through them (doorways, or
    // solids that would hide part of a wall).
    void addRoom(const Box& room, const std::vector<Box>& openings, unsigned sides = kAllSides);

private:
    void addBoxSide(const Box& box, BoxSide side, bool inward, const std::vector<Box>& openings);

    Level& level_;
};

// Splits polygon edges at every vertex of another polygon that lies on
// them, so that neighbouring fans share their edges exactly and no
// rasterisation crack can open along a T-junction.
void WeldTJunctions(Level& level);

// The sample level: a pillared hall with stairs up to a gallery, a doorway
// from the gallery into a second hall, and an arch with a ramp down into a
// lower room. The origin is inside the main hall, 64 units above its floor,
// looking along +z down the pillars towards the stairs.
Level BuildSampleLevel();

}  // namespace mklevel
