// The yardstick for the viewer's frame rate: the same level, triangles and
// textures drawn straight through OpenGL into the viewer's window, in the
// cheapest ways this GL offers. A level with a visibility section is drawn
// as the viewer draws it: only the polygons its visible set holds. It draws with a GL context of its own, so
// that the viewer's device and the reference can take turns frame by frame
// without either seeing the other's state.
#pragma once

#include "platform/platform.h"
#include "tools/common/world_writer.h"

#include <cstdint>
#include <memory>
#include <vector>

class Visibility;

typedef unsigned int GLuint;
typedef void* SDL_GLContext;
struct SDL_Window;

class ReferenceRenderer {
public:
    enum class Mode {
        IndexedPerPair,    // one glDrawElements of triangles per texture pair
        MultiDrawPerPair,  // one glMultiDrawArrays of fans per texture pair
        DrawPerFace,       // one glDrawArrays per fan, state set only on change
    };
    static const char* Name(Mode mode);

    // Copies the surface texture (every mip level) out of `surface` and makes
    // GL objects for the level in a new context on the current window.
    ReferenceRenderer(const tundra_formats::GeomLevel& level, IDirect3DTexture8* surface, int width,
                      int height);
    ~ReferenceRenderer();

    // Makes the reference's context current (the viewer's device takes its
    // own back by itself), clears, draws the level as seen from `eye` and
    // (when `present`) swaps the window's buffers.
    void drawFrame(Mode mode, const float eye[3], const D3DXMATRIX& view,
                   const D3DXMATRIX& projection, bool present = true);

    // The back buffer after a frame drawn without presenting, top row first,
    // 0xAARRGGBB.
    std::vector<uint32_t> readBack();

    // Waits, in the reference's context, until every frame drawn so far is done.
    void finish();
    int width() const { return width_; }
    int height() const { return height_; }

private:
    struct Batch {  // consecutive polygons with one texture pair
        int texture;
        int lightmap;
        std::vector<int> firsts, counts;  // fans, for the array draws
        size_t firstIndex, indexCount;    // triangles, for the indexed draw
        std::vector<uint32_t> polygons;   // polygon number of each fan
        std::vector<size_t> fanIndices;   // first index of each fan's triangles
    };

    void uploadGeometry(const tundra_formats::GeomLevel& level);
    struct MipLevel {
        int width, height;
        std::vector<uint32_t> texels;  // rows without padding
    };
    static std::vector<MipLevel> CopyLevels(IDirect3DTexture8* surface);
    void uploadTextures(const tundra_formats::GeomLevel& level,
                        const std::vector<MipLevel>& surfaceLevels);
    void setFixedState(const D3DXMATRIX& view, const D3DXMATRIX& projection);
    void bindPair(int texture, int lightmap);
    void makeCurrent();
    void drawVisible(Mode mode, const Batch& batch);

    SDL_Window* window_;
    SDL_GLContext context_;
    int width_, height_;
    GLuint vertexBuffer_ = 0, indexBuffer_ = 0, surface_ = 0;
    std::vector<GLuint> lightmaps_;
    std::vector<Batch> batches_;
    int boundTexture_ = -1, boundLightmap_ = -1;
    std::unique_ptr<Visibility> visibility_;
    // Scratch lists of the visible fans or index runs of one batch.
    std::vector<int> firsts_, counts_;
    std::vector<const void*> offsets_;
};
