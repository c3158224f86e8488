#include "tools/mklevel/geometry.h"

#include <algorithm>

namespace mklevel {
namespace {

float Axis(const Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

void SetAxis(Vec3& v, int axis, float value) { (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = value; }

// Newell's normal: robust for polygons with collinear vertices.
Vec3 NewellNormal(const std::vector<Vec3>& points) {
    Vec3 n;
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3& a = points[i];
        const Vec3& b = points[(i + 1) % points.size()];
        // Same direction as cross(p1 - p0, p2 - p0) of a triangle: towards
        // the viewer who sees the points run clockwise.
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

struct Rect {
    float a0, b0, a1, b1;
};

// Cuts `wall` into rectangles around `holes`: a grid over every hole edge,
// with the open cells of a row merged into one strip.
std::vector<Rect> CutHoles(const Rect& wall, const std::vector<Rect>& holes) {
    std::vector<float> as{wall.a0, wall.a1};
    std::vector<float> bs{wall.b0, wall.b1};
    for (const Rect& h : holes) {
        as.insert(as.end(), {h.a0, h.a1});
        bs.insert(bs.end(), {h.b0, h.b1});
    }
    std::sort(as.begin(), as.end());
    std::sort(bs.begin(), bs.end());
    as.erase(std::unique(as.begin(), as.end()), as.end());
    bs.erase(std::unique(bs.begin(), bs.end()), bs.end());

    auto open = [&](float a, float b) {
        for (const Rect& h : holes)
            if (a > h.a0 && a < h.a1 && b > h.b0 && b < h.b1) return false;
        return true;
    };
    std::vector<Rect> pieces;
    for (size_t j = 0; j + 1 < bs.size(); ++j) {
        float bMid = 0.5f * (bs[j] + bs[j + 1]);
        size_t i = 0;
        while (i + 1 < as.size()) {
            if (!open(0.5f * (as[i] + as[i + 1]), bMid)) {
                ++i;
                continue;
            }
            size_t end = i + 1;
            while (end + 1 < as.size() && open(0.5f * (as[end] + as[end + 1]), bMid)) ++end;
            pieces.push_back({as[i], bs[j], as[end], bs[j + 1]});
            i = end;
        }
    }
    return pieces;
}

bool OnSegmentInterior(const Vec3& p, const Vec3& a, const Vec3& b, float& t) {
    Vec3 ab = b - a;
    float lengthSquared = Dot(ab, ab);
    if (lengthSquared <= 0) return false;
    t = Dot(p - a, ab) / lengthSquared;
    if (t <= 1e-4f || t >= 1 - 1e-4f) return false;
    Vec3 off = p - (a + ab * t);
    return Dot(off, off) < 1e-4f;
}

}  // namespace

void LevelBuilder::addPolygon(std::vector<Vec3> points, Vec3 facing, int texture) {
    if (Dot(NewellNormal(points), facing) < 0) std::reverse(points.begin(), points.end());
    Polygon polygon;
    polygon.normal = Normalize(NewellNormal(points));
    polygon.points = std::move(points);
    polygon.texture = texture;
    level_.polygons.push_back(std::move(polygon));
}

void LevelBuilder::addSolid(const Box& box, unsigned sides, const std::vector<Box>& hidden) {
    for (unsigned bit = 0; bit < 6; ++bit)
        if (sides & (1u << bit)) addBoxSide(box, static_cast<BoxSide>(1u << bit), false, hidden);
}

void LevelBuilder::addRoom(const Box& room, const std::vector<Box>& openings, unsigned sides) {
    for (unsigned bit = 0; bit < 6; ++bit)
        if (sides & (1u << bit)) addBoxSide(room, static_cast<BoxSide>(1u << bit), true, openings);
}

void LevelBuilder::addBoxSide(const Box& box, BoxSide side, bool inward,
                              const std::vector<Box>& openings) {
    unsigned bit = 0;
    while ((1u << bit) != side) ++bit;
    const int axis = static_cast<int>(bit / 2);
    const bool atMax = bit % 2 == 1;
    const int axisA = (axis + 1) % 3;
    const int axisB = (axis + 2) % 3;
    const float plane = Axis(atMax ? box.max : box.min, axis);

    const Rect wall{Axis(box.min, axisA), Axis(box.min, axisB), Axis(box.max, axisA),
                    Axis(box.max, axisB)};
    std::vector<Rect> holes;
    for (const Box& o : openings) {
        // Only openings that pass through the plane cut it; one that merely
        // rests on a floor leaves the floor whole.
        if (Axis(o.min, axis) >= plane || Axis(o.max, axis) <= plane) continue;
        Rect h{std::max(wall.a0, Axis(o.min, axisA)), std::max(wall.b0, Axis(o.min, axisB)),
               std::min(wall.a1, Axis(o.max, axisA)), std::min(wall.b1, Axis(o.max, axisB))};
        if (h.a0 < h.a1 && h.b0 < h.b1) holes.push_back(h);
    }

    Vec3 facing;
    SetAxis(facing, axis, (atMax != inward) ? 1.0f : -1.0f);
    for (const Rect& r : CutHoles(wall, holes)) {
        std::vector<Vec3> corners(4);
        const float as[4] = {r.a0, r.a1, r.a1, r.a0};
        const float bs[4] = {r.b0, r.b0, r.b1, r.b1};
        for (int i = 0; i < 4; ++i) {
            SetAxis(corners[i], axis, plane);
            SetAxis(corners[i], axisA, as[i]);
            SetAxis(corners[i], axisB, bs[i]);
        }
        addPolygon(corners, facing);
    }
}

void WeldTJunctions(Level& level) {
    std::vector<Vec3> all;
    for (const Polygon& p : level.polygons) all.insert(all.end(), p.points.begin(), p.points.end());

    for (Polygon& polygon : level.polygons) {
        std::vector<Vec3> welded;
        const size_t n = polygon.points.size();
        for (size_t i = 0; i < n; ++i) {
            const Vec3 a = polygon.points[i];
            const Vec3 b = polygon.points[(i + 1) % n];
            std::vector<std::pair<float, Vec3>> inner;
            for (const Vec3& p : all) {
                float t = 0;
                if (OnSegmentInterior(p, a, b, t)) inner.push_back({t, p});
            }
            std::sort(inner.begin(), inner.end(),
                      [](const auto& l, const auto& r) { return l.first < r.first; });
            welded.push_back(a);
            for (const auto& entry : inner) {
                const Vec3 last = welded.back();
                if (Length(entry.second - last) > 1e-3f) welded.push_back(entry.second);
            }
        }
        polygon.points = std::move(welded);
    }
}

namespace {

// A square shaft between a wider base and capital; the shaft's footprint is
// cut out of the base's top and the capital's underside.
void AddPillar(LevelBuilder& builder, float x, float z, float floorY, float ceilingY, float half) {
    const float base = half + 16;
    const Box shaft{{x - half, floorY + 24, z - half}, {x + half, ceilingY - 24, z + half}};
    const Box throughShaft{{x - half, floorY, z - half}, {x + half, ceilingY, z + half}};
    builder.addSolid({{x - base, floorY, z - base}, {x + base, floorY + 24, z + base}},
                     kAllSides & ~kSideMinY, {throughShaft});
    builder.addSolid(shaft, kSideMinX | kSideMaxX | kSideMinZ | kSideMaxZ);
    builder.addSolid({{x - base, ceilingY - 24, z - base}, {x + base, ceilingY, z + base}},
                     kAllSides & ~kSideMaxY, {throughShaft});
}

// Steps climbing along +z from (z0, y0): each a column standing on the
// floor, with its riser only where the step below does not cover it.
void AddStairs(LevelBuilder& builder, float x0, float x1, float z0, float y0, int steps, float rise,
               float run) {
    for (int k = 0; k < steps; ++k) {
        float z = z0 + run * k;
        builder.addSolid({{x0, y0, z}, {x1, y0 + rise * (k + 1), z + run}},
                         kSideMaxY | kSideMinX | kSideMaxX);
        builder.addSolid({{x0, y0 + rise * k, z}, {x1, y0 + rise * (k + 1), z + run}}, kSideMinZ);
    }
}

// A slope falling along +x from (x0, yTop) to (x1, yBottom) between z0 and
// z1, with its two triangular sides.
void AddRamp(LevelBuilder& builder, float x0, float x1, float yTop, float yBottom, float z0,
             float z1) {
    builder.addPolygon({{x0, yTop, z0}, {x0, yTop, z1}, {x1, yBottom, z1}, {x1, yBottom, z0}},
                       {yTop - yBottom, x1 - x0, 0});
    builder.addPolygon({{x0, yTop, z0}, {x0, yBottom, z0}, {x1, yBottom, z0}}, {0, 0, -1});
    builder.addPolygon({{x0, yTop, z1}, {x0, yBottom, z1}, {x1, yBottom, z1}}, {0, 0, 1});
}

}  // namespace

Level BuildSampleLevel() {
    Level level;
    level.textures = {"marble"};
    LevelBuilder b(level);

    // Openings shared by two rooms: each box cuts through both walls.
    const Box doorToHallB{{-96, 64, 880}, {96, 256, 944}};
    const Box archToRoomC{{496, -64, 64}, {560, 160, 320}};

    // Hall A: the camera starts here. Pillars line the nave; stairs climb to
    // a gallery at the far end.
    const Box gallery{{-512, -64, 640}, {512, 64, 896}};
    const Box underGallery{{-600, -100, 640}, {600, 64, 1000}};
    b.addRoom({{-512, -64, -384}, {512, 448, 896}}, {doorToHallB, archToRoomC, underGallery});
    b.addSolid(gallery, kSideMaxY | kSideMinZ, {{{-160, -100, 600}, {160, 64, 700}}});
    AddStairs(b, -160, 160, 512, -64, 8, 16, 16);
    for (float z : {96.0f, 320.0f, 544.0f}) {
        AddPillar(b, -256, z, -64, 448, 28);
        AddPillar(b, 256, z, -64, 448, 28);
    }
    AddPillar(b, -384, 768, 64, 448, 24);
    AddPillar(b, 384, 768, 64, 448, 24);

    // The doorway from the gallery into hall B, through a 32-unit wall.
    b.addRoom({{-96, 64, 896}, {96, 256, 928}}, {}, kSideMinX | kSideMaxX | kSideMinY | kSideMaxY);
    b.addRoom({{-384, 64, 928}, {384, 448, 1568}}, {doorToHallB});
    for (float z : {1088.0f, 1408.0f}) {
        AddPillar(b, -192, z, 64, 448, 24);
        AddPillar(b, 192, z, 64, 448, 24);
    }
    b.addSolid({{-64, 64, 1216}, {64, 112, 1312}}, kAllSides & ~kSideMinY);

    // The arch from hall A into room C, whose floor lies 128 units lower; a
    // ramp leads down from the arch.
    b.addRoom({{512, -64, 64}, {544, 160, 320}}, {}, kSideMinY | kSideMaxY | kSideMinZ | kSideMaxZ);
    const Box underRamp{{500, -300, 64}, {800, -64, 320}};
    b.addRoom({{544, -192, -128}, {1312, 320, 640}}, {archToRoomC, underRamp});
    AddRamp(b, 544, 800, -64, -192, 64, 320);
    AddPillar(b, 1056, 256, -192, 320, 40);
    const Box smallCrate{{1176, -112, -40}, {1232, -64, 16}};
    b.addSolid({{1152, -192, -64}, {1248, -112, 32}}, kAllSides & ~kSideMinY,
               {{{1176, -200, -40}, {1232, -64, 16}}});
    b.addSolid(smallCrate, kAllSides & ~kSideMinY);

    WeldTJunctions(level);

    level.lights = {
        {{-440, 180, 208}, {2.0f, 1.25f, 0.6f}, 720},  // hall A, left aisle: amber
        {{440, 180, 432}, {0.7f, 1.0f, 2.0f}, 720},    // hall A, right aisle: blue
        {{0, 380, 300}, {1.4f, 1.3f, 1.15f}, 1000},    // hall A, high over the nave
        {{0, 150, -300}, {0.8f, 0.8f, 0.85f}, 640},    // hall A, behind the start
        {{-400, 220, 800}, {1.8f, 1.1f, 0.55f}, 640},  // gallery, left: amber
        {{400, 220, 800}, {0.6f, 0.9f, 1.8f}, 640},    // gallery, right: blue
        {{0, 330, 1250}, {1.0f, 2.0f, 1.6f}, 900},     // hall B: green
        {{880, 40, 250}, {2.2f, 0.8f, 0.4f}, 800},     // room C, by the ramp: red
        {{1200, 220, 520}, {1.3f, 0.8f, 2.0f}, 720},   // room C, far corner: violet
    };
    level.ambient = {0.13f, 0.13f, 0.15f};
    return level;
}

}  // namespace mklevel
