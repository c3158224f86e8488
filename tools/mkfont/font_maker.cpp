#include "tools/mkfont/font_maker.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace mkfont {

namespace {

using tundra_formats::FontGlyphRecord;

// Bytes 0x80..0x9F of Windows-1252; 0 marks the five undefined ones.
const unsigned kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

long RoundedPixels(FT_Pos value26_6) { return (value26_6 + 32) >> 6; }

// FreeType owns the library and face; release them on every way out.
class FaceHolder {
public:
    ~FaceHolder() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

// Copies an 8-bit grey or 1-bit mono bitmap into top-row-first coverage.
bool CopyCoverage(const FT_Bitmap& bitmap, FontGlyphRecord& glyph) {
    glyph.width = bitmap.width;
    glyph.height = bitmap.width == 0 ? 0 : bitmap.rows;
    glyph.bitmap.assign(size_t(glyph.width) * glyph.height, 0);
    for (unsigned j = 0; j < glyph.height; ++j) {
        const unsigned char* row = bitmap.buffer + long(j) * bitmap.pitch;
        uint8_t* out = glyph.bitmap.data() + size_t(j) * glyph.width;
        for (unsigned i = 0; i < glyph.width; ++i) {
            if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                const unsigned levels = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
                out[i] = static_cast<uint8_t>(row[i] * 255u / levels);
            } else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                out[i] = (row[i / 8] & (0x80 >> (i % 8))) ? 255 : 0;
            } else {
                return false;
            }
        }
    }
    return true;
}

FontGlyphRecord EmptyGlyph(uint32_t advance, uint32_t lineHeight) {
    FontGlyphRecord glyph;
    glyph.advance = advance;
    glyph.lineHeight = lineHeight;
    return glyph;
}

}  // namespace

unsigned Windows1252ToUnicode(unsigned char code) {
    if (code < 32 || code == 127) return 0;
    if (code >= 0x80 && code <= 0x9F) return kWindows1252High[code - 0x80];
    return code;  // ASCII and Latin-1 agree with Unicode
}

bool MakeFont(const FontMakerOptions& options, MadeFont& made, std::string& error) {
    FaceHolder holder;
    if (FT_Init_FreeType(&holder.library) != 0) {
        error = "cannot start FreeType";
        return false;
    }
    if (FT_New_Face(holder.library, options.fontPath.c_str(), 0, &holder.face) != 0) {
        error = "cannot open font '" + options.fontPath + "'";
        return false;
    }
    FT_Face face = holder.face;
    if (FT_Set_Pixel_Sizes(face, 0, options.pixelSize) != 0) {
        error = "font '" + options.fontPath + "' has no size " + std::to_string(options.pixelSize) +
                " px";
        return false;
    }
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        error = "font '" + options.fontPath + "' has no Unicode character map";
        return false;
    }

    const long ascent = RoundedPixels(face->size->metrics.ascender);
    const long descent = -RoundedPixels(face->size->metrics.descender);
    const uint32_t lineHeight = static_cast<uint32_t>(std::max(1L, ascent + descent));

    uint32_t spaceAdvance = options.pixelSize / 2;
    if (FT_Load_Char(face, ' ', FT_LOAD_DEFAULT) == 0)
        spaceAdvance = static_cast<uint32_t>(std::max(1L, RoundedPixels(face->glyph->advance.x)));

    made = MadeFont();
    made.glyphs.assign(tundra_formats::kFontGlyphCount, EmptyGlyph(spaceAdvance, lineHeight));
    for (int code = 0; code < tundra_formats::kFontGlyphCount; ++code) {
        const unsigned unicode = Windows1252ToUnicode(static_cast<unsigned char>(code));
        if (unicode == 0 || FT_Get_Char_Index(face, unicode) == 0 ||
            FT_Load_Char(face, unicode, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
            ++made.emptyGlyphs;
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        FontGlyphRecord& glyph = made.glyphs[code];
        if (!CopyCoverage(slot->bitmap, glyph)) {
            glyph = EmptyGlyph(spaceAdvance, lineHeight);
            ++made.emptyGlyphs;
            continue;
        }
        glyph.xOffset = slot->bitmap_left;
        // The pen is on the descender line, `descent` pixels below the baseline.
        glyph.yOffset = -(slot->bitmap_top + static_cast<int32_t>(descent));
        glyph.advance = static_cast<uint32_t>(std::max(0L, RoundedPixels(slot->advance.x)));
        glyph.lineHeight = lineHeight;
        if (glyph.width > 0) ++made.drawnGlyphs;
    }
    return true;
}

}  // namespace mkfont
