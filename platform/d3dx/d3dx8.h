// Our D3DX 8 subset, the same on every platform: matrix functions and texture
// loading from BMP, PNG and JPEG files with a full mip chain.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <d3d8.h>
#else
#include "../linux/d3d8.h"
#endif

struct D3DXVECTOR3 {
    float x, y, z;
    D3DXVECTOR3() : x(0), y(0), z(0) {}
    D3DXVECTOR3(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}
};

// A row-vector matrix: points transform as v * M, translation in row 4.
struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() = default;
    D3DXMATRIX(const D3DMATRIX& other) : D3DMATRIX(other) {}
    D3DXMATRIX(float m11, float m12, float m13, float m14, float m21, float m22, float m23,
               float m24, float m31, float m32, float m33, float m34, float m41, float m42,
               float m43, float m44);
    float& operator()(unsigned row, unsigned column) { return m[row][column]; }
    float operator()(unsigned row, unsigned column) const { return m[row][column]; }
    operator float*() { return &m[0][0]; }
    operator const float*() const { return &m[0][0]; }
    D3DXMATRIX operator*(const D3DXMATRIX& other) const;
    bool operator==(const D3DXMATRIX& other) const;
};

#define D3DX_DEFAULT ((UINT)-1)

#define D3DX_FILTER_NONE (1 << 0)
#define D3DX_FILTER_POINT (2 << 0)
#define D3DX_FILTER_LINEAR (3 << 0)
#define D3DX_FILTER_TRIANGLE (4 << 0)
#define D3DX_FILTER_BOX (5 << 0)

#define D3DXERR_INVALIDDATA MAKE_HRESULT(1, 0x876, 2905)

enum D3DXIMAGE_FILEFORMAT : uint32_t {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_FORCE_DWORD = 0x7fffffff
};

struct D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
// Stores the determinant (when asked) and the inverse; returns null and leaves
// *out untouched when the matrix is singular.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zNear,
                                       float zFar);
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE8 device, LPCSTR srcFile, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                            LPDIRECT3DTEXTURE8* texture);

namespace tundra_d3dx {
// Not in D3DX 8, which tells its callers only an HRESULT: why the last
// D3DXCreateTextureFromFileExA call failed, in words for a log ("" after a
// success). It never names the file; the caller knows it.
const std::string& LastTextureLoadError();
}  // namespace tundra_d3dx
