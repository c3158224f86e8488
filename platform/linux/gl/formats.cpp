#include "formats.h"

#include "../../texel_layout.h"

namespace gl_d3d8 {

const ColorBufferFormat* BackBufferFormat(D3DFORMAT format) {
    static const ColorBufferFormat kA8R8G8B8{GL_RGBA8, true};
    static const ColorBufferFormat kX8R8G8B8{GL_RGB8, false};
    static const ColorBufferFormat kR8G8B8{GL_RGB8, false};
    static const ColorBufferFormat kR5G6B5{GL_RGB565, false};
    static const ColorBufferFormat kA1R5G5B5{GL_RGB5_A1, true};
    static const ColorBufferFormat kX1R5G5B5{GL_RGB5_A1, false};
    switch (format) {
        case D3DFMT_A8R8G8B8: return &kA8R8G8B8;
        case D3DFMT_X8R8G8B8: return &kX8R8G8B8;
        case D3DFMT_R8G8B8: return &kR8G8B8;
        case D3DFMT_R5G6B5: return &kR5G6B5;
        case D3DFMT_A1R5G5B5: return &kA1R5G5B5;
        case D3DFMT_X1R5G5B5: return &kX1R5G5B5;
        default: return nullptr;
    }
}

const DepthBufferFormat* DepthStencilFormat(D3DFORMAT format) {
    static const DepthBufferFormat kDepth16{GL_DEPTH_COMPONENT16, GL_DEPTH_ATTACHMENT, 16, 0};
    static const DepthBufferFormat kDepth24{GL_DEPTH_COMPONENT24, GL_DEPTH_ATTACHMENT, 24, 0};
    static const DepthBufferFormat kDepthStencil{GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL_ATTACHMENT,
                                                 24, 8};
    // D15S1, D24X4S4 and D32 are left out: GL has no 15/1 or 24/4 split, and
    // Wine's Direct3D 8 on GL refuses all three, so the Windows build ends
    // its start-up on them; ending it here too keeps both builds alike.
    switch (format) {
        case D3DFMT_D16:
        case D3DFMT_D16_LOCKABLE: return &kDepth16;
        case D3DFMT_D24X8: return &kDepth24;
        case D3DFMT_D24S8: return &kDepthStencil;
        default: return nullptr;
    }
}


namespace {

// Widens an n-bit channel to 8 bits the way hardware does (bit replication).
uint32_t Expand(uint32_t value, int bits) {
    switch (bits) {
        case 1: return value ? 255u : 0u;
        case 4: return value * 17u;
        case 5: return (value << 3) | (value >> 2);
        case 6: return (value << 2) | (value >> 4);
        default: return value;
    }
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

uint32_t Word16(const uint8_t* texel) { return texel[0] | (texel[1] << 8); }

}  // namespace

uint32_t TexelToArgb(D3DFORMAT format, const uint8_t* texel) {
    switch (format) {
        case D3DFMT_A8R8G8B8: return Argb(texel[3], texel[2], texel[1], texel[0]);
        case D3DFMT_X8R8G8B8:
        case D3DFMT_R8G8B8: return Argb(255, texel[2], texel[1], texel[0]);
        case D3DFMT_R5G6B5: {
            uint32_t w = Word16(texel);
            return Argb(255, Expand(w >> 11, 5), Expand((w >> 5) & 63, 6), Expand(w & 31, 5));
        }
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            uint32_t w = Word16(texel);
            uint32_t a = format == D3DFMT_A1R5G5B5 ? Expand(w >> 15, 1) : 255;
            return Argb(a, Expand((w >> 10) & 31, 5), Expand((w >> 5) & 31, 5), Expand(w & 31, 5));
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            uint32_t w = Word16(texel);
            uint32_t a = format == D3DFMT_A4R4G4B4 ? Expand(w >> 12, 4) : 255;
            return Argb(a, Expand((w >> 8) & 15, 4), Expand((w >> 4) & 15, 4), Expand(w & 15, 4));
        }
        case D3DFMT_L8: return Argb(255, texel[0], texel[0], texel[0]);
        case D3DFMT_A8: return Argb(texel[0], 0, 0, 0);
        default: return 0;
    }
}

void ConvertRowToArgb(D3DFORMAT format, const uint8_t* source, UINT width, uint32_t* target) {
    const UINT step = texel_layout::BytesPerTexel(format);
    for (UINT x = 0; x < width; ++x) target[x] = TexelToArgb(format, source + x * step);
}

}  // namespace gl_d3d8
