// Managed textures and vertex buffers: sizes, levels, pitches, locks, format
// conversion, refusals, and draws that would read past a buffer.
#include "gl_fixture.h"
#include "platform/linux/gl/formats.h"

namespace gl_test {
namespace {

class ResourcesTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        ASSERT_EQ(createDevice(), D3D_OK);
    }

    HRESULT makeTexture(UINT width, UINT height, UINT levels, D3DFORMAT format,
                        IDirect3DTexture8** texture) {
        const HRESULT result =
            device_->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, texture);
        if (*texture) resources_.push_back(*texture);
        return result;
    }
};

TEST_F(ResourcesTest, ZeroLevelsMakeTheFullChain) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(makeTexture(256, 64, 0, D3DFMT_X8R8G8B8, &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 9u);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Height, 16u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    ASSERT_EQ(texture->GetLevelDesc(8, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(texture->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);
}

TEST_F(ResourcesTest, LockReportsTheRealPitch) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(makeTexture(5, 3, 1, D3DFMT_R8G8B8, &texture), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 16);  // 15 bytes, rows start on 4-byte boundaries
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    const RECT part{1, 2, 3, 3};
    D3DLOCKED_RECT whole{}, sub{};
    texture->LockRect(0, &whole, nullptr, 0);
    texture->UnlockRect(0);
    ASSERT_EQ(texture->LockRect(0, &sub, &part, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE*>(sub.pBits) - static_cast<BYTE*>(whole.pBits), 2 * 16 + 3);
    texture->UnlockRect(0);
    const RECT outside{0, 0, 6, 1};
    EXPECT_EQ(texture->LockRect(0, &sub, &outside, 0), D3DERR_INVALIDCALL);
}

TEST_F(ResourcesTest, RefusesAbsurdAndEmptyTextures) {
    IDirect3DTexture8* texture = nullptr;
    D3DCAPS8 caps{};
    device_->GetDeviceCaps(&caps);
    EXPECT_EQ(makeTexture(0, 16, 1, D3DFMT_A8R8G8B8, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(makeTexture(caps.MaxTextureWidth + 1, 16, 1, D3DFMT_A8R8G8B8, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(makeTexture(0xFFFFFFFFu, 0xFFFFFFFFu, 1, D3DFMT_A8R8G8B8, &texture),
              D3DERR_INVALIDCALL);
    const HRESULT huge =
        makeTexture(caps.MaxTextureWidth, caps.MaxTextureHeight, 0, D3DFMT_A8R8G8B8, &texture);
    EXPECT_TRUE(huge == D3DERR_OUTOFVIDEOMEMORY || huge == E_OUTOFMEMORY);
    EXPECT_EQ(makeTexture(16, 16, 1, D3DFMT_FORCE_DWORD, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(makeTexture(16, 16, 1, D3DFMT_D16, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
}

TEST_F(ResourcesTest, TexelFormatsConvertAsDirect3DSamplesThem) {
    using gl_d3d8::TexelToArgb;
    const uint8_t x8r8g8b8[4] = {0x30, 0x20, 0x10, 0x00};
    EXPECT_EQ(TexelToArgb(D3DFMT_X8R8G8B8, x8r8g8b8), 0xFF102030u);
    EXPECT_EQ(TexelToArgb(D3DFMT_A8R8G8B8, x8r8g8b8), 0x00102030u);
    const uint8_t r8g8b8[3] = {0x03, 0x02, 0x01};
    EXPECT_EQ(TexelToArgb(D3DFMT_R8G8B8, r8g8b8), 0xFF010203u);
    const uint8_t r5g6b5[2] = {0x1F, 0xF8};  // red 31, green 0, blue 31
    EXPECT_EQ(TexelToArgb(D3DFMT_R5G6B5, r5g6b5), 0xFFFF00FFu);
    const uint8_t green6[2] = {0xE0, 0x07};  // green 63
    EXPECT_EQ(TexelToArgb(D3DFMT_R5G6B5, green6), 0xFF00FF00u);
    const uint8_t a1r5g5b5[2] = {0x00, 0xFC};  // alpha 1, red 31
    EXPECT_EQ(TexelToArgb(D3DFMT_A1R5G5B5, a1r5g5b5), 0xFFFF0000u);
    EXPECT_EQ(TexelToArgb(D3DFMT_X1R5G5B5, a1r5g5b5), 0xFFFF0000u);
    const uint8_t noAlpha[2] = {0x00, 0x7C};
    EXPECT_EQ(TexelToArgb(D3DFMT_A1R5G5B5, noAlpha), 0x00FF0000u);
    const uint8_t a4r4g4b4[2] = {0x21, 0x84};  // a 8, r 4, g 2, b 1
    EXPECT_EQ(TexelToArgb(D3DFMT_A4R4G4B4, a4r4g4b4), 0x88442211u);
    const uint8_t byte[1] = {0x5A};
    EXPECT_EQ(TexelToArgb(D3DFMT_L8, byte), 0xFF5A5A5Au);
    EXPECT_EQ(TexelToArgb(D3DFMT_A8, byte), 0x5A000000u);
}

TEST_F(ResourcesTest, XrgbAlphaReadsAsOneWhenBlending) {
    useClipSpace();
    // Texel alpha byte 0: as A8R8G8B8 it would vanish under blending.
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(makeTexture(1, 1, 1, D3DFMT_X8R8G8B8, &texture), D3D_OK);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    *static_cast<uint32_t*>(locked.pBits) = 0x0000FF00;
    texture->UnlockRect(0);
    device_->SetTexture(0, texture);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device_->BeginScene();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF212121, 1.0f, 0);
    std::vector<PositionUv> quad = {
        {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    draw(quad, D3DFVF_XYZ | D3DFVF_TEX1, D3DPT_TRIANGLEFAN, 2);
    device_->EndScene();
    EXPECT_EQ(at(presentAndRead(), 32, 32), 0xFF00FF00u);
}

TEST_F(ResourcesTest, SixteenBitTextureDrawsItsColours) {
    useClipSpace();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(makeTexture(2, 1, 1, D3DFMT_R5G6B5, &texture), D3D_OK);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    static_cast<uint16_t*>(locked.pBits)[0] = 0xF800;  // red
    static_cast<uint16_t*>(locked.pBits)[1] = 0x07E0;  // green
    texture->UnlockRect(0);
    device_->SetTexture(0, texture);
    device_->BeginScene();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF212121, 1.0f, 0);
    std::vector<PositionUv> quad = {
        {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    draw(quad, D3DFVF_XYZ | D3DFVF_TEX1, D3DPT_TRIANGLEFAN, 2);
    device_->EndScene();
    const std::vector<uint32_t> frame = presentAndRead();
    EXPECT_EQ(at(frame, 10, 32), 0xFFFF0000u);
    EXPECT_EQ(at(frame, 50, 32), 0xFF00FF00u);
}

TEST_F(ResourcesTest, VertexBufferLocksStayInside) {
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(100, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &buffer), D3D_OK);
    resources_.push_back(buffer);
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(buffer->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 100u);
    EXPECT_EQ(desc.FVF, DWORD(D3DFVF_XYZ));
    BYTE* whole = nullptr;
    BYTE* part = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &whole, 0), D3D_OK);
    EXPECT_EQ(buffer->Lock(0, 0, &part, 0), D3DERR_INVALIDCALL);
    buffer->Unlock();
    ASSERT_EQ(buffer->Lock(40, 60, &part, 0), D3D_OK);
    EXPECT_EQ(part - whole, 40);
    buffer->Unlock();
    EXPECT_EQ(buffer->Lock(40, 61, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(100, 0, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);
}

TEST_F(ResourcesTest, RefusesAbsurdAndEmptyVertexBuffers) {
    IDirect3DVertexBuffer8* buffer = nullptr;
    EXPECT_EQ(device_->CreateVertexBuffer(0, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &buffer),
              D3DERR_INVALIDCALL);
    const HRESULT huge =
        device_->CreateVertexBuffer(0xFFFFFFFFu, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &buffer);
    EXPECT_TRUE(huge == D3DERR_OUTOFVIDEOMEMORY || huge == E_OUTOFMEMORY);
    EXPECT_EQ(buffer, nullptr);
}

TEST_F(ResourcesTest, PartialUnlockUploadsTheLockedRange) {
    useClipSpace();
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    std::vector<PositionColor> quad = {{-1, 1, 0.5f, 0xFFFF0000},
                                       {1, 1, 0.5f, 0xFFFF0000},
                                       {1, -1, 0.5f, 0xFFFF0000},
                                       {-1, -1, 0.5f, 0xFFFF0000}};
    IDirect3DVertexBuffer8* buffer = vertexBuffer(quad, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    BYTE* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, sizeof(PositionColor) * 4, &data, 0), D3D_OK);
    for (int i = 0; i < 4; ++i) reinterpret_cast<PositionColor*>(data)[i].color = 0xFF0000FF;
    buffer->Unlock();
    device_->SetStreamSource(0, buffer, sizeof(PositionColor));
    device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device_->BeginScene();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF212121, 1.0f, 0);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
    device_->EndScene();
    EXPECT_EQ(at(presentAndRead(), 32, 32), 0xFF0000FFu);
}

TEST_F(ResourcesTest, DrawsPastTheBufferAreRefused) {
    std::vector<PositionColor> triangle(3, PositionColor{0, 0, 0.5f, 0xFFFFFFFF});
    IDirect3DVertexBuffer8* buffer = vertexBuffer(triangle, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device_->SetStreamSource(0, buffer, sizeof(PositionColor));
    device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 0xFFFFFFFFu), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0xFFFFFFFFu, 1), D3DERR_INVALIDCALL);
    // A stride longer than the format's vertex still has to fit.
    device_->SetStreamSource(0, buffer, 40);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    device_->SetStreamSource(0, buffer, 8);  // shorter than the vertex
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_POINTLIST, 0, 1), D3DERR_INVALIDCALL);
    device_->SetStreamSource(0, nullptr, 0);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    device_->EndScene();
}

}  // namespace
}  // namespace gl_test
