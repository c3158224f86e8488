// The GL device's fault plan (the n-th CreateTexture, CreateVertexBuffer,
// Lock or LockRect fails) and its planned losses after presents.
#include "gl_fixture.h"

namespace gl_test {
namespace {

using tundra_testing::CallCount;
using tundra_testing::FailCall;
using tundra_testing::FaultCall;

class FaultPlanTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        tundra_testing::ClearFaultPlan();
        ASSERT_EQ(createDevice(), D3D_OK);
    }
    void TearDown() override {
        tundra_testing::ClearFaultPlan();
        GlDeviceTest::TearDown();
    }

    HRESULT createTexture(IDirect3DTexture8** texture) {
        return device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture);
    }
    HRESULT createBuffer(IDirect3DVertexBuffer8** buffer) {
        return device_->CreateVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, buffer);
    }
};

TEST_F(FaultPlanTest, OnlyThePlannedCreateTextureFailsAndHandsOutNothing) {
    FailCall(FaultCall::CreateTexture, 2);
    IDirect3DTexture8* first = nullptr;
    IDirect3DTexture8* second = reinterpret_cast<IDirect3DTexture8*>(this);  // must be cleared
    IDirect3DTexture8* third = nullptr;
    EXPECT_EQ(createTexture(&first), D3D_OK);
    EXPECT_EQ(createTexture(&second), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(createTexture(&third), D3D_OK);
    EXPECT_EQ(CallCount(FaultCall::CreateTexture), 3u);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(third->Release(), 0u);
}

TEST_F(FaultPlanTest, PlannedCreateVertexBufferFailsAndHandsOutNothing) {
    FailCall(FaultCall::CreateVertexBuffer, 1);
    IDirect3DVertexBuffer8* failed = reinterpret_cast<IDirect3DVertexBuffer8*>(this);
    EXPECT_EQ(createBuffer(&failed), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(failed, nullptr);
    IDirect3DVertexBuffer8* made = nullptr;
    EXPECT_EQ(createBuffer(&made), D3D_OK);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Release(), 0u);
    EXPECT_EQ(CallCount(FaultCall::CreateVertexBuffer), 2u);
}

TEST_F(FaultPlanTest, FailedLockHandsOutNoMemoryAndLeavesTheBufferUnlocked) {
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(createBuffer(&buffer), D3D_OK);
    resources_.push_back(buffer);
    FailCall(FaultCall::Lock, 1);
    BYTE* data = reinterpret_cast<BYTE*>(this);
    EXPECT_EQ(buffer->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);  // nothing was locked
    EXPECT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(CallCount(FaultCall::Lock), 2u);
}

TEST_F(FaultPlanTest, FailedLockRectHandsOutNoMemoryAndLeavesTheLevelUnlocked) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(createTexture(&texture), D3D_OK);
    resources_.push_back(texture);
    FailCall(FaultCall::LockRect, 1);
    D3DLOCKED_RECT locked{4, this};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(locked.pBits, nullptr);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_NE(locked.pBits, nullptr);
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
}

TEST_F(FaultPlanTest, PlansCountFromWhenTheyAreMadeAndKindsAreApart) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(createTexture(&texture), D3D_OK);
    resources_.push_back(texture);
    FailCall(FaultCall::CreateTexture, 1);  // the next one, not the first of the run
    FailCall(FaultCall::CreateVertexBuffer, 0);
    IDirect3DVertexBuffer8* buffer = nullptr;
    EXPECT_EQ(createBuffer(&buffer), D3D_OK);
    resources_.push_back(buffer);
    IDirect3DTexture8* refused = nullptr;
    EXPECT_EQ(createTexture(&refused), D3DERR_OUTOFVIDEOMEMORY);
    tundra_testing::ClearFaultPlan();
    EXPECT_EQ(CallCount(FaultCall::CreateTexture), 0u);
    EXPECT_EQ(CallCount(FaultCall::CreateVertexBuffer), 0u);
}

TEST_F(FaultPlanTest, PlannedLossesFollowPresentsUntilUsedUp) {
    tundra_testing::LoseAfterPresents(device_, 2);
    for (int cycle = 0; cycle < 2; ++cycle) {
        EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
        EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
        ASSERT_EQ(device_->Reset(&parameters_), D3D_OK);
    }
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
}

TEST_F(FaultPlanTest, TexturesDrawTheSameAfterEveryPlannedLoss) {
    IDirect3DTexture8* green = texture(1, 1, {0xFF00FF00});
    const std::vector<PositionUv> quad = {
        {-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    IDirect3DVertexBuffer8* buffer = vertexBuffer(quad, D3DFVF_XYZ | D3DFVF_TEX1);
    ASSERT_NE(buffer, nullptr);
    auto drawFrame = [&] {
        useClipSpace();
        device_->SetTexture(0, green);
        device_->SetStreamSource(0, buffer, sizeof(PositionUv));
        device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_TEX1);
        return drawScene(0xFF212121, [&] { device_->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 1); });
    };
    tundra_testing::LoseAfterPresents(device_, 50);
    const std::vector<uint32_t> before = drawFrame();
    ASSERT_EQ(at(before, 48, 8), 0xFF00FF00u);  // the drawn triangle
    ASSERT_EQ(at(before, 8, 48), 0xFF212121u);  // the clear colour
    for (int cycle = 0; cycle < 50; ++cycle) {
        EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
        EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
        ASSERT_EQ(device_->Reset(&parameters_), D3D_OK);
        ASSERT_EQ(drawFrame(), before) << "cycle " << cycle;
    }
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);  // the plan is used up
}

}  // namespace
}  // namespace gl_test
