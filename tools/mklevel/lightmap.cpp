#include "tools/mklevel/lightmap.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace mklevel {
namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kSurfaceRepeat = 256.0f;  // world units per repeat of the surface texture
constexpr float kRayLift = 0.5f;          // rays start this far in front of the surface

bool InsidePolygon(const Polygon& polygon, Vec3 p) {
    const std::vector<Vec3>& points = polygon.points;
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3& a = points[i];
        const Vec3& b = points[(i + 1) % points.size()];
        if (Dot(Cross(b - a, p - a), polygon.normal) < 0) return false;
    }
    return true;
}

Vec3 ClosestOnSegment(Vec3 p, Vec3 a, Vec3 b) {
    Vec3 ab = b - a;
    float t = std::clamp(Dot(p - a, ab) / std::max(Dot(ab, ab), 1e-12f), 0.0f, 1.0f);
    return a + ab * t;
}

// Luxels along a chart's border have centres outside their polygon, often
// inside a neighbouring wall; they are lit as if they were just inside the
// polygon's edge instead.
Vec3 PullInside(const Polygon& polygon, Vec3 p) {
    if (InsidePolygon(polygon, p)) return p;
    Vec3 centroid;
    for (const Vec3& q : polygon.points) centroid = centroid + q;
    centroid = centroid * (1.0f / polygon.points.size());
    Vec3 best = polygon.points.front();
    float bestDistance = 1e30f;
    for (size_t i = 0; i < polygon.points.size(); ++i) {
        Vec3 q =
            ClosestOnSegment(p, polygon.points[i], polygon.points[(i + 1) % polygon.points.size()]);
        float distance = Length(q - p);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = q;
        }
    }
    Vec3 towardsCentre = centroid - best;
    return best + Normalize(towardsCentre) * std::min(0.5f, Length(towardsCentre));
}

float RadicalInverse(unsigned bits) {
    bits = (bits << 16u) | (bits >> 16u);
    bits = ((bits & 0x55555555u) << 1u) | ((bits & 0xAAAAAAAAu) >> 1u);
    bits = ((bits & 0x33333333u) << 2u) | ((bits & 0xCCCCCCCCu) >> 2u);
    bits = ((bits & 0x0F0F0F0Fu) << 4u) | ((bits & 0xF0F0F0F0u) >> 4u);
    bits = ((bits & 0x00FF00FFu) << 8u) | ((bits & 0xFF00FF00u) >> 8u);
    return static_cast<float>(bits) * 2.3283064365386963e-10f;
}

// Cosine-weighted direction k of a fixed set of `count` (Hammersley points),
// so the bake needs no random numbers.
Vec3 HemisphereDirection(unsigned k, unsigned count, Vec3 u, Vec3 v, Vec3 n) {
    float a = (k + 0.5f) / count;
    float b = RadicalInverse(k);
    float r = std::sqrt(a);
    float phi = 2.0f * kPi * b;
    return u * (r * std::cos(phi)) + v * (r * std::sin(phi)) +
           n * std::sqrt(std::max(0.0f, 1.0f - a));
}

void OrthonormalBasis(Vec3 n, Vec3& u, Vec3& v) {
    Vec3 reference = std::fabs(n.y) > 0.7f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    u = Normalize(reference - n * Dot(reference, n));
    v = Cross(n, u);
}

Chart LayOutChart(const Polygon& polygon, const BakeSettings& settings) {
    Chart chart;
    chart.normal = polygon.normal;
    chart.padding = settings.padding;
    OrthonormalBasis(polygon.normal, chart.uAxis, chart.vAxis);
    chart.planeDistance = Dot(polygon.normal, polygon.points.front());
    float minU = 1e30f, maxU = -1e30f, minV = 1e30f, maxV = -1e30f;
    for (const Vec3& p : polygon.points) {
        minU = std::min(minU, Dot(p, chart.uAxis));
        maxU = std::max(maxU, Dot(p, chart.uAxis));
        minV = std::min(minV, Dot(p, chart.vAxis));
        maxV = std::max(maxV, Dot(p, chart.vAxis));
    }
    // Luxel centres run from the polygon's low edge in steps of luxelSize;
    // faces too big for one page get coarser luxels.
    const int maxLuxels = kPageSize - 2 * settings.padding;
    const float extent = std::max(maxU - minU, maxV - minV);
    chart.luxelSize = std::max(settings.luxelSize, extent / (maxLuxels - 1));
    chart.minU = minU;
    chart.minV = minV;
    chart.luxelsU = std::min(
        maxLuxels, static_cast<int>(std::ceil((maxU - minU) / chart.luxelSize - 1e-4f)) + 1);
    chart.luxelsV = std::min(
        maxLuxels, static_cast<int>(std::ceil((maxV - minV) / chart.luxelSize - 1e-4f)) + 1);
    return chart;
}

// First-fit shelf packing, tallest charts first.
int PackCharts(std::vector<Chart>& charts) {
    struct Shelf {
        int page, y, height, cursor;
    };
    std::vector<Shelf> shelves;
    std::vector<int> pageFill;  // first free row of each page
    std::vector<int> order(charts.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        if (charts[a].height() != charts[b].height())
            return charts[a].height() > charts[b].height();
        if (charts[a].width() != charts[b].width()) return charts[a].width() > charts[b].width();
        return a < b;
    });
    for (int index : order) {
        Chart& chart = charts[index];
        Shelf* target = nullptr;
        for (Shelf& shelf : shelves) {
            if (shelf.height >= chart.height() && shelf.cursor + chart.width() <= kPageSize) {
                target = &shelf;
                break;
            }
        }
        if (target == nullptr) {
            int page = 0;
            while (page < static_cast<int>(pageFill.size()) &&
                   pageFill[page] + chart.height() > kPageSize)
                ++page;
            if (page == static_cast<int>(pageFill.size())) pageFill.push_back(0);
            shelves.push_back({page, pageFill[page], chart.height(), 0});
            pageFill[page] += chart.height();
            target = &shelves.back();
        }
        chart.page = target->page;
        chart.x = target->cursor;
        chart.y = target->y;
        target->cursor += chart.width();
    }
    return static_cast<int>(pageFill.size());
}

Vec3 LuxelLight(const Level& level, const Occluder& occluder, int polygonIndex, const Chart& chart,
                int luxelU, int luxelV, const BakeSettings& settings) {
    const Polygon& polygon = level.polygons[polygonIndex];
    const int side = std::max(1, settings.supersamples);
    Vec3 sum;
    for (int sy = 0; sy < side; ++sy) {
        for (int sx = 0; sx < side; ++sx) {
            float du = (sx + 0.5f) / side - 0.5f;
            float dv = (sy + 0.5f) / side - 0.5f;
            Vec3 point = PullInside(polygon, chart.worldPoint(luxelU + du, luxelV + dv));
            sum = sum + LightAt(level, occluder, point, polygon.normal, polygonIndex, settings);
        }
    }
    return sum * (1.0f / (side * side));
}

void FillPadding(tundra_formats::GeomLightmap& page, const Chart& chart) {
    const int pad = chart.padding;
    for (int y = 0; y < chart.height(); ++y) {
        for (int x = 0; x < chart.width(); ++x) {
            int innerX = std::clamp(x, pad, pad + chart.luxelsU - 1);
            int innerY = std::clamp(y, pad, pad + chart.luxelsV - 1);
            if (innerX == x && innerY == y) continue;
            const uint8_t* from =
                &page.rgb[((chart.y + innerY) * kPageSize + chart.x + innerX) * 3];
            page.setTexel(chart.x + x, chart.y + y, from[0], from[1], from[2]);
        }
    }
}

}  // namespace

int Chart::width() const { return luxelsU + 2 * padding; }
int Chart::height() const { return luxelsV + 2 * padding; }

void Chart::lightmapCoordinates(Vec3 point, float& u, float& v) const {
    u = (x + padding + 0.5f + (Dot(point, uAxis) - minU) / luxelSize) / kPageSize;
    v = (y + padding + 0.5f + (Dot(point, vAxis) - minV) / luxelSize) / kPageSize;
}

Vec3 Chart::worldPoint(float luxelU, float luxelV) const {
    return uAxis * (minU + luxelU * luxelSize) + vAxis * (minV + luxelV * luxelSize) +
           normal * planeDistance;
}

std::vector<Chart> PlanCharts(const Level& level, const BakeSettings& settings, int& pageCount) {
    std::vector<Chart> charts;
    charts.reserve(level.polygons.size());
    for (const Polygon& polygon : level.polygons) charts.push_back(LayOutChart(polygon, settings));
    pageCount = PackCharts(charts);
    return charts;
}

Vec3 LightAt(const Level& level, const Occluder& occluder, Vec3 point, Vec3 normal, int polygon,
             const BakeSettings& settings) {
    const Vec3 from = point + normal * kRayLift;
    Vec3 u, v;
    OrthonormalBasis(normal, u, v);

    const unsigned rays = static_cast<unsigned>(std::max(0, settings.occlusionRays));
    unsigned open = 0;
    for (unsigned k = 0; k < rays; ++k) {
        Vec3 direction = HemisphereDirection(k, rays, u, v, normal);
        if (!occluder.blocked(from, from + direction * settings.occlusionDistance, polygon)) ++open;
    }
    const float openness = rays > 0 ? static_cast<float>(open) / rays : 1.0f;
    Vec3 light = level.ambient * (0.3f + 0.7f * openness);

    for (const Light& lamp : level.lights) {
        Vec3 toLight = lamp.position - point;
        float distance = Length(toLight);
        if (distance <= 0 || distance >= lamp.radius) continue;
        float facing = Dot(normal, toLight) / distance;
        if (facing <= 0) continue;
        if (occluder.blocked(from, lamp.position, polygon)) continue;
        // Falls smoothly to nothing at the radius: pools of light rather
        // than an even wash.
        float falloff = (1.0f - distance / lamp.radius) * (1.0f - distance / lamp.radius);
        light = light + lamp.colour * (facing * falloff);
    }
    return light;
}

uint8_t EncodeLight(float light) {
    float stored = std::round(128.0f * light);
    return static_cast<uint8_t>(std::clamp(stored, 0.0f, 255.0f));
}

BakedLevel Bake(const Level& level, const BakeSettings& settings) {
    BakedLevel baked;
    int pageCount = 0;
    baked.charts = PlanCharts(level, settings, pageCount);
    baked.pages.resize(static_cast<size_t>(pageCount));
    const Occluder occluder(level.polygons);

    for (size_t i = 0; i < level.polygons.size(); ++i) {
        const Chart& chart = baked.charts[i];
        tundra_formats::GeomLightmap& page = baked.pages[static_cast<size_t>(chart.page)];
        for (int lv = 0; lv < chart.luxelsV; ++lv) {
            for (int lu = 0; lu < chart.luxelsU; ++lu) {
                Vec3 light =
                    LuxelLight(level, occluder, static_cast<int>(i), chart, lu, lv, settings);
                page.setTexel(chart.x + chart.padding + lu, chart.y + chart.padding + lv,
                              EncodeLight(light.x), EncodeLight(light.y), EncodeLight(light.z));
            }
        }
        FillPadding(page, chart);
    }
    return baked;
}

tundra_formats::GeomLevel MakeGeomLevel(const Level& level, const BakedLevel& baked) {
    tundra_formats::GeomLevel out;
    for (size_t i = 0; i < level.polygons.size(); ++i) {
        const Polygon& polygon = level.polygons[i];
        const Chart& chart = baked.charts[i];
        tundra_formats::GeomPolygon record;
        record.firstVertex = static_cast<int32_t>(out.vertices.size());
        record.vertexCount = static_cast<int32_t>(polygon.points.size());
        record.textureIndex = polygon.texture;
        record.lightmapIndex = chart.page;
        out.polygons.push_back(record);

        const Vec3 n = polygon.normal;
        for (const Vec3& p : polygon.points) {
            tundra_formats::GeomVertex vertex;
            vertex.x = p.x / tundra_formats::kGeomPositionScale;
            vertex.y = p.y / tundra_formats::kGeomPositionScale;
            vertex.z = p.z / tundra_formats::kGeomPositionScale;
            // World-aligned projection, so the texture runs on across
            // neighbouring faces; v grows downwards on walls.
            if (std::fabs(n.y) >= std::fabs(n.x) && std::fabs(n.y) >= std::fabs(n.z)) {
                vertex.surfaceU = p.x / kSurfaceRepeat;
                vertex.surfaceV = p.z / kSurfaceRepeat;
            } else if (std::fabs(n.x) >= std::fabs(n.z)) {
                vertex.surfaceU = p.z / kSurfaceRepeat;
                vertex.surfaceV = -p.y / kSurfaceRepeat;
            } else {
                vertex.surfaceU = p.x / kSurfaceRepeat;
                vertex.surfaceV = -p.y / kSurfaceRepeat;
            }
            chart.lightmapCoordinates(p, vertex.lightmapU, vertex.lightmapV);
            out.vertices.push_back(vertex);
        }
    }
    for (const std::string& name : level.textures) out.textures.push_back({name, 0});
    out.lightmaps = baked.pages;
    return out;
}

}  // namespace mklevel
