#include "reference_renderer.h"

#include "platform/linux/gl/gl_headers.h"

#include <SDL.h>

#include "world/visibility.h"

#include <map>

namespace {

constexpr GLsizei kStride = 28;  // x y z, u0 v0, u1 v1 as floats

// Every surface slot of the viewer holds the one main texture, so the GL
// texture pair of a polygon is decided by its lightmap alone.
int PairKey(const tundra_formats::GeomPolygon& polygon) { return polygon.lightmapIndex; }

// The section as the viewer holds it once read: world units.
VisibilityData ToWorldUnits(const tundra_formats::GeomVisibility& section) {
    const float s = tundra_formats::kGeomPositionScale;
    VisibilityData data;
    for (const auto& p : section.planes)
        data.planes.push_back({{p.normal[0], p.normal[1], p.normal[2]}, p.distance * s});
    for (const auto& n : section.nodes) data.nodes.push_back({n.plane, n.front, n.back});
    for (const auto& l : section.leaves)
        data.leaves.push_back({l.cluster,
                               {l.min[0] * s, l.min[1] * s, l.min[2] * s},
                               {l.max[0] * s, l.max[1] * s, l.max[2] * s},
                               l.firstPolygon,
                               l.polygonCount});
    data.leafPolygons = section.leafPolygons;
    data.numClusters = section.numClusters;
    data.bytesPerCluster = section.bytesPerCluster;
    data.clusterSets = section.clusterSets;
    return data;
}

// Each polygon's box in world units, as the viewer culls its faces by them.
std::vector<FaceBox> PolygonBoxes(const tundra_formats::GeomLevel& level) {
    const float s = tundra_formats::kGeomPositionScale;
    std::vector<FaceBox> boxes(level.polygons.size());
    for (size_t p = 0; p < boxes.size(); ++p) {
        const tundra_formats::GeomPolygon& polygon = level.polygons[p];
        for (int32_t k = 0; k < polygon.vertexCount; ++k) {
            const tundra_formats::GeomVertex& v =
                level.vertices.at(size_t(polygon.firstVertex + k));
            boxes[p].include(v.x * s, v.y * s, v.z * s);
        }
    }
    return boxes;
}

}  // namespace

const char* ReferenceRenderer::Name(Mode mode) {
    switch (mode) {
        case Mode::IndexedPerPair: return "one indexed draw per texture pair";
        case Mode::MultiDrawPerPair: return "one glMultiDrawArrays per texture pair";
        default: return "one draw per face, no redundant state";
    }
}

ReferenceRenderer::ReferenceRenderer(const tundra_formats::GeomLevel& level,
                                     IDirect3DTexture8* surface, int width, int height)
    : window_(SDL_GL_GetCurrentWindow()), context_(nullptr), width_(width), height_(height) {
    // The surface's levels are read first: locking them may make the
    // device's context current again.
    std::vector<MipLevel> surfaceLevels = CopyLevels(surface);
    context_ = SDL_GL_CreateContext(window_);
    makeCurrent();
    uploadGeometry(level);
    uploadTextures(level, surfaceLevels);
    if (level.visibility) {
        std::vector<int32_t> faceOfPolygon(level.polygons.size());
        for (size_t p = 0; p < faceOfPolygon.size(); ++p) faceOfPolygon[p] = int32_t(p);
        visibility_ = std::make_unique<Visibility>(ToWorldUnits(*level.visibility), faceOfPolygon,
                                                   PolygonBoxes(level));
    }
}

ReferenceRenderer::~ReferenceRenderer() {
    makeCurrent();
    glDeleteBuffers(1, &vertexBuffer_);
    glDeleteBuffers(1, &indexBuffer_);
    glDeleteTextures(1, &surface_);
    glDeleteTextures(GLsizei(lightmaps_.size()), lightmaps_.data());
    SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
}

void ReferenceRenderer::makeCurrent() {
    if (SDL_GL_GetCurrentContext() != context_) SDL_GL_MakeCurrent(window_, context_);
}

void ReferenceRenderer::finish() {
    makeCurrent();
    glFinish();
}

std::vector<ReferenceRenderer::MipLevel> ReferenceRenderer::CopyLevels(IDirect3DTexture8* surface) {
    std::vector<MipLevel> levels;
    for (DWORD i = 0; i < surface->GetLevelCount(); ++i) {
        D3DSURFACE_DESC desc{};
        D3DLOCKED_RECT locked{};
        surface->GetLevelDesc(i, &desc);
        if (FAILED(surface->LockRect(i, &locked, nullptr, D3DLOCK_READONLY))) break;
        MipLevel level{GLsizei(desc.Width), GLsizei(desc.Height), {}};
        for (UINT y = 0; y < desc.Height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(
                static_cast<const char*>(locked.pBits) + size_t(y) * size_t(locked.Pitch));
            level.texels.insert(level.texels.end(), row, row + desc.Width);
        }
        surface->UnlockRect(i);
        levels.push_back(std::move(level));
    }
    return levels;
}

void ReferenceRenderer::uploadGeometry(const tundra_formats::GeomLevel& level) {
    std::vector<float> vertices;
    for (const tundra_formats::GeomVertex& v : level.vertices) {
        const float s = tundra_formats::kGeomPositionScale;
        vertices.insert(vertices.end(), {v.x * s, v.y * s, v.z * s, v.surfaceU, v.surfaceV,
                                         v.lightmapU, v.lightmapV});
    }
    // One batch per texture pair, in the order the pairs first appear.
    std::map<int, size_t> batchOfPair;
    std::vector<std::vector<uint32_t>> indices;
    for (const tundra_formats::GeomPolygon& polygon : level.polygons) {
        if (polygon.vertexCount < 3) continue;
        auto found = batchOfPair.emplace(PairKey(polygon), batches_.size());
        if (found.second) {
            batches_.push_back({0, polygon.lightmapIndex, {}, {}, 0, 0, {}, {}});
            indices.emplace_back();
        }
        Batch& batch = batches_[found.first->second];
        batch.firsts.push_back(polygon.firstVertex);
        batch.counts.push_back(polygon.vertexCount);
        batch.polygons.push_back(uint32_t(&polygon - level.polygons.data()));
        batch.fanIndices.push_back(indices[found.first->second].size());
        for (int k = 1; k + 1 < polygon.vertexCount; ++k)
            indices[found.first->second].insert(
                indices[found.first->second].end(),
                {uint32_t(polygon.firstVertex), uint32_t(polygon.firstVertex + k),
                 uint32_t(polygon.firstVertex + k + 1)});
    }
    std::vector<uint32_t> allIndices;
    for (size_t b = 0; b < batches_.size(); ++b) {
        for (size_t& fanIndex : batches_[b].fanIndices) fanIndex += allIndices.size();
        batches_[b].firstIndex = allIndices.size();
        batches_[b].indexCount = indices[b].size();
        allIndices.insert(allIndices.end(), indices[b].begin(), indices[b].end());
    }
    glGenBuffers(1, &vertexBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(float)), vertices.data(),
                 GL_STATIC_DRAW);
    glGenBuffers(1, &indexBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(allIndices.size() * sizeof(uint32_t)),
                 allIndices.data(), GL_STATIC_DRAW);
}

void ReferenceRenderer::uploadTextures(const tundra_formats::GeomLevel& level,
                                       const std::vector<MipLevel>& surfaceLevels) {
    glGenTextures(1, &surface_);
    glBindTexture(GL_TEXTURE_2D, surface_);
    const size_t levels = surfaceLevels.size();
    for (size_t i = 0; i < levels; ++i)
        glTexImage2D(GL_TEXTURE_2D, GLint(i), GL_RGBA8, surfaceLevels[i].width,
                     surfaceLevels[i].height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                     surfaceLevels[i].texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels) - 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    lightmaps_.resize(level.lightmaps.size());
    glGenTextures(GLsizei(lightmaps_.size()), lightmaps_.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (size_t i = 0; i < lightmaps_.size(); ++i) {
        glBindTexture(GL_TEXTURE_2D, lightmaps_[i]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 128, 128, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     level.lightmaps[i].rgb.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

// Fixed function, as the viewer's states ask for: stage 0 texture x white,
// stage 1 lightmap x stage 0 x 2; depth test less-or-equal, counter-clockwise
// faces culled (Direct3D's default), no blending, no lighting.
void ReferenceRenderer::setFixedState(const D3DXMATRIX& view, const D3DXMATRIX& projection) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    // Upside down into the window, as the device draws when it draws there.
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    glViewport(0, 0, width_, height_);
    glUseProgram(0);
    for (GLuint unit = 0; unit < 8; ++unit) glBindSampler(unit, 0);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(&projection.m[0][0]);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(&view.m[0][0]);
    glColor4f(1, 1, 1, 1);

    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, kStride, reinterpret_cast<void*>(0));
    for (GLuint unit = 0; unit < 2; ++unit) {
        glClientActiveTexture(GL_TEXTURE0 + unit);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, kStride, reinterpret_cast<void*>(12 + 8 * size_t(unit)));
        glActiveTexture(GL_TEXTURE0 + unit);
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, unit == 0 ? GL_PRIMARY_COLOR : GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, unit == 0 ? 1.0f : 2.0f);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_ALPHA, unit == 0 ? GL_TEXTURE : GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
    }
    for (GLuint unit = 2; unit < 8; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glDisable(GL_TEXTURE_2D);
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, surface_);
    boundTexture_ = boundLightmap_ = -1;
}

void ReferenceRenderer::bindPair(int texture, int lightmap) {
    (void)texture;  // every surface slot is the same texture, bound once per frame
    if (lightmap == boundLightmap_) return;
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, lightmap >= 0 && size_t(lightmap) < lightmaps_.size()
                                     ? lightmaps_[size_t(lightmap)]
                                     : 0);
    boundLightmap_ = lightmap;
}

void ReferenceRenderer::drawFrame(Mode mode, const float eye[3], const D3DXMATRIX& view,
                                  const D3DXMATRIX& projection, bool present) {
    makeCurrent();
    setFixedState(view, projection);
    glClearColor(0x21 / 255.0f, 0x21 / 255.0f, 0x21 / 255.0f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    D3DXMATRIX viewProjection;
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    const bool culled = visibility_ && visibility_->select(eye, viewProjection.m);
    for (const Batch& batch : batches_) {
        bindPair(batch.texture, batch.lightmap);
        if (culled) {
            drawVisible(mode, batch);
        } else if (mode == Mode::IndexedPerPair) {
            glDrawElements(GL_TRIANGLES, GLsizei(batch.indexCount), GL_UNSIGNED_INT,
                           reinterpret_cast<void*>(batch.firstIndex * sizeof(uint32_t)));
        } else if (mode == Mode::MultiDrawPerPair) {
            glMultiDrawArrays(GL_TRIANGLE_FAN, batch.firsts.data(), batch.counts.data(),
                              GLsizei(batch.firsts.size()));
        } else {
            for (size_t f = 0; f < batch.firsts.size(); ++f)
                glDrawArrays(GL_TRIANGLE_FAN, batch.firsts[f], batch.counts[f]);
        }
    }
    if (present) {
        SDL_GL_SwapWindow(window_);
        glFlush();  // as the viewer's Present does after its swap
    }
}

// The batch's visible fans: in one multi-draw of fans, one draw each, or one
// multi-draw of index runs (neighbouring visible fans joined into one run).
void ReferenceRenderer::drawVisible(Mode mode, const Batch& batch) {
    firsts_.clear();
    counts_.clear();
    offsets_.clear();
    for (size_t f = 0; f < batch.polygons.size(); ++f) {
        if (!visibility_->selected(batch.polygons[f])) continue;
        if (mode != Mode::IndexedPerPair) {
            firsts_.push_back(batch.firsts[f]);
            counts_.push_back(batch.counts[f]);
            continue;
        }
        const int count = 3 * (batch.counts[f] - 2);
        const void* offset = reinterpret_cast<const void*>(batch.fanIndices[f] * sizeof(uint32_t));
        if (!offsets_.empty() &&
            static_cast<const char*>(offsets_.back()) + size_t(counts_.back()) * sizeof(uint32_t) ==
                offset)
            counts_.back() += count;
        else {
            offsets_.push_back(offset);
            counts_.push_back(count);
        }
    }
    if (counts_.empty()) return;
    if (mode == Mode::IndexedPerPair)
        glMultiDrawElements(GL_TRIANGLES, counts_.data(), GL_UNSIGNED_INT, offsets_.data(),
                            GLsizei(counts_.size()));
    else if (mode == Mode::MultiDrawPerPair)
        glMultiDrawArrays(GL_TRIANGLE_FAN, firsts_.data(), counts_.data(), GLsizei(counts_.size()));
    else
        for (size_t f = 0; f < firsts_.size(); ++f)
            glDrawArrays(GL_TRIANGLE_FAN, firsts_[f], counts_[f]);
}

std::vector<uint32_t> ReferenceRenderer::readBack() {
    makeCurrent();
    std::vector<uint32_t> rows(size_t(width_) * size_t(height_));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
    // GL rows run bottom-up; the upper-left clip origin already turned the
    // image upside down, so the rows come out top first as they are.
    return rows;
}
