// Procedural marble: periodic noise turned into veins, and a writer for
// 32-bit BMP files with full alpha.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mktexture {

// A square image, row 0 at the top, each pixel 0xAARRGGBB.
struct Image {
    int size = 0;
    std::vector<uint32_t> pixels;

    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * size + x]; }
};

// Smooth noise in 0..1 that repeats every `period` lattice cells in x and y,
// so a texture sampled over exactly one period tiles without seams.
class PeriodicNoise {
public:
    PeriodicNoise(uint32_t seed, int period);

    float at(float x, float y) const;
    int period() const { return period_; }

private:
    float lattice(int x, int y) const;

    uint32_t seed_;
    int period_;
};

// Marble of `size` × `size` pixels (size a power of two, 8 … 4096). The same
// size and seed always give the same pixels; every alpha is 255.
Image MakeMarble(int size, uint32_t seed);

// Writes a bottom-up 32-bit BI_RGB BMP (BITMAPINFOHEADER, BGRA byte order).
// Returns false with `error` set when the file cannot be written.
bool WriteBmp32(const std::string& path, const Image& image, std::string& error);

bool IsValidMarbleSize(int size);

}  // namespace mktexture
