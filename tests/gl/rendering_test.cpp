// What the GL device draws against what Direct3D 8 draws: one table of
// scenes (stages, transforms, culling, depth, blending, pixel centres), texel
// formats, and the fast paths (batching, direct drawing) that must not change
// a pixel.
#include "gl_fixture.h"
#include "platform/linux/gl/batcher.h"
#include "platform/linux/gl/formats.h"

#include <algorithm>
#include <cmath>

namespace gl_test {
namespace {

constexpr DWORD kFvfColor = D3DFVF_XYZ | D3DFVF_DIFFUSE, kFvfUv = D3DFVF_XYZ | D3DFVF_TEX1;
constexpr DWORD kFvfUv2 = D3DFVF_XYZ | D3DFVF_TEX2;
constexpr uint32_t kGrey = 0xFF212121;

// A rectangle in clip coordinates as a clockwise fan.
std::vector<PositionColor> Quad(float left, float top, float right, float bottom, float z,
                                D3DCOLOR color) {
    return {{left, top, z, color},
            {right, top, z, color},
            {right, bottom, z, color},
            {left, bottom, z, color}};
}
const std::vector<PositionUv2> kFullQuad = {{-1, 1, 0.5f, 0, 0, 0, 0},
                                            {1, 1, 0.5f, 1, 0, 1, 0},
                                            {1, -1, 0.5f, 1, 1, 1, 1},
                                            {-1, -1, 0.5f, 0, 1, 0, 1}};
// Clip coordinate of a Direct3D screen position on the 64-pixel axes.
float ClipX(float x) { return x / 32.0f - 1.0f; }
float ClipY(float y) { return 1.0f - y / 32.0f; }
// Left: a clockwise red triangle; right: a counter-clockwise green one.
const std::vector<PositionColor> kWindings = {
    {-0.9f, 0.9f, 0.5f, 0xFFFF0000},  {-0.1f, -0.9f, 0.5f, 0xFFFF0000},
    {-0.9f, -0.9f, 0.5f, 0xFFFF0000}, {0.1f, 0.9f, 0.5f, 0xFF00FF00},
    {0.1f, -0.9f, 0.5f, 0xFF00FF00},  {0.9f, -0.9f, 0.5f, 0xFF00FF00}};

class RenderingTest : public GlDeviceTest {
public:
    using GlDeviceTest::device_;
    using GlDeviceTest::draw;
    using GlDeviceTest::texture;

protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        tundra_testing::SetDirectDrawing(true);
        tundra_testing::SetDrawBatching(true);
        ASSERT_NO_FATAL_FAILURE(makeDevice());
    }
    void TearDown() override {
        GlDeviceTest::TearDown();
        tundra_testing::SetDirectDrawing(true);
        tundra_testing::SetDrawBatching(true);
        tundra_testing::ClearFaultPlan();
    }
    void makeDevice() {
        ASSERT_EQ(createDevice(), D3D_OK);
        useClipSpace();
    }

public:
    // Stage 0 passes the vertex colour and alpha through.
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
    void drawQuads(const std::vector<std::vector<PositionColor>>& quads) {
        std::vector<PositionColor> all;
        for (const auto& quad : quads) all.insert(all.end(), quad.begin(), quad.end());
        draw(all, kFvfColor, D3DPT_TRIANGLELIST, 0);
        for (UINT i = 0; i < quads.size(); ++i) device_->DrawPrimitive(D3DPT_TRIANGLEFAN, i * 4, 2);
    }

protected:
    uint32_t sampled(IDirect3DTexture8* texture) {
        blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
        return at(drawScene(kGrey,
                            [&] {
                                device_->SetTexture(0, texture);
                                draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
                            }),
                  32, 32);
    }
};

struct Probe {
    UINT x, y;
    uint32_t color;
};
struct Scene {
    const char* name;
    std::function<void(RenderingTest&)> draw;
    std::vector<Probe> probes;
};

// Scenes are drawn on a 64 × 64 frame cleared to kGrey, in clip space.
std::vector<Scene> Scenes() {
    return {
        {"clear rectangle from the top left",
         [](RenderingTest& t) {
             const D3DRECT rect{0, 0, 8, 4};
             t.device_->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
         },
         {{0, 0, 0xFFFF0000}, {7, 3, 0xFFFF0000}, {8, 3, kGrey}, {7, 4, kGrey}}},
        // The world's stages: texture times diffuse, then the lightmap at
        // double intensity, saturating.
        {"modulate 2x doubles and saturates",
         [](RenderingTest& t) {
             t.device_->SetTexture(0, t.texture(1, 1, {0xFFC08040}));
             t.device_->SetTexture(1, t.texture(2, 1, {0xFFFFFFFF, 0xFF40C020}, D3DFMT_X8R8G8B8));
             t.device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
             t.device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
             t.draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
         },
         {{16, 32, 0xFFFFFF80}, {48, 32, 0xFF60C010}}},
        {"disabled stage ends the cascade",
         [](RenderingTest& t) {
             t.device_->SetTexture(0, t.texture(1, 1, {0xFFFF0000}));
             t.device_->SetTexture(2, t.texture(1, 1, {0xFF000000}));
             t.device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_MODULATE);
             t.draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
         },
         {{32, 32, 0xFFFF0000}}},
        {"unlit vertex without colour is white",
         [](RenderingTest& t) {
             t.device_->SetTexture(0, t.texture(1, 1, {0xFF608040}));
             t.draw(kFullQuad, kFvfUv2, D3DPT_TRIANGLEFAN, 2);
         },
         {{32, 32, 0xFF608040}}},
        {"lighting without lights gives black",
         [](RenderingTest& t) {
             t.device_->SetRenderState(D3DRS_LIGHTING, TRUE);
             t.useDiffuse();
             t.drawQuads({Quad(-1, 1, 1, -1, 0.5f, 0xFFFFFFFF)});
         },
         {{32, 32, 0xFF000000}}},
        // Camera 10 units back, 90° field of view: the square from -5 to 5
        // covers pixels 16 to 47.
        {"camera puts the textured quad in the middle half",
         [](RenderingTest& t) {
             D3DMATRIX view = Identity(), projection{};
             view._43 = 10.0f;
             projection._11 = projection._22 = projection._34 = 1.0f;
             projection._33 = 100.0f / 99.0f;
             projection._43 = -100.0f / 99.0f;
             t.device_->SetTransform(D3DTS_VIEW, &view);
             t.device_->SetTransform(D3DTS_PROJECTION, &projection);
             t.device_->SetTexture(
                 0, t.texture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00}));
             t.device_->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
             t.device_->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
             t.draw(
                 std::vector<PositionUv>{
                     {-5, 5, 0, 0, 0}, {5, 5, 0, 1, 0}, {5, -5, 0, 1, 1}, {-5, -5, 0, 0, 1}},
                 kFvfUv, D3DPT_TRIANGLEFAN, 2);
         },
         {{16, 16, 0xFFFF0000},
          {43, 20, 0xFF00FF00},
          {20, 43, 0xFF0000FF},
          {47, 47, 0xFFFFFF00},
          {15, 32, kGrey},
          {48, 32, kGrey},
          {32, 15, kGrey},
          {32, 48, kGrey}}},
        {"counter-clockwise culled at first",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.draw(kWindings, kFvfColor, D3DPT_TRIANGLELIST, 2);
         },
         {{10, 48, 0xFFFF0000}, {40, 48, kGrey}}},
        {"cull none",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
             t.draw(kWindings, kFvfColor, D3DPT_TRIANGLELIST, 2);
         },
         {{10, 48, 0xFFFF0000}, {40, 48, 0xFF00FF00}}},
        {"cull clockwise",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
             t.draw(kWindings, kFvfColor, D3DPT_TRIANGLELIST, 2);
         },
         {{10, 48, kGrey}, {40, 48, 0xFF00FF00}}},
        // With GL's own -1..1 depth both halves would land behind 0.5.
        {"depth runs from 0 to 1",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
             t.drawQuads(
                 {Quad(-1, 1, 0, -1, 0.4f, 0xFFFF0000), Quad(0, 1, 1, -1, 0.6f, 0xFFFF0000)});
         },
         {{16, 32, 0xFFFF0000}, {48, 32, kGrey}}},
        {"nearer hides farther, negative depth is clipped",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.drawQuads({Quad(-1, 1, 1, -1, 0.2f, 0xFFFF0000),
                          Quad(-1, 1, 1, -1, 0.8f, 0xFF00FF00),
                          Quad(-1, 1, 0, -1, -0.1f, 0xFF0000FF)});
         },
         {{16, 32, 0xFFFF0000}, {48, 32, 0xFFFF0000}}},
        {"no depth test draws whatever the depth",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
             t.device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
             t.drawQuads({Quad(-1, 1, 1, -1, 0.5f, 0xFF00FF00)});
         },
         {{32, 32, 0xFF00FF00}}},
        {"source alpha blending",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
             t.blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
             t.drawQuads(
                 {Quad(-1, 1, 0, -1, 0.5f, 0x80FF0000), Quad(0, 1, 1, -1, 0.5f, 0xFFFF0000)});
         },
         {{16, 32, 0xFF80007F}, {48, 32, 0xFFFF0000}}},
        // Direct3D samples pixel i at x = i: an edge at 16.5 leaves pixel 16
        // out and takes 17.
        {"edges between pixel centres",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.drawQuads(
                 {Quad(ClipX(16.5f), ClipY(16.5f), ClipX(32.5f), ClipY(32.5f), 0.5f, 0xFFFFFFFF)});
         },
         {{16, 20, kGrey},
          {17, 20, 0xFFFFFFFF},
          {32, 20, 0xFFFFFFFF},
          {33, 20, kGrey},
          {20, 16, kGrey},
          {20, 17, 0xFFFFFFFF}}},
        {"a strip covers its rectangle",
         [](RenderingTest& t) {
             t.useDiffuse();
             t.device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
             t.draw(std::vector<PositionColor>{{-1, 1, 0.5f, 0xFF00FF00},
                                               {0, 1, 0.5f, 0xFF00FF00},
                                               {-1, -1, 0.5f, 0xFF00FF00},
                                               {0, -1, 0.5f, 0xFF00FF00}},
                    kFvfColor, D3DPT_TRIANGLESTRIP, 2);
         },
         {{5, 5, 0xFF00FF00}, {30, 60, 0xFF00FF00}, {40, 30, kGrey}}},
    };
}

TEST_F(RenderingTest, ScenesDrawWhatDirect3DDraws) {
    for (const Scene& scene : Scenes()) {
        SCOPED_TRACE(scene.name);
        releaseDevice();
        makeDevice();
        const std::vector<uint32_t> frame = drawScene(kGrey, [&] { scene.draw(*this); });
        for (const Probe& probe : scene.probes)
            EXPECT_TRUE(ColorNear(at(frame, probe.x, probe.y), probe.color, 2))
                << probe.x << "," << probe.y;
    }
}

// Batched draws and drawing straight into the window give the same pixels as
// unbatched draws into the device's own framebuffer.
TEST_F(RenderingTest, FastPathsChangeNoPixel) {
    for (const Scene& scene : Scenes()) {
        SCOPED_TRACE(scene.name);
        std::vector<std::vector<uint32_t>> frames;
        for (bool fast : {false, true}) {
            tundra_testing::SetDirectDrawing(fast);
            tundra_testing::SetDrawBatching(fast);
            releaseDevice();
            makeDevice();
            ASSERT_EQ(tundra_testing::DrawsDirectly(device_), fast);
            frames.push_back(drawScene(kGrey, [&] { scene.draw(*this); }));
        }
        EXPECT_TRUE(frames[0] == frames[1]);
    }
}

TEST_F(RenderingTest, TexelFormatsConvertAsDirect3DSamplesThem) {
    const struct {
        D3DFORMAT format;
        uint32_t texel, argb;
    } rows[] = {{D3DFMT_A8R8G8B8, 0x80102030, 0x80102030},
                {D3DFMT_X8R8G8B8, 0x00102030, 0xFF102030},
                {D3DFMT_R8G8B8, 0x010203, 0xFF010203},
                {D3DFMT_R5G6B5, 0xF81F, 0xFFFF00FF},
                {D3DFMT_R5G6B5, 0x0820, 0xFF080400},
                {D3DFMT_X1R5G5B5, 0x8C21, 0xFF180808},
                {D3DFMT_X1R5G5B5, 0x4152, 0xFF845294},
                {D3DFMT_A1R5G5B5, 0x7C00, 0x00FF0000},
                {D3DFMT_A1R5G5B5, 0x83E0, 0xFF00FF00},
                {D3DFMT_A4R4G4B4, 0x8421, 0x88442211},
                {D3DFMT_X4R4G4B4, 0x0421, 0xFF442211},
                {D3DFMT_L8, 0x5A, 0xFF5A5A5A},
                {D3DFMT_A8, 0x5A, 0x5A000000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "format " << row.format << " texel " << row.texel);
        uint8_t bytes[4];
        std::memcpy(bytes, &row.texel, 4);
        EXPECT_EQ(gl_d3d8::TexelToArgb(row.format, bytes), row.argb);
        // Drawn: 2 × 1 texels, blended by alpha over grey.
        const UINT size = row.format == D3DFMT_A8R8G8B8 || row.format == D3DFMT_X8R8G8B8 ? 4
                          : row.format == D3DFMT_R8G8B8                                  ? 3
                          : row.format == D3DFMT_L8 || row.format == D3DFMT_A8           ? 1
                                                                                         : 2;
        const uint32_t drawn = sampled(texture(2, 1, {row.texel, row.texel}, row.format, size));
        uint32_t expected = 0xFF000000;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t alpha = row.argb >> 24, channel = (row.argb >> shift) & 255;
            expected |= (channel * alpha + 0x21 * (255 - alpha) + 127) / 255 << shift;
        }
        EXPECT_TRUE(ColorNear(drawn, expected, 1));
    }
}

TEST_F(RenderingTest, UnwrittenResourcesReadAsZeroesAndLocksRewriteThem) {
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5}) {
        IDirect3DTexture8* blank = nullptr;
        ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, format, D3DPOOL_MANAGED, &blank), D3D_OK);
        resources_.push_back(blank);
        EXPECT_EQ(sampled(blank), format == D3DFMT_A8R8G8B8 ? kGrey : 0xFF000000u) << format;
    }
    IDirect3DTexture8* texture = this->texture(4, 4, std::vector<uint32_t>(16, 0x00C08040));
    EXPECT_EQ(sampled(texture), kGrey);
    D3DLOCKED_RECT locked{};
    const RECT part{1, 1, 3, 3};
    ASSERT_EQ(texture->LockRect(0, &locked, &part, 0), D3D_OK);
    for (int y = 0; y < 2; ++y)
        std::fill_n(
            reinterpret_cast<uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch), 2,
            0xFF10E020u);
    texture->UnlockRect(0);
    EXPECT_EQ(sampled(texture), 0xFF10E020u);
    // A vertex buffer never locked holds zeroes: only degenerate triangles.
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, kFvfColor, D3DPOOL_MANAGED, &buffer), D3D_OK);
    resources_.push_back(buffer);
    const std::vector<uint32_t> frame = drawScene(kGrey, [&] {
        device_->SetStreamSource(0, buffer, sizeof(PositionColor));
        device_->SetVertexShader(kFvfColor);
        EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
        EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 1, 2),
                  D3DERR_INVALIDCALL);  // past the end
    });
    EXPECT_EQ(frame, std::vector<uint32_t>(frame.size(), kGrey));
}

// A level's faces as fans with two textures each; between frames a fan moves,
// one goes and a texture is rewritten mid-frame: kept index lists must follow.
TEST_F(RenderingTest, BatchedFramesEqualUnbatchedOnes) {
    std::vector<PositionUv2> vertices;
    std::vector<std::pair<UINT, UINT>> level;  // first vertex, count
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
    auto render = [&](const std::vector<std::pair<UINT, UINT>>& faces, bool additive) {
        return drawScene(kGrey, [&] {
            device_->SetStreamSource(0, buffer, sizeof(PositionUv2));
            device_->SetVertexShader(kFvfUv2);
            device_->SetRenderState(D3DRS_ALPHABLENDENABLE, additive);
            device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
            device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
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
                EXPECT_EQ(
                    device_->DrawPrimitive(face % 9 == 4 ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLEFAN,
                                           faces[face].first, faces[face].second - 2),
                    D3D_OK);
            }
        });
    };
    std::vector<std::pair<UINT, UINT>> moved = level, shorter = level;
    moved[7] = level[1];
    shorter.erase(shorter.begin() + 8);
    shorter.back().second -= 1;
    const std::vector<std::vector<std::pair<UINT, UINT>>> frames = {level, level,   moved,
                                                                    level, shorter, level};
    std::vector<std::vector<uint32_t>> expected;
    tundra_testing::SetDrawBatching(false);
    for (size_t i = 0; i < frames.size(); ++i) expected.push_back(render(frames[i], i == 3));
    tundra_testing::SetDrawBatching(true);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(render(frames[i], i == 3) == expected[i]) << "frame " << i;
    EXPECT_FALSE(expected[2] == expected[1]);  // the variants show
    EXPECT_FALSE(expected[4] == expected[5]);
}

// Index lists the batcher kept are gone with releaseBuffers: the same draws
// afterwards must get a list of their own, not the deleted one.
TEST_F(RenderingTest, ReleasedBatchesAreNotDrawnAgain) {
    gl_d3d8::GlStateCache cache;
    gl_d3d8::DrawBatcher batcher(cache);
    GLint bound = 0, size = 0;
    for (int round = 0; round < 2; ++round) {
        batcher.add(D3DPT_TRIANGLELIST, 0, 1);
        batcher.add(D3DPT_TRIANGLEFAN, 3, 2);
        batcher.flush();
        bound = size = 0;
        glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
        glGetNamedBufferParameteriv(GLuint(bound), GL_BUFFER_SIZE, &size);
        EXPECT_EQ(size, GLint(9 * sizeof(GLuint))) << "round " << round;
        batcher.releaseBuffers();
    }
}

TEST_F(RenderingTest, PresentedFrameStaysWhileTheNextIsDrawn) {
    releaseDevice();
    tundra_testing::SetDirectDrawing(false);
    makeDevice();
    const std::vector<uint32_t> first = drawScene(0xFF3060A0, [] {});
    device_->BeginScene();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    device_->EndScene();
    std::vector<uint32_t> pixels;
    UINT width = 0, height = 0;
    ASSERT_TRUE(tundra_testing::ReadBackFrame(device_, pixels, width, height));
    EXPECT_EQ(pixels, std::vector<uint32_t>(kWidth * kHeight, 0xFF3060A0u));
}

// Which back buffers the window itself can serve as.
TEST_F(RenderingTest, OnlyABackBufferMatchingTheWindowIsDrawnDirectly) {
    const struct {
        const char* what;
        void (*change)(D3DPRESENT_PARAMETERS&);
        bool direct;
    } rows[] = {
        {"matching", [](D3DPRESENT_PARAMETERS&) {}, true},
        {"smaller", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferWidth = 32; }, false},
        {"16-bit colour", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_R5G6B5; },
         false},
        {"16-bit depth", [](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_D16; },
         false},
        {"copy swap", [](D3DPRESENT_PARAMETERS& p) { p.SwapEffect = D3DSWAPEFFECT_COPY; }, false},
        {"no depth", [](D3DPRESENT_PARAMETERS& p) { p.EnableAutoDepthStencil = FALSE; }, false},
        {"matching again", [](D3DPRESENT_PARAMETERS&) {}, true},
    };
    for (const auto& row : rows) {
        D3DPRESENT_PARAMETERS p = WindowedParameters(kWidth, kHeight);
        row.change(p);
        ASSERT_EQ(device_->Reset(&p), D3D_OK) << row.what;
        EXPECT_EQ(tundra_testing::DrawsDirectly(device_), row.direct) << row.what;
        parameters_ = p;
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
        const std::vector<uint32_t> frame = presentAndRead();
        EXPECT_TRUE(
            ColorNear(at(frame, p.BackBufferWidth - 1, p.BackBufferHeight - 1), 0xFF123456, 4))
            << row.what;
    }
    releaseDevice();
    tundra_testing::SetDirectDrawing(false);
    parameters_ = WindowedParameters(kWidth, kHeight);
    makeDevice();
    EXPECT_FALSE(tundra_testing::DrawsDirectly(device_)) << "switched off";
}

}  // namespace
}  // namespace gl_test
