#include "support/recording_device.h"

#include "platform/texel_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <utility>

namespace tundra_test {

namespace {

std::string hex(uint32_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

std::string str(int64_t value) { return std::to_string(value); }

std::string call(const std::string& name, const std::vector<std::string>& shown) {
    std::string text = name + "(";
    for (size_t i = 0; i < shown.size(); ++i) text += (i > 0 ? ", " : "") + shown[i];
    return text + ")";
}

const D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

// Names for the states and texture formats the viewer sets; numbers show the rest.
#define N(prefix, name) \
    { prefix##name, #name }
// clang-format off
const std::map<DWORD, std::string> kRenderStates = {
    N(D3DRS_, ZENABLE), N(D3DRS_, CULLMODE), N(D3DRS_, LIGHTING), N(D3DRS_, ALPHABLENDENABLE),
    N(D3DRS_, SRCBLEND), N(D3DRS_, DESTBLEND), N(D3DRS_, MULTISAMPLEANTIALIAS)};
// clang-format on
const std::map<DWORD, std::string> kFormats = {
    N(D3DFMT_, UNKNOWN),  N(D3DFMT_, R8G8B8),   N(D3DFMT_, A8R8G8B8), N(D3DFMT_, X8R8G8B8),
    N(D3DFMT_, R5G6B5),   N(D3DFMT_, X1R5G5B5), N(D3DFMT_, A1R5G5B5), N(D3DFMT_, A4R4G4B4),
    N(D3DFMT_, X4R4G4B4), N(D3DFMT_, A8),       N(D3DFMT_, L8)};
#undef N

std::string Name(const std::map<DWORD, std::string>& names, DWORD value) {
    const auto found = names.find(value);
    return found == names.end() ? str(value) : found->second;
}

std::string PoolName(DWORD pool) { return pool == D3DPOOL_MANAGED ? "MANAGED" : str(pool); }

std::string matrixText(const D3DMATRIX& m) {
    std::ostringstream out;
    for (int i = 0; i < 16; ++i) out << (i == 0 ? "[" : i % 4 ? " " : "; ") << m.m[i / 4][i % 4];
    return out.str() + "]";
}

bool KnownTransform(DWORD state) {
    return state == D3DTS_WORLD || state == D3DTS_VIEW || state == D3DTS_PROJECTION ||
           (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE0 + 7);
}

// The vertices a draw of a point, line or triangle list, a line strip, a triangle strip or
// fan reads; more than any buffer holds for another type.
uint64_t VerticesRead(D3DPRIMITIVETYPE type, uint64_t n) {
    const uint64_t read[] = {n, 2 * n, n + 1, 3 * n, n + 2, n + 2};
    return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN ? read[type - 1] : UINT64_MAX / 2;
}

std::string DeviceType(D3DDEVTYPE type) { return type == D3DDEVTYPE_HAL ? "HAL" : str(type); }

const BYTE kPadding = 0xCD;
const UINT kRowGap = 12;  // so that the pitch is never width × texel size

}  // namespace

D3DMATRIX RecordedCall::matrix() const {
    D3DMATRIX m = kIdentity;
    if (floats.size() == 16) std::memcpy(&m.m[0][0], floats.data(), sizeof m.m);
    else ADD_FAILURE() << text << " carries no matrix";
    return m;
}

std::vector<RecordedCall> CallRecorder::callsNamed(const std::string& name) const {
    std::vector<RecordedCall> found;
    for (const RecordedCall& call : calls_)
        if (call.name == name) found.push_back(call);
    return found;
}

std::vector<std::string> CallRecorder::callTexts(const std::string& name) const {
    std::vector<std::string> texts;
    for (const RecordedCall& call : name.empty() ? calls_ : callsNamed(name))
        texts.push_back(call.text);
    return texts;
}

HRESULT CallRecorder::record(const std::string& name, std::vector<uint32_t> args, std::string text,
                             HRESULT normal) {
    HRESULT result = normal;
    auto found = failures_.find(name);
    Failure* failure = found == failures_.end() ? nullptr : &found->second;
    if (failure && failure->skip > 0) --failure->skip;
    else if (failure && failure->times > 0) --failure->times, result = failure->result;
    // A create that hands out nothing says so.
    size_t arrow = text.rfind(" -> ");
    if (FAILED(result) && name.compare(0, 6, "Create") == 0 && arrow != std::string::npos)
        text = text.substr(0, arrow) + " -> failed";
    calls_.push_back(RecordedCall{name, std::move(args), std::move(text), {}});
    return result;
}

ULONG RefCounted::addRef() {
    log_.record("AddRef", {}, prefix_ + "AddRef()");
    return refs_.add();
}

ULONG RefCounted::release() {
    ULONG left = 0;
    if (!refs_.drop(left)) errors_.push_back("Release of " + name_ + " with no reference left");
    log_.record("Release", {}, prefix_ + "Release() -> " + str(left));
    return left;
}

HRESULT RefCounted::refuseUnless(bool allowed, const std::string& misuse) {
    if (!allowed) errors_.push_back(misuse);
    return allowed ? D3D_OK : D3DERR_INVALIDCALL;
}

RecordingTexture::RecordingTexture(CallRecorder& log, int id, UINT width, UINT height, UINT levels,
                                   DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : Counted("tex#" + str(id), log, "tex#" + str(id) + "."),
      usage_(usage),
      format_(format),
      pool_(pool) {
    const UINT fullChain = texel_layout::MipChainLength(width, height);
    if (levels == 0 || levels > fullChain) levels = fullChain;
    for (UINT level = 0; level < levels; ++level) {
        const UINT w = std::max(width >> level, 1u), h = std::max(height >> level, 1u);
        const UINT rowBytes = w * texel_layout::BytesPerTexel(format);
        Level& l = levels_.emplace_back(Level{w, h, (rowBytes + 3) / 4 * 4 + kRowGap, {}});
        l.bytes.assign(size_t(l.pitch) * h, kPadding);
        for (UINT y = 0; y < h; ++y) std::memset(&l.bytes[size_t(y) * l.pitch], 0, rowBytes);
    }
}

HRESULT RecordingTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    const bool valid = level < levels_.size() && desc;
    HRESULT hr = log_.record("GetLevelDesc", {level}, name() + call(".GetLevelDesc", {str(level)}),
                             valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (FAILED(hr)) return hr;
    const Level& l = levels_[level];
    *desc = D3DSURFACE_DESC{
        format_, D3DRTYPE_SURFACE, usage_, pool_, UINT(l.bytes.size()), D3DMULTISAMPLE_NONE,
        l.width, l.height};
    return D3D_OK;
}

HRESULT RecordingTexture::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                                   DWORD flags) {
    const std::string area =
        rect ? call("", {str(rect->left), str(rect->top), str(rect->right), str(rect->bottom)})
             : "whole";
    const bool usable = level < levels_.size() && lockedRect && !levels_[level].locked;
    const bool inside = !rect ||
                        (usable && rect->left >= 0 && rect->top >= 0 && rect->left < rect->right &&
                         rect->top < rect->bottom && rect->right <= LONG(levels_[level].width) &&
                         rect->bottom <= LONG(levels_[level].height));
    HRESULT hr = log_.record("LockRect", {level, flags},
                             name() + call(".LockRect", {str(level), area, hex(flags)}),
                             usable && inside ? D3D_OK : D3DERR_INVALIDCALL);
    if (!usable) errors_.push_back(name() + ".LockRect(" + str(level) + "): bad level or locked");
    if (FAILED(hr) && lockedRect) *lockedRect = D3DLOCKED_RECT{0, nullptr};
    if (FAILED(hr)) return hr;
    Level& l = levels_[level];
    size_t offset = 0;
    if (rect)
        offset = size_t(rect->top) * l.pitch + rect->left * texel_layout::BytesPerTexel(format_);
    l.locked = true;
    lockedRect->Pitch = static_cast<INT>(l.pitch);
    lockedRect->pBits = l.bytes.data() + offset;
    return D3D_OK;
}

HRESULT RecordingTexture::UnlockRect(UINT level) {
    const bool locked = level < levels_.size() && levels_[level].locked;
    log_.record("UnlockRect", {level}, name() + call(".UnlockRect", {str(level)}));
    if (locked) levels_[level].locked = false;
    return refuseUnless(locked, name() + ".UnlockRect(" + str(level) + ") without a lock");
}

uint32_t RecordingTexture::texel(UINT level, UINT x, UINT y) const {
    const Level& l = levels_.at(level);
    if (texel_layout::BytesPerTexel(format_) != 4 || x >= l.width || y >= l.height)
        throw std::out_of_range("texel");
    uint32_t value;
    std::memcpy(&value, &l.bytes[size_t(y) * l.pitch + size_t(x) * 4], 4);
    return value;
}

bool RecordingTexture::paddingIntact() const {
    for (const Level& l : levels_) {
        size_t rowBytes = size_t(l.width) * texel_layout::BytesPerTexel(format_);
        for (UINT y = 0; y < l.height; ++y)
            for (size_t i = rowBytes; i < l.pitch; ++i)
                if (l.bytes[size_t(y) * l.pitch + i] != kPadding) return false;
    }
    return true;
}

RecordingVertexBuffer::RecordingVertexBuffer(CallRecorder& log, int id, UINT length, DWORD usage,
                                             DWORD fvf, D3DPOOL pool)
    : Counted("vb#" + str(id), log, "vb#" + str(id) + "."),
      usage_(usage),
      fvf_(fvf),
      pool_(pool),
      bytes_(length, 0) {}

HRESULT RecordingVertexBuffer::Lock(UINT offsetToLock, UINT sizeToLock, BYTE** data, DWORD flags) {
    const size_t length = bytes_.size();
    const size_t size = sizeToLock ? sizeToLock : length - std::min<size_t>(offsetToLock, length);
    const bool valid = data && !locked_ && offsetToLock < length && offsetToLock + size <= length;
    HRESULT hr =
        log_.record("Lock", {offsetToLock, sizeToLock, flags},
                    name() + call(".Lock", {str(offsetToLock), str(sizeToLock), hex(flags)}),
                    valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (data) *data = nullptr;
    if (!valid) errors_.push_back(name() + ".Lock: no pointer, outside the buffer or locked");
    if (FAILED(hr)) return hr;
    locked_ = true;
    *data = bytes_.data() + offsetToLock;
    return D3D_OK;
}

HRESULT RecordingVertexBuffer::Unlock() {
    log_.record("Unlock", {}, name() + ".Unlock()");
    return refuseUnless(std::exchange(locked_, false), name() + ".Unlock without a lock");
}

HRESULT RecordingVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    HRESULT hr =
        log_.record("GetDesc", {}, name() + ".GetDesc()", desc ? D3D_OK : D3DERR_INVALIDCALL);
    if (FAILED(hr)) return hr;
    *desc = D3DVERTEXBUFFER_DESC{
        D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_, UINT(bytes_.size()), fvf_};
    return D3D_OK;
}

float RecordingVertexBuffer::floatAt(size_t byteOffset) const {
    float value = 0.0f;
    if (byteOffset + 4 > bytes_.size())
        ADD_FAILURE() << name() << ": float at " << byteOffset << " lies outside the buffer";
    else std::memcpy(&value, &bytes_[byteOffset], 4);
    return value;
}

D3DPRESENT_PARAMETERS RecordingDevice::defaultParams() {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = 800, p.BackBufferHeight = 600, p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1, p.SwapEffect = D3DSWAPEFFECT_DISCARD, p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE, p.AutoDepthStencilFormat = D3DFMT_D24S8;
    return p;
}

D3DCAPS8 RecordingDevice::defaultCaps() {
    D3DCAPS8 caps{};
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.MaxTextureWidth = caps.MaxTextureHeight = 2048;
    caps.MaxTextureBlendStages = caps.MaxSimultaneousTextures = 8;
    caps.MaxPrimitiveCount = caps.MaxVertexIndex = 0xFFFFFF;
    caps.MaxStreams = 16;
    return caps;
}

RecordingDevice::RecordingDevice(const D3DPRESENT_PARAMETERS& params, D3DCAPS8 caps)
    : Counted("device", *this, ""), params_(params), caps_(caps) {
    resetStates();
}

// Direct3D 8's initial states, which a Reset brings back.
void RecordingDevice::resetStates() {
    renderStates_ = {{D3DRS_ZENABLE, params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE},
                     {D3DRS_FILLMODE, D3DFILL_SOLID},
                     {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
                     {D3DRS_SRCBLEND, D3DBLEND_ONE},
                     {D3DRS_DESTBLEND, D3DBLEND_ZERO},
                     {D3DRS_CULLMODE, D3DCULL_CCW},
                     {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
                     {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
                     {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
                     {D3DRS_COLORWRITEENABLE, 0xF},
                     {D3DRS_BLENDOP, D3DBLENDOP_ADD}};
    for (auto state : {D3DRS_ZWRITEENABLE, D3DRS_CLIPPING, D3DRS_LIGHTING, D3DRS_COLORVERTEX,
                       D3DRS_MULTISAMPLEANTIALIAS})
        renderStates_[state] = TRUE;
    stageStates_.clear();
    for (DWORD stage = 0; stage < 8; ++stage) {
        auto set = [&](std::initializer_list<D3DTEXTURESTAGESTATETYPE> types, DWORD value) {
            for (auto type : types) stageStates_[{stage, type}] = value;
        };
        set({D3DTSS_COLOROP}, stage ? D3DTOP_DISABLE : D3DTOP_MODULATE);
        set({D3DTSS_ALPHAOP}, stage ? D3DTOP_DISABLE : D3DTOP_SELECTARG1);
        set({D3DTSS_COLORARG1, D3DTSS_ALPHAARG1}, D3DTA_TEXTURE);
        set({D3DTSS_COLORARG2, D3DTSS_ALPHAARG2, D3DTSS_COLORARG0, D3DTSS_ALPHAARG0,
             D3DTSS_RESULTARG},
            D3DTA_CURRENT);
        set({D3DTSS_TEXCOORDINDEX}, stage);
        set({D3DTSS_ADDRESSU, D3DTSS_ADDRESSV, D3DTSS_ADDRESSW}, D3DTADDRESS_WRAP);
        set({D3DTSS_MAGFILTER, D3DTSS_MINFILTER}, D3DTEXF_POINT);
        set({D3DTSS_MAXANISOTROPY}, 1);
    }
    transforms_.clear();
}

std::vector<std::string> RecordingDevice::leaks() const {
    std::vector<std::string> found;
    auto check = [&found](const RefCounted& object) {
        if (object.refCount() > 0)
            found.push_back(object.name() + " has " + str(object.refCount()) +
                            " reference(s) left");
    };
    for (const auto& texture : textures_) check(*texture);
    for (const auto& buffer : buffers_) check(*buffer);
    return found;
}

std::vector<std::string> RecordingDevice::referenceErrors() const {
    std::vector<std::string> errors = RefCounted::referenceErrors();
    auto add = [&errors](const RefCounted& object) {
        errors.insert(errors.end(), object.referenceErrors().begin(),
                      object.referenceErrors().end());
    };
    for (const auto& texture : textures_) add(*texture);
    for (const auto& buffer : buffers_) add(*buffer);
    return errors;
}

std::vector<std::string> RecordingDevice::stillLocked() const {
    std::vector<std::string> locked;
    for (const auto& texture : textures_)
        for (UINT level = 0; level < texture->levelCount(); ++level)
            if (texture->isLocked(level))
                locked.push_back(texture->name() + " level " + str(level));
    for (const auto& buffer : buffers_)
        if (buffer->isLocked()) locked.push_back(buffer->name());
    return locked;
}

std::vector<std::string> RecordingDevice::problems() const {
    std::vector<std::string> all = leaks();
    for (const auto& list : {referenceErrors(), stillLocked()})
        all.insert(all.end(), list.begin(), list.end());
    return all;
}

HRESULT RecordingDevice::TestCooperativeLevel() {
    if (cooperativeNext_ < cooperativeScript_.size())
        cooperation_ = cooperativeScript_[cooperativeNext_++];
    return record("TestCooperativeLevel", {}, "TestCooperativeLevel()", cooperation_);
}

HRESULT RecordingDevice::GetDeviceCaps(D3DCAPS8* caps) {
    HRESULT hr = record("GetDeviceCaps", {}, "GetDeviceCaps()", caps ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) *caps = caps_;
    return hr;
}

// Like the GL device: a lost device waits for its focus; any other failure
// leaves it waiting for a good Reset; no display shows an edge over 16384.
HRESULT RecordingDevice::Reset(D3DPRESENT_PARAMETERS* p) {
    HRESULT normal = p ? D3D_OK : D3DERR_INVALIDCALL;
    if (p && cooperation_ == D3DERR_DEVICELOST) normal = D3DERR_DEVICELOST;
    else if (p && std::max(p->BackBufferWidth, p->BackBufferHeight) > 16384)
        normal = D3DERR_NOTAVAILABLE;
    HRESULT hr = record("Reset", {}, "Reset()", normal);
    if (p && hr != D3DERR_DEVICELOST) cooperation_ = FAILED(hr) ? D3DERR_DEVICENOTRESET : D3D_OK;
    if (FAILED(hr)) return hr;
    params_ = *p;
    inScene_ = false;
    stream_ = nullptr;
    resetStates();
    return hr;
}

HRESULT RecordingDevice::Present(const RECT* sourceRect, const RECT* destRect,
                                 HWND destWindowOverride, const RGNDATA* dirtyRegion) {
    bool anyGiven = sourceRect || destRect || destWindowOverride || dirtyRegion;
    return record("Present", {}, anyGiven ? "Present(non-null)" : "Present()",
                  cooperation_ == D3D_OK ? D3D_OK : D3DERR_DEVICELOST);
}

HRESULT RecordingDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                       D3DFORMAT format, D3DPOOL pool,
                                       IDirect3DTexture8** texture) {
    const int id = int(textures_.size()) + 1;
    const bool valid = texture && width > 0 && height > 0 && width <= caps_.MaxTextureWidth &&
                       height <= caps_.MaxTextureHeight && texel_layout::BytesPerTexel(format) &&
                       !(usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) &&
                       pool != D3DPOOL_SCRATCH;
    HRESULT hr = record("CreateTexture", {width, height, levels, usage, format, pool},
                        call("CreateTexture", {str(width), str(height), str(levels), hex(usage),
                                               Name(kFormats, format), PoolName(pool)}) +
                            " -> tex#" + str(id),
                        valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (texture) *texture = nullptr;
    if (FAILED(hr)) return hr;
    textures_.push_back(
        std::make_unique<RecordingTexture>(*this, id, width, height, levels, usage, format, pool));
    *texture = textures_.back().get();
    return hr;
}

HRESULT RecordingDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                            IDirect3DVertexBuffer8** vertexBuffer) {
    const int id = int(buffers_.size()) + 1;
    const bool valid = vertexBuffer && length > 0 && pool != D3DPOOL_SCRATCH;
    HRESULT hr =
        record("CreateVertexBuffer", {length, usage, fvf, pool},
               call("CreateVertexBuffer", {str(length), hex(usage), hex(fvf), PoolName(pool)}) +
                   " -> vb#" + str(id),
               valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (vertexBuffer) *vertexBuffer = nullptr;
    if (FAILED(hr)) return hr;
    buffers_.push_back(
        std::make_unique<RecordingVertexBuffer>(*this, id, length, usage, fvf, pool));
    *vertexBuffer = buffers_.back().get();
    return hr;
}

HRESULT RecordingDevice::BeginScene() {
    HRESULT hr = record("BeginScene", {}, "BeginScene()", inScene_ ? D3DERR_INVALIDCALL : D3D_OK);
    if (SUCCEEDED(hr)) inScene_ = true;
    return hr;
}

HRESULT RecordingDevice::EndScene() {
    HRESULT hr = record("EndScene", {}, "EndScene()", inScene_ ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) inScene_ = false;
    return hr;
}

HRESULT RecordingDevice::Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                               float z, DWORD stencil) {
    std::ostringstream zText;
    zText << z;
    std::vector<std::string> shown = {str(rectCount), hex(flags), hex(color), zText.str(),
                                      str(stencil)};
    if (rects) shown.push_back("rects");
    return record("Clear", {rectCount, flags, color, stencil}, call("Clear", shown));
}

HRESULT RecordingDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    HRESULT hr = record("SetTransform", {state},
                        call("SetTransform", {str(state), matrix ? matrixText(*matrix) : "null"}),
                        matrix && KnownTransform(state) ? D3D_OK : D3DERR_INVALIDCALL);
    if (matrix) last().floats.assign(&matrix->m[0][0], &matrix->m[0][0] + 16);
    if (SUCCEEDED(hr)) transforms_[state] = *matrix;
    return hr;
}

HRESULT RecordingDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    HRESULT hr = record("GetTransform", {state}, call("GetTransform", {str(state)}),
                        matrix && KnownTransform(state) ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) *matrix = transform(state);
    return hr;
}

HRESULT RecordingDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    HRESULT hr = record("SetRenderState", {state, value},
                        call("SetRenderState", {Name(kRenderStates, state), str(value)}),
                        state > 0 && state < 256 ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) renderStates_[state] = value;
    return hr;
}

HRESULT RecordingDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    HRESULT hr = record("GetRenderState", {state},
                        call("GetRenderState", {Name(kRenderStates, state)}),
                        value && state > 0 && state < 256 ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) *value = renderStates_.count(state) ? renderStates_.at(state) : 0;
    return hr;
}

HRESULT RecordingDevice::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    std::string name = texture ? "tex#?" : "null";
    for (const auto& own : textures_)
        if (static_cast<IDirect3DBaseTexture8*>(own.get()) == texture) name = own->name();
    const std::string text = call("SetTexture", {str(stage), name});
    return record("SetTexture", {stage}, text,
                  stage < 8 ? refuseUnless(name != "tex#?", text) : D3DERR_INVALIDCALL);
}

HRESULT RecordingDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                              DWORD value) {
    HRESULT hr = record("SetTextureStageState", {stage, type, value},
                        call("SetTextureStageState", {str(stage), str(type), str(value)}),
                        stage < 8 && type > 0 && type < 32 ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) stageStates_[{stage, type}] = value;
    return hr;
}

HRESULT RecordingDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                              DWORD* value) {
    HRESULT hr = record("GetTextureStageState", {stage, type},
                        call("GetTextureStageState", {str(stage), str(type)}),
                        value && stage < 8 && type > 0 && type < 32 ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) *value = stageState(stage, type);
    return hr;
}

HRESULT RecordingDevice::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                       UINT primitiveCount) {
    const uint64_t room = stream_ && stride_ ? stream_->bytes().size() / stride_ : 0;
    const char* misuse = !inScene_  ? " outside a scene"
                         : !stream_ ? " without a stream"
                         : startVertex + VerticesRead(primitiveType, primitiveCount) > room
                             ? " past the end of its stream"
                             : "";
    const std::string text =
        call("DrawPrimitive", {str(primitiveType), str(startVertex), str(primitiveCount)});
    return record("DrawPrimitive", {primitiveType, startVertex, primitiveCount}, text,
                  refuseUnless(!*misuse, text + misuse));
}

HRESULT RecordingDevice::SetVertexShader(DWORD handle) {
    return record("SetVertexShader", {handle}, call("SetVertexShader", {hex(handle)}));
}

HRESULT RecordingDevice::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData,
                                         UINT stride) {
    RecordingVertexBuffer* own = nullptr;
    std::string name = streamData ? "vb#?" : "null";
    for (const auto& buffer : buffers_)
        if (buffer.get() == streamData) own = buffer.get(), name = own->name();
    const std::string text = call("SetStreamSource", {str(streamNumber), name, str(stride)});
    HRESULT hr = record("SetStreamSource", {streamNumber, stride}, text,
                        refuseUnless(streamNumber == 0 && (own || !streamData), text));
    if (SUCCEEDED(hr)) stream_ = own, stride_ = stride;
    return hr;
}

D3DMATRIX RecordingDevice::transform(D3DTRANSFORMSTATETYPE state) const {
    return transforms_.count(state) ? transforms_.at(state) : kIdentity;
}

UINT RecordingDirect3D::GetAdapterCount() {
    record("GetAdapterCount", {}, "GetAdapterCount()");
    return adapterCount_;
}

HRESULT RecordingDirect3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) {
    HRESULT hr = record("GetDeviceCaps", {adapter, deviceType},
                        call("GetDeviceCaps", {str(adapter), DeviceType(deviceType)}),
                        adapter < adapterCount_ && caps ? D3D_OK : D3DERR_INVALIDCALL);
    if (FAILED(hr)) return hr;
    *caps = RecordingDevice::defaultCaps();
    caps->DeviceType = deviceType;
    caps->AdapterOrdinal = adapter;
    return hr;
}

HRESULT RecordingDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND,
                                        DWORD behaviorFlags,
                                        D3DPRESENT_PARAMETERS* presentParameters,
                                        IDirect3DDevice8** returnedDevice) {
    requests_.push_back(DeviceRequest{adapter, deviceType, behaviorFlags, {}});
    if (presentParameters) requests_.back().params = *presentParameters;
    const bool valid = adapter < adapterCount_ && presentParameters && returnedDevice;
    HRESULT hr =
        record("CreateDevice", {adapter, deviceType, behaviorFlags},
               call("CreateDevice", {str(adapter), DeviceType(deviceType), hex(behaviorFlags)}),
               valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (returnedDevice) *returnedDevice = nullptr;
    if (FAILED(hr)) return hr;
    D3DCAPS8 caps = RecordingDevice::defaultCaps();
    caps.AdapterOrdinal = adapter;
    caps.DeviceType = deviceType;
    devices_.push_back(std::make_unique<RecordingDevice>(*presentParameters, caps));
    *returnedDevice = devices_.back().get();
    return hr;
}

}  // namespace tundra_test
