#include "text/font_file.h"

#include "common/byte_reader.h"
#include "platform/platform.h"

#include <new>

namespace {

const size_t kRecordHeaderBytes = 6 * 4;

// The file is little-endian whatever the host is.
bool WriteU32(std::FILE* file, uint32_t value) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return std::fwrite(bytes, 4, 1, file) == 1;
}

const unsigned char kSpace = 32;
const unsigned char kLetterI = 105;

}  // namespace

bool FontGlyph::read(std::FILE* file) {
    uint8_t header[kRecordHeaderBytes];
    if (std::fread(header, sizeof header, 1, file) != 1) return false;
    ByteReader fields(header, sizeof header);
    width = fields.u32();
    height = fields.u32();
    xOffset = fields.i32();
    yOffset = fields.i32();
    advance = fields.u32();
    lineHeight = fields.u32();

    bitmap.clear();
    // Rows of zero bytes cannot be read as items: such a record is broken.
    if (width == 0 && height > 0) return false;
    const uint64_t size = uint64_t(width) * height;
    if (size > kMaxBitmapBytes) return false;
    if (size == 0) return true;

    try {
        bitmap.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return std::fread(bitmap.data(), width, height, file) == height;
}

bool FontGlyph::write(std::FILE* file) const {
    if (!WriteU32(file, width) || !WriteU32(file, height) ||
        !WriteU32(file, static_cast<uint32_t>(xOffset)) ||
        !WriteU32(file, static_cast<uint32_t>(yOffset)) || !WriteU32(file, advance) ||
        !WriteU32(file, lineHeight))
        return false;
    if (height == 0) return true;
    // As in reading, rows of zero bytes are items that cannot be written:
    // the record would not load again.
    if (width == 0) return false;
    // A bitmap that does not match its size cannot be written faithfully.
    if (bitmap.size() != uint64_t(width) * height) return false;
    return std::fwrite(bitmap.data(), width, height, file) == height;
}

bool FontFile::load(const std::string& path) {
    glyphs.clear();
    std::FILE* file = std::fopen(NativePath(path).c_str(), "rb");
    if (!file) return false;

    bool complete = true;
    uint64_t bitmapBytes = 0;
    for (int code = 0; code < kGlyphCount; ++code) {
        auto glyph = std::make_unique<FontGlyph>();
        if (!glyph->read(file)) {
            complete = false;
            break;
        }
        bitmapBytes += glyph->bitmap.size();
        if (bitmapBytes > kMaxTotalBitmapBytes) {
            complete = false;
            break;
        }
        glyphs.push_back(std::move(glyph));
    }
    std::fclose(file);
    if (!complete) return false;

    if (glyphs[kSpace]->advance == 0) glyphs[kSpace]->advance = glyphs[kLetterI]->advance;
    return true;
}

bool FontFile::save(const std::string& path) const {
    std::FILE* file = std::fopen(NativePath(path).c_str(), "wb");
    if (!file) return false;
    bool ok = true;
    for (const auto& glyph : glyphs) {
        if (!glyph->write(file)) {
            ok = false;
            break;
        }
    }
    if (std::fclose(file) != 0) ok = false;
    return ok;
}
