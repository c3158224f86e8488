// Bytes per texel of the colour formats textures are made in, and the length
// of a full mip chain: shared by D3DX's texture loader, the Linux device and
// the test device, so it sits below all of them and needs only the Direct3D 8
// declarations of the platform it is built for.
#pragma once

#ifdef _WIN32
#include <d3d8.h>
#else
#include "linux/d3d8.h"
#endif

namespace texel_layout {

// 0 for formats that are not laid out as texels (depth, index, unknown).
inline UINT BytesPerTexel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8: return 4;
        case D3DFMT_R8G8B8: return 3;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: return 2;
        case D3DFMT_A8:
        case D3DFMT_L8: return 1;
        default: return 0;
    }
}

// Levels from width × height down to 1 × 1, each halving both edges (an edge
// stays at 1 once there).
inline UINT MipChainLength(UINT width, UINT height) {
    UINT levels = 1;
    for (UINT edge = width > height ? width : height; edge > 1; edge /= 2) ++levels;
    return levels;
}

}  // namespace texel_layout
