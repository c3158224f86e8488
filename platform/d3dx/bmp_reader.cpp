// Windows bitmap reader: core (OS/2 1.x) and info headers up to version 5;
// 1-, 4- and 8-bit palettised, 16- and 32-bit with default or explicit
// masks, 24-bit; bottom-up and top-down; uncompressed, RLE8 and RLE4.
// Every header field is checked and the pixel data is proven to lie inside
// the file before any pixel memory is allocated.
#include "image.h"

#include "common/byte_reader.h"

#include <new>

namespace tundra_d3dx {

namespace {

const uint32_t kFileHeaderSize = 14;
const uint32_t kCoreHeaderSize = 12;
const uint32_t kInfoHeaderSize = 40;

enum Compression : uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kAlphaBitFields = 6,
};

struct BmpHeader {
    uint32_t dataOffset = 0;
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;  // negative: top-down
    uint32_t bitsPerPixel = 0;
    uint32_t compression = kRgb;
    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    uint32_t paletteOffset = 0;        // where the palette starts in the file
    uint32_t paletteEntrySize = 4;     // 3 in core headers
    uint32_t paletteSize = 0;          // entries
    bool topDown = false;

    uint32_t rows() const { return uint32_t(topDown ? -height : height); }
};

// One colour channel held under a bit mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t maximum = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (mask == 0) return;
        while (((mask >> shift) & 1u) == 0) ++shift;
        maximum = mask >> shift;
    }
    uint32_t extract(uint32_t pixel) const {
        if (maximum == 0) return 0;
        uint64_t value = (pixel & mask) >> shift;
        return uint32_t((value * 255 + maximum / 2) / maximum);
    }
};

bool IsContiguous(uint32_t mask) {
    if (mask == 0) return true;
    while ((mask & 1u) == 0) mask >>= 1;
    return (mask & (mask + 1)) == 0;
}

HRESULT Fail(std::string& reason, const char* text) {
    reason = text;
    return D3DXERR_INVALIDDATA;
}

HRESULT ReadInfoHeader(const uint8_t* data, size_t size, BmpHeader& h, std::string& reason) {
    ByteReader info(data + kFileHeaderSize, size - kFileHeaderSize);
    info.skip(4);  // the header size, read already
    uint32_t planes = 0;
    if (h.headerSize == kCoreHeaderSize) {
        h.width = info.u16();
        h.height = info.u16();
        planes = info.u16();
        h.bitsPerPixel = info.u16();
        h.paletteEntrySize = 3;
    } else {
        h.width = info.i32();
        h.height = info.i32();
        planes = info.u16();
        h.bitsPerPixel = info.u16();
        h.compression = info.u32();
        h.colorsUsed = info.seek(32).u32();
    }
    if (planes != 1) return Fail(reason, "BMP plane count is not 1");
    uint64_t afterHeader = uint64_t(kFileHeaderSize) + h.headerSize;
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        // Masks sit inside newer headers, or right after a 40-byte one.
        uint32_t maskCount = h.compression == kAlphaBitFields ? 4 : 3;
        if (h.headerSize == kInfoHeaderSize) {
            if (afterHeader + 4 * maskCount > size) return Fail(reason, "BMP masks cut short");
            afterHeader += 4 * maskCount;
        } else if (h.headerSize < kInfoHeaderSize + 4 * maskCount) {
            return Fail(reason, "BMP header too small for its masks");
        }
        info.seek(kInfoHeaderSize);
        for (uint32_t i = 0; i < maskCount; ++i) h.masks[i] = info.u32();
        if (h.headerSize >= kInfoHeaderSize + 16)
            h.masks[3] = info.seek(kInfoHeaderSize + 12).u32();
    }
    h.paletteOffset = uint32_t(afterHeader);
    return S_OK;
}

HRESULT CheckGeometry(BmpHeader& h, std::string& reason) {
    if (h.width <= 0 || h.height == 0) return Fail(reason, "BMP has no pixels");
    h.topDown = h.height < 0;
    uint64_t rows = uint64_t(h.topDown ? -h.height : h.height);
    if (uint64_t(h.width) > kMaxImageDimension || rows > kMaxImageDimension ||
        uint64_t(h.width) * rows > kMaxImagePixels)
        return Fail(reason, "BMP is too large");
    return S_OK;
}

HRESULT CheckFormat(BmpHeader& h, std::string& reason) {
    uint32_t bpp = h.bitsPerPixel;
    switch (h.compression) {
        case kRgb:
            if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
                return Fail(reason, "BMP bit depth not supported");
            break;
        case kRle8:
        case kRle4:
            if (bpp != (h.compression == kRle8 ? 8u : 4u))
                return Fail(reason, "BMP run-length coding does not fit its bit depth");
            if (h.topDown) return Fail(reason, "BMP run-length coding cannot be top-down");
            break;
        case kBitFields:
        case kAlphaBitFields:
            if (bpp != 16 && bpp != 32) return Fail(reason, "BMP bit fields need 16 or 32 bits");
            break;
        default: return Fail(reason, "BMP compression not supported");
    }
    if (bpp == 16 && h.compression == kRgb) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (bpp == 32 && h.compression == kRgb) {
        h.masks[0] = 0x00FF0000;
        h.masks[1] = 0x0000FF00;
        h.masks[2] = 0x000000FF;
    }
    if (bpp == 16 || bpp == 32) {
        uint32_t limit = bpp == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        for (int i = 0; i < 3; ++i)
            if (h.masks[i] == 0) return Fail(reason, "BMP colour mask is empty");
        for (uint32_t mask : h.masks)
            if (!IsContiguous(mask) || (mask & ~limit) != 0)
                return Fail(reason, "BMP colour mask is not a run of bits inside the pixel");
    }
    return S_OK;
}

HRESULT CheckPalette(BmpHeader& h, size_t size, std::string& reason) {
    if (h.bitsPerPixel > 8) return S_OK;  // a colour table there only lists hints
    uint32_t fullSize = 1u << h.bitsPerPixel;
    if (h.colorsUsed > fullSize) return Fail(reason, "BMP palette larger than its bit depth");
    h.paletteSize = h.colorsUsed ? h.colorsUsed : fullSize;
    uint64_t paletteEnd = uint64_t(h.paletteOffset) + uint64_t(h.paletteSize) * h.paletteEntrySize;
    if (paletteEnd > size) return Fail(reason, "BMP palette cut short");
    if (paletteEnd > h.dataOffset) return Fail(reason, "BMP palette overlaps the pixel data");
    return S_OK;
}

HRESULT ReadHeader(const uint8_t* data, size_t size, BmpHeader& h, std::string& reason) {
    if (size < kFileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M')
        return Fail(reason, "not a BMP file");
    ByteReader file(data, size);
    h.dataOffset = file.seek(10).u32();
    h.headerSize = file.u32();
    bool known = h.headerSize == kCoreHeaderSize || h.headerSize == kInfoHeaderSize ||
                 h.headerSize == 52 || h.headerSize == 56 || h.headerSize == 108 ||
                 h.headerSize == 124;
    if (!known) return Fail(reason, "BMP header size not supported");
    if (uint64_t(kFileHeaderSize) + h.headerSize > size)
        return Fail(reason, "BMP header cut short");
    HRESULT hr = ReadInfoHeader(data, size, h, reason);
    if (SUCCEEDED(hr)) hr = CheckGeometry(h, reason);
    if (SUCCEEDED(hr)) hr = CheckFormat(h, reason);
    if (FAILED(hr)) return hr;
    if (h.dataOffset < h.paletteOffset || h.dataOffset >= size)
        return Fail(reason, "BMP pixel data offset outside the file");
    return CheckPalette(h, size, reason);
}

std::vector<uint32_t> readPalette(const uint8_t* data, const BmpHeader& h) {
    std::vector<uint32_t> palette(h.paletteSize);
    for (uint32_t i = 0; i < h.paletteSize; ++i) {
        const uint8_t* entry = data + h.paletteOffset + size_t(i) * h.paletteEntrySize;
        palette[i] = 0xFF000000u | (uint32_t(entry[2]) << 16) | (uint32_t(entry[1]) << 8) |
                     entry[0];
    }
    return palette;
}

// An index outside the colour table shows as opaque black.
uint32_t LookUp(const std::vector<uint32_t>& palette, uint32_t index) {
    return index < palette.size() ? palette[index] : 0xFF000000u;
}

uint32_t ImageRow(const BmpHeader& h, uint32_t fileRow) {
    return h.topDown ? fileRow : h.rows() - 1 - fileRow;
}

void DecodeMaskedRow(const uint8_t* row, const BmpHeader& h, Image& image, uint32_t y) {
    Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
    uint32_t bytes = h.bitsPerPixel / 8;
    ByteReader pixels(row, size_t(image.width) * bytes);
    for (uint32_t x = 0; x < image.width; ++x) {
        uint32_t pixel = bytes == 2 ? pixels.u16() : pixels.u32();
        uint32_t a = h.masks[3] ? alpha.extract(pixel) : 255;
        image.at(x, y) = (a << 24) | (red.extract(pixel) << 16) | (green.extract(pixel) << 8) |
                         blue.extract(pixel);
    }
}

void DecodeRow(const uint8_t* row, const BmpHeader& h, const std::vector<uint32_t>& palette,
               Image& image, uint32_t y) {
    uint32_t bpp = h.bitsPerPixel;
    if (bpp == 16 || bpp == 32) return DecodeMaskedRow(row, h, image, y);
    for (uint32_t x = 0; x < image.width; ++x) {
        if (bpp == 24) {
            const uint8_t* p = row + size_t(x) * 3;
            image.at(x, y) = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
            continue;
        }
        uint32_t perByte = 8 / bpp;
        uint32_t byte = row[x / perByte];
        uint32_t shift = 8 - bpp * (x % perByte + 1);
        uint32_t index = (byte >> shift) & ((1u << bpp) - 1);
        image.at(x, y) = LookUp(palette, index);
    }
}

HRESULT DecodeUncompressed(const uint8_t* data, size_t size, const BmpHeader& h,
                           const std::vector<uint32_t>& palette, Image& image,
                           std::string& reason) {
    uint64_t stride = (uint64_t(h.width) * h.bitsPerPixel + 31) / 32 * 4;
    // The last row only needs its pixels, not its padding.
    uint64_t lastRow = (uint64_t(h.width) * h.bitsPerPixel + 7) / 8;
    if (uint64_t(h.dataOffset) + stride * (h.rows() - 1) + lastRow > size)
        return Fail(reason, "BMP pixel data cut short");
    for (uint32_t fileRow = 0; fileRow < h.rows(); ++fileRow)
        DecodeRow(data + h.dataOffset + stride * fileRow, h, palette, image, ImageRow(h, fileRow));
    return S_OK;
}

// Decodes run-length coded indices into `indices` (one byte per pixel, file
// row order). Common writers code each row out to its padded width, so
// indices past the end of a row are dropped; a run below the last row, a
// delta that leaves the image at the bottom, and data that ends before the
// end-of-bitmap mark make the file invalid.
HRESULT DecodeRle(const uint8_t* data, size_t size, const BmpHeader& h,
                  std::vector<uint8_t>& indices, std::string& reason) {
    const bool four = h.compression == kRle4;
    const uint32_t width = uint32_t(h.width), rows = h.rows();
    size_t pos = h.dataOffset;
    uint64_t x = 0;  // may run past the row end, never wraps
    uint32_t row = 0;
    auto put = [&](uint32_t index) {
        if (x < width) indices[size_t(row) * width + size_t(x)] = uint8_t(index);
        ++x;
    };
    while (true) {
        if (pos + 2 > size) return Fail(reason, "BMP run-length data ends without its end mark");
        uint32_t count = data[pos], value = data[pos + 1];
        pos += 2;
        if (count > 0) {  // a run of one index (RLE4: two alternating)
            if (row >= rows) return Fail(reason, "BMP run below the last row");
            for (uint32_t i = 0; i < count; ++i)
                put(four ? ((i % 2 == 0) ? value >> 4 : value & 0x0F) : value);
        } else if (value == 0) {  // end of line
            x = 0;
            ++row;
        } else if (value == 1) {  // end of bitmap
            return S_OK;
        } else if (value == 2) {  // delta
            if (pos + 2 > size) return Fail(reason, "BMP delta cut short");
            uint32_t dx = data[pos], dy = data[pos + 1];
            pos += 2;
            if (dy > rows - row || (dy == rows - row && dx > 0))
                return Fail(reason, "BMP delta leaves the image");
            x += dx;
            row += dy;
        } else {  // absolute run of `value` indices
            uint32_t bytes = four ? (value + 1) / 2 : value;
            uint32_t padded = bytes + (bytes & 1);
            if (pos + padded > size) return Fail(reason, "BMP literal run cut short");
            if (row >= rows) return Fail(reason, "BMP run below the last row");
            for (uint32_t i = 0; i < value; ++i)
                put(four ? ((i % 2 == 0) ? data[pos + i / 2] >> 4 : data[pos + i / 2] & 0x0F)
                         : data[pos + i]);
            pos += padded;
        }
    }
}

HRESULT DecodeCompressed(const uint8_t* data, size_t size, const BmpHeader& h,
                         const std::vector<uint32_t>& palette, Image& image, std::string& reason) {
    // Pixels the runs skip keep colour index 0.
    std::vector<uint8_t> indices(size_t(image.width) * image.height, 0);
    HRESULT hr = DecodeRle(data, size, h, indices, reason);
    if (FAILED(hr)) return hr;
    for (uint32_t fileRow = 0; fileRow < h.rows(); ++fileRow)
        for (uint32_t x = 0; x < image.width; ++x)
            image.at(x, ImageRow(h, fileRow)) =
                LookUp(palette, indices[size_t(fileRow) * image.width + x]);
    return S_OK;
}

D3DFORMAT SourceFormatOf(const BmpHeader& h, bool translucent) {
    switch (h.bitsPerPixel) {
        case 24: return D3DFMT_R8G8B8;
        case 32: return translucent || h.masks[3] ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        case 16:
            if (h.masks[1] == 0x07E0) return D3DFMT_R5G6B5;
            return h.masks[3] ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
        default: return D3DFMT_X8R8G8B8;  // palettised images are expanded to 32 bits
    }
}

// Many writers declare an alpha mask and leave every alpha at 0; such an
// image is meant to be opaque.
void MakeOpaqueIfAlphaUnused(Image& image) {
    for (uint32_t texel : image.texels)
        if ((texel >> 24) != 0) return;
    for (uint32_t& texel : image.texels) texel |= 0xFF000000u;
}

}  // namespace

HRESULT DecodeBmp(const uint8_t* data, size_t size, Image& image, std::string& reason) {
    BmpHeader h;
    HRESULT hr = ReadHeader(data, size, h, reason);
    if (FAILED(hr)) return hr;
    try {
        std::vector<uint32_t> palette = readPalette(data, h);
        image.width = uint32_t(h.width);
        image.height = h.rows();
        image.fileFormat = D3DXIFF_BMP;
        image.texels.assign(size_t(image.width) * image.height, 0xFF000000u);
        bool compressed = h.compression == kRle8 || h.compression == kRle4;
        hr = compressed ? DecodeCompressed(data, size, h, palette, image, reason)
                        : DecodeUncompressed(data, size, h, palette, image, reason);
    } catch (const std::bad_alloc&) {
        reason = "out of memory for the BMP pixels";
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        image = Image();
        return hr;
    }
    if (h.masks[3]) MakeOpaqueIfAlphaUnused(image);
    image.sourceFormat = SourceFormatOf(h, image.hasTranslucency());
    return S_OK;
}

}  // namespace tundra_d3dx
