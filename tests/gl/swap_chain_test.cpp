// Drawing straight into the window against drawing into the device's own
// framebuffer: when the device may do which, and that both give the same
// frames to the pixel.
#include "gl_fixture.h"
#include "platform/linux/internal.h"

#include <set>

namespace gl_test {
namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};

// What the last present listener call saw.
std::vector<uint32_t> g_listenerFrame;

void CaptureFrame(IDirect3DDevice8* device) {
    UINT width = 0, height = 0;
    tundra_testing::ReadBackFrame(device, g_listenerFrame, width, height);
}

class DirectDrawingTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        tundra_testing::SetDirectDrawing(true);  // whatever TUNDRA_NO_DIRECT says
    }

    void TearDown() override {
        GlDeviceTest::TearDown();
        tundra_testing::SetDirectDrawing(true);
    }

    void releaseDevice() {
        for (IUnknown* resource : resources_) resource->Release();
        resources_.clear();
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        device_ = nullptr;
    }

    // Whether a device made with `parameters` draws into the window.
    bool drawsDirectlyWith(const D3DPRESENT_PARAMETERS& parameters) {
        parameters_ = parameters;
        EXPECT_EQ(createDevice(), D3D_OK);
        const bool direct = tundra_testing::DrawsDirectly(device_);
        releaseDevice();
        return direct;
    }

    // A 4x4 checker of four colours (alpha varying) and a 2x2 light map.
    void makeTextures() {
        std::vector<uint32_t> checker(16);
        const uint32_t colours[4] = {0xFFE03010u, 0x80208040u, 0xFF1060F0u, 0x40F0F0F0u};
        for (UINT i = 0; i < 16; ++i) checker[i] = colours[(i % 4 + i / 4) % 4];
        diffuse_ = texture(4, 4, checker);
        lightmap_ =
            texture(2, 2, {0xFFFFFFFFu, 0xFF404040u, 0xFF808000u, 0xFF00C0FFu}, D3DFMT_X8R8G8B8);
    }

    // Clear rectangles of the target and of depth alone.
    void clearRectangles() {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF303030, 1.0f, 0);
        const D3DRECT colourRects[2] = {{2, 3, 20, 9}, {40, 50, 61, 63}};
        device_->Clear(2, colourRects, D3DCLEAR_TARGET, 0xFF00A050, 1.0f, 0);
        // Depth near the camera in the top right: the textured quads behind
        // it do not show there.
        const D3DRECT depthRect = {44, 0, 64, 12};
        device_->Clear(1, &depthRect, D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
    }

    // A lightmapped, bilinearly filtered floor in perspective, tilted.
    void drawLitFloor() {
        D3DXMATRIX view, projection;
        const D3DXVECTOR3 eye(0.3f, 1.5f, -3.0f), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 1.0f, 0.5f, 20.0f);
        const D3DMATRIX identity = Identity();
        device_->SetTransform(D3DTS_WORLD, &identity);
        device_->SetTransform(D3DTS_VIEW, &view);
        device_->SetTransform(D3DTS_PROJECTION, &projection);
        device_->SetTexture(0, diffuse_);
        device_->SetTexture(1, lightmap_);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
        device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        device_->SetTextureStageState(1, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        device_->SetTextureStageState(1, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        // Clockwise seen from above (front), then the same quad wound the
        // other way lower down, which culling removes.
        const std::vector<PositionUv2> floor = {
            {-1, 0, 1, 0, 0, 0, 0},     {1, 0, 1, 3, 0, 1, 0},       {-1, 0, -1, 0, 3, 0, 1},
            {1, 0, 1, 3, 0, 1, 0},      {1, 0, -1, 3, 3, 1, 1},      {-1, 0, -1, 0, 3, 0, 1},
            {-1, -0.5f, 1, 0, 0, 0, 0}, {-1, -0.5f, -1, 0, 3, 0, 1}, {1, -0.5f, 1, 3, 0, 1, 0}};
        draw(floor, D3DFVF_XYZ | D3DFVF_TEX2, D3DPT_TRIANGLELIST, 3);
        device_->SetTexture(0, nullptr);
        device_->SetTexture(1, nullptr);
        device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }

    // Screen-space triangles with edges on pixel centres, one hidden behind
    // the floor by depth, then a half-transparent one blended over all.
    void drawScreenTriangles() {
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
        const std::vector<ScreenVertex> edges = {
            {4.5f, 14.5f, 0.1f, 1, 0xFFFF0000},   {30.5f, 14.5f, 0.1f, 1, 0xFFFF0000},
            {4.5f, 30.0f, 0.1f, 1, 0xFFFF0000},   {20.0f, 40.5f, 0.99f, 1, 0xFF0000FF},
            {60.5f, 40.5f, 0.99f, 1, 0xFF0000FF}, {20.0f, 60.5f, 0.99f, 1, 0xFF0000FF}};
        draw(edges, fvf, D3DPT_TRIANGLELIST, 2);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        const std::vector<ScreenVertex> veil = {{0, 0, 0.05f, 1, 0x60FFFF00},
                                                {64, 0, 0.05f, 1, 0x60FFFF00},
                                                {0, 33.5f, 0.05f, 1, 0x6000FFFF}};
        draw(veil, fvf, D3DPT_TRIANGLELIST, 1);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    }

    // Two frames of the scene (the second with a clear rectangle over it), each
    // presented and read back.
    std::vector<std::vector<uint32_t>> renderScene() {
        createSceneDevice(kWidth, kHeight);
        makeTextures();
        std::vector<std::vector<uint32_t>> frames;
        for (int frame = 0; frame < 2; ++frame) {
            device_->BeginScene();
            clearRectangles();
            drawLitFloor();
            drawScreenTriangles();
            if (frame == 1) {
                const D3DRECT late = {10, 30, 14, 64};
                device_->Clear(1, &late, D3DCLEAR_TARGET, 0xFFFF00FF, 1.0f, 0);
            }
            device_->EndScene();
            frames.push_back(presentAndRead());
        }
        return frames;
    }

    IDirect3DTexture8* diffuse_ = nullptr;
    IDirect3DTexture8* lightmap_ = nullptr;
};

TEST_F(DirectDrawingTest, WindowServesOnlyABackBufferMatchingItsSurface) {
    const D3DPRESENT_PARAMETERS fits = WindowedParameters(kWidth, kHeight);
    EXPECT_TRUE(drawsDirectlyWith(fits));
    D3DPRESENT_PARAMETERS other = fits;
    other.BackBufferWidth = kWidth / 2;
    EXPECT_FALSE(drawsDirectlyWith(other)) << "smaller than the window";
    other = fits;
    other.BackBufferFormat = D3DFMT_R5G6B5;
    EXPECT_FALSE(drawsDirectlyWith(other)) << "16-bit colour";
    other = fits;
    other.AutoDepthStencilFormat = D3DFMT_D16;
    EXPECT_FALSE(drawsDirectlyWith(other)) << "16-bit depth";
    other = fits;
    other.SwapEffect = D3DSWAPEFFECT_COPY;
    EXPECT_FALSE(drawsDirectlyWith(other)) << "copied back buffer";
    other = fits;
    other.EnableAutoDepthStencil = FALSE;
    EXPECT_FALSE(drawsDirectlyWith(other)) << "no depth buffer";
    tundra_testing::SetDirectDrawing(false);
    EXPECT_FALSE(drawsDirectlyWith(fits)) << "switched off";
}

TEST_F(DirectDrawingTest, ResetChoosesThePathForTheNewBackBuffer) {
    createSceneDevice(kWidth, kHeight);
    ASSERT_TRUE(tundra_testing::DrawsDirectly(device_));
    D3DPRESENT_PARAMETERS smaller = WindowedParameters(kWidth / 2, kHeight / 2);
    ASSERT_EQ(device_->Reset(&smaller), D3D_OK);
    EXPECT_FALSE(tundra_testing::DrawsDirectly(device_));
    parameters_ = smaller;
    const std::vector<uint32_t> small = drawScene(0xFF123456, [] {});
    EXPECT_EQ(small, std::vector<uint32_t>(small.size(), 0xFF123456u));
    D3DPRESENT_PARAMETERS fits = WindowedParameters(kWidth, kHeight);
    ASSERT_EQ(device_->Reset(&fits), D3D_OK);
    EXPECT_TRUE(tundra_testing::DrawsDirectly(device_));
    parameters_ = fits;
    const std::vector<uint32_t> full = drawScene(0xFF654321, [] {});
    EXPECT_EQ(full, std::vector<uint32_t>(full.size(), 0xFF654321u));
}

TEST_F(DirectDrawingTest, BothPathsDrawTheSameFrames) {
    const auto direct = renderScene();
    ASSERT_TRUE(tundra_testing::DrawsDirectly(device_));
    releaseDevice();
    tundra_testing::SetDirectDrawing(false);
    const auto framebuffer = renderScene();
    ASSERT_FALSE(tundra_testing::DrawsDirectly(device_));
    ASSERT_EQ(direct.size(), framebuffer.size());
    for (size_t frame = 0; frame < direct.size(); ++frame) {
        ASSERT_EQ(direct[frame].size(), framebuffer[frame].size());
        for (UINT y = 0; y < kHeight; ++y) {
            for (UINT x = 0; x < kWidth; ++x) {
                ASSERT_EQ(at(direct[frame], x, y), at(framebuffer[frame], x, y))
                    << "frame " << frame << " at " << x << "," << y;
            }
        }
    }
    // The scene is varied enough for the comparison to mean something: the
    // filtering and blending give many colours, and the second frame's
    // clear rectangle lands where it was asked for, not mirrored.
    const std::set<uint32_t> colours(direct[0].begin(), direct[0].end());
    EXPECT_GT(colours.size(), 20u);
    EXPECT_NE(at(direct[0], 12, 50), 0xFFFF00FFu);
    EXPECT_EQ(at(direct[1], 12, 50), 0xFFFF00FFu);
    EXPECT_EQ(at(direct[1], 12, 30), 0xFFFF00FFu);
    EXPECT_NE(at(direct[1], 12, 29), 0xFFFF00FFu);
}

TEST_F(DirectDrawingTest, PresentListenersSeeTheFinishedFrame) {
    static bool added = false;
    if (!added) platform_linux::AddPresentListener(&CaptureFrame);
    added = true;
    createSceneDevice(kWidth, kHeight);
    ASSERT_TRUE(tundra_testing::DrawsDirectly(device_));
    for (D3DCOLOR colour : {0xFF102030u, 0xFF405060u}) {
        g_listenerFrame.clear();
        const std::vector<uint32_t> frame = drawScene(colour, [] {});
        EXPECT_EQ(g_listenerFrame, std::vector<uint32_t>(frame.size(), colour));
        EXPECT_EQ(frame, g_listenerFrame);
    }
}

}  // namespace
}  // namespace gl_test
