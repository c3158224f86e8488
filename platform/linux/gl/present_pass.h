// Puts the presented frame onto the window: one rectangle that samples the
// frame as a texture, its top row at the window's top, filtered bilinearly
// when the window's size differs (Present stretches the back buffer onto the
// client area) and copied texel for texel when it does not.
//
// A drawn rectangle rather than glBlitFramebuffer: llvmpipe's blit draws
// through its general-purpose blitter, which costs about a third more CPU
// time per window than this plain textured rectangle.
#pragma once

#include "gl_headers.h"
#include "state_cache.h"

namespace gl_d3d8 {

class PresentPass {
public:
    explicit PresentPass(GlStateCache& cache) : cache_(cache) {}
    PresentPass(const PresentPass&) = delete;
    PresentPass& operator=(const PresentPass&) = delete;

    // Draws `frame` (`width` x `height`, Direct3D's top row first) over all
    // of the bound draw framebuffer, which is `toWidth` x `toHeight` with its
    // first row at the bottom. Leaves the viewport set to the target; the
    // cache knows every other state it changed. False when GL could not make
    // the program.
    bool draw(GLuint frame, GLsizei width, GLsizei height, GLsizei toWidth, GLsizei toHeight);
    // Deletes the program (the context must be current).
    void release();

private:
    bool build();

    GlStateCache& cache_;
    GLuint program_ = 0, vertexArray_ = 0;
    bool failed_ = false;
};

}  // namespace gl_d3d8
