// Direct3D colours as GL takes them.
#pragma once

#include "../d3d8.h"
#include "gl_headers.h"

#include <array>

namespace gl_d3d8 {

// A D3DCOLOR (0xAARRGGBB) as GL's red, green, blue and alpha.
inline std::array<GLfloat, 4> ColorToFloats(D3DCOLOR color) {
    return {((color >> 16) & 255) / 255.0f, ((color >> 8) & 255) / 255.0f, (color & 255) / 255.0f,
            (color >> 24) / 255.0f};
}

}  // namespace gl_d3d8
