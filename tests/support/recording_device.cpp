#include "support/recording_device.h"

#include "platform/d3dx/texel_size.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace tundra_test {

namespace {

std::string hex(uint32_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

std::string joinArgs(const std::vector<std::string>& parts) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += ", ";
        text += parts[i];
    }
    return text;
}

RecordedCall MakeCall(const std::string& name, std::vector<uint32_t> args, std::vector<int> objects,
                      const std::vector<std::string>& shown,
                      const std::string& prefix = std::string()) {
    RecordedCall call;
    call.name = name;
    call.args = std::move(args);
    call.objects = std::move(objects);
    call.text = prefix + name + "(" + joinArgs(shown) + ")";
    return call;
}

std::string matrixText(const D3DMATRIX& m) {
    std::ostringstream out;
    out << "[";
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            if (column > 0) out << " ";
            out << m.m[row][column];
        }
        if (row < 3) out << "; ";
    }
    out << "]";
    return out.str();
}

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

struct Named {
    DWORD value;
    const char* name;
};

std::string lookUp(const Named* table, size_t size, DWORD value) {
    for (size_t i = 0; i < size; ++i)
        if (table[i].value == value) return table[i].name;
    return std::to_string(value);
}

// Stage states Direct3D 8 starts a device with, stage by stage.
DWORD DefaultStageState(DWORD stage, DWORD type) {
    switch (type) {
        case D3DTSS_COLOROP: return stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        case D3DTSS_ALPHAOP: return stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        case D3DTSS_COLORARG1:
        case D3DTSS_ALPHAARG1: return D3DTA_TEXTURE;
        case D3DTSS_COLORARG2:
        case D3DTSS_ALPHAARG2: return D3DTA_CURRENT;
        case D3DTSS_TEXCOORDINDEX: return stage;
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV:
        case D3DTSS_ADDRESSW: return D3DTADDRESS_WRAP;
        case D3DTSS_MAGFILTER:
        case D3DTSS_MINFILTER: return D3DTEXF_POINT;
        case D3DTSS_MAXANISOTROPY: return 1;
        default: return 0;
    }
}

}  // namespace

std::string RenderStateName(DWORD state) {
    static const Named table[] = {
        {D3DRS_ZENABLE, "ZENABLE"},
        {D3DRS_FILLMODE, "FILLMODE"},
        {D3DRS_SHADEMODE, "SHADEMODE"},
        {D3DRS_ZWRITEENABLE, "ZWRITEENABLE"},
        {D3DRS_ALPHATESTENABLE, "ALPHATESTENABLE"},
        {D3DRS_SRCBLEND, "SRCBLEND"},
        {D3DRS_DESTBLEND, "DESTBLEND"},
        {D3DRS_CULLMODE, "CULLMODE"},
        {D3DRS_ZFUNC, "ZFUNC"},
        {D3DRS_ALPHAREF, "ALPHAREF"},
        {D3DRS_ALPHAFUNC, "ALPHAFUNC"},
        {D3DRS_DITHERENABLE, "DITHERENABLE"},
        {D3DRS_ALPHABLENDENABLE, "ALPHABLENDENABLE"},
        {D3DRS_FOGENABLE, "FOGENABLE"},
        {D3DRS_SPECULARENABLE, "SPECULARENABLE"},
        {D3DRS_STENCILENABLE, "STENCILENABLE"},
        {D3DRS_TEXTUREFACTOR, "TEXTUREFACTOR"},
        {D3DRS_CLIPPING, "CLIPPING"},
        {D3DRS_LIGHTING, "LIGHTING"},
        {D3DRS_AMBIENT, "AMBIENT"},
        {D3DRS_COLORVERTEX, "COLORVERTEX"},
        {D3DRS_NORMALIZENORMALS, "NORMALIZENORMALS"},
        {D3DRS_MULTISAMPLEANTIALIAS, "MULTISAMPLEANTIALIAS"},
        {D3DRS_COLORWRITEENABLE, "COLORWRITEENABLE"},
        {D3DRS_BLENDOP, "BLENDOP"},
    };
    return lookUp(table, sizeof table / sizeof table[0], state);
}

std::string StageStateName(DWORD type) {
    static const Named table[] = {
        {D3DTSS_COLOROP, "COLOROP"},
        {D3DTSS_COLORARG1, "COLORARG1"},
        {D3DTSS_COLORARG2, "COLORARG2"},
        {D3DTSS_ALPHAOP, "ALPHAOP"},
        {D3DTSS_ALPHAARG1, "ALPHAARG1"},
        {D3DTSS_ALPHAARG2, "ALPHAARG2"},
        {D3DTSS_TEXCOORDINDEX, "TEXCOORDINDEX"},
        {D3DTSS_ADDRESSU, "ADDRESSU"},
        {D3DTSS_ADDRESSV, "ADDRESSV"},
        {D3DTSS_BORDERCOLOR, "BORDERCOLOR"},
        {D3DTSS_MAGFILTER, "MAGFILTER"},
        {D3DTSS_MINFILTER, "MINFILTER"},
        {D3DTSS_MIPFILTER, "MIPFILTER"},
        {D3DTSS_MIPMAPLODBIAS, "MIPMAPLODBIAS"},
        {D3DTSS_MAXMIPLEVEL, "MAXMIPLEVEL"},
        {D3DTSS_MAXANISOTROPY, "MAXANISOTROPY"},
        {D3DTSS_TEXTURETRANSFORMFLAGS, "TEXTURETRANSFORMFLAGS"},
        {D3DTSS_ADDRESSW, "ADDRESSW"},
        {D3DTSS_COLORARG0, "COLORARG0"},
        {D3DTSS_ALPHAARG0, "ALPHAARG0"},
        {D3DTSS_RESULTARG, "RESULTARG"},
    };
    return lookUp(table, sizeof table / sizeof table[0], type);
}

std::string TransformName(DWORD state) {
    static const Named table[] = {
        {D3DTS_VIEW, "VIEW"},         {D3DTS_PROJECTION, "PROJECTION"},
        {D3DTS_TEXTURE0, "TEXTURE0"}, {D3DTS_TEXTURE1, "TEXTURE1"},
        {D3DTS_WORLD, "WORLD"},
    };
    return lookUp(table, sizeof table / sizeof table[0], state);
}

std::string FormatName(DWORD format) {
    static const Named table[] = {
        {D3DFMT_UNKNOWN, "UNKNOWN"},
        {D3DFMT_R8G8B8, "R8G8B8"},
        {D3DFMT_A8R8G8B8, "A8R8G8B8"},
        {D3DFMT_X8R8G8B8, "X8R8G8B8"},
        {D3DFMT_R5G6B5, "R5G6B5"},
        {D3DFMT_X1R5G5B5, "X1R5G5B5"},
        {D3DFMT_A1R5G5B5, "A1R5G5B5"},
        {D3DFMT_A4R4G4B4, "A4R4G4B4"},
        {D3DFMT_A8, "A8"},
        {D3DFMT_X4R4G4B4, "X4R4G4B4"},
        {D3DFMT_L8, "L8"},
        {D3DFMT_D16_LOCKABLE, "D16_LOCKABLE"},
        {D3DFMT_D32, "D32"},
        {D3DFMT_D15S1, "D15S1"},
        {D3DFMT_D24S8, "D24S8"},
        {D3DFMT_D16, "D16"},
        {D3DFMT_D24X8, "D24X8"},
        {D3DFMT_D24X4S4, "D24X4S4"},
    };
    return lookUp(table, sizeof table / sizeof table[0], format);
}

std::string PoolName(DWORD pool) {
    static const Named table[] = {
        {D3DPOOL_DEFAULT, "DEFAULT"},
        {D3DPOOL_MANAGED, "MANAGED"},
        {D3DPOOL_SYSTEMMEM, "SYSTEMMEM"},
        {D3DPOOL_SCRATCH, "SCRATCH"},
    };
    return lookUp(table, sizeof table / sizeof table[0], pool);
}

// --- RecordedCall, CallRecorder, RefCounted ----------------------------------

D3DMATRIX RecordedCall::matrix() const {
    D3DMATRIX m = IdentityMatrix();
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

std::vector<std::string> CallRecorder::callTexts() const {
    std::vector<std::string> texts;
    for (const RecordedCall& call : calls_) texts.push_back(call.text);
    return texts;
}

std::vector<std::string> CallRecorder::callTexts(const std::string& name) const {
    std::vector<std::string> texts;
    for (const RecordedCall& call : calls_)
        if (call.name == name) texts.push_back(call.text);
    return texts;
}

size_t CallRecorder::count(const std::string& name) const {
    size_t n = 0;
    for (const RecordedCall& call : calls_)
        if (call.name == name) ++n;
    return n;
}

void CallRecorder::failCalls(const std::string& method, HRESULT result, unsigned skip,
                             unsigned times) {
    failures_[method] = Failure{result, skip, times};
}

HRESULT CallRecorder::record(RecordedCall call, HRESULT normal) {
    HRESULT result = normal;
    auto found = failures_.find(call.name);
    if (found != failures_.end()) {
        Failure& failure = found->second;
        if (failure.skip > 0) {
            --failure.skip;
        } else if (failure.times > 0) {
            --failure.times;
            result = failure.result;
        }
    }
    call.result = result;
    calls_.push_back(std::move(call));
    return result;
}

void CallRecorder::setLastResult(HRESULT result) {
    if (!calls_.empty()) calls_.back().result = result;
}

void CallRecorder::markCreationFailed() {
    if (calls_.empty()) return;
    RecordedCall& last = calls_.back();
    if (!last.objects.empty()) last.objects.back() = 0;
    last.text = last.text.substr(0, last.text.rfind(" -> ")) + " -> failed";
}

ULONG RefCounted::release() {
    ULONG left = 0;
    if (!refs_.drop(left)) errors_.push_back("Release of " + name_ + " with no reference left");
    return left;
}

// --- RecordingTexture --------------------------------------------------------


namespace {
const BYTE kPadding = 0xCD;
// Extra bytes at the end of every row, so that pitch != width × texel size.
const UINT kRowGap = 12;
}  // namespace

RecordingTexture::RecordingTexture(RecordingDevice& device, int id, UINT width, UINT height,
                                   UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : RefCounted("tex#" + std::to_string(id)),
      device_(device),
      id_(id),
      usage_(usage),
      format_(format),
      pool_(pool) {
    const UINT fullChain = tundra_d3dx::MipChainLength(width, height);
    if (levels == 0 || levels > fullChain) levels = fullChain;
    for (UINT level = 0; level < levels; ++level) {
        Level l;
        l.width = width >> level ? width >> level : 1;
        l.height = height >> level ? height >> level : 1;
        UINT rowBytes = l.width * tundra_d3dx::BytesPerTexel(format);
        l.pitch = (rowBytes + 3) / 4 * 4 + kRowGap;
        l.bytes.assign(size_t(l.pitch) * l.height, kPadding);
        for (UINT y = 0; y < l.height; ++y) std::memset(&l.bytes[size_t(y) * l.pitch], 0, rowBytes);
        levels_.push_back(std::move(l));
    }
}

ULONG RecordingTexture::AddRef() {
    ULONG refs = addRef();
    device_.record(MakeCall("AddRef", {}, {id_}, {}, name() + "."));
    return refs;
}

ULONG RecordingTexture::Release() {
    ULONG refs = release();
    RecordedCall call = MakeCall("Release", {}, {id_}, {}, name() + ".");
    call.text += " -> " + std::to_string(refs);
    device_.record(call);
    return refs;
}

HRESULT RecordingTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    HRESULT hr = device_.record(
        MakeCall("GetLevelDesc", {level}, {id_}, {std::to_string(level)}, name() + "."));
    if (FAILED(hr)) return hr;
    if (level >= levels_.size() || !desc) {
        device_.setLastResult(D3DERR_INVALIDCALL);
        return D3DERR_INVALIDCALL;
    }
    desc->Format = format_;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Size = static_cast<UINT>(levels_[level].bytes.size());
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->Width = levels_[level].width;
    desc->Height = levels_[level].height;
    return D3D_OK;
}

HRESULT RecordingTexture::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                                   DWORD flags) {
    std::string area = rect ? "[" + std::to_string(rect->left) + "," + std::to_string(rect->top) +
                                  "," + std::to_string(rect->right) + "," +
                                  std::to_string(rect->bottom) + "]"
                            : "whole";
    HRESULT hr = device_.record(MakeCall("LockRect", {level, flags}, {id_},
                                         {std::to_string(level), area, hex(flags)}, name() + "."));
    if (FAILED(hr)) return hr;
    if (level >= levels_.size() || !lockedRect || levels_[level].locked) {
        device_.noteError(name() + ".LockRect(" + std::to_string(level) +
                          "): bad level, no record or already locked");
        device_.setLastResult(D3DERR_INVALIDCALL);
        return D3DERR_INVALIDCALL;
    }
    Level& l = levels_[level];
    size_t offset = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > LONG(l.width) ||
            rect->bottom > LONG(l.height) || rect->left >= rect->right ||
            rect->top >= rect->bottom) {
            device_.setLastResult(D3DERR_INVALIDCALL);
            return D3DERR_INVALIDCALL;
        }
        offset = size_t(rect->top) * l.pitch +
                 size_t(rect->left) * tundra_d3dx::BytesPerTexel(format_);
    }
    l.locked = true;
    lockedRect->Pitch = static_cast<INT>(l.pitch);
    lockedRect->pBits = l.bytes.data() + offset;
    return D3D_OK;
}

HRESULT RecordingTexture::UnlockRect(UINT level) {
    device_.record(MakeCall("UnlockRect", {level}, {id_}, {std::to_string(level)}, name() + "."));
    if (level >= levels_.size() || !levels_[level].locked) {
        device_.noteError(name() + ".UnlockRect(" + std::to_string(level) + ") without a lock");
        device_.setLastResult(D3DERR_INVALIDCALL);
        return D3DERR_INVALIDCALL;
    }
    levels_[level].locked = false;
    return D3D_OK;
}

const BYTE* RecordingTexture::row(UINT level, UINT y) const {
    const Level& l = levels_.at(level);
    if (y >= l.height) throw std::out_of_range("texture row");
    return &l.bytes[size_t(y) * l.pitch];
}

uint32_t RecordingTexture::texel(UINT level, UINT x, UINT y) const {
    if (tundra_d3dx::BytesPerTexel(format_) != 4 || x >= width(level))
        throw std::out_of_range("32-bit texel");
    uint32_t value;
    std::memcpy(&value, row(level, y) + size_t(x) * 4, 4);
    return value;
}

uint16_t RecordingTexture::texel16(UINT level, UINT x, UINT y) const {
    if (tundra_d3dx::BytesPerTexel(format_) != 2 || x >= width(level))
        throw std::out_of_range("16-bit texel");
    uint16_t value;
    std::memcpy(&value, row(level, y) + size_t(x) * 2, 2);
    return value;
}

bool RecordingTexture::paddingIntact() const {
    for (const Level& l : levels_) {
        size_t rowBytes = size_t(l.width) * tundra_d3dx::BytesPerTexel(format_);
        for (UINT y = 0; y < l.height; ++y)
            for (size_t i = rowBytes; i < l.pitch; ++i)
                if (l.bytes[size_t(y) * l.pitch + i] != kPadding) return false;
    }
    return true;
}

// --- RecordingVertexBuffer ---------------------------------------------------

RecordingVertexBuffer::RecordingVertexBuffer(RecordingDevice& device, int id, UINT length,
                                             DWORD usage, DWORD fvf, D3DPOOL pool)
    : RefCounted("vb#" + std::to_string(id)),
      device_(device),
      id_(id),
      usage_(usage),
      fvf_(fvf),
      pool_(pool),
      bytes_(length, 0) {}

ULONG RecordingVertexBuffer::AddRef() {
    ULONG refs = addRef();
    device_.record(MakeCall("AddRef", {}, {id_}, {}, name() + "."));
    return refs;
}

ULONG RecordingVertexBuffer::Release() {
    ULONG refs = release();
    RecordedCall call = MakeCall("Release", {}, {id_}, {}, name() + ".");
    call.text += " -> " + std::to_string(refs);
    device_.record(call);
    return refs;
}

HRESULT RecordingVertexBuffer::Lock(UINT offsetToLock, UINT sizeToLock, BYTE** data, DWORD flags) {
    HRESULT hr = device_.record(MakeCall(
        "Lock", {offsetToLock, sizeToLock, flags}, {id_},
        {std::to_string(offsetToLock), std::to_string(sizeToLock), hex(flags)}, name() + "."));
    if (FAILED(hr)) return hr;
    UINT size = sizeToLock == 0
                    ? UINT(bytes_.size()) - std::min<UINT>(offsetToLock, UINT(bytes_.size()))
                    : sizeToLock;
    if (!data || locked_ || size_t(offsetToLock) + size > bytes_.size()) {
        device_.noteError(name() + ".Lock: no pointer, range outside the buffer or already locked");
        device_.setLastResult(D3DERR_INVALIDCALL);
        return D3DERR_INVALIDCALL;
    }
    locked_ = true;
    *data = bytes_.data() + offsetToLock;
    return D3D_OK;
}

HRESULT RecordingVertexBuffer::Unlock() {
    device_.record(MakeCall("Unlock", {}, {id_}, {}, name() + "."));
    if (!locked_) {
        device_.noteError(name() + ".Unlock without a lock");
        device_.setLastResult(D3DERR_INVALIDCALL);
        return D3DERR_INVALIDCALL;
    }
    locked_ = false;
    return D3D_OK;
}

HRESULT RecordingVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    HRESULT hr = device_.record(MakeCall("GetDesc", {}, {id_}, {}, name() + "."));
    if (FAILED(hr)) return hr;
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = D3DFMT_VERTEXDATA;
    desc->Type = D3DRTYPE_VERTEXBUFFER;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Size = static_cast<UINT>(bytes_.size());
    desc->FVF = fvf_;
    return D3D_OK;
}

float RecordingVertexBuffer::floatAt(size_t byteOffset) const {
    if (byteOffset + 4 > bytes_.size()) {
        ADD_FAILURE() << name() << ": float at " << byteOffset << " lies outside the buffer";
        return 0.0f;
    }
    float value;
    std::memcpy(&value, &bytes_[byteOffset], 4);
    return value;
}

// --- RecordingDevice ----------------------------------------------------------

D3DPRESENT_PARAMETERS RecordingDevice::defaultParams() {
    D3DPRESENT_PARAMETERS params;
    std::memset(&params, 0, sizeof params);
    params.BackBufferWidth = 800;
    params.BackBufferHeight = 600;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    return params;
}

D3DCAPS8 RecordingDevice::defaultCaps() {
    D3DCAPS8 caps;
    std::memset(&caps, 0, sizeof caps);
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.MaxTextureWidth = caps.MaxTextureHeight = 2048;
    caps.MaxTextureBlendStages = caps.MaxSimultaneousTextures = 8;
    caps.MaxPrimitiveCount = caps.MaxVertexIndex = 0xFFFFFF;
    caps.MaxStreams = 16;
    return caps;
}

RecordingDevice::RecordingDevice(const D3DPRESENT_PARAMETERS& params, D3DCAPS8 caps)
    : RefCounted("device"), params_(params), caps_(caps) {
    renderStates_[D3DRS_ZENABLE] = params.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    renderStates_[D3DRS_FILLMODE] = 3;   // solid
    renderStates_[D3DRS_SHADEMODE] = 2;  // Gouraud
    renderStates_[D3DRS_ZWRITEENABLE] = TRUE;
    renderStates_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    renderStates_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
    renderStates_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    renderStates_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    renderStates_[D3DRS_CLIPPING] = TRUE;
    renderStates_[D3DRS_LIGHTING] = TRUE;
    renderStates_[D3DRS_COLORVERTEX] = TRUE;
    renderStates_[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    renderStates_[D3DRS_COLORWRITEENABLE] = 0xF;
    renderStates_[D3DRS_BLENDOP] = 1;  // add
}

RecordingDevice::~RecordingDevice() = default;

void RecordingDevice::scriptCooperativeLevel(std::vector<HRESULT> results) {
    cooperativeScript_ = std::move(results);
    cooperativeNext_ = 0;
}

RecordingTexture* RecordingDevice::texture(int id) const {
    if (id < 1 || size_t(id) > textures_.size()) return nullptr;
    return textures_[id - 1].get();
}

RecordingVertexBuffer* RecordingDevice::vertexBuffer(int id) const {
    if (id < 1 || size_t(id) > buffers_.size()) return nullptr;
    return buffers_[id - 1].get();
}

std::vector<std::string> RecordingDevice::leaks() const {
    std::vector<std::string> found;
    auto check = [&found](const RefCounted& object) {
        if (object.refCount() > 0)
            found.push_back(object.name() + " has " + std::to_string(object.refCount()) +
                            " reference(s) left");
    };
    for (const auto& texture : textures_) check(*texture);
    for (const auto& buffer : buffers_) check(*buffer);
    return found;
}

std::vector<std::string> RecordingDevice::referenceErrors() const {
    std::vector<std::string> errors = RefCounted::referenceErrors();
    for (const auto& texture : textures_)
        errors.insert(errors.end(), texture->referenceErrors().begin(),
                      texture->referenceErrors().end());
    for (const auto& buffer : buffers_)
        errors.insert(errors.end(), buffer->referenceErrors().begin(),
                      buffer->referenceErrors().end());
    errors.insert(errors.end(), extraErrors_.begin(), extraErrors_.end());
    return errors;
}

std::vector<std::string> RecordingDevice::stillLocked() const {
    std::vector<std::string> locked;
    for (const auto& texture : textures_)
        for (UINT level = 0; level < texture->levelCount(); ++level)
            if (texture->isLocked(level))
                locked.push_back(texture->name() + " level " + std::to_string(level));
    for (const auto& buffer : buffers_)
        if (buffer->isLocked()) locked.push_back(buffer->name());
    return locked;
}

std::string RecordingDevice::nameOf(IDirect3DBaseTexture8* texture) const {
    if (!texture) return "null";
    for (const auto& own : textures_)
        if (static_cast<IDirect3DBaseTexture8*>(own.get()) == texture) return own->name();
    return "tex#?";
}

std::string RecordingDevice::nameOf(IDirect3DVertexBuffer8* buffer) const {
    if (!buffer) return "null";
    for (const auto& own : buffers_)
        if (own.get() == buffer) return own->name();
    return "vb#?";
}

namespace {
int IdOf(const std::string& name) {
    size_t hash = name.find('#');
    if (hash == std::string::npos || name.compare(hash + 1, 1, "?") == 0)
        return name == "null" ? 0 : -1;
    return std::stoi(name.substr(hash + 1));
}
}  // namespace

ULONG RecordingDevice::AddRef() {
    record(MakeCall("AddRef", {}, {}, {}));
    return addRef();
}

ULONG RecordingDevice::Release() {
    ULONG refs = release();
    RecordedCall call = MakeCall("Release", {}, {}, {});
    call.text += " -> " + std::to_string(refs);
    record(call);
    return refs;
}

HRESULT RecordingDevice::TestCooperativeLevel() {
    HRESULT scripted = D3D_OK;
    if (cooperativeNext_ < cooperativeScript_.size())
        scripted = cooperativeScript_[cooperativeNext_++];
    return record(MakeCall("TestCooperativeLevel", {}, {}, {}), scripted);
}

HRESULT RecordingDevice::GetDeviceCaps(D3DCAPS8* caps) {
    HRESULT hr = record(MakeCall("GetDeviceCaps", {}, {}, {}));
    if (SUCCEEDED(hr) && caps) *caps = caps_;
    return hr;
}

HRESULT RecordingDevice::Reset(D3DPRESENT_PARAMETERS* presentParameters) {
    HRESULT hr = record(MakeCall("Reset", {}, {}, {}));
    if (SUCCEEDED(hr) && presentParameters) params_ = *presentParameters;
    return hr;
}

HRESULT RecordingDevice::Present(const RECT* sourceRect, const RECT* destRect,
                                 HWND destWindowOverride, const RGNDATA* dirtyRegion) {
    bool anyGiven = sourceRect || destRect || destWindowOverride || dirtyRegion;
    return record(
        MakeCall("Present", {}, {},
                 anyGiven ? std::vector<std::string>{"non-null"} : std::vector<std::string>{}));
}

HRESULT RecordingDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                       D3DFORMAT format, D3DPOOL pool,
                                       IDirect3DTexture8** texture) {
    RecordedCall call =
        MakeCall("CreateTexture", {width, height, levels, usage, format, pool}, {},
                 {std::to_string(width), std::to_string(height), std::to_string(levels), hex(usage),
                  FormatName(format), PoolName(pool)});
    bool valid = texture && width > 0 && height > 0 && width <= caps_.MaxTextureWidth &&
                 height <= caps_.MaxTextureHeight && tundra_d3dx::BytesPerTexel(format) > 0;
    int id = int(textures_.size()) + 1;
    call.objects.push_back(id);
    call.text += " -> tex#" + std::to_string(id);
    HRESULT hr = record(call, valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (FAILED(hr)) {
        markCreationFailed();
        if (texture) *texture = nullptr;
        return hr;
    }
    textures_.push_back(
        std::make_unique<RecordingTexture>(*this, id, width, height, levels, usage, format, pool));
    *texture = textures_.back().get();
    return hr;
}

HRESULT RecordingDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                            IDirect3DVertexBuffer8** vertexBuffer) {
    RecordedCall call = MakeCall("CreateVertexBuffer", {length, usage, fvf, pool}, {},
                                 {std::to_string(length), hex(usage), hex(fvf), PoolName(pool)});
    int id = int(buffers_.size()) + 1;
    call.objects.push_back(id);
    call.text += " -> vb#" + std::to_string(id);
    bool valid = vertexBuffer && length > 0;
    HRESULT hr = record(call, valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (FAILED(hr)) {
        markCreationFailed();
        if (vertexBuffer) *vertexBuffer = nullptr;
        return hr;
    }
    buffers_.push_back(
        std::make_unique<RecordingVertexBuffer>(*this, id, length, usage, fvf, pool));
    *vertexBuffer = buffers_.back().get();
    return hr;
}

HRESULT RecordingDevice::BeginScene() {
    HRESULT hr = record(MakeCall("BeginScene", {}, {}, {}), inScene_ ? D3DERR_INVALIDCALL : D3D_OK);
    if (SUCCEEDED(hr)) inScene_ = true;
    return hr;
}

HRESULT RecordingDevice::EndScene() {
    HRESULT hr = record(MakeCall("EndScene", {}, {}, {}), inScene_ ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) inScene_ = false;
    return hr;
}

HRESULT RecordingDevice::Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                               float z, DWORD stencil) {
    std::ostringstream zText;
    zText << z;
    RecordedCall call = MakeCall(
        "Clear", {rectCount, flags, color, stencil}, {},
        {std::to_string(rectCount), hex(flags), hex(color), zText.str(), std::to_string(stencil)});
    if (rects) call.text.insert(call.text.size() - 1, ", rects");
    call.floats.push_back(z);
    return record(call);
}

HRESULT RecordingDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    RecordedCall call = MakeCall("SetTransform", {state}, {},
                                 {TransformName(state), matrix ? matrixText(*matrix) : "null"});
    if (matrix) call.floats.assign(&matrix->m[0][0], &matrix->m[0][0] + 16);
    HRESULT hr = record(call, matrix ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) transforms_[state] = *matrix;
    return hr;
}

HRESULT RecordingDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    HRESULT hr = record(MakeCall("GetTransform", {state}, {}, {TransformName(state)}));
    if (SUCCEEDED(hr) && matrix) *matrix = transform(state);
    return hr;
}

HRESULT RecordingDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    HRESULT hr = record(MakeCall("SetRenderState", {state, value}, {},
                                 {RenderStateName(state), std::to_string(value)}));
    if (SUCCEEDED(hr)) renderStates_[state] = value;
    return hr;
}

HRESULT RecordingDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    HRESULT hr = record(MakeCall("GetRenderState", {state}, {}, {RenderStateName(state)}));
    if (SUCCEEDED(hr) && value) *value = renderState(state);
    return hr;
}

HRESULT RecordingDevice::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    std::string name = nameOf(texture);
    HRESULT hr =
        record(MakeCall("SetTexture", {stage}, {IdOf(name)}, {std::to_string(stage), name}));
    if (SUCCEEDED(hr)) boundTextures_[stage] = texture;
    return hr;
}

HRESULT RecordingDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                              DWORD value) {
    HRESULT hr =
        record(MakeCall("SetTextureStageState", {stage, type, value}, {},
                        {std::to_string(stage), StageStateName(type), std::to_string(value)}));
    if (SUCCEEDED(hr)) stageStates_[{stage, type}] = value;
    return hr;
}

HRESULT RecordingDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                              DWORD* value) {
    HRESULT hr = record(MakeCall("GetTextureStageState", {stage, type}, {},
                                 {std::to_string(stage), StageStateName(type)}));
    if (SUCCEEDED(hr) && value) *value = stageState(stage, type);
    return hr;
}

HRESULT RecordingDevice::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                       UINT primitiveCount) {
    if (!inScene_) ++drawsOutsideScene_;
    return record(MakeCall("DrawPrimitive", {primitiveType, startVertex, primitiveCount}, {},
                           {std::to_string(primitiveType), std::to_string(startVertex),
                            std::to_string(primitiveCount)}));
}

HRESULT RecordingDevice::SetVertexShader(DWORD handle) {
    return record(MakeCall("SetVertexShader", {handle}, {}, {hex(handle)}));
}

HRESULT RecordingDevice::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData,
                                         UINT stride) {
    std::string name = nameOf(streamData);
    return record(MakeCall("SetStreamSource", {streamNumber, stride}, {IdOf(name)},
                           {std::to_string(streamNumber), name, std::to_string(stride)}));
}

IDirect3DBaseTexture8* RecordingDevice::boundTexture(DWORD stage) const {
    auto found = boundTextures_.find(stage);
    return found == boundTextures_.end() ? nullptr : found->second;
}

D3DMATRIX RecordingDevice::transform(D3DTRANSFORMSTATETYPE state) const {
    auto found = transforms_.find(state);
    return found == transforms_.end() ? IdentityMatrix() : found->second;
}

DWORD RecordingDevice::renderState(D3DRENDERSTATETYPE state) const {
    auto found = renderStates_.find(state);
    return found == renderStates_.end() ? 0 : found->second;
}

DWORD RecordingDevice::stageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) const {
    auto found = stageStates_.find({stage, type});
    return found == stageStates_.end() ? DefaultStageState(stage, type) : found->second;
}

// --- RecordingDirect3D --------------------------------------------------------

RecordingDirect3D::RecordingDirect3D() : RefCounted("d3d"), caps_(RecordingDevice::defaultCaps()) {}

RecordingDirect3D::~RecordingDirect3D() = default;

void RecordingDirect3D::setMaxTextureSize(DWORD width, DWORD height) {
    caps_.MaxTextureWidth = width;
    caps_.MaxTextureHeight = height;
    for (auto& device : devices_) device->setCaps(caps_);
}

RecordingDevice* RecordingDirect3D::device() const {
    return devices_.empty() ? nullptr : devices_.back().get();
}

ULONG RecordingDirect3D::AddRef() {
    record(MakeCall("AddRef", {}, {}, {}));
    return addRef();
}

ULONG RecordingDirect3D::Release() {
    ULONG refs = release();
    RecordedCall call = MakeCall("Release", {}, {}, {});
    call.text += " -> " + std::to_string(refs);
    record(call);
    return refs;
}

UINT RecordingDirect3D::GetAdapterCount() {
    record(MakeCall("GetAdapterCount", {}, {}, {}));
    return adapterCount_;
}

HRESULT RecordingDirect3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) {
    bool valid = adapter < adapterCount_ && caps;
    HRESULT hr =
        record(MakeCall("GetDeviceCaps", {adapter, deviceType}, {},
                        {std::to_string(adapter),
                         deviceType == D3DDEVTYPE_HAL ? "HAL" : std::to_string(deviceType)}),
               valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (SUCCEEDED(hr)) {
        *caps = caps_;
        caps->DeviceType = deviceType;
        caps->AdapterOrdinal = adapter;
    }
    return hr;
}

HRESULT RecordingDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                        DWORD behaviorFlags,
                                        D3DPRESENT_PARAMETERS* presentParameters,
                                        IDirect3DDevice8** returnedDevice) {
    DeviceRequest request{adapter, deviceType, focusWindow, behaviorFlags, {}};
    if (presentParameters) request.params = *presentParameters;
    requests_.push_back(request);
    bool valid = adapter < adapterCount_ && presentParameters && returnedDevice;
    HRESULT hr = record(MakeCall("CreateDevice", {adapter, deviceType, behaviorFlags}, {},
                                 {std::to_string(adapter),
                                  deviceType == D3DDEVTYPE_HAL ? "HAL" : std::to_string(deviceType),
                                  hex(behaviorFlags)}),
                        valid ? D3D_OK : D3DERR_INVALIDCALL);
    if (FAILED(hr)) {
        if (returnedDevice) *returnedDevice = nullptr;
        return hr;
    }
    D3DCAPS8 caps = caps_;
    caps.AdapterOrdinal = adapter;
    caps.DeviceType = deviceType;
    devices_.push_back(std::make_unique<RecordingDevice>(*presentParameters, caps));
    *returnedDevice = devices_.back().get();
    return hr;
}

}  // namespace tundra_test
