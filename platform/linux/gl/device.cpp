#include "device.h"

#include "../internal.h"
#include "blend_elision.h"
#include "color.h"
#include "direct3d.h"
#include "texture.h"
#include "vertex_buffer.h"

#include <algorithm>
#include <cstring>

namespace gl_d3d8 {

HRESULT CreateGlDevice(GlDirect3D* direct3d, UINT adapter, HWND window,
                       const D3DPRESENT_PARAMETERS& parameters, const Options& options,
                       IDirect3DDevice8** result) {
    return GlDevice::Create(direct3d, adapter, window, parameters, options, result);
}

HRESULT GlDevice::Create(GlDirect3D* direct3d, UINT adapter, HWND window,
                         const D3DPRESENT_PARAMETERS& parameters, const Options& options,
                         IDirect3DDevice8** result) {
    SDL_Window* sdlWindow = platform_linux::SdlWindowOf(window);
    SDL_GLContext context = SDL_GL_CreateContext(sdlWindow);
    if (!context) return D3DERR_NOTAVAILABLE;
    auto* device = new GlDevice(direct3d, adapter, window, sdlWindow, context, options);
    D3DPRESENT_PARAMETERS kept = parameters;
    kept.hDeviceWindow = window;
    if (!device->initContext() || !device->createSwapChain(kept)) {
        device->Release();
        return D3DERR_NOTAVAILABLE;
    }
    device->resetStates();
    device->swapChain_.applyWindowMode();
    *result = device;
    return D3D_OK;
}

GlDevice::GlDevice(GlDirect3D* direct3d, UINT adapter, HWND window, SDL_Window* sdlWindow,
                   SDL_GLContext context, const Options& options)
    : direct3d_(direct3d),
      adapter_(adapter),
      window_(window),
      sdlWindow_(sdlWindow),
      context_(context),
      options_(options) {
    direct3d_->AddRef();
    ReportDeviceMade(*this);
}

GlDevice::~GlDevice() {
    ReportDeviceGone(*this);
    const bool current = makeCurrent();
    batcher_.drop();
    merge_.drop();
    unbindAll();
    if (current) {
        batcher_.releaseBuffers();
        merge_.releaseBuffer();
        swapChain_.destroy();
        glDeleteSamplers(kMaxStages, samplers_.data());
        glDeleteTextures(1, &blackTexture_);
    }
    SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(context_);
    direct3d_->Release();
}

bool GlDevice::makeCurrent() {
    // The window may have been destroyed before the device was released.
    if (platform_linux::SdlWindowOf(window_) != sdlWindow_) return false;
    if (SDL_GL_GetCurrentContext() == context_) return true;
    return SDL_GL_MakeCurrent(sdlWindow_, context_) == 0;
}

bool GlDevice::initContext() {
    if (SDL_GL_MakeCurrent(sdlWindow_, context_) != 0) return false;
    units_ = ProbeGl().textureUnits;
    glDisable(GL_DITHER);
    for (int unit = 0; unit < units_; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    }
    glActiveTexture(GL_TEXTURE0);
    // Direct3D's default material and ambient light are black, so lighting
    // vertices with no light switched on gives black (with the material's
    // alpha, 0) unless the vertices carry their own diffuse colour.
    const GLfloat black[4] = {0, 0, 0, 0};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    glGenSamplers(kMaxStages, samplers_.data());
    cache_.invalidate();
    // What a stage samples when it has no texture: opaque black.
    glGenTextures(1, &blackTexture_);
    cache_.bindForEditing(blackTexture_);
    const uint32_t opaqueBlack = 0xFF000000u;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 &opaqueBlack);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // Direct3D's depth runs 0..1 in clip space; where GL cannot do the same,
    // the projection maps it onto GL's -1..1 (see TransformsFor).
    depthRemapped_ = !ProbeGl().clipControl;
    if (!depthRemapped_) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    return glGetError() == GL_NO_ERROR;
}

// The new back buffer is bound and cleared with write masks the render
// states no longer describe, and may turn GL's y the other way round.
bool GlDevice::createSwapChain(const D3DPRESENT_PARAMETERS& parameters) {
    const bool made = swapChain_.create(parameters, options_.directDrawing);
    renderStatesDirty_ = transformsDirty_ = true;
    return made;
}

void GlDevice::resetStates() {
    renderStates_.fill(0);
    auto& rs = renderStates_;
    rs[D3DRS_ZENABLE] = parameters().EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    for (int stage = 0; stage < kMaxStages; ++stage) {
        auto& s = stageStates_[stage];
        s.fill(0);
        s[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        s[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        s[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        s[D3DTSS_TEXCOORDINDEX] = DWORD(stage);
        s[D3DTSS_ADDRESSU] = s[D3DTSS_ADDRESSV] = s[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        s[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        s[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        s[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        s[D3DTSS_MAXANISOTROPY] = 1;
        s[D3DTSS_COLORARG0] = s[D3DTSS_ALPHAARG0] = s[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    world_ = view_ = projection_ = IdentityMatrix();
    textureTransforms_.fill(IdentityMatrix());
    fvf_ = 0;
    layout_ = LayoutOf(fvf_);
    stride_ = 0;
    streamVertices_ = 0;
    renderStatesDirty_ = stagesDirty_ = transformsDirty_ = arraysDirty_ = true;
}

void GlDevice::unbindAll() {
    for (GlTexture*& texture : textures_) {
        if (texture) texture->unbind();
        texture = nullptr;
    }
    if (stream_) stream_->unbind();
    stream_ = nullptr;
}

HRESULT GlDevice::TestCooperativeLevel() {
    switch (cooperation_) {
        case Cooperation::kLost: return D3DERR_DEVICELOST;
        case Cooperation::kNotReset: return D3DERR_DEVICENOTRESET;
        default: return D3D_OK;
    }
}

HRESULT GlDevice::GetDeviceCaps(D3DCAPS8* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    FillCaps(adapter_, caps);
    return D3D_OK;
}

void GlDevice::loseDevice() {
    if (cooperation_ == Cooperation::kOperational) cooperation_ = Cooperation::kLost;
}

void GlDevice::regainFocus() {
    if (cooperation_ == Cooperation::kLost) cooperation_ = Cooperation::kNotReset;
}

HRESULT GlDevice::Reset(D3DPRESENT_PARAMETERS* presentParameters) {
    if (!presentParameters) return D3DERR_INVALIDCALL;
    if (cooperation_ == Cooperation::kLost) return D3DERR_DEVICELOST;
    D3DPRESENT_PARAMETERS wanted = *presentParameters;
    if (!wanted.hDeviceWindow) wanted.hDeviceWindow = window_;
    TakeClientAreaForZeroSize(wanted.hDeviceWindow, wanted);
    // A reset that fails leaves the device waiting for a good one.
    const HRESULT valid =
        direct3d_->validatePresentParameters(adapter_, wanted.hDeviceWindow, wanted);
    if (valid != D3D_OK || wanted.hDeviceWindow != window_ || !makeCurrent()) {
        cooperation_ = Cooperation::kNotReset;
        return valid != D3D_OK ? valid : D3DERR_INVALIDCALL;
    }
    batcher_.drop();
    batcher_.endFrame();
    merge_.drop();
    unbindAll();
    const D3DPRESENT_PARAMETERS previous = parameters();
    swapChain_.destroy();
    if (!createSwapChain(wanted)) {
        swapChain_.destroy();
        createSwapChain(previous);
        cooperation_ = Cooperation::kNotReset;
        return D3DERR_NOTAVAILABLE;
    }
    // Direct3D 8 loses every device state in a reset; managed resources stay.
    resetStates();
    swapChain_.applyWindowMode();
    inScene_ = false;
    cooperation_ = Cooperation::kOperational;
    return D3D_OK;
}

HRESULT GlDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture8** texture) {
    return GlTexture::Create(this, width, height, levels, usage, format, pool, texture);
}

HRESULT GlDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer8** vertexBuffer) {
    return GlVertexBuffer::Create(this, length, usage, fvf, pool, vertexBuffer);
}

HRESULT GlDevice::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT GlDevice::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    flushBatch();
    inScene_ = false;
    return D3D_OK;
}

HRESULT GlDevice::Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) {
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !parameters().EnableAutoDepthStencil) {
        return D3DERR_INVALIDCALL;
    }
    if (rectCount > 0 && !rects) return D3DERR_INVALIDCALL;
    if (cooperation_ != Cooperation::kOperational) return D3D_OK;
    if (!makeCurrent()) return D3DERR_INVALIDCALL;
    flushBatch();
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & D3DCLEAR_ZBUFFER) mask |= GL_DEPTH_BUFFER_BIT;
    if (flags & D3DCLEAR_STENCIL) mask |= GL_STENCIL_BUFFER_BIT;
    if (mask == 0) return D3D_OK;
    // Direct3D clears whatever the write masks say.
    cache_.colorMask(0xF);
    cache_.depthMask(true);
    renderStatesDirty_ = true;
    const std::array<GLfloat, 4> clearColor = ColorToFloats(color);
    glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
    glClearDepth(std::min(1.0f, std::max(0.0f, z)));
    glClearStencil(GLint(stencil));
    if (rectCount == 0) {
        cache_.enable(GL_SCISSOR_TEST, false);
        glClear(mask);
        return D3D_OK;
    }
    const LONG width = LONG(parameters().BackBufferWidth);
    const LONG height = LONG(parameters().BackBufferHeight);
    cache_.enable(GL_SCISSOR_TEST, true);
    for (DWORD i = 0; i < rectCount; ++i) {
        const LONG x1 = std::max<LONG>(0, rects[i].x1), y1 = std::max<LONG>(0, rects[i].y1);
        const LONG x2 = std::min(width, rects[i].x2), y2 = std::min(height, rects[i].y2);
        if (x1 >= x2 || y1 >= y2) continue;
        glScissor(x1, swapChain_.glRowOf(y1, y2), x2 - x1, y2 - y1);
        glClear(mask);
    }
    cache_.enable(GL_SCISSOR_TEST, false);
    return D3D_OK;
}

HRESULT GlDevice::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    if (cooperation_ != Cooperation::kOperational) return D3DERR_DEVICELOST;
    if (!makeCurrent()) return D3DERR_INVALIDCALL;
    flushBatch();
    batcher_.endFrame();
    swapChain_.finishFrame();
    // The next back buffer may be of the other kind (see SwapChain::show).
    renderStatesDirty_ = transformsDirty_ = true;
    // Observers read the finished frame before the swap: a window's back
    // buffer holds nothing defined after it. One that throws leaves the
    // device as the others do.
    inPresent_ = true;
    try {
        ReportFramePresented(*this);
    } catch (...) {
        inPresent_ = false;
        throw;
    }
    inPresent_ = false;
    if (!makeCurrent()) return D3D_OK;
    if (!swapChain_.show()) cooperation_ = Cooperation::kNotReset;
    return D3D_OK;
}

bool GlDevice::readBack(std::vector<uint32_t>& pixels, UINT& width, UINT& height) {
    return makeCurrent() && swapChain_.readBack(pixels, width, height, inPresent_);
}

HRESULT GlDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    D3DMATRIX* target = nullptr;
    if (state == D3DTS_WORLD) {
        target = &world_;
    } else if (state == D3DTS_VIEW) {
        target = &view_;
    } else if (state == D3DTS_PROJECTION) {
        target = &projection_;
    } else if (state >= D3DTS_TEXTURE0 && state < D3DTS_TEXTURE0 + kTextureTransforms) {
        // Texture transforms are kept for GetTransform; no stage enables them.
        textureTransforms_[state - D3DTS_TEXTURE0] = *matrix;
        return D3D_OK;
    } else {
        return D3DERR_INVALIDCALL;
    }
    if (std::memcmp(target, matrix, sizeof(D3DMATRIX)) != 0) {
        *target = *matrix;
        transformsDirty_ = true;
    }
    return D3D_OK;
}

HRESULT GlDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    if (state == D3DTS_WORLD) {
        *matrix = world_;
    } else if (state == D3DTS_VIEW) {
        *matrix = view_;
    } else if (state == D3DTS_PROJECTION) {
        *matrix = projection_;
    } else if (state >= D3DTS_TEXTURE0 && state < D3DTS_TEXTURE0 + kTextureTransforms) {
        *matrix = textureTransforms_[state - D3DTS_TEXTURE0];
    } else {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT GlDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state == 0 || state >= D3DRENDERSTATETYPE(kRenderStates)) return D3DERR_INVALIDCALL;
    if (renderStates_[state] == value) return D3D_OK;
    renderStates_[state] = value;
    renderStatesDirty_ = true;
    // The diffuse-colour source under lighting and the stages' constant
    // follow render states too.
    if (state == D3DRS_TEXTUREFACTOR) stagesDirty_ = true;
    if (state == D3DRS_AMBIENT && makeCurrent()) {
        flushBatch();
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ColorToFloats(value).data());
    }
    return D3D_OK;
}

HRESULT GlDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value || state == 0 || state >= D3DRENDERSTATETYPE(kRenderStates)) {
        return D3DERR_INVALIDCALL;
    }
    *value = renderStates_[state];
    return D3D_OK;
}

HRESULT GlDevice::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    if (stage >= DWORD(kMaxStages)) return D3DERR_INVALIDCALL;
    // The same texture again, as every face of a level sets it: no lookup.
    if (texture && texture == static_cast<IDirect3DBaseTexture8*>(textures_[stage])) return D3D_OK;
    GlTexture* glTexture = nullptr;
    if (texture) {
        glTexture = dynamic_cast<GlTexture*>(texture);
        if (!glTexture || glTexture->device() != this) return D3DERR_INVALIDCALL;
    }
    if (textures_[stage] == glTexture) return D3D_OK;
    // The old texture may go away with its binding.
    flushBatch();
    if (glTexture) glTexture->bind();
    if (textures_[stage]) textures_[stage]->unbind();
    textures_[stage] = glTexture;
    stagesDirty_ = true;
    return D3D_OK;
}

HRESULT GlDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= DWORD(kMaxStages) || type == 0 || type >= D3DTEXTURESTAGESTATETYPE(kStageStates)) {
        return D3DERR_INVALIDCALL;
    }
    if (stageStates_[stage][type] == value) return D3D_OK;
    stageStates_[stage][type] = value;
    stagesDirty_ = true;
    if (type == D3DTSS_TEXCOORDINDEX) arraysDirty_ = true;
    return D3D_OK;
}

HRESULT GlDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= DWORD(kMaxStages) || type == 0 ||
        type >= D3DTEXTURESTAGESTATETYPE(kStageStates)) {
        return D3DERR_INVALIDCALL;
    }
    *value = stageStates_[stage][type];
    return D3D_OK;
}

HRESULT GlDevice::SetVertexShader(DWORD handle) {
    // Odd handles name programmable shaders, which this device does not have.
    if (handle & D3DFVF_RESERVED0) return D3DERR_INVALIDCALL;
    if (fvf_ != handle) {
        // Gathered draws are drawn with the layout they were copied in.
        flushBatch();
        fvf_ = handle;
        layout_ = LayoutOf(handle);
        arraysDirty_ = renderStatesDirty_ = transformsDirty_ = true;
    }
    return D3D_OK;
}

HRESULT GlDevice::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData,
                                  UINT stride) {
    if (streamNumber != 0) return D3DERR_INVALIDCALL;
    GlVertexBuffer* buffer = nullptr;
    if (streamData) {
        buffer = dynamic_cast<GlVertexBuffer*>(streamData);
        if (!buffer) return D3DERR_INVALIDCALL;
    }
    if (buffer == stream_ && stride == stride_) return D3D_OK;
    flushBatch();
    if (buffer) buffer->bind();
    if (stream_) stream_->unbind();
    stream_ = buffer;
    stride_ = stride;
    streamVertices_ = buffer && stride ? buffer->length() / stride : 0;
    arraysDirty_ = true;
    return D3D_OK;
}

void GlDevice::applyRenderStates() {
    const auto& rs = renderStates_;
    cache_.enable(GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
    cache_.depthMask(rs[D3DRS_ZWRITEENABLE] != FALSE);
    cache_.depthFunc(CompareFunction(rs[D3DRS_ZFUNC]));
    cache_.blendFunc(BlendFactor(rs[D3DRS_SRCBLEND]), BlendFactor(rs[D3DRS_DESTBLEND]));
    cache_.enable(GL_ALPHA_TEST, rs[D3DRS_ALPHATESTENABLE] != FALSE);
    cache_.alphaFunc(CompareFunction(rs[D3DRS_ALPHAFUNC]), (rs[D3DRS_ALPHAREF] & 255) / 255.0f);
    cache_.colorMask(rs[D3DRS_COLORWRITEENABLE] & 0xF);
    cache_.enable(GL_MULTISAMPLE, rs[D3DRS_MULTISAMPLEANTIALIAS] != FALSE);
    const DWORD cull = rs[D3DRS_CULLMODE];
    cache_.enable(GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
    cache_.frontFace(FrontFaceFor(cull, targetSpace()));
    cache_.cullFace(GL_BACK);
    // Pre-transformed vertices are never lit.
    const VertexLayout& layout = layout_;
    const bool lit = rs[D3DRS_LIGHTING] != FALSE && !layout.transformed;
    cache_.enable(GL_LIGHTING, lit);
    cache_.enable(GL_COLOR_MATERIAL, lit && layout.diffuse >= 0 && rs[D3DRS_COLORVERTEX]);
    renderStatesDirty_ = false;
}

void GlDevice::applySampler(int stage) {
    const SamplerSettings settings = SamplerFor(stageStates_[stage]);
    const GLuint sampler = samplers_[stage];
    const SamplerSettings& known = samplerSettings_[stage];
    const bool fresh = !samplerKnown_[stage];
    if (fresh || known.minFilter != settings.minFilter) {
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, settings.minFilter);
    }
    if (fresh || known.magFilter != settings.magFilter) {
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, settings.magFilter);
    }
    if (fresh || known.wrapS != settings.wrapS) {
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, settings.wrapS);
    }
    if (fresh || known.wrapT != settings.wrapT) {
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, settings.wrapT);
    }
    samplerSettings_[stage] = settings;
    samplerKnown_[stage] = true;
    cache_.bindSampler(stage, sampler);
}

void GlDevice::applyStages() {
    bool ended = false;
    const DWORD factor = renderStates_[D3DRS_TEXTUREFACTOR];
    for (int stage = 0; stage < units_; ++stage) {
        // The first disabled colour operation ends the cascade: no later
        // stage takes part, whatever it is set to.
        if (ended || stageStates_[stage][D3DTSS_COLOROP] == D3DTOP_DISABLE) {
            ended = true;
            cache_.textureEnabled(stage, false);
            continue;
        }
        cache_.textureEnabled(stage, true);
        cache_.bindTexture(stage,
                           textures_[stage] ? textures_[stage]->sampledTexture() : blackTexture_);
        applySampler(stage);
        cache_.combine(stage, CombineFor(stageStates_[stage]));
        cache_.envColor(stage, factor);
    }
    stagesDirty_ = false;
}

// Runs after the render states and the stages: it depends on both, and on
// the stage 0 texture's texels, which applyStages may upload first.
void GlDevice::applyBlend() {
    BlendElisionInputs in;
    in.renderStates = renderStates_.data();
    in.stages = stageStates_.data();
    in.units = units_;
    in.texture0Opaque = textures_[0] && textures_[0]->opaque();
    in.layout = &layout_;
    in.lit = renderStates_[D3DRS_LIGHTING] != FALSE && !layout_.transformed;
    const bool blending = renderStates_[D3DRS_ALPHABLENDENABLE] != FALSE;
    cache_.enable(GL_BLEND, blending && !BlendChangesNothing(in));
}

TargetSpace GlDevice::targetSpace() const {
    TargetSpace target;
    target.width = parameters().BackBufferWidth;
    target.height = parameters().BackBufferHeight;
    target.topRowFirst = swapChain_.topRowFirst();
    target.remapDepth = depthRemapped_;
    return target;
}

void GlDevice::applyTransforms() {
    const GlTransforms transforms =
        TransformsFor(layout_.transformed, world_, view_, projection_, targetSpace());
    cache_.modelView(&transforms.modelView.m[0][0]);
    cache_.projection(&transforms.projection.m[0][0]);
    appliedView_ = view_;
    appliedProjection_ = projection_;
    transformsDirty_ = false;
}

bool GlDevice::applyVertexArrays() {
    const VertexLayout& layout = layout_;
    if (!layout.valid || !stream_ || stride_ < layout.size) return false;
    pointArraysAt(stream_->uploadedBuffer());
    return true;
}

void GlDevice::pointArraysAt(GLuint buffer) {
    const VertexLayout& layout = layout_;
    cache_.arrayBuffer(buffer);
    const GLsizei stride = GLsizei(stride_);
    auto at = [](UINT offset) { return reinterpret_cast<const void*>(uintptr_t(offset)); };
    cache_.clientState(GL_VERTEX_ARRAY, true);
    glVertexPointer(3, GL_FLOAT, stride, at(0));
    cache_.clientState(GL_NORMAL_ARRAY, layout.normal >= 0);
    if (layout.normal >= 0) glNormalPointer(GL_FLOAT, stride, at(UINT(layout.normal)));
    cache_.clientState(GL_COLOR_ARRAY, layout.diffuse >= 0);
    if (layout.diffuse >= 0) {
        // D3DCOLOR bytes in memory are blue, green, red, alpha.
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, stride, at(UINT(layout.diffuse)));
    } else {
        // A vertex without colour is opaque white.
        cache_.currentColorWhite();
    }
    for (int unit = 0; unit < units_; ++unit) {
        const UINT set = stageStates_[unit][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
        const bool present = set < layout.texCount;
        cache_.texCoordArray(unit, present);
        if (present) {
            cache_.selectClientUnit(unit);
            glTexCoordPointer(layout.texSize[set], GL_FLOAT, stride, at(layout.texOffset[set]));
        } else {
            glMultiTexCoord4f(GL_TEXTURE0 + unit, 0.0f, 0.0f, 0.0f, 1.0f);
        }
    }
    arraysDirty_ = false;
}

HRESULT GlDevice::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                UINT primitiveCount) {
    if (!inScene_) return D3DERR_INVALIDCALL;
    GLenum mode = GL_TRIANGLES;
    uint64_t vertices = 0;
    if (!PrimitiveShape(primitiveType, primitiveCount, mode, vertices)) return D3DERR_INVALIDCALL;
    if (!stream_ || !layout_.valid || stride_ < layout_.size) return D3DERR_INVALIDCALL;
    // Never let GL read past the end of the buffer.
    if (uint64_t(startVertex) + vertices > streamVertices_) return D3DERR_INVALIDCALL;
    if (primitiveCount == 0) return D3D_OK;
    if (cooperation_ != Cooperation::kOperational) return D3D_OK;
    const bool triangles = primitiveType == D3DPT_TRIANGLELIST ||
                           primitiveType == D3DPT_TRIANGLESTRIP ||
                           primitiveType == D3DPT_TRIANGLEFAN;
    const bool batched = triangles && options_.batching;
    if (batched && mergeable(vertices)) {
        if (!makeCurrent()) return D3DERR_INVALIDCALL;
        if (merge_.empty()) {
            // What came before goes first, under the matrices GL has.
            flushBatch();
            mergeView_ = view_;
            mergeProjection_ = projection_;
        }
        merge_.add(stream_->contents(), stride_, world_, primitiveType, startVertex,
                   primitiveCount);
        if (layout_.diffuse >= 0) cache_.colorArrayUsed();
        return D3D_OK;
    }
    if (!merge_.empty()) flushBatch();
    // A draw that joins a batch under unchanged state makes no GL call at
    // all; everything else needs the context.
    if (renderStatesDirty_ || stagesDirty_ || transformsDirty_ || arraysDirty_ || !batched) {
        if (!makeCurrent()) return D3DERR_INVALIDCALL;
        // The collected triangles belong to the state GL still has: draw
        // them before anything changes it.
        flushBatch();
        const bool blendInputsChanged = renderStatesDirty_ || stagesDirty_;
        if (renderStatesDirty_) applyRenderStates();
        if (stagesDirty_) applyStages();
        if (blendInputsChanged) applyBlend();
        if (transformsDirty_) applyTransforms();
        if (arraysDirty_ && !applyVertexArrays()) return D3DERR_INVALIDCALL;
    }
    if (batched) {
        batcher_.add(primitiveType, startVertex, primitiveCount);
    } else {
        glDrawArrays(mode, GLint(startVertex), GLsizei(vertices));
    }
    if (layout_.diffuse >= 0) cache_.colorArrayUsed();
    return D3D_OK;
}

void GlDevice::flushBatch() {
    if (batcher_.empty() && merge_.empty()) return;
    if (!makeCurrent()) {
        batcher_.drop();
        merge_.drop();
        return;
    }
    // A merge starts with an empty batch, and a draw outside the merge
    // flushes it first: at most one of the two holds draws.
    if (!batcher_.empty()) batcher_.flush();
    if (!merge_.empty()) drawMerged();
}

// A small draw may join a merge when it differs from the draws before it in
// nothing but its world transform, and nothing it shows depends on where
// the world puts it other than its position.
bool GlDevice::mergeable(uint64_t vertices) const {
    if (vertices > kMergedDrawVertices || layout_.transformed || !WorldIsAffine(world_))
        return false;
    if (renderStatesDirty_ || stagesDirty_ || arraysDirty_) return false;
    // Lit vertices would need their normals turned as well, and generated
    // texture coordinates come from the untransformed position.
    if (renderStates_[D3DRS_LIGHTING] != FALSE) return false;
    for (int unit = 0; unit < units_; ++unit)
        if (stageStates_[unit][D3DTSS_TEXCOORDINDEX] >> 16) return false;
    auto same = [](const D3DMATRIX& a, const D3DMATRIX& b) {
        return std::memcmp(&a, &b, sizeof(D3DMATRIX)) == 0;
    };
    if (!merge_.empty()) return same(view_, mergeView_) && same(projection_, mergeProjection_);
    // Only the world changed since GL's matrices were set.
    return transformsDirty_ && same(view_, appliedView_) && same(projection_, appliedProjection_);
}

void GlDevice::drawMerged() {
    merge_.upload();
    pointArraysAt(merge_.buffer());
    const GlTransforms transforms =
        TransformsFor(false, IdentityMatrix(), mergeView_, mergeProjection_, targetSpace());
    cache_.modelView(&transforms.modelView.m[0][0]);
    cache_.projection(&transforms.projection.m[0][0]);
    merge_.draw();
    // GL now points at the merged copy under the view alone.
    arraysDirty_ = transformsDirty_ = true;
}

}  // namespace gl_d3d8
