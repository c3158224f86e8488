// The yardstick for the viewer's frame rate: the same level, triangles and
// textures drawn straight through OpenGL on the viewer's own context, in the
// cheapest ways this GL offers.
#pragma once

#include "platform/platform.h"
#include "tools/common/world_writer.h"

#include <cstdint>
#include <vector>

typedef unsigned int GLuint;

class ReferenceRenderer {
public:
    enum class Mode {
        IndexedPerPair,    // one glDrawElements of triangles per texture pair
        MultiDrawPerPair,  // one glMultiDrawArrays of fans per texture pair
        DrawPerFace,       // one glDrawArrays per fan, state set only on change
    };
    static const char* Name(Mode mode);

    // Copies the surface texture (every mip level) out of `surface` and makes
    // GL objects for the level. The GL context must be current.
    ReferenceRenderer(const tundra_formats::GeomLevel& level, IDirect3DTexture8* surface,
                      int width, int height);
    virtual ~ReferenceRenderer();

    // Clears, draws the level and (when `present`) swaps the window's buffers.
    void drawFrame(Mode mode, const D3DXMATRIX& view, const D3DXMATRIX& projection,
                   bool present = true);

    // The back buffer after a frame drawn without presenting, top row first,
    // 0xAARRGGBB.
    std::vector<uint32_t> readBack() const;
    int width() const { return width_; }
    int height() const { return height_; }

private:
    struct Batch {  // consecutive polygons with one texture pair
        int texture;
        int lightmap;
        std::vector<int> firsts, counts;   // fans, for the array draws
        size_t firstIndex, indexCount;     // triangles, for the indexed draw
    };

    void uploadGeometry(const tundra_formats::GeomLevel& level);
    void uploadTextures(const tundra_formats::GeomLevel& level, IDirect3DTexture8* surface);
    void setFixedState(const D3DXMATRIX& view, const D3DXMATRIX& projection);
    void bindPair(int texture, int lightmap);

    int width_, height_;
    GLuint vertexBuffer_ = 0, indexBuffer_ = 0, surface_ = 0;
    std::vector<GLuint> lightmaps_;
    std::vector<Batch> batches_;
    int boundTexture_ = -1, boundLightmap_ = -1;
};
