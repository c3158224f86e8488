// What the GL device draws against what Direct3D 8 draws (the fast paths must not change a
// pixel), and what only the GL device has (the shared rules are in the contract test).
#include "gl_fixture.h"
#include "platform/linux/gl/device_limits.h"
#include "platform/linux/gl/formats.h"
#include "platform/linux/gl/gl_headers.h"
#include "platform/linux/internal.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace gl_test {
namespace {

constexpr DWORD kFvfColor = D3DFVF_XYZ | D3DFVF_DIFFUSE, kFvfUv = D3DFVF_XYZ | D3DFVF_TEX1;
constexpr DWORD kFvfUv2 = D3DFVF_XYZ | D3DFVF_TEX2;
constexpr uint32_t kGrey = 0xFF212121, kRed = 0xFFFF0000, kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

std::vector<PositionColor> Quad(float l, float t, float r, float b, float z, D3DCOLOR c) {
    return {{l, t, z, c}, {r, t, z, c}, {r, b, z, c}, {l, b, z, c}};
}
// A square of `side` pixels from (left, top) of the 64 x 64 frame, the whole texture on it.
std::vector<PositionUv> Square(float left, float top, float side) {
    const float l = left / 32 - 1, t = 1 - top / 32, r = l + side / 32, b = t - side / 32;
    return {{l, t, 0.5f, 0, 0}, {r, t, 0.5f, 1, 0}, {r, b, 0.5f, 1, 1}, {l, b, 0.5f, 0, 1}};
}
const std::vector<PositionUv2> kFullQuad = {{-1, 1, 0.5f, 0, 0, 0, 0},
                                            {1, 1, 0.5f, 1, 0, 1, 0},
                                            {1, -1, 0.5f, 1, 1, 1, 1},
                                            {-1, -1, 0.5f, 0, 1, 0, 1}};
const std::vector<PositionColor> kWindings = {
    {-0.9f, 0.9f, 0.5f, kRed},  {-0.1f, -0.9f, 0.5f, kRed},  {-0.9f, -0.9f, 0.5f, kRed},
    {0.1f, 0.9f, 0.5f, kGreen}, {0.1f, -0.9f, 0.5f, kGreen}, {0.9f, -0.9f, 0.5f, kGreen}};

struct Probe {
    UINT x, y;
    uint32_t color;
};
struct Scene {
    const char* name;
    std::vector<Probe> probes;
    std::function<void()> draw;
};

class RenderingTest : public GlDeviceTest {
public:
    std::vector<Scene> scenes();
    // Left a clockwise red triangle, right a counter-clockwise green one; 0 keeps the first cull.
    std::function<void()> windings(DWORD cull) {
        return [this, cull] {
            useDiffuse();
            if (cull) device_->SetRenderState(D3DRS_CULLMODE, cull);
            draw(kWindings, kFvfColor, D3DPT_TRIANGLELIST, 2);
        };
    }
    void useDiffuse() {
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    }
    void blend(DWORD source, DWORD destination) {
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, source);
        device_->SetRenderState(D3DRS_DESTBLEND, destination);
    }
    void fill(const std::vector<PositionColor>& quad) {
        draw(quad, kFvfColor, D3DPT_TRIANGLEFAN, 2);
    }
    uint32_t sampled(IDirect3DTexture8* texture) {
        blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
        device_->SetTexture(0, texture);
        return at(drawScene(kGrey, [&] { draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2); }), 32,
                  32);
    }
};

std::vector<Scene> RenderingTest::scenes() {
    std::vector<Scene> scenes;
    auto add = [&scenes](const char* name, std::vector<Probe> probes, std::function<void()> draw) {
        scenes.push_back({name, std::move(probes), std::move(draw)});
    };
    add("clear rectangles", {{0, 0, kRed}, {7, 3, kRed}, {8, 3, kGrey}, {7, 4, kGrey}}, [this] {
        const D3DRECT rects[] = {{4, 0, 8, 4}, {0, 0, 4, 4}};
        device_->Clear(2, rects, D3DCLEAR_TARGET, kRed, 1.0f, 0);
    });
    // The world's stages: texture times diffuse (white when unlit), then the lightmap doubled.
    add("modulate 2x doubles and saturates", {{16, 32, 0xFFFFFF80}, {48, 32, 0xFF60C010}}, [this] {
        device_->SetTexture(0, texture(1, 1, {0xFFC08040}));
        device_->SetTexture(1, texture(2, 1, {kWhite, 0xFF40C020}, D3DFMT_X8R8G8B8));
        device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
        draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
    });
    // Over a first quad that stage 1 made black.
    add("disabled stage ends the cascade", {{32, 32, kRed}}, [this] {
        device_->SetTexture(0, texture(1, 1, {kRed}));
        device_->SetTexture(1, texture(1, 1, {kBlack}));
        device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
        device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        device_->SetTexture(2, texture(1, 1, {kBlack}));
        device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_MODULATE);
        draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
    });
    add("lighting without lights gives black", {{32, 32, kBlack}}, [this] {
        device_->SetRenderState(D3DRS_LIGHTING, TRUE);
        useDiffuse();
        fill(Quad(-1, 1, 1, -1, 0.5f, kWhite));
    });
    // Camera 10 units back, 90° field of view: the square from -5 to 5 covers pixels 16 to 47.
    const std::vector<Probe> middleHalf = {{16, 16, kRed},       {43, 20, kGreen}, {20, 43, kBlue},
                                           {47, 47, 0xFFFFFF00}, {15, 32, kGrey},  {48, 32, kGrey},
                                           {32, 15, kGrey},      {32, 48, kGrey}};
    add("camera puts the textured quad in the middle half", middleHalf, [this] {
        D3DMATRIX view = Identity(), projection{};
        view._43 = 10.0f;
        projection._11 = projection._22 = projection._34 = 1.0f;
        projection._33 = 100.0f / 99.0f;
        projection._43 = -100.0f / 99.0f;
        device_->SetTransform(D3DTS_VIEW, &view);
        device_->SetTransform(D3DTS_PROJECTION, &projection);
        device_->SetTexture(0, texture(2, 2, {kRed, kGreen, kBlue, 0xFFFFFF00}));
        device_->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
        device_->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
        const std::vector<PositionUv> square = {
            {-5, 5, 0, 0, 0}, {5, 5, 0, 1, 0}, {5, -5, 0, 1, 1}, {-5, -5, 0, 0, 1}};
        draw(square, kFvfUv, D3DPT_TRIANGLEFAN, 2);
    });
    add("counter-clockwise culled at first", {{10, 48, kRed}, {40, 48, kGrey}}, windings(0));
    add("cull none", {{10, 48, kRed}, {40, 48, kGreen}}, windings(D3DCULL_NONE));
    add("cull clockwise", {{10, 48, kGrey}, {40, 48, kGreen}}, windings(D3DCULL_CW));
    // Depth runs 0..1 (with GL's -1..1 all would land behind 0.5); negative depth is clipped.
    add("depth test", {{16, 32, kRed}, {48, 32, kBlue}}, [this] {
        useDiffuse();
        device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
        fill(Quad(-1, 1, 0, -1, 0.4f, kRed));
        fill(Quad(0, 1, 1, -1, 0.6f, kGreen));
        fill(Quad(-1, 1, 1, -1, 0.45f, kBlue));
        fill(Quad(-1, 1, 0, -1, -0.1f, kWhite));
    });
    // Direct3D samples pixel i at x = i: an edge at 16.5 leaves pixel 16 out and takes 17.
    const std::vector<Probe> edges = {{16, 20, kGrey}, {17, 20, kWhite}, {32, 20, kWhite},
                                      {33, 20, kGrey}, {20, 16, kGrey},  {20, 17, kWhite}};
    add("edges between pixel centres", edges, [this] {
        device_->SetTexture(0, texture(1, 1, {kWhite}));
        draw(Square(16.5f, 16.5f, 16), kFvfUv, D3DPT_TRIANGLEFAN, 2);
    });
    // 16 x 16 texels in three levels, red, green and blue: near (magnified) level 0; at
    // 8 pixels, two texels a pixel, level 1; at 2 pixels, eight a pixel, the last level, 2.
    add("mip level by distance", {{16, 16, kRed}, {44, 12, kGreen}, {41, 41, kBlue}}, [this] {
        IDirect3DTexture8* texture = nullptr;
        device_->CreateTexture(16, 16, 3, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture);
        resources_.push_back(texture);
        for (UINT level = 0; level < 3; ++level) {
            D3DLOCKED_RECT locked{};
            texture->LockRect(level, &locked, nullptr, 0);
            std::fill_n(static_cast<uint32_t*>(locked.pBits), locked.Pitch / 4 * (16 >> level),
                        0xFF0000u >> 8 * level);
            texture->UnlockRect(level);
        }
        device_->SetTexture(0, texture);
        device_->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_POINT);
        for (const auto& [left, top, side] :
             {std::array<float, 3>{0, 0, 32}, {40, 8, 8}, {40.5f, 40.5f, 2}})
            draw(Square(left, top, side), kFvfUv, D3DPT_TRIANGLEFAN, 2);
    });
    add("triangle strip", {{5, 5, kGreen}, {30, 60, kGreen}, {40, 30, kGrey}}, [this] {
        useDiffuse();
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        std::vector<PositionColor> strip = Quad(-1, 1, 0, -1, 0.5f, kGreen);
        std::swap(strip[2], strip[3]);
        draw(strip, kFvfColor, D3DPT_TRIANGLESTRIP, 2);
    });
    // The red quad is nearer but leaves the depth buffer cleared: green, farther, shows.
    add("depth writes off", {{16, 32, kGreen}, {48, 32, kRed}}, [this] {
        useDiffuse();
        device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        fill(Quad(-1, 1, 1, -1, 0.2f, kRed));
        device_->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        fill(Quad(-1, 1, 0, -1, 0.6f, kGreen));
    });
    // GL hands a deleted texture's name to the next one made: the stage must see the new one.
    add("texture made after one released", {{16, 16, kRed}, {48, 48, kGreen}}, [this] {
        IDirect3DTexture8* old = texture(1, 1, {kRed});
        device_->SetTexture(0, old);
        draw(Square(0, 0, 32), kFvfUv, D3DPT_TRIANGLEFAN, 2);
        device_->SetTexture(0, nullptr);
        auto& kept = resources_;
        kept.erase(std::find(kept.begin(), kept.end(), old));
        old->Release();
        device_->SetTexture(0, texture(1, 1, {kGreen}));
        draw(Square(32, 32, 32), kFvfUv, D3DPT_TRIANGLEFAN, 2);
    });
    // Wrapping, then clamping on the same stage: u runs from 0 to 2 across each square.
    add("addressing changed between draws", {{20, 32, kRed}, {52, 32, kGreen}}, [this] {
        device_->SetTexture(0, texture(2, 1, {kRed, kGreen}));
        for (float left : {0.0f, 32.0f}) {
            std::vector<PositionUv> square = Square(left, 16, 32);
            for (PositionUv& v : square) v.u *= 2;
            if (left > 0) device_->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
            draw(square, kFvfUv, D3DPT_TRIANGLEFAN, 2);
        }
    });
    // Stage 1 names coordinate set 1, then vertices without one come: it reads (0, 0), red.
    add("a coordinate set the vertices lack", {{16, 32, kRed}, {48, 32, kRed}}, [this] {
        device_->SetTexture(1, texture(2, 1, {kRed, kGreen}));
        device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
        draw(Square(0, 0, 64), kFvfUv, D3DPT_TRIANGLEFAN, 2);
    });
    // Past the batches a frame keeps in GL buffers, the indices go from memory.
    add("more batches than a frame keeps, the last red", {{32, 32, kRed}}, [this] {
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
        for (DWORD i = 0; i <= gl_d3d8::kMaxCachedBatches; ++i) {
            device_->SetRenderState(D3DRS_TEXTUREFACTOR, i % 2 ? kBlue : kRed);
            device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);  // two draws: a batch
            device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
        }
    });
    const std::vector<Probe> diagonal = {
        {56, 8, kWhite}, {8, 8, kBlue},  {24, 24, 0xFFFFFF00}, {40, 40, 0xFFFFFF00},
        {56, 56, kGrey}, {40, 8, kGrey}, {44, 28, 0xFFFFFF00}};
    // As a string's glyphs are drawn: one quad, moved down the diagonal by each world.
    add("one quad under three world translations", diagonal, [this] {
        useDiffuse();
        draw(Quad(-1, 1, -0.5f, 0.5f, 0.5f, kBlue), kFvfColor, D3DPT_TRIANGLEFAN, 0);
        for (float step : {0.0f, 0.5f, 1.0f}) {
            D3DMATRIX world = Identity();
            world._41 = step, world._42 = -step;
            device_->SetTransform(D3DTS_WORLD, &world);
            // The last two blue's complement, yellow: a changed stage is no draw to
            // gather; the third is still gathered when another format is named.
            if (step == 0.5f)
                device_->SetTextureStageState(0, D3DTSS_COLORARG1,
                                              D3DTA_DIFFUSE | D3DTA_COMPLEMENT);
            device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
        }
        // w = 2 halves the quad moved by (1.5, -0.5): pixels 40 to 48 across, 24 to 32 down. A
        // projective world keeps the draw out of a merge, which would move it as an affine one.
        D3DMATRIX halved = Identity();
        halved._41 = 1.5f, halved._42 = -0.5f, halved._44 = 2;
        device_->SetTransform(D3DTS_WORLD, &halved);
        device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
        // The last quad again, gathered anew; then another vertex format named before its
        // buffer: the gathered quad keeps its own.
        D3DMATRIX world = Identity();
        world._41 = 1, world._42 = -1;
        device_->SetTransform(D3DTS_WORLD, &world);
        device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
        device_->SetVertexShader(kFvfUv);
        world._41 = world._42 = 0;
        device_->SetTransform(D3DTS_WORLD, &world);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);  // white
        draw(Square(48, 0, 16), kFvfUv, D3DPT_TRIANGLEFAN, 2);
    });
    return scenes;
}

// Slow path (unbatched, own framebuffer) first, then batched and straight into the window.
TEST_F(RenderingTest, ScenesDrawWhatDirect3DDrawsOnBothPaths) {
    for (const Scene& scene : scenes()) {
        SCOPED_TRACE(scene.name);
        std::vector<std::vector<uint32_t>> frames;
        for (bool fast : {false, true}) {
            SetFastPaths(fast, fast);
            releaseDevice();
            createSceneDevice();
            ASSERT_EQ(GlDeviceOf(device_).drawsDirectly(), fast);
            frames.push_back(drawScene(kGrey, [&] { scene.draw(); }));
        }
        EXPECT_TRUE(frames[0] == frames[1]);
        for (const Probe& probe : scene.probes)
            EXPECT_TRUE(ColorNear(at(frames[1], probe.x, probe.y), probe.color, 2))
                << probe.x << "," << probe.y;
    }
}

TEST_F(RenderingTest, TexelFormatsConvertAsDirect3DSamplesThem) {
    ASSERT_NO_FATAL_FAILURE(createSceneDevice());
    const struct {
        D3DFORMAT format;
        UINT bytes;
        uint32_t texel, argb;
    } rows[] = {{D3DFMT_A8R8G8B8, 4, 0x80102030, 0x80102030},
                {D3DFMT_X8R8G8B8, 4, 0x00102030, 0xFF102030},
                {D3DFMT_R8G8B8, 3, 0x010203, 0xFF010203},
                {D3DFMT_R5G6B5, 2, 0xF81F, 0xFFFF00FF},
                {D3DFMT_R5G6B5, 2, 0x0820, 0xFF080400},
                {D3DFMT_X1R5G5B5, 2, 0x8C21, 0xFF180808},
                {D3DFMT_X1R5G5B5, 2, 0x4152, 0xFF845294},
                {D3DFMT_A1R5G5B5, 2, 0x7C00, 0x00FF0000},
                {D3DFMT_A1R5G5B5, 2, 0x83E0, kGreen},
                {D3DFMT_A4R4G4B4, 2, 0x8421, 0x88442211},
                {D3DFMT_X4R4G4B4, 2, 0x0421, 0xFF442211},
                {D3DFMT_L8, 1, 0x5A, 0xFF5A5A5A},
                {D3DFMT_A8, 1, 0x5A, 0x5A000000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "format " << row.format << " texel " << row.texel);
        EXPECT_EQ(gl_d3d8::TexelToArgb(row.format, reinterpret_cast<const uint8_t*>(&row.texel)),
                  row.argb);
        uint32_t expected = 0xFF000000;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t alpha = row.argb >> 24, channel = (row.argb >> shift) & 255;
            expected |= (channel * alpha + 0x21 * (255 - alpha) + 127) / 255 << shift;
        }
        EXPECT_TRUE(ColorNear(sampled(texture(2, 1, {row.texel, row.texel}, row.format, row.bytes)),
                              expected));
    }
}

// Before any Clear, and after a Reset with depth writes left off, buffers are black and far.
TEST_F(RenderingTest, UnwrittenResourcesReadAsZeroesAndLocksRewriteThem) {
    ASSERT_NO_FATAL_FAILURE(createSceneDevice());
    for (float z : {0.9f, 0.95f}) {
        device_->BeginScene();
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);  // on again after a Reset
        useDiffuse();
        fill(Quad(-1, 1, 0, -1, z, kRed));
        device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        fill(Quad(0, 1, 1, -1, 0.5f, kBlack));
        device_->EndScene();
        const std::vector<uint32_t> frame = presentAndRead();
        EXPECT_EQ(std::pair(at(frame, 16, 32), at(frame, 48, 32)), std::pair(kRed, kBlack)) << z;
        ASSERT_EQ(device_->Reset(&parameters_), D3D_OK);
    }
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5}) {
        const uint32_t expected = format == D3DFMT_A8R8G8B8 ? kGrey : kBlack;
        EXPECT_EQ(sampled(texture(4, 4, {}, format)), expected) << format;
    }
    IDirect3DTexture8* texture = this->texture(4, 4, std::vector<uint32_t>(16, 0x00C08040));
    EXPECT_EQ(sampled(texture), kGrey);
    D3DLOCKED_RECT locked{};
    const RECT part{1, 1, 3, 3};
    ASSERT_EQ(texture->LockRect(0, &locked, &part, 0), D3D_OK);
    BYTE* const bits = static_cast<BYTE*>(locked.pBits);
    for (int y = 0; y < 2; ++y)
        std::fill_n(reinterpret_cast<uint32_t*>(bits + y * locked.Pitch), 2, 0xFF10E020u);
    texture->UnlockRect(0);
    EXPECT_EQ(sampled(texture), 0xFF10E020u);
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, kFvfColor, D3DPOOL_MANAGED, &buffer), D3D_OK);
    resources_.push_back(buffer);
    const std::vector<uint32_t> frame = drawScene(kGrey, [&] {
        device_->SetStreamSource(0, buffer, sizeof(PositionColor));
        device_->SetVertexShader(kFvfColor);
        EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
    });
    EXPECT_EQ(frame, std::vector<uint32_t>(frame.size(), kGrey));
}

// Kept index lists must follow when a fan moves, one goes, or a texture is rewritten mid-frame.
TEST_F(RenderingTest, BatchedFramesEqualUnbatchedOnes) {
    ASSERT_NO_FATAL_FAILURE(createSceneDevice());
    std::vector<PositionUv2> vertices;
    using Faces = std::vector<std::pair<UINT, UINT>>;  // first vertex, count
    Faces level;
    for (int face = 0; face < 40; ++face) {
        const float cx = std::sin(face * 1.7f) * 0.8f, cy = std::cos(face * 2.3f) * 0.8f;
        const int sides = 3 + face % 6;
        level.push_back({UINT(vertices.size()), UINT(sides)});
        for (int k = 0; k < sides; ++k) {
            const float angle = -6.2831853f * float(k) / float(sides);  // clockwise
            const float x = cx + 0.3f * std::cos(angle), y = cy + 0.3f * std::sin(angle);
            vertices.push_back({x, y, 0.2f + 0.01f * float(face), x * 2, y * 2, x, y});
        }
    }
    IDirect3DVertexBuffer8* buffer = vertexBuffer(vertices, kFvfUv2);
    std::vector<IDirect3DTexture8*> textures;
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        std::vector<uint32_t> texels(64);
        for (size_t i = 0; i < texels.size(); ++i)
            texels[i] = 0xFF000000u | ((uint32_t(i) * 2654435761u * seed) & 0xFFFFFF);
        textures.push_back(texture(8, 8, texels));
    }
    auto render = [&](const Faces& faces, bool additive) {
        return drawScene(kGrey, [&] {
            device_->SetStreamSource(0, buffer, sizeof(PositionUv2));
            device_->SetVertexShader(kFvfUv2);
            blend(D3DBLEND_ONE, D3DBLEND_ONE);
            device_->SetRenderState(D3DRS_ALPHABLENDENABLE, additive);
            for (size_t face = 0; face < faces.size(); ++face) {
                device_->SetTexture(0, textures[(face / 7) % 3]);
                device_->SetTexture(1, face % 13 == 7 ? nullptr : textures[(face / 5) % 3]);
                device_->SetTextureStageState(1, D3DTSS_COLOROP,
                                              face % 13 == 7 ? D3DTOP_DISABLE : D3DTOP_MODULATE2X);
                if (face == 24) {  // faces 21 to 23 use it and are still pending
                    D3DLOCKED_RECT locked{};
                    textures[0]->LockRect(0, &locked, nullptr, 0);
                    static_cast<uint32_t*>(locked.pBits)[face] ^= 0x00FFFFFF;
                    textures[0]->UnlockRect(0);
                }
                const auto [first, count] = faces[face];
                const auto type = face % 9 == 4 ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLEFAN;
                EXPECT_EQ(device_->DrawPrimitive(type, first, count - 2), D3D_OK);
            }
        });
    };
    Faces moved = level, shorter = level;
    moved[7] = level[1];
    shorter.erase(shorter.begin() + 8);
    shorter.back().second -= 1;
    const std::vector<Faces> frames = {level, level, moved, level, shorter, level};
    std::vector<std::vector<uint32_t>> expected;
    SetFastPaths(false);
    for (size_t i = 0; i < frames.size(); ++i) expected.push_back(render(frames[i], i == 3));
    SetFastPaths(true);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(render(frames[i], i == 3) == expected[i]) << "frame " << i;
    EXPECT_TRUE(expected[2] != expected[1] && expected[4] != expected[5]);  // the variants show
}

// Source-over of opaque texels changes nothing, so GL leaves it off; translucency keeps it on.
TEST_F(RenderingTest, BlendingOfOpaqueTexelsIsLeftOffWithoutChangingAPixel) {
    ASSERT_NO_FATAL_FAILURE(createSceneDevice());
    const struct {
        D3DFORMAT format;
        UINT bytes;
        uint32_t first, second;
        bool elided;
        DWORD colorOp1 = D3DTOP_DISABLE;     // SELECTARG2: a second stage taking alpha 0x80
        DWORD alphaOp0 = D3DTOP_SELECTARG1;  // MODULATE: the first stage's alpha times 0x80
    } rows[] = {
        {D3DFMT_A8R8G8B8, 4, 0xFFC08040, 0xFF40C020, true},
        {D3DFMT_A8R8G8B8, 4, 0xFFC08040, 0xFF40C020, false, D3DTOP_SELECTARG2},
        {D3DFMT_A8R8G8B8, 4, 0xFFC08040, 0xFF40C020, false, D3DTOP_DISABLE, D3DTOP_MODULATE},
        {D3DFMT_A8R8G8B8, 4, 0xFFC08040, 0xFE40C020, false},
        {D3DFMT_X8R8G8B8, 4, 0x00C08040, 0x0040C020, true},
        {D3DFMT_R5G6B5, 2, 0xF81F, 0x0820, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "format " << row.format << " texel " << row.second);
        IDirect3DTexture8* image = texture(2, 1, {row.first, row.second}, row.format, row.bytes);
        GLboolean glBlending = GL_FALSE;
        auto render = [&](BOOL blending) {
            return drawScene(kGrey, [&] {
                blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
                device_->SetRenderState(D3DRS_ALPHABLENDENABLE, blending);
                device_->SetTexture(0, image);
                device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80FFFFFF);
                device_->SetTextureStageState(0, D3DTSS_ALPHAOP, row.alphaOp0);
                device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
                device_->SetTextureStageState(1, D3DTSS_COLOROP, row.colorOp1);
                device_->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
                device_->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
                draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
                glBlending = glIsEnabled(GL_BLEND);
            });
        };
        const std::vector<uint32_t> unblended = render(FALSE), blended = render(TRUE);
        EXPECT_EQ(glBlending == GL_FALSE, row.elided);
        EXPECT_EQ(blended == unblended, row.elided);
    }
}

TEST_F(RenderingTest, OnlyABackBufferMatchingTheWindowIsDrawnDirectly) {
    ASSERT_NO_FATAL_FAILURE(createSceneDevice());
    const struct {
        const char* what;
        void (*change)(D3DPRESENT_PARAMETERS&);
        bool direct;
        uint32_t shown;  // of 0xFF84033C: 5 bits keep red 132 and blue 58, 6 bits green 4
    } rows[] = {
        {"matching", [](auto&) {}, true, 0xFF84033C},
        {"smaller", [](auto& p) { p.BackBufferWidth = 32; }, false, 0xFF84033C},
        // A window takes only the display's format: 16-bit colour is full screen.
        {"5-6-5 colour", [](auto& p) { p.Windowed = FALSE, p.BackBufferFormat = D3DFMT_R5G6B5; },
         false, 0xFF84043A},
        {"5-5-5 colour", [](auto& p) { p.Windowed = FALSE, p.BackBufferFormat = D3DFMT_X1R5G5B5; },
         false, 0xFF84003A},
        {"16-bit depth", [](auto& p) { p.AutoDepthStencilFormat = D3DFMT_D16; }, false, 0xFF84033C},
        {"copy swap", [](auto& p) { p.SwapEffect = D3DSWAPEFFECT_COPY, p.BackBufferCount = 1; },
         false, 0xFF84033C},
        {"no depth", [](auto& p) { p.EnableAutoDepthStencil = FALSE; }, false, 0xFF84033C},
        {"matching again", [](auto&) {}, true, 0xFF84033C},
    };
    for (const auto& row : rows) {
        D3DPRESENT_PARAMETERS p = WindowedParameters(kWidth, kHeight);
        row.change(p);
        ASSERT_EQ(device_->Reset(&p), D3D_OK) << row.what;
        EXPECT_EQ(GlDeviceOf(device_).drawsDirectly(), row.direct) << row.what;
        parameters_ = p;
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF84033C, 1.0f, 0);
        const std::vector<uint32_t> frame = presentAndRead();
        EXPECT_TRUE(ColorNear(at(frame, p.BackBufferWidth - 1, p.BackBufferHeight - 1), row.shown))
            << row.what;
        if (row.direct) continue;
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, kWhite, 1.0f, 0);
        EXPECT_EQ(presentedFrame(), frame)
            << row.what << ": the presented frame stays while the next is drawn";
    }
}

// Quadrants red, green / blue, white, scaled, upright, unmirrored: in a window smaller than the
// back buffer (as shipped), and in one drawn into directly until made smaller under the device.
TEST_F(RenderingTest, WindowShowsTheBackBufferScaledUpright) {
    const uint32_t colours[] = {kRed, kGreen, kBlue, kWhite};
    for (const auto& [madeWidth, madeHeight, w, h] :
         {std::array<int, 4>{32, 16, 32, 16}, {64, 64, 48, 40}, {64, 64, 47, 64}}) {
        releaseDevice();
        DestroyWindow(window_);
        window_ = MakeWindow(madeWidth, madeHeight);
        createSceneDevice();
        for (int frame = 0; frame < 3; ++frame) {  // the window changes after the first
            for (LONG q = 0; q < 4; ++q) {
                const D3DRECT r{q % 2 * 32, q / 2 * 32, q % 2 * 32 + 32, q / 2 * 32 + 32};
                device_->Clear(1, &r, D3DCLEAR_TARGET, colours[q], 1.0f, 0);
            }
            EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
            SDL_SetWindowSize(platform_linux::SdlWindowOf(window_), w, h);
        }
        // The offscreen driver's window keeps what Present put there (its one buffer).
        std::vector<uint32_t> shown(size_t(w) * h);  // GL's rows: bottom-up
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, shown.data());
        int wrong = 0;  // away from the lines where quadrants blend
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                wrong += std::abs(2 * x + 1 - w) > 3 && std::abs(2 * y + 1 - h) > 3 &&
                         shown[size_t(h - 1 - y) * w + x] !=
                             colours[(2 * y >= h) * 2 + (2 * x >= w)];
        EXPECT_EQ(wrong, 0) << w << " x " << h;
        // An odd width centres the middle column between a red and a green texel: both filtered.
        EXPECT_TRUE(w % 2 == 0 || ColorNear(shown[(h - 1 - h / 4) * w + w / 2], 0xFF808000, 2));
    }
}

using DeviceTest = RenderingTest;

struct Request {
    D3DPRESENT_PARAMETERS p;
    HWND window;
    DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    UINT adapter = 0;
};

TEST_F(DeviceTest, TakesCapsFromGlAndRefusesWhatDirect3DRefuses) {
    const struct {
        const char* what;
        void (*change)(Request&);
    } rows[] = {
        {"texture-only format", [](auto& r) { r.p.BackBufferFormat = D3DFMT_A8; }},
        {"D15S1 depth", [](auto& r) { r.p.AutoDepthStencilFormat = D3DFMT_D15S1; }},
        {"full screen, no width", [](auto& r) { r.p.Windowed = FALSE, r.p.BackBufferWidth = 0; }},
        {"full screen, no height", [](auto& r) { r.p.Windowed = FALSE, r.p.BackBufferHeight = 0; }},
        {"one sample", [](auto& r) { r.p.MultiSampleType = D3DMULTISAMPLE_TYPE(1); }},
        {"17 samples", [](auto& r) { r.p.MultiSampleType = D3DMULTISAMPLE_TYPE(17); }},
        {"four back buffers", [](auto& r) { r.p.BackBufferCount = 4; }},
        {"copy from two", [](auto& r) { r.p.SwapEffect = D3DSWAPEFFECT_COPY; }},
        // Windowed, the display mode (32-bit colour here) decides.
        {"windowed refresh rate", [](auto& r) { r.p.FullScreen_RefreshRateInHz = 60; }},
        {"windowed interval", [](auto& r) { r.p.FullScreen_PresentationInterval = 1; }},
        {"windowed 1-5-5-5", [](auto& r) { r.p.BackBufferFormat = D3DFMT_A1R5G5B5; }},
        {"no vertex processing", [](auto& r) { r.flags = 0; }},
        {"missing adapter", [](auto& r) { r.adapter = 99; }},
        {"no window", [](auto& r) { r.window = nullptr; }},
    };
    for (const auto& row : rows) {
        Request r{WindowedParameters(kWidth, kHeight), window_};
        row.change(r);
        IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(1);
        const HRESULT hr =
            d3d_->CreateDevice(r.adapter, D3DDEVTYPE_HAL, r.window, r.flags, &r.p, &device);
        EXPECT_TRUE(hr == D3DERR_INVALIDCALL || hr == D3DERR_NOTAVAILABLE) << row.what;
        EXPECT_EQ(device, nullptr) << row.what;
    }
    D3DPRESENT_PARAMETERS two = parameters_;  // a count Direct3D 8 allows; GL may lack it
    two.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    IDirect3DDevice8* multisampled = nullptr;
    EXPECT_NE(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &two, &multisampled),
              D3DERR_INVALIDCALL);
    if (multisampled) multisampled->Release();
    ASSERT_EQ(createDevice(D3DCREATE_SOFTWARE_VERTEXPROCESSING), D3D_OK);
    EXPECT_EQ(d3d_->GetAdapterCount(), UINT(SDL_GetNumVideoDisplays()));
    D3DCAPS8 caps{}, deviceCaps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    EXPECT_TRUE(caps.MaxTextureWidth == DWORD(maxSize) && caps.MaxTextureHeight == DWORD(maxSize));
    EXPECT_GE(caps.MaxSimultaneousTextures, 2u);
    ASSERT_EQ(device_->GetDeviceCaps(&deviceCaps), D3D_OK);
    EXPECT_EQ(deviceCaps.MaxTextureWidth, caps.MaxTextureWidth);
    EXPECT_EQ(d3d_->GetDeviceCaps(d3d_->GetAdapterCount(), D3DDEVTYPE_HAL, &caps),
              D3DERR_INVALIDCALL);
    IDirect3DTexture8* huge = nullptr;
    const HRESULT hr = device_->CreateTexture(caps.MaxTextureWidth, caps.MaxTextureHeight, 0, 0,
                                              D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &huge);
    EXPECT_TRUE(hr == D3DERR_OUTOFVIDEOMEMORY || hr == E_OUTOFMEMORY) << hr;
    // Direct3D 8.0's and 8.1's SDK versions get an object, others none.
    IDirect3D8* later = Direct3DCreate8(220);
    EXPECT_NE(later, nullptr);
    if (later) later->Release();
    EXPECT_EQ(Direct3DCreate8(121), nullptr);
}

TEST_F(DeviceTest, OnlyAFullScreenDeviceIsLostWithItsWindowsActivation) {
    for (BOOL windowed : {TRUE, FALSE}) {
        releaseDevice();
        parameters_.Windowed = windowed;
        ASSERT_EQ(createDevice(), D3D_OK);
        ShowWindow(window_, SW_SHOW);
        EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
        ShowWindow(window_, SW_HIDE);
        EXPECT_EQ(device_->TestCooperativeLevel(), windowed ? D3D_OK : D3DERR_DEVICELOST);
        ShowWindow(window_, SW_SHOW);
        EXPECT_EQ(device_->TestCooperativeLevel(), windowed ? D3D_OK : D3DERR_DEVICENOTRESET);
    }
}

}  // namespace
}  // namespace gl_test
