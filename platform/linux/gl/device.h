// IDirect3DDevice8 on one OpenGL compatibility context, 3.3 or newer (fixed
// function with texture_env_combine): the interface front. It checks
// arguments, keeps the Direct3D state and hands the work to the others: the
// fixed-function mapping turns state into GL values, the state cache sets
// them, the batcher collects triangle draws and the swap chain holds the
// back buffer and presents it.
#pragma once

#include "../com_object.h"
#include "../d3d8.h"
#include "batcher.h"
#include "device_observer.h"
#include "device_limits.h"
#include "fixed_function.h"
#include "gl_headers.h"
#include "options.h"
#include "resource.h"
#include "state_cache.h"
#include "swap_chain.h"
#include "world_merge.h"

#include <SDL.h>

#include <array>
#include <cstdint>
#include <vector>

namespace gl_d3d8 {

class GlDirect3D;
class GlTexture;
class GlVertexBuffer;

class GlDevice final : public ResourceHost, public ObservedDevice {
public:
    static HRESULT Create(GlDirect3D* direct3d, UINT adapter, HWND window,
                          const D3DPRESENT_PARAMETERS& parameters, const Options& options,
                          IDirect3DDevice8** result);

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
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                          UINT primitiveCount) override;
    HRESULT SetVertexShader(DWORD handle) override;
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData,
                            UINT stride) override;

    // Makes this device's context current (resources call it before GL work).
    bool makeCurrent() override;
    GlStateCache& cache() override { return cache_; }
    // Draws the triangles collected so far (resources call it before they
    // change data a pending draw may use).
    void flushBatch() override;
    void texelsChanged() override { stagesDirty_ = true; }

    HWND window() const override { return window_; }
    bool fullScreen() const override { return !parameters().Windowed; }
    void loseDevice() override;
    void regainFocus() override;
    bool readBack(std::vector<uint32_t>& pixels, UINT& width, UINT& height) override;

    // The switches tests change on a live device.
    bool drawsDirectly() const { return swapChain_.drawsDirectly(); }
    Options& options() { return options_; }

protected:
    ~GlDevice() override;

private:
    enum class Cooperation { kOperational, kLost, kNotReset };

    GlDevice(GlDirect3D* direct3d, UINT adapter, HWND window, SDL_Window* sdlWindow,
             SDL_GLContext context, const Options& options);
    const D3DPRESENT_PARAMETERS& parameters() const { return swapChain_.parameters(); }
    bool initContext();
    bool createSwapChain(const D3DPRESENT_PARAMETERS& parameters);
    void resetStates();
    void unbindAll();

    void applyRenderStates();
    void applyStages();
    void applyBlend();
    void applySampler(int stage);
    void applyTransforms();
    TargetSpace targetSpace() const;
    bool applyVertexArrays();
    void pointArraysAt(GLuint buffer);
    bool mergeable(uint64_t vertices) const;
    void drawMerged();

    GlDirect3D* direct3d_;
    UINT adapter_;
    HWND window_;
    SDL_Window* sdlWindow_;
    SDL_GLContext context_;
    Options options_;
    Cooperation cooperation_ = Cooperation::kOperational;
    bool inScene_ = false;
    bool inPresent_ = false;  // observers are told of the finished frame

    GLuint blackTexture_ = 0;
    std::array<GLuint, kMaxStages> samplers_{};
    std::array<SamplerSettings, kMaxStages> samplerSettings_{};
    std::array<bool, kMaxStages> samplerKnown_{};
    int units_ = 0;
    bool depthRemapped_ = false;  // GL has no clip control: see TransformsFor

    std::array<DWORD, kRenderStates> renderStates_{};
    std::array<StageStates, kMaxStages> stageStates_{};
    D3DMATRIX world_{}, view_{}, projection_{};
    // The view and projection GL's matrices were last set from, and those
    // of the draws gathered in merge_.
    D3DMATRIX appliedView_{}, appliedProjection_{}, mergeView_{}, mergeProjection_{};
    std::array<D3DMATRIX, kTextureTransforms> textureTransforms_{};
    std::array<GlTexture*, kMaxStages> textures_{};
    GlVertexBuffer* stream_ = nullptr;
    UINT stride_ = 0;
    uint64_t streamVertices_ = 0;  // whole vertices of stride_ in the stream
    DWORD fvf_ = 0;
    VertexLayout layout_;  // of fvf_

    bool renderStatesDirty_ = true, stagesDirty_ = true, transformsDirty_ = true;
    bool arraysDirty_ = true;
    GlStateCache cache_;
    DrawBatcher batcher_{cache_};
    WorldMerge merge_{cache_};
    SwapChain swapChain_{cache_, sdlWindow_, adapter_};
};

}  // namespace gl_d3d8
