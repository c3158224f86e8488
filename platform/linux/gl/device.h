// IDirect3DDevice8 on one OpenGL 2.1-compatibility context (fixed function
// with texture_env_combine). When the window's own surface matches the back
// buffer (size, 8-bit channels, depth and stencil, single sample, discarded
// on Present) the device draws straight into the window. Otherwise it renders
// into its own framebuffer object of the back-buffer size, format and sample
// count; Present resolves it into the "presented" framebuffer (what
// ReadBackFrame reads) and scales that onto the window.
#pragma once

#include "../d3d8.h"
#include "state_cache.h"

#include <SDL.h>

#include <array>
#include <cstdint>
#include <vector>

namespace gl_d3d8 {

class GlDirect3D;
class GlTexture;
class GlVertexBuffer;
struct ColorBufferFormat;

// The byte layout of a flexible vertex format.
struct VertexLayout {
    bool valid = false;
    bool transformed = false;  // XYZRHW: positions are screen pixels
    UINT size = 0;
    int normal = -1, diffuse = -1;
    UINT texCount = 0;
    UINT texOffset[8] = {};
    GLint texSize[8] = {};
};
VertexLayout LayoutOf(DWORD fvf);

// One triangle draw waiting in a batch, as DrawPrimitive received it.
struct BatchedDraw {
    uint32_t type, start, count;
};

// Checks present parameters the way Direct3D 8 does; D3D_OK when a device
// can be made with them on that adapter and window.
HRESULT ValidatePresentParameters(UINT adapter, HWND window,
                                  const D3DPRESENT_PARAMETERS& parameters);

class GlDevice : public IDirect3DDevice8 {
public:
    // Builds a device; on failure returns the Direct3D error and no device.
    static HRESULT Create(GlDirect3D* direct3d, UINT adapter, HWND focusWindow,
                          const D3DPRESENT_PARAMETERS& parameters, IDirect3DDevice8** result);

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT TestCooperativeLevel() override;
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* presentParameters) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture8** texture) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** vertexBuffer) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                 DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                 DWORD* value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                          UINT primitiveCount) override;
    HRESULT SetVertexShader(DWORD handle) override;
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData,
                            UINT stride) override;

    // Makes this device's context current (resources call it before GL work).
    // False when the window behind the context is gone.
    bool makeCurrent();
    GlStateCache& cache() { return cache_; }
    // Draws the triangles collected so far (resources call it before they
    // change data a pending draw may use).
    void flushBatch();

    // Test and platform hooks.
    bool readBack(std::vector<uint32_t>& pixels, UINT& width, UINT& height);
    void loseDevice();
    void regainFocus();
    void loseAfterPresents(unsigned cycles) { plannedLosses_ = cycles; }
    bool drawsDirectly() const { return direct_; }
    HWND window() const { return window_; }
    bool fullScreen() const { return !parameters_.Windowed; }

protected:
    ~GlDevice() override;

private:
    enum class Cooperation { kOperational, kLost, kNotReset };
    static constexpr int kRenderStates = 256;
    static constexpr int kStageStates = 32;
    static constexpr int kTextureTransforms = 8;

    GlDevice(GlDirect3D* direct3d, UINT adapter, HWND window, SDL_Window* sdlWindow,
             SDL_GLContext context, const D3DPRESENT_PARAMETERS& parameters);
    bool initContext();
    bool createFramebuffers();
    bool windowServesBackBuffer();
    bool createDirectTarget();
    void clearNewTarget();
    void presentFromFramebuffers();
    GLint glRowOf(LONG top, LONG bottom) const;
    void destroyFramebuffers();
    void applyWindowMode();
    void resetStates();
    void unbindAll();

    void applyRenderStates();
    void applyStages();
    void applySampler(int stage);
    void applyTransforms();
    bool applyVertexArrays();
    void waitForRefresh();
    void drawBatch();
    void buildBatchIndices();
    void deleteBatchBuffers();

    ULONG references_ = 1;
    GlDirect3D* direct3d_;
    UINT adapter_;
    HWND window_;
    SDL_Window* sdlWindow_;
    SDL_GLContext context_;
    D3DPRESENT_PARAMETERS parameters_;
    const ColorBufferFormat* colorFormat_ = nullptr;
    Cooperation cooperation_ = Cooperation::kOperational;
    unsigned plannedLosses_ = 0;      // LoseAfterPresents: presents still to lose after
    bool regainAfterReport_ = false;  // a planned loss ends once reported
    bool inScene_ = false;
    bool presentedOnce_ = false;
    uint64_t lastPresentCounter_ = 0;

    GLuint renderFramebuffer_ = 0, colorBuffer_ = 0, depthBuffer_ = 0;
    GLuint presentFramebuffer_ = 0, presentBuffer_ = 0;
    bool flipBuffers_ = false;  // Present swaps the two instead of copying
    // Drawing goes straight into the window's back buffer (GL's lower-left
    // origin there, so rows are flipped wherever the device names them).
    bool direct_ = false;
    bool swapsBuffers_ = false;  // the window is double-buffered
    bool inPresent_ = false;     // present listeners are running
    GLuint blackTexture_ = 0;
    std::array<GLuint, kMaxStages> samplers_{};
    std::array<SamplerSettings, kMaxStages> samplerSettings_{};
    std::array<bool, kMaxStages> samplerKnown_{};
    int units_ = 0;

    std::array<DWORD, kRenderStates> renderStates_{};
    std::array<std::array<DWORD, kStageStates>, kMaxStages> stageStates_{};
    D3DMATRIX world_{}, view_{}, projection_{};
    std::array<D3DMATRIX, kTextureTransforms> textureTransforms_{};
    std::array<GlTexture*, kMaxStages> textures_{};
    GlVertexBuffer* stream_ = nullptr;
    UINT stride_ = 0;
    uint64_t streamVertices_ = 0;  // whole vertices of stride_ in the stream
    DWORD fvf_ = 0;
    VertexLayout layout_;  // of fvf_

    bool renderStatesDirty_ = true, stagesDirty_ = true, transformsDirty_ = true;
    bool arraysDirty_ = true;
    // Consecutive triangle draws with nothing changed in between, waiting to
    // be drawn as one indexed triangle list.
    std::vector<BatchedDraw> batch_;
    size_t batchIndexCount_ = 0;
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
    GlStateCache cache_;
};

}  // namespace gl_d3d8
