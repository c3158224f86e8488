#include "world_merge.h"

#include "batcher.h"

#include <cstring>

namespace gl_d3d8 {

bool WorldIsAffine(const D3DMATRIX& world) {
    return world._14 == 0.0f && world._24 == 0.0f && world._34 == 0.0f && world._44 == 1.0f;
}

void WorldMerge::add(const BYTE* stream, UINT stride, const D3DMATRIX& world, D3DPRIMITIVETYPE type,
                     UINT startVertex, UINT primitiveCount) {
    GLenum mode = GL_TRIANGLES;
    uint64_t count = 0;
    PrimitiveShape(type, primitiveCount, mode, count);
    stride_ = stride;
    const GLuint first = GLuint(vertices_.size() / stride);
    // The draw's own indices, moved onto where its vertices land in the copy.
    AppendTriangleIndices({uint32_t(type), first, primitiveCount}, indices_);
    const BYTE* from = stream + size_t(startVertex) * stride;
    vertices_.insert(vertices_.end(), from, from + size_t(count) * stride);
    for (uint64_t i = 0; i < count; ++i) {
        float p[3];
        BYTE* vertex = vertices_.data() + (first + i) * stride;
        std::memcpy(p, vertex, sizeof p);
        // Direct3D's row vectors: p' = p * world.
        const float moved[3] = {p[0] * world._11 + p[1] * world._21 + p[2] * world._31 + world._41,
                                p[0] * world._12 + p[1] * world._22 + p[2] * world._32 + world._42,
                                p[0] * world._13 + p[1] * world._23 + p[2] * world._33 + world._43};
        std::memcpy(vertex, moved, sizeof moved);
    }
}

void WorldMerge::upload() {
    if (!buffer_) glGenBuffers(1, &buffer_);
    cache_.arrayBuffer(buffer_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices_.size()), vertices_.data(), GL_STREAM_DRAW);
}

void WorldMerge::draw() {
    cache_.elementBuffer(0);
    glDrawElements(GL_TRIANGLES, GLsizei(indices_.size()), GL_UNSIGNED_INT, indices_.data());
    drop();
}

void WorldMerge::drop() {
    vertices_.clear();
    indices_.clear();
}

void WorldMerge::releaseBuffer() {
    if (!buffer_) return;
    cache_.bufferDeleted(buffer_);
    glDeleteBuffers(1, &buffer_);
    buffer_ = 0;
}

}  // namespace gl_d3d8
