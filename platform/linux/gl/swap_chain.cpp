#include "swap_chain.h"

#include <array>
#include <initializer_list>
#include <utility>

namespace gl_d3d8 {

namespace {

GLint BoundFramebufferValue(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

GLuint NewRenderbuffer(GLsizei samples, GLenum format, GLsizei width, GLsizei height) {
    GLuint renderbuffer = 0;
    glGenRenderbuffers(1, &renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
    return renderbuffer;
}

// One level, never wrapped: the present pass samples it.
GLuint NewColorTexture(GlStateCache& cache, GLenum format, GLsizei width, GLsizei height) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    cache.bindForEditing(texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    return texture;
}

// Attaches to the bound framebuffer.
void Attach(GLenum attachment, GLuint renderbuffer) {
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, renderbuffer);
}

void AttachColor(GLuint buffer, bool renderbuffer) {
    if (renderbuffer) {
        Attach(GL_COLOR_ATTACHMENT0, buffer);
    } else {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, buffer, 0);
    }
}

bool BoundFramebufferComplete() {
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// Copies `width` x `height` pixels of framebuffer `from` onto all of `to`,
// which is `toWidth` x `toHeight` (scaled when that differs), its rows in
// reverse order when `upsideDown`.
void Blit(GLuint from, GLint width, GLint height, GLuint to, GLint toWidth, GLint toHeight,
          bool upsideDown) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, from);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, to);
    const bool sameSize = width == toWidth && height == toHeight;
    glBlitFramebuffer(0, 0, width, height, 0, upsideDown ? toHeight : 0, toWidth,
                      upsideDown ? 0 : toHeight, GL_COLOR_BUFFER_BIT,
                      sameSize ? GL_NEAREST : GL_LINEAR);
}

}  // namespace

bool SwapChain::create(const D3DPRESENT_PARAMETERS& parameters, bool directAllowed) {
    parameters_ = parameters;
    colorFormat_ = BackBufferFormat(parameters_.BackBufferFormat);
    directAllowed_ = directAllowed;
    direct_ = windowServesBackBuffer();
    return direct_ ? createDirectTarget() : createFramebuffers();
}

// The window's surface serves as the back buffer when it holds exactly what
// the device's own framebuffer would: the same size, 8-bit channels with the
// same alpha, the same depth precision and enough stencil, one sample. Only a
// discarded windowed back buffer qualifies: flip and copy promise contents
// after Present that a swapped window buffer does not keep.
bool SwapChain::windowServesBackBuffer() {
    const D3DPRESENT_PARAMETERS& p = parameters_;
    if (!directAllowed_ || !p.Windowed || p.SwapEffect != D3DSWAPEFFECT_DISCARD ||
        p.MultiSampleType != D3DMULTISAMPLE_NONE || !p.EnableAutoDepthStencil) {
        return false;
    }
    if (p.BackBufferFormat != D3DFMT_X8R8G8B8 && p.BackBufferFormat != D3DFMT_A8R8G8B8) {
        return false;
    }
    int windowWidth = 0, windowHeight = 0;
    SDL_GL_GetDrawableSize(window_, &windowWidth, &windowHeight);
    if (UINT(windowWidth) != p.BackBufferWidth || UINT(windowHeight) != p.BackBufferHeight) {
        return false;
    }
    const DepthBufferFormat* depth = DepthStencilFormat(p.AutoDepthStencilFormat);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const bool matches = BoundFramebufferValue(GL_RED_BITS) == 8 &&
                         BoundFramebufferValue(GL_GREEN_BITS) == 8 &&
                         BoundFramebufferValue(GL_BLUE_BITS) == 8 &&
                         BoundFramebufferValue(GL_ALPHA_BITS) == (colorFormat_->hasAlpha ? 8 : 0) &&
                         BoundFramebufferValue(GL_SAMPLES) == 0 &&
                         BoundFramebufferValue(GL_DEPTH_BITS) == depth->depthBits &&
                         BoundFramebufferValue(GL_STENCIL_BITS) >= depth->stencilBits;
    return glGetError() == GL_NO_ERROR && matches;
}

bool SwapChain::createDirectTarget() {
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
void SwapChain::clearNewTarget() {
    cache_.enable(GL_SCISSOR_TEST, false);
    cache_.colorMask(0xF);
    cache_.depthMask(true);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

GLint SwapChain::glRowOf(LONG top, LONG bottom) const {
    return direct_ ? GLint(LONG(parameters_.BackBufferHeight) - bottom) : GLint(top);
}

// Row 0 of every framebuffer is Direct3D's top row (the device's transforms
// turn GL's y round, see topRowFirst), so scissor rectangles take Direct3D's
// coordinates.
bool SwapChain::createFramebuffers() {
    const GLsizei width = GLsizei(parameters_.BackBufferWidth);
    const GLsizei height = GLsizei(parameters_.BackBufferHeight);
    const GLsizei samples = GLsizei(parameters_.MultiSampleType);
    const DepthBufferFormat* depth = parameters_.EnableAutoDepthStencil
                                         ? DepthStencilFormat(parameters_.AutoDepthStencilFormat)
                                         : nullptr;
    const GLenum format = colorFormat_->internalFormat;
    multisampled_ = samples > 0;
    colorBuffer_ = multisampled_ ? NewRenderbuffer(samples, format, width, height)
                                 : NewColorTexture(cache_, format, width, height);
    if (depth) depthBuffer_ = NewRenderbuffer(samples, depth->internalFormat, width, height);
    presentBuffer_ = NewColorTexture(cache_, format, width, height);
    // A back buffer that Present may discard or flip can trade places with
    // the presented one instead of being copied into it: both framebuffers
    // then draw with the one depth buffer.
    flipBuffers_ = samples == 0 && (parameters_.SwapEffect == D3DSWAPEFFECT_DISCARD ||
                                    parameters_.SwapEffect == D3DSWAPEFFECT_FLIP);
    glGenFramebuffers(1, &presentFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, presentFramebuffer_);
    AttachColor(presentBuffer_, false);
    if (flipBuffers_ && depth) Attach(depth->attachment, depthBuffer_);
    bool complete = BoundFramebufferComplete();
    if (flipBuffers_) {
        glClearBufferfv(GL_COLOR, 0, std::array<GLfloat, 4>{0, 0, 0, 1}.data());
    }
    glGenFramebuffers(1, &renderFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, renderFramebuffer_);
    AttachColor(colorBuffer_, multisampled_);
    if (depth) Attach(depth->attachment, depthBuffer_);
    complete = complete && BoundFramebufferComplete();
    glViewport(0, 0, width, height);
    clearNewTarget();
    presentedOnce_ = false;
    return complete && glGetError() == GL_NO_ERROR;
}

void SwapChain::destroy() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &renderFramebuffer_);
    glDeleteFramebuffers(1, &presentFramebuffer_);
    for (GLuint texture : {presentBuffer_, multisampled_ ? 0 : colorBuffer_}) {
        if (!texture) continue;
        cache_.textureDeleted(texture);
        glDeleteTextures(1, &texture);
    }
    if (multisampled_) glDeleteRenderbuffers(1, &colorBuffer_);
    if (depthBuffer_) glDeleteRenderbuffers(1, &depthBuffer_);
    presentPass_.release();
    renderFramebuffer_ = presentFramebuffer_ = colorBuffer_ = presentBuffer_ = depthBuffer_ = 0;
}

void SwapChain::applyWindowMode() {
    const int display = SDL_GetWindowDisplayIndex(window_);
    if (parameters_.Windowed) {
        SDL_SetWindowFullscreen(window_, 0);
        if (display >= 0 && UINT(display) != adapter_) {
            SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(adapter_),
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
        SDL_SetWindowDisplayMode(window_, &mode);
    }
    if (display >= 0 && UINT(display) != adapter_) {
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(adapter_),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(adapter_));
    }
    // Direct3D makes the device window cover the screen: its client area
    // becomes the back buffer, whatever frame the window was made with.
    SDL_SetWindowSize(window_, wanted.w, wanted.h);
    SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN);
    const bool immediate = parameters_.FullScreen_PresentationInterval ==
                           DWORD(D3DPRESENT_INTERVAL_IMMEDIATE);
    SDL_GL_SetSwapInterval(immediate ? 0 : 1);
}

void SwapChain::finishFrame() {
    if (!direct_) scaleOntoWindow();
    presentedOnce_ = true;
}

void SwapChain::scaleOntoWindow() {
    const GLint width = GLint(parameters_.BackBufferWidth);
    const GLint height = GLint(parameters_.BackBufferHeight);
    // Blits obey the scissor test and colour mask.
    cache_.enable(GL_SCISSOR_TEST, false);
    cache_.colorMask(0xF);
    if (flipBuffers_) {
        // The back buffer becomes the presented one and the old presented
        // buffer the next back buffer, which Direct3D leaves undefined
        // (discard) or holding the frame before (flip): no copy.
        std::swap(renderFramebuffer_, presentFramebuffer_);
        std::swap(colorBuffer_, presentBuffer_);
    } else {
        Blit(renderFramebuffer_, width, height, presentFramebuffer_, width, height, false);
    }
    int windowWidth = 0, windowHeight = 0;
    SDL_GL_GetDrawableSize(window_, &windowWidth, &windowHeight);
    if (windowWidth > 0 && windowHeight > 0) {
        // Mesa's software drivers on X11 take a window's new size when a
        // viewport is set: a window that grew after its context was made
        // (a framed window made full screen, then resized by the window
        // manager) would otherwise keep its old, smaller surface. The pass
        // sets the window's viewport; the back buffer's, which drawing
        // uses, is set again afterwards.
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (!presentPass_.draw(presentBuffer_, width, height, windowWidth, windowHeight)) {
            // The window's framebuffer has its first row at the bottom.
            glViewport(0, 0, windowWidth, windowHeight);
            Blit(presentFramebuffer_, width, height, 0, windowWidth, windowHeight, true);
        }
        glViewport(0, 0, width, height);
    }
}

bool SwapChain::show() {
    SDL_GL_SwapWindow(window_);
    // On a display the swap hands the frame to the driver; on the headless
    // single-buffered window it does not, and a software driver then takes
    // frames that sync on nothing (no text, no upload, no read-back) far
    // faster than it draws them: seconds of queued frames delay input and
    // the window's closing. The frame is handed over here as a swap would.
    glFlush();
    waitForRefresh();
    glBindFramebuffer(GL_FRAMEBUFFER, renderFramebuffer_);
    if (!direct_) return true;
    // A window resized under the device no longer fits the back buffer:
    // from the next frame on it is drawn aside and scaled.
    int windowWidth = 0, windowHeight = 0;
    SDL_GL_GetDrawableSize(window_, &windowWidth, &windowHeight);
    if (UINT(windowWidth) == parameters_.BackBufferWidth &&
        UINT(windowHeight) == parameters_.BackBufferHeight) {
        return true;
    }
    destroy();
    return create(parameters_, directAllowed_);
}

void SwapChain::waitForRefresh() {
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

bool SwapChain::readBack(std::vector<uint32_t>& pixels, UINT& width, UINT& height,
                         bool insidePresent) {
    if (!presentedOnce_) return false;
    // A double-buffered window holds nothing defined in its back buffer after
    // the swap, and its front buffer is the window system's (nothing at all
    // while the window is hidden): only present listeners see the frame.
    if (direct_ && swapsBuffers_ && !insidePresent) return false;
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

}  // namespace gl_d3d8
