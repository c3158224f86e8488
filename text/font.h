// The one bitmap font: its glyphs packed into A8R8G8B8 textures (red texels,
// coverage in alpha), a vertex buffer with a ready quad per character code,
// and the text camera that places those quads on screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class FontFile;

class Font {
public:
    struct GlyphInfo {
        float advance = 0.0f;     // text-space units
        float lineHeight = 0.0f;  // text-space units
        uint8_t textureNumber = 0;
    };

    // Vertex of a glyph quad: D3DFVF_XYZ | D3DFVF_TEX1.
    struct Vertex {
        float x, y, z;
        float u, v;
    };
    static const DWORD kVertexFormat = D3DFVF_XYZ | D3DFVF_TEX1;
    static const UINT kVertexCount = 1024;  // four per character code

    Font();
    // Releases the textures and the vertex buffer, logging each release.
    virtual ~Font();

    // Reads "data\\" + name, packs it into textures and the vertex buffer and
    // sets the initial text layout. Failure shows in the log only; a font
    // whose loading failed draws nothing and measures every string as 0.
    void load(const std::string& name, IDirect3DDevice8* device, float aspect);

    // t = 0 puts the text plane at the far plane, t = 1 at the near plane.
    void setSize(float t);

    float stringWidth(const std::string& s) const;
    float stringHeight(const std::string& s) const;

    // Must run between BeginScene and EndScene; device states are left set.
    void drawString(const std::string& s, float x, float y);
    void drawStringCentered(const std::string& s, float u, float v);
    void drawStringAt(const std::string& s, float u, float v);

    float leftMargin() const { return averageAdvance / 2.0f; }
    float bottomMargin() const { return averageLineHeight / 4.0f; }
    float usableWidth() const { return viewWidth - 2.0f * leftMargin(); }
    float usableHeight() const { return viewHeight - 2.0f * bottomMargin(); }

    // For callers that lay out text themselves.
    const GlyphInfo& glyph(unsigned char code) const { return glyphs[code]; }

private:
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    void releaseResources();
    // Fills the textures, the locked vertex buffer and the glyph table.
    bool packGlyphs(const FontFile& file, UINT width, UINT height, Vertex* vertices);
    void drawGlyph(unsigned char c, float x, float y, const D3DXMATRIX& view);

    std::vector<IDirect3DTexture8*> textures;
    GlyphInfo glyphs[256];
    float pixelScale;
    float distance;
    float averageAdvance = 0.0f;
    float averageLineHeight = 0.0f;
    float viewWidth = 0.0f;
    float viewHeight = 0.0f;
    IDirect3DDevice8* device = nullptr;
    float aspect = 0.0f;
    IDirect3DVertexBuffer8* vertexBuffer = nullptr;
    bool ready = false;  // every load step succeeded: safe to draw
};
