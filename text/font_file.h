// The font file "font.f": 256 glyph records (codes 0..255) back to back, no
// header. Each record is six little-endian 32-bit fields (width, height,
// xOffset, yOffset, advance, lineHeight) followed by width x height coverage
// bytes, top row first. Bytes after the 256th record are ignored.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class FontGlyph {
public:
    // Larger bitmaps than this mark a damaged file; no real glyph comes near.
    static const uint64_t kMaxBitmapBytes = 4096ull * 4096ull;

    FontGlyph() = default;
    virtual ~FontGlyph() = default;

    // Reads one record from a file opened with "rb". False when the record is
    // cut short, when a glyph has rows but no columns (width 0, height > 0),
    // or when width x height exceeds kMaxBitmapBytes.
    virtual bool read(std::FILE* file);
    // Writes the record in file order. False when a write does not complete,
    // which includes a glyph with rows but no columns: read() refuses it.
    virtual bool write(std::FILE* file) const;

    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t advance = 0;
    uint32_t lineHeight = 0;
    int32_t xOffset = 0;
    int32_t yOffset = 0;
    std::vector<uint8_t> bitmap;  // height rows of width bytes
};

class FontFile {
public:
    static const int kGlyphCount = 256;
    // All bitmaps together: a font this large is damage (one that matches a
    // huge, say sparse, file would otherwise take the machine's memory).
    static const uint64_t kMaxTotalBitmapBytes = uint64_t(64) << 20;

    FontFile() = default;
    virtual ~FontFile() = default;

    // path is "data\\name"; opened through NativePath. True when all 256
    // records were read and their bitmaps take at most kMaxTotalBitmapBytes.
    // A space with no advance borrows the advance of 'i'.
    virtual bool load(const std::string& path);
    virtual bool save(const std::string& path) const;

    std::vector<std::unique_ptr<FontGlyph>> glyphs;  // indexed by character code
};
