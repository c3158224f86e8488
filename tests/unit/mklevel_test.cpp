// The sample level tool: the file it writes must load cleanly, face the
// right way, keep its lightmap charts apart, bake the same bytes every time
// and put light where the lights can reach.
#include "support/level_scratch.h"
#include "support/log_capture.h"
#include "support/tool_runner.h"
#include "tools/common/world_writer.h"
#include "tools/mklevel/geometry.h"
#include "tools/mklevel/lightmap.h"
#include "world/world_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace {

using mklevel::Vec3;

struct Baked {
    mklevel::Level level;
    tundra_formats::GeomLevel file;
};

// The real level is baked once for the whole suite: it takes about a second.
const Baked& SampleLevel() {
    static const Baked baked = [] {
        Baked b;
        b.level = mklevel::BuildSampleLevel();
        b.file = mklevel::MakeGeomLevel(b.level, mklevel::Bake(b.level));
        return b;
    }();
    return baked;
}

Vec3 Position(const WorldVertex& v) { return {v.x, v.y, v.z}; }

std::vector<Vec3> PolygonPoints(const WorldFile& file, const WorldPolygon& polygon) {
    std::vector<Vec3> points;
    for (int i = 0; i < polygon.vertexCount; ++i)
        points.push_back(Position(file.vertices[polygon.firstVertex + i]));
    return points;
}

// Normal of the side from which the points run clockwise on screen in a
// left-handed system: the direction of cross(p1 - p0, p2 - p0), summed over
// the fan so that collinear points do not matter.
Vec3 VisibleSideNormal(const std::vector<Vec3>& points) {
    Vec3 sum;
    for (size_t k = 1; k + 1 < points.size(); ++k)
        sum = sum + mklevel::Cross(points[k] - points[0], points[k + 1] - points[0]);
    return mklevel::Normalize(sum);
}

struct Hit {
    float distance = 1e30f;
    Vec3 normal;
    size_t polygon = 0;
};

// Nearest polygon along a ray, by brute force and independent of the baker.
Hit CastRay(const std::vector<std::vector<Vec3>>& polygons, Vec3 from, Vec3 direction) {
    Hit nearest;
    for (size_t index = 0; index < polygons.size(); ++index) {
        const std::vector<Vec3>& points = polygons[index];
        Vec3 n = VisibleSideNormal(points);
        float along = mklevel::Dot(n, direction);
        if (std::fabs(along) < 1e-6f) continue;
        float t = mklevel::Dot(n, points[0] - from) / along;
        if (t <= 1e-3f || t >= nearest.distance) continue;
        Vec3 p = from + direction * t;
        bool inside = true;
        for (size_t i = 0; i < points.size() && inside; ++i) {
            Vec3 a = points[i], b = points[(i + 1) % points.size()];
            inside = mklevel::Dot(mklevel::Cross(b - a, p - a), n) >=
                     -1e-3f * mklevel::Length(b - a);
        }
        if (inside) nearest = {t, n, index};
    }
    return nearest;
}

class SampleLevelFile : public ::testing::Test {
protected:
    void SetUp() override {
        LogCapture log;
        scratch_.write(SampleLevel().file);
        file_ = std::make_unique<WorldFile>("world.geom");
        log_ = log.text();
    }

    LevelScratch scratch_;
    std::unique_ptr<WorldFile> file_;
    std::string log_;
};

TEST_F(SampleLevelFile, LoadsWithoutWarningsAndWithConsistentRecords) {
    EXPECT_EQ(log_, "LOADED: data\\world.geom\n");
    ASSERT_GT(file_->numPolygons, 100);
    EXPECT_EQ(file_->numTextures, 1);
    EXPECT_GE(file_->numLightmaps, 1);
    for (const WorldPolygon& polygon : file_->polygons) {
        EXPECT_GE(polygon.vertexCount, 3);
        EXPECT_GE(polygon.firstVertex, 0);
        EXPECT_LE(polygon.firstVertex + polygon.vertexCount, file_->numVertices);
        EXPECT_EQ(polygon.textureIndex, 0);
    }
    EXPECT_EQ(file_->textures[0].nameText(), "marble");
}

TEST_F(SampleLevelFile, StartPointStandsAboveAFloorInsideARoom) {
    std::vector<std::vector<Vec3>> polygons;
    for (const WorldPolygon& polygon : file_->polygons)
        polygons.push_back(PolygonPoints(*file_, polygon));
    Hit down = CastRay(polygons, {0, 0, 0}, {0, -1, 0});
    EXPECT_NEAR(down.distance, 64.0f, 1e-3f);  // eye height over the floor
    EXPECT_GT(down.normal.y, 0.99f);           // and the floor faces up
    Hit ahead = CastRay(polygons, {0, 0, 0}, {0, 0, 1});
    EXPECT_GT(ahead.distance, 300.0f) << "the start view must not face a nearby wall";
    EXPECT_LT(mklevel::Dot(ahead.normal, {0, 0, 1}), 0.0f);
}

// From just in front of any polygon, every direction must end on the front
// of some polygon: a back face means a polygon wound the wrong way (or a
// solid left open), no hit at all means a hole into the void.
TEST_F(SampleLevelFile, EveryPolygonFacesEnclosedOpenSpace) {
    std::vector<std::vector<Vec3>> polygons;
    for (const WorldPolygon& polygon : file_->polygons)
        polygons.push_back(PolygonPoints(*file_, polygon));
    const std::array<Vec3, 6> directions{{{1, 0.013f, 0.007f},
                                          {-1, 0.011f, -0.005f},
                                          {0.009f, 1, 0.012f},
                                          {-0.006f, -1, 0.01f},
                                          {0.008f, -0.012f, 1},
                                          {-0.01f, 0.007f, -1}}};
    for (size_t i = 0; i < polygons.size(); ++i) {
        Vec3 centre;
        for (const Vec3& p : polygons[i]) centre = centre + p;
        centre = centre * (1.0f / polygons[i].size());
        Vec3 start = centre + VisibleSideNormal(polygons[i]) * 1.0f;
        for (const Vec3& d : directions) {
            Vec3 direction = mklevel::Normalize(d);
            Hit hit = CastRay(polygons, start, direction);
            ASSERT_LT(hit.distance, 1e29f)
                << "polygon " << i << " (" << polygons[i][0].x << ", " << polygons[i][0].y << ", "
                << polygons[i][0].z << "): ray " << d.x << " " << d.y << " " << d.z
                << " escapes the level";
            EXPECT_LT(mklevel::Dot(hit.normal, direction), 0.0f)
                << "polygon " << i << " (" << polygons[i][0].x << ", " << polygons[i][0].y << ", "
                << polygons[i][0].z << ") ray meets the back of polygon " << hit.polygon;
        }
    }
}

struct TexelBox {
    int page, x0, y0, x1, y1;
};

// Texels that bilinear filtering reads anywhere on a polygon.
TexelBox Footprint(const WorldFile& file, const WorldPolygon& polygon) {
    TexelBox box{polygon.lightmapIndex, 1 << 20, 1 << 20, -(1 << 20), -(1 << 20)};
    for (int i = 0; i < polygon.vertexCount; ++i) {
        const WorldVertex& v = file.vertices[polygon.firstVertex + i];
        float s = v.lightmapU * 128.0f - 0.5f, t = v.lightmapV * 128.0f - 0.5f;
        // A coordinate on a texel centre reads that texel alone.
        box.x0 = std::min(box.x0, static_cast<int>(std::floor(s + 1e-3f)));
        box.y0 = std::min(box.y0, static_cast<int>(std::floor(t + 1e-3f)));
        box.x1 = std::max(box.x1, static_cast<int>(std::ceil(s - 1e-3f)));
        box.y1 = std::max(box.y1, static_cast<int>(std::ceil(t - 1e-3f)));
    }
    return box;
}

TEST_F(SampleLevelFile, LightmapChartsArePaddedAndKeptApart) {
    std::vector<TexelBox> boxes;
    for (const WorldPolygon& polygon : file_->polygons) {
        TexelBox box = Footprint(*file_, polygon);
        // A texel of padding on every side, inside the page.
        ASSERT_GE(box.x0, 1);
        ASSERT_GE(box.y0, 1);
        ASSERT_LE(box.x1, 126);
        ASSERT_LE(box.y1, 126);
        boxes.push_back(box);
    }
    for (size_t a = 0; a < boxes.size(); ++a) {
        for (size_t b = a + 1; b < boxes.size(); ++b) {
            const TexelBox &p = boxes[a], &q = boxes[b];
            if (p.page != q.page) continue;
            // Each footprint grown by its padding texel; they must not touch.
            bool apart = p.x1 + 1 < q.x0 - 1 || q.x1 + 1 < p.x0 - 1 || p.y1 + 1 < q.y0 - 1 ||
                         q.y1 + 1 < p.y0 - 1;
            EXPECT_TRUE(apart) << "padded charts of polygons " << a << " and " << b << " overlap";
        }
    }
}

TEST_F(SampleLevelFile, PaddingRepeatsTheChartEdge) {
    for (const WorldPolygon& polygon : file_->polygons) {
        TexelBox box = Footprint(*file_, polygon);
        const WorldLightmap& page = file_->lightmaps[box.page];
        for (int y = box.y0 - 1; y <= box.y1 + 1; ++y) {
            for (int x = box.x0 - 1; x <= box.x1 + 1; ++x) {
                int ix = std::clamp(x, box.x0, box.x1), iy = std::clamp(y, box.y0, box.y1);
                if (ix == x && iy == y) continue;
                ASSERT_EQ(0, std::memcmp(page.texel(x, y), page.texel(ix, iy), 3))
                    << "padding texel " << x << "," << y << " of page " << box.page;
            }
        }
    }
}

TEST(MklevelBake, SameLevelGivesTheSameBytes) {
    mklevel::BakeSettings coarse;
    coarse.luxelSize = 32;
    const mklevel::Level level = mklevel::BuildSampleLevel();
    std::vector<uint8_t> first = tundra_formats::EncodeWorldGeom(
        mklevel::MakeGeomLevel(level, mklevel::Bake(level, coarse)));
    std::vector<uint8_t> second = tundra_formats::EncodeWorldGeom(
        mklevel::MakeGeomLevel(mklevel::BuildSampleLevel(), mklevel::Bake(level, coarse)));
    EXPECT_EQ(first, second);
}

TEST(MklevelBake, StoredLightIsHalvedForTheDoubledModulation) {
    EXPECT_EQ(mklevel::EncodeLight(1.0f), 128);
    EXPECT_EQ(mklevel::EncodeLight(0.5f), 64);
    EXPECT_EQ(mklevel::EncodeLight(0.0f), 0);
    EXPECT_EQ(mklevel::EncodeLight(-1.0f), 0);
    EXPECT_EQ(mklevel::EncodeLight(1.99f), 255);
    EXPECT_EQ(mklevel::EncodeLight(5.0f), 255);
}

// A floor, a roof piece over part of it and one light above the roof.
mklevel::Level ShadowScene() {
    mklevel::Level level;
    level.textures = {"marble"};
    mklevel::LevelBuilder builder(level);
    builder.addPolygon({{-200, 0, -200}, {200, 0, -200}, {200, 0, 200}, {-200, 0, 200}}, {0, 1, 0});
    builder.addPolygon({{-50, 100, -50}, {50, 100, -50}, {50, 100, 50}, {-50, 100, 50}}, {0, 1, 0});
    level.lights = {{{0, 300, 0}, {2, 2, 2}, 1000}};
    level.ambient = {0.1f, 0.1f, 0.1f};
    return level;
}

TEST(MklevelBake, ShadowedPointIsClearlyDarkerThanLitPoint) {
    mklevel::Level level = ShadowScene();
    mklevel::Occluder occluder(level.polygons);
    mklevel::BakeSettings settings;
    Vec3 shadowed = mklevel::LightAt(level, occluder, {0, 0, 0}, {0, 1, 0}, 0, settings);
    Vec3 lit = mklevel::LightAt(level, occluder, {150, 0, 0}, {0, 1, 0}, 0, settings);
    EXPECT_LT(shadowed.x, 0.15f);  // ambient only
    EXPECT_GT(lit.x, 0.8f);
    EXPECT_GT(mklevel::EncodeLight(lit.x) - mklevel::EncodeLight(shadowed.x), 60);
}

TEST(MklevelBake, BakedPageShowsTheShadow) {
    mklevel::Level level = ShadowScene();
    mklevel::BakedLevel baked = mklevel::Bake(level);
    const mklevel::Chart& floor = baked.charts[0];
    auto stored = [&](Vec3 point) {
        float u = 0, v = 0;
        floor.lightmapCoordinates(point, u, v);
        int x = static_cast<int>(u * 128), y = static_cast<int>(v * 128);
        return baked.pages[floor.page].rgb[(y * 128 + x) * 3];
    };
    EXPECT_GT(stored({150, 0, 150}) - stored({0, 0, 0}), 60);
}

using tundra_test::RunTool;

const std::string kMklevel = tundra_test::ToolPath("mklevel");

TEST(MklevelCommandLine, HelpSaysWhatItWrites) {
    std::string output;
    EXPECT_EQ(RunTool(kMklevel + " --help", output), 0);
    EXPECT_NE(output.find("world.geom"), std::string::npos) << output;
    EXPECT_NE(output.find("Usage"), std::string::npos) << output;
}

TEST(MklevelCommandLine, BadArgumentsAreRefusedClearly) {
    std::string output;
    EXPECT_NE(RunTool(kMklevel + " --bogus", output), 0);
    EXPECT_NE(output.find("unknown option --bogus"), std::string::npos) << output;
    EXPECT_NE(RunTool(kMklevel + " --luxel-size 0", output), 0);
    EXPECT_NE(output.find("--luxel-size"), std::string::npos) << output;
    EXPECT_NE(RunTool(kMklevel + " --luxel-size", output), 0);
    EXPECT_NE(RunTool(kMklevel + " a.geom b.geom", output), 0);
    EXPECT_NE(output.find("more than one output"), std::string::npos) << output;
}

TEST(MklevelCommandLine, UnwritableOutputFails) {
    std::string output;
    EXPECT_NE(RunTool(kMklevel + " --luxel-size 64 /nonexistent-dir/world.geom", output), 0);
    EXPECT_NE(output.find("cannot write"), std::string::npos) << output;
}

}  // namespace
