// A recording stand-in for Direct3D 8: IDirect3D8, IDirect3DDevice8,
// IDirect3DTexture8 and IDirect3DVertexBuffer8 that log every call, keep
// textures and vertex buffers in real memory, count references and fail
// chosen calls on request. No GL, no window: usable in any unit test.
//
// Ownership: Release never deletes anything. The test owns the objects it
// constructs (a RecordingDirect3D or RecordingDevice on the stack); a
// RecordingDirect3D owns the devices it creates, a device owns every texture
// and vertex buffer it created, so their memory can still be inspected after
// the code under test released them. Leaks and double releases are reported
// by leaks() and referenceErrors() instead.
//
// Call texts (stable, compare them directly):
//   SetRenderState(ZENABLE, 1)              SetTextureStageState(1, COLOROP, 5)
//   SetTexture(0, tex#3)  SetTexture(1, null)  SetStreamSource(0, vb#1, 28)
//   SetVertexShader(0x202)                  DrawPrimitive(6, 10, 4)
//   SetTransform(VIEW, [1 0 0 0; 0 1 0 0; 0 0 1 0; 0 0 0 1])
//   Clear(0, 0x3, 0xff212121, 1, 0)         BeginScene()  EndScene()  Present()
//   CreateTexture(128, 128, 1, 0x0, X8R8G8B8, MANAGED) -> tex#1   (or "-> failed")
//   CreateVertexBuffer(20480, 0x0, 0x102, MANAGED) -> vb#1
//   tex#1.LockRect(0, whole, 0)  tex#1.UnlockRect(0)  tex#1.Release() -> 0
//   vb#1.Lock(0, 0, 0)  vb#1.Unlock()
//   CreateDevice(0, HAL, 0x40)  (on RecordingDirect3D; see deviceRequests())
// Textures and vertex buffers are numbered per device in creation order from 1
// (a failed creation takes no number). Names drop the D3DRS_/D3DTSS_/D3DTS_/
// D3DFMT_/D3DPOOL_ prefixes; values without a name print as numbers.
#pragma once

#include "platform/linux/com_object.h"
#include "platform/platform.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tundra_test {

// One call as it was made.
struct RecordedCall {
    std::string name;            // method name, e.g. "SetTextureStageState"
    std::vector<uint32_t> args;  // integer arguments in order (enums, counts, flags)
    std::vector<int> objects;    // resource ids involved: the resource called on
                                 // first, then those passed or created (0 = null)
    std::vector<float> floats;   // SetTransform: 16 elements row by row; Clear: z
    HRESULT result = S_OK;       // what the call returned
    std::string text;            // the readable form shown above

    D3DMATRIX matrix() const;  // the 16 floats of a SetTransform
};

// Fault injection and the call log, shared by all recording objects.
class CallRecorder {
public:
    const std::vector<RecordedCall>& calls() const { return calls_; }
    std::vector<RecordedCall> callsNamed(const std::string& name) const;
    std::vector<std::string> callTexts() const;
    // Only the texts of calls with the given name, in order.
    std::vector<std::string> callTexts(const std::string& name) const;
    size_t count(const std::string& name) const;
    void clearCalls() { calls_.clear(); }

    // Makes calls of `method` (e.g. "CreateTexture", "LockRect", "Lock",
    // "BeginScene", "CreateDevice", "Reset") return `result`: after `skip`
    // more calls have succeeded, the next `times` calls fail. A failed create
    // hands out no object; a failed lock hands out no memory.
    void failCalls(const std::string& method, HRESULT result = E_FAIL, unsigned skip = 0,
                   unsigned times = ~0u);
    void clearFailures() { failures_.clear(); }

    // Appends the call and returns the result it must give: the injected
    // failure if one is due, otherwise `normal`.
    HRESULT record(RecordedCall call, HRESULT normal = S_OK);
    // Sets the result of the last recorded call (when found only later).
    void setLastResult(HRESULT result);
    // A create call that handed out nothing: its text ends in " -> failed"
    // and its object id becomes 0.
    void markCreationFailed();

protected:
    ~CallRecorder() = default;

private:
    struct Failure {
        HRESULT result;
        unsigned skip;
        unsigned times;
    };
    std::vector<RecordedCall> calls_;
    std::map<std::string, Failure> failures_;
};

class RecordingDevice;

// Reference counting shared by all recording objects. Every object starts
// with one reference (its creator's).
class RefCounted {
public:
    explicit RefCounted(std::string name) : name_(std::move(name)) {}
    ULONG refCount() const { return refs_.count(); }
    const std::string& name() const { return name_; }  // "tex#2", "vb#1", "device"
    const std::vector<std::string>& referenceErrors() const { return errors_; }

protected:
    ULONG addRef() { return refs_.add(); }
    ULONG release();  // a release at 0 is recorded as an error, never deletes
    ~RefCounted() = default;

private:
    std::string name_;
    platform_linux::ReferenceCount refs_;
    std::vector<std::string> errors_;
};

// A texture backed by real memory. Rows are `pitch(level)` bytes apart, more
// than width × bytes per texel on purpose; the gap is filled with 0xCD so a
// write that ignores the pitch shows up in paddingIntact().
class RecordingTexture : public IDirect3DTexture8, public RefCounted {
public:
    RecordingTexture(RecordingDevice& device, int id, UINT width, UINT height, UINT levels,
                     DWORD usage, D3DFORMAT format, D3DPOOL pool);

    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    int id() const { return id_; }
    D3DFORMAT format() const { return format_; }
    D3DPOOL pool() const { return pool_; }
    DWORD usage() const { return usage_; }
    UINT levelCount() const { return static_cast<UINT>(levels_.size()); }
    UINT width(UINT level = 0) const { return levels_.at(level).width; }
    UINT height(UINT level = 0) const { return levels_.at(level).height; }
    UINT pitch(UINT level = 0) const { return levels_.at(level).pitch; }
    bool isLocked(UINT level = 0) const { return levels_.at(level).locked; }
    // Texel (x, y) of a 32-bit format / a 16-bit format, read from memory.
    uint32_t texel(UINT level, UINT x, UINT y) const;
    uint16_t texel16(UINT level, UINT x, UINT y) const;
    const BYTE* row(UINT level, UINT y) const;
    // True while no byte between rows (or after the last row) was written.
    bool paddingIntact() const;


private:
    struct Level {
        UINT width, height, pitch;
        std::vector<BYTE> bytes;
        bool locked = false;
    };
    RecordingDevice& device_;
    int id_;
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    std::vector<Level> levels_;
};

// A vertex buffer backed by real memory.
class RecordingVertexBuffer : public IDirect3DVertexBuffer8, public RefCounted {
public:
    RecordingVertexBuffer(RecordingDevice& device, int id, UINT length, DWORD usage, DWORD fvf,
                          D3DPOOL pool);

    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offsetToLock, UINT sizeToLock, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    int id() const { return id_; }
    DWORD fvf() const { return fvf_; }
    DWORD usage() const { return usage_; }
    D3DPOOL pool() const { return pool_; }
    bool isLocked() const { return locked_; }
    const std::vector<BYTE>& bytes() const { return bytes_; }
    float floatAt(size_t byteOffset) const;  // 0 when out of range (and ADD_FAILURE)

private:
    RecordingDevice& device_;
    int id_;
    DWORD usage_, fvf_;
    D3DPOOL pool_;
    std::vector<BYTE> bytes_;
    bool locked_ = false;
};

// The device. Calls on its textures and vertex buffers go into its log too.
// Render, stage and transform states read back what was set, starting from
// Direct3D 8's documented defaults.
class RecordingDevice : public IDirect3DDevice8, public RefCounted, public CallRecorder {
public:
    explicit RecordingDevice(const D3DPRESENT_PARAMETERS& params = defaultParams(),
                             D3DCAPS8 caps = defaultCaps());
    ~RecordingDevice() override;

    static D3DPRESENT_PARAMETERS defaultParams();  // 800 × 600 windowed X8R8G8B8, D24S8
    static D3DCAPS8 defaultCaps();                 // HAL, 2048 × 2048 textures, 8 stages

    // TestCooperativeLevel answers these in order, then D3D_OK for ever.
    void scriptCooperativeLevel(std::vector<HRESULT> results);

    RecordingTexture* texture(int id) const;  // by creation number; null if none
    RecordingVertexBuffer* vertexBuffer(int id) const;
    size_t textureCount() const { return textures_.size(); }
    size_t vertexBufferCount() const { return buffers_.size(); }
    // "tex#2 has 1 reference(s) left" for every texture or buffer not fully
    // released; empty when nothing leaked.
    std::vector<std::string> leaks() const;
    // Double releases and unmatched unlocks of the device and all resources.
    std::vector<std::string> referenceErrors() const;
    void noteError(const std::string& error) { extraErrors_.push_back(error); }
    // "tex#1 level 0" / "vb#2" for everything left locked; empty when none.
    std::vector<std::string> stillLocked() const;
    // DrawPrimitive calls made outside BeginScene … EndScene.
    size_t drawsOutsideScene() const { return drawsOutsideScene_; }

    const D3DPRESENT_PARAMETERS& presentParameters() const { return params_; }
    void setCaps(const D3DCAPS8& caps) { caps_ = caps; }
    // "tex#3", "vb#1", "null" for what a pointer refers to.
    std::string nameOf(IDirect3DBaseTexture8* texture) const;
    std::string nameOf(IDirect3DVertexBuffer8* buffer) const;

    ULONG AddRef() override;
    ULONG Release() override;
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

    // Current state as the code under test left it.
    bool inScene() const { return inScene_; }
    IDirect3DBaseTexture8* boundTexture(DWORD stage) const;
    D3DMATRIX transform(D3DTRANSFORMSTATETYPE state) const;  // identity if never set
    DWORD renderState(D3DRENDERSTATETYPE state) const;
    DWORD stageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) const;

private:
    D3DPRESENT_PARAMETERS params_;
    D3DCAPS8 caps_;
    std::vector<std::unique_ptr<RecordingTexture>> textures_;
    std::vector<std::unique_ptr<RecordingVertexBuffer>> buffers_;
    std::vector<HRESULT> cooperativeScript_;
    size_t cooperativeNext_ = 0;
    bool inScene_ = false;
    std::map<DWORD, IDirect3DBaseTexture8*> boundTextures_;
    std::map<DWORD, D3DMATRIX> transforms_;
    std::map<DWORD, DWORD> renderStates_;
    std::map<std::pair<DWORD, DWORD>, DWORD> stageStates_;
    std::vector<std::string> extraErrors_;
    size_t drawsOutsideScene_ = 0;
};

// What CreateDevice was asked for.
struct DeviceRequest {
    UINT adapter;
    D3DDEVTYPE deviceType;
    HWND focusWindow;
    DWORD behaviorFlags;
    D3DPRESENT_PARAMETERS params;  // a copy, as passed
};

// The Direct3D object. CreateDevice succeeds for an adapter below
// adapterCount() (else D3DERR_INVALIDCALL), unless failCalls("CreateDevice")
// says otherwise, and makes a RecordingDevice owned by this object.
class RecordingDirect3D : public IDirect3D8, public RefCounted, public CallRecorder {
public:
    RecordingDirect3D();
    ~RecordingDirect3D() override;

    void setAdapterCount(UINT count) { adapterCount_ = count; }
    void setMaxTextureSize(DWORD width, DWORD height);
    const D3DCAPS8& caps() const { return caps_; }
    const std::vector<DeviceRequest>& deviceRequests() const { return requests_; }
    RecordingDevice* device() const;  // the last device created, or null
    size_t deviceCount() const { return devices_.size(); }

    ULONG AddRef() override;
    ULONG Release() override;
    UINT GetAdapterCount() override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* presentParameters,
                         IDirect3DDevice8** returnedDevice) override;

private:
    UINT adapterCount_ = 1;
    D3DCAPS8 caps_;
    std::vector<DeviceRequest> requests_;
    std::vector<std::unique_ptr<RecordingDevice>> devices_;
};

// Makes Direct3DCreate8 hand out `d3d` for the lifetime of this guard; null
// makes it return null, as on a machine without Direct3D 8. The first call
// hands over the reference the object was born with (so after the code under
// test released it, refCount() is 0); later calls add one each. Restores the
// GL implementation when destroyed. One guard at a time.
class ScopedDirect3DFactory {
public:
    explicit ScopedDirect3DFactory(RecordingDirect3D* d3d);
    ~ScopedDirect3DFactory();
    ScopedDirect3DFactory(const ScopedDirect3DFactory&) = delete;
    ScopedDirect3DFactory& operator=(const ScopedDirect3DFactory&) = delete;
    // How often Direct3DCreate8 was called, and the SDK version last given.
    static int createCount();
    static UINT lastSdkVersion();
};

// Readable names used in call texts, e.g. "COLOROP", "X8R8G8B8".
std::string RenderStateName(DWORD state);
std::string StageStateName(DWORD type);
std::string TransformName(DWORD state);
std::string FormatName(DWORD format);
std::string PoolName(DWORD pool);

}  // namespace tundra_test
