// Direct3D 8's fixed-function settings in GL terms: pure functions from
// render states, texture stage states, vertex formats and transforms to the
// GL enums and values that reproduce them. Nothing here touches a context.
#pragma once

#include "../d3d8.h"
#include "device_limits.h"
#include "gl_headers.h"
#include "state_cache.h"

#include <array>
#include <cstdint>

namespace gl_d3d8 {

using StageStates = std::array<DWORD, kStageStates>;

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

// The GL mode of a primitive type and the vertices `count` primitives take;
// false for a type Direct3D 8 does not have.
bool PrimitiveShape(D3DPRIMITIVETYPE type, UINT count, GLenum& mode, uint64_t& vertices);

// D3DCMP_* (depth and alpha tests); out-of-range values pass everything.
GLenum CompareFunction(DWORD value);
// D3DBLEND_*; unknown factors count as one.
GLenum BlendFactor(DWORD value);
// What the GL target the device draws into changes in the mapping.
struct TargetSpace {
    UINT width = 0, height = 0;
    // GL's first row is Direct3D's top row (see SwapChain::topRowFirst):
    // y is turned round after projection, and windings with it.
    bool topRowFirst = false;
    // GL clips depth to -1..1 (it has no clip control): Direct3D's 0..1 is
    // stretched onto it.
    bool remapDepth = false;
};

// The GL winding of the faces a D3DCULL_* mode keeps (GL culls the back ones).
GLenum FrontFaceFor(DWORD cullMode, const TargetSpace& target);

// One stage's colour and alpha operations as a texture_env_combine set-up.
UnitCombine CombineFor(const StageStates& stage);
// One stage's filters and addressing as sampler parameters.
SamplerSettings SamplerFor(const StageStates& stage);

D3DMATRIX IdentityMatrix();
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);

// What GL's modelview and projection matrices must hold (column-major, so a
// Direct3D row-vector matrix as is) to put vertices where Direct3D would on
// the target: pre-transformed vertices straight from screen pixels, the
// others through world, view and projection.
struct GlTransforms {
    D3DMATRIX modelView, projection;
};
GlTransforms TransformsFor(bool transformedVertices, const D3DMATRIX& world, const D3DMATRIX& view,
                           const D3DMATRIX& projection, const TargetSpace& target);

}  // namespace gl_d3d8
