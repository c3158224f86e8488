// mktexture: writes the procedural marble surface texture as a BMP.
#include "tools/mktexture/marble.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

const char kUsage[] =
    "Usage: mktexture [--size N] [--seed N] [OUTPUT]\n"
    "\n"
    "Writes a procedural marble texture (noise-bent veins on pale stone) as a\n"
    "32-bit BMP with full alpha. The noise is periodic, so the image tiles\n"
    "without seams. The same size and seed always give the same file.\n"
    "\n"
    "  OUTPUT      file to write (default: marble.bmp)\n"
    "  --size N    width and height in pixels, a power of two from 8 to 4096\n"
    "              (default: 256)\n"
    "  --seed N    noise seed, 0 to 4294967295 (default: 1)\n"
    "  --help      show this text and exit\n";

struct Options {
    std::string output = "marble.bmp";
    int size = 256;
    uint32_t seed = 1;
};

bool ParseUnsigned(const char* text, unsigned long long max, unsigned long long& value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && value <= max;
}

int Fail(const std::string& message) {
    std::cerr << "mktexture: " << message << "\n(try mktexture --help)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool haveOutput = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long long value = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--size") {
            if (!ParseUnsigned(next, 4096, value) ||
                !mktexture::IsValidMarbleSize(static_cast<int>(value)))
                return Fail("--size needs a power of two from 8 to 4096");
            options.size = static_cast<int>(value);
            ++i;
        } else if (arg == "--seed") {
            if (!ParseUnsigned(next, 0xFFFFFFFFULL, value))
                return Fail("--seed needs a number from 0 to 4294967295");
            options.seed = static_cast<uint32_t>(value);
            ++i;
        } else if (!arg.empty() && arg[0] == '-') {
            return Fail("unknown option " + arg);
        } else if (haveOutput) {
            return Fail("more than one output file given");
        } else {
            options.output = arg;
            haveOutput = true;
        }
    }

    mktexture::Image image = mktexture::MakeMarble(options.size, options.seed);
    std::string error;
    if (!mktexture::WriteBmp32(options.output, image, error)) {
        std::cerr << "mktexture: " << error << "\n";
        return 1;
    }
    std::cout << "mktexture: wrote " << options.output << " (" << options.size << " x "
              << options.size << ", seed " << options.seed << ")\n";
    return 0;
}
