// Renders the 256 glyphs of font.f from an outline font with FreeType:
// codes 32..126 as ASCII, 128..255 as Windows-1252, everything else (control
// codes, codes the font lacks) as an empty glyph with the space's advance.
#pragma once

#include "tools/common/font_writer.h"

#include <string>
#include <vector>

namespace mkfont {

struct FontMakerOptions {
    std::string fontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
    unsigned pixelSize = 14;
};

struct MadeFont {
    std::vector<tundra_formats::FontGlyphRecord> glyphs;  // 256, by code
    unsigned drawnGlyphs = 0;                             // glyphs with a bitmap
    unsigned emptyGlyphs = 0;  // codes with no glyph in the font (or control codes)
};

// The Unicode code point shown for a Windows-1252 byte, or 0 when the byte
// shows nothing (control codes and the five undefined bytes).
unsigned Windows1252ToUnicode(unsigned char code);

// Places every glyph in its line box with the pen at the bottom of the line
// (the descender line), so yOffset, pen down to the bitmap top, is negative
// and a string drawn with its pen at y covers y .. y + lineHeight.
// False with a message in `error` when the font cannot be used.
bool MakeFont(const FontMakerOptions& options, MadeFont& made, std::string& error);
}  // namespace mkfont
