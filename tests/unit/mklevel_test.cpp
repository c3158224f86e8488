// The sample level tool: the level it writes and the charts it lights.
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/tool_runner.h"
#include "tools/mklevel/lightmap.h"
#include "world/world_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace mklevel;
Vec3 At(const WorldFile& file, const WorldPolygon& polygon, int k) {
    const WorldVertex& v = file.vertices[size_t(polygon.firstVertex + k)];
    return {v.x, v.y, v.z};
}

TEST(Mklevel, WritesASampleLevelThatLoadsCleanlyWithPaddedChartsApart) {
    ScratchDir dir;
    std::string output;
    ASSERT_EQ(tundra_test::RunTool("mklevel data/world.geom", output), 0) << output;
    LogCapture log;
    const WorldFile file("world.geom");
    EXPECT_EQ(log.text(), "LOADED: data\\world.geom\n");
    ASSERT_GT(file.numPolygons, 100);

    // Roughly along each polygon's drawn side, the next polygon shows its front.
    for (const WorldPolygon& from : file.polygons) {
        EXPECT_TRUE(from.textureIndex >= 0 && from.textureIndex < file.numTextures);  // drawable
        Vec3 n, start;  // summed over the fan: collinear points add nothing
        for (int k = 0; k < from.vertexCount; ++k) {
            start = start + At(file, from, k) * (1.0f / from.vertexCount);
            if (k >= 2)
                n = n + Cross(At(file, from, k - 1) - At(file, from, 0),
                              At(file, from, k) - At(file, from, 0));
        }
        const Vec3 d = Normalize(Normalize(n) + Vec3{0.013f, 0.011f, 0.007f});
        start = start + d;
        float nearest = 1e30f, facing = 1;
        for (const WorldPolygon& polygon : file.polygons)
            for (int k = 1; k + 1 < polygon.vertexCount; ++k) {
                const Vec3 a = At(file, polygon, 0), e1 = At(file, polygon, k) - a,
                           e2 = At(file, polygon, k + 1) - a, s = start - a;
                const Vec3 p = Cross(d, e2), q = Cross(s, e1);
                const float det = Dot(e1, p), u = Dot(s, p) / det, v = Dot(d, q) / det,
                            t = Dot(e2, q) / det;
                if (std::fabs(det) > 1e-9f && u >= 0 && v >= 0 && u + v <= 1 && t > 1e-3f &&
                    t < nearest)
                    nearest = t, facing = Dot(Cross(e1, e2), d);
            }
        EXPECT_LT(facing, 0) << "polygon " << &from - file.polygons.data();
    }
    // Texels read on each polygon, and one more repeating the edge, apart from other charts.
    struct Box {
        int page, x0, y0, x1, y1;
    };
    std::vector<Box> boxes;
    for (const WorldPolygon& polygon : file.polygons) {
        Box box{polygon.lightmapIndex, 1 << 20, 1 << 20, -(1 << 20), -(1 << 20)};
        for (int i = 0; i < polygon.vertexCount; ++i) {
            const WorldVertex& v = file.vertices[size_t(polygon.firstVertex + i)];
            const float s = v.lightmapU * 128 - 0.5f, t = v.lightmapV * 128 - 0.5f;
            box.x0 = std::min(box.x0, int(std::floor(s + 1e-3f)));
            box.y0 = std::min(box.y0, int(std::floor(t + 1e-3f)));
            box.x1 = std::max(box.x1, int(std::ceil(s - 1e-3f)));
            box.y1 = std::max(box.y1, int(std::ceil(t - 1e-3f)));
        }
        ASSERT_TRUE(box.x0 >= 1 && box.y0 >= 1 && box.x1 <= 126 && box.y1 <= 126);
        const WorldLightmap& page = file.lightmaps[size_t(box.page)];
        for (int y = box.y0 - 1; y <= box.y1 + 1; ++y)
            for (int x = box.x0 - 1; x <= box.x1 + 1; ++x) {
                const auto* in =
                    page.texel(std::clamp(x, box.x0, box.x1), std::clamp(y, box.y0, box.y1));
                ASSERT_EQ(std::memcmp(page.texel(x, y), in, 3), 0) << x << "," << y;
                ASSERT_GT(in[0] + in[1] + in[2], 0) << "ambient light: no baked luxel is black";
            }
        for (const Box& other : boxes)
            EXPECT_TRUE(other.page != box.page || other.x1 + 2 < box.x0 || box.x1 + 2 < other.x0 ||
                        other.y1 + 2 < box.y0 || box.y1 + 2 < other.y0)
                << "charts " << boxes.size() << " and another overlap";
        boxes.push_back(box);
    }
}

// With nothing in the way, a point gets the whole ambient light. A wall across a segment
// blocks it; beside the wall, short of it, or with the wall ignored, it does not.
TEST(Mklevel, OcclusionRaysAreBlockedOnlyByWhatCrossesThem) {
    Level level;
    level.ambient = {1, 0.5f, 0.25f};
    const Vec3 light = LightAt(level, Occluder(level.polygons), {}, {0, 0, 1}, -1, BakeSettings{});
    EXPECT_LT(Length(light - level.ambient), 1e-5f);
    LevelBuilder(level).addPolygon({{0, 0, 50}, {64, 0, 50}, {64, 64, 50}, {0, 64, 50}},
                                   {0, 0, -1});
    const Occluder occluder(level.polygons);
    EXPECT_TRUE(occluder.blocked({32, 32, 0}, {32, 32, 100}, -1));
    EXPECT_FALSE(occluder.blocked({96, 32, 0}, {96, 32, 100}, -1));
    EXPECT_FALSE(occluder.blocked({32, 32, 0}, {32, 32, 40}, -1));
    EXPECT_FALSE(occluder.blocked({32, 32, 0}, {32, 32, 100}, 0));
}

}  // namespace
