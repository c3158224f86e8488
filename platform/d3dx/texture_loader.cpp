// D3DXCreateTextureFromFileExA: reads a BMP, PNG or JPEG file, builds the
// mip chain and fills a texture the device creates, level by level through
// LockRect, honouring the pitch the device reports.
#include "image.h"

#include "../platform.h"
#include "common/input_file.h"
#include "../texel_layout.h"

#include <new>

namespace tundra_d3dx {

namespace {

// Larger files are not images this loader could use anyway.
const uint64_t kMaxFileSize = uint64_t(256) << 20;

std::string g_lastError;

HRESULT FailWith(HRESULT hr, const std::string& reason) {
    g_lastError = reason;
    return hr;
}

HRESULT ReadFile(const char* name, std::vector<uint8_t>& bytes) {
    switch (ReadWholeFile(NativePath(name), kMaxFileSize, bytes)) {
        case WholeFile::Read: return S_OK;
        case WholeFile::CannotOpen: return FailWith(E_FAIL, "the file cannot be opened");
        case WholeFile::TooLarge:
            return FailWith(D3DXERR_INVALIDDATA, "the file is too large to be an image");
        case WholeFile::CannotRead: break;
    }
    return FailWith(E_FAIL, "the file cannot be read");
}

bool IsDefault(UINT value) { return value == 0 || value == D3DX_DEFAULT; }

uint32_t ScaleTo(uint32_t byte, uint32_t bits) {
    uint32_t maximum = (1u << bits) - 1;
    return (byte * maximum + 127) / 255;
}


uint32_t Convert(uint32_t argb, D3DFORMAT format) {
    uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    switch (format) {
        case D3DFMT_X8R8G8B8: return argb | 0xFF000000u;
        case D3DFMT_R5G6B5: return (ScaleTo(r, 5) << 11) | (ScaleTo(g, 6) << 5) | ScaleTo(b, 5);
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            uint32_t alpha = (format == D3DFMT_X1R5G5B5 || a >= 128) ? 0x8000u : 0u;
            return alpha | (ScaleTo(r, 5) << 10) | (ScaleTo(g, 5) << 5) | ScaleTo(b, 5);
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            uint32_t alpha = format == D3DFMT_X4R4G4B4 ? 15u : ScaleTo(a, 4);
            return (alpha << 12) | (ScaleTo(r, 4) << 8) | (ScaleTo(g, 4) << 4) | ScaleTo(b, 4);
        }
        case D3DFMT_A8: return a;
        case D3DFMT_L8: return (299 * r + 587 * g + 114 * b + 500) / 1000;
        default: return argb;  // A8R8G8B8 and R8G8B8 keep the bytes as they are
    }
}

void WriteRow(const Image& image, uint32_t y, D3DFORMAT format, BYTE* row) {
    UINT bytes = texel_layout::BytesPerTexel(format);
    for (uint32_t x = 0; x < image.width; ++x) {
        uint32_t value = Convert(image.at(x, y), format);
        for (UINT i = 0; i < bytes; ++i) row[size_t(x) * bytes + i] = BYTE(value >> (8 * i));
    }
}

HRESULT FillLevel(IDirect3DTexture8* texture, UINT level, const Image& image, D3DFORMAT format) {
    D3DLOCKED_RECT locked;
    HRESULT hr = texture->LockRect(level, &locked, nullptr, 0);
    if (FAILED(hr)) return FailWith(hr, "cannot lock texture level " + std::to_string(level));
    if (!locked.pBits || locked.Pitch < 0 ||
        UINT(locked.Pitch) < image.width * texel_layout::BytesPerTexel(format)) {
        texture->UnlockRect(level);
        return FailWith(D3DERR_INVALIDCALL, "texture level has an unusable pitch");
    }
    for (uint32_t y = 0; y < image.height; ++y)
        WriteRow(image, y, format, static_cast<BYTE*>(locked.pBits) + size_t(y) * locked.Pitch);
    texture->UnlockRect(level);
    return S_OK;
}

HRESULT FillChain(IDirect3DTexture8* texture, UINT levels, Image image, D3DFORMAT format) {
    for (UINT level = 0; level < levels; ++level) {
        if (level > 0) image = HalveImage(image);
        HRESULT hr = FillLevel(texture, level, image, format);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void ApplyColorKey(Image& image, D3DCOLOR colorKey) {
    if (colorKey == 0) return;
    for (uint32_t& texel : image.texels)
        if (texel == colorKey) texel = 0;
}

struct Request {
    UINT width, height, mipLevels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    D3DCOLOR colorKey;
};

HRESULT CreateAndFill(IDirect3DDevice8* device, Image image, const Request& request,
                      IDirect3DTexture8** result) {
    ApplyColorKey(image, request.colorKey);
    UINT width = IsDefault(request.width) ? image.width : request.width;
    UINT height = IsDefault(request.height) ? image.height : request.height;
    if (width > kMaxImageDimension || height > kMaxImageDimension)
        return FailWith(D3DERR_INVALIDCALL, "requested texture size too large");
    if (width != image.width || height != image.height) image = ResizeImage(image, width, height);

    D3DFORMAT format = request.format;
    if (format == D3DFMT_UNKNOWN)
        format = image.hasTranslucency() ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    if (texel_layout::BytesPerTexel(format) == 0)
        return FailWith(D3DERR_INVALIDCALL, "texture format not supported by the loader");
    UINT fullChain = texel_layout::MipChainLength(width, height);
    UINT levels = IsDefault(request.mipLevels) || request.mipLevels > fullChain ? fullChain
                                                                                : request.mipLevels;

    IDirect3DTexture8* texture = nullptr;
    HRESULT hr =
        device->CreateTexture(width, height, levels, request.usage, format, request.pool, &texture);
    if (FAILED(hr) || !texture) return FailWith(FAILED(hr) ? hr : E_FAIL, "CreateTexture failed");
    try {
        hr = FillChain(texture, levels, std::move(image), format);
    } catch (const std::bad_alloc&) {
        hr = FailWith(E_OUTOFMEMORY, "out of memory for the mip chain");
    }
    if (FAILED(hr)) {
        texture->Release();
        return hr;
    }
    *result = texture;
    return S_OK;
}

}  // namespace

const std::string& LastTextureLoadError() { return g_lastError; }

}  // namespace tundra_d3dx

using namespace tundra_d3dx;

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE8 device, LPCSTR srcFile, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool, DWORD /*filter*/,
                                            DWORD /*mipFilter*/, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* /*palette*/,
                                            LPDIRECT3DTEXTURE8* texture) {
    g_lastError.clear();
    if (texture) *texture = nullptr;
    if (!device || !srcFile || !texture)
        return FailWith(D3DERR_INVALIDCALL, "missing device, file name or result");
    Image image;
    try {
        std::vector<uint8_t> bytes;
        HRESULT hr = ReadFile(srcFile, bytes);
        if (FAILED(hr)) return hr;
        std::string reason;
        hr = DecodeImage(bytes.data(), bytes.size(), image, reason);
        if (FAILED(hr)) return FailWith(hr, reason);
    } catch (const std::bad_alloc&) {
        return FailWith(E_OUTOFMEMORY, "out of memory reading the image file");
    }
    if (srcInfo) {
        srcInfo->Width = image.width;
        srcInfo->Height = image.height;
        srcInfo->Depth = 1;
        srcInfo->MipLevels = 1;
        srcInfo->Format = image.sourceFormat;
        srcInfo->ImageFileFormat = image.fileFormat;
    }
    try {
        Request request{width, height, mipLevels, usage, format, pool, colorKey};
        return CreateAndFill(device, std::move(image), request, texture);
    } catch (const std::bad_alloc&) {
        return FailWith(E_OUTOFMEMORY, "out of memory converting the image");
    }
}
