// The GL values the device derives from Direct3D 8 states, without a context
// (what the pixel tests of tests/gl do not already show).
#include "platform/linux/gl/fixed_function.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <tuple>
#include <utility>

namespace {

using namespace gl_d3d8;

// Stage 0's initial states with the given ones changed.
StageStates Stage(std::initializer_list<std::pair<D3DTEXTURESTAGESTATETYPE, DWORD>> changes) {
    StageStates s{};
    s[D3DTSS_COLOROP] = D3DTOP_MODULATE;
    s[D3DTSS_COLORARG1] = s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    s[D3DTSS_COLORARG2] = s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    s[D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
    s[D3DTSS_MINFILTER] = s[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
    for (const auto& change : changes) s[change.first] = change.second;
    return s;
}

uint64_t Vertices(D3DPRIMITIVETYPE type, UINT count) {
    GLenum mode = 0;
    uint64_t vertices = 0;
    return PrimitiveShape(type, count, mode, vertices) ? vertices : 0;
}

TEST(FixedFunctionMapping, StatesBecomeTheGlValuesThatReproduceThem) {
    const UnitCombine selectArg2 =
        CombineFor(Stage({{D3DTSS_COLOROP, D3DTOP_SELECTARG2}, {D3DTSS_COLORARG2, D3DTA_DIFFUSE}}));
    const UnitCombine inverted = CombineFor(
        Stage({{D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE},
               {D3DTSS_ALPHAOP, D3DTOP_DISABLE}}));
    const UnitCombine modulate4x = CombineFor(Stage({{D3DTSS_COLOROP, D3DTOP_MODULATE4X}}));
    const SamplerSettings trilinear = SamplerFor(Stage({{D3DTSS_MINFILTER, D3DTEXF_LINEAR},
                                                        {D3DTSS_MIPFILTER, D3DTEXF_LINEAR},
                                                        {D3DTSS_ADDRESSU, D3DTADDRESS_MIRROR}}));
    const VertexLayout lit = LayoutOf(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    const std::tuple<const char*, double, double> rows[] = {
        {"unknown compare passes all", CompareFunction(0), GL_ALWAYS},
        {"saturated source alpha", BlendFactor(D3DBLEND_SRCALPHASAT), GL_SRC_ALPHA_SATURATE},
        {"select arg 2 feeds it first", selectArg2.sourceRgb[0], GL_PRIMARY_COLOR},
        {"select arg 2 replaces", selectArg2.combineRgb, GL_REPLACE},
        {"complement of replicated alpha", inverted.operandRgb[0], GL_ONE_MINUS_SRC_ALPHA},
        {"disabled alpha keeps the current", inverted.sourceAlpha[0], GL_PREVIOUS},
        {"modulate 4x scales", modulate4x.rgbScale, 4.0},
        {"linear min with linear mips", trilinear.minFilter, GL_LINEAR_MIPMAP_LINEAR},
        {"mirror addressing", trilinear.wrapS, GL_MIRRORED_REPEAT},
        {"diffuse after the normal", lit.diffuse, 24},
        {"second texture set after the first", lit.texOffset[1], 36},
        {"vertex size", lit.size, 44},
        {"five blend weights skipped", LayoutOf(0xE).size, 32},  // XYZB5
        {"line list vertices", Vertices(D3DPT_LINELIST, 5), 10},
        {"unknown primitive refused", Vertices(D3DPRIMITIVETYPE(0), 5), 0},
    };
    for (const auto& [what, actual, expected] : rows) EXPECT_NEAR(actual, expected, 1e-6) << what;
}

}  // namespace
