// One set of Direct3D 8 rules for the GL device and the recording device, so the two cannot drift.
#include "gl_fixture.h"
#include "support/recording_device.h"

namespace {

using gl_test::WindowedParameters;
using tundra_test::RecordingDevice;
using Texts = std::vector<std::string>;

std::vector<float> Entries(const D3DMATRIX& m) { return {&m.m[0][0], &m.m[0][0] + 16}; }

struct OnGl {
    OnGl() : window(gl_test::MakeWindow(64, 64)), d3d(Direct3DCreate8(D3D_SDK_VERSION)) {
        D3DPRESENT_PARAMETERS p = WindowedParameters(64, 64);
        EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                    &p, &device),
                  D3D_OK);
    }
    ~OnGl() {
        EXPECT_EQ(device->Release(), 0u);
        d3d->Release();
        DestroyWindow(window);
    }
    void lose() { gl_test::GlDeviceOf(device).loseDevice(); }
    void regain() { gl_test::GlDeviceOf(device).regainFocus(); }
    HWND window;
    IDirect3D8* d3d;
    IDirect3DDevice8* device = nullptr;
};

struct OnRecording {
    void lose() { recording.scriptCooperativeLevel({D3DERR_DEVICELOST}); }
    void regain() { recording.scriptCooperativeLevel({D3DERR_DEVICENOTRESET}); }
    RecordingDevice recording{WindowedParameters(64, 64)};
    IDirect3DDevice8* device = &recording;
};

template <typename Side>
class Direct3D8Contract : public ::testing::Test {
protected:
    Side side;
    IDirect3DDevice8* device = side.device;
};
using Sides = ::testing::Types<OnGl, OnRecording>;
TYPED_TEST_SUITE(Direct3D8Contract, Sides);

void ExpectInitialStates(IDirect3DDevice8* device, DWORD zEnable) {
    const std::pair<D3DRENDERSTATETYPE, DWORD> render[] = {
        {D3DRS_ZENABLE, zEnable},         {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},  {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_LIGHTING, TRUE},           {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},   {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS}, {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
        {D3DRS_FOGENABLE, FALSE},         {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_COLORVERTEX, TRUE},        {D3DRS_COLORWRITEENABLE, 0xF}};
    DWORD value = 0;
    for (const auto& state : render) {
        EXPECT_EQ(device->GetRenderState(state.first, &value), D3D_OK);
        EXPECT_EQ(value, state.second) << "render state " << state.first;
    }
    const struct {
        DWORD stage;
        D3DTEXTURESTAGESTATETYPE type;
        DWORD value;
    } stages[] = {{0, D3DTSS_COLOROP, D3DTOP_MODULATE},   {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
                  {1, D3DTSS_COLOROP, D3DTOP_DISABLE},    {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
                  {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},   {0, D3DTSS_COLORARG2, D3DTA_CURRENT},
                  {2, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},   {2, D3DTSS_RESULTARG, D3DTA_CURRENT},
                  {0, D3DTSS_TEXCOORDINDEX, 0},           {3, D3DTSS_TEXCOORDINDEX, 3},
                  {1, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP}, {0, D3DTSS_MINFILTER, D3DTEXF_POINT},
                  {0, D3DTSS_MIPFILTER, D3DTEXF_NONE},    {7, D3DTSS_MAXANISOTROPY, 1}};
    for (const auto& state : stages) {
        EXPECT_EQ(device->GetTextureStageState(state.stage, state.type, &value), D3D_OK);
        EXPECT_EQ(value, state.value) << "stage " << state.stage << " state " << state.type;
    }
    D3DMATRIX world{};
    EXPECT_EQ(device->GetTransform(D3DTS_WORLD, &world), D3D_OK);
    EXPECT_EQ(Entries(world), Entries(gl_test::Identity()));
}

TYPED_TEST(Direct3D8Contract, TexturesAndVertexBuffersFollowCreateLockAndReferenceRules) {
    IDirect3DDevice8* d = this->device;
    D3DCAPS8 caps{};
    ASSERT_EQ(d->GetDeviceCaps(&caps), D3D_OK);
    const struct {
        const char* what;
        UINT width, height;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
    } refusals[] = {
        {"no width", 0, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
        {"no height", 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
        {"wider than caps", caps.MaxTextureWidth + 1, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
        {"taller than caps", 16, caps.MaxTextureHeight + 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
        {"depth format", 16, 16, 0, D3DFMT_D16, D3DPOOL_MANAGED},
        {"render target", 16, 16, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
        {"scratch pool", 16, 16, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH},
    };
    for (const auto& row : refusals) {
        IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(d);
        EXPECT_EQ(
            d->CreateTexture(row.width, row.height, 1, row.usage, row.format, row.pool, &texture),
            D3DERR_INVALIDCALL)
            << row.what;
        EXPECT_EQ(texture, nullptr) << row.what;
    }
    IDirect3DTexture8* chain = nullptr;
    ASSERT_EQ(d->CreateTexture(256, 64, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &chain), D3D_OK);
    EXPECT_EQ(chain->GetLevelCount(), 9u);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(chain->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(std::tuple(desc.Width, desc.Height, desc.Format, desc.Pool),
              std::tuple(64u, 16u, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED));
    ASSERT_EQ(chain->GetLevelDesc(8, &desc), D3D_OK);
    EXPECT_EQ(std::pair(desc.Width, desc.Height), std::pair(1u, 1u));
    EXPECT_EQ(chain->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);
    EXPECT_EQ(chain->Release(), 0u);

    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(d->CreateTexture(5, 3, 1, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT whole{}, part{};
    ASSERT_EQ(texture->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_TRUE(whole.Pitch >= 15 && whole.Pitch % 4 == 0) << whole.Pitch;
    EXPECT_EQ(texture->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(1, &part, nullptr, 0), D3DERR_INVALIDCALL);
    const struct {
        RECT rect;
        bool valid;
    } rects[] = {{{0, 0, 5, 3}, true},  {{4, 2, 5, 3}, true},   {{0, 0, 6, 1}, false},
                 {{0, 0, 1, 4}, false}, {{-1, 0, 1, 1}, false}, {{0, -1, 1, 1}, false},
                 {{2, 0, 2, 1}, false}, {{0, 1, 1, 1}, false}};
    for (const auto& row : rects) {
        SCOPED_TRACE(&row - rects);
        const HRESULT result = texture->LockRect(0, &part, &row.rect, 0);
        EXPECT_EQ(result, row.valid ? D3D_OK : D3DERR_INVALIDCALL);
        if (result != D3D_OK) continue;
        EXPECT_EQ(static_cast<BYTE*>(part.pBits) - static_cast<BYTE*>(whole.pBits),
                  row.rect.top * whole.Pitch + row.rect.left * 3);
        EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    }
    EXPECT_EQ(d->SetTexture(0, texture), D3D_OK);  // binding adds no visible reference
    EXPECT_EQ(texture->AddRef(), 2u);
    EXPECT_EQ(texture->Release(), 1u);
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(d->SetTexture(0, nullptr), D3D_OK);

    IDirect3DVertexBuffer8* buffer = reinterpret_cast<IDirect3DVertexBuffer8*>(d);
    EXPECT_EQ(d->CreateVertexBuffer(0, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &buffer),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer, nullptr);
    ASSERT_EQ(d->CreateVertexBuffer(100, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &buffer), D3D_OK);
    D3DVERTEXBUFFER_DESC bufferDesc{};
    ASSERT_EQ(buffer->GetDesc(&bufferDesc), D3D_OK);
    EXPECT_EQ(std::pair(bufferDesc.Size, bufferDesc.FVF), std::pair(100u, DWORD(D3DFVF_XYZ)));
    BYTE *bytes = nullptr, *slice = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &bytes, 0), D3D_OK);
    EXPECT_EQ(buffer->Lock(0, 0, &slice, 0), D3DERR_INVALIDCALL);
    buffer->Unlock();
    ASSERT_EQ(buffer->Lock(40, 60, &slice, 0), D3D_OK);
    EXPECT_EQ(slice - bytes, 40);
    EXPECT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(buffer->Lock(40, 61, &slice, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(100, 0, &slice, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(d->AddRef(), 2u);  // both resources gave back their hold on the device
    EXPECT_EQ(d->Release(), 1u);
}

TYPED_TEST(Direct3D8Contract, DrawsNeedASceneAndAStreamOfTheirOwnWithRoomForThem) {
    IDirect3DDevice8* d = this->device;
    RecordingDevice elsewhere;  // its resources are foreign to both devices
    IDirect3DTexture8* foreignTexture = nullptr;
    IDirect3DVertexBuffer8 *foreignBuffer = nullptr, *triangle = nullptr;
    elsewhere.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &foreignTexture);
    elsewhere.CreateVertexBuffer(36, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &foreignBuffer);
    ASSERT_EQ(d->CreateVertexBuffer(36, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &triangle), D3D_OK);
    d->SetVertexShader(D3DFVF_XYZ);
    const HRESULT no = D3DERR_INVALIDCALL;
    // Made in order: each call's result and the one expected.
    const std::pair<HRESULT, HRESULT> calls[] = {
        {d->EndScene(), no},  // no scene begun
        {d->BeginScene(), D3D_OK},
        {d->BeginScene(), no},
        {d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), no},  // no stream set
        {d->SetStreamSource(1, triangle, 12), no},
        {d->SetStreamSource(0, foreignBuffer, 12), no},
        {d->SetTexture(0, foreignTexture), no},
        {d->SetStreamSource(0, triangle, 12), D3D_OK},
        {d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK},
        {d->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), no},   // one vertex past the end
        {d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), no},  // four vertices of three
        {d->EndScene(), D3D_OK},
        {d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), no},  // outside a scene
    };
    for (size_t i = 0; i < std::size(calls); ++i)
        EXPECT_EQ(calls[i].first, calls[i].second) << "call " << i;
    triangle->Release();
}

TYPED_TEST(Direct3D8Contract, LostDeviceWaitsForResetWhichRestoresTheInitialStates) {
    IDirect3DDevice8* d = this->device;
    EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
    D3DPRESENT_PARAMETERS p = WindowedParameters(64, 64);
    ASSERT_EQ(d->BeginScene(), D3D_OK);  // a Reset ends it
    this->side.lose();
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(d->Reset(&p), D3DERR_DEVICELOST);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    this->side.regain();
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    D3DMATRIX moved = gl_test::Identity();
    moved._41 = 3.0f;
    d->SetTransform(D3DTS_WORLD, &moved);
    EXPECT_EQ(d->Reset(nullptr), D3DERR_INVALIDCALL);
    // No display shows an edge over 16384; a refused Reset leaves the device waiting for one.
    D3DPRESENT_PARAMETERS wider = WindowedParameters(16385, 8),
                          widest = WindowedParameters(16384, 8);
    EXPECT_EQ(d->Reset(&wider), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(d->Reset(&widest), D3D_OK);
    p.EnableAutoDepthStencil = FALSE;
    ASSERT_EQ(d->Reset(&p), D3D_OK);
    EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(d->BeginScene(), D3D_OK);
    EXPECT_EQ(d->EndScene(), D3D_OK);
    ExpectInitialStates(d, D3DZB_FALSE);
}

// What the call-level tests read from the recording device and could not see fail themselves.
TEST(RecordingDevice, ReportsLocksPaddingLeaksAndReferenceErrors) {
    RecordingDevice device;
    IDirect3DTexture8 *first = nullptr, *second = nullptr;
    device.CreateTexture(5, 3, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &first);
    device.CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &second);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(first->LockRect(1, &locked, nullptr, 0), D3D_OK);
    std::memset(static_cast<BYTE*>(locked.pBits) + 8, 1, 4);  // a third texel in a row of two
    EXPECT_EQ(device.stillLocked(), std::vector<std::string>{"tex#1 level 1"});
    first->UnlockRect(1);
    EXPECT_TRUE(!device.texture(1)->paddingIntact() && device.texture(2)->paddingIntact());
    second->Release();
    second->Release();
    EXPECT_EQ(device.leaks(), std::vector<std::string>{"tex#1 has 1 reference(s) left"});
    device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    EXPECT_EQ(device.referenceErrors(), (Texts{"DrawPrimitive(4, 0, 1) outside a scene",
                                               "Release of tex#2 with no reference left"}));
    first->Release();
    EXPECT_TRUE(device.leaks().empty() && device.stillLocked().empty());
}

// The fault rows' counting: past `skip` calls, `times` fail; a failed create hands out nothing.
TEST(RecordingDevice, FailsTheChosenCallsOfAMethod) {
    RecordingDevice device;
    device.failCalls("CreateVertexBuffer", D3DERR_OUTOFVIDEOMEMORY, 1, 2);
    Texts made;
    for (int i = 0; i < 4; ++i) {
        IDirect3DVertexBuffer8* buffer = reinterpret_cast<IDirect3DVertexBuffer8*>(&device);
        const HRESULT hr = device.CreateVertexBuffer(4, 0, 0, D3DPOOL_MANAGED, &buffer);
        made.push_back(std::string(hr == D3DERR_OUTOFVIDEOMEMORY ? "failed" : "made") +
                       (buffer ? "" : ", null"));
    }
    EXPECT_EQ(made, (Texts{"made", "failed, null", "failed, null", "made"}));
    EXPECT_EQ(device.callTexts("CreateVertexBuffer")[1],
              "CreateVertexBuffer(4, 0x0, 0x0, MANAGED) -> failed");
}

}  // namespace
