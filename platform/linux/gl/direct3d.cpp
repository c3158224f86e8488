#include "direct3d.h"

#include "../internal.h"
#include "formats.h"
#include "gl_headers.h"
#include "live_devices.h"
#include "options.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace gl_d3d8 {

namespace {

// Asks for a 2.1 context: Mesa answers with its newest compatibility profile,
// which still has the fixed-function pipeline this device drives. Surface
// attributes (colour, depth and stencil sizes) are set only where windows are
// made (CreateWindowExA): a context whose configuration differs from its
// window's cannot be made current on EGL.
void RequestCompatibilityContext() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
}

// The current context's version, read from its text: GL_MAJOR_VERSION does
// not exist before GL 3.0.
struct GlVersion {
    int major = 0, minor = 0;
    std::string text;  // with the vendor's details, for the log
    bool atLeast(int wantedMajor, int wantedMinor) const {
        return major > wantedMajor || (major == wantedMajor && minor >= wantedMinor);
    }
};

GlVersion CurrentVersion() {
    GlVersion version;
    const char* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!text) return version;
    version.text = text;
    std::sscanf(text, "%d.%d", &version.major, &version.minor);
    return version;
}

bool HasExtension(const char* name) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* extension = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, i));
        if (extension && std::strcmp(extension, name) == 0) return true;
    }
    return false;
}

// The sample counts GL offers for 8-bit colour renderbuffers; GL would
// round any other count up, while Direct3D 8 refuses a multisample type the
// adapter does not have. A GL that cannot say offers no multisampling.
uint32_t SampleCounts(const GlVersion& version) {
    if (!version.atLeast(4, 2) && !HasExtension("GL_ARB_internalformat_query")) return 0;
    GLint number = 0;
    glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_NUM_SAMPLE_COUNTS, 1, &number);
    std::vector<GLint> counts(size_t(std::max(number, 0)));
    if (!counts.empty())
        glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_SAMPLES, number, counts.data());
    uint32_t mask = 0;
    for (GLint count : counts)
        if (count > 0 && count < 32) mask |= 1u << count;
    return mask;
}

// The colour format of the adapter's display mode, as Direct3D 8 names it;
// a mode SDL cannot tell is taken as the 32-bit one every desktop offers.
D3DFORMAT DisplayFormat(UINT adapter) {
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(int(adapter), &mode) != 0) return D3DFMT_X8R8G8B8;
    switch (mode.format) {
        case SDL_PIXELFORMAT_RGB565: return D3DFMT_R5G6B5;
        case SDL_PIXELFORMAT_RGB555: return D3DFMT_X1R5G5B5;
        case SDL_PIXELFORMAT_RGB24: return D3DFMT_R8G8B8;
        default: return D3DFMT_X8R8G8B8;
    }
}

// A windowed back buffer takes the display's format, or that format with an
// alpha channel in its unused bits: Direct3D 8 has no colour conversion on
// present (later versions and Wine's convert).
bool ShowsOnDisplay(D3DFORMAT backBuffer, D3DFORMAT display) {
    return backBuffer == display || (display == D3DFMT_X8R8G8B8 && backBuffer == D3DFMT_A8R8G8B8);
}

// Why there is no Direct3D 8 here, for the program's log and the terminal.
void ReportRefusal(const std::string& why) {
    const std::string line = "Direct3D 8 on OpenGL is not available: " + why;
    std::fprintf(stderr, "%s\n", line.c_str());
    platform_linux::WriteToProgramLog(line);
}

GlLimits LimitsOfCurrentContext() {
    GlLimits limits;
    const GlVersion version = CurrentVersion();
    if (!version.atLeast(kNeededGlMajor, kNeededGlMinor)) {
        ReportRefusal("it needs OpenGL " + std::to_string(kNeededGlMajor) + "." +
                      std::to_string(kNeededGlMinor) + " or newer, and found OpenGL " +
                      version.text);
        return limits;
    }
    limits.available = true;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limits.maxTextureSize);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &limits.maxRenderbufferSize);
    limits.sampleCounts = SampleCounts(version);
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &limits.textureUnits);
    if (limits.textureUnits > kMaxStages) limits.textureUnits = kMaxStages;
    limits.clipControl = version.atLeast(4, 5) || HasExtension("GL_ARB_clip_control");
    return limits;
}

GlLimits MeasureLimits() {
    GlLimits limits;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return limits;
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previousContext = SDL_GL_GetCurrentContext();
    RequestCompatibilityContext();
    SDL_Window* window =
        SDL_CreateWindow("probe", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (context) {
        limits = LimitsOfCurrentContext();
    } else {
        ReportRefusal(std::string("no OpenGL context could be made (") + SDL_GetError() + ")");
    }
    if (context) SDL_GL_DeleteContext(context);
    if (window) SDL_DestroyWindow(window);
    if (previousContext) SDL_GL_MakeCurrent(previousWindow, previousContext);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return limits;
}

}  // namespace

const GlLimits& ProbeGl() {
    static const GlLimits limits = MeasureLimits();
    return limits;
}

void FillCaps(UINT adapter, D3DCAPS8* caps) {
    const GlLimits& limits = ProbeGl();
    *caps = D3DCAPS8{};
    caps->DeviceType = D3DDEVTYPE_HAL;
    caps->AdapterOrdinal = adapter;
    caps->PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    caps->MaxTextureWidth = static_cast<DWORD>(limits.maxTextureSize);
    caps->MaxTextureHeight = static_cast<DWORD>(limits.maxTextureSize);
    caps->MaxTextureBlendStages = static_cast<DWORD>(limits.textureUnits);
    caps->MaxSimultaneousTextures = static_cast<DWORD>(limits.textureUnits);
    caps->MaxPrimitiveCount = kMaxPrimitiveCount;
    caps->MaxVertexIndex = kMaxVertexIndex;
    caps->MaxStreams = 1;
}

GlDirect3D::GlDirect3D() { videoReady_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0; }

GlDirect3D::~GlDirect3D() {
    if (videoReady_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

UINT GlDirect3D::GetAdapterCount() {
    const int displays = videoReady_ ? SDL_GetNumVideoDisplays() : 0;
    return displays > 0 ? static_cast<UINT>(displays) : 0;
}

HRESULT GlDirect3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) {
    if (!caps || adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (!ProbeGl().available) return D3DERR_NOTAVAILABLE;
    FillCaps(adapter, caps);
    return D3D_OK;
}

HRESULT GlDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                 DWORD behaviorFlags, D3DPRESENT_PARAMETERS* presentParameters,
                                 IDirect3DDevice8** returnedDevice) {
    if (!returnedDevice || !presentParameters) return D3DERR_INVALIDCALL;
    *returnedDevice = nullptr;
    if (adapter >= GetAdapterCount()) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    // Exactly one way of processing vertices must be asked for; all three run
    // the same way here.
    const DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                              D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                              D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING) {
        return D3DERR_INVALIDCALL;
    }
    if (!ProbeGl().available) return D3DERR_NOTAVAILABLE;
    HWND window = presentParameters->hDeviceWindow ? presentParameters->hDeviceWindow : focusWindow;
    D3DPRESENT_PARAMETERS parameters = *presentParameters;
    TakeClientAreaForZeroSize(window, parameters);
    const HRESULT valid = validatePresentParameters(adapter, window, parameters);
    if (valid != D3D_OK) return valid;
    RequestCompatibilityContext();
    const HRESULT created =
        CreateGlDevice(this, adapter, window, parameters, ProcessOptions(), returnedDevice);
    // Direct3D 8 hands back the size it took.
    if (created == D3D_OK) *presentParameters = parameters;
    return created;
}

void TakeClientAreaForZeroSize(HWND window, D3DPRESENT_PARAMETERS& p) {
    if (!p.Windowed || (p.BackBufferWidth != 0 && p.BackBufferHeight != 0)) return;
    int width = 0, height = 0;
    if (!platform_linux::ClientAreaOf(window, width, height)) return;
    if (p.BackBufferWidth == 0) p.BackBufferWidth = width > 0 ? UINT(width) : 8;
    if (p.BackBufferHeight == 0) p.BackBufferHeight = height > 0 ? UINT(height) : 8;
}

HRESULT GlDirect3D::validatePresentParameters(UINT adapter, HWND window,
                                              const D3DPRESENT_PARAMETERS& p) const {
    // The device draws into a window made by CreateWindowExA; any other
    // handle has no surface behind it.
    if (!window || !platform_linux::SdlWindowOf(window)) return D3DERR_INVALIDCALL;
    // A back buffer without pixels cannot be made (a windowed one has taken
    // its zero sides from the window by now).
    if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) return D3DERR_INVALIDCALL;
    // Larger than GL renders into, or than any display could show: a size
    // this adapter does not have, not a wrong call.
    const GlLimits& limits = ProbeGl();
    const UINT maxEdge = std::min<UINT>(kMaxBackBufferEdge, UINT(limits.maxRenderbufferSize));
    if (p.BackBufferWidth > maxEdge || p.BackBufferHeight > maxEdge) return D3DERR_NOTAVAILABLE;
    // Only the display formats Direct3D 8 takes for back buffers.
    if (!BackBufferFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
    // A window shows the desktop's display mode: its back buffer has the
    // mode's format, and it has no refresh rate or presentation interval of
    // its own. Wine's Direct3D 8 lets all three pass; Direct3D 8's documented
    // rules, kept here, refuse them.
    if (p.Windowed) {
        if (!ShowsOnDisplay(p.BackBufferFormat, DisplayFormat(adapter))) return D3DERR_NOTAVAILABLE;
        if (p.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
        if (p.FullScreen_PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT)
            return D3DERR_INVALIDCALL;
    }
    // Direct3D 8 chains at most three back buffers, and copies from one only.
    if (p.BackBufferCount > 3) return D3DERR_INVALIDCALL;
    const bool copies = p.SwapEffect == D3DSWAPEFFECT_COPY ||
                        p.SwapEffect == D3DSWAPEFFECT_COPY_VSYNC;
    if (copies && p.BackBufferCount > 1) return D3DERR_INVALIDCALL;
    // The swap effect must be one Direct3D 8 defines.
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC) {
        return D3DERR_INVALIDCALL;
    }
    // Multisampling is off or takes 2 to 16 samples.
    const D3DMULTISAMPLE_TYPE samples = p.MultiSampleType;
    if (samples != D3DMULTISAMPLE_NONE && (samples < 2 || samples > 16)) {
        return D3DERR_INVALIDCALL;
    }
    // Direct3D 8 multisamples only back buffers that are discarded.
    if (samples != D3DMULTISAMPLE_NONE && p.SwapEffect != D3DSWAPEFFECT_DISCARD) {
        return D3DERR_INVALIDCALL;
    }
    // A sample count GL's renderbuffers do not have: this adapter lacks it.
    if (samples != D3DMULTISAMPLE_NONE && !(limits.sampleCounts & (1u << samples))) {
        return D3DERR_NOTAVAILABLE;
    }
    // An automatic depth buffer needs a depth (and stencil) format.
    if (p.EnableAutoDepthStencil && !DepthStencilFormat(p.AutoDepthStencilFormat)) {
        return D3DERR_INVALIDCALL;
    }
    // Full screen needs a display mode of the adapter of exactly the size
    // asked for, and the refresh rate closest to the one asked for. (A
    // driver without real modes, as the headless one, offers any size.)
    if (!p.Windowed) {
        SDL_DisplayMode wanted{};
        wanted.w = int(p.BackBufferWidth);
        wanted.h = int(p.BackBufferHeight);
        wanted.refresh_rate = int(p.FullScreen_RefreshRateInHz);
        SDL_DisplayMode found{};
        if (!SDL_GetClosestDisplayMode(int(adapter), &wanted, &found) || found.w != wanted.w ||
            found.h != wanted.h)
            return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}

IDirect3D8* CreateDirect3D(UINT sdkVersion) {
    // 120 is the Direct3D 8 SDK's version, 220 the one later headers carry.
    if (sdkVersion != 120 && sdkVersion != 220) return nullptr;
    if (!ProbeGl().available) return nullptr;
    LoadOptions();
    TrackLiveDevices();
    return new GlDirect3D();
}

}  // namespace gl_d3d8

namespace platform_linux {

bool GlDirect3DAvailable() { return gl_d3d8::ProbeGl().available; }

}  // namespace platform_linux
