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

std::string failureReason() {
    const char* reason = stbi_failure_reason();
    return reason && *reason ? reason : "decoder gave up";
}

D3DFORMAT sourceFormatOf(int channels, bool translucent) {
    switch (channels) {
        case 1: return D3DFMT_L8;
        case 3: return D3DFMT_R8G8B8;
        default: return translucent ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }
}

// Reads like stb_image's stream: bytes past the end are 0.
uint8_t byteAt(const uint8_t* data, size_t size, size_t at) { return at < size ? data[at] : 0; }

bool isStandaloneMarker(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// After a scan header: the entropy-coded data runs to the next 0xFF that is
// neither a stuffed 0xFF00 nor a restart marker.
size_t skipEntropyCodedData(const uint8_t* data, size_t size, size_t at) {
    while (at + 1 < size) {
        if (data[at] == 0xFF && data[at + 1] != 0 && !isStandaloneMarker(data[at + 1])) return at;
        ++at;
    }
    return size;
}

// A Huffman table segment (DHT) read as stb_image reads it: tables follow
// one another while the segment length lasts, each 17 bytes plus as many
// symbols as its 16 counts add up to. Returns where stb_image stops reading,
// or 0 when a table has more than 256 symbols.
size_t checkHuffmanSegment(const uint8_t* data, size_t size, size_t at, long length) {
    while (length > 0) {
        long symbols = 0;
        for (size_t i = 1; i <= 16; ++i) symbols += byteAt(data, size, at + i);
        if (symbols > 256) return 0;
        at += 17 + size_t(symbols);
        length -= 17 + symbols;
    }
    return at;
}

// stb_image 2.27 trusts the symbol counts of a JPEG Huffman table and writes
// past its 256-entry tables when they add up to more; such files are refused
// here before stb_image sees them. Walks the marker segments of the whole
// file as stb_image does (progressive JPEGs define tables between scans),
// and like it skips stray bytes between segments to the next 0xFF. Where
// the two walks could part, stb_image stops with an error anyway.
bool huffmanTablesFit(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) return true;
    size_t at = 2;
    while (at + 1 < size) {
        while (at < size && data[at] != 0xFF) ++at;  // stray bytes
        while (at < size && data[at] == 0xFF) ++at;  // fill bytes
        if (at >= size) return true;
        const uint8_t marker = data[at++];
        if (marker == 0xD9) return true;
        if (isStandaloneMarker(marker)) continue;
        const long length = (long(byteAt(data, size, at)) << 8 | byteAt(data, size, at + 1)) - 2;
        if (length < 0) return true;
        if (marker == 0xC4) {
            at = checkHuffmanSegment(data, size, at + 2, length);
            if (at == 0) return false;
        } else {
            at += 2 + size_t(length);
            if (marker == 0xDA) at = skipEntropyCodedData(data, size, at);
        }
    }
    return true;
}

}  // namespace

HRESULT DecodePngOrJpeg(const uint8_t* data, size_t size, Image& image, std::string& reason) {
    if (size > size_t(INT_MAX)) {
        reason = "image file too large";
        return D3DXERR_INVALIDDATA;
    }
    if (!huffmanTablesFit(data, size)) {
        reason = "damaged JPEG: a Huffman table has more than 256 symbols";
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
        image.sourceFormat = sourceFormatOf(channels, image.hasTranslucency());
    } catch (const std::bad_alloc&) {
        image = Image();
        reason = "out of memory for the image";
        hr = E_OUTOFMEMORY;
    }
    stbi_image_free(rgba);
    return hr;
}

}  // namespace tundra_d3dx
