#include "device.h"

#include "../internal.h"
#include "../testing.h"
#include "direct3d.h"
#include "fault_plan.h"
#include "formats.h"
#include "texture.h"
#include "vertex_buffer.h"

#include <algorithm>
#include <cstring>

namespace gl_d3d8 {

namespace {

// Back buffers beyond this edge length are refused outright, whatever GL's
// renderbuffer limit says: they could not be shown on any display.
constexpr UINT kMaxBackBufferEdge = 16384;

// Draw batching is on unless TUNDRA_NO_BATCH=1 or a test switches it off.
bool& BatchingEnabled() {
    static bool enabled = [] {
        const char* value = SDL_getenv("TUNDRA_NO_BATCH");
        return !(value && value[0] == '1');
    }();
    return enabled;
}

// Drawing straight into the window where it can serve as the back buffer is
// on unless TUNDRA_NO_DIRECT=1 or a test switches it off.
bool& DirectDrawingEnabled() {
    static bool enabled = [] {
        const char* value = SDL_getenv("TUNDRA_NO_DIRECT");
        return !(value && value[0] == '1');
    }();
    return enabled;
}

GLint BoundFramebufferValue(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

std::vector<GlDevice*>& LiveDevices() {
    static std::vector<GlDevice*> devices;
    return devices;
}

std::vector<platform_linux::PresentListener>& PresentListeners() {
    static std::vector<platform_linux::PresentListener> listeners;
    return listeners;
}

// A full-screen device is lost when its window loses activation and may be
// reset once the window is active again; windowed devices are never lost.
void OnWindowFocus(HWND window, bool active) {
    for (GlDevice* device : LiveDevices()) {
        if (device->window() != window || !device->fullScreen()) continue;
        if (active) {
            device->regainFocus();
        } else {
            device->loseDevice();
        }
    }
}

bool ValidMultisample(D3DMULTISAMPLE_TYPE type) {
    return type == D3DMULTISAMPLE_NONE || (type >= 2 && type <= 16);
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX c{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            c.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
        }
    }
    return c;
}

// Direct3D 8 samples pixel (i, j) at the integer screen point (i, j); GL at
// (i + 0.5, j + 0.5). Moving all geometry half a pixel right and half a pixel
// down (in Direct3D's y-down screen) makes GL cover the same pixels and sample
// textures at the same coordinates as Direct3D.
//
// A horizontal edge that then lies exactly on a row of centres is decided the
// other way round by Mesa (its bottom edges are inclusive, Direct3D's top
// edges are), so the vertical move stops 1/256 pixel short: a tie becomes a
// clear case on Direct3D's side, and no other edge moves by more than the
// rasterizer's own sub-pixel precision.
D3DMATRIX PixelCentreShift(UINT width, UINT height) {
    constexpr float kTieBreak = 1.0f / 256.0f;
    D3DMATRIX m = Identity();
    m._41 = 1.0f / static_cast<float>(width);
    m._42 = -(1.0f - 2.0f * kTieBreak) / static_cast<float>(height);
    return m;
}

GLenum CompareFunction(DWORD value) {
    if (value >= D3DCMP_NEVER && value <= D3DCMP_ALWAYS) return GL_NEVER + (value - D3DCMP_NEVER);
    return GL_ALWAYS;
}

GLenum BlendFactor(DWORD value) {
    switch (value) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
    }
}

// Where a stage argument comes from, and whether it is complemented or has
// its alpha replicated, in texture_env_combine terms.
struct CombineArgument {
    GLint source, operandRgb, operandAlpha;
};

CombineArgument ArgumentFor(DWORD argument) {
    CombineArgument a{GL_PREVIOUS, GL_SRC_COLOR, GL_SRC_ALPHA};
    switch (argument & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: a.source = GL_PRIMARY_COLOR; break;
    case D3DTA_TEXTURE: a.source = GL_TEXTURE; break;
    case D3DTA_TFACTOR: a.source = GL_CONSTANT; break;
    case D3DTA_SPECULAR: a.source = GL_PRIMARY_COLOR; break;
    default: a.source = GL_PREVIOUS; break;
    }
    const bool complement = (argument & D3DTA_COMPLEMENT) != 0;
    if (argument & D3DTA_ALPHAREPLICATE) {
        a.operandRgb = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    } else {
        a.operandRgb = complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
    }
    a.operandAlpha = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    return a;
}

// One operation (colour or alpha) of a stage: the GL combine function, its
// scale, and which of the two arguments feed sources 0 and 1.
struct CombineOperation {
    GLint function;
    GLfloat scale;
    DWORD first, second;
};

CombineOperation OperationFor(DWORD op, DWORD arg1, DWORD arg2) {
    switch (op) {
    case D3DTOP_SELECTARG1: return {GL_REPLACE, 1.0f, arg1, arg2};
    case D3DTOP_SELECTARG2: return {GL_REPLACE, 1.0f, arg2, arg1};
    case D3DTOP_MODULATE2X: return {GL_MODULATE, 2.0f, arg1, arg2};
    case D3DTOP_MODULATE4X: return {GL_MODULATE, 4.0f, arg1, arg2};
    case D3DTOP_ADD: return {GL_ADD, 1.0f, arg1, arg2};
    case D3DTOP_ADDSIGNED: return {GL_ADD_SIGNED, 1.0f, arg1, arg2};
    // A disabled alpha operation under an enabled colour one keeps the alpha
    // that reached the stage.
    case D3DTOP_DISABLE: return {GL_REPLACE, 1.0f, D3DTA_CURRENT, D3DTA_CURRENT};
    default: return {GL_MODULATE, 1.0f, arg1, arg2};
    }
}

bool PrimitiveShape(D3DPRIMITIVETYPE type, UINT count, GLenum& mode, uint64_t& vertices) {
    switch (type) {
    case D3DPT_POINTLIST: mode = GL_POINTS; vertices = count; return true;
    case D3DPT_LINELIST: mode = GL_LINES; vertices = uint64_t(count) * 2; return true;
    case D3DPT_LINESTRIP: mode = GL_LINE_STRIP; vertices = uint64_t(count) + 1; return true;
    case D3DPT_TRIANGLELIST: mode = GL_TRIANGLES; vertices = uint64_t(count) * 3; return true;
    case D3DPT_TRIANGLESTRIP: mode = GL_TRIANGLE_STRIP; vertices = uint64_t(count) + 2; return true;
    case D3DPT_TRIANGLEFAN: mode = GL_TRIANGLE_FAN; vertices = uint64_t(count) + 2; return true;
    default: return false;
    }
}

}  // namespace

VertexLayout LayoutOf(DWORD fvf) {
    VertexLayout layout;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZ) {
        layout.size = 12;
    } else if (position == D3DFVF_XYZRHW) {
        layout.size = 16;
        layout.transformed = true;
    } else if (position >= 0x6 && position <= 0xE) {
        layout.size = 12 + 4 * ((position - 0x4) / 2);  // blend weights, skipped
    } else {
        return layout;
    }
    if (fvf & D3DFVF_NORMAL) {
        layout.normal = static_cast<int>(layout.size);
        layout.size += 12;
    }
    if (fvf & 0x020) layout.size += 4;  // point size, not drawn
    if (fvf & D3DFVF_DIFFUSE) {
        layout.diffuse = static_cast<int>(layout.size);
        layout.size += 4;
    }
    if (fvf & D3DFVF_SPECULAR) layout.size += 4;
    layout.texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (layout.texCount > 8) return layout;
    static const GLint kSizes[4] = {2, 3, 4, 1};
    for (UINT i = 0; i < layout.texCount; ++i) {
        layout.texOffset[i] = layout.size;
        layout.texSize[i] = kSizes[(fvf >> (16 + 2 * i)) & 3];
        layout.size += 4 * static_cast<UINT>(layout.texSize[i]);
    }
    layout.valid = true;
    return layout;
}

HRESULT ValidatePresentParameters(UINT adapter, HWND window,
                                  const D3DPRESENT_PARAMETERS& p) {
    if (!window || !platform_linux::SdlWindowOf(window)) return D3DERR_INVALIDCALL;
    if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) return D3DERR_INVALIDCALL;
    const GlLimits& limits = ProbeGl();
    const UINT maxEdge = std::min<UINT>(kMaxBackBufferEdge, UINT(limits.maxRenderbufferSize));
    if (p.BackBufferWidth > maxEdge || p.BackBufferHeight > maxEdge) return D3DERR_NOTAVAILABLE;
    if (!BackBufferFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
    if (p.BackBufferCount > 3) return D3DERR_INVALIDCALL;
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC) {
        return D3DERR_INVALIDCALL;
    }
    if (!ValidMultisample(p.MultiSampleType)) return D3DERR_INVALIDCALL;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) {
        // Direct3D 8 multisamples only back buffers that are discarded.
        if (p.SwapEffect != D3DSWAPEFFECT_DISCARD) return D3DERR_INVALIDCALL;
        if (int(p.MultiSampleType) > limits.maxSamples) return D3DERR_NOTAVAILABLE;
    }
    if (p.EnableAutoDepthStencil && !DepthStencilFormat(p.AutoDepthStencilFormat)) {
        return D3DERR_INVALIDCALL;
    }
    if (!p.Windowed) {
        SDL_DisplayMode wanted{};
        wanted.w = int(p.BackBufferWidth);
        wanted.h = int(p.BackBufferHeight);
        wanted.refresh_rate = int(p.FullScreen_RefreshRateInHz);
        SDL_DisplayMode found{};
        if (!SDL_GetClosestDisplayMode(int(adapter), &wanted, &found)) return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}

HRESULT GlDevice::Create(GlDirect3D* direct3d, UINT adapter, HWND focusWindow,
                         const D3DPRESENT_PARAMETERS& parameters, IDirect3DDevice8** result) {
    HWND window = parameters.hDeviceWindow ? parameters.hDeviceWindow : focusWindow;
    const HRESULT valid = ValidatePresentParameters(adapter, window, parameters);
    if (valid != D3D_OK) return valid;
    SDL_Window* sdlWindow = platform_linux::SdlWindowOf(window);
    SDL_GLContext context = SDL_GL_CreateContext(sdlWindow);
    if (!context) return D3DERR_NOTAVAILABLE;
    auto* device = new GlDevice(direct3d, adapter, window, sdlWindow, context, parameters);
    if (!device->initContext() || !device->createFramebuffers()) {
        device->Release();
        return D3DERR_NOTAVAILABLE;
    }
    device->applyWindowMode();
    *result = device;
    return D3D_OK;
}

GlDevice::GlDevice(GlDirect3D* direct3d, UINT adapter, HWND window, SDL_Window* sdlWindow,
                   SDL_GLContext context, const D3DPRESENT_PARAMETERS& parameters)
    : direct3d_(direct3d), adapter_(adapter), window_(window), sdlWindow_(sdlWindow),
      context_(context), parameters_(parameters) {
    parameters_.hDeviceWindow = window;
    colorFormat_ = BackBufferFormat(parameters_.BackBufferFormat);
    direct3d_->AddRef();
    static bool focusListenerAdded = false;
    if (!focusListenerAdded) {
        platform_linux::AddFocusListener(&OnWindowFocus);
        focusListenerAdded = true;
    }
    LiveDevices().push_back(this);
    resetStates();
}

GlDevice::~GlDevice() {
    auto& devices = LiveDevices();
    devices.erase(std::remove(devices.begin(), devices.end(), this), devices.end());
    const bool current = makeCurrent();
    batch_.clear();
    unbindAll();
    if (current) {
        deleteBatchBuffers();
        destroyFramebuffers();
        glDeleteSamplers(kMaxStages, samplers_.data());
        glDeleteTextures(1, &blackTexture_);
    }
    SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(context_);
    direct3d_->Release();
}

ULONG GlDevice::AddRef() { return ++references_; }

ULONG GlDevice::Release() {
    if (references_ == 0) return 0;
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
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
    glCreateSamplers(kMaxStages, samplers_.data());
    // What a stage samples when it has no texture: opaque black.
    glCreateTextures(GL_TEXTURE_2D, 1, &blackTexture_);
    glTextureStorage2D(blackTexture_, 1, GL_RGBA8, 1, 1);
    const uint32_t opaqueBlack = 0xFF000000u;
    glTextureSubImage2D(blackTexture_, 0, 0, 0, 1, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                        &opaqueBlack);
    cache_.invalidate();
    return glGetError() == GL_NO_ERROR;
}

// The window's surface serves as the back buffer when it holds exactly what
// the device's own framebuffer would: the same size, 8-bit channels with the
// same alpha, the same depth precision and enough stencil, one sample. Only a
// discarded windowed back buffer qualifies: flip and copy promise contents
// after Present that a swapped window buffer does not keep.
bool GlDevice::windowServesBackBuffer() {
    const D3DPRESENT_PARAMETERS& p = parameters_;
    if (!DirectDrawingEnabled() || !p.Windowed || p.SwapEffect != D3DSWAPEFFECT_DISCARD ||
        p.MultiSampleType != D3DMULTISAMPLE_NONE || !p.EnableAutoDepthStencil) {
        return false;
    }
    if (p.BackBufferFormat != D3DFMT_X8R8G8B8 && p.BackBufferFormat != D3DFMT_A8R8G8B8) {
        return false;
    }
    int windowWidth = 0, windowHeight = 0;
    SDL_GL_GetDrawableSize(sdlWindow_, &windowWidth, &windowHeight);
    if (UINT(windowWidth) != p.BackBufferWidth || UINT(windowHeight) != p.BackBufferHeight) {
        return false;
    }
    const DepthBufferFormat* depth = DepthStencilFormat(p.AutoDepthStencilFormat);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const bool matches =
        BoundFramebufferValue(GL_RED_BITS) == 8 && BoundFramebufferValue(GL_GREEN_BITS) == 8 &&
        BoundFramebufferValue(GL_BLUE_BITS) == 8 &&
        BoundFramebufferValue(GL_ALPHA_BITS) == (colorFormat_->hasAlpha ? 8 : 0) &&
        BoundFramebufferValue(GL_SAMPLES) == 0 &&
        BoundFramebufferValue(GL_DEPTH_BITS) == depth->depthBits &&
        BoundFramebufferValue(GL_STENCIL_BITS) >= depth->stencilBits;
    return glGetError() == GL_NO_ERROR && matches;
}

// Lower-left origin, as the window's rows run: Direct3D's top row is the
// window's top row, so clip space and the pixel-centre shift stay as they
// are; only rectangles the device passes to GL in rows (Clear) are flipped.
bool GlDevice::createDirectTarget() {
    glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
    GLboolean doubleBuffered = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    swapsBuffers_ = doubleBuffered == GL_TRUE;
    glViewport(0, 0, GLsizei(parameters_.BackBufferWidth), GLsizei(parameters_.BackBufferHeight));
    clearNewTarget();
    presentedOnce_ = false;
    return glGetError() == GL_NO_ERROR;
}

// Direct3D leaves new buffers undefined; black and far is the kindest.
void GlDevice::clearNewTarget() {
    cache_.enable(GL_SCISSOR_TEST, false);
    cache_.colorMask(0xF);
    cache_.depthMask(true);
    renderStatesDirty_ = true;
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

// A Direct3D row span [top, bottom) as the first GL row of the target.
GLint GlDevice::glRowOf(LONG top, LONG bottom) const {
    return direct_ ? GLint(LONG(parameters_.BackBufferHeight) - bottom) : GLint(top);
}

bool GlDevice::createFramebuffers() {
    direct_ = windowServesBackBuffer();
    if (direct_) return createDirectTarget();
    // Upper-left origin: window y runs down as Direct3D's screen y does, so
    // row 0 of every framebuffer is the top row, scissor rectangles take
    // Direct3D's coordinates, and edges that fall exactly on pixel centres
    // are decided by the same top-left rule. Depth runs 0..1 as in Direct3D.
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    const GLsizei width = GLsizei(parameters_.BackBufferWidth);
    const GLsizei height = GLsizei(parameters_.BackBufferHeight);
    const GLsizei samples = GLsizei(parameters_.MultiSampleType);
    glCreateFramebuffers(1, &renderFramebuffer_);
    glCreateRenderbuffers(1, &colorBuffer_);
    glNamedRenderbufferStorageMultisample(colorBuffer_, samples, colorFormat_->internalFormat,
                                          width, height);
    glNamedFramebufferRenderbuffer(renderFramebuffer_, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                   colorBuffer_);
    if (parameters_.EnableAutoDepthStencil) {
        const DepthBufferFormat* depth = DepthStencilFormat(parameters_.AutoDepthStencilFormat);
        glCreateRenderbuffers(1, &depthBuffer_);
        glNamedRenderbufferStorageMultisample(depthBuffer_, samples, depth->internalFormat, width,
                                              height);
        glNamedFramebufferRenderbuffer(renderFramebuffer_, depth->attachment, GL_RENDERBUFFER,
                                       depthBuffer_);
    }
    glCreateFramebuffers(1, &presentFramebuffer_);
    glCreateRenderbuffers(1, &presentBuffer_);
    glNamedRenderbufferStorage(presentBuffer_, colorFormat_->internalFormat, width, height);
    glNamedFramebufferRenderbuffer(presentFramebuffer_, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                   presentBuffer_);
    // A back buffer that Present may discard or flip can trade places with
    // the presented one instead of being copied into it: both framebuffers
    // then draw with the one depth buffer.
    flipBuffers_ = samples == 0 && (parameters_.SwapEffect == D3DSWAPEFFECT_DISCARD ||
                                    parameters_.SwapEffect == D3DSWAPEFFECT_FLIP);
    if (flipBuffers_ && depthBuffer_) {
        glNamedFramebufferRenderbuffer(
            presentFramebuffer_, DepthStencilFormat(parameters_.AutoDepthStencilFormat)->attachment,
            GL_RENDERBUFFER, depthBuffer_);
    }
    const bool complete =
        glCheckNamedFramebufferStatus(renderFramebuffer_, GL_FRAMEBUFFER) ==
            GL_FRAMEBUFFER_COMPLETE &&
        glCheckNamedFramebufferStatus(presentFramebuffer_, GL_FRAMEBUFFER) ==
            GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, renderFramebuffer_);
    glViewport(0, 0, width, height);
    clearNewTarget();
    if (flipBuffers_) {
        glClearNamedFramebufferfv(presentFramebuffer_, GL_COLOR, 0,
                                  std::array<GLfloat, 4>{0, 0, 0, 1}.data());
    }
    presentedOnce_ = false;
    return complete && glGetError() == GL_NO_ERROR;
}

void GlDevice::destroyFramebuffers() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &renderFramebuffer_);
    glDeleteFramebuffers(1, &presentFramebuffer_);
    glDeleteRenderbuffers(1, &colorBuffer_);
    glDeleteRenderbuffers(1, &presentBuffer_);
    if (depthBuffer_) glDeleteRenderbuffers(1, &depthBuffer_);
    renderFramebuffer_ = presentFramebuffer_ = colorBuffer_ = presentBuffer_ = depthBuffer_ = 0;
}

void GlDevice::applyWindowMode() {
    const int display = SDL_GetWindowDisplayIndex(sdlWindow_);
    if (parameters_.Windowed) {
        SDL_SetWindowFullscreen(sdlWindow_, 0);
        if (display >= 0 && UINT(display) != adapter_) {
            SDL_SetWindowPosition(sdlWindow_, SDL_WINDOWPOS_CENTERED_DISPLAY(adapter_),
                                  SDL_WINDOWPOS_CENTERED_DISPLAY(adapter_));
        }
        SDL_GL_SetSwapInterval(0);
        return;
    }
    SDL_DisplayMode wanted{};
    wanted.w = int(parameters_.BackBufferWidth);
    wanted.h = int(parameters_.BackBufferHeight);
    wanted.refresh_rate = int(parameters_.FullScreen_RefreshRateInHz);
    SDL_DisplayMode mode{};
    if (SDL_GetClosestDisplayMode(int(adapter_), &wanted, &mode)) {
        SDL_SetWindowDisplayMode(sdlWindow_, &mode);
    }
    if (display >= 0 && UINT(display) != adapter_) {
        SDL_SetWindowPosition(sdlWindow_, SDL_WINDOWPOS_CENTERED_DISPLAY(adapter_),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(adapter_));
    }
    // Direct3D makes the device window cover the screen: its client area
    // becomes the back buffer, whatever frame the window was made with.
    SDL_SetWindowSize(sdlWindow_, wanted.w, wanted.h);
    SDL_SetWindowFullscreen(sdlWindow_, SDL_WINDOW_FULLSCREEN);
    const bool immediate =
        parameters_.FullScreen_PresentationInterval == DWORD(D3DPRESENT_INTERVAL_IMMEDIATE);
    SDL_GL_SetSwapInterval(immediate ? 0 : 1);
}

void GlDevice::resetStates() {
    renderStates_.fill(0);
    auto& rs = renderStates_;
    rs[D3DRS_ZENABLE] = parameters_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = 3;   // solid
    rs[D3DRS_SHADEMODE] = 2;  // Gouraud
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
    rs[D3DRS_BLENDOP] = 1;  // add
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
    world_ = view_ = projection_ = Identity();
    textureTransforms_.fill(Identity());
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
    if (cooperation_ == Cooperation::kLost && regainAfterReport_) {
        // The focus comes back as soon as the program has seen the loss.
        regainAfterReport_ = false;
        cooperation_ = Cooperation::kNotReset;
        return D3DERR_DEVICELOST;
    }
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
    // A reset that fails leaves the device waiting for a good one.
    const HRESULT valid = ValidatePresentParameters(adapter_, wanted.hDeviceWindow, wanted);
    if (valid != D3D_OK || wanted.hDeviceWindow != window_ || !makeCurrent()) {
        cooperation_ = Cooperation::kNotReset;
        return valid != D3D_OK ? valid : D3DERR_INVALIDCALL;
    }
    batch_.clear();
    batchIndexCount_ = 0;
    batchesThisFrame_ = 0;
    unbindAll();
    destroyFramebuffers();
    const D3DPRESENT_PARAMETERS previous = parameters_;
    parameters_ = wanted;
    colorFormat_ = BackBufferFormat(parameters_.BackBufferFormat);
    if (!createFramebuffers()) {
        destroyFramebuffers();
        parameters_ = previous;
        colorFormat_ = BackBufferFormat(parameters_.BackBufferFormat);
        createFramebuffers();
        cooperation_ = Cooperation::kNotReset;
        return D3DERR_NOTAVAILABLE;
    }
    // Direct3D 8 loses every device state in a reset; managed resources stay.
    resetStates();
    applyWindowMode();
    inScene_ = false;
    cooperation_ = Cooperation::kOperational;
    return D3D_OK;
}

HRESULT GlDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) {
    if (FaultDue(tundra_testing::FaultCall::CreateTexture)) {
        if (texture) *texture = nullptr;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    return GlTexture::Create(this, width, height, levels, usage, format, pool, texture);
}

HRESULT GlDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer8** vertexBuffer) {
    if (FaultDue(tundra_testing::FaultCall::CreateVertexBuffer)) {
        if (vertexBuffer) *vertexBuffer = nullptr;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
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

HRESULT GlDevice::Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                        float z, DWORD stencil) {
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !parameters_.EnableAutoDepthStencil) {
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
    glClearColor(((color >> 16) & 255) / 255.0f, ((color >> 8) & 255) / 255.0f,
                 (color & 255) / 255.0f, (color >> 24) / 255.0f);
    glClearDepth(std::min(1.0f, std::max(0.0f, z)));
    glClearStencil(GLint(stencil));
    if (rectCount == 0) {
        cache_.enable(GL_SCISSOR_TEST, false);
        glClear(mask);
        return D3D_OK;
    }
    const LONG width = LONG(parameters_.BackBufferWidth), height = LONG(parameters_.BackBufferHeight);
    cache_.enable(GL_SCISSOR_TEST, true);
    for (DWORD i = 0; i < rectCount; ++i) {
        const LONG x1 = std::max<LONG>(0, rects[i].x1), y1 = std::max<LONG>(0, rects[i].y1);
        const LONG x2 = std::min(width, rects[i].x2), y2 = std::min(height, rects[i].y2);
        if (x1 >= x2 || y1 >= y2) continue;
        glScissor(x1, glRowOf(y1, y2), x2 - x1, y2 - y1);
        glClear(mask);
    }
    cache_.enable(GL_SCISSOR_TEST, false);
    return D3D_OK;
}

HRESULT GlDevice::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    if (cooperation_ != Cooperation::kOperational) return D3DERR_DEVICELOST;
    if (!makeCurrent()) return D3DERR_INVALIDCALL;
    flushBatch();
    batchesThisFrame_ = 0;
    if (!direct_) presentFromFramebuffers();
    presentedOnce_ = true;
    // Listeners read the finished frame before the swap: a window's back
    // buffer holds nothing defined after it.
    inPresent_ = true;
    for (platform_linux::PresentListener listener : PresentListeners()) listener(this);
    inPresent_ = false;
    if (plannedLosses_ > 0) {
        --plannedLosses_;
        loseDevice();
        regainAfterReport_ = true;
    }
    if (!makeCurrent()) return D3D_OK;
    SDL_GL_SwapWindow(sdlWindow_);
    // On a display the swap hands the frame to the driver; on the headless
    // single-buffered window it does not, and a software driver then takes
    // frames that sync on nothing (no text, no upload, no read-back) far
    // faster than it draws them: seconds of queued frames delay input and
    // the window's closing. The frame is handed over here as a swap would.
    glFlush();
    waitForRefresh();
    glBindFramebuffer(GL_FRAMEBUFFER, renderFramebuffer_);
    if (direct_) {
        // A window resized under the device no longer fits the back buffer:
        // from the next frame on it is drawn aside and scaled.
        int windowWidth = 0, windowHeight = 0;
        SDL_GL_GetDrawableSize(sdlWindow_, &windowWidth, &windowHeight);
        if (UINT(windowWidth) != parameters_.BackBufferWidth ||
            UINT(windowHeight) != parameters_.BackBufferHeight) {
            destroyFramebuffers();
            if (!createFramebuffers()) cooperation_ = Cooperation::kNotReset;
        }
    }
    return D3D_OK;
}

void GlDevice::presentFromFramebuffers() {
    const GLint width = GLint(parameters_.BackBufferWidth);
    const GLint height = GLint(parameters_.BackBufferHeight);
    // Blits obey the scissor test and colour mask.
    cache_.enable(GL_SCISSOR_TEST, false);
    cache_.colorMask(0xF);
    renderStatesDirty_ = true;
    if (flipBuffers_) {
        // The back buffer becomes the presented one and the old presented
        // buffer the next back buffer, which Direct3D leaves undefined
        // (discard) or holding the frame before (flip): no copy.
        std::swap(renderFramebuffer_, presentFramebuffer_);
        std::swap(colorBuffer_, presentBuffer_);
    } else {
        glBlitNamedFramebuffer(renderFramebuffer_, presentFramebuffer_, 0, 0, width, height, 0, 0,
                               width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    int windowWidth = 0, windowHeight = 0;
    SDL_GL_GetDrawableSize(sdlWindow_, &windowWidth, &windowHeight);
    if (windowWidth > 0 && windowHeight > 0) {
        const bool sameSize = windowWidth == width && windowHeight == height;
        // Mesa's software drivers on X11 take a window's new size when a
        // viewport is set: a window that grew after its context was made
        // (a framed window made full screen, then resized by the window
        // manager) would otherwise keep its old, smaller surface. The back
        // buffer's viewport, which drawing uses, is set again afterwards.
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, windowWidth, windowHeight);
        // The window's framebuffer has its first row at the bottom.
        glBlitNamedFramebuffer(presentFramebuffer_, 0, 0, 0, width, height, 0, windowHeight,
                               windowWidth, 0, GL_COLOR_BUFFER_BIT,
                               sameSize ? GL_NEAREST : GL_LINEAR);
        glViewport(0, 0, width, height);
    }
}

void GlDevice::waitForRefresh() {
    // A full-screen device presents once per display refresh. Where the swap
    // does not wait by itself (headless, or a driver ignoring the interval),
    // the remaining time of the period is slept here.
    const uint64_t now = SDL_GetPerformanceCounter();
    const bool paced = !parameters_.Windowed && parameters_.FullScreen_PresentationInterval !=
                                                    DWORD(D3DPRESENT_INTERVAL_IMMEDIATE);
    if (paced && lastPresentCounter_ != 0) {
        UINT refresh = parameters_.FullScreen_RefreshRateInHz;
        if (refresh == 0) refresh = 60;
        const uint64_t period = SDL_GetPerformanceFrequency() / refresh;
        const uint64_t elapsed = now - lastPresentCounter_;
        if (elapsed < period) {
            const uint64_t waitMs = (period - elapsed) * 1000 / SDL_GetPerformanceFrequency();
            if (waitMs > 0) SDL_Delay(Uint32(waitMs));
        }
    }
    lastPresentCounter_ = SDL_GetPerformanceCounter();
}

bool GlDevice::readBack(std::vector<uint32_t>& pixels, UINT& width, UINT& height) {
    if (!presentedOnce_ || !makeCurrent()) return false;
    // A double-buffered window holds nothing defined in its back buffer after
    // the swap, and its front buffer is the window system's (nothing at all
    // while the window is hidden): only present listeners see the frame.
    if (direct_ && swapsBuffers_ && !inPresent_) return false;
    width = parameters_.BackBufferWidth;
    height = parameters_.BackBufferHeight;
    std::vector<uint32_t> rows(size_t(width) * height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, presentFramebuffer_);
    // A single-buffered surface (headless) keeps the frame in its only buffer
    // until the next frame draws.
    if (direct_) glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 rows.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, renderFramebuffer_);
    pixels.resize(rows.size());
    const uint32_t forcedAlpha = colorFormat_->hasAlpha ? 0u : 0xFF000000u;
    for (UINT y = 0; y < height; ++y) {
        // The window's rows run bottom-up.
        const UINT row = direct_ ? height - 1 - y : y;
        const uint32_t* source = rows.data() + size_t(row) * width;
        uint32_t* target = pixels.data() + size_t(y) * width;
        for (UINT x = 0; x < width; ++x) target[x] = source[x] | forcedAlpha;
    }
    return true;
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
        const GLfloat ambient[4] = {((value >> 16) & 255) / 255.0f, ((value >> 8) & 255) / 255.0f,
                                    (value & 255) / 255.0f, (value >> 24) / 255.0f};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
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

HRESULT GlDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                       DWORD value) {
    if (stage >= DWORD(kMaxStages) || type == 0 || type >= D3DTEXTURESTAGESTATETYPE(kStageStates)) {
        return D3DERR_INVALIDCALL;
    }
    if (stageStates_[stage][type] == value) return D3D_OK;
    stageStates_[stage][type] = value;
    stagesDirty_ = true;
    if (type == D3DTSS_TEXCOORDINDEX) arraysDirty_ = true;
    return D3D_OK;
}

HRESULT GlDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                       DWORD* value) {
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
    cache_.enable(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != FALSE);
    cache_.blendFunc(BlendFactor(rs[D3DRS_SRCBLEND]), BlendFactor(rs[D3DRS_DESTBLEND]));
    cache_.enable(GL_ALPHA_TEST, rs[D3DRS_ALPHATESTENABLE] != FALSE);
    cache_.alphaFunc(CompareFunction(rs[D3DRS_ALPHAFUNC]), (rs[D3DRS_ALPHAREF] & 255) / 255.0f);
    cache_.colorMask(rs[D3DRS_COLORWRITEENABLE] & 0xF);
    cache_.enable(GL_MULTISAMPLE, rs[D3DRS_MULTISAMPLEANTIALIAS] != FALSE);
    const DWORD cull = rs[D3DRS_CULLMODE];
    cache_.enable(GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
    // Direct3D's front faces are clockwise on screen; CCW culls the others.
    cache_.frontFace(cull == D3DCULL_CW ? GL_CCW : GL_CW);
    cache_.cullFace(GL_BACK);
    // Pre-transformed vertices are never lit.
    const VertexLayout& layout = layout_;
    const bool lit = rs[D3DRS_LIGHTING] != FALSE && !layout.transformed;
    cache_.enable(GL_LIGHTING, lit);
    cache_.enable(GL_COLOR_MATERIAL, lit && layout.diffuse >= 0 && rs[D3DRS_COLORVERTEX]);
    renderStatesDirty_ = false;
}

void GlDevice::applySampler(int stage) {
    const auto& s = stageStates_[stage];
    SamplerSettings settings;
    const bool linearMin = s[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
    switch (s[D3DTSS_MIPFILTER]) {
    case D3DTEXF_NONE: settings.minFilter = linearMin ? GL_LINEAR : GL_NEAREST; break;
    case D3DTEXF_POINT:
        settings.minFilter = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        break;
    default:
        settings.minFilter = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        break;
    }
    settings.magFilter = s[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
    auto wrap = [](DWORD address) -> GLint {
        switch (address) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        default: return GL_REPEAT;
        }
    };
    settings.wrapS = wrap(s[D3DTSS_ADDRESSU]);
    settings.wrapT = wrap(s[D3DTSS_ADDRESSV]);
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
        const auto& s = stageStates_[stage];
        // The first disabled colour operation ends the cascade: no later
        // stage takes part, whatever it is set to.
        if (ended || s[D3DTSS_COLOROP] == D3DTOP_DISABLE) {
            ended = true;
            cache_.textureEnabled(stage, false);
            continue;
        }
        cache_.textureEnabled(stage, true);
        cache_.bindTexture(stage,
                           textures_[stage] ? textures_[stage]->sampledTexture() : blackTexture_);
        applySampler(stage);
        const CombineOperation color =
            OperationFor(s[D3DTSS_COLOROP], s[D3DTSS_COLORARG1], s[D3DTSS_COLORARG2]);
        const CombineOperation alpha =
            OperationFor(s[D3DTSS_ALPHAOP], s[D3DTSS_ALPHAARG1], s[D3DTSS_ALPHAARG2]);
        UnitCombine combine;
        combine.combineRgb = color.function;
        combine.combineAlpha = alpha.function;
        combine.rgbScale = color.scale;
        combine.alphaScale = alpha.scale;
        const CombineArgument c0 = ArgumentFor(color.first), c1 = ArgumentFor(color.second);
        const CombineArgument a0 = ArgumentFor(alpha.first), a1 = ArgumentFor(alpha.second);
        combine.sourceRgb[0] = c0.source;
        combine.sourceRgb[1] = c1.source;
        combine.operandRgb[0] = c0.operandRgb;
        combine.operandRgb[1] = c1.operandRgb;
        combine.sourceAlpha[0] = a0.source;
        combine.sourceAlpha[1] = a1.source;
        combine.operandAlpha[0] = a0.operandAlpha;
        combine.operandAlpha[1] = a1.operandAlpha;
        cache_.combine(stage, combine);
        cache_.envColor(stage, factor);
    }
    stagesDirty_ = false;
}

void GlDevice::applyTransforms() {
    const UINT width = parameters_.BackBufferWidth, height = parameters_.BackBufferHeight;
    const D3DMATRIX shift = PixelCentreShift(width, height);
    if (layout_.transformed) {
        // Screen pixels straight to clip space: x right, y down, z as given.
        D3DMATRIX screen = Identity();
        screen._11 = 2.0f / float(width);
        screen._22 = -2.0f / float(height);
        screen._41 = -1.0f;
        screen._42 = 1.0f;
        const D3DMATRIX identity = Identity();
        cache_.modelView(&identity.m[0][0]);
        const D3DMATRIX projection = Multiply(screen, shift);
        cache_.projection(&projection.m[0][0]);
    } else {
        // Row vectors: v · World · View · Projection. GL reads each array
        // column-major, i.e. transposed, which turns the same products into
        // its column-vector form unchanged.
        const D3DMATRIX modelView = Multiply(world_, view_);
        const D3DMATRIX projection = Multiply(projection_, shift);
        cache_.modelView(&modelView.m[0][0]);
        cache_.projection(&projection.m[0][0]);
    }
    transformsDirty_ = false;
}

bool GlDevice::applyVertexArrays() {
    const VertexLayout& layout = layout_;
    if (!layout.valid || !stream_ || stride_ < layout.size) return false;
    cache_.arrayBuffer(stream_->uploadedBuffer());
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
    return true;
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
    const bool batched = triangles && BatchingEnabled();
    // A draw that joins a batch under unchanged state makes no GL call at
    // all; everything else needs the context.
    if (renderStatesDirty_ || stagesDirty_ || transformsDirty_ || arraysDirty_ || !batched) {
        if (!makeCurrent()) return D3DERR_INVALIDCALL;
        // The collected triangles belong to the state GL still has: draw
        // them before anything changes it.
        flushBatch();
        if (renderStatesDirty_) applyRenderStates();
        if (stagesDirty_) applyStages();
        if (transformsDirty_) applyTransforms();
        if (arraysDirty_ && !applyVertexArrays()) return D3DERR_INVALIDCALL;
    }
    if (batched) {
        batch_.push_back({uint32_t(primitiveType), startVertex, primitiveCount});
        batchIndexCount_ += size_t(primitiveCount) * 3;
    } else {
        glDrawArrays(mode, GLint(startVertex), GLsizei(vertices));
    }
    if (layout_.diffuse >= 0) cache_.colorArrayUsed();
    return D3D_OK;
}

void GlDevice::flushBatch() {
    if (batch_.empty()) return;
    if (makeCurrent()) drawBatch();
    batch_.clear();
    batchIndexCount_ = 0;
}

void GlDevice::drawBatch() {
    if (batch_.size() == 1) {
        // One draw on its own needs no index list.
        const BatchedDraw& draw = batch_.front();
        GLenum mode = GL_TRIANGLES;
        uint64_t vertices = 0;
        PrimitiveShape(D3DPRIMITIVETYPE(draw.type), draw.count, mode, vertices);
        glDrawArrays(mode, GLint(draw.start), GLsizei(vertices));
        return;
    }
    const GLsizei indexCount = GLsizei(batchIndexCount_);
    // Beyond this many batches in one frame the scene is not a static level
    // drawn again: draw from memory instead of keeping more buffers.
    constexpr size_t kMaxCachedBatches = 4096;
    if (batchesThisFrame_ >= kMaxCachedBatches) {
        buildBatchIndices();
        cache_.elementBuffer(0);
        glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, indexScratch_.data());
        return;
    }
    if (cachedBatches_.size() <= batchesThisFrame_) cachedBatches_.resize(batchesThisFrame_ + 1);
    CachedBatch& cached = cachedBatches_[batchesThisFrame_++];
    const bool same = cached.draws.size() == batch_.size() &&
                      std::memcmp(cached.draws.data(), batch_.data(),
                                  batch_.size() * sizeof(BatchedDraw)) == 0;
    if (!same) {
        buildBatchIndices();
        if (!cached.indexBuffer) glCreateBuffers(1, &cached.indexBuffer);
        glNamedBufferData(cached.indexBuffer, GLsizeiptr(indexScratch_.size() * sizeof(GLuint)),
                          indexScratch_.data(), GL_STATIC_DRAW);
        cached.draws.assign(batch_.begin(), batch_.end());
    }
    cache_.elementBuffer(cached.indexBuffer);
    glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, nullptr);
}

void GlDevice::buildBatchIndices() {
    indexScratch_.resize(batchIndexCount_);
    GLuint* out = indexScratch_.data();
    for (const BatchedDraw& draw : batch_) {
        const GLuint start = draw.start;
        if (draw.type == D3DPT_TRIANGLEFAN) {
            for (GLuint i = 0; i < draw.count; ++i) {
                *out++ = start;
                *out++ = start + i + 1;
                *out++ = start + i + 2;
            }
        } else if (draw.type == D3DPT_TRIANGLELIST) {
            for (GLuint i = 0; i < draw.count * 3; ++i) *out++ = start + i;
        } else {
            // Strips: every second triangle swaps its first two vertices to
            // keep the winding.
            for (GLuint i = 0; i < draw.count; ++i) {
                const bool odd = (i & 1) != 0;
                *out++ = start + i + (odd ? 1 : 0);
                *out++ = start + i + (odd ? 0 : 1);
                *out++ = start + i + 2;
            }
        }
    }
}

void GlDevice::deleteBatchBuffers() {
    for (CachedBatch& cached : cachedBatches_) {
        if (!cached.indexBuffer) continue;
        cache_.bufferDeleted(cached.indexBuffer);
        glDeleteBuffers(1, &cached.indexBuffer);
    }
    cachedBatches_.clear();
    batchesThisFrame_ = 0;
}

}  // namespace gl_d3d8

namespace platform_linux {

void AddPresentListener(PresentListener listener) {
    gl_d3d8::PresentListeners().push_back(listener);
}

}  // namespace platform_linux

namespace tundra_testing {

bool ReadBackFrame(IDirect3DDevice8* device, std::vector<uint32_t>& pixels, UINT& width,
                   UINT& height) {
    auto* glDevice = dynamic_cast<gl_d3d8::GlDevice*>(device);
    return glDevice && glDevice->readBack(pixels, width, height);
}

void SetDrawBatching(bool enabled) { gl_d3d8::BatchingEnabled() = enabled; }

void SetDirectDrawing(bool enabled) { gl_d3d8::DirectDrawingEnabled() = enabled; }

bool DrawsDirectly(IDirect3DDevice8* device) {
    auto* glDevice = dynamic_cast<gl_d3d8::GlDevice*>(device);
    return glDevice && glDevice->drawsDirectly();
}

void ForceDeviceLoss(IDirect3DDevice8* device) {
    if (auto* glDevice = dynamic_cast<gl_d3d8::GlDevice*>(device)) glDevice->loseDevice();
}

void RestoreDeviceFocus(IDirect3DDevice8* device) {
    if (auto* glDevice = dynamic_cast<gl_d3d8::GlDevice*>(device)) glDevice->regainFocus();
}

void LoseAfterPresents(IDirect3DDevice8* device, unsigned cycles) {
    if (auto* glDevice = dynamic_cast<gl_d3d8::GlDevice*>(device))
        glDevice->loseAfterPresents(cycles);
}

}  // namespace tundra_testing
