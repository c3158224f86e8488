// Every limit of the GL Direct3D 8 in one place: what the GL implementation
// offers (measured), sizes the device refuses whatever GL offers, table sizes
// of the state it keeps, and how much the batcher caches.
#pragma once

#include "../d3d8.h"

#include <cstdint>

namespace gl_d3d8 {

// The oldest GL the device runs on: a 3.3 compatibility context has the
// fixed-function pipeline, sampler objects, framebuffer objects and texture
// swizzles it needs.
constexpr int kNeededGlMajor = 3, kNeededGlMinor = 3;

// What the GL implementation offers, measured once on a throw-away context
// (direct3d.cpp).
struct GlLimits {
    bool available = false;
    int maxTextureSize = 0;
    int maxRenderbufferSize = 0;
    // Bit n set: colour renderbuffers can have exactly n samples.
    uint32_t sampleCounts = 0;
    int textureUnits = 0;  // at most kMaxStages
    // GL 4.5 or GL_ARB_clip_control: depth runs 0..1 in clip space, as in
    // Direct3D. Without it the projection maps Direct3D's depth onto GL's.
    bool clipControl = false;
};
const GlLimits& ProbeGl();

// Texture stages (and GL texture units) the device drives; GL may offer fewer.
constexpr int kMaxStages = 8;
// The texture unit textures are bound to while they are made and filled:
// past every stage, so fixed-function drawing never samples it.
constexpr int kEditingUnit = kMaxStages;
// Entries of the render-state and stage-state tables (Direct3D 8 numbers
// its states below these).
constexpr int kRenderStates = 256;
constexpr int kStageStates = 32;
// D3DTS_TEXTURE0 .. D3DTS_TEXTURE7.
constexpr int kTextureTransforms = 8;

// Back buffers beyond this edge length are refused outright, whatever GL's
// renderbuffer limit says: they could not be shown on any display.
constexpr UINT kMaxBackBufferEdge = 16384;

// Largest total of texel memory one texture may take (all levels).
constexpr uint64_t kMaxTextureBytes = 256ull << 20;
// Largest vertex buffer handed out; larger requests are refused as out of
// video memory rather than attempted.
constexpr UINT kMaxVertexBufferLength = 256u << 20;

// What the device reports it can draw in one call.
constexpr DWORD kMaxPrimitiveCount = 0xFFFFF;
constexpr DWORD kMaxVertexIndex = 0xFFFFF;

// Beyond this many batches in one frame the scene is not a static level
// drawn again: the batcher draws from memory instead of keeping more index
// buffers.
constexpr size_t kMaxCachedBatches = 4096;

}  // namespace gl_d3d8
