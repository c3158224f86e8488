// The GL values the device derives from Direct3D 8 states, without a context.
#include "platform/linux/gl/fixed_function.h"

#include <gtest/gtest.h>

#include <initializer_list>
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
    const UnitCombine selectArg2 = CombineFor(Stage({{D3DTSS_COLOROP, D3DTOP_SELECTARG2},
                                                     {D3DTSS_COLORARG2, D3DTA_DIFFUSE}}));
    const UnitCombine inverted = CombineFor(
        Stage({{D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE},
               {D3DTSS_ALPHAOP, D3DTOP_DISABLE}}));
    const UnitCombine modulate4x = CombineFor(Stage({{D3DTSS_COLOROP, D3DTOP_MODULATE4X}}));
    const SamplerSettings trilinear = SamplerFor(Stage({{D3DTSS_MINFILTER, D3DTEXF_LINEAR},
                                                        {D3DTSS_MIPFILTER, D3DTEXF_LINEAR},
                                                        {D3DTSS_ADDRESSU, D3DTADDRESS_MIRROR},
                                                        {D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP}}));
    const SamplerSettings pointMips = SamplerFor(Stage({{D3DTSS_MIPFILTER, D3DTEXF_POINT}}));
    const VertexLayout lit = LayoutOf(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    const D3DMATRIX identity = IdentityMatrix();
    const GlTransforms screen = TransformsFor(true, identity, identity, identity, 200, 100);
    struct Row {
        Row(const char* what, double actual, double expected)
            : what(what), actual(actual), expected(expected) {}
        const char* what;
        double actual, expected;
    };
    const Row rows[] = {
        Row("less-equal compare", CompareFunction(D3DCMP_LESSEQUAL), GL_LEQUAL),
        Row("unknown compare passes all", CompareFunction(0), GL_ALWAYS),
        Row("inverse source alpha", BlendFactor(D3DBLEND_INVSRCALPHA), GL_ONE_MINUS_SRC_ALPHA),
        Row("saturated source alpha", BlendFactor(D3DBLEND_SRCALPHASAT), GL_SRC_ALPHA_SATURATE),
        Row("clockwise culling keeps counter-clockwise", FrontFaceFor(D3DCULL_CW), GL_CCW),
        Row("initial culling keeps clockwise", FrontFaceFor(D3DCULL_CCW), GL_CW),
        Row("select arg 2 feeds it first", selectArg2.sourceRgb[0], GL_PRIMARY_COLOR),
        Row("select arg 2 replaces", selectArg2.combineRgb, GL_REPLACE),
        Row("complement of replicated alpha", inverted.operandRgb[0], GL_ONE_MINUS_SRC_ALPHA),
        Row("disabled alpha keeps the current", inverted.sourceAlpha[0], GL_PREVIOUS),
        Row("modulate 4x scales", modulate4x.rgbScale, 4.0),
        Row("linear min with linear mips", trilinear.minFilter, GL_LINEAR_MIPMAP_LINEAR),
        Row("mirror addressing", trilinear.wrapS, GL_MIRRORED_REPEAT),
        Row("clamp addressing", trilinear.wrapT, GL_CLAMP_TO_EDGE),
        Row("point min with point mips", pointMips.minFilter, GL_NEAREST_MIPMAP_NEAREST),
        Row("diffuse after the normal", lit.diffuse, 24),
        Row("second texture set after the first", lit.texOffset[1], 36),
        Row("vertex size", lit.size, 44),
        Row("strip vertices", Vertices(D3DPT_TRIANGLESTRIP, 5), 7),
        Row("line list vertices", Vertices(D3DPT_LINELIST, 5), 10),
        Row("unknown primitive refused", Vertices(D3DPRIMITIVETYPE(0), 5), 0),
        // Pixel (0, 0) sampled at its centre: half a pixel in, y down.
        Row("screen x scale", screen.projection._11, 2.0 / 200),
        Row("screen x origin with centre shift", screen.projection._41, -1.0 + 1.0 / 200),
        Row("screen y origin with centre shift", screen.projection._42,
            1.0 - (1.0 - 2.0 / 256) / 100),
    };
    for (const Row& row : rows) EXPECT_NEAR(row.actual, row.expected, 1e-6) << row.what;
}

}  // namespace
