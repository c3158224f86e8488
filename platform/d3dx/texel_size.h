// Bytes per texel of the colour formats textures are made in: the one table
// shared by the texture loader, the Linux device and the test device.
#pragma once

#include "d3dx8.h"

namespace tundra_d3dx {

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

}  // namespace tundra_d3dx
