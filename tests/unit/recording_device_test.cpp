// The recording device is what every call-level test leans on, so its own
// bookkeeping (texts, memory layout, references, injected faults) is checked.
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <cstring>

using tundra_test::RecordingDevice;
using tundra_test::RecordingDirect3D;

TEST(RecordingDevice, LogsCallsAsStableTexts) {
    RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device.CreateTexture(4, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    ASSERT_EQ(device.CreateVertexBuffer(56, D3DUSAGE_WRITEONLY, 0x202, D3DPOOL_MANAGED, &buffer),
              S_OK);
    device.SetTexture(0, texture);
    device.SetTexture(1, nullptr);
    device.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    device.SetStreamSource(0, buffer, 28);
    device.DrawPrimitive(D3DPT_TRIANGLEFAN, 10, 4);
    device.SetRenderState(D3DRS_ZENABLE, FALSE);
    texture->Release();
    buffer->Release();

    std::vector<std::string> expected = {
        "CreateTexture(4, 2, 1, 0x0, X8R8G8B8, MANAGED) -> tex#1",
        "CreateVertexBuffer(56, 0x8, 0x202, MANAGED) -> vb#1",
        "SetTexture(0, tex#1)",
        "SetTexture(1, null)",
        "SetTextureStageState(1, COLOROP, 5)",
        "SetStreamSource(0, vb#1, 28)",
        "DrawPrimitive(6, 10, 4)",
        "SetRenderState(ZENABLE, 0)",
        "tex#1.Release() -> 0",
        "vb#1.Release() -> 0",
    };
    EXPECT_EQ(device.callTexts(), expected);
    EXPECT_EQ(device.calls()[2].objects, std::vector<int>{1});
    EXPECT_EQ(device.calls()[4].args, (std::vector<uint32_t>{1, D3DTSS_COLOROP, 5}));
    EXPECT_EQ(device.stageState(1, D3DTSS_COLOROP), DWORD(D3DTOP_MODULATE2X));
    EXPECT_TRUE(device.leaks().empty());
    EXPECT_EQ(device.drawsOutsideScene(), 1u);
}

TEST(RecordingDevice, KeepsTransformsStructurally) {
    RecordingDevice device;
    D3DMATRIX m;
    for (int i = 0; i < 16; ++i) (&m.m[0][0])[i] = float(i) * 0.5f;
    device.SetTransform(D3DTS_VIEW, &m);
    ASSERT_EQ(device.count("SetTransform"), 1u);
    D3DMATRIX recorded = device.calls()[0].matrix();
    EXPECT_EQ(std::memcmp(&recorded, &m, sizeof m), 0);
    EXPECT_EQ(device.calls()[0].text,
              "SetTransform(VIEW, [0 0.5 1 1.5; 2 2.5 3 3.5; 4 4.5 5 5.5; 6 6.5 7 7.5])");
    D3DMATRIX current = device.transform(D3DTS_VIEW);
    EXPECT_EQ(current._43, 7.0f);
}

TEST(RecordingDevice, TextureRowsArePaddedBeyondTheirWidth) {
    RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device.CreateTexture(5, 3, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    EXPECT_EQ(texture->GetLevelCount(), 3u);  // 5×3, 2×1, 1×1
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(1, &locked, nullptr, 0), S_OK);
    EXPECT_GT(locked.Pitch, 2 * 4);
    uint32_t value = 0xAABBCCDD;
    // Code that ignores the pitch and writes a third texel into a two-texel row.
    std::memcpy(static_cast<BYTE*>(locked.pBits) + 2 * 4, &value, 4);
    texture->UnlockRect(1);
    auto* recorded = device.texture(1);
    ASSERT_NE(recorded, nullptr);
    EXPECT_EQ(recorded->width(1), 2u);
    EXPECT_EQ(recorded->height(1), 1u);
    EXPECT_EQ(recorded->texel(1, 1, 0), 0u);
    EXPECT_FALSE(recorded->paddingIntact());
    texture->Release();
}

TEST(RecordingDevice, ReportsLeaksDoubleReleasesAndUnmatchedUnlocks) {
    RecordingDevice device;
    IDirect3DTexture8* kept = nullptr;
    IDirect3DTexture8* twice = nullptr;
    device.CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &kept);
    device.CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &twice);
    twice->Release();
    twice->Release();
    twice->UnlockRect(0);
    EXPECT_EQ(device.leaks(), std::vector<std::string>{"tex#1 has 1 reference(s) left"});
    EXPECT_EQ(device.referenceErrors().size(), 2u);
    kept->Release();
}

TEST(RecordingDevice, FailsChosenCallsAndHandsOutNothing) {
    RecordingDevice device;
    device.failCalls("CreateTexture", E_OUTOFMEMORY, 1, 1);
    IDirect3DTexture8* first = nullptr;
    IDirect3DTexture8* second = reinterpret_cast<IDirect3DTexture8*>(&device);
    IDirect3DTexture8* third = nullptr;
    EXPECT_EQ(device.CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &first), S_OK);
    EXPECT_EQ(device.CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &second),
              E_OUTOFMEMORY);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(device.CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &third), S_OK);
    EXPECT_EQ(device.callTexts("CreateTexture")[1],
              "CreateTexture(8, 8, 1, 0x0, X8R8G8B8, MANAGED) -> failed");
    EXPECT_EQ(device.texture(2), third);

    D3DLOCKED_RECT locked{0, nullptr};
    ASSERT_EQ(third->LockRect(0, &locked, nullptr, 0), S_OK);
    EXPECT_EQ(device.stillLocked(), std::vector<std::string>{"tex#2 level 0"});
    third->UnlockRect(0);
    EXPECT_TRUE(device.stillLocked().empty());

    device.failCalls("LockRect");
    locked = D3DLOCKED_RECT{0, nullptr};
    EXPECT_TRUE(FAILED(first->LockRect(0, &locked, nullptr, 0)));
    EXPECT_EQ(locked.pBits, nullptr);
    EXPECT_TRUE(device.stillLocked().empty());
    first->Release();
    third->Release();
}

TEST(RecordingDevice, ScriptsCooperativeLevel) {
    RecordingDevice device;
    device.scriptCooperativeLevel({D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET});
    EXPECT_EQ(device.TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device.TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device.TestCooperativeLevel(), D3D_OK);
}

TEST(RecordingDirect3D, RecordsDeviceRequestsAndRefusesMissingAdapters) {
    RecordingDirect3D d3d;
    d3d.setAdapterCount(2);
    d3d.setMaxTextureSize(512, 256);
    D3DPRESENT_PARAMETERS params = RecordingDevice::defaultParams();
    params.BackBufferWidth = 640;
    IDirect3DDevice8* device = nullptr;
    EXPECT_EQ(d3d.CreateDevice(2, D3DDEVTYPE_HAL, nullptr, 0x40, &params, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
    ASSERT_EQ(d3d.CreateDevice(1, D3DDEVTYPE_HAL, nullptr, 0x20, &params, &device), S_OK);
    ASSERT_EQ(d3d.deviceRequests().size(), 2u);
    EXPECT_EQ(d3d.deviceRequests()[1].behaviorFlags, 0x20u);
    EXPECT_EQ(d3d.deviceRequests()[1].params.BackBufferWidth, 640u);
    EXPECT_EQ(d3d.callTexts("CreateDevice")[1], "CreateDevice(1, HAL, 0x20)");
    D3DCAPS8 caps;
    device->GetDeviceCaps(&caps);
    EXPECT_EQ(caps.MaxTextureWidth, 512u);
    EXPECT_EQ(caps.MaxTextureHeight, 256u);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d.device()->refCount(), 0u);

    d3d.failCalls("CreateDevice", D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d.CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x40, &params, &device),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d.deviceCount(), 1u);
}
