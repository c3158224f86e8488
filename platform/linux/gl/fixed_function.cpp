#include "fixed_function.h"

#include "common/matrix_product.h"

namespace gl_d3d8 {

namespace {

// Direct3D 8 samples pixel (i, j) at the integer screen point (i, j); GL at
// (i + 0.5, j + 0.5). Moving all geometry half a pixel right and half a pixel
// down (in Direct3D's y-down screen) makes GL cover the same pixels and sample
// textures at the same coordinates as Direct3D.
//
// A horizontal edge that then lies exactly on a row of centres is decided the
// other way round by Mesa (its bottom edges are inclusive, Direct3D's top
// edges are), so the vertical move stops 1/256 pixel short: a tie becomes a
// clear case on Direct3D's side, and no other edge moves by more than the
// rasterizer's own sub-pixel precision.
D3DMATRIX PixelCentreShift(UINT width, UINT height) {
    constexpr float kTieBreak = 1.0f / 256.0f;
    D3DMATRIX m = IdentityMatrix();
    m._41 = 1.0f / static_cast<float>(width);
    m._42 = -(1.0f - 2.0f * kTieBreak) / static_cast<float>(height);
    return m;
}

// Clip space from Direct3D's onto the target's: y turned round for a target
// whose first row is the top one, and depth z (0..w) stretched onto GL's
// default -w..w as z' = 2z - w, which GL's depth range takes back to the
// same 0..1 window depth. The stretch loses no precision a 24-bit depth
// buffer can show: with the viewer's projection a nearer face wins from
// about two depth steps on, with clip control and without.
D3DMATRIX ClipSpaceOf(const TargetSpace& target) {
    D3DMATRIX m = IdentityMatrix();
    if (target.topRowFirst) m._22 = -1.0f;
    if (target.remapDepth) {
        m._33 = 2.0f;
        m._43 = -1.0f;
    }
    return m;
}

// Where a stage argument comes from, and whether it is complemented or has
// its alpha replicated, in texture_env_combine terms.
struct CombineArgument {
    GLint source, operandRgb, operandAlpha;
};

CombineArgument ArgumentFor(DWORD argument) {
    CombineArgument a{GL_PREVIOUS, GL_SRC_COLOR, GL_SRC_ALPHA};
    switch (argument & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: a.source = GL_PRIMARY_COLOR; break;
        case D3DTA_TEXTURE: a.source = GL_TEXTURE; break;
        case D3DTA_TFACTOR: a.source = GL_CONSTANT; break;
        case D3DTA_SPECULAR: a.source = GL_PRIMARY_COLOR; break;
        default: a.source = GL_PREVIOUS; break;
    }
    const bool complement = (argument & D3DTA_COMPLEMENT) != 0;
    if (argument & D3DTA_ALPHAREPLICATE) {
        a.operandRgb = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    } else {
        a.operandRgb = complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
    }
    a.operandAlpha = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    return a;
}

// One operation (colour or alpha) of a stage: the GL combine function, its
// scale, and which of the two arguments feed sources 0 and 1.
struct CombineOperation {
    GLint function;
    GLfloat scale;
    DWORD first, second;
};

CombineOperation OperationFor(DWORD op, DWORD arg1, DWORD arg2) {
    switch (op) {
        case D3DTOP_SELECTARG1: return {GL_REPLACE, 1.0f, arg1, arg2};
        case D3DTOP_SELECTARG2: return {GL_REPLACE, 1.0f, arg2, arg1};
        case D3DTOP_MODULATE2X: return {GL_MODULATE, 2.0f, arg1, arg2};
        case D3DTOP_MODULATE4X: return {GL_MODULATE, 4.0f, arg1, arg2};
        case D3DTOP_ADD: return {GL_ADD, 1.0f, arg1, arg2};
        case D3DTOP_ADDSIGNED: return {GL_ADD_SIGNED, 1.0f, arg1, arg2};
        // A disabled alpha operation under an enabled colour one keeps the alpha
        // that reached the stage.
        case D3DTOP_DISABLE: return {GL_REPLACE, 1.0f, D3DTA_CURRENT, D3DTA_CURRENT};
        default: return {GL_MODULATE, 1.0f, arg1, arg2};
    }
}

GLint WrapMode(DWORD address) {
    switch (address) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        default: return GL_REPEAT;
    }
}

}  // namespace

VertexLayout LayoutOf(DWORD fvf) {
    VertexLayout layout;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZ) {
        layout.size = 12;
    } else if (position == D3DFVF_XYZRHW) {
        layout.size = 16;
        layout.transformed = true;
    } else if (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5) {
        // One to five blend weights, skipped.
        layout.size = 12 + 4 * ((position - D3DFVF_XYZB1) / 2 + 1);
    } else {
        return layout;
    }
    if (fvf & D3DFVF_NORMAL) {
        layout.normal = static_cast<int>(layout.size);
        layout.size += 12;
    }
    if (fvf & D3DFVF_PSIZE) layout.size += 4;  // not drawn
    if (fvf & D3DFVF_DIFFUSE) {
        layout.diffuse = static_cast<int>(layout.size);
        layout.size += 4;
    }
    if (fvf & D3DFVF_SPECULAR) layout.size += 4;
    layout.texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (layout.texCount > 8) return layout;
    static const GLint kSizes[4] = {2, 3, 4, 1};
    for (UINT i = 0; i < layout.texCount; ++i) {
        layout.texOffset[i] = layout.size;
        layout.texSize[i] = kSizes[(fvf >> (16 + 2 * i)) & 3];
        layout.size += 4 * static_cast<UINT>(layout.texSize[i]);
    }
    layout.valid = true;
    return layout;
}

bool PrimitiveShape(D3DPRIMITIVETYPE type, UINT count, GLenum& mode, uint64_t& vertices) {
    switch (type) {
        case D3DPT_POINTLIST:
            mode = GL_POINTS;
            vertices = count;
            return true;
        case D3DPT_LINELIST:
            mode = GL_LINES;
            vertices = uint64_t(count) * 2;
            return true;
        case D3DPT_LINESTRIP:
            mode = GL_LINE_STRIP;
            vertices = uint64_t(count) + 1;
            return true;
        case D3DPT_TRIANGLELIST:
            mode = GL_TRIANGLES;
            vertices = uint64_t(count) * 3;
            return true;
        case D3DPT_TRIANGLESTRIP:
            mode = GL_TRIANGLE_STRIP;
            vertices = uint64_t(count) + 2;
            return true;
        case D3DPT_TRIANGLEFAN:
            mode = GL_TRIANGLE_FAN;
            vertices = uint64_t(count) + 2;
            return true;
        default: return false;
    }
}

GLenum CompareFunction(DWORD value) {
    if (value >= D3DCMP_NEVER && value <= D3DCMP_ALWAYS) return GL_NEVER + (value - D3DCMP_NEVER);
    return GL_ALWAYS;
}

GLenum BlendFactor(DWORD value) {
    switch (value) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        default: return GL_ONE;
    }
}

// Direct3D's front faces are clockwise on screen; CCW culls the others.
GLenum FrontFaceFor(DWORD cullMode, const TargetSpace& target) {
    const bool clockwiseKept = cullMode != D3DCULL_CW;
    return clockwiseKept != target.topRowFirst ? GL_CW : GL_CCW;
}

UnitCombine CombineFor(const StageStates& s) {
    const CombineOperation color =
        OperationFor(s[D3DTSS_COLOROP], s[D3DTSS_COLORARG1], s[D3DTSS_COLORARG2]);
    const CombineOperation alpha =
        OperationFor(s[D3DTSS_ALPHAOP], s[D3DTSS_ALPHAARG1], s[D3DTSS_ALPHAARG2]);
    UnitCombine combine;
    combine.combineRgb = color.function;
    combine.combineAlpha = alpha.function;
    combine.rgbScale = color.scale;
    combine.alphaScale = alpha.scale;
    const CombineArgument c0 = ArgumentFor(color.first), c1 = ArgumentFor(color.second);
    const CombineArgument a0 = ArgumentFor(alpha.first), a1 = ArgumentFor(alpha.second);
    combine.sourceRgb[0] = c0.source;
    combine.sourceRgb[1] = c1.source;
    combine.operandRgb[0] = c0.operandRgb;
    combine.operandRgb[1] = c1.operandRgb;
    combine.sourceAlpha[0] = a0.source;
    combine.sourceAlpha[1] = a1.source;
    combine.operandAlpha[0] = a0.operandAlpha;
    combine.operandAlpha[1] = a1.operandAlpha;
    return combine;
}

SamplerSettings SamplerFor(const StageStates& s) {
    SamplerSettings settings;
    const bool linearMin = s[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
    switch (s[D3DTSS_MIPFILTER]) {
        case D3DTEXF_NONE: settings.minFilter = linearMin ? GL_LINEAR : GL_NEAREST; break;
        case D3DTEXF_POINT:
            settings.minFilter = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
            break;
        default:
            settings.minFilter = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
            break;
    }
    settings.magFilter = s[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
    settings.wrapS = WrapMode(s[D3DTSS_ADDRESSU]);
    settings.wrapT = WrapMode(s[D3DTSS_ADDRESSV]);
    return settings;
}

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX c;
    MultiplyMatrices(a.m, b.m, c.m);
    return c;
}

GlTransforms TransformsFor(bool transformedVertices, const D3DMATRIX& world, const D3DMATRIX& view,
                           const D3DMATRIX& projection, const TargetSpace& target) {
    const UINT width = target.width, height = target.height;
    const D3DMATRIX toGl = Multiply(PixelCentreShift(width, height), ClipSpaceOf(target));
    if (transformedVertices) {
        // Screen pixels straight to clip space: x right, y down, z as given.
        D3DMATRIX screen = IdentityMatrix();
        screen._11 = 2.0f / float(width);
        screen._22 = -2.0f / float(height);
        screen._41 = -1.0f;
        screen._42 = 1.0f;
        return {IdentityMatrix(), Multiply(screen, toGl)};
    }
    // Row vectors: v · World · View · Projection. GL reads each array
    // column-major, i.e. transposed, which turns the same products into its
    // column-vector form unchanged.
    return {Multiply(world, view), Multiply(projection, toGl)};
}

}  // namespace gl_d3d8
