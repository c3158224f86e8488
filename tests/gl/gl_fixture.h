// The GL device tests' window, device and helpers; frames read back top row first, 0xAARRGGBB.
#pragma once

#include "platform/linux/gl/device.h"
#include "platform/linux/gl/live_devices.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace gl_test {

inline gl_d3d8::GlDevice& GlDeviceOf(IDirect3DDevice8* device) {
    return *dynamic_cast<gl_d3d8::GlDevice*>(device);
}
// For the devices made from now on and the live ones (direct drawing takes effect at a Reset).
inline void SetFastPaths(bool batching, bool directDrawing = true) {
    gl_d3d8::LoadOptions();
    gl_d3d8::ProcessOptions() = {batching, directDrawing};
    for (gl_d3d8::ObservedDevice* device : gl_d3d8::LiveDevices())
        dynamic_cast<gl_d3d8::GlDevice*>(device)->options() = gl_d3d8::ProcessOptions();
}

inline HWND MakeWindow(int width, int height) {
    static const bool registered = [] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "GlDeviceTest";
        return RegisterClassExA(&windowClass) != 0;
    }();
    return registered ? CreateWindowExA(0, "GlDeviceTest", "GlDeviceTest", WS_POPUP, 0, 0, width,
                                        height, nullptr, nullptr, nullptr, nullptr)
                      : nullptr;
}

inline D3DPRESENT_PARAMETERS WindowedParameters(UINT width, UINT height) {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = width, p.BackBufferHeight = height, p.BackBufferCount = 2;
    p.BackBufferFormat = D3DFMT_X8R8G8B8, p.SwapEffect = D3DSWAPEFFECT_DISCARD, p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE, p.AutoDepthStencilFormat = D3DFMT_D24S8;
    return p;
}

struct PositionColor {
    float x, y, z;
    D3DCOLOR color;
};
struct PositionUv {
    float x, y, z, u, v;
};
struct PositionUv2 {
    float x, y, z, u0, v0, u1, v1;
};

inline D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

class GlDeviceTest : public ::testing::Test {
public:
    static constexpr UINT kWidth = 64, kHeight = 64;

    void SetUp() override {
        // Mesa gives a deleted object's name to the next one made only when asked to;
        // asked, a binding the device wrongly believes still current shows in the picture.
        setenv("force_gl_names_reuse", "true", 1);
        ASSERT_NE(window_ = MakeWindow(int(kWidth), int(kHeight)), nullptr);
        ASSERT_NE(d3d_ = Direct3DCreate8(D3D_SDK_VERSION), nullptr);
        parameters_ = WindowedParameters(kWidth, kHeight);
    }
    void TearDown() override {
        releaseDevice();
        EXPECT_TRUE(!d3d_ || d3d_->Release() == 0u);
        if (window_) DestroyWindow(window_);
        SetFastPaths(true);
    }
    void releaseDevice() {
        for (IUnknown* resource : resources_) resource->Release();
        resources_.clear();
        EXPECT_TRUE(!device_ || device_->Release() == 0u);
        device_ = nullptr;
    }
    HRESULT createDevice(DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING) {
        return d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, flags, &parameters_, &device_);
    }
    // Lighting off; the rest as the device starts (identity transforms: clip space).
    void createSceneDevice(UINT width = kWidth, UINT height = kHeight) {
        parameters_ = WindowedParameters(width, height);
        ASSERT_EQ(createDevice(), D3D_OK);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    }
    std::vector<uint32_t> drawScene(D3DCOLOR clear, const std::function<void()>& draw,
                                    float clearDepth = 1.0f) {
        EXPECT_EQ(device_->BeginScene(), D3D_OK);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, clearDepth, 0);
        draw();
        EXPECT_EQ(device_->EndScene(), D3D_OK);
        return presentAndRead();
    }
    template <typename Vertex>
    IDirect3DVertexBuffer8* vertexBuffer(const std::vector<Vertex>& vertices, DWORD fvf) {
        IDirect3DVertexBuffer8* buffer = nullptr;
        const UINT length = UINT(vertices.size() * sizeof(Vertex));
        EXPECT_EQ(device_->CreateVertexBuffer(length, 0, fvf, D3DPOOL_MANAGED, &buffer), D3D_OK);
        if (!buffer) return nullptr;
        BYTE* data = nullptr;
        EXPECT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, vertices.data(), length);
        buffer->Unlock();
        resources_.push_back(buffer);
        return buffer;
    }
    // Each texel's low `bytesPerTexel` bytes, row by row; none leaves the texture unwritten.
    IDirect3DTexture8* texture(UINT width, UINT height, const std::vector<uint32_t>& texels,
                               D3DFORMAT format = D3DFMT_A8R8G8B8, UINT bytesPerTexel = 4) {
        IDirect3DTexture8* result = nullptr;
        EXPECT_EQ(device_->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &result),
                  D3D_OK);
        if (!result) return nullptr;
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(result->LockRect(0, &locked, nullptr, 0), D3D_OK);
        BYTE* const bits = static_cast<BYTE*>(locked.pBits);
        for (UINT i = 0; i < texels.size(); ++i)
            std::memcpy(bits + i / width * locked.Pitch + i % width * bytesPerTexel, &texels[i],
                        bytesPerTexel);
        result->UnlockRect(0);
        resources_.push_back(result);
        return result;
    }

    template <typename Vertex>
    void draw(const std::vector<Vertex>& vertices, DWORD fvf, D3DPRIMITIVETYPE type,
              UINT primitives) {
        IDirect3DVertexBuffer8* buffer = vertexBuffer(vertices, fvf);
        ASSERT_NE(buffer, nullptr);
        device_->SetStreamSource(0, buffer, sizeof(Vertex));
        device_->SetVertexShader(fvf);
        EXPECT_TRUE(!primitives || device_->DrawPrimitive(type, 0, primitives) == D3D_OK);
    }

    std::vector<uint32_t> presentAndRead() {
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        return presentedFrame();
    }
    std::vector<uint32_t> presentedFrame() {
        std::vector<uint32_t> pixels;
        UINT w = 0, h = 0;
        EXPECT_TRUE(GlDeviceOf(device_).readBack(pixels, w, h));
        EXPECT_EQ(w, parameters_.BackBufferWidth);
        return pixels;
    }

    uint32_t at(const std::vector<uint32_t>& frame, UINT x, UINT y) const {
        return frame.at(size_t(y) * parameters_.BackBufferWidth + x);
    }

    HWND window_ = nullptr;
    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
    D3DPRESENT_PARAMETERS parameters_{};
    std::vector<IUnknown*> resources_;
};

inline ::testing::AssertionResult ColorNear(uint32_t actual, uint32_t expected, int tolerance = 1) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((actual >> shift) & 255) - int((expected >> shift) & 255)) > tolerance)
            return ::testing::AssertionFailure() << std::hex << actual << " not near " << expected;
    return ::testing::AssertionSuccess();
}

}  // namespace gl_test
