// mkfont: writes the viewer's font.f from any TrueType/OpenType font.
#include "tools/mkfont/font_maker.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const unsigned kSmallestSize = 4;
const unsigned kLargestSize = 512;

void PrintUsage(std::ostream& out) {
    out << "usage: mkfont [--font FILE] [--size PIXELS] [--output FILE]\n"
           "\n"
           "Renders 256 glyphs (32..126 ASCII, 128..255 Windows-1252; other codes empty)\n"
           "with anti-aliased coverage into the viewer's font file.\n"
           "\n"
           "  --font FILE      TrueType/OpenType font\n"
           "                   (default /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf)\n"
           "  --size PIXELS    pixel size, "
        << kSmallestSize << ".." << kLargestSize
        << " (default 14: a 17-pixel line, legible in an\n"
           "                   800 x 600 window)\n"
           "  --output FILE    where to write (default font.f)\n"
           "  --help           show this text\n";
}

bool ParseSize(const std::string& text, unsigned& size) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    size = static_cast<unsigned>(std::atoi(text.c_str()));
    return size >= kSmallestSize && size <= kLargestSize;
}

int Fail(const std::string& message) {
    std::cerr << "mkfont: " << message << "\n(try mkfont --help)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    mkfont::FontMakerOptions options;
    std::string output = "font.f";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(std::cout);
            return 0;
        }
        if (arg != "--font" && arg != "--size" && arg != "--output")
            return Fail("unknown argument '" + arg + "'");
        if (i + 1 >= argc) return Fail(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--font") {
            options.fontPath = value;
        } else if (arg == "--output") {
            output = value;
        } else if (!ParseSize(value, options.pixelSize)) {
            return Fail("--size must be a whole number of pixels from " +
                        std::to_string(kSmallestSize) + " to " + std::to_string(kLargestSize) +
                        ", not '" + value + "'");
        }
    }

    mkfont::MadeFont made;
    std::string error;
    if (!mkfont::MakeFont(options, made, error)) {
        std::cerr << "mkfont: " << error << "\n";
        return 1;
    }
    if (!tundra_formats::WriteFontFile(output, made.glyphs)) {
        std::cerr << "mkfont: cannot write '" << output << "'\n";
        return 1;
    }
    std::cout << "mkfont: wrote " << output << ": " << made.drawnGlyphs << " drawn glyphs, "
              << made.emptyGlyphs << " empty codes, line height " << made.glyphs['A'].lineHeight
              << " px, advance of 'M' " << made.glyphs['M'].advance << " px\n";
    return 0;
}
