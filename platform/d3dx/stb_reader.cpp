// PNG and JPEG through stb_image (Debian's libstb-dev): one well-kept
// public-domain file that covers both formats, with no library to link on
// either platform. It is compiled here, privately (STB_IMAGE_STATIC), with
// only the two decoders we need and no file access of its own.
#include "image.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>

#include <climits>
#include <new>

namespace tundra_d3dx {

namespace {

// stb_image puts an unknown chunk's type bytes into its message as they
// are; the log gets '?' for those that are not printable.
std::string failureReason() {
    const char* reason = stbi_failure_reason();
    std::string text = reason && *reason ? reason : "decoder gave up";
    for (char& c : text)
        if (c < 0x20 || c > 0x7E) c = '?';
    return text;
}

D3DFORMAT SourceFormatOf(int channels, bool translucent) {
    switch (channels) {
        case 1: return D3DFMT_L8;
        case 3: return D3DFMT_R8G8B8;
        default: return translucent ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }
}

}  // namespace

HRESULT DecodePngOrJpeg(const uint8_t* data, size_t size, Image& image, std::string& reason) {
    if (size > size_t(INT_MAX)) {
        reason = "image file too large";
        return D3DXERR_INVALIDDATA;
    }
    const std::vector<uint8_t> cleaned = WithoutEmptyImageData(data, size);
    if (!cleaned.empty()) {
        data = cleaned.data();
        size = cleaned.size();
    }
    const std::string jpegProblem = JpegProblemForStb(data, size);
    if (!jpegProblem.empty()) {
        reason = "damaged JPEG: " + jpegProblem;
        return D3DXERR_INVALIDDATA;
    }
    const std::string pngProblem = PngProblemForStb(data, size);
    if (!pngProblem.empty()) {
        reason = "damaged PNG: " + pngProblem;
        return D3DXERR_INVALIDDATA;
    }
    int width = 0, height = 0, channels = 0;
    // The header alone first, so that the size is checked before decoding.
    if (!stbi_info_from_memory(data, int(size), &width, &height, &channels)) {
        reason = std::string("not a readable PNG or JPEG: ") + failureReason();
        return D3DXERR_INVALIDDATA;
    }
    if (width <= 0 || height <= 0 || uint32_t(width) > kMaxImageDimension ||
        uint32_t(height) > kMaxImageDimension ||
        uint64_t(width) * uint64_t(height) > kMaxImagePixels) {
        reason = "image is too large";
        return D3DXERR_INVALIDDATA;
    }
    stbi_uc* rgba = stbi_load_from_memory(data, int(size), &width, &height, &channels, 4);
    if (!rgba) {
        reason = std::string("damaged PNG or JPEG: ") + failureReason();
        return D3DXERR_INVALIDDATA;
    }
    HRESULT hr = S_OK;
    try {
        image.width = uint32_t(width);
        image.height = uint32_t(height);
        image.texels.resize(size_t(width) * size_t(height));
        for (size_t i = 0; i < image.texels.size(); ++i) {
            const stbi_uc* p = rgba + i * 4;
            image.texels[i] = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) |
                              (uint32_t(p[1]) << 8) | p[2];
        }
        bool isPng = size >= 4 && data[0] == 0x89 && data[1] == 'P';
        image.fileFormat = isPng ? D3DXIFF_PNG : D3DXIFF_JPG;
        image.sourceFormat = SourceFormatOf(channels, image.hasTranslucency());
    } catch (const std::bad_alloc&) {
        image = Image();
        reason = "out of memory for the image";
        hr = E_OUTOFMEMORY;
    }
    stbi_image_free(rgba);
    return hr;
}

}  // namespace tundra_d3dx
