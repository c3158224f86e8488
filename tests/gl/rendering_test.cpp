// Pixel tests of the GL device against what Direct3D 8 draws: clears,
// texture stages, transforms, culling, depth, blending and pixel centres.
#include "gl_fixture.h"

#include <algorithm>
#include <cmath>

namespace gl_test {
namespace {

constexpr DWORD kFvfColor = D3DFVF_XYZ | D3DFVF_DIFFUSE;
constexpr DWORD kFvfUv = D3DFVF_XYZ | D3DFVF_TEX1;
constexpr DWORD kFvfUv2 = D3DFVF_XYZ | D3DFVF_TEX2;

// A rectangle in clip coordinates as a clockwise fan: top left, top right,
// bottom right, bottom left.
std::vector<PositionColor> ColorQuad(float left, float top, float right, float bottom, float z,
                                     D3DCOLOR color) {
    return {{left, top, z, color},
            {right, top, z, color},
            {right, bottom, z, color},
            {left, bottom, z, color}};
}

std::vector<PositionUv2> FullScreenQuad2() {
    return {{-1, 1, 0.5f, 0, 0, 0, 0},
            {1, 1, 0.5f, 1, 0, 1, 0},
            {1, -1, 0.5f, 1, 1, 1, 1},
            {-1, -1, 0.5f, 0, 1, 0, 1}};
}

// Clip coordinate of a Direct3D screen position on the 64-pixel axes.
float ClipX(float screenX) { return screenX / 32.0f - 1.0f; }
float ClipY(float screenY) { return 1.0f - screenY / 32.0f; }

class RenderingTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        ASSERT_EQ(createDevice(), D3D_OK);
        useClipSpace();
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF212121, 1.0f, 0);
    }

    std::vector<uint32_t> finish() {
        EXPECT_EQ(device_->EndScene(), D3D_OK);
        return presentAndRead();
    }

    // Stage 0 passes the vertex colour (with its alpha) through.
    void useDiffuseOnly() {
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    }
};

TEST_F(RenderingTest, ClearFillsTheWholeFrame) {
    const std::vector<uint32_t> frame = finish();
    ASSERT_EQ(frame.size(), size_t(kWidth * kHeight));
    EXPECT_TRUE(
        std::all_of(frame.begin(), frame.end(), [](uint32_t p) { return p == 0xFF212121u; }));
}

TEST_F(RenderingTest, ClearWithRectanglesUsesTopLeftOrigin) {
    const D3DRECT rect{0, 0, 8, 4};
    device_->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    const std::vector<uint32_t> frame = finish();
    EXPECT_EQ(at(frame, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(at(frame, 7, 3), 0xFFFF0000u);
    EXPECT_EQ(at(frame, 8, 3), 0xFF212121u);
    EXPECT_EQ(at(frame, 7, 4), 0xFF212121u);
}

// The world's two stages: surface texture modulated by the (white) diffuse
// colour, then by the lightmap at double intensity, saturating.
TEST_F(RenderingTest, Modulate2xDoublesAndSaturates) {
    const uint32_t surface = 0xFFC08040;
    const uint32_t lightmapTexels[4] = {0xFFFFFFFF, 0xFF808080, 0xFF000000, 0xFF40C020};
    IDirect3DTexture8* surfaceTexture = texture(2, 2, {surface, surface, surface, surface});
    IDirect3DTexture8* lightmap =
        texture(2, 2, {lightmapTexels[0], lightmapTexels[1], lightmapTexels[2], lightmapTexels[3]},
                D3DFMT_X8R8G8B8);
    device_->SetTexture(0, surfaceTexture);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device_->SetTexture(1, lightmap);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    draw(FullScreenQuad2(), kFvfUv2, D3DPT_TRIANGLEFAN, 2);
    const std::vector<uint32_t> frame = finish();

    const UINT centres[4][2] = {{16, 16}, {48, 16}, {16, 48}, {48, 48}};
    for (int i = 0; i < 4; ++i) {
        uint32_t expected = 0xFF000000;
        for (int shift = 0; shift < 24; shift += 8) {
            const int a = int((surface >> shift) & 255),
                      b = int((lightmapTexels[i] >> shift) & 255);
            const int channel = std::min(255, int(std::lround(2.0 * a * b / 255.0)));
            expected |= uint32_t(channel) << shift;
        }
        EXPECT_TRUE(ColorNear(at(frame, centres[i][0], centres[i][1]), expected, 2))
            << "quadrant " << i;
    }
}

TEST_F(RenderingTest, DisabledStageEndsTheCascade) {
    IDirect3DTexture8* red = texture(1, 1, {0xFFFF0000});
    IDirect3DTexture8* black = texture(1, 1, {0xFF000000});
    device_->SetTexture(0, red);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device_->SetTexture(2, black);
    device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_MODULATE);
    draw(FullScreenQuad2(), kFvfUv2, D3DPT_TRIANGLEFAN, 2);
    EXPECT_EQ(at(finish(), 32, 32), 0xFFFF0000u);
}

TEST_F(RenderingTest, UnlitVertexWithoutColourIsOpaqueWhite) {
    // Stage 0 keeps its initial MODULATE(texture, current = diffuse).
    IDirect3DTexture8* grey = texture(1, 1, {0xFF608040});
    device_->SetTexture(0, grey);
    std::vector<PositionUv> quad = {
        {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    draw(quad, kFvfUv, D3DPT_TRIANGLEFAN, 2);
    EXPECT_EQ(at(finish(), 32, 32), 0xFF608040u);
}

TEST_F(RenderingTest, LightingWithoutLightsGivesBlack) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    useDiffuseOnly();
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    draw(ColorQuad(-1, 1, 1, -1, 0.5f, 0xFFFFFFFF), kFvfColor, D3DPT_TRIANGLEFAN, 2);
    EXPECT_EQ(at(finish(), 32, 32), 0xFF000000u);
}

// A camera 10 units behind the origin looking along +z with a 90° field of
// view: the square from -5 to 5 at z = 0 covers the middle half of the frame.
TEST_F(RenderingTest, TexturedQuadLandsWhereTheCameraPutsIt) {
    D3DMATRIX view = Identity();
    view._43 = 10.0f;
    const float zNear = 1.0f, zFar = 100.0f;
    D3DMATRIX projection{};
    projection._11 = 1.0f;  // cot(45°) / aspect 1
    projection._22 = 1.0f;
    projection._33 = zFar / (zFar - zNear);
    projection._34 = 1.0f;
    projection._43 = -zNear * zFar / (zFar - zNear);
    device_->SetTransform(D3DTS_VIEW, &view);
    device_->SetTransform(D3DTS_PROJECTION, &projection);
    const uint32_t topLeft = 0xFFFF0000, topRight = 0xFF00FF00, bottomLeft = 0xFF0000FF,
                   bottomRight = 0xFFFFFF00;
    device_->SetTexture(0, texture(2, 2, {topLeft, topRight, bottomLeft, bottomRight}));
    // Pixel 16 samples exactly u = 0: clamping keeps rounding from wrapping it.
    device_->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    std::vector<PositionUv> quad = {
        {-5, 5, 0, 0, 0}, {5, 5, 0, 1, 0}, {5, -5, 0, 1, 1}, {-5, -5, 0, 0, 1}};
    draw(quad, kFvfUv, D3DPT_TRIANGLEFAN, 2);
    const std::vector<uint32_t> frame = finish();
    EXPECT_EQ(at(frame, 20, 20), topLeft);
    EXPECT_EQ(at(frame, 43, 20), topRight);
    EXPECT_EQ(at(frame, 20, 43), bottomLeft);
    EXPECT_EQ(at(frame, 43, 43), bottomRight);
    // Edges on pixel boundaries: pixels 16 to 47 are covered, 15 and 48 not.
    EXPECT_EQ(at(frame, 16, 16), topLeft);
    EXPECT_EQ(at(frame, 47, 47), bottomRight);
    EXPECT_EQ(at(frame, 15, 32), 0xFF212121u);
    EXPECT_EQ(at(frame, 48, 32), 0xFF212121u);
    EXPECT_EQ(at(frame, 32, 15), 0xFF212121u);
    EXPECT_EQ(at(frame, 32, 48), 0xFF212121u);
}

// Left half: a clockwise triangle; right half: a counter-clockwise one.
void DrawBothWindings(RenderingTest* test, std::vector<PositionColor>& out) {
    out = {{-0.9f, 0.9f, 0.5f, 0xFFFF0000},  {-0.1f, -0.9f, 0.5f, 0xFFFF0000},
           {-0.9f, -0.9f, 0.5f, 0xFFFF0000}, {0.1f, 0.9f, 0.5f, 0xFF00FF00},
           {0.1f, -0.9f, 0.5f, 0xFF00FF00},  {0.9f, -0.9f, 0.5f, 0xFF00FF00}};
    (void)test;
}

TEST_F(RenderingTest, InitialCullModeRemovesCounterClockwiseTriangles) {
    useDiffuseOnly();
    std::vector<PositionColor> triangles;
    DrawBothWindings(this, triangles);
    draw(triangles, kFvfColor, D3DPT_TRIANGLELIST, 2);
    const std::vector<uint32_t> frame = finish();
    EXPECT_EQ(at(frame, 10, 48), 0xFFFF0000u);  // clockwise: kept
    EXPECT_EQ(at(frame, 40, 48), 0xFF212121u);  // counter-clockwise: culled
}

TEST_F(RenderingTest, CullModesNoneAndClockwise) {
    useDiffuseOnly();
    std::vector<PositionColor> triangles;
    DrawBothWindings(this, triangles);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    draw(triangles, kFvfColor, D3DPT_TRIANGLELIST, 2);
    device_->EndScene();
    std::vector<uint32_t> frame = presentAndRead();
    EXPECT_EQ(at(frame, 10, 48), 0xFFFF0000u);
    EXPECT_EQ(at(frame, 40, 48), 0xFF00FF00u);

    device_->BeginScene();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF212121, 1.0f, 0);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2);
    frame = finish();
    EXPECT_EQ(at(frame, 10, 48), 0xFF212121u);
    EXPECT_EQ(at(frame, 40, 48), 0xFF00FF00u);
}

TEST_F(RenderingTest, DepthRunsFromZeroToOne) {
    useDiffuseOnly();
    device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
    // Left: in front of the cleared depth; right: behind it. With GL's own
    // -1..1 range both would land behind 0.5 in the depth buffer.
    std::vector<PositionColor> quads = ColorQuad(-1, 1, 0, -1, 0.4f, 0xFFFF0000);
    std::vector<PositionColor> right = ColorQuad(0, 1, 1, -1, 0.6f, 0xFFFF0000);
    quads.insert(quads.end(), right.begin(), right.end());
    IDirect3DVertexBuffer8* buffer = vertexBuffer(quads, kFvfColor);
    device_->SetStreamSource(0, buffer, sizeof(PositionColor));
    device_->SetVertexShader(kFvfColor);
    device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
    device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 4, 2);
    const std::vector<uint32_t> frame = finish();
    EXPECT_EQ(at(frame, 16, 32), 0xFFFF0000u);
    EXPECT_EQ(at(frame, 48, 32), 0xFF212121u);
}

TEST_F(RenderingTest, NearerSurfaceHidesFartherOneAndNegativeDepthIsClipped) {
    useDiffuseOnly();
    std::vector<PositionColor> quads = ColorQuad(-1, 1, 1, -1, 0.2f, 0xFFFF0000);
    std::vector<PositionColor> far = ColorQuad(-1, 1, 1, -1, 0.8f, 0xFF00FF00);
    std::vector<PositionColor> behindEye = ColorQuad(-1, 1, 0, -1, -0.1f, 0xFF0000FF);
    quads.insert(quads.end(), far.begin(), far.end());
    quads.insert(quads.end(), behindEye.begin(), behindEye.end());
    IDirect3DVertexBuffer8* buffer = vertexBuffer(quads, kFvfColor);
    device_->SetStreamSource(0, buffer, sizeof(PositionColor));
    device_->SetVertexShader(kFvfColor);
    device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
    device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 4, 2);
    device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 8, 2);
    const std::vector<uint32_t> frame = finish();
    EXPECT_EQ(at(frame, 16, 32), 0xFFFF0000u);
    EXPECT_EQ(at(frame, 48, 32), 0xFFFF0000u);
}

TEST_F(RenderingTest, ZEnableFalseDrawsRegardlessOfDepth) {
    useDiffuseOnly();
    device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    draw(ColorQuad(-1, 1, 1, -1, 0.5f, 0xFF00FF00), kFvfColor, D3DPT_TRIANGLEFAN, 2);
    EXPECT_EQ(at(finish(), 32, 32), 0xFF00FF00u);
}

TEST_F(RenderingTest, AlphaBlendingWithSourceAlpha) {
    useDiffuseOnly();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    std::vector<PositionColor> quads = ColorQuad(-1, 1, 0, -1, 0.5f, 0x80FF0000);
    std::vector<PositionColor> opaque = ColorQuad(0, 1, 1, -1, 0.5f, 0xFFFF0000);
    quads.insert(quads.end(), opaque.begin(), opaque.end());
    draw(quads, kFvfColor, D3DPT_TRIANGLELIST, 0);  // uploads only
    device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
    device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 4, 2);
    const std::vector<uint32_t> frame = finish();
    EXPECT_TRUE(ColorNear(at(frame, 16, 32), 0xFF80007F, 1));
    EXPECT_EQ(at(frame, 48, 32), 0xFFFF0000u);
}

// Direct3D samples pixel i at screen x = i, so a quad from -0.5 to 63.5 maps
// its 64 texels one to one onto the 64 pixels; GL's +0.5 centres would land
// every pixel on a texel boundary.
TEST_F(RenderingTest, PixelCentresSitOnIntegerCoordinates) {
    std::vector<uint32_t> texels(64 * 64);
    for (UINT y = 0; y < 64; ++y) {
        for (UINT x = 0; x < 64; ++x) texels[y * 64 + x] = 0xFF000000 | (x * 4 << 16) | (y * 4);
    }
    device_->SetTexture(0, texture(64, 64, texels));
    const float l = ClipX(-0.5f), r = ClipX(63.5f), t = ClipY(-0.5f), b = ClipY(63.5f);
    std::vector<PositionUv> quad = {
        {l, t, 0.5f, 0, 0}, {r, t, 0.5f, 1, 0}, {r, b, 0.5f, 1, 1}, {l, b, 0.5f, 0, 1}};
    draw(quad, kFvfUv, D3DPT_TRIANGLEFAN, 2);
    const std::vector<uint32_t> frame = finish();
    int mismatches = 0;
    for (UINT y = 0; y < 64; ++y) {
        for (UINT x = 0; x < 64; ++x) mismatches += at(frame, x, y) != texels[y * 64 + x];
    }
    EXPECT_EQ(mismatches, 0);
}

// A rectangle edge at x = 16.5 leaves pixel 16 (centre 16) outside and takes
// pixel 17 (centre 17).
TEST_F(RenderingTest, EdgesBetweenPixelCentresFollowDirect3D) {
    useDiffuseOnly();
    draw(ColorQuad(ClipX(16.5f), ClipY(16.5f), ClipX(32.5f), ClipY(32.5f), 0.5f, 0xFFFFFFFF),
         kFvfColor, D3DPT_TRIANGLEFAN, 2);
    const std::vector<uint32_t> frame = finish();
    EXPECT_EQ(at(frame, 16, 20), 0xFF212121u);
    EXPECT_EQ(at(frame, 17, 20), 0xFFFFFFFFu);
    EXPECT_EQ(at(frame, 32, 20), 0xFFFFFFFFu);
    EXPECT_EQ(at(frame, 33, 20), 0xFF212121u);
    EXPECT_EQ(at(frame, 20, 16), 0xFF212121u);
    EXPECT_EQ(at(frame, 20, 17), 0xFFFFFFFFu);
}

TEST_F(RenderingTest, StripsAndListsCoverTheSameArea) {
    useDiffuseOnly();
    std::vector<PositionColor> strip = {{-1, 1, 0.5f, 0xFF00FF00},
                                        {0, 1, 0.5f, 0xFF00FF00},
                                        {-1, -1, 0.5f, 0xFF00FF00},
                                        {0, -1, 0.5f, 0xFF00FF00}};
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    draw(strip, kFvfColor, D3DPT_TRIANGLESTRIP, 2);
    const std::vector<uint32_t> frame = finish();
    EXPECT_EQ(at(frame, 5, 5), 0xFF00FF00u);
    EXPECT_EQ(at(frame, 30, 60), 0xFF00FF00u);
    EXPECT_EQ(at(frame, 40, 30), 0xFF212121u);
}

}  // namespace
}  // namespace gl_test
