// The device's fast paths must keep Direct3D's behaviour: resources that are
// uploaded on first use read as their zeroed memory, and the presented frame
// stays readable while the next one is drawn into the other buffer (of the
// device's own framebuffers).
#include "gl_fixture.h"

namespace gl_test {
namespace {

class PerfPathsTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        makeDevice();
    }

    void makeDevice() {
        ASSERT_EQ(createDevice(), D3D_OK);
        useClipSpace();
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    }

    IDirect3DTexture8* newTexture(D3DFORMAT format) {
        IDirect3DTexture8* texture = nullptr;
        EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, format, D3DPOOL_MANAGED, &texture), D3D_OK);
        if (texture) resources_.push_back(texture);
        return texture;
    }

    // The centre pixel of a full-frame quad textured with `texture`, blended
    // by its alpha over 0xFF212121.
    uint32_t sampledOverGrey(IDirect3DTexture8* texture) {
        const std::vector<PositionUv> quad = {
            {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
        const std::vector<uint32_t> frame = drawScene(0xFF212121, [&] {
            device_->SetTexture(0, texture);
            draw(quad, D3DFVF_XYZ | D3DFVF_TEX1, D3DPT_TRIANGLEFAN, 2);
        });
        return at(frame, kWidth / 2, kHeight / 2);
    }
};

TEST_F(PerfPathsTest, NeverLockedTexturesSampleAsZeroedTexels) {
    // X8R8G8B8 zero is opaque black, A8R8G8B8 zero is transparent black.
    EXPECT_EQ(sampledOverGrey(newTexture(D3DFMT_X8R8G8B8)), 0xFF000000u);
    EXPECT_EQ(sampledOverGrey(newTexture(D3DFMT_A8R8G8B8)), 0xFF212121u);
    EXPECT_EQ(sampledOverGrey(newTexture(D3DFMT_R5G6B5)), 0xFF000000u);
}

TEST_F(PerfPathsTest, ThirtyTwoBitTexelsArriveUnconverted) {
    IDirect3DTexture8* argb = newTexture(D3DFMT_A8R8G8B8);
    IDirect3DTexture8* xrgb = newTexture(D3DFMT_X8R8G8B8);
    for (IDirect3DTexture8* texture : {argb, xrgb}) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
            // Alpha 0x00: invisible as A8R8G8B8, opaque as X8R8G8B8.
            for (int x = 0; x < 4; ++x) row[x] = 0x00C08040u;
        }
        texture->UnlockRect(0);
    }
    EXPECT_EQ(sampledOverGrey(argb), 0xFF212121u);
    EXPECT_EQ(sampledOverGrey(xrgb), 0xFFC08040u);
    // A later lock of a part rewrites what the texture samples.
    D3DLOCKED_RECT locked{};
    const RECT all{0, 0, 4, 4};
    ASSERT_EQ(argb->LockRect(0, &locked, &all, 0), D3D_OK);
    for (int y = 0; y < 4; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < 4; ++x) row[x] = 0xFF10E020u;
    }
    argb->UnlockRect(0);
    EXPECT_EQ(sampledOverGrey(argb), 0xFF10E020u);
}

TEST_F(PerfPathsTest, NeverLockedVertexBufferDrawsNothing) {
    // All-zero vertices: every triangle is degenerate.
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(PositionColor), 0, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                          D3DPOOL_MANAGED, &buffer),
              D3D_OK);
    resources_.push_back(buffer);
    const std::vector<uint32_t> frame = drawScene(0xFF212121, [&] {
        device_->SetStreamSource(0, buffer, sizeof(PositionColor));
        device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
    });
    for (uint32_t pixel : frame) ASSERT_EQ(pixel, 0xFF212121u);
}

TEST_F(PerfPathsTest, PresentedFrameStaysWhileTheNextIsDrawn) {
    // A device drawing straight into a single-buffered window (headless)
    // overwrites the presented frame; this is about the framebuffer pair.
    ASSERT_EQ(device_->Release(), 0u);
    device_ = nullptr;
    tundra_testing::SetDirectDrawing(false);
    makeDevice();
    tundra_testing::SetDirectDrawing(true);
    ASSERT_FALSE(tundra_testing::DrawsDirectly(device_));
    const std::vector<uint32_t> first = drawScene(0xFF3060A0, [] {});
    ASSERT_EQ(at(first, 5, 5), 0xFF3060A0u);
    // The next frame starts in the back buffer; what was presented is kept.
    device_->BeginScene();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0);
    device_->EndScene();
    std::vector<uint32_t> pixels;
    UINT width = 0, height = 0;
    ASSERT_TRUE(tundra_testing::ReadBackFrame(device_, pixels, width, height));
    EXPECT_EQ(pixels, first);
    // And the frame after shows its own clear, depth test and all.
    const std::vector<PositionColor> nearQuad = {{-1, 1, 0.2f, 0xFF00FF00},
                                                 {1, 1, 0.2f, 0xFF00FF00},
                                                 {1, -1, 0.2f, 0xFF00FF00},
                                                 {-1, -1, 0.2f, 0xFF00FF00}};
    std::vector<PositionColor> farQuad = nearQuad;
    for (PositionColor& v : farQuad) {
        v.z = 0.8f;
        v.color = 0xFFFF0000;
    }
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    const std::vector<uint32_t> third = drawScene(0xFF000000, [&] {
        draw(nearQuad, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLEFAN, 2);
        draw(farQuad, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLEFAN, 2);
    });
    EXPECT_EQ(at(third, 32, 32), 0xFF00FF00u);
}

}  // namespace
}  // namespace gl_test
