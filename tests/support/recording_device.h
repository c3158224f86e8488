// A recording stand-in for Direct3D 8: it logs every call as a stable text
// ("SetRenderState(ZENABLE, 1)", "tex#1.LockRect(0, whole, 0x0)", "vb#1.Release() -> 0",
// "CreateTexture(128, 128, 1, 0x0, X8R8G8B8, MANAGED) -> tex#1" or "-> failed"), keeps
// resources in real memory, counts references and fails chosen calls on request.
// tests/gl/d3d8_contract_test.cpp holds it to the GL device's rules: what that device
// refuses as misuse it refuses too and lists in referenceErrors(). Release never deletes,
// so memory stays inspectable; leaks() reports.
#pragma once

#include "platform/linux/com_object.h"
#include "platform/platform.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tundra_test {

struct RecordedCall {
    std::string name;            // e.g. "SetTextureStageState"
    std::vector<uint32_t> args;  // integer arguments in order
    std::string text;            // the readable form
    std::vector<float> floats;   // SetTransform: its 16 elements row by row
    D3DMATRIX matrix() const;
};

class CallRecorder {
public:
    const std::vector<RecordedCall>& calls() const { return calls_; }
    std::vector<RecordedCall> callsNamed(const std::string& name) const;
    std::vector<std::string> callTexts(const std::string& name = "") const;  // "": every call
    size_t count(const std::string& name) const { return callsNamed(name).size(); }
    void clearCalls() { calls_.clear(); }
    // After `skip` more successful calls of `method`, the next `times` return
    // `result`; a failed create hands out no object, a failed lock no memory.
    void failCalls(const std::string& method, HRESULT result = E_FAIL, unsigned skip = 0,
                   unsigned times = ~0u) {
        failures_[method] = Failure{result, skip, times};
    }
    // Logs the call; returns the injected failure if one is due, else `normal`.
    HRESULT record(const std::string& name, std::vector<uint32_t> args, std::string text,
                   HRESULT normal = S_OK);

protected:
    ~CallRecorder() = default;
    RecordedCall& last() { return calls_.back(); }

private:
    struct Failure {
        HRESULT result;
        unsigned skip, times;
    };
    std::vector<RecordedCall> calls_;
    std::map<std::string, Failure> failures_;
};

// Every object starts with its creator's reference. AddRef and Release log
// "<prefix>AddRef()" / "<prefix>Release() -> n" to `log`; a release at 0 is
// an error, never a deletion.
class RefCounted {
public:
    RefCounted(std::string name, CallRecorder& log, std::string prefix)
        : log_(log), name_(std::move(name)), prefix_(std::move(prefix)) {}
    ULONG refCount() const { return refs_.count(); }
    const std::string& name() const { return name_; }  // "tex#2", "vb#1", "device"
    const std::vector<std::string>& referenceErrors() const { return errors_; }

protected:
    ULONG addRef();
    ULONG release();
    // D3DERR_INVALIDCALL, with `misuse` kept as an error, unless `allowed`.
    HRESULT refuseUnless(bool allowed, const std::string& misuse);
    ~RefCounted() = default;
    CallRecorder& log_;
    std::vector<std::string> errors_;

private:
    std::string name_, prefix_;
    platform_linux::ReferenceCount refs_;
};

template <class Interface>
class Counted : public Interface, public RefCounted {
public:
    using RefCounted::RefCounted;
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }
};

// Rows lie `pitch(level)` bytes apart, more than a row needs; the gap holds
// 0xCD, so a write that ignores the pitch shows in paddingIntact().
class RecordingTexture : public Counted<IDirect3DTexture8> {
public:
    RecordingTexture(CallRecorder& log, int id, UINT width, UINT height, UINT levels, DWORD usage,
                     D3DFORMAT format, D3DPOOL pool);
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    D3DFORMAT format() const { return format_; }
    D3DPOOL pool() const { return pool_; }
    UINT levelCount() const { return static_cast<UINT>(levels_.size()); }
    UINT width(UINT level = 0) const { return levels_.at(level).width; }
    UINT height(UINT level = 0) const { return levels_.at(level).height; }
    bool isLocked(UINT level = 0) const { return levels_.at(level).locked; }
    // Texel (x, y) of a 32-bit format.
    uint32_t texel(UINT level, UINT x, UINT y) const;
    bool paddingIntact() const;

private:
    struct Level {
        UINT width, height, pitch;
        std::vector<BYTE> bytes;
        bool locked = false;
    };
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    std::vector<Level> levels_;
};

class RecordingVertexBuffer : public Counted<IDirect3DVertexBuffer8> {
public:
    RecordingVertexBuffer(CallRecorder& log, int id, UINT length, DWORD usage, DWORD fvf,
                          D3DPOOL pool);
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offsetToLock, UINT sizeToLock, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    bool isLocked() const { return locked_; }
    const std::vector<BYTE>& bytes() const { return bytes_; }
    float floatAt(size_t byteOffset) const;  // 0 and a failure when out of range

private:
    DWORD usage_, fvf_;
    D3DPOOL pool_;
    std::vector<BYTE> bytes_;
    bool locked_ = false;
};

// States start at Direct3D 8's defaults and read back what was set.
class RecordingDevice : public CallRecorder, public Counted<IDirect3DDevice8> {
public:
    explicit RecordingDevice(const D3DPRESENT_PARAMETERS& params = defaultParams(),
                             D3DCAPS8 caps = defaultCaps());
    static D3DPRESENT_PARAMETERS defaultParams();  // 800 × 600 windowed X8R8G8B8, D24S8
    static D3DCAPS8 defaultCaps();                 // HAL, 2048 × 2048 textures, 8 stages

    // TestCooperativeLevel answers these in order; each puts the device in
    // that state (lost: Reset and Present refused), which lasts until a Reset.
    void scriptCooperativeLevel(std::vector<HRESULT> results) {
        cooperativeScript_ = std::move(results), cooperativeNext_ = 0;
    }
    // By creation number from 1.
    RecordingTexture* texture(int id) const { return textures_.at(id - 1).get(); }
    RecordingVertexBuffer* vertexBuffer(int id) const { return buffers_.at(id - 1).get(); }
    size_t textureCount() const { return textures_.size(); }
    size_t vertexBufferCount() const { return buffers_.size(); }
    // "tex#2 has 1 reference(s) left" per resource not fully released.
    std::vector<std::string> leaks() const;
    // Double releases, bad locks or unlocks and refused draws or bindings.
    std::vector<std::string> referenceErrors() const;
    // "tex#1 level 0" / "vb#2" for everything left locked.
    std::vector<std::string> stillLocked() const;
    // All three lists: what a clean run leaves empty.
    std::vector<std::string> problems() const;
    const D3DPRESENT_PARAMETERS& presentParameters() const { return params_; }
    void setCaps(const D3DCAPS8& caps) { caps_ = caps; }
    D3DMATRIX transform(D3DTRANSFORMSTATETYPE state) const;  // identity if never set
    DWORD stageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) const {
        return stageStates_.count({stage, type}) ? stageStates_.at({stage, type}) : 0;
    }

    HRESULT TestCooperativeLevel() override;
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* presentParameters) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture8** texture) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** vertexBuffer) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                          UINT primitiveCount) override;
    HRESULT SetVertexShader(DWORD handle) override;
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData,
                            UINT stride) override;

private:
    void resetStates();
    D3DPRESENT_PARAMETERS params_;
    D3DCAPS8 caps_;
    std::vector<std::unique_ptr<RecordingTexture>> textures_;
    std::vector<std::unique_ptr<RecordingVertexBuffer>> buffers_;
    std::vector<HRESULT> cooperativeScript_;
    size_t cooperativeNext_ = 0;
    HRESULT cooperation_ = D3D_OK;  // or D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET
    bool inScene_ = false;
    RecordingVertexBuffer* stream_ = nullptr;
    UINT stride_ = 0;
    std::map<DWORD, D3DMATRIX> transforms_;
    std::map<DWORD, DWORD> renderStates_;
    std::map<std::pair<DWORD, DWORD>, DWORD> stageStates_;
};

struct DeviceRequest {
    UINT adapter;
    D3DDEVTYPE deviceType;
    DWORD behaviorFlags;
    D3DPRESENT_PARAMETERS params;  // a copy, as passed
};

// CreateDevice refuses an adapter past the count; this object owns the devices it makes.
class RecordingDirect3D : public CallRecorder, public Counted<IDirect3D8> {
public:
    explicit RecordingDirect3D(UINT adapters = 1)
        : Counted("d3d", *this, ""), adapterCount_(adapters) {}
    const std::vector<DeviceRequest>& deviceRequests() const { return requests_; }
    // The last device created, or null.
    RecordingDevice* device() const { return devices_.empty() ? nullptr : devices_.back().get(); }

    UINT GetAdapterCount() override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* presentParameters,
                         IDirect3DDevice8** returnedDevice) override;

private:
    UINT adapterCount_;
    std::vector<DeviceRequest> requests_;
    std::vector<std::unique_ptr<RecordingDevice>> devices_;
};

// Makes Direct3DCreate8 hand out `d3d` (null: no Direct3D 8) while it lives.
// The first call hands over the reference the object was born with, later
// ones add one each. One guard at a time.
class ScopedDirect3DFactory {
public:
    explicit ScopedDirect3DFactory(RecordingDirect3D* d3d);
    ~ScopedDirect3DFactory();
    ScopedDirect3DFactory(const ScopedDirect3DFactory&) = delete;
    ScopedDirect3DFactory& operator=(const ScopedDirect3DFactory&) = delete;
    static int createCount();  // calls of Direct3DCreate8
    static UINT lastSdkVersion();
};

}  // namespace tundra_test
