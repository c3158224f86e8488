#include "blend_elision.h"

namespace gl_d3d8 {

namespace {

bool IsSourceOver(const DWORD* rs) {
    return rs[D3DRS_SRCBLEND] == D3DBLEND_SRCALPHA && rs[D3DRS_DESTBLEND] == D3DBLEND_INVSRCALPHA &&
           rs[D3DRS_BLENDOP] == D3DBLENDOP_ADD;
}

bool IsDiffuse(DWORD argument) {
    // At stage 0 "current" is the diffuse colour.
    return argument == D3DTA_DIFFUSE || argument == D3DTA_CURRENT;
}

// With the diffuse known to be opaque white, stage 0's alpha is one when it
// is an opaque texture's alone or that texture's times the diffuse.
bool FirstStageAlphaIsOne(const StageStates& s, bool textureOpaque) {
    if (s[D3DTSS_COLOROP] == D3DTOP_DISABLE || !textureOpaque) return false;
    const DWORD arg1 = s[D3DTSS_ALPHAARG1], arg2 = s[D3DTSS_ALPHAARG2];
    switch (s[D3DTSS_ALPHAOP]) {
        case D3DTOP_SELECTARG1: return arg1 == D3DTA_TEXTURE;
        case D3DTOP_SELECTARG2: return arg2 == D3DTA_TEXTURE;
        case D3DTOP_MODULATE:
            return (arg1 == D3DTA_TEXTURE && IsDiffuse(arg2)) ||
                   (arg2 == D3DTA_TEXTURE && IsDiffuse(arg1));
        default: return false;
    }
}

bool StagePassesAlphaOn(const StageStates& s) {
    switch (s[D3DTSS_ALPHAOP]) {
        case D3DTOP_DISABLE: return true;
        case D3DTOP_SELECTARG1: return s[D3DTSS_ALPHAARG1] == D3DTA_CURRENT;
        case D3DTOP_SELECTARG2: return s[D3DTSS_ALPHAARG2] == D3DTA_CURRENT;
        default: return false;
    }
}

// A border colour is transparent black, so clamping to it adds alpha 0.
bool SamplesOnlyTexels(const StageStates& s) {
    return s[D3DTSS_ADDRESSU] != D3DTADDRESS_BORDER && s[D3DTSS_ADDRESSV] != D3DTADDRESS_BORDER;
}

}  // namespace

bool BlendChangesNothing(const BlendElisionInputs& in) {
    if (!IsSourceOver(in.renderStates) || in.units < 1 || !in.layout->valid) return false;
    // Without a diffuse component (and unlit) every vertex is opaque white.
    if (in.layout->diffuse >= 0 || in.lit) return false;
    const StageStates& first = in.stages[0];
    if (!SamplesOnlyTexels(first) || !FirstStageAlphaIsOne(first, in.texture0Opaque)) {
        return false;
    }
    for (int stage = 1; stage < in.units; ++stage) {
        if (in.stages[stage][D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        if (!StagePassesAlphaOn(in.stages[stage])) return false;
    }
    return true;
}

}  // namespace gl_d3d8
