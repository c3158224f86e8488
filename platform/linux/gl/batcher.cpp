#include "batcher.h"

#include "device_limits.h"
#include "fixed_function.h"

#include <cstring>

namespace gl_d3d8 {

void AppendTriangleIndices(const BatchedDraw& draw, std::vector<GLuint>& indices) {
    const GLuint start = draw.start;
    if (draw.type == D3DPT_TRIANGLEFAN) {
        for (GLuint i = 0; i < draw.count; ++i) {
            indices.insert(indices.end(), {start, start + i + 1, start + i + 2});
        }
    } else if (draw.type == D3DPT_TRIANGLELIST) {
        for (GLuint i = 0; i < draw.count * 3; ++i) indices.push_back(start + i);
    } else {
        // Strips: every second triangle swaps its first two vertices to keep
        // the winding.
        for (GLuint i = 0; i < draw.count; ++i) {
            const GLuint odd = i & 1;
            indices.insert(indices.end(), {start + i + odd, start + i + 1 - odd, start + i + 2});
        }
    }
}

void DrawBatcher::add(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    batch_.push_back({uint32_t(type), startVertex, primitiveCount});
    indexCount_ += size_t(primitiveCount) * 3;
}

void DrawBatcher::flush() {
    if (batch_.size() == 1) {
        // One draw on its own needs no index list.
        const BatchedDraw& draw = batch_.front();
        GLenum mode = GL_TRIANGLES;
        uint64_t vertices = 0;
        PrimitiveShape(D3DPRIMITIVETYPE(draw.type), draw.count, mode, vertices);
        glDrawArrays(mode, GLint(draw.start), GLsizei(vertices));
    } else if (!batch_.empty()) {
        drawCached(GLsizei(indexCount_));
    }
    drop();
}

void DrawBatcher::drop() {
    batch_.clear();
    indexCount_ = 0;
}

void DrawBatcher::drawCached(GLsizei indexCount) {
    if (batchesThisFrame_ >= kMaxCachedBatches) {
        buildIndices();
        cache_.elementBuffer(0);
        glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, indexScratch_.data());
        return;
    }
    if (cachedBatches_.size() <= batchesThisFrame_) cachedBatches_.resize(batchesThisFrame_ + 1);
    CachedBatch& cached = cachedBatches_[batchesThisFrame_++];
    const bool same =
        cached.draws.size() == batch_.size() &&
        std::memcmp(cached.draws.data(), batch_.data(), batch_.size() * sizeof(BatchedDraw)) == 0;
    if (!cached.indexBuffer) glGenBuffers(1, &cached.indexBuffer);
    cache_.elementBuffer(cached.indexBuffer);
    if (!same) {
        buildIndices();
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indexScratch_.size() * sizeof(GLuint)),
                     indexScratch_.data(), GL_STATIC_DRAW);
        cached.draws.assign(batch_.begin(), batch_.end());
    }
    glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, nullptr);
}

void DrawBatcher::buildIndices() {
    indexScratch_.clear();
    indexScratch_.reserve(indexCount_);
    for (const BatchedDraw& draw : batch_) AppendTriangleIndices(draw, indexScratch_);
}

void DrawBatcher::releaseBuffers() {
    for (CachedBatch& cached : cachedBatches_) {
        if (!cached.indexBuffer) continue;
        cache_.bufferDeleted(cached.indexBuffer);
        glDeleteBuffers(1, &cached.indexBuffer);
    }
    cachedBatches_.clear();
    batchesThisFrame_ = 0;
}

}  // namespace gl_d3d8
