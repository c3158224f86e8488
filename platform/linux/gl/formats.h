// Every Direct3D format this device understands, in one table: what may serve
// as back buffer, depth-stencil buffer or texture, the GL storage behind it,
// and how texels convert to 0xAARRGGBB (their sizes are texel_layout's).
#pragma once

#include "../d3d8.h"
#include "gl_headers.h"

#include <cstdint>

namespace gl_d3d8 {

struct ColorBufferFormat {
    GLenum internalFormat;  // renderbuffer storage
    bool hasAlpha;          // X formats read back with alpha 0xFF
};

struct DepthBufferFormat {
    GLenum internalFormat;
    GLenum attachment;  // GL_DEPTH_ATTACHMENT or GL_DEPTH_STENCIL_ATTACHMENT
    int depthBits, stencilBits;
};

// Null when the format cannot be a back buffer / depth buffer in Direct3D 8.
const ColorBufferFormat* BackBufferFormat(D3DFORMAT format);
const DepthBufferFormat* DepthStencilFormat(D3DFORMAT format);

// One texel of a texture format (little-endian bytes at `texel`) as
// 0xAARRGGBB, the way Direct3D samples it: missing alpha reads as 1, missing
// colour of A8 as 0, luminance L8 as grey.
uint32_t TexelToArgb(D3DFORMAT format, const uint8_t* texel);

// Converts one row of `width` texels into 32-bit 0xAARRGGBB words (which are
// GL_BGRA / GL_UNSIGNED_INT_8_8_8_8_REV in memory).
void ConvertRowToArgb(D3DFORMAT format, const uint8_t* source, UINT width, uint32_t* target);

}  // namespace gl_d3d8
