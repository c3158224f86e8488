// Lightmaps for mklevel: one chart of luxels per polygon, packed into
// 128 x 128 pages, and the baker that lights every luxel.
#pragma once

#include "tools/common/world_writer.h"
#include "tools/mklevel/geometry.h"
#include "tools/mklevel/raycast.h"

#include <cstdint>
#include <vector>

namespace mklevel {

constexpr int kPageSize = 128;

struct BakeSettings {
    float luxelSize = 16.0f;  // world units per luxel (larger for big faces)
    int padding = 1;          // texels around each chart, copied from its edge
    int supersamples = 2;     // per luxel side: 2 gives 2 x 2 samples
    int occlusionRays = 8;    // rays per sample for the ambient term
    float occlusionDistance = 96.0f;
};

// Where a polygon's luxels lie in the level and in its page.
struct Chart {
    Vec3 uAxis, vAxis, normal;  // orthonormal; u and v in the polygon's plane
    float minU = 0, minV = 0;   // plane coordinates of luxel (0, 0)'s centre
    float planeDistance = 0;
    float luxelSize = 0;
    int luxelsU = 0, luxelsV = 0;
    int page = -1;
    int x = 0, y = 0;  // texel of the padded chart's top-left corner
    int width() const;
    int height() const;
    int padding = 1;

    // Lightmap coordinates (0..1) of a point in the polygon's plane.
    void lightmapCoordinates(Vec3 point, float& u, float& v) const;
    // World position of a spot in the luxel grid (luxel centres at whole numbers).
    Vec3 worldPoint(float luxelU, float luxelV) const;
};

// Lays out one chart per polygon and packs them onto pages (shelf packing,
// tallest first). Deterministic for a given level and settings.
std::vector<Chart> PlanCharts(const Level& level, const BakeSettings& settings, int& pageCount);

// Light reaching `point` on polygon `polygon` (facing `normal`), in units
// where 1.0 leaves the surface texture as it is: ambient (reduced where
// nearby geometry hides the surroundings) plus every point light that
// reaches it unblocked.
Vec3 LightAt(const Level& level, const Occluder& occluder, Vec3 point, Vec3 normal, int polygon,
             const BakeSettings& settings);

// Stored lightmap byte for a light value: the viewer doubles the product of
// texture and lightmap, so 128 is neutral.
uint8_t EncodeLight(float light);

struct BakedLevel {
    std::vector<Chart> charts;  // one per polygon, in polygon order
    std::vector<tundra_formats::GeomLightmap> pages;
};

BakedLevel Bake(const Level& level, const BakeSettings& settings = {});

// The file contents: positions divided by the file's scale, surface
// coordinates from a world-aligned projection (one texture repeat per 256
// units), lightmap coordinates from the charts.
tundra_formats::GeomLevel MakeGeomLevel(const Level& level, const BakedLevel& baked);

}  // namespace mklevel
