// Small draws that differ only in their world transform, gathered into one
// GL draw. A string is drawn one glyph at a time, each glyph a four-vertex
// fan under its own world translation; GL would otherwise see one draw per
// glyph, each with its own matrix upload, setup and binning. The gathered
// vertices are copied with the world transform applied to their positions,
// so the merged draw runs under the view and projection alone.
#pragma once

#include "../d3d8.h"
#include "fixed_function.h"
#include "gl_headers.h"
#include "state_cache.h"

#include <cstdint>
#include <vector>

namespace gl_d3d8 {

// Draws with more vertices than this are left to the ordinary batch: the
// copy would cost more than the GL draw it saves.
constexpr uint64_t kMergedDrawVertices = 16;

// A world matrix that keeps w at 1, so positions moved by it stay
// three floats.
bool WorldIsAffine(const D3DMATRIX& world);

class WorldMerge {
public:
    explicit WorldMerge(GlStateCache& cache) : cache_(cache) {}

    bool empty() const { return indices_.empty(); }
    // Copies the vertices of one triangle draw (`type`: list, strip or fan)
    // from `stream` (`stride` bytes apart, positions first), their positions
    // moved by `world`.
    void add(const BYTE* stream, UINT stride, const D3DMATRIX& world, D3DPRIMITIVETYPE type,
             UINT startVertex, UINT primitiveCount);
    // Sends the gathered vertices to GL and binds them as the array buffer
    // (the vertex pointers must then be set for `stride`), ready for draw().
    void upload();
    // Draws what was gathered with the GL state now set and starts over.
    void draw();
    void drop();
    GLuint buffer() const { return buffer_; }
    // Deletes the vertex buffer (the context must be current).
    void releaseBuffer();

private:
    GlStateCache& cache_;
    std::vector<BYTE> vertices_;
    std::vector<GLuint> indices_;
    UINT stride_ = 0;
    GLuint buffer_ = 0;
};

}  // namespace gl_d3d8
