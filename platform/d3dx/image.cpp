// Format sniffing and the filters that build mip levels and resize images.
#include "image.h"

#include <cmath>

namespace tundra_d3dx {

bool Image::hasTranslucency() const {
    for (uint32_t texel : texels)
        if ((texel >> 24) != 0xFF) return true;
    return false;
}

HRESULT DecodeImage(const uint8_t* data, size_t size, Image& image, std::string& reason) {
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return DecodeBmp(data, size, image, reason);
    bool png = size >= 8 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G';
    bool jpeg = size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
    if (png || jpeg) return DecodePngOrJpeg(data, size, image, reason);
    reason = "not a BMP, PNG or JPEG file";
    return D3DXERR_INVALIDDATA;
}

namespace {

// The weights of the source texels under destination texel `i` when `size`
// texels shrink to size / 2: two halves for an even size; for an odd size
// (2m + 1 → m) the exact coverage of three texels, (m − i, m, i + 1) / (2m + 1).
struct Taps {
    uint32_t first;
    uint32_t count;
    float weight[3];
};

Taps TapsFor(uint32_t i, uint32_t size) {
    if (size == 1) return Taps{0, 1, {1.0f, 0.0f, 0.0f}};
    if (size % 2 == 0) return Taps{2 * i, 2, {0.5f, 0.5f, 0.0f}};
    uint32_t m = size / 2;
    float n = float(size);
    return Taps{2 * i, 3, {float(m - i) / n, float(m) / n, float(i + 1) / n}};
}

float Channel(uint32_t texel, int c) { return float((texel >> (8 * c)) & 0xFF); }

uint32_t Pack(const float sum[4]) {
    uint32_t texel = 0;
    for (int c = 0; c < 4; ++c) {
        float v = std::floor(sum[c] + 0.5f);
        uint32_t byte = v <= 0.0f ? 0u : v >= 255.0f ? 255u : uint32_t(v);
        texel |= byte << (8 * c);
    }
    return texel;
}

}  // namespace

Image HalveImage(const Image& source) {
    Image half;
    half.width = source.width > 1 ? source.width / 2 : 1;
    half.height = source.height > 1 ? source.height / 2 : 1;
    half.sourceFormat = source.sourceFormat;
    half.fileFormat = source.fileFormat;
    half.texels.resize(size_t(half.width) * half.height);
    for (uint32_t y = 0; y < half.height; ++y) {
        Taps rows = TapsFor(y, source.height);
        for (uint32_t x = 0; x < half.width; ++x) {
            Taps columns = TapsFor(x, source.width);
            float sum[4] = {0, 0, 0, 0};
            for (uint32_t r = 0; r < rows.count; ++r)
                for (uint32_t k = 0; k < columns.count; ++k) {
                    uint32_t texel = source.at(columns.first + k, rows.first + r);
                    float w = rows.weight[r] * columns.weight[k];
                    for (int c = 0; c < 4; ++c) sum[c] += w * Channel(texel, c);
                }
            half.at(x, y) = Pack(sum);
        }
    }
    return half;
}

Image ResizeImage(const Image& source, uint32_t width, uint32_t height) {
    Image resized;
    resized.width = width;
    resized.height = height;
    resized.sourceFormat = source.sourceFormat;
    resized.fileFormat = source.fileFormat;
    resized.texels.resize(size_t(width) * height);
    auto sample = [](uint32_t i, uint32_t to, uint32_t from, uint32_t& a, uint32_t& b, float& t) {
        float s = (float(i) + 0.5f) * float(from) / float(to) - 0.5f;
        if (s < 0.0f) s = 0.0f;
        a = uint32_t(s);
        if (a >= from) a = from - 1;
        b = a + 1 < from ? a + 1 : a;
        t = s - float(a);
    };
    for (uint32_t y = 0; y < height; ++y) {
        uint32_t y0, y1;
        float ty;
        sample(y, height, source.height, y0, y1, ty);
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t x0, x1;
            float tx;
            sample(x, width, source.width, x0, x1, tx);
            float sum[4];
            for (int c = 0; c < 4; ++c) {
                float top = Channel(source.at(x0, y0), c) * (1 - tx) +
                            Channel(source.at(x1, y0), c) * tx;
                float bottom = Channel(source.at(x0, y1), c) * (1 - tx) +
                               Channel(source.at(x1, y1), c) * tx;
                sum[c] = top * (1 - ty) + bottom * ty;
            }
            resized.at(x, y) = Pack(sum);
        }
    }
    return resized;
}

}  // namespace tundra_d3dx
