// Creating, refusing, counting references of, losing and resetting the GL
// Direct3D 8 device.
#include "gl_fixture.h"
#include "platform/linux/gl/gl_headers.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

namespace gl_test {
namespace {

class DeviceTest : public GlDeviceTest {};

TEST_F(DeviceTest, AdaptersAreTheDisplays) {
    EXPECT_GE(d3d_->GetAdapterCount(), 1u);
    EXPECT_EQ(d3d_->GetAdapterCount(), UINT(SDL_GetNumVideoDisplays()));
}

TEST_F(DeviceTest, CapsCarryTheGlTextureLimit) {
    D3DCAPS8 caps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    GLint maxSize = 0;
    ASSERT_EQ(createDevice(), D3D_OK);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    EXPECT_EQ(caps.MaxTextureWidth, DWORD(maxSize));
    EXPECT_EQ(caps.MaxTextureHeight, DWORD(maxSize));
    EXPECT_GE(caps.MaxSimultaneousTextures, 2u);
    D3DCAPS8 deviceCaps{};
    ASSERT_EQ(device_->GetDeviceCaps(&deviceCaps), D3D_OK);
    EXPECT_EQ(deviceCaps.MaxTextureWidth, caps.MaxTextureWidth);
    EXPECT_EQ(d3d_->GetDeviceCaps(d3d_->GetAdapterCount(), D3DDEVTYPE_HAL, &caps),
              D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, RefusesWhatDirect3DRefuses) {
    struct Case {
        const char* what;
        void (*change)(D3DPRESENT_PARAMETERS&);
    };
    const Case cases[] = {
        {"failed format name",
         [](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_FORCE_DWORD; }},
        {"texture-only format", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_A8; }},
        {"bad depth format",
         [](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_FORCE_DWORD; }},
        {"colour as depth",
         [](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }},
        {"zero width, full screen",
         [](D3DPRESENT_PARAMETERS& p) {
             p.Windowed = FALSE;
             p.BackBufferWidth = 0;
         }},
        {"zero height, full screen",
         [](D3DPRESENT_PARAMETERS& p) {
             p.Windowed = FALSE;
             p.BackBufferHeight = 0;
         }},
        {"absurd width", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferWidth = 0x7FFFFFFF; }},
        {"one sample",
         [](D3DPRESENT_PARAMETERS& p) { p.MultiSampleType = D3DMULTISAMPLE_TYPE(1); }},
        {"17 samples",
         [](D3DPRESENT_PARAMETERS& p) { p.MultiSampleType = D3DMULTISAMPLE_TYPE(17); }},
        {"four back buffers", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferCount = 4; }},
    };
    for (const Case& c : cases) {
        D3DPRESENT_PARAMETERS p = WindowedParameters(kWidth, kHeight);
        c.change(p);
        IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(1);
        const HRESULT result = d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_,
                                                  D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device);
        EXPECT_TRUE(result == D3DERR_INVALIDCALL || result == D3DERR_NOTAVAILABLE) << c.what;
        EXPECT_EQ(device, nullptr) << c.what;
    }
}

// Direct3D 8 refuses a multisample type the adapter lacks, where GL would
// round the count up to one it has.
TEST_F(DeviceTest, TakesExactlyTheSampleCountsGlOffers) {
    ASSERT_EQ(createDevice(), D3D_OK);  // a context to ask GL in
    GLint number = 0;
    glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_NUM_SAMPLE_COUNTS, 1, &number);
    std::vector<GLint> counts(size_t(std::max(number, 0)));
    if (number > 0)
        glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_SAMPLES, number, counts.data());
    device_->Release();
    device_ = nullptr;
    for (GLint samples = 2; samples <= 16; ++samples) {
        parameters_.MultiSampleType = D3DMULTISAMPLE_TYPE(samples);
        const bool offered = std::find(counts.begin(), counts.end(), samples) != counts.end();
        EXPECT_EQ(createDevice() == D3D_OK, offered) << samples << " samples";
        if (device_) device_->Release();
        device_ = nullptr;
    }
}

// A side with no client area behind it gives 8, as in Wine's Direct3D 8.
TEST_F(DeviceTest, WindowedZeroSideTakesTheClientAreaAndHandsItBack) {
    parameters_.BackBufferWidth = 0;
    ASSERT_EQ(createDevice(), D3D_OK);
    EXPECT_EQ(parameters_.BackBufferWidth, kWidth);
    EXPECT_EQ(parameters_.BackBufferHeight, kHeight);

    HWND flat = CreateWindowExA(0, "GlDeviceTest", "flat", WS_OVERLAPPEDWINDOW, 0, 0, 100, 0,
                                nullptr, nullptr, nullptr, nullptr);
    D3DPRESENT_PARAMETERS p = WindowedParameters(32, 0);
    IDirect3DDevice8* device = nullptr;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, flat, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                 &device),
              D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 32u);
    EXPECT_EQ(p.BackBufferHeight, 8u);
    if (device) device->Release();
    DestroyWindow(flat);
}

TEST_F(DeviceTest, RefusesMissingAdapterWindowAndVertexProcessing) {
    const UINT missing = d3d_->GetAdapterCount();
    EXPECT_EQ(d3d_->CreateDevice(missing, D3DDEVTYPE_HAL, window_,
                                 D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters_, &device_),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_, nullptr);
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                 &parameters_, &device_),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, 0, &parameters_, &device_),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_, nullptr);
    EXPECT_EQ(createDevice(D3DCREATE_SOFTWARE_VERTEXPROCESSING), D3D_OK);
}

TEST_F(DeviceTest, ReferenceCountsFollowDirect3D) {
    ASSERT_EQ(createDevice(), D3D_OK);
    // The device holds its Direct3D object.
    EXPECT_EQ(d3d_->AddRef(), 3u);
    EXPECT_EQ(d3d_->Release(), 2u);
    // A texture holds the device; binding it adds no visible reference.
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3D_OK);
    EXPECT_EQ(device_->AddRef(), 3u);
    EXPECT_EQ(device_->Release(), 2u);
    device_->SetTexture(0, texture);
    EXPECT_EQ(texture->AddRef(), 2u);
    EXPECT_EQ(texture->Release(), 1u);
    EXPECT_EQ(texture->Release(), 0u);
    // Still bound: the device keeps it usable until unbound.
    EXPECT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(device_->AddRef(), 2u);
    EXPECT_EQ(device_->Release(), 1u);
}

TEST_F(DeviceTest, StartsWithDirect3DInitialStates) {
    ASSERT_EQ(createDevice(), D3D_OK);
    DWORD value = 0;
    const std::pair<D3DRENDERSTATETYPE, DWORD> states[] = {{D3DRS_ZENABLE, D3DZB_TRUE},
                                                           {D3DRS_ZWRITEENABLE, TRUE},
                                                           {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
                                                           {D3DRS_CULLMODE, D3DCULL_CCW},
                                                           {D3DRS_LIGHTING, TRUE},
                                                           {D3DRS_ALPHABLENDENABLE, FALSE},
                                                           {D3DRS_SRCBLEND, D3DBLEND_ONE},
                                                           {D3DRS_DESTBLEND, D3DBLEND_ZERO},
                                                           {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
                                                           {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS}};
    for (const auto& state : states) {
        ASSERT_EQ(device_->GetRenderState(state.first, &value), D3D_OK);
        EXPECT_EQ(value, state.second) << "render state " << state.first;
    }
    const std::pair<D3DTEXTURESTAGESTATETYPE, DWORD> stage0[] = {
        {D3DTSS_COLOROP, D3DTOP_MODULATE}, {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
        {D3DTSS_COLORARG1, D3DTA_TEXTURE}, {D3DTSS_COLORARG2, D3DTA_CURRENT},
        {D3DTSS_TEXCOORDINDEX, 0},         {D3DTSS_ADDRESSU, D3DTADDRESS_WRAP}};
    for (const auto& state : stage0) {
        ASSERT_EQ(device_->GetTextureStageState(0, state.first, &value), D3D_OK);
        EXPECT_EQ(value, state.second) << "stage state " << state.first;
    }
    device_->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, DWORD(D3DTOP_DISABLE));
    device_->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(value, 1u);

    parameters_.EnableAutoDepthStencil = FALSE;
    IDirect3DDevice8* noDepth = nullptr;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                 &parameters_, &noDepth),
              D3D_OK);
    noDepth->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, DWORD(D3DZB_FALSE));
    EXPECT_EQ(noDepth->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    noDepth->Release();
}

TEST_F(DeviceTest, TransformsAndStatesReadBackAsSet) {
    ASSERT_EQ(createDevice(), D3D_OK);
    D3DMATRIX m = Identity();
    m._42 = 7.0f;
    ASSERT_EQ(device_->SetTransform(D3DTS_VIEW, &m), D3D_OK);
    D3DMATRIX back{};
    ASSERT_EQ(device_->GetTransform(D3DTS_VIEW, &back), D3D_OK);
    EXPECT_EQ(back._42, 7.0f);
    ASSERT_EQ(device_->GetTransform(D3DTS_WORLD, &back), D3D_OK);
    EXPECT_EQ(back._42, 0.0f);
    ASSERT_EQ(device_->SetTextureStageState(1, D3DTSS_MAGFILTER, D3DTEXF_LINEAR), D3D_OK);
    DWORD value = 0;
    device_->GetTextureStageState(1, D3DTSS_MAGFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(device_->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATETYPE(100000), 1), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ScenesMustPair) {
    ASSERT_EQ(createDevice(), D3D_OK);
    EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->EndScene(), D3D_OK);
}

// Lost until focus returns, then waiting for Reset; Reset brings back
// Direct3D's initial states and keeps managed textures.
TEST_F(DeviceTest, LostDeviceIsResetAndManagedTexturesSurvive) {
    ASSERT_EQ(createDevice(), D3D_OK);
    IDirect3DTexture8* green = texture(1, 1, {0xFF00FF00});
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);

    tundra_testing::ForceDeviceLoss(device_);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Reset(&parameters_), D3DERR_DEVICELOST);
    tundra_testing::RestoreDeviceFocus(device_);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    ASSERT_EQ(device_->Reset(&parameters_), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);

    DWORD lighting = FALSE;
    device_->GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(lighting, DWORD(TRUE));

    useClipSpace();
    device_->SetTexture(0, green);
    device_->BeginScene();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF212121, 1.0f, 0);
    std::vector<PositionUv> quad = {
        {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    draw(quad, D3DFVF_XYZ | D3DFVF_TEX1, D3DPT_TRIANGLEFAN, 2);
    device_->EndScene();
    EXPECT_EQ(at(presentAndRead(), 32, 32), 0xFF00FF00u);
}

TEST_F(DeviceTest, FailedResetLeavesDeviceWaitingForReset) {
    ASSERT_EQ(createDevice(), D3D_OK);
    D3DPRESENT_PARAMETERS bad = parameters_;
    bad.BackBufferFormat = D3DFMT_FORCE_DWORD;
    EXPECT_EQ(device_->Reset(&bad), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    parameters_.BackBufferWidth = 32;
    parameters_.BackBufferHeight = 16;
    ASSERT_EQ(device_->Reset(&parameters_), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF112233, 1.0f, 0);
    const std::vector<uint32_t> frame = presentAndRead();
    ASSERT_EQ(frame.size(), 32u * 16u);
    EXPECT_EQ(frame[0], 0xFF112233u);
}

TEST_F(DeviceTest, FullScreenDeviceIsLostWhenItsWindowLosesActivation) {
    parameters_.Windowed = FALSE;
    ASSERT_EQ(createDevice(), D3D_OK);
    ShowWindow(window_, SW_SHOW);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    ShowWindow(window_, SW_HIDE);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    ShowWindow(window_, SW_SHOW);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device_->Reset(&parameters_), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
}

TEST_F(DeviceTest, WindowedDeviceSurvivesLosingActivation) {
    ASSERT_EQ(createDevice(), D3D_OK);
    ShowWindow(window_, SW_SHOW);
    ShowWindow(window_, SW_HIDE);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
}

TEST_F(DeviceTest, FullScreenPresentsOncePerRefresh) {
    parameters_.Windowed = FALSE;
    parameters_.FullScreen_RefreshRateInHz = 0;
    ASSERT_EQ(createDevice(), D3D_OK);
    ShowWindow(window_, SW_SHOW);
    const Uint64 start = SDL_GetPerformanceCounter();
    for (int i = 0; i < 7; ++i) device_->Present(nullptr, nullptr, nullptr, nullptr);
    const double seconds = double(SDL_GetPerformanceCounter() - start) /
                           double(SDL_GetPerformanceFrequency());
    // Six full periods of a 60 Hz display at the least.
    EXPECT_GE(seconds, 6.0 / 60.0 - 0.005);
}

// Red 132, green 3, blue 60 rounded to each format's channels: 5 bits give
// 132, 0 and 58; a 6-bit green gives 4.
TEST_F(DeviceTest, SixteenBitBackBuffersKeepTheirBitsPerChannel) {
    const struct {
        D3DFORMAT format;
        uint32_t expected;
    } cases[] = {{D3DFMT_R5G6B5, 0xFF84043A}, {D3DFMT_X1R5G5B5, 0xFF84003A}};
    for (const auto& c : cases) {
        parameters_.BackBufferFormat = c.format;
        parameters_.AutoDepthStencilFormat = D3DFMT_D16;
        ASSERT_EQ(createDevice(), D3D_OK) << c.format;
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF84033C, 1.0f, 0);
        const uint32_t pixel = presentAndRead()[0];
        EXPECT_TRUE(ColorNear(pixel, c.expected, 1)) << c.format << ": " << std::hex << pixel;
        device_->Release();
        device_ = nullptr;
    }
}

TEST_F(DeviceTest, MultisampledBackBufferSmoothsEdges) {
    GLint samples = 0;
    {
        ASSERT_EQ(createDevice(), D3D_OK);
        glGetIntegerv(GL_MAX_SAMPLES, &samples);
        device_->Release();
        device_ = nullptr;
    }
    if (samples < 4) GTEST_SKIP() << "GL offers " << samples << " samples";
    parameters_.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    ASSERT_EQ(createDevice(), D3D_OK);
    useClipSpace();
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device_->BeginScene();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    // A triangle whose diagonal crosses pixels at every slant.
    std::vector<PositionColor> triangle = {
        {-1, 1, 0.5f, 0xFFFFFFFF}, {1, 0.7f, 0.5f, 0xFFFFFFFF}, {-1, -1, 0.5f, 0xFFFFFFFF}};
    draw(triangle, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, 1);
    device_->EndScene();
    const std::vector<uint32_t> frame = presentAndRead();
    int partial = 0;
    for (uint32_t p : frame) partial += (p & 0xFF) != 0 && (p & 0xFF) != 0xFF;
    EXPECT_GT(partial, 20);
}

}  // namespace
}  // namespace gl_test
