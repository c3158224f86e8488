// The test build's Direct3DCreate8: the GL Direct3D 8 behind objects that
// pass every call on, except what the fault plan makes fail, lose or throw.
#include "hooks/fault_plan.h"
#include "platform/linux/com_object.h"
#include "platform/linux/gl/device_observer.h"
#include "platform/linux/gl/direct3d.h"

#include <new>

namespace tundra_hooks {

namespace {

using platform_linux::ComObject;

template <class Interface>
class Wrapper : public ComObject<Interface> {
public:
    explicit Wrapper(Interface* inner) : inner_(inner) {}
    Interface* inner() const { return inner_; }

protected:
    ~Wrapper() override { inner_->Release(); }
    Interface* const inner_;
};

class FaultyTexture final : public Wrapper<IDirect3DTexture8> {
public:
    using Wrapper::Wrapper;
    D3DRESOURCETYPE GetType() override { return inner_->GetType(); }
    DWORD GetLevelCount() override { return inner_->GetLevelCount(); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
        return inner_->GetLevelDesc(level, desc);
    }
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
        if (!FaultDue(FaultCall::LockRect)) return inner_->LockRect(level, locked, rect, flags);
        if (locked) *locked = D3DLOCKED_RECT{0, nullptr};
        return D3DERR_INVALIDCALL;
    }
    HRESULT UnlockRect(UINT level) override { return inner_->UnlockRect(level); }
};

class FaultyVertexBuffer final : public Wrapper<IDirect3DVertexBuffer8> {
public:
    using Wrapper::Wrapper;
    D3DRESOURCETYPE GetType() override { return inner_->GetType(); }
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override {
        if (!FaultDue(FaultCall::Lock)) return inner_->Lock(offset, size, data, flags);
        if (data) *data = nullptr;
        return D3DERR_INVALIDCALL;
    }
    HRESULT Unlock() override { return inner_->Unlock(); }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override { return inner_->GetDesc(desc); }
};

// The object behind a wrapper (or the object itself when it is none).
template <class Faulty, class Interface>
Interface* Unwrapped(Interface* object) {
    auto* faulty = dynamic_cast<Faulty*>(object);
    return faulty ? faulty->inner() : object;
}

// Made on the GL device, whose focus a planned loss takes and gives back.
class FaultyDevice final : public Wrapper<IDirect3DDevice8> {
public:
    using Wrapper::Wrapper;
    HRESULT TestCooperativeLevel() override {
        const HRESULT level = inner_->TestCooperativeLevel();
        // The focus comes back as soon as the program has seen the loss.
        if (level == D3DERR_DEVICELOST && regainAfterReport_) {
            regainAfterReport_ = false;
            observed().regainFocus();
        }
        return level;
    }
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override { return inner_->GetDeviceCaps(caps); }
    HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) override { return inner_->Reset(parameters); }
    HRESULT Present(const RECT* source, const RECT* dest, HWND window,
                    const RGNDATA* dirty) override {
        BeforePresent();
        const HRESULT presented = inner_->Present(source, dest, window, dirty);
        if (AllocationFailureDue()) throw std::bad_alloc();
        if (LossDueAfterPresent()) {
            observed().loseDevice();
            regainAfterReport_ = true;
        }
        return presented;
    }
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture8** texture) override {
        if (!FaultDue(FaultCall::CreateTexture)) {
            const HRESULT made =
                inner_->CreateTexture(width, height, levels, usage, format, pool, texture);
            if (made == D3D_OK) *texture = new FaultyTexture(*texture);
            return made;
        }
        if (texture) *texture = nullptr;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer) override {
        if (!FaultDue(FaultCall::CreateVertexBuffer)) {
            const HRESULT made = inner_->CreateVertexBuffer(length, usage, fvf, pool, buffer);
            if (made == D3D_OK) *buffer = new FaultyVertexBuffer(*buffer);
            return made;
        }
        if (buffer) *buffer = nullptr;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    HRESULT BeginScene() override { return inner_->BeginScene(); }
    HRESULT EndScene() override { return inner_->EndScene(); }
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override {
        return inner_->Clear(count, rects, flags, color, z, stencil);
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return inner_->SetTransform(state, matrix);
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
        return inner_->GetTransform(state, matrix);
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        return inner_->SetRenderState(state, value);
    }
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
        return inner_->GetRenderState(state, value);
    }
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override {
        return inner_->SetTexture(stage, Unwrapped<FaultyTexture>(texture));
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        return inner_->SetTextureStageState(stage, type, value);
    }
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                 DWORD* value) override {
        return inner_->GetTextureStageState(stage, type, value);
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) override {
        return inner_->DrawPrimitive(type, start, count);
    }
    HRESULT SetVertexShader(DWORD handle) override { return inner_->SetVertexShader(handle); }
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* data, UINT stride) override {
        return inner_->SetStreamSource(stream, Unwrapped<FaultyVertexBuffer>(data), stride);
    }

private:
    gl_d3d8::ObservedDevice& observed() { return *dynamic_cast<gl_d3d8::ObservedDevice*>(inner_); }

    bool regainAfterReport_ = false;
};

class FaultyDirect3D final : public Wrapper<IDirect3D8> {
public:
    using Wrapper::Wrapper;
    UINT GetAdapterCount() override { return inner_->GetAdapterCount(); }
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) override {
        return inner_->GetDeviceCaps(adapter, type, caps);
    }
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD flags,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice8** device) override {
        const HRESULT made =
            inner_->CreateDevice(adapter, type, focusWindow, flags, parameters, device);
        if (made == D3D_OK) *device = new FaultyDevice(*device);
        return made;
    }
};

}  // namespace

}  // namespace tundra_hooks

IDirect3D8* WINAPI Direct3DCreate8(UINT sdkVersion) {
    IDirect3D8* direct3d = gl_d3d8::CreateDirect3D(sdkVersion);
    if (!direct3d) return nullptr;
    tundra_hooks::StartFaultPlan();
    return new tundra_hooks::FaultyDirect3D(direct3d);
}
