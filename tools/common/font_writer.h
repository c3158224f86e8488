// The one writer of the font file format "font.f", shared by mkfont and the
// tests. The viewer never uses it: its reader is written separately, so a
// mistake here cannot hide a mistake there.
//
// Layout (little-endian, no header): 256 records for codes 0..255, each
//   uint32 width, uint32 height, int32 xOffset, int32 yOffset,
//   uint32 advance, uint32 lineHeight, then width x height coverage bytes
//   (top row first, no padding).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tundra_formats {

constexpr int kFontGlyphCount = 256;
constexpr size_t kFontRecordHeaderBytes = 24;

struct FontGlyphRecord {
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t xOffset = 0;   // pen to the bitmap's left edge, font pixels
    int32_t yOffset = 0;   // pen down to the bitmap's top edge, font pixels
    uint32_t advance = 0;  // pen movement, font pixels
    uint32_t lineHeight = 0;
    // Written exactly as given, whatever width x height says, so tests can
    // build damaged files; mkfont always keeps the two in step.
    std::vector<uint8_t> bitmap;
};

// The bytes of a file holding the given records in order (usually 256).
std::string EncodeFont(const std::vector<FontGlyphRecord>& glyphs);
// Writes EncodeFont(glyphs) followed by `trailing`; false if the file could
// not be written completely.
bool WriteFontFile(const std::string& path, const std::vector<FontGlyphRecord>& glyphs,
                   const std::string& trailing = std::string());

// A test font: 256 glyphs with the same metrics and a solid bitmap of the
// given size, filled with `coverage`.
std::vector<FontGlyphRecord> UniformFont(uint32_t advance, uint32_t lineHeight, uint32_t width = 0,
                                         uint32_t height = 0, uint8_t coverage = 255);
// A bitmap whose bytes differ per texel (and per code), so a misplaced copy
// shows: byte (i, j) of glyph `code` is 1 + (code * 7 + j * 31 + i * 3) % 255.
std::vector<uint8_t> PatternBitmap(int code, uint32_t width, uint32_t height);

}  // namespace tundra_formats
