#include "tools/common/font_writer.h"

#include <fstream>

namespace tundra_formats {

namespace {

void AppendU32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

}  // namespace

std::string EncodeFont(const std::vector<FontGlyphRecord>& glyphs) {
    std::string out;
    for (const FontGlyphRecord& glyph : glyphs) {
        AppendU32(out, glyph.width);
        AppendU32(out, glyph.height);
        AppendU32(out, static_cast<uint32_t>(glyph.xOffset));
        AppendU32(out, static_cast<uint32_t>(glyph.yOffset));
        AppendU32(out, glyph.advance);
        AppendU32(out, glyph.lineHeight);
        out.append(glyph.bitmap.begin(), glyph.bitmap.end());
    }
    return out;
}

bool WriteFontFile(const std::string& path, const std::vector<FontGlyphRecord>& glyphs,
                   const std::string& trailing) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    const std::string bytes = EncodeFont(glyphs) + trailing;
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

std::vector<FontGlyphRecord> UniformFont(uint32_t advance, uint32_t lineHeight, uint32_t width,
                                         uint32_t height, uint8_t coverage) {
    FontGlyphRecord glyph;
    glyph.width = width;
    glyph.height = height;
    glyph.advance = advance;
    glyph.lineHeight = lineHeight;
    glyph.bitmap.assign(size_t(width) * height, coverage);
    return std::vector<FontGlyphRecord>(kFontGlyphCount, glyph);
}

std::vector<uint8_t> PatternBitmap(int code, uint32_t width, uint32_t height) {
    std::vector<uint8_t> bitmap(size_t(width) * height);
    for (uint32_t j = 0; j < height; ++j)
        for (uint32_t i = 0; i < width; ++i)
            bitmap[size_t(j) * width + i] =
                static_cast<uint8_t>(1 + (uint32_t(code) * 7 + j * 31 + i * 3) % 255);
    return bitmap;
}

}  // namespace tundra_formats
