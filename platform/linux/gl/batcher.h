// Consecutive triangle draws under unchanged state, collected and drawn as
// one indexed triangle list. The device adds each triangle draw and flushes
// at every state change (and at the end of a scene); GL then sees one draw
// where Direct3D saw dozens.
#pragma once

#include "../d3d8.h"
#include "gl_headers.h"
#include "state_cache.h"

#include <cstdint>
#include <vector>

namespace gl_d3d8 {

// One triangle draw waiting in a batch, as DrawPrimitive received it.
struct BatchedDraw {
    uint32_t type, start, count;
};

// Appends the triangle-list indices that draw `draw` (a list, strip or fan)
// with its windings kept.
void AppendTriangleIndices(const BatchedDraw& draw, std::vector<GLuint>& indices);

class DrawBatcher {
public:
    explicit DrawBatcher(GlStateCache& cache) : cache_(cache) {}

    // `type` is a triangle list, strip or fan.
    void add(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount);
    bool empty() const { return batch_.empty(); }
    // Draws what was collected with the GL state now set (the context must
    // be current) and starts an empty batch.
    void flush();
    // Forgets what was collected without drawing it.
    void drop();
    // The next batch is the first of a new frame.
    void endFrame() { batchesThisFrame_ = 0; }
    // Deletes the kept index buffers (the context must be current).
    void releaseBuffers();

private:
    void drawCached(GLsizei indexCount);
    void buildIndices();

    GlStateCache& cache_;
    std::vector<BatchedDraw> batch_;
    size_t indexCount_ = 0;
    // The index lists of this frame's batches, in the order they were drawn,
    // kept in GL buffers: a static scene sends the same draws every frame,
    // so the next frame's batch at the same place usually finds its list
    // ready and only compares the draws.
    struct CachedBatch {
        std::vector<BatchedDraw> draws;
        GLuint indexBuffer = 0;
    };
    std::vector<CachedBatch> cachedBatches_;
    size_t batchesThisFrame_ = 0;
    std::vector<GLuint> indexScratch_;
};

}  // namespace gl_d3d8
