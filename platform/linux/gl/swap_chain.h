// The back buffer and what Present does with it. When the window's own
// surface matches the back buffer (size, 8-bit channels, depth and stencil,
// single sample, discarded on Present) drawing goes straight into the
// window. Otherwise the device draws into a framebuffer object of the back
// buffer's size, format and sample count; Present resolves it into the
// "presented" framebuffer (what readBack reads) and draws that onto the
// window, scaled to its client area.
#pragma once

#include "../d3d8.h"
#include "formats.h"
#include "gl_headers.h"
#include "present_pass.h"
#include "state_cache.h"

#include <SDL.h>

#include <cstdint>
#include <vector>

namespace gl_d3d8 {

class SwapChain {
public:
    SwapChain(GlStateCache& cache, SDL_Window* window, UINT adapter)
        : cache_(cache), window_(window), adapter_(adapter), presentPass_(cache) {}

    // Makes the buffers for `parameters` (validated; the context current),
    // bound for drawing and cleared. `directAllowed`: the window may serve
    // as the back buffer. False when GL cannot make them.
    bool create(const D3DPRESENT_PARAMETERS& parameters, bool directAllowed);
    void destroy();
    // Full screen or windowed, display mode and swap interval as the present
    // parameters ask.
    void applyWindowMode();

    // Resolves the finished frame into the presented buffer and onto the
    // window (whose buffers are not swapped yet). Leaves states changed that
    // the cache knows of, and the framebuffer binding.
    void finishFrame();
    // Swaps the window's buffers, paces full-screen frames and binds the
    // next back buffer. False when the window changed under a back buffer it
    // served and no new one could be made.
    bool show();
    // The last presented frame, top row first, as 0xAARRGGBB; false when
    // there is none to read (see ObservedDevice::readBack).
    // `insidePresent`: between finishFrame and show.
    bool readBack(std::vector<uint32_t>& pixels, UINT& width, UINT& height, bool insidePresent);

    // A Direct3D row span [top, bottom) as the first GL row of the target.
    GLint glRowOf(LONG top, LONG bottom) const;
    bool drawsDirectly() const { return direct_; }
    // The target's first GL row is Direct3D's top row (a framebuffer's), not
    // its bottom row (the window's): GL's y runs the other way round.
    bool topRowFirst() const { return !direct_; }
    const D3DPRESENT_PARAMETERS& parameters() const { return parameters_; }

private:
    bool windowServesBackBuffer();
    bool createDirectTarget();
    bool createFramebuffers();
    void clearNewTarget();
    void scaleOntoWindow();
    void waitForRefresh();

    GlStateCache& cache_;
    SDL_Window* const window_;
    const UINT adapter_;
    D3DPRESENT_PARAMETERS parameters_{};
    const ColorBufferFormat* colorFormat_ = nullptr;
    bool directAllowed_ = true;
    PresentPass presentPass_;

    // The colour buffers are textures, which the present pass samples; a
    // multisampled back buffer is a renderbuffer, resolved into the
    // presented texture.
    GLuint renderFramebuffer_ = 0, colorBuffer_ = 0, depthBuffer_ = 0;
    GLuint presentFramebuffer_ = 0, presentBuffer_ = 0;
    bool multisampled_ = false;
    bool flipBuffers_ = false;  // Present swaps the two instead of copying
    // Drawing goes straight into the window's back buffer (GL's lower-left
    // origin there, so rows are flipped wherever the device names them).
    bool direct_ = false;
    bool swapsBuffers_ = false;  // the window is double-buffered
    bool presentedOnce_ = false;
    uint64_t lastPresentCounter_ = 0;
};

}  // namespace gl_d3d8
