#include "tools/mktexture/marble.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace mktexture {
namespace {

constexpr float kTwoPi = 6.28318530717958647692f;

uint32_t Hash(uint32_t x) {
    // A well-mixed 32-bit integer hash (lowbias32).
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

float SmoothStep(float t) { return t * t * (3.0f - 2.0f * t); }

float Lerp(float a, float b, float t) { return a + (b - a) * t; }

int Wrap(int value, int period) {
    int r = value % period;
    return r < 0 ? r + period : r;
}

// Fractal sum of periodic noise. Each octave doubles the lattice period, so
// every octave still repeats exactly once across the unit square.
float Turbulence(const std::vector<PeriodicNoise>& octaves, float u, float v) {
    float sum = 0.0f;
    float amplitude = 1.0f;
    float total = 0.0f;
    for (const PeriodicNoise& noise : octaves) {
        float n = noise.at(u * noise.period(), v * noise.period());
        sum += amplitude * std::fabs(2.0f * n - 1.0f);
        total += amplitude;
        amplitude *= 0.5f;
    }
    return sum / total;
}

// Smooth fractal noise in about -1..1, periodic like Turbulence.
float Fractal(const std::vector<PeriodicNoise>& octaves, float u, float v) {
    float sum = 0.0f;
    float amplitude = 1.0f;
    float total = 0.0f;
    for (const PeriodicNoise& noise : octaves) {
        sum += amplitude * (2.0f * noise.at(u * noise.period(), v * noise.period()) - 1.0f);
        total += amplitude;
        amplitude *= 0.5f;
    }
    return 2.0f * sum / total;
}

std::vector<PeriodicNoise> MakeOctaves(uint32_t seed, int basePeriod, int count) {
    std::vector<PeriodicNoise> octaves;
    for (int i = 0; i < count; ++i)
        octaves.emplace_back(Hash(seed + 0x9e3779b9U * (i + 1)), basePeriod << i);
    return octaves;
}

uint8_t ToByte(float value) {
    return static_cast<uint8_t>(std::clamp(value, 0.0f, 1.0f) * 255.0f + 0.5f);
}

struct Rgb {
    float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t) { return {Lerp(a.r, b.r, t), Lerp(a.g, b.g, t), Lerp(a.b, b.b, t)}; }

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

PeriodicNoise::PeriodicNoise(uint32_t seed, int period)
    : seed_(seed), period_(std::max(1, period)) {}

float PeriodicNoise::lattice(int x, int y) const {
    uint32_t h = Hash(seed_ ^ Hash(static_cast<uint32_t>(Wrap(x, period_)) * 0x27d4eb2dU +
                                   Hash(static_cast<uint32_t>(Wrap(y, period_)))));
    return static_cast<float>(h & 0xFFFFFF) / static_cast<float>(0xFFFFFF);
}

float PeriodicNoise::at(float x, float y) const {
    float fx = std::floor(x);
    float fy = std::floor(y);
    int ix = static_cast<int>(fx);
    int iy = static_cast<int>(fy);
    float tx = SmoothStep(x - fx);
    float ty = SmoothStep(y - fy);
    float top = Lerp(lattice(ix, iy), lattice(ix + 1, iy), tx);
    float bottom = Lerp(lattice(ix, iy + 1), lattice(ix + 1, iy + 1), tx);
    return Lerp(top, bottom, ty);
}

bool IsValidMarbleSize(int size) { return size >= 8 && size <= 4096 && (size & (size - 1)) == 0; }

Image MakeMarble(int size, uint32_t seed) {
    Image image;
    if (!IsValidMarbleSize(size)) return image;
    image.size = size;
    image.pixels.resize(static_cast<size_t>(size) * size);

    const std::vector<PeriodicNoise> coarse = MakeOctaves(seed, 2, 5);
    const std::vector<PeriodicNoise> fine = MakeOctaves(seed ^ 0xa5a5a5a5U, 8, 4);
    const PeriodicNoise tint(Hash(seed ^ 0x51ed270bU), 3);

    const Rgb stone{0.94f, 0.93f, 0.90f};
    const Rgb cloud{0.84f, 0.85f, 0.84f};
    const Rgb vein{0.42f, 0.45f, 0.47f};
    const Rgb warm{0.90f, 0.84f, 0.74f};

    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float u = static_cast<float>(x) / size;
            float v = static_cast<float>(y) / size;
            // Whole numbers of stripe cycles across the square keep the
            // stripes periodic; smooth noise bends them into flowing veins.
            float phase = kTwoPi * (2.0f * u + 1.0f * v) + 3.5f * Fractal(coarse, u, v);
            float band = std::pow(1.0f - std::fabs(std::sin(phase)), 9.0f);
            float finePhase = kTwoPi * (3.0f * u - 2.0f * v) + 5.0f * Turbulence(fine, u, v);
            float thread = std::pow(1.0f - std::fabs(std::sin(finePhase)), 24.0f);

            Rgb colour = Mix(stone, cloud, 0.5f + 0.5f * Fractal(fine, v, u));
            colour = Mix(colour, warm, 0.4f * tint.at(u * 3.0f, v * 3.0f));
            colour = Mix(colour, vein, std::min(1.0f, 0.75f * band + 0.25f * thread));

            image.pixels[static_cast<size_t>(y) * size + x] = 0xFF000000U |
                                                              (uint32_t{ToByte(colour.r)} << 16) |
                                                              (uint32_t{ToByte(colour.g)} << 8) |
                                                              ToByte(colour.b);
        }
    }
    return image;
}

bool WriteBmp32(const std::string& path, const Image& image, std::string& error) {
    const uint32_t headerBytes = 14 + 40;
    const uint32_t pixelBytes = static_cast<uint32_t>(image.pixels.size()) * 4;
    std::vector<uint8_t> out;
    out.reserve(headerBytes + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    PutLittleEndian(out, headerBytes + pixelBytes, 4);  // file size
    PutLittleEndian(out, 0, 4);                         // reserved
    PutLittleEndian(out, headerBytes, 4);               // offset of the pixels
    PutLittleEndian(out, 40, 4);                        // BITMAPINFOHEADER size
    PutLittleEndian(out, static_cast<uint32_t>(image.size), 4);
    PutLittleEndian(out, static_cast<uint32_t>(image.size), 4);  // positive: bottom-up
    PutLittleEndian(out, 1, 2);                                  // planes
    PutLittleEndian(out, 32, 2);                                 // bits per pixel
    PutLittleEndian(out, 0, 4);                                  // BI_RGB
    PutLittleEndian(out, pixelBytes, 4);
    PutLittleEndian(out, 2835, 4);  // 72 dpi
    PutLittleEndian(out, 2835, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 0, 4);
    for (int y = image.size - 1; y >= 0; --y) {
        for (int x = 0; x < image.size; ++x) PutLittleEndian(out, image.at(x, y), 4);  // B, G, R, A
    }

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        error = "cannot open " + path + " for writing";
        return false;
    }
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file.flush()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace mktexture
