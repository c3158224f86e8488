// Whether "source alpha over the frame" blending can be left off for a draw
// without changing a pixel. Text leaves SRCALPHA / INVSRCALPHA blending on
// for the world drawn after it; blending opaque texels costs the GL
// rasteriser a read of every covered pixel for nothing.
#pragma once

#include "fixed_function.h"

namespace gl_d3d8 {

struct BlendElisionInputs {
    const DWORD* renderStates;  // indexed by D3DRENDERSTATETYPE
    const StageStates* stages;  // the first `units` stages
    int units;
    bool texture0Opaque;  // a texture on stage 0 and every texel's alpha 255
    const VertexLayout* layout;
    bool lit;
};

// True only when every fragment's alpha is provably one, so that the blend
// yields the source colour unchanged; false whenever in doubt.
bool BlendChangesNothing(const BlendElisionInputs& in);

}  // namespace gl_d3d8
