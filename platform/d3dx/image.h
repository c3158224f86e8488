// Decoded images and the readers behind D3DXCreateTextureFromFileExA.
// Internal to platform/d3dx (and its tests and fuzz targets).
#pragma once

#include "d3dx8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tundra_d3dx {

// Larger images are refused before any pixel memory is allocated: no
// Direct3D 8 device takes a texture beyond 4096 texels a side, and the cap
// keeps a small, lying file from asking for gigabytes.
const uint32_t kMaxImageDimension = 16384;
const uint64_t kMaxImagePixels = uint64_t(16384) * 4096;  // 256 MiB of 32-bit texels

// An image in memory: 0xAARRGGBB texels, top row first, rows packed.
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> texels;
    D3DFORMAT sourceFormat = D3DFMT_UNKNOWN;  // the closest Direct3D format of the file's pixels
    D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;

    uint32_t& at(uint32_t x, uint32_t y) { return texels[size_t(y) * width + x]; }
    uint32_t at(uint32_t x, uint32_t y) const { return texels[size_t(y) * width + x]; }
    bool hasTranslucency() const;  // some texel's alpha is below 255
};

// Each reader returns S_OK and fills `image`, or an error (D3DXERR_INVALIDDATA
// for a damaged or unsupported file, E_OUTOFMEMORY when memory runs out) and
// a short reason; it never reads outside `data`.
HRESULT DecodeBmp(const uint8_t* data, size_t size, Image& image, std::string& reason);
HRESULT DecodePngOrJpeg(const uint8_t* data, size_t size, Image& image, std::string& reason);
// For a JPEG, the damage stb_image would not survive (jpeg_check.cpp): a
// reason, or "" when the file may go to stb_image.
std::string JpegProblemForStb(const uint8_t* data, size_t size);
// For a PNG with empty IDAT chunks, a copy without them (png_chunks.cpp);
// otherwise empty: the file may go to stb_image as it is.
std::vector<uint8_t> WithoutEmptyImageData(const uint8_t* data, size_t size);
// For a PNG, the damage stb_image would not survive (png_chunks.cpp): a
// reason, or "" when the file may go to stb_image.
std::string PngProblemForStb(const uint8_t* data, size_t size);
// Picks the reader from the file's first bytes.
HRESULT DecodeImage(const uint8_t* data, size_t size, Image& image, std::string& reason);

// The next smaller mip level: half the size (at least 1), every texel the
// exact area average of the source texels it covers (a 2 × 2 box for even
// sizes, a three-tap polyphase box for odd ones).
Image HalveImage(const Image& source);
// Resampled to the given size with bilinear filtering (texel centres aligned).
Image ResizeImage(const Image& source, uint32_t width, uint32_t height);

}  // namespace tundra_d3dx
