// What only the GL device has: adapters and caps from GL, the present
// parameters it refuses, window activation, its back-buffer formats, and
// its fault plan with planned losses (the shared rules are in the contract).
#include "gl_fixture.h"
#include "platform/linux/gl/gl_headers.h"

#include <SDL.h>

namespace gl_test {
namespace {

using tundra_testing::FaultCall;

class DeviceTest : public GlDeviceTest {
protected:
    void TearDown() override {
        tundra_testing::ClearFaultPlan();
        GlDeviceTest::TearDown();
    }
};

TEST_F(DeviceTest, AdaptersAndCapsComeFromTheDisplaysAndGl) {
    EXPECT_EQ(d3d_->GetAdapterCount(), UINT(SDL_GetNumVideoDisplays()));
    D3DCAPS8 caps{}, deviceCaps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    ASSERT_EQ(createDevice(), D3D_OK);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    EXPECT_EQ(caps.MaxTextureWidth, DWORD(maxSize));
    EXPECT_EQ(caps.MaxTextureHeight, DWORD(maxSize));
    EXPECT_GE(caps.MaxSimultaneousTextures, 2u);
    ASSERT_EQ(device_->GetDeviceCaps(&deviceCaps), D3D_OK);
    EXPECT_EQ(deviceCaps.MaxTextureWidth, caps.MaxTextureWidth);
    EXPECT_EQ(d3d_->GetDeviceCaps(d3d_->GetAdapterCount(), D3DDEVTYPE_HAL, &caps),
              D3DERR_INVALIDCALL);
    IDirect3DTexture8* huge = nullptr;
    const HRESULT hr = device_->CreateTexture(caps.MaxTextureWidth, caps.MaxTextureHeight, 0, 0,
                                              D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &huge);
    EXPECT_TRUE(hr == D3DERR_OUTOFVIDEOMEMORY || hr == E_OUTOFMEMORY) << hr;
}

TEST_F(DeviceTest, RefusesWhatDirect3DRefuses) {
    const struct {
        const char* what;
        void (*change)(D3DPRESENT_PARAMETERS&, DWORD&, UINT&);
    } rows[] = {
        {"no format name", [](auto& p, auto&, auto&) { p.BackBufferFormat = D3DFMT_FORCE_DWORD; }},
        {"texture-only format", [](auto& p, auto&, auto&) { p.BackBufferFormat = D3DFMT_A8; }},
        {"bad depth", [](auto& p, auto&, auto&) { p.AutoDepthStencilFormat = D3DFMT_FORCE_DWORD; }},
        {"colour as depth",
         [](auto& p, auto&, auto&) { p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }},
        {"D15S1 depth", [](auto& p, auto&, auto&) { p.AutoDepthStencilFormat = D3DFMT_D15S1; }},
        {"full screen, no width",
         [](auto& p, auto&, auto&) { p.Windowed = FALSE, p.BackBufferWidth = 0; }},
        {"full screen, no height",
         [](auto& p, auto&, auto&) { p.Windowed = FALSE, p.BackBufferHeight = 0; }},
        {"absurd width", [](auto& p, auto&, auto&) { p.BackBufferWidth = 0x7FFFFFFF; }},
        {"one sample", [](auto& p, auto&, auto&) { p.MultiSampleType = D3DMULTISAMPLE_TYPE(1); }},
        {"17 samples", [](auto& p, auto&, auto&) { p.MultiSampleType = D3DMULTISAMPLE_TYPE(17); }},
        {"four back buffers", [](auto& p, auto&, auto&) { p.BackBufferCount = 4; }},
        {"no vertex processing", [](auto&, auto& flags, auto&) { flags = 0; }},
        {"missing adapter", [](auto&, auto&, auto& adapter) { adapter = 99; }},
    };
    for (const auto& row : rows) {
        D3DPRESENT_PARAMETERS p = WindowedParameters(kWidth, kHeight);
        DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
        UINT adapter = 0;
        row.change(p, flags, adapter);
        IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(1);
        const HRESULT hr = d3d_->CreateDevice(adapter, D3DDEVTYPE_HAL, window_, flags, &p, &device);
        EXPECT_TRUE(hr == D3DERR_INVALIDCALL || hr == D3DERR_NOTAVAILABLE) << row.what;
        EXPECT_EQ(device, nullptr) << row.what;
    }
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                 &parameters_, &device_),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(createDevice(D3DCREATE_SOFTWARE_VERTEXPROCESSING), D3D_OK);
    // A failed reset leaves the device waiting for a good one.
    D3DPRESENT_PARAMETERS bad = parameters_;
    bad.BackBufferFormat = D3DFMT_FORCE_DWORD;
    EXPECT_EQ(device_->Reset(&bad), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    parameters_ = WindowedParameters(32, 16);
    ASSERT_EQ(device_->Reset(&parameters_), D3D_OK);
    EXPECT_EQ(drawScene(0xFF112233, [] {}), std::vector<uint32_t>(32 * 16, 0xFF112233));
}

// A windowed zero side takes the client area; with none behind it, 8 (as in
// Wine's Direct3D 8).
TEST_F(DeviceTest, WindowedZeroSideTakesTheClientArea) {
    parameters_.BackBufferWidth = 0;
    ASSERT_EQ(createDevice(), D3D_OK);
    EXPECT_EQ(parameters_.BackBufferWidth * 1000 + parameters_.BackBufferHeight, 64064u);
    HWND flat = CreateWindowExA(0, "GlDeviceTest", "flat", WS_OVERLAPPEDWINDOW, 0, 0, 100, 0,
                                nullptr, nullptr, nullptr, nullptr);
    D3DPRESENT_PARAMETERS p = WindowedParameters(32, 0);
    IDirect3DDevice8* device = nullptr;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, flat, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                 &device),
              D3D_OK);
    EXPECT_EQ(p.BackBufferWidth * 1000 + p.BackBufferHeight, 32008u);
    if (device) device->Release();
    DestroyWindow(flat);
}

TEST_F(DeviceTest, OnlyAFullScreenDeviceIsLostWithItsWindowsActivation) {
    ASSERT_EQ(createDevice(), D3D_OK);
    ShowWindow(window_, SW_SHOW);
    ShowWindow(window_, SW_HIDE);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    releaseDevice();
    parameters_.Windowed = FALSE;
    ASSERT_EQ(createDevice(), D3D_OK);
    ShowWindow(window_, SW_SHOW);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    ShowWindow(window_, SW_HIDE);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Reset(&parameters_), D3DERR_DEVICELOST);
    ShowWindow(window_, SW_SHOW);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device_->Reset(&parameters_), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
}

// Red 132, green 3, blue 60 in each format's channels: 5 bits give 132, 0
// and 58, a 6-bit green 4.
TEST_F(DeviceTest, SixteenBitBackBuffersKeepTheirBitsPerChannel) {
    const std::pair<D3DFORMAT, uint32_t> rows[] = {{D3DFMT_R5G6B5, 0xFF84043A},
                                                   {D3DFMT_X1R5G5B5, 0xFF84003A}};
    for (const auto& row : rows) {
        parameters_.BackBufferFormat = row.first;
        parameters_.AutoDepthStencilFormat = D3DFMT_D16;
        ASSERT_EQ(createDevice(), D3D_OK) << row.first;
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF84033C, 1.0f, 0);
        EXPECT_TRUE(ColorNear(presentAndRead()[0], row.second, 1)) << row.first;
        releaseDevice();
    }
}

TEST_F(DeviceTest, PlannedFaultsFailTheirCallAndHandOutNothing) {
    ASSERT_EQ(createDevice(), D3D_OK);
    tundra_testing::FailCall(FaultCall::CreateTexture, 2);
    tundra_testing::FailCall(FaultCall::CreateVertexBuffer, 1);
    IDirect3DTexture8* textures[3] = {};
    IDirect3DVertexBuffer8* buffers[2] = {};
    HRESULT results[5];
    for (int i = 0; i < 3; ++i) {
        textures[i] = reinterpret_cast<IDirect3DTexture8*>(this);
        results[i] =
            device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &textures[i]);
    }
    for (int i = 0; i < 2; ++i) {
        buffers[i] = reinterpret_cast<IDirect3DVertexBuffer8*>(this);
        results[3 + i] =
            device_->CreateVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &buffers[i]);
    }
    const HRESULT expected[5] = {D3D_OK, D3DERR_OUTOFVIDEOMEMORY, D3D_OK, D3DERR_OUTOFVIDEOMEMORY,
                                 D3D_OK};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(results[i], expected[i]) << "call " << i;
    EXPECT_EQ(textures[1], nullptr);
    EXPECT_EQ(buffers[0], nullptr);
    EXPECT_EQ(tundra_testing::CallCount(FaultCall::CreateTexture), 3u);
    tundra_testing::FailCall(FaultCall::LockRect, 1);
    tundra_testing::FailCall(FaultCall::Lock, 1);
    D3DLOCKED_RECT locked{4, this};
    BYTE* data = reinterpret_cast<BYTE*>(this);
    EXPECT_EQ(textures[0]->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(locked.pBits, nullptr);
    EXPECT_EQ(textures[0]->UnlockRect(0), D3DERR_INVALIDCALL);  // nothing was locked
    EXPECT_EQ(buffers[1]->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(buffers[1]->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(textures[0]->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(textures[0]->UnlockRect(0), D3D_OK);
    tundra_testing::ClearFaultPlan();
    EXPECT_EQ(tundra_testing::CallCount(FaultCall::CreateTexture), 0u);
    for (IUnknown* resource :
         {(IUnknown*)textures[0], (IUnknown*)textures[2], (IUnknown*)buffers[1]})
        EXPECT_EQ(resource->Release(), 0u);
}

// Lost after each of the planned presents, once reported ready for Reset;
// managed textures and batched draws come back the same every time.
TEST_F(DeviceTest, PlannedLossesFollowPresentsAndResetsKeepTheFrame) {
    ASSERT_EQ(createDevice(), D3D_OK);
    IDirect3DTexture8* green = texture(1, 1, {0xFF00FF00});
    const std::vector<PositionUv> quad = {
        {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    IDirect3DVertexBuffer8* buffer = vertexBuffer(quad, D3DFVF_XYZ | D3DFVF_TEX1);
    auto drawFrame = [&] {
        useClipSpace();
        device_->SetTexture(0, green);
        device_->SetStreamSource(0, buffer, sizeof(PositionUv));
        device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_TEX1);
        return drawScene(0xFF212121, [&] {
            device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 1);  // one batch of two
            device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
        });
    };
    tundra_testing::LoseAfterPresents(device_, 20);
    const std::vector<uint32_t> before = drawFrame();
    ASSERT_EQ(at(before, 48, 8), 0xFF00FF00u);
    ASSERT_EQ(at(before, 8, 48), 0xFF212121u);
    for (int cycle = 0; cycle < 20; ++cycle) {
        EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
        EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
        ASSERT_EQ(device_->Reset(&parameters_), D3D_OK);
        ASSERT_EQ(drawFrame(), before) << "cycle " << cycle;
    }
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);  // the plan is used up
}

}  // namespace
}  // namespace gl_test
